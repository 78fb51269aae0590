#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>

#include <sys/stat.h>

namespace platform {

// The process's current folder as the name codec's text; empty when it cannot be found (it was
// removed, or a parent cannot be searched).
QString currentFolder();

// A point in time as the file system records it, in nanoseconds since the Unix epoch.
using Timestamp = std::int64_t;

struct OpenFolder;
class EntryReader;

// What the one look at an entry found: a file with its details, a folder (a symbolic link to
// one), an entry gone since its name was read, or a failure to look (error is the errno).
struct EntryStatus
{
    enum Kind : quint8 { File, Folder, Gone, Failed };

    Kind kind = Gone;
    int error = 0;
    std::int64_t size = 0;
    Timestamp modified = 0;
    std::optional<Timestamp> created;
};

// One file of a folder as a walk over the folder's Files found it. Everything but the name
// comes from the single statx the walk took when it reached the entry.
class File
{
public:
    QString Name() const;
    QByteArrayView NameBytes() const { return m_name; }
    // The details, as a walk one entry after another gives them. The file list reads them
    // itself, shared between threads (filelist/FolderReader.h); these serve the tests and the
    // benchmark that compare it with this walk.
    std::int64_t Size() const;
    Timestamp DateLastModified() const;
    // Absent where the file system records no birth time.
    std::optional<Timestamp> DateCreated() const;
    // Removes the file for good; with force false a read-only file is refused.
    void Delete(bool force = false) const;

private:
    friend class FileCollection;
    const EntryStatus &status() const;

    std::shared_ptr<const OpenFolder> m_folder;
    QByteArray m_name;
    EntryStatus m_status;
};

// The files directly inside a folder (every entry that is not a folder), read lazily from the
// open folder in the order the file system yields them. Walk it once.
class FileCollection
{
public:
    class Iterator;
    explicit FileCollection(std::shared_ptr<const OpenFolder> folder);
    ~FileCollection();
    FileCollection(FileCollection &&other) noexcept;
    FileCollection(const FileCollection &) = delete;
    FileCollection &operator=(const FileCollection &) = delete;

    Iterator begin();
    Iterator end();

private:
    bool advance(File &file);

    std::shared_ptr<const OpenFolder> m_folder;
    std::unique_ptr<EntryReader> m_reader;
};

class FileCollection::Iterator
{
public:
    Iterator(FileCollection *collection)
        : m_collection(collection)
    {
        ++*this;
    }
    Iterator() = default;
    const File &operator*() const { return m_file; }
    const File *operator->() const { return &m_file; }
    Iterator &operator++()
    {
        if (m_collection && !m_collection->advance(m_file))
            m_collection = nullptr;
        return *this;
    }
    bool operator==(const Iterator &other) const { return m_collection == other.m_collection; }

private:
    FileCollection *m_collection = nullptr;
    File m_file;
};

// A folder that could be opened for reading.
class Folder
{
public:
    FileCollection Files() const;
    // The names of the folder's subfolders (symbolic links to folders included, dot-folders
    // included), in the order the file system yields them.
    QStringList SubfolderNames() const;

private:
    friend class FileSystemObject;
    friend class EntryReader;
    friend EntryStatus lookAt(const Folder &folder, const char *name);
    std::shared_ptr<const OpenFolder> m_folder;
};

// The program's one gateway for reading and changing files. Create one per user action.
class FileSystemObject
{
    Q_DECLARE_TR_FUNCTIONS(FileSystemObject)

public:
    // Fails for a missing path, a path that is not a folder, or a folder that cannot be read.
    Folder GetFolder(const QString &path) const;
    // Moves a file; an existing destination is refused, never replaced.
    void MoveFile(const QString &source, const QString &destination) const;
    // Copies a file; with overwrite an existing file at the destination is replaced safely.
    void CopyFile(const QString &source, const QString &destination, bool overwrite = true) const;
};

} // namespace platform
