#include "filelist/NameOrder.h"

#include "platform/NameCodec.h"

#include <QCollatorSortKey>

#include <algorithm>
#include <string>
#include <string_view>

namespace filelist {

namespace {

// Names that are not plain ASCII are ordered through collation keys, made once per sort, when
// there are enough of them for per-comparison collation to be slow.
constexpr size_t sortKeyThreshold = 512;

// The fast keys of all names back to back; a name without one (not plain ASCII, or a locale the
// fast path cannot follow) has an empty range and fast[k] false.
struct FastKeys
{
    std::string bytes;
    std::vector<quint32> start;
    std::vector<bool> fast;
    size_t slowNames = 0;

    std::string_view of(size_t k) const
    {
        return std::string_view(bytes.data() + start[k], start[k + 1] - start[k]);
    }
};

FastKeys fastKeys(const std::vector<QByteArrayView> &names, const Collation &collation)
{
    FastKeys keys;
    const size_t count = names.size();
    size_t total = 0;
    for (const QByteArrayView name : names)
        total += size_t(name.size());
    keys.bytes.reserve(total + total / 4 + count);
    keys.start.resize(count + 1);
    keys.fast.resize(count);
    for (size_t k = 0; k < count; ++k) {
        keys.start[k] = quint32(keys.bytes.size());
        keys.fast[k] = collation.appendFastKey(names[k], keys.bytes);
        if (!keys.fast[k]) {
            keys.bytes.resize(keys.start[k]);
            ++keys.slowNames;
        }
    }
    keys.start[count] = quint32(keys.bytes.size());
    return keys;
}

// The first eight key bytes as one number, which decides most comparisons at once. Keys hold no
// zero byte, so padding a short key with zeros keeps it before its longer extensions.
quint64 prefixOf(std::string_view key)
{
    quint64 prefix = 0;
    for (size_t b = 0; b < 8; ++b)
        prefix = (prefix << 8) | (b < key.size() ? quint8(key[b]) : 0u);
    return prefix;
}

struct Entry
{
    quint64 prefix;
    quint32 index;
};

} // namespace

struct NameOrder::Data
{
    Data(const std::vector<QByteArrayView> &names, const Collation &collation)
        : names(names)
        , collation(collation)
        , keys(fastKeys(names, collation))
    {
        entries.resize(names.size());
        for (size_t k = 0; k < names.size(); ++k)
            entries[k] = {prefixOf(keys.of(k)), quint32(k)};
        if (keys.slowNames >= sortKeyThreshold) {
            collationKeys.reserve(names.size());
            for (const QByteArrayView name : names)
                collationKeys.push_back(collation.collator().sortKey(platform::decodeName(name)));
        }
    }

    int exact(quint32 a, quint32 b) const
    {
        return platform::decodeName(names[a]).compare(platform::decodeName(names[b]));
    }

    bool less(const Entry &x, const Entry &y) const
    {
        const quint32 a = x.index, b = y.index;
        int result;
        if (!collationKeys.empty()) {
            result = collationKeys[a].compare(collationKeys[b]);
            if (result == 0)
                result = exact(a, b);
        } else if (keys.fast[a] && keys.fast[b]) {
            if (x.prefix != y.prefix)
                return x.prefix < y.prefix;
            const std::string_view ka = keys.of(a), kb = keys.of(b);
            result = ka.substr(std::min<size_t>(8, ka.size()))
                         .compare(kb.substr(std::min<size_t>(8, kb.size())));
            // Plain ASCII: the bytes order as the text does.
            if (result == 0)
                result = names[a].compare(names[b]);
        } else {
            result
                = collation.compare(platform::decodeName(names[a]), platform::decodeName(names[b]));
        }
        return result < 0;
    }

    const std::vector<QByteArrayView> &names;
    const Collation &collation;
    const FastKeys keys;
    std::vector<Entry> entries;
    std::vector<QCollatorSortKey> collationKeys;
};

NameOrder::NameOrder(const std::vector<QByteArrayView> &names, const Collation &collation)
    : d(std::make_unique<Data>(names, collation))
{ }

NameOrder::~NameOrder() = default;

std::vector<quint32> NameOrder::first(size_t n) const
{
    std::vector<Entry> entries = d->entries;
    n = std::min(n, entries.size());
    auto less = [this](const Entry &x, const Entry &y) { return d->less(x, y); };
    std::nth_element(entries.begin(), entries.begin() + qsizetype(n), entries.end(), less);
    std::sort(entries.begin(), entries.begin() + qsizetype(n), less);
    std::vector<quint32> result(n);
    for (size_t k = 0; k < n; ++k)
        result[k] = entries[k].index;
    return result;
}

std::vector<quint32> NameOrder::ranks()
{
    std::vector<Entry> &entries = d->entries;
    std::sort(entries.begin(), entries.end(),
        [this](const Entry &x, const Entry &y) { return d->less(x, y); });
    std::vector<quint32> rank(entries.size());
    for (size_t place = 0; place < entries.size(); ++place)
        rank[entries[place].index] = quint32(place);
    return rank;
}

std::vector<quint32> rankByName(
    const std::vector<QByteArrayView> &names, const Collation &collation)
{
    return NameOrder(names, collation).ranks();
}

} // namespace filelist
