#include "platform/FileSystem.h"
#include "platform/OpenFolder.h"

#include "platform/Failure.h"
#include "platform/FileChanges.h"
#include "platform/LongCall.h"
#include "platform/NameCodec.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace platform {


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

[[noreturn]] void failToRead(int err, const OpenFolder &folder)
{
    throw Failure::fromErrno(
        err, QCoreApplication::translate("platform", "Cannot read the folder"), folder.text);
}

// A stream over the folder's entries from the first one, on a descriptor of its own so that
// closing the stream leaves the folder open. A walk over the files reopens the folder through
// its descriptor, which needs the right to search it, as the statx of every entry does anyway:
// a folder whose files cannot be looked at fails at once. Reading subfolder names needs no such
// right, so that walk takes a duplicate of the descriptor (which shares its reading position).
enum class Access { Search, NamesOnly };

DIR *openEntryStream(const OpenFolder &folder, Access access)
{
    const int fd = access == Access::Search
        ? ::openat(folder.fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)
        : ::fcntl(folder.fd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        failToRead(errno, folder);
    if (access == Access::NamesOnly && ::lseek(fd, 0, SEEK_SET) != 0) {
        const int err = errno;
        ::close(fd);
        failToRead(err, folder);
    }
    DIR *stream = ::fdopendir(fd);
    if (!stream) {
        const int err = errno;
        ::close(fd);
        failToRead(err, folder);
    }
    return stream;
}

// The next entry other than "." and "..", or nullptr at the end.
const struct dirent *nextEntry(DIR *stream, const OpenFolder &folder)
{
    for (;;) {
        errno = 0;
        const struct dirent *entry = ::readdir(stream);
        if (!entry && errno != 0)
            failToRead(errno, folder);
        if (!entry || !isDots(entry->d_name))
            return entry;
    }
}

struct StreamCloser
{
    void operator()(DIR *stream) const { ::closedir(stream); }
};

} // namespace

// ---- File ------------------------------------------------------------------------------------

QString File::Name() const
{
    return decodeName(m_name);
}

const struct statx &File::status() const
{
    if (m_statusError != 0)
        throw Failure::fromErrno(m_statusError, QCoreApplication::translate("platform", "Cannot read the details of"),
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
    , m_stream(openEntryStream(*m_folder, Access::Search))
{ }

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
        const struct dirent *entry = nextEntry(stream, *m_folder);
        if (!entry)
            return false;
        if (entry->d_type == DT_DIR)
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

// ---- the current folder ------------------------------------------------------------------------

QString currentFolder()
{
    QByteArray buffer(4096, '\0');
    while (!::getcwd(buffer.data(), size_t(buffer.size()))) {
        if (errno != ERANGE)
            return QString();
        buffer.resize(buffer.size() * 2);
    }
    return decodeName(QByteArrayView(buffer.constData()));
}

// ---- Folder and FileSystemObject ---------------------------------------------------------------

FileCollection Folder::Files() const
{
    return FileCollection(m_folder);
}

// Entries whose type the folder reports are decided without a stat; a symlink or an entry of
// unknown type is a folder when what it leads to is one. An entry gone before it could be looked
// at is not listed.
QStringList Folder::SubfolderNames() const
{
    const std::unique_ptr<DIR, StreamCloser> stream(openEntryStream(*m_folder, Access::NamesOnly));
    QStringList names;
    while (const struct dirent *entry = nextEntry(stream.get(), *m_folder)) {
        bool folder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct statx status
            { };
            folder = ::statx(m_folder->fd, entry->d_name, AT_NO_AUTOMOUNT, STATX_TYPE, &status) == 0
                && S_ISDIR(status.stx_mode);
        }
        if (folder)
            names.push_back(decodeName(entry->d_name));
    }
    return names;
}

// Each call may block on a slow or dead volume, so each runs through the long-call mechanism:
// on a worker thread while the window waits, or directly when already on a worker.
Folder FileSystemObject::GetFolder(const QString &path) const
{
    const QByteArray bytes = encodeName(path);
    if (bytes.isEmpty())
        throw Failure::refused(ENOENT, tr("Cannot open the folder"), {}, tr("no path was given"));
    const Activity opening {tr("Opening %1").arg(displayName(path)), Activity::Unit::None,
        Failure::refused(ECANCELED, tr("Cannot open the folder"), {path}, tr("cancelled"))};
    const int fd = runLong(opening, [bytes] {
        const int opened = ::open(bytes.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        return opened < 0 ? -errno : opened;
    });
    if (fd < 0)
        throw Failure::fromErrno(-fd, tr("Cannot open the folder"), path);
    Folder folder;
    folder.m_folder = std::make_shared<const OpenFolder>(path, bytes, fd);
    return folder;
}

namespace {

// The two texts that "Copying %1 to %2" is filled with: the file's name and the destination
// folder ("notes.txt", "/backup") when the file keeps its name, else both paths in full.
std::pair<QString, QString> fromAndTo(const QString &source, const QString &destination)
{
    const QString sourceName = source.mid(source.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype slash = destination.lastIndexOf(QLatin1Char('/'));
    if (slash < 0 || destination.mid(slash + 1) != sourceName)
        return {displayName(source), displayName(destination)};
    const QString folder = slash == 0 ? QStringLiteral("/") : destination.left(slash);
    return {displayName(sourceName), displayName(folder)};
}

} // namespace

void FileSystemObject::MoveFile(const QString &source, const QString &destination) const
{
    const auto [from, to] = fromAndTo(source, destination);
    const Activity moving {tr("Moving %1 to %2").arg(from, to), Activity::Unit::Bytes,
        Failure::refused(ECANCELED, tr("Cannot move"), {source, destination},
            tr("cancelled; the file may still be moved when the volume answers"))};
    runLong(moving, [source, destination] { changes::moveFile(source, destination); });
}

void FileSystemObject::CopyFile(
    const QString &source, const QString &destination, bool overwrite) const
{
    const auto [from, to] = fromAndTo(source, destination);
    const Activity copying {tr("Copying %1 to %2").arg(from, to), Activity::Unit::Bytes,
        Failure::refused(ECANCELED, tr("Cannot copy"), {source, destination},
            tr("cancelled; nothing was copied"))};
    runLong(copying,
        [source, destination, overwrite] { changes::copyFile(source, destination, overwrite); });
}

} // namespace platform
