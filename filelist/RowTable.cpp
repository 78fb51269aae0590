#include "filelist/RowTable.h"

#include "platform/NameCodec.h"
#include "platform/TypeCatalog.h"

#include <QCollatorSortKey>

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

RowTable::RowTable(QString folderPath)
    : m_folderPath(std::move(folderPath))
{ }

int RowTable::add(QByteArrayView nameBytes)
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
    m_order.push_back(quint32(m_rows.size() - 1));
    m_namesRanked = false;
    return int(m_rows.size() - 1);
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

QStringView RowTable::nameOf(const Row &row) const
{
    return QStringView(m_names).sliced(row.nameOffset, row.nameLength);
}

int RowTable::positionOfName(QStringView name) const
{
    for (size_t shown = 0; shown < m_order.size(); ++shown) {
        if (nameOf(m_rows[m_order[shown]]) == name)
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
// Names the fast path can take are compared as byte keys; others go to the collator, through
// collation keys when there are many of them.
void RowTable::rankNames(const Collation &collation)
{
    const size_t count = m_rows.size();
    std::string keys;
    keys.reserve(m_names.size() + count);
    std::vector<size_t> keyStart(count + 1, 0);
    std::vector<bool> fast(count);
    size_t slowNames = 0;
    for (size_t k = 0; k < count; ++k) {
        keyStart[k] = keys.size();
        fast[k] = collation.appendFastKey(nameOf(m_rows[k]), keys);
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
            collationKeys.push_back(collation.collator().sortKey(nameOf(row).toString()));
    }
    auto nameCompare = [&](quint32 a, quint32 b) {
        int result;
        if (!collationKeys.empty())
            result = collationKeys[a].compare(collationKeys[b]);
        else if (fast[a] && fast[b])
            result = prefix[a] != prefix[b] ? (prefix[a] < prefix[b] ? -1 : 1)
                                            : restOfKey(a).compare(restOfKey(b));
        else
            return collation.compare(nameOf(m_rows[a]), nameOf(m_rows[b]));
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
