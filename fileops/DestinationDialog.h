#pragma once

#include "fileops/Dialog.h"
#include "platform/FileSystem.h"
#include "widgets/Caption.h"
#include "widgets/DriveSelector.h"
#include "widgets/FolderTree.h"
#include "widgets/Twips.h"

#include <QPushButton>

#include <initializer_list>

namespace fileops {

// What Copy To and Move To share: a drive selector and folder tree of the dialog's own, which
// start at the program's start folder and pick the destination folder that Label1 shows, a
// confirming button, and Cancel back to the main window. Each dialog gives its controls' places
// in its tab order; they are created in that order, which is the order focus moves in.
class DestinationDialog : public Dialog
{
    Q_OBJECT

public:
    widgets::DriveSelector *Drive1 = nullptr;
    widgets::FolderTree *Dir1 = nullptr;
    QPushButton *cmdcancel = nullptr;
    widgets::Caption *Label1 = nullptr;

protected:
    enum class Control { Drive, Tree, Confirm, Cancel, Label };
    struct Placement
    {
        Control control;
        widgets::TwipsRect rect;
    };
    struct Confirm
    {
        const char *name;
        QString caption;
    };

    DestinationDialog(const QString &caption, int clientWidthTwips, int clientHeightTwips,
        const Confirm &confirm, std::initializer_list<Placement> tabOrder);

    QPushButton *confirmButton() const { return m_confirm; }

    // What confirming does in both dialogs: refused when the main window's folder has gone;
    // transfer(source, destination) of the selected file into the folder Label1 shows; the
    // main window's list read again, its status line reading the name, done and the folder;
    // then back to the main window.
    using Transfer = void (*)(
        const platform::FileSystemObject &, const QString &source, const QString &destination);
    void transferSelectedFile(Transfer transfer, const QString &done);

private:
    void Dir1_Change();
    void Drive1_Change();
    void cmdcancel_Click();

    QPushButton *m_confirm = nullptr;
};

} // namespace fileops
