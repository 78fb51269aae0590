#pragma once

#include <QString>

namespace app::Module1 {

// The texts through which the main window hands the chosen file's name, and the rename's new
// name, to the dialogs. Empty at start; nothing clears them.
extern QString SelectedFileName;
extern QString NewFileName;

// Rebuilds the main window's file list from the files of folder path.
void LoadFileList(QString path);
// Brings the program back to the main window from any dialog: unloads the three dialogs, shows
// the main window, reloads its list from its folder tree, disables the file buttons and gives
// the focus to the list, so that the next keys typed go there and not to the path box.
void ShowMainWindow();
// Switch the main window's four file-command buttons (Move, Open, Rename, Copy) together. A row
// of the list shows as selected exactly while they are on, so switching them off deselects it.
void DisableFileButtons();
void EnableFileButtons();

} // namespace app::Module1
