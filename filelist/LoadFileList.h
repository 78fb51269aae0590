#pragma once

#include <QString>

namespace filelist {

class ListView;

// Rebuilds the list's columns and rows from the files directly inside folder path. The folder
// is read away from the window (see platform::runLong and readFolder); the rows that come
// first are shown as soon as they are known, and the finished rows in one go. Throws Failure
// when the folder cannot be opened or the reading is cancelled (the list then shows its
// headers and no rows), or a file's details cannot be read (the rows before it stay).
void loadFileList(ListView &list, QString path);

} // namespace filelist
