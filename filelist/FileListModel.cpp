#include "filelist/FileListModel.h"

#include "filelist/CellText.h"
#include "platform/Failure.h"
#include "platform/NameCodec.h"
#include "platform/TypeCatalog.h"

#include <QCollatorSortKey>
#include <QMimeData>
#include <QUrl>

#include <algorithm>
#include <numeric>
#include <string_view>

namespace filelist {

namespace {

int threeWay(std::int64_t a, std::int64_t b)
{
    return (a > b) - (a < b);
}

// Names that are not plain ASCII are ordered through collation keys, made once per sort, when
// there are enough of them for per-comparison collation to be slow.
constexpr size_t sortKeyThreshold = 512;

} // namespace

FileListModel::FileListModel(QObject *parent)
    : QAbstractTableModel(parent)
{ }

// ---- rebuilding --------------------------------------------------------------------------------

void FileListModel::beginRebuild(const QString &folderPath)
{
    beginResetModel();
    m_folderPath = folderPath;
}

void FileListModel::clearColumns()
{
    m_columns.clear();
}

void FileListModel::clearItems()
{
    m_rows.clear();
    m_order.clear();
    m_names.clear();
    // Give back the memory of a much larger earlier listing.
    m_rows.shrink_to_fit();
    m_order.shrink_to_fit();
    m_names.squeeze();
    m_namesRanked = false;
}

void FileListModel::addColumn(const QString &header, int widthTwips)
{
    m_columns.push_back({header, widthTwips});
}

int FileListModel::addItem(QByteArrayView nameBytes)
{
    const auto offset = quint32(m_names.size());
    bool ascii = true;
    for (char c : nameBytes) {
        if (uchar(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii)
        m_names.append(QLatin1StringView(nameBytes.data(), nameBytes.size()));
    else
        m_names.append(platform::decodeName(nameBytes));
    const auto length = quint32(m_names.size() - offset);
    m_rows.push_back({offset, quint16(length), NameOnly, 0, 0, 0, 0, noCreated});
    return int(m_rows.size() - 1);
}

void FileListModel::setType(int item, quint32 typeIndex)
{
    Row &row = m_rows[size_t(item)];
    row.type = typeIndex;
    row.filled = TypeFilled;
}

void FileListModel::setSize(int item, std::int64_t bytes)
{
    Row &row = m_rows[size_t(item)];
    row.size = bytes;
    row.filled = SizeFilled;
}

void FileListModel::setModified(int item, platform::Timestamp moment)
{
    Row &row = m_rows[size_t(item)];
    row.modified = moment;
    row.filled = ModifiedFilled;
}

void FileListModel::setCreated(int item, std::optional<platform::Timestamp> moment)
{
    Row &row = m_rows[size_t(item)];
    row.created = moment.value_or(noCreated);
    row.filled = CreatedFilled;
}

void FileListModel::endRebuild()
{
    m_order.resize(m_rows.size());
    std::iota(m_order.begin(), m_order.end(), 0u);
    sortRows();
    endResetModel();
}

// ---- reading -----------------------------------------------------------------------------------

QStringView FileListModel::nameOf(const Row &row) const
{
    return QStringView(m_names).sliced(row.nameOffset, row.nameLength);
}

QString FileListModel::textOf(const Row &row, int column) const
{
    if (column == 0)
        return nameOf(row).toString();
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
        return row.created == noCreated ? QString() : dateText(row.created);
    default:
        return QString();
    }
}

QString FileListModel::itemText(int row) const
{
    return textOf(m_rows[m_order[size_t(row)]], 0);
}

QString FileListModel::cellText(int row, int column) const
{
    return textOf(m_rows[m_order[size_t(row)]], column);
}

int FileListModel::rowOfName(QStringView name) const
{
    for (size_t shown = 0; shown < m_order.size(); ++shown) {
        if (nameOf(m_rows[m_order[shown]]) == name)
            return int(shown);
    }
    return -1;
}

int FileListModel::columnWidthTwips(int column) const
{
    return m_columns[size_t(column)].widthTwips;
}

int FileListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_order.size());
}

int FileListModel::columnCount(const QModelIndex &parent) const
{
    // A row always has its text; the sub-items need their columns.
    return parent.isValid() ? 0 : std::max(1, int(m_columns.size()));
}

QVariant FileListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_order.size()))
        return {};
    const Row &row = m_rows[m_order[size_t(index.row())]];
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        const QString text = textOf(row, index.column());
        return index.column() == 0 ? platform::displayName(text) : text;
    }
    if (role == NameRole)
        return nameOf(row).toString();
    return {};
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
        const QByteArray path = platform::encodeName(m_folderPath + QLatin1Char('/') + name);
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

void FileListModel::setSortKey(int column)
{
    m_sortKey = column;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<quint32> storageOf;
    storageOf.reserve(size_t(before.size()));
    for (const QModelIndex &index : before)
        storageOf.push_back(m_order[size_t(index.row())]);
    sortRows();
    std::vector<int> shownOf(m_rows.size());
    for (size_t shown = 0; shown < m_order.size(); ++shown)
        shownOf[m_order[shown]] = int(shown);
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype k = 0; k < before.size(); ++k)
        after.push_back(index(shownOf[storageOf[size_t(k)]], before[k].column()));
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// Compares two rows by the sort column alone; names are left to the callers' tie-break.
int FileListModel::keyCompare(const Row &x, const Row &y) const
{
    switch (m_sortKey) {
    case 1:
        return m_typeRank[x.type] - m_typeRank[y.type];
    case 2:
        return threeWay(x.size, y.size);
    case 3:
        return threeWay(x.modified, y.modified);
    case 4:
        return threeWay(x.created, y.created);
    default:
        return 0;
    }
}

// Puts every row in name order once per listing and keeps each row's place in it: sorting by
// another column then breaks its ties by comparing two numbers, and sorting by name is a copy.
// Names the fast path can take are compared as byte keys; others go to the collator, through
// collation keys when there are many of them.
void FileListModel::rankNames()
{
    const size_t count = m_rows.size();
    std::string keys;
    keys.reserve(m_names.size() + count);
    std::vector<size_t> keyStart(count + 1, 0);
    std::vector<bool> fast(count);
    size_t slowNames = 0;
    for (size_t k = 0; k < count; ++k) {
        keyStart[k] = keys.size();
        fast[k] = m_collation.appendFastKey(nameOf(m_rows[k]), keys);
        if (!fast[k]) {
            keys.resize(keyStart[k]);
            ++slowNames;
        }
    }
    keyStart[count] = keys.size();
    auto fastKey = [&](quint32 k) {
        return std::string_view(keys.data() + keyStart[k], keyStart[k + 1] - keyStart[k]);
    };
    // The first eight key bytes as one number decide most comparisons at once. Keys hold no
    // zero byte, so padding a short key with zeros keeps it before its longer extensions.
    auto restOfKey = [&](quint32 k) {
        const std::string_view key = fastKey(k);
        return key.size() > 8 ? key.substr(8) : std::string_view();
    };
    std::vector<quint64> prefix(count, 0);
    for (size_t k = 0; k < count; ++k) {
        const std::string_view key = fastKey(quint32(k));
        for (size_t b = 0; b < 8; ++b)
            prefix[k] = (prefix[k] << 8) | (b < key.size() ? quint8(key[b]) : 0u);
    }

    std::vector<QCollatorSortKey> collationKeys;
    if (slowNames >= sortKeyThreshold) {
        collationKeys.reserve(count);
        for (const Row &row : m_rows)
            collationKeys.push_back(m_collation.collator().sortKey(nameOf(row).toString()));
    }
    auto nameCompare = [&](quint32 a, quint32 b) {
        int result;
        if (!collationKeys.empty())
            result = collationKeys[a].compare(collationKeys[b]);
        else if (fast[a] && fast[b])
            result = prefix[a] != prefix[b] ? (prefix[a] < prefix[b] ? -1 : 1)
                                            : restOfKey(a).compare(restOfKey(b));
        else
            return m_collation.compare(nameOf(m_rows[a]), nameOf(m_rows[b]));
        return result != 0 ? result : nameOf(m_rows[a]).compare(nameOf(m_rows[b]));
    };

    std::vector<quint32> byName(count);
    std::iota(byName.begin(), byName.end(), 0u);
    std::sort(
        byName.begin(), byName.end(), [&](quint32 a, quint32 b) { return nameCompare(a, b) < 0; });
    for (size_t place = 0; place < count; ++place)
        m_rows[byName[place]].nameRank = quint32(place);
    m_namesRanked = true;
}

// Ranks the few distinct type texts once instead of collating them per comparison.
void FileListModel::rankTypes()
{
    const auto &catalog = platform::TypeCatalog::instance();
    std::vector<quint32> present;
    std::vector<bool> seen;
    for (const Row &row : m_rows) {
        if (row.type >= seen.size())
            seen.resize(row.type + 1, false);
        if (!seen[row.type]) {
            seen[row.type] = true;
            present.push_back(row.type);
        }
    }
    std::sort(present.begin(), present.end(), [&](quint32 a, quint32 b) {
        return m_collation.compare(catalog.text(a), catalog.text(b)) < 0;
    });
    m_typeRank.assign(seen.size(), 0);
    for (size_t k = 0; k < present.size(); ++k)
        m_typeRank[present[k]] = int(k);
}

void FileListModel::sortRows()
{
    if (!m_namesRanked)
        rankNames();
    if (m_sortKey == 0 || m_sortKey < 0 || m_sortKey > 4) {
        for (quint32 k = 0; k < quint32(m_rows.size()); ++k)
            m_order[m_rows[k].nameRank] = k;
        return;
    }
    if (m_sortKey == 1)
        rankTypes();
    std::sort(m_order.begin(), m_order.end(), [this](quint32 a, quint32 b) {
        const Row &x = m_rows[a];
        const Row &y = m_rows[b];
        const int result = keyCompare(x, y);
        return result != 0 ? result < 0 : x.nameRank < y.nameRank;
    });
}

} // namespace filelist
