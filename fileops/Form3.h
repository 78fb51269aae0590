#pragma once

#include "app/Caption.h"
#include "app/DriveSelector.h"
#include "app/FolderTree.h"
#include "fileops/Dialog.h"

#include <QPushButton>

namespace fileops {

// The Move To dialog: a drive selector and folder tree of its own to pick the folder that the
// selected file is moved into, shown in Label1.
class Form3 : public Dialog
{
    Q_OBJECT

public:
    static constexpr const char *formName = "Form3";

    Form3();
    // The load handler: shows the tree's folder.
    void load();

    app::DriveSelector *Drive1;
    app::FolderTree *Dir1;
    QPushButton *cmdMove;
    QPushButton *cmdcancel;
    app::Caption *Label1;

private:
    void Dir1_Change();
    void Drive1_Change();
    void cmdMove_Click();
    void cmdcancel_Click();
};

} // namespace fileops
