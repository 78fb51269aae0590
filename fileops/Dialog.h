#pragma once

#include "platform/FileSystem.h"

#include <QDialog>

class QPushButton;

namespace fileops {

// Opens the main window's folder only to refuse a command when that folder has gone; the paths
// the command acts on are built from the windows' texts. The folder stays open while it is held.
platform::Folder mainFolderMustExist(const platform::FileSystemObject &fileSystem);

// The common frame of the Rename, Copy To and Move To dialogs: a top-level window of fixed
// client size without an owner, shown modeless while the main window is hidden. Enter presses
// the focused button, or the confirming button when the focus is on no button; Esc or closing
// the window with its frame does what Cancel does.
class Dialog : public QDialog
{
    Q_OBJECT

public:
    Dialog(const QString &caption, int clientWidthTwips, int clientHeightTwips);

protected:
    // Makes confirm the button that Enter presses and cancel the one that Esc and the window
    // frame press, and gives the focus to the first control of the tab order. Called once the
    // controls and their tab order are in place.
    void setButtons(QPushButton *confirm, QPushButton *cancel);
    void reject() override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QPushButton *m_confirm = nullptr;
    QPushButton *m_cancel = nullptr;
};

} // namespace fileops
