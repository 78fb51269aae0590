#pragma once

#include "app/Caption.h"
#include "app/DriveSelector.h"
#include "app/FolderTree.h"
#include "fileops/Dialog.h"

#include <QPushButton>

namespace fileops {

// The Copy To dialog: a drive selector and folder tree of its own to pick the folder that the
// selected file is copied into, shown in Label1.
class Form4 : public Dialog
{
    Q_OBJECT

public:
    static constexpr const char *formName = "Form4";

    Form4();
    // The load handler: takes the selected file's name and shows the tree's folder.
    void load();

    QPushButton *cmdcancel;
    QPushButton *cmdCopy;
    app::FolderTree *Dir1;
    app::DriveSelector *Drive1;
    app::Caption *Label1;

private:
    void Dir1_Change();
    void Drive1_Change();
    void cmdCopy_Click();
    void cmdcancel_Click();
};

} // namespace fileops
