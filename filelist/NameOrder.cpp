#include "filelist/NameOrder.h"

#include "platform/NameCodec.h"

#include <QCollatorSortKey>

#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace filelist {

namespace {

// Names that are not plain ASCII are ordered through collation keys, made once per sort, when
// there are enough of them for per-comparison collation to be slow.
constexpr size_t sortKeyThreshold = 512;

// Which names have fast keys (plain ASCII, in a locale the fast path can follow). The keys
// themselves are kept, back to back, only where names of both kinds are compared one pair at a
// time; otherwise a key beyond its first eight bytes is made again from the name when a tie
// needs it, which keeps a listing's memory down by about a byte per character of its names.
struct FastKeys
{
    std::vector<bool> fast;
    size_t slowNames = 0;
    std::string bytes;
    std::vector<quint32> start; // empty when the keys are not kept

    void keep(size_t count, const NameOrder::NameAt &names, const Collation &collation)
    {
        size_t total = 0;
        for (quint32 k = 0; k < count; ++k)
            total += size_t(names(k).size());
        // Room for the longest keys the names can give (two bytes a character and one more),
        // so that the buffer never moves; only what the keys fill is touched.
        bytes.reserve(2 * total + count);
        start.resize(count + 1);
        for (size_t k = 0; k < count; ++k) {
            start[k] = quint32(bytes.size());
            if (!collation.appendFastKey(names(quint32(k)), bytes))
                bytes.resize(start[k]);
        }
        start[count] = quint32(bytes.size());
    }
};

// Eight key bytes from offset on as one number, which decides most comparisons at once. Keys
// hold no zero byte, so padding a short key with zeros keeps it before its longer extensions.
quint64 chunkOf(std::string_view key, size_t offset = 0)
{
    quint64 chunk = 0;
    for (size_t b = offset; b < offset + 8; ++b)
        chunk = (chunk << 8) | (b < key.size() ? quint8(key[b]) : 0u);
    return chunk;
}

quint64 prefixOf(std::string_view key)
{
    return chunkOf(key);
}

// A name's place in the sort: its first eight key bytes as one number, and the four after them,
// which settle most ties without going back to the name.
struct Entry
{
    quint64 prefix;
    quint32 next;
    quint32 index;
};

quint32 nextOf(std::string_view key)
{
    return quint32(chunkOf(key, 8) >> 32);
}

// Sorts entries by their prefix field, in place: a long run is first spread into buckets by the
// prefix's top sixteen bits (each entry swapped straight into its bucket), and each bucket is then
// sorted by comparison; a short run is sorted by comparison at once.
void sortByPrefix(Entry *begin, Entry *end)
{
    auto byPrefix = [](const Entry &x, const Entry &y) { return x.prefix < y.prefix; };
    const size_t count = size_t(end - begin);
    if (count < 4096) {
        std::sort(begin, end, byPrefix);
        return;
    }
    auto digit = [](const Entry &e) { return size_t(e.prefix >> 48); };
    std::vector<size_t> bucketEnd(65536, 0);
    for (const Entry *e = begin; e != end; ++e)
        ++bucketEnd[digit(*e)];
    std::vector<size_t> next(65536);
    size_t sum = 0;
    for (size_t b = 0; b < 65536; ++b) {
        next[b] = sum;
        sum += bucketEnd[b];
        bucketEnd[b] = sum;
    }
    for (size_t b = 0; b < 65536; ++b) {
        while (next[b] < bucketEnd[b]) {
            Entry moving = begin[next[b]];
            for (size_t d = digit(moving); d != b; d = digit(moving))
                std::swap(moving, begin[next[d]++]);
            begin[next[b]++] = moving;
        }
    }
    size_t start = 0;
    for (size_t b = 0; b < 65536; ++b) {
        std::sort(begin + start, begin + bucketEnd[b], byPrefix);
        start = bucketEnd[b];
    }
}
} // namespace

struct NameOrder::Data
{
    Data(size_t count, NameOrder::NameAt nameAt, const Collation &collation)
        : names(std::move(nameAt))
        , collation(collation)
    {
        entries.resize(count);
        keys.fast.resize(count);
        std::string key;
        for (size_t k = 0; k < count; ++k) {
            key.clear();
            keys.fast[k] = collation.appendFastKey(names(quint32(k)), key);
            keys.slowNames += keys.fast[k] ? 0 : 1;
            entries[k] = {prefixOf(key), nextOf(key), quint32(k)};
        }
        if (keys.slowNames > 0 && keys.slowNames < sortKeyThreshold)
            keys.keep(count, names, collation);
        if (keys.slowNames >= sortKeyThreshold) {
            collationKeys.reserve(count);
            for (quint32 k = 0; k < count; ++k)
                collationKeys.push_back(
                    collation.collator().sortKey(platform::decodeName(names(k))));
        }
    }

    int exact(quint32 a, quint32 b) const
    {
        return platform::decodeName(names(a)).compare(platform::decodeName(names(b)));
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
            if (x.prefix != y.prefix || x.next != y.next)
                return x.prefix != y.prefix ? x.prefix < y.prefix : x.next < y.next;
            std::string bufferA, bufferB;
            const std::string_view ka = keyOf(a, bufferA), kb = keyOf(b, bufferB);
            result = ka.substr(std::min<size_t>(12, ka.size()))
                         .compare(kb.substr(std::min<size_t>(12, kb.size())));
            // Plain ASCII: the bytes order as the text does.
            if (result == 0)
                result = names(a).compare(names(b));
        } else {
            result
                = collation.compare(platform::decodeName(names(a)), platform::decodeName(names(b)));
        }
        return result < 0;
    }

    // The fast key of name k: the kept one, or one made in buffer.
    std::string_view keyOf(quint32 k, std::string &buffer) const
    {
        if (!keys.start.empty())
            return std::string_view(keys.bytes)
                .substr(keys.start[k], keys.start[k + 1] - keys.start[k]);
        buffer.clear();
        collation.appendFastKey(names(k), buffer);
        return buffer;
    }

    void sortByKeys(Entry *begin, Entry *end, size_t offset, size_t width);

    const NameOrder::NameAt names;
    const Collation &collation;
    FastKeys keys;
    std::vector<Entry> entries;
    std::vector<QCollatorSortKey> collationKeys;
};

NameOrder::NameOrder(size_t count, NameAt nameAt, const Collation &collation)
    : d(std::make_unique<Data>(count, std::move(nameAt), collation))
{ }

NameOrder::~NameOrder() = default;

// The n best seen so far are kept in a heap whose top is the worst of them: each name costs one
// comparison with it, mostly of two numbers, and no copy of all the entries is made.
std::vector<quint32> NameOrder::first(size_t n, const std::vector<quint32> &group) const
{
    auto groupOf = [&group](const Entry &e) { return group.empty() ? 0u : group[e.index]; };
    std::vector<Entry> best;
    if (m_ranked) {
        // Placing every name used up the entries' keys and left them in name order: the first n
        // of each group are the candidates.
        std::unordered_map<quint32, size_t> taken;
        for (const Entry &e : d->entries) {
            if (taken[groupOf(e)]++ < n)
                best.push_back(e);
        }
        std::stable_sort(best.begin(), best.end(),
            [&](const Entry &x, const Entry &y) { return groupOf(x) < groupOf(y); });
        best.resize(std::min(n, best.size()));
    } else if (n > 0) {
        auto less = [&](const Entry &x, const Entry &y) {
            return groupOf(x) != groupOf(y) ? groupOf(x) < groupOf(y) : d->less(x, y);
        };
        best.reserve(n);
        for (const Entry &e : d->entries) {
            if (best.size() < n) {
                best.push_back(e);
                std::push_heap(best.begin(), best.end(), less);
            } else if (less(e, best.front())) {
                std::pop_heap(best.begin(), best.end(), less);
                best.back() = e;
                std::push_heap(best.begin(), best.end(), less);
            }
        }
        std::sort_heap(best.begin(), best.end(), less);
    }
    std::vector<quint32> result(best.size());
    for (size_t k = 0; k < best.size(); ++k)
        result[k] = best[k].index;
    return result;
}

// When every name has a fast key, the keys are put in order eight bytes at a time: all entries
// by their first eight, then each run that shares those by the next eight, and so on; a run
// whose keys are wholly equal is ordered by the names' bytes. Each step sorts plain numbers.
void NameOrder::Data::sortByKeys(Entry *begin, Entry *end, size_t offset, size_t width)
{
    sortByPrefix(begin, end);
    const size_t following = offset + width;
    for (Entry *run = begin; run != end;) {
        Entry *runEnd = run + 1;
        while (runEnd != end && runEnd->prefix == run->prefix)
            ++runEnd;
        if (runEnd - run > 1) {
            bool longer = false;
            size_t nextWidth = 8;
            if (following == 8) {
                // The four key bytes after the first eight are in the entry: a key has more
                // than eight bytes when they are not zero.
                for (Entry *e = run; e != runEnd; ++e) {
                    longer = longer || e->next != 0;
                    e->prefix = quint64(e->next) << 32;
                }
                nextWidth = 4;
            } else {
                std::string buffer;
                for (Entry *e = run; e != runEnd; ++e) {
                    const std::string_view key = keyOf(e->index, buffer);
                    longer = longer || key.size() > following;
                    e->prefix = chunkOf(key, following);
                }
            }
            if (longer) {
                sortByKeys(run, runEnd, following, nextWidth);
            } else {
                // Plain ASCII: the bytes order as the text does.
                std::sort(run, runEnd, [this](const Entry &x, const Entry &y) {
                    return names(x.index).compare(names(y.index)) < 0;
                });
            }
        }
        run = runEnd;
    }
}

std::vector<quint32> NameOrder::ranks()
{
    std::vector<Entry> &entries = d->entries;
    if (!m_ranked) {
        if (d->keys.slowNames == 0)
            d->sortByKeys(entries.data(), entries.data() + entries.size(), 0, 8);
        else
            std::sort(entries.begin(), entries.end(),
                [this](const Entry &x, const Entry &y) { return d->less(x, y); });
        m_ranked = true;
    }
    std::vector<quint32> rank(entries.size());
    for (size_t place = 0; place < entries.size(); ++place)
        rank[entries[place].index] = quint32(place);
    return rank;
}

std::vector<quint32> rankByName(
    const std::vector<QByteArrayView> &names, const Collation &collation)
{
    return NameOrder(
        names.size(), [&names](quint32 k) { return names[k]; }, collation)
        .ranks();
}

} // namespace filelist
