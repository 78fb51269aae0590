#include "platform/FileSystem.h"

#include "platform/EntryScan.h"
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

QString childText(const OpenFolder &folder, QByteArrayView name)
{
    return folder.text + QLatin1Char('/') + decodeName(name);
}

} // namespace

// ---- File ------------------------------------------------------------------------------------

QString File::Name() const
{
    return decodeName(m_name);
}

const EntryStatus &File::status() const
{
    if (m_status.kind == EntryStatus::Failed)
        throw Failure::fromErrno(m_status.error,
            QCoreApplication::translate("platform", "Cannot read the details of"),
            childText(*m_folder, m_name));
    return m_status;
}

std::int64_t File::Size() const
{
    return status().size;
}

Timestamp File::DateLastModified() const
{
    return status().modified;
}

std::optional<Timestamp> File::DateCreated() const
{
    return status().created;
}

void File::Delete(bool force) const
{
    changes::deleteFile(childText(*m_folder, m_name), force);
}

// ---- FileCollection ----------------------------------------------------------------------------

FileCollection::FileCollection(std::shared_ptr<const OpenFolder> folder)
    : m_folder(std::move(folder))
    , m_reader(std::make_unique<EntryReader>(*m_folder, EntryReader::Access::Search))
{ }

FileCollection::FileCollection(FileCollection &&other) noexcept = default;
FileCollection::~FileCollection() = default;

FileCollection::Iterator FileCollection::begin()
{
    return Iterator(this);
}

FileCollection::Iterator FileCollection::end()
{
    return Iterator();
}

// Reads entries until the next one that is not a folder, looking at each one here (following a
// symlink), so that an entry another program removes meanwhile is simply not listed. Entries
// the folder itself reports as folders are passed over without a look. A failure to look is the
// file's own: its property reads report it.
bool FileCollection::advance(File &file)
{
    size_t length = 0;
    unsigned char type = DT_UNKNOWN;
    while (const char *name = m_reader->next(length, type)) {
        if (type == DT_DIR)
            continue;
        const EntryStatus status = lookAt(*m_folder, name);
        if (status.kind == EntryStatus::Gone || status.kind == EntryStatus::Folder)
            continue;
        file.m_status = status;
        if (file.m_folder != m_folder)
            file.m_folder = m_folder;
        // Reuse the name's buffer: a listing must not allocate per entry where it need not.
        file.m_name.resize(qsizetype(length));
        std::memcpy(file.m_name.data(), name, length);
        return true;
    }
    return false;
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

// Entries whose type the folder reports are decided without a look; a symlink or an entry of
// unknown type is a folder when what it leads to is one. An entry gone before it could be looked
// at is not listed.
QStringList Folder::SubfolderNames() const
{
    EntryReader reader(*m_folder, EntryReader::Access::NamesOnly);
    QStringList names;
    size_t length = 0;
    unsigned char type = DT_UNKNOWN;
    while (const char *name = reader.next(length, type)) {
        const bool folder = type == DT_DIR
            || ((type == DT_LNK || type == DT_UNKNOWN)
                && lookAt(*m_folder, name).kind == EntryStatus::Folder);
        if (folder)
            names.push_back(decodeName(QByteArrayView(name, qsizetype(length))));
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
        tr("opening %1 was cancelled").arg(displayName(path))};
    // The open folder is made on the worker: if the window has given up on the call, the
    // descriptor is closed as soon as the open returns.
    auto opened = runLong(opening, [path, bytes] {
        const int fd = ::open(bytes.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            throw Failure::fromErrno(errno, tr("Cannot open the folder"), path);
        return std::make_shared<const OpenFolder>(path, bytes, fd);
    });
    Folder folder;
    folder.m_folder = std::move(opened);
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
        tr("moving %1 to %2 was cancelled; nothing was moved").arg(from, to),
        tr("moving %1 to %2 was cancelled; the file may still be moved when the volume answers")
            .arg(from, to)};
    runLong(moving, [source, destination] { changes::moveFile(source, destination); });
}

void FileSystemObject::CopyFile(
    const QString &source, const QString &destination, bool overwrite) const
{
    const auto [from, to] = fromAndTo(source, destination);
    const Activity copying {tr("Copying %1 to %2").arg(from, to), Activity::Unit::Bytes,
        tr("copying %1 to %2 was cancelled; nothing was copied").arg(from, to),
        tr("copying %1 to %2 was cancelled; the copy may still be put in place when the volume "
           "answers")
            .arg(from, to)};
    runLong(copying,
        [source, destination, overwrite] { changes::copyFile(source, destination, overwrite); });
}

} // namespace platform
