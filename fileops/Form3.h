#pragma once

#include "fileops/DestinationDialog.h"

#include <QPushButton>

namespace fileops {

// The Move To dialog: a drive selector and folder tree of its own to pick the folder that the
// selected file is moved into, shown in Label1.
class Form3 : public DestinationDialog
{
    Q_OBJECT

public:
    static constexpr const char *formName = "Form3";

    Form3();
    // The load handler: shows the tree's folder.
    void load();

    QPushButton *cmdMove;

private:
    void cmdMove_Click();
};

} // namespace fileops
