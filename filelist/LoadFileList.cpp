#include "filelist/LoadFileList.h"

#include "filelist/FolderReader.h"
#include "filelist/ListView.h"
#include "platform/LongCall.h"
#include "platform/NameCodec.h"

#include <QCoreApplication>
#include <QPointer>

#include <memory>

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

// Rows enough for a list's memory to matter.
constexpr int largeList = 100'000;

// Whether the listing that asked to show its first rows is still the one the list waits for.
struct Waiting
{
    bool open = true;
};

} // namespace

void loadFileList(ListView &list, QString path)
{
    FileListModel &model = list.model();
    const int sortKey = model.sortKey();
    const QString shown = platform::displayName(path);
    const platform::Activity reading {
        QCoreApplication::translate("ListView1", "Reading %1").arg(shown),
        platform::Activity::Unit::Entries,
        QCoreApplication::translate("ListView1", "reading %1 was cancelled").arg(shown)};
    // A large list is let go before the new one is read, so that two are never held at once;
    // a small one stays shown until the new rows are ready, so that a reload does not flicker.
    if (model.rowCount() > largeList) {
        RowTable none(path);
        none.sortBy(sortKey, Collation());
        model.show(columns(), std::move(none), FileListModel::Rows::FirstOnly);
    }
    // The first rows come from the reading thread while the window waits; they are shown only
    // while this listing is still the one waited for.
    const auto waiting = std::make_shared<Waiting>();
    const QPointer<FileListModel> target(&model);
    auto firstRows = [waiting, target](RowTable rows) {
        auto shared = std::make_shared<RowTable>(std::move(rows));
        QMetaObject::invokeMethod(
            qApp,
            [waiting, target, shared] {
                if (waiting->open && target)
                    target->show(columns(), std::move(*shared), FileListModel::Rows::FirstOnly);
            },
            Qt::QueuedConnection);
    };
    // The file selected now is selected again in the new list; finding its row in a large list
    // sorted by a value means looking at every row, which is done here on the reading thread.
    const int selected = list.selectedRow();
    const std::optional<QString> selectedName
        = selected >= 0 ? std::optional(model.itemText(selected)) : std::nullopt;
    Listing listing;
    try {
        listing = platform::runLong(reading, [path, sortKey, firstRows, selectedName] {
            Listing read = readFolder(path, sortKey, firstRows);
            if (selectedName)
                read.table.lookUpAhead(*selectedName, Collation());
            return read;
        });
    } catch (const platform::Failure &) {
        waiting->open = false;
        RowTable empty(path);
        empty.sortBy(sortKey, Collation());
        model.show(columns(), std::move(empty));
        throw;
    }
    waiting->open = false;
    model.show(columns(), std::move(listing.table));
    if (listing.failure)
        throw *listing.failure;
}

} // namespace filelist
