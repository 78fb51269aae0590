#include "filelist/LoadFileList.h"

#include "filelist/ListView.h"
#include "platform/CallState.h"
#include "platform/FileSystem.h"
#include "platform/LongCall.h"
#include "platform/NameCodec.h"
#include "platform/TypeCatalog.h"

#include <QCoreApplication>

#include <cerrno>

namespace filelist {

namespace {

struct ColumnSpec
{
    const char *header;
    int widthTwips;
};

constexpr ColumnSpec columnSpecs[] = {
    {QT_TRANSLATE_NOOP("ListView1", "Filename"), 2000},
    {QT_TRANSLATE_NOOP("ListView1", "Type"), 2000},
    {QT_TRANSLATE_NOOP("ListView1", "Size"), 1000},
    {QT_TRANSLATE_NOOP("ListView1", "Modified"), 2000},
    {QT_TRANSLATE_NOOP("ListView1", "Created"), 2000},
};

std::vector<FileListModel::Column> columns()
{
    std::vector<FileListModel::Column> result;
    for (const ColumnSpec &column : columnSpecs)
        result.push_back(
            {QCoreApplication::translate("ListView1", column.header), column.widthTwips});
    return result;
}

// Progress and the check for Cancel come once per this many entries.
constexpr int entriesPerReport = 256;

platform::Failure cancelledReading(const QString &path)
{
    return platform::Failure::refused(ECANCELED,
        QCoreApplication::translate("ListView1", "Cannot list the folder"), {path},
        QCoreApplication::translate("ListView1", "cancelled"));
}

} // namespace

Listing readListing(const QString &path, int sortKey)
{
    const platform::FileSystemObject fileSystem;
    const platform::Folder folder = fileSystem.GetFolder(path);
    Listing listing {RowTable(path), std::nullopt};
    RowTable &table = listing.table;
    platform::TypeCatalog::Lookup types;
    try {
        int sinceReport = 0;
        for (const platform::File &file : folder.Files()) {
            const int item = table.add(file.NameBytes());
            table.setType(item, types.indexForName(file.NameBytes()));
            table.setSize(item, file.Size());
            table.setModified(item, file.DateLastModified());
            table.setCreated(item, file.DateCreated());
            if (++sinceReport == entriesPerReport) {
                sinceReport = 0;
                platform::reportProgress(qint64(table.size()), -1);
                if (platform::cancelRequested())
                    throw cancelledReading(path);
            }
        }
    } catch (const platform::Failure &failure) {
        if (platform::cancelRequested())
            throw; // a cancelled listing shows nothing of what it read
        listing.failure = failure;
    }
    table.sortBy(sortKey, Collation());
    return listing;
}

void loadFileList(ListView &list, QString path)
{
    FileListModel &model = list.model();
    const int sortKey = model.sortKey();
    const platform::Activity reading {
        QCoreApplication::translate("ListView1", "Reading %1").arg(platform::displayName(path)),
        platform::Activity::Unit::Entries, cancelledReading(path)};
    Listing listing;
    try {
        listing
            = platform::runLong(reading, [path, sortKey] { return readListing(path, sortKey); });
    } catch (const platform::Failure &) {
        RowTable empty(path);
        empty.sortBy(sortKey, Collation());
        model.show(columns(), std::move(empty));
        throw;
    }
    model.show(columns(), std::move(listing.table));
    if (listing.failure)
        throw *listing.failure;
}

} // namespace filelist
