#pragma once

#include "filelist/RowTable.h"
#include "platform/Failure.h"

#include <QString>

#include <optional>

namespace filelist {

class ListView;

// The rows of one folder's files, read and put in order, and the failure that cut the reading
// short, if one did (the rows read before it are kept).
struct Listing
{
    RowTable table;
    std::optional<platform::Failure> failure;
};

// Reads the files directly inside folder path into rows sorted by column sortKey. Runs on any
// thread; reports the entries read as progress and stops with a failure when cancelled. Throws
// Failure when the folder cannot be opened.
Listing readListing(const QString &path, int sortKey);

// Rebuilds the list's columns and rows from the files directly inside folder path. The folder
// is read away from the window (see platform::runLong) and the finished rows are shown in one
// go. Throws Failure when the folder cannot be opened or the reading is cancelled (the list then
// shows its headers and no rows), or a file's details cannot be read (the rows before it stay).
void loadFileList(ListView &list, QString path);

} // namespace filelist
