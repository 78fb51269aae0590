#pragma once

#include <QString>

namespace filelist {

class ListView;

// Rebuilds the list's columns and rows from the files directly inside folder path. Throws
// Failure when the folder cannot be opened (the list then shows its headers and no rows) or a
// file's details cannot be read (the rows before it stay, and that file's row keeps what was
// read before the failure).
void loadFileList(ListView &list, QString path);

} // namespace filelist
