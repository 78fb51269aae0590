#pragma once

#include "platform/FileSystem.h"

#include <cstdint>
#include <optional>

namespace platform {

// The two steps a listing of a large folder is made of, for a reader that shares them between
// threads: reading the entries' names in large batches, and looking at each entry once.

// What the one look at an entry found: a file with its details, a folder (a symbolic link to
// one; such an entry gets no row), an entry gone since its name was read, or a failure to look
// (error is the errno, and only the name is known).
struct EntryStatus
{
    enum Kind : quint8 { File, Folder, Gone, Failed };

    Kind kind = Gone;
    int error = 0;
    std::int64_t size = 0;
    Timestamp modified = 0;
    std::optional<Timestamp> created;
};

// One statx of the entry name in folder, following a symbolic link; a link that dangles or loops
// is looked at itself, and listed as a file with its own details.
EntryStatus lookAt(const Folder &folder, const char *name);

// The entries of an open folder, read with getdents64 in batches of some thousands. "." and
// ".." are left out, and so are entries the folder reports as folders; symbolic links and
// entries of unknown type are passed on, for lookAt to decide.
class EntryBatches
{
public:
    explicit EntryBatches(const Folder &folder);
    ~EntryBatches();
    EntryBatches(const EntryBatches &) = delete;
    EntryBatches &operator=(const EntryBatches &) = delete;

    // Reads the next batch and calls add(name, length) for each entry in it, name ending in a
    // zero byte. Returns false once the folder is exhausted. Throws Failure when it cannot be
    // read.
    template<class Add> bool next(Add add)
    {
        const long bytes = readBatch();
        for (long offset = 0; offset < bytes;) {
            const Entry entry = entryAt(offset);
            offset += entry.recordLength;
            if (entry.name)
                add(entry.name, entry.length);
        }
        return bytes > 0;
    }

private:
    struct Entry
    {
        const char *name; // nullptr for an entry that is left out
        size_t length;
        unsigned short recordLength;
    };
    long readBatch();
    Entry entryAt(long offset) const;

    const Folder &m_folder;
    int m_fd;
    char *m_buffer;
};

} // namespace platform
