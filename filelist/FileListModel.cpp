#include "filelist/FileListModel.h"

#include "filelist/CellText.h"
#include "platform/Failure.h"
#include "platform/LongCall.h"
#include "platform/NameCodec.h"
#include "platform/TypeCatalog.h"

#include <QMimeData>
#include <QUrl>

#include <memory>
#include <utility>

namespace filelist {

FileListModel::FileListModel(QObject *parent)
    : QAbstractTableModel(parent)
{ }

namespace {

// Rows enough for freeing them to take the window a few milliseconds.
constexpr size_t largeTable = 100'000;

// Frees a table that is no longer shown: a large one on a thread of its own, so that swapping
// a list of a million rows costs the window no more than swapping a small one.
void letGo(RowTable table)
{
    if (table.size() < largeTable)
        return;
    platform::runDetached("tolvan-free",
        [old = std::make_shared<RowTable>(std::move(table))]() mutable { old.reset(); });
}

} // namespace

void FileListModel::show(std::vector<Column> columns, RowTable table, Rows rows)
{
    beginResetModel();
    m_columns = std::move(columns);
    RowTable old = std::exchange(m_table, std::move(table));
    m_interim = rows == Rows::FirstOnly;
    endResetModel();
    letGo(std::move(old));
}

// ---- reading -----------------------------------------------------------------------------------

QString FileListModel::textOf(const RowTable::Row &row, int column) const
{
    if (column == 0)
        return m_table.nameOf(row);
    if (column > int(row.filled))
        return QString();
    switch (column) {
    case 1:
        return platform::TypeCatalog::instance().text(row.type);
    case 2:
        return sizeText(row.size);
    case 3:
        return dateText(row.modified);
    case 4:
        return row.created == RowTable::noCreated ? QString() : dateText(row.created);
    default:
        return QString();
    }
}

QString FileListModel::itemText(int row) const
{
    return textOf(m_table.shownRow(size_t(row)), 0);
}

QString FileListModel::cellText(int row, int column) const
{
    return textOf(m_table.shownRow(size_t(row)), column);
}

int FileListModel::rowOfName(QStringView name) const
{
    return m_table.positionOfName(name, m_collation);
}

int FileListModel::columnWidthTwips(int column) const
{
    return m_columns[size_t(column)].widthTwips;
}

QStringList FileListModel::widestTexts(int column, const QLocale &locale) const
{
    switch (column) {
    case 2:
        return widestSizeTexts(locale);
    case 3:
    case 4:
        return widestDateTexts(locale);
    default:
        return {};
    }
}

int FileListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_table.size());
}

int FileListModel::columnCount(const QModelIndex &parent) const
{
    // A row always has its text; the sub-items need their columns.
    return parent.isValid() ? 0 : std::max(1, int(m_columns.size()));
}

QVariant FileListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || size_t(index.row()) >= m_table.size())
        return {};
    const RowTable::Row &row = m_table.shownRow(size_t(index.row()));
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        const QString text = textOf(row, index.column());
        return index.column() == 0 ? platform::displayName(text) : text;
    }
    if (role == NameRole)
        return m_table.nameOf(row);
    return {};
}

QModelIndexList FileListModel::match(
    const QModelIndex &start, int role, const QVariant &value, int hits, Qt::MatchFlags flags) const
{
    const bool typedName = role == Qt::DisplayRole && start.isValid() && start.column() == 0
        && hits == 1 && flags == (Qt::MatchStartsWith | Qt::MatchWrap);
    if (!typedName)
        return QAbstractTableModel::match(start, role, value, hits, flags);
    const QString typed = value.toString();
    const size_t rows = m_table.size();
    for (size_t k = 0; k < rows; ++k) {
        const size_t row = (size_t(start.row()) + k) % rows;
        if (nameStartsWith(m_table.shownRow(row), typed))
            return {index(int(row), 0)};
    }
    return {};
}

// Whether the name as the list shows it starts with typed, case aside. A character below 128 is
// its own byte in a name, so as long as both are such characters the bytes are compared; the
// rest of the names are compared as their shown text.
bool FileListModel::nameStartsWith(const RowTable::Row &row, QStringView typed) const
{
    const QByteArrayView bytes = m_table.nameBytesOf(row);
    const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    for (qsizetype k = 0; k < typed.size(); ++k) {
        const char16_t c = typed[k].unicode();
        if (c >= 0x80 || (k < bytes.size() && uchar(bytes[k]) >= 0x80))
            return platform::displayName(m_table.nameOf(row))
                .startsWith(typed, Qt::CaseInsensitive);
        if (k == bytes.size() || lower(char16_t(uchar(bytes[k]))) != lower(c))
            return false;
    }
    return true;
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0
        || section >= int(m_columns.size()))
        return {};
    return m_columns[size_t(section)].header;
}

Qt::ItemFlags FileListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled
        | Qt::ItemNeverHasChildren;
}

// ---- dragging ----------------------------------------------------------------------------------

QStringList FileListModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list"), QStringLiteral("text/plain")};
}

// A dragged row carries its file as a file URL made from the exact bytes of its path, and its
// name as text.
QMimeData *FileListModel::mimeData(const QModelIndexList &indexes) const
{
    if (indexes.isEmpty())
        return nullptr;
    const QString name = data(indexes.first(), NameRole).toString();
    auto *mime = new QMimeData;
    try {
        const QByteArray path
            = platform::encodeName(m_table.folderPath() + QLatin1Char('/') + name);
        mime->setUrls({QUrl::fromEncoded("file://" + path.toPercentEncoding("/"))});
    } catch (const platform::Failure &) {
        // A name no file can have: drag the text alone.
    }
    mime->setText(platform::displayName(name));
    return mime;
}

Qt::DropActions FileListModel::supportedDragActions() const
{
    // Only ever offer a copy: a drop elsewhere must never take the file away.
    return Qt::CopyAction;
}

// ---- ordering ----------------------------------------------------------------------------------

// Reorders the rows in place; views keep their selection and current row on the same files.
void FileListModel::setSortKey(int column)
{
    // Sorting a large list by a value takes a while: the order is worked out away from the
    // window, which keeps showing the rows as they are until it is ready.
    std::vector<quint32> order;
    if (column >= 1 && column <= 4) {
        const platform::Activity sorting {tr("Sorting the list"), platform::Activity::Unit::None,
            tr("sorting the list was cancelled")};
        order = platform::runLong(
            sorting, [entries = m_table.sortEntries(column, m_collation)]() mutable {
                return RowTable::orderOf(std::move(entries));
            });
    } else {
        order = m_table.nameOrder(m_collation);
    }
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<quint32> storageOf;
    storageOf.reserve(size_t(before.size()));
    for (const QModelIndex &index : before)
        storageOf.push_back(m_table.storageOf(size_t(index.row())));
    m_table.setOrder(column, std::move(order));
    const std::vector<int> shownOf = m_table.shownPositions();
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype k = 0; k < before.size(); ++k)
        after.push_back(index(shownOf[storageOf[size_t(k)]], before[k].column()));
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace filelist
