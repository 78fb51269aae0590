#pragma once

#include "platform/FileSystem.h"

#include <cstdint>
#include <optional>

namespace platform {

struct OpenFolder;

// The two steps every listing is made of, shared by the walk over a folder's Files, the folder
// tree's subfolders and the file list's reader that spreads the work over threads: reading the
// entries' names in large batches, and looking at an entry once (see EntryStatus).

// One statx of the entry name in folder, following a symbolic link; a link that dangles or loops
// (or whose target may not be looked at) is looked at itself, and listed as a file with its own
// details. Safe to call from several threads at once.
EntryStatus lookAt(const Folder &folder, const char *name);
EntryStatus lookAt(const OpenFolder &folder, const char *name);

// The entries of an open folder in the order the file system yields them, read with getdents64
// some thousands at a time, "." and ".." left out.
class EntryReader
{
public:
    // Reading the names needs no right to search the folder; looking at the entries does. A
    // reader for a walk that looks at them takes its own descriptor through the folder's, so
    // that a folder that cannot be searched fails at once; a reader for names only shares the
    // folder's descriptor.
    enum class Access { Search, NamesOnly };

    EntryReader(const OpenFolder &folder, Access access);
    explicit EntryReader(const Folder &folder);
    ~EntryReader();
    EntryReader(const EntryReader &) = delete;
    EntryReader &operator=(const EntryReader &) = delete;

    // The next entry's name (ending in a zero byte), its length, and the type the folder gives
    // for it (DT_REG, DT_DIR, DT_LNK, DT_UNKNOWN, ...); nullptr at the end. Throws Failure when
    // the folder cannot be read.
    const char *next(size_t &length, unsigned char &type);

private:
    bool fill();

    const OpenFolder &m_folder;
    int m_fd;
    char *m_buffer;
    long m_filled = 0;
    long m_position = 0;
};

} // namespace platform
