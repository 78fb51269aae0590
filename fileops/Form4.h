#pragma once

#include "fileops/DestinationDialog.h"

#include <QPushButton>

namespace fileops {

// The Copy To dialog: a drive selector and folder tree of its own to pick the folder that the
// selected file is copied into, shown in Label1.
class Form4 : public DestinationDialog
{
    Q_OBJECT

public:
    static constexpr const char *formName = "Form4";

    Form4();
    // The load handler: takes the selected file's name and shows the tree's folder.
    void load();

    QPushButton *cmdCopy;

private:
    void cmdCopy_Click();
};

} // namespace fileops
