#include "filelist/RowTable.h"

#include "filelist/NameOrder.h"
#include "platform/Failure.h"
#include "platform/NameCodec.h"
#include "platform/TypeCatalog.h"

#include <algorithm>
#include <numeric>
#include <string_view>

namespace filelist {

RowTable::RowTable(QString folderPath)
    : m_folderPath(std::move(folderPath))
{ }

int RowTable::add(QByteArrayView nameBytes)
{
    const quint32 offset = m_names.add(nameBytes.data(), size_t(nameBytes.size()));
    m_rows.push_back({offset, quint16(nameBytes.size()), NameOnly, 0, 0, 0, 0, noCreated});
    m_order.push_back(quint32(m_rows.size() - 1));
    m_namesRanked = false;
    m_lookedUp.reset();
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
    m_lookedUp.reset();
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

int RowTable::positionOfName(QStringView name, const Collation &collation) const
{
    if (m_lookedUp && m_lookedUp->first == name)
        return m_lookedUp->second;
    QByteArray bytes;
    try {
        bytes = platform::encodeName(name);
    } catch (const platform::Failure &) {
        return -1; // no file can have this name
    }
    if (m_sortKey == 0 && m_namesRanked) {
        // In name order: found in as many steps as the count has bits, not one per row.
        const QString text = name.toString();
        const auto shown = std::partition_point(m_order.begin(), m_order.end(),
            [&](quint32 row) { return collation.compare(nameOf(m_rows[row]), text) < 0; });
        return shown != m_order.end() && nameBytesOf(m_rows[*shown]) == bytes
            ? int(shown - m_order.begin())
            : -1;
    }
    for (size_t shown = 0; shown < m_order.size(); ++shown) {
        if (nameBytesOf(m_rows[m_order[shown]]) == bytes)
            return int(shown);
    }
    return -1;
}

void RowTable::lookUpAhead(const QString &name, const Collation &collation)
{
    m_lookedUp.reset();
    const int position = positionOfName(name, collation);
    m_lookedUp.emplace(name, position);
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
    return typePlaces(std::move(present), collation);
}

std::vector<int> RowTable::typePlaces(std::vector<quint32> types, const Collation &collation)
{
    const auto &catalog = platform::TypeCatalog::instance();
    std::sort(types.begin(), types.end(), [&](quint32 a, quint32 b) {
        return collation.compare(catalog.text(a), catalog.text(b)) < 0;
    });
    std::vector<int> place(types.empty() ? 0 : *std::max_element(types.begin(), types.end()) + 1);
    for (size_t k = 0; k < types.size(); ++k) {
        const bool sameText = k > 0 && catalog.text(types[k - 1]) == catalog.text(types[k]);
        place[types[k]] = sameText ? place[types[k - 1]] : int(k);
    }
    return place;
}

void RowTable::sortBy(int key, const Collation &collation)
{
    if (key <= 0 || key > 4) {
        setOrder(key, nameOrder(collation));
        return;
    }
    setOrder(key, orderOf(sortEntries(key, collation)));
}

std::vector<quint32> RowTable::nameOrder(const Collation &collation)
{
    if (!m_namesRanked)
        rankNames(collation);
    std::vector<quint32> order(m_rows.size());
    for (quint32 k = 0; k < quint32(m_rows.size()); ++k)
        order[m_rows[k].nameRank] = k;
    return order;
}

std::vector<RowTable::SortEntry> RowTable::sortEntries(int key, const Collation &collation)
{
    if (!m_namesRanked)
        rankNames(collation);
    const std::vector<int> typeRank = key == 1 ? rankTypes(collation) : std::vector<int>();
    std::vector<SortEntry> entries(m_rows.size());
    for (quint32 k = 0; k < quint32(m_rows.size()); ++k) {
        const Row &row = m_rows[k];
        const std::int64_t value = key == 1 ? typeRank[row.type]
            : key == 2                      ? row.size
            : key == 3                      ? row.modified
                                            : row.created;
        entries[k] = {value, row.nameRank, k};
    }
    return entries;
}

std::vector<quint32> RowTable::orderOf(std::vector<SortEntry> entries)
{
    std::sort(entries.begin(), entries.end(), [](const SortEntry &x, const SortEntry &y) {
        return x.value != y.value ? x.value < y.value : x.nameRank < y.nameRank;
    });
    std::vector<quint32> order(entries.size());
    for (size_t k = 0; k < entries.size(); ++k)
        order[k] = entries[k].row;
    return order;
}

void RowTable::setOrder(int key, std::vector<quint32> order)
{
    m_sortKey = key;
    m_order = std::move(order);
    m_lookedUp.reset();
}

} // namespace filelist
