#include "platform/FileSystem.h"

#include "platform/Failure.h"
#include "platform/FileChanges.h"
#include "platform/NameCodec.h"
#include "platform/TypeCatalog.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

// An open folder: the descriptor that every per-entry statx is relative to, and the path as
// the caller gave it (text for messages, bytes for the kernel).
struct OpenFolder
{
    OpenFolder(QString pathText, QByteArray pathBytes, int descriptor)
        : text(std::move(pathText))
        , bytes(std::move(pathBytes))
        , fd(descriptor)
    { }
    ~OpenFolder() { ::close(fd); }
    OpenFolder(const OpenFolder &) = delete;
    OpenFolder &operator=(const OpenFolder &) = delete;

    QString text;
    QByteArray bytes;
    int fd;
};

namespace {

constexpr unsigned statusMask = STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME | STATX_BTIME;
// Do not trigger automounts while listing; a stat of an entry must never mount anything.
constexpr int statusFlags = AT_NO_AUTOMOUNT | AT_STATX_SYNC_AS_STAT;

QString childText(const OpenFolder &folder, QByteArrayView name)
{
    return folder.text + QLatin1Char('/') + decodeName(name);
}

Timestamp toTimestamp(const struct statx_timestamp &t)
{
    return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

bool isDots(const char *name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

} // namespace

// ---- File ------------------------------------------------------------------------------------

QString File::Name() const
{
    return decodeName(m_name);
}

quint32 File::TypeIndex() const
{
    return TypeCatalog::instance().indexForName(m_name);
}

const QString &File::Type() const
{
    return TypeCatalog::instance().text(TypeIndex());
}

const struct statx &File::status() const
{
    if (m_statusError != 0)
        throw Failure::fromErrno(m_statusError, QStringLiteral("Cannot read the details of"),
            childText(*m_folder, m_name));
    return m_status;
}

std::int64_t File::Size() const
{
    return std::int64_t(status().stx_size);
}

Timestamp File::DateLastModified() const
{
    return toTimestamp(status().stx_mtime);
}

std::optional<Timestamp> File::DateCreated() const
{
    const struct statx &s = status();
    if (!(s.stx_mask & STATX_BTIME) || (s.stx_btime.tv_sec == 0 && s.stx_btime.tv_nsec == 0))
        return std::nullopt;
    return toTimestamp(s.stx_btime);
}

void File::Delete(bool force) const
{
    changes::deleteFile(childText(*m_folder, m_name), force);
}

// ---- FileCollection ----------------------------------------------------------------------------

FileCollection::FileCollection(std::shared_ptr<const OpenFolder> folder)
    : m_folder(std::move(folder))
{
    // The stream reads through its own descriptor so that the folder's one can keep serving
    // statx calls while entries are read.
    const int fd = ::openat(m_folder->fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throw Failure::fromErrno(errno, QStringLiteral("Cannot read the folder"), m_folder->text);
    m_stream = ::fdopendir(fd);
    if (!m_stream) {
        const int err = errno;
        ::close(fd);
        throw Failure::fromErrno(err, QStringLiteral("Cannot read the folder"), m_folder->text);
    }
}

FileCollection::FileCollection(FileCollection &&other) noexcept
    : m_folder(std::move(other.m_folder))
    , m_stream(std::exchange(other.m_stream, nullptr))
{ }

FileCollection::~FileCollection()
{
    if (m_stream)
        ::closedir(static_cast<DIR *>(m_stream));
}

FileCollection::Iterator FileCollection::begin()
{
    return Iterator(this);
}

FileCollection::Iterator FileCollection::end()
{
    return Iterator();
}

// Reads entries until the next one that is not a folder, taking each one's statx here (following
// a symlink), so that an entry another program removes meanwhile is simply not listed. Entries
// the folder itself reports as folders are passed over without a stat.
bool FileCollection::advance(File &file)
{
    auto *stream = static_cast<DIR *>(m_stream);
    for (;;) {
        errno = 0;
        const struct dirent *entry = ::readdir(stream);
        if (!entry) {
            if (errno != 0)
                throw Failure::fromErrno(
                    errno, QStringLiteral("Cannot read the folder"), m_folder->text);
            return false;
        }
        if (isDots(entry->d_name) || entry->d_type == DT_DIR)
            continue;
        int err = 0;
        // A dangling symlink, one that loops or one whose target may not be looked at is listed
        // as a file with the link's own details.
        if (::statx(m_folder->fd, entry->d_name, statusFlags, statusMask, &file.m_status) != 0
            && ::statx(m_folder->fd, entry->d_name, statusFlags | AT_SYMLINK_NOFOLLOW, statusMask,
                   &file.m_status)
                != 0)
            err = errno;
        // Gone between reading the folder and looking at the entry: nothing to list.
        if (err == ENOENT || err == ESTALE)
            continue;
        if (err == 0 && S_ISDIR(file.m_status.stx_mode))
            continue;
        // Any other failure is the file's own: its property reads report it.
        file.m_statusError = err;
        if (file.m_folder != m_folder)
            file.m_folder = m_folder;
        // Reuse the name's buffer: a listing must not allocate per entry where it need not.
        const auto length = qsizetype(std::strlen(entry->d_name));
        file.m_name.resize(length);
        std::memcpy(file.m_name.data(), entry->d_name, size_t(length));
        return true;
    }
}

// ---- Folder and FileSystemObject ---------------------------------------------------------------

const QString &Folder::Path() const
{
    return m_folder->text;
}

FileCollection Folder::Files() const
{
    return FileCollection(m_folder);
}

Folder FileSystemObject::GetFolder(const QString &path) const
{
    const QByteArray bytes = encodeName(path);
    if (bytes.isEmpty())
        throw Failure(ENOENT, QStringLiteral("Cannot open the folder: no path was given"));
    const int fd = ::open(bytes.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throw Failure::fromErrno(errno, QStringLiteral("Cannot open the folder"), path);
    Folder folder;
    folder.m_folder = std::make_shared<const OpenFolder>(path, bytes, fd);
    return folder;
}

void FileSystemObject::MoveFile(const QString &source, const QString &destination) const
{
    changes::moveFile(source, destination);
}

void FileSystemObject::CopyFile(
    const QString &source, const QString &destination, bool overwrite) const
{
    changes::copyFile(source, destination, overwrite);
}

} // namespace platform
