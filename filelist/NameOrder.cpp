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

std::vector<quint32> rankByName(
    const std::vector<QByteArrayView> &names, const Collation &collation)
{
    const size_t count = names.size();
    const FastKeys keys = fastKeys(names, collation);
    std::vector<Entry> entries(count);
    for (size_t k = 0; k < count; ++k)
        entries[k] = {prefixOf(keys.of(k)), quint32(k)};

    std::vector<QCollatorSortKey> collationKeys;
    if (keys.slowNames >= sortKeyThreshold) {
        collationKeys.reserve(count);
        for (const QByteArrayView name : names)
            collationKeys.push_back(collation.collator().sortKey(platform::decodeName(name)));
    }
    auto exact = [&](quint32 a, quint32 b) {
        return platform::decodeName(names[a]).compare(platform::decodeName(names[b]));
    };
    auto less = [&](const Entry &x, const Entry &y) {
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
            result = ka.size() > 8 || kb.size() > 8
                ? ka.substr(std::min<size_t>(8, ka.size()))
                      .compare(kb.substr(std::min<size_t>(8, kb.size())))
                : 0;
            // Plain ASCII: the bytes order as the text does.
            if (result == 0)
                result = names[a].compare(names[b]);
        } else {
            result
                = collation.compare(platform::decodeName(names[a]), platform::decodeName(names[b]));
        }
        return result < 0;
    };
    std::sort(entries.begin(), entries.end(), less);
    std::vector<quint32> rank(count);
    for (size_t place = 0; place < count; ++place)
        rank[entries[place].index] = quint32(place);
    return rank;
}

} // namespace filelist
