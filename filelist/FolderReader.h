#pragma once

#include "filelist/RowTable.h"
#include "platform/Failure.h"

#include <QString>

#include <functional>
#include <optional>

namespace filelist {

// The rows of one folder's files, read and put in order, and the failure that cut the listing
// short, if one did. The names read before a failure to read the folder are listed; an entry
// that cannot be looked at keeps its name and type, and the entries after it get no row: after
// it in name order, or by type and then name when the rows go by type.
struct Listing
{
    RowTable table;
    std::optional<platform::Failure> failure;
};

// The failure of a listing of path that the user cancelled.
platform::Failure cancelledListing(const QString &path);

// Reads the files directly inside folder path into rows sorted by column sortKey. The names
// are read with one thread while the others look at the entries read so far (one statx each),
// and the names are put in order as soon as all are known, while the looking goes on. Runs on
// any thread; reports the entries read as progress and stops with a failure when cancelled.
// Throws Failure when the folder cannot be opened or the reading is cancelled.
//
// When firstRows is given and the order is one that the names alone decide (by name or by
// type), it may be called once, before the listing ends, with a table of the rows that will come
// first in the final order, exactly: enough to fill the first screen while the rest is still
// read. A cancelled listing does not call it.
Listing readFolder(const QString &path, int sortKey,
    const std::function<void(RowTable firstRows)> &firstRows = {});

} // namespace filelist
