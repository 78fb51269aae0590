#include "filelist/RowTable.h"

#include "filelist/NameOrder.h"
#include "platform/Failure.h"
#include "platform/NameCodec.h"
#include "platform/TypeCatalog.h"

#include <algorithm>
#include <numeric>
#include <string_view>

namespace filelist {

namespace {

int threeWay(std::int64_t a, std::int64_t b)
{
    return (a > b) - (a < b);
}

} // namespace

RowTable::RowTable(QString folderPath)
    : m_folderPath(std::move(folderPath))
{ }

int RowTable::add(QByteArrayView nameBytes)
{
    const quint32 offset = m_names.add(nameBytes.data(), size_t(nameBytes.size()));
    m_rows.push_back({offset, quint16(nameBytes.size()), NameOnly, 0, 0, 0, 0, noCreated});
    m_order.push_back(quint32(m_rows.size() - 1));
    m_namesRanked = false;
    return int(m_rows.size() - 1);
}

void RowTable::adopt(NameStore names, std::vector<Row> rows)
{
    m_names = std::move(names);
    m_rows = std::move(rows);
    m_order.resize(m_rows.size());
    for (quint32 k = 0; k < quint32(m_rows.size()); ++k)
        m_order[m_rows[k].nameRank] = k;
    m_namesRanked = true;
    m_sortKey = 0;
}

void RowTable::setType(int item, quint32 typeIndex)
{
    Row &row = m_rows[size_t(item)];
    row.type = typeIndex;
    row.filled = TypeFilled;
}

void RowTable::setSize(int item, std::int64_t bytes)
{
    Row &row = m_rows[size_t(item)];
    row.size = bytes;
    row.filled = SizeFilled;
}

void RowTable::setModified(int item, platform::Timestamp moment)
{
    Row &row = m_rows[size_t(item)];
    row.modified = moment;
    row.filled = ModifiedFilled;
}

void RowTable::setCreated(int item, std::optional<platform::Timestamp> moment)
{
    Row &row = m_rows[size_t(item)];
    row.created = moment.value_or(noCreated);
    row.filled = CreatedFilled;
}

QString RowTable::nameOf(const Row &row) const
{
    return platform::decodeName(nameBytesOf(row));
}

QByteArrayView RowTable::nameBytesOf(const Row &row) const
{
    return m_names.view(row.nameOffset, row.nameLength);
}

int RowTable::positionOfName(QStringView name) const
{
    QByteArray bytes;
    try {
        bytes = platform::encodeName(name);
    } catch (const platform::Failure &) {
        return -1; // no file can have this name
    }
    for (size_t shown = 0; shown < m_order.size(); ++shown) {
        if (nameBytesOf(m_rows[m_order[shown]]) == bytes)
            return int(shown);
    }
    return -1;
}

std::vector<int> RowTable::shownPositions() const
{
    std::vector<int> shownOf(m_rows.size());
    for (size_t shown = 0; shown < m_order.size(); ++shown)
        shownOf[m_order[shown]] = int(shown);
    return shownOf;
}

// Puts every row in name order once per listing and keeps each row's place in it: sorting by
// another column then breaks its ties by comparing two numbers, and sorting by name is a copy.
void RowTable::rankNames(const Collation &collation)
{
    std::vector<QByteArrayView> names;
    names.reserve(m_rows.size());
    for (const Row &row : m_rows)
        names.push_back(nameBytesOf(row));
    const std::vector<quint32> rank = rankByName(names, collation);
    for (size_t k = 0; k < m_rows.size(); ++k)
        m_rows[k].nameRank = rank[k];
    m_namesRanked = true;
}

// Ranks the few distinct type texts once instead of collating them per comparison.
std::vector<int> RowTable::rankTypes(const Collation &collation) const
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
        return collation.compare(catalog.text(a), catalog.text(b)) < 0;
    });
    std::vector<int> typeRank(seen.size(), 0);
    for (size_t k = 0; k < present.size(); ++k)
        typeRank[present[k]] = int(k);
    return typeRank;
}

void RowTable::sortBy(int key, const Collation &collation)
{
    m_sortKey = key;
    if (!m_namesRanked)
        rankNames(collation);
    if (key <= 0 || key > 4) {
        for (quint32 k = 0; k < quint32(m_rows.size()); ++k)
            m_order[m_rows[k].nameRank] = k;
        return;
    }
    const std::vector<int> typeRank = key == 1 ? rankTypes(collation) : std::vector<int>();
    auto keyCompare = [&](const Row &x, const Row &y) {
        switch (key) {
        case 1:
            return typeRank[x.type] - typeRank[y.type];
        case 2:
            return threeWay(x.size, y.size);
        case 3:
            return threeWay(x.modified, y.modified);
        default:
            return threeWay(x.created, y.created);
        }
    };
    std::sort(m_order.begin(), m_order.end(), [&](quint32 a, quint32 b) {
        const Row &x = m_rows[a];
        const Row &y = m_rows[b];
        const int result = keyCompare(x, y);
        return result != 0 ? result < 0 : x.nameRank < y.nameRank;
    });
}

} // namespace filelist
