#include "filelist/FolderReader.h"

#include "filelist/NameOrder.h"
#include "platform/CallState.h"
#include "platform/EntryScan.h"
#include "platform/FileSystem.h"
#include "platform/NameCodec.h"
#include "platform/TypeCatalog.h"

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <dirent.h>
#include <memory>
#include <mutex>
#include <new>
#include <pthread.h>
#include <sys/mman.h>
#include <thread>

namespace filelist {

namespace {

// Entries are handed to the looking threads in blocks of this many; a folder of one block or
// less is read and looked at by the calling thread alone.
constexpr size_t blockSize = 4096;
// How many rows the first screen may need, at most.
constexpr size_t firstScreenRows = 64;

QString tr(const char *text)
{
    return QCoreApplication::translate("ListView1", text);
}

// An entry whose name has been read: where its name is, and what the one look at it found.
// Whoever looks at it first claims it, so that no entry is looked at twice. Kept small: a
// listing holds one per file until its rows are made.
#pragma pack(push, 4)
struct Entry
{
    enum State : quint8 { Waiting, Looking, Looked };

    std::int64_t size = 0;
    platform::Timestamp modified = 0;
    platform::Timestamp created = RowTable::noCreated;
    quint32 nameOffset = 0;
    quint32 typeOrError = 0; // the type for a file, the errno for a failed look
    quint16 nameLength = 0;
    std::atomic<quint8> state {Waiting};
    platform::EntryStatus::Kind kind = platform::EntryStatus::Gone;
};
#pragma pack(pop)
static_assert(sizeof(Entry) == 36);

// A block's entries are mapped from the system on their own rather than taken from the heap, so
// that each block goes back to the system the moment its rows are made: a listing never holds a
// million entries and a million rows at once.
struct Unmap
{
    void operator()(Entry *entries) const
    {
        std::destroy_n(entries, blockSize);
        ::munmap(entries, blockSize * sizeof(Entry));
    }
};

std::unique_ptr<Entry[], Unmap> mapEntries()
{
    void *place = ::mmap(nullptr, blockSize * sizeof(Entry), PROT_READ | PROT_WRITE,
        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (place == MAP_FAILED)
        throw std::bad_alloc();
    std::uninitialized_default_construct_n(static_cast<Entry *>(place), blockSize);
    return std::unique_ptr<Entry[], Unmap>(static_cast<Entry *>(place));
}

// A run of entries handed to the looking threads together.
struct Block
{
    std::unique_ptr<Entry[], Unmap> entries = mapEntries();
    size_t count = 0;
};

// Reads one folder: names on the calling thread, looks on helper threads, order on the calling
// thread once every name is known.
class Reader
{
public:
    Reader(const QString &path, const platform::Folder &folder)
        : m_path(path)
        , m_folder(folder)
        , m_call(platform::currentCall())
    { }

    ~Reader() { stopHelpers(); }

    Listing read(int sortKey, const std::function<void(RowTable)> &firstRows);

private:
    void readNames();
    void handOver(Block &block);
    void startHelpers(unsigned count);
    void stopHelpers();
    void helperLoop();
    bool takeBlock(std::pair<Entry *, size_t> &block);
    void lookAtBlock(std::pair<Entry *, size_t> block, platform::TypeCatalog::Lookup &types);
    void lookAt(Entry &entry, platform::TypeCatalog::Lookup &types);
    void helpUntilDone();
    bool cancelRequested() const { return m_call && m_call->cancelRequested(); }
    Entry &entry(size_t k) { return m_blocks[k / blockSize].entries[k % blockSize]; }
    QByteArrayView nameOf(const Entry &entry) const
    {
        return m_names.view(entry.nameOffset, entry.nameLength);
    }
    size_t entryCount() const
    {
        return m_blocks.empty() ? 0 : (m_blocks.size() - 1) * blockSize + m_blocks.back().count;
    }
    std::vector<quint32> typePlaces();
    RowTable firstRowsTable(
        const NameOrder &order, const std::vector<quint32> &typePlace, int sortKey);
    Listing finish(
        const std::vector<quint32> &rank, const std::vector<quint32> &typePlace, int sortKey);

    const QString m_path;
    const platform::Folder &m_folder;
    platform::CallState *const m_call;
    NameStore m_names;
    std::vector<Block> m_blocks; // only the reading thread touches this list
    std::optional<platform::Failure> m_readFailure;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_blockDone;
    // The blocks' entries the helpers may look at, under m_mutex; a block's entries stay where
    // they are while the list of blocks grows.
    std::vector<std::pair<Entry *, size_t>> m_handedOver;
    size_t m_nextBlock = 0;
    size_t m_blocksDone = 0;
    bool m_allHandedOver = false;
    bool m_stopping = false;
    std::vector<std::thread> m_helpers;
};

void Reader::readNames()
{
    platform::EntryReader reader(m_folder);
    size_t length = 0;
    unsigned char type = DT_UNKNOWN;
    try {
        while (const char *name = reader.next(length, type)) {
            if (type == DT_DIR)
                continue;
            if (m_blocks.empty() || m_blocks.back().count == blockSize) {
                if (!m_blocks.empty())
                    handOver(m_blocks.back());
                m_blocks.emplace_back();
            }
            Block &block = m_blocks.back();
            Entry &entry = block.entries[block.count++];
            entry.nameOffset = m_names.add(name, length);
            entry.nameLength = quint16(length);
        }
    } catch (const platform::Failure &failure) {
        if (cancelRequested())
            throw;
        m_readFailure = failure; // the entries read before it are listed
    }
}

// A full block goes to the helpers, which start with the first one: a folder of one block is
// read and looked at by the calling thread alone.
void Reader::handOver(Block &block)
{
    if (m_helpers.empty()) {
        const unsigned cores = std::thread::hardware_concurrency();
        startHelpers(cores > 1 ? cores - 1 : 1);
    }
    {
        const std::lock_guard lock(m_mutex);
        m_handedOver.push_back({block.entries.get(), block.count});
    }
    m_wake.notify_one();
    platform::reportProgress(qint64(entryCount()), -1);
    if (cancelRequested())
        throw cancelledListing(m_path);
}

// While the names are read, one helper for every core but the reading thread's: reading the
// names undisturbed is what lets the first rows show early. Once they are read, one more joins
// in while the reading thread puts the names in order.
void Reader::startHelpers(unsigned count)
{
    for (unsigned k = 0; k < count; ++k) {
        m_helpers.emplace_back([this] { helperLoop(); });
        pthread_setname_np(m_helpers.back().native_handle(), "tolvan-look");
    }
}

void Reader::stopHelpers()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread &helper : m_helpers)
        helper.join();
    m_helpers.clear();
}

void Reader::helperLoop()
{
    platform::TypeCatalog::Lookup types;
    for (;;) {
        std::pair<Entry *, size_t> block;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] {
                return m_stopping || m_nextBlock < m_handedOver.size() || m_allHandedOver;
            });
            if (m_stopping || m_nextBlock >= m_handedOver.size())
                return;
            block = m_handedOver[m_nextBlock++];
        }
        lookAtBlock(block, types);
    }
}

bool Reader::takeBlock(std::pair<Entry *, size_t> &block)
{
    const std::lock_guard lock(m_mutex);
    if (m_nextBlock >= m_handedOver.size())
        return false;
    block = m_handedOver[m_nextBlock++];
    return true;
}

void Reader::lookAtBlock(std::pair<Entry *, size_t> block, platform::TypeCatalog::Lookup &types)
{
    const auto [entries, count] = block;
    for (size_t k = 0; k < count && !cancelRequested(); ++k)
        lookAt(entries[k], types);
    {
        const std::lock_guard lock(m_mutex);
        ++m_blocksDone;
    }
    m_blockDone.notify_all();
}

void Reader::lookAt(Entry &entry, platform::TypeCatalog::Lookup &types)
{
    quint8 waiting = Entry::Waiting;
    if (!entry.state.compare_exchange_strong(waiting, Entry::Looking))
        return;
    const platform::EntryStatus status = platform::lookAt(m_folder, m_names.at(entry.nameOffset));
    entry.kind = status.kind;
    if (status.kind == platform::EntryStatus::Failed)
        entry.typeOrError = quint32(status.error);
    else if (status.kind == platform::EntryStatus::File)
        entry.typeOrError = types.indexForName(nameOf(entry));
    entry.size = status.size;
    entry.modified = status.modified;
    entry.created = status.created.value_or(RowTable::noCreated);
    entry.state.store(Entry::Looked, std::memory_order_release);
}

// The reading thread looks at what is left, then waits for the helpers' last blocks.
void Reader::helpUntilDone()
{
    platform::TypeCatalog::Lookup types;
    for (std::pair<Entry *, size_t> block; takeBlock(block);)
        lookAtBlock(block, types);
    std::unique_lock lock(m_mutex);
    m_blockDone.wait(lock, [this] { return m_blocksDone >= m_handedOver.size(); });
}

// For the order by type: each entry's type's place in the Type column's order, from its name.
std::vector<quint32> Reader::typePlaces()
{
    platform::TypeCatalog::Lookup types;
    std::vector<quint32> place(entryCount());
    std::vector<quint32> present;
    std::vector<bool> seen;
    for (size_t k = 0; k < place.size(); ++k) {
        const quint32 type = place[k] = types.indexForName(nameOf(entry(k)));
        if (type >= seen.size())
            seen.resize(type + 1, false);
        if (!seen[type]) {
            seen[type] = true;
            present.push_back(type);
        }
    }
    const std::vector<int> placeOf = RowTable::typePlaces(std::move(present), Collation());
    for (quint32 &p : place)
        p = quint32(placeOf[p]);
    return place;
}

// The rows that come first in the list's order (by name, or by type and name), looked at before
// all others: exactly the finished list's first rows. Entries that turn out to be folders or gone
// get no row there either; an entry that cannot be looked at ends the listing's walk (see
// finish), so the rows stop before it.
RowTable Reader::firstRowsTable(
    const NameOrder &order, const std::vector<quint32> &typePlace, int sortKey)
{
    platform::TypeCatalog::Lookup types;
    NameStore names;
    std::vector<RowTable::Row> rows;
    for (const quint32 k : order.first(firstScreenRows, typePlace)) {
        Entry &first = entry(k);
        lookAt(first, types);
        // A helper may be looking at it right now; its look takes a moment.
        while (first.state.load(std::memory_order_acquire) != Entry::Looked)
            std::this_thread::yield();
        if (first.kind == platform::EntryStatus::Failed)
            break;
        if (first.kind != platform::EntryStatus::File)
            continue;
        const quint32 offset = names.add(m_names.at(first.nameOffset), first.nameLength);
        rows.push_back({offset, first.nameLength, RowTable::CreatedFilled, first.typeOrError,
            quint32(rows.size()), first.size, first.modified, first.created});
    }
    if (!typePlace.empty()) {
        // The rows came by type: their places by name among themselves.
        std::vector<QByteArrayView> shown;
        for (const RowTable::Row &row : rows)
            shown.push_back(names.view(row.nameOffset, row.nameLength));
        const std::vector<quint32> rank = rankByName(shown, Collation());
        for (size_t k = 0; k < rows.size(); ++k)
            rows[k].nameRank = rank[k];
    }
    RowTable table(m_path);
    table.adopt(std::move(names), std::move(rows));
    table.sortBy(sortKey, Collation());
    return table;
}

Listing Reader::read(int sortKey, const std::function<void(RowTable)> &firstRows)
{
    readNames();
    if (!m_blocks.empty() && !m_helpers.empty())
        handOver(m_blocks.back());
    {
        const std::lock_guard lock(m_mutex);
        m_allHandedOver = true;
    }
    m_wake.notify_all();
    if (!m_helpers.empty() && std::thread::hardware_concurrency() > 1)
        startHelpers(1);

    const size_t count = entryCount();
    // The orders that the names alone decide: by name, and by type and then name.
    const std::vector<quint32> typePlace = sortKey == 1 ? typePlaces() : std::vector<quint32>();
    // The order's keys go before the rows are made: a listing never holds both.
    std::vector<quint32> rank;
    {
        const Collation collation;
        NameOrder order(
            count, [this](quint32 k) { return nameOf(entry(k)); }, collation);
        if (firstRows && sortKey <= 1 && !m_helpers.empty()) {
            RowTable first = firstRowsTable(order, typePlace, sortKey);
            // A cancelled listing shows none: its rows would stay until the list is emptied.
            if (first.size() > 0 && !cancelRequested())
                firstRows(std::move(first));
        }
        rank = order.ranks();
    }
    if (m_helpers.empty()) {
        platform::TypeCatalog::Lookup types;
        for (size_t k = 0; k < count; ++k)
            lookAt(entry(k), types);
    }
    helpUntilDone();
    stopHelpers();
    if (cancelRequested())
        throw cancelledListing(m_path);
    return finish(rank, typePlace, sortKey);
}

// The rows of the entries that are files. The walk over them goes in the list's order as far as
// the names decide it (by name, or by type and then name) and ends at the first entry that could
// not be looked at: it keeps its name and type, and no entry after it gets a row. Each block of
// entries goes once its rows are made.
Listing Reader::finish(
    const std::vector<quint32> &rank, const std::vector<quint32> &typePlace, int sortKey)
{
    const size_t count = entryCount();
    auto before = [&](size_t a, size_t b) {
        if (!typePlace.empty() && typePlace[a] != typePlace[b])
            return typePlace[a] < typePlace[b];
        return rank[a] < rank[b];
    };
    size_t failed = count;
    for (size_t k = 0; k < count; ++k) {
        if (entry(k).kind == platform::EntryStatus::Failed
            && (failed == count || before(k, failed)))
            failed = k;
    }
    std::optional<platform::Failure> failure = m_readFailure;
    if (failed < count) {
        const Entry &read = entry(failed);
        failure
            = platform::Failure::fromErrno(int(read.typeOrError), tr("Cannot read the details of"),
                m_path + QLatin1Char('/') + platform::decodeName(nameOf(read)));
    }
    std::vector<RowTable::Row> rows;
    rows.reserve(count);
    for (size_t b = 0; b < m_blocks.size(); ++b) {
        Block &block = m_blocks[b];
        for (size_t i = 0; i < block.count; ++i) {
            const Entry &read = block.entries[i];
            const size_t k = b * blockSize + i;
            const quint32 place = rank[k];
            if ((failed < count && k != failed && !before(k, failed))
                || read.kind == platform::EntryStatus::Gone
                || read.kind == platform::EntryStatus::Folder)
                continue;
            if (k == failed) {
                rows.push_back({read.nameOffset, read.nameLength, RowTable::TypeFilled,
                    platform::TypeCatalog::instance().indexForName(nameOf(read)), place, 0, 0,
                    RowTable::noCreated});
            } else {
                rows.push_back({read.nameOffset, read.nameLength, RowTable::CreatedFilled,
                    read.typeOrError, place, read.size, read.modified, read.created});
            }
        }
        block.entries.reset();
    }
    m_blocks.clear();
    // Places among the rows kept, from places among all names read.
    std::vector<quint32> rowAt(count, quint32(-1));
    for (quint32 k = 0; k < quint32(rows.size()); ++k)
        rowAt[rows[k].nameRank] = k;
    quint32 next = 0;
    for (const quint32 k : rowAt) {
        if (k != quint32(-1))
            rows[k].nameRank = next++;
    }
    Listing listing {RowTable(m_path), failure};
    listing.table.adopt(std::move(m_names), std::move(rows));
    listing.table.sortBy(sortKey, Collation());
    return listing;
}

} // namespace

platform::Failure cancelledListing(const QString &path)
{
    return platform::Failure::refused(
        ECANCELED, tr("Cannot list the folder"), {path}, tr("cancelled"));
}

Listing readFolder(
    const QString &path, int sortKey, const std::function<void(RowTable firstRows)> &firstRows)
{
    const platform::FileSystemObject fileSystem;
    const platform::Folder folder = fileSystem.GetFolder(path);
    Reader reader(path, folder);
    return reader.read(sortKey, firstRows);
}

} // namespace filelist
