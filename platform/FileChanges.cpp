#include "platform/FileChanges.h"

#include "platform/CallState.h"
#include "platform/Failure.h"
#include "platform/NameCodec.h"
#include "platform/VolumeKind.h"

#include <QCoreApplication>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace platform::changes {

namespace {

// The failures of one request: "Cannot copy 'a' to 'b': <reason>".
class Request
{
    Q_DECLARE_TR_FUNCTIONS(FileChanges)

public:
    Request(const QString &what, const QString &source, const QString &destination = QString())
        : m_what(what)
        , m_source(source)
        , m_destination(destination)
    { }

    [[noreturn]] void refuse(int err, const QString &reason) const
    {
        if (m_destination.isNull())
            throw Failure::refused(err, m_what, {m_source}, reason);
        throw Failure::refused(err, m_what, {m_source, m_destination}, reason);
    }
    // A step that failed with errno err: "<step>: <strerror>".
    [[noreturn]] void fail(int err, const QString &step) const
    {
        refuse(err, step + QStringLiteral(": ") + errnoText(err));
    }
    // A step that gave a file the name name on a volume of kind and failed with errno err: where
    // the volume refused the name itself, the reason says what in the name it refuses.
    [[noreturn]] void failNaming(
        int err, const QString &step, const QByteArray &name, const VolumeKind &kind) const
    {
        const bool aboutName = err == EINVAL || err == EPERM || err == ENOENT || err == EILSEQ;
        const QString reason = aboutName ? nameRefusal(name, kind) : QString();
        if (!reason.isEmpty())
            refuse(err, reason);
        fail(err, step);
    }

private:
    QString m_what;
    QString m_source;
    QString m_destination;
};

class Fd
{
public:
    explicit Fd(int fd)
        : m_fd(fd)
    { }
    Fd(Fd &&other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
    { }
    Fd &operator=(Fd &&other) noexcept
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        return *this;
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }
    // Closes now and returns close's errno (0 when it succeeded): some file systems report a
    // failed write-back only here.
    int close() { return ::close(std::exchange(m_fd, -1)) == 0 ? 0 : errno; }

private:
    int m_fd;
};

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool isReadOnly(const struct stat &st)
{
    return (st.st_mode & 0222) == 0;
}

// A path cut after its last '/': the folder part ("" for a bare name, "/" or "//" at the root)
// and the final name.
struct Place
{
    QByteArray folder;
    QByteArray name;
    QByteArray folderPath() const { return folder.isEmpty() ? "."_ba : folder; }
};

Place splitPath(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return {path.left(slash + 1), path.mid(slash + 1)};
}

// A fresh hidden name next to name: ".<name>.XXXXXX", cut so it stays within NAME_MAX.
QByteArray temporaryName(const QByteArray &name)
{
    static constexpr char letters[]
        = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray result = '.' + name.left(NAME_MAX - 16) + '.';
    for (int i = 0; i < 6; ++i)
        result += letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))];
    return result;
}

// Whether a file system refused a call because it does not offer it at all.
bool notOffered(int err)
{
    return err == EINVAL || err == ENOSYS || err == EOPNOTSUPP;
}

// Whether a file system refused a hard link because it has none (FAT and exFAT through FUSE say
// EPERM) or no more for this file.
bool linksRefused(int err)
{
    return err == EPERM || err == EOPNOTSUPP || err == ENOSYS || err == EMLINK;
}

// Renames where the file system renames only by replacing: the name is claimed first with an
// empty file created exclusively, and the rename replaces only that claim. Creating the claim
// also asks the volume whether it takes the name at all: fusefat removes the file when it refuses
// the new name of a rename. Returns 0 or errno.
int renameOverClaim(int fromFolder, const char *from, int toFolder, const char *to)
{
    const int claim
        = openat(toFolder, to, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (claim < 0)
        return errno;
    ::close(claim);
    if (renameat(fromFolder, from, toFolder, to) == 0)
        return 0;
    const int err = errno;
    unlinkat(toFolder, to, 0);
    return err;
}

// Renames without ever replacing: renameat2(RENAME_NOREPLACE); where the file system does not
// offer it, link and unlink; where it has no hard links either, a rename over a claim of the name
// (renameOverClaim). Returns 0 or errno.
int renameNoReplace(int fromFolder, const char *from, int toFolder, const char *to)
{
    if (renameat2(fromFolder, from, toFolder, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (!notOffered(errno))
        return errno;
    if (linkat(fromFolder, from, toFolder, to, 0) != 0)
        return linksRefused(errno) ? renameOverClaim(fromFolder, from, toFolder, to) : errno;
    if (unlinkat(fromFolder, from, 0) != 0) {
        const int err = errno;
        unlinkat(toFolder, to, 0);
        return err;
    }
    return 0;
}

// fsync of a folder (held open with O_PATH), so a rename in it survives a crash. A folder this
// process may write to but not read (a drop box) cannot be opened for that; then the whole file
// system of file, a descriptor on it, is synced instead. Returns 0 or errno; a file system that
// cannot sync folders (EINVAL) is not an error.
int syncFolder(int folder, int file)
{
    const Fd readable(openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (readable.get() < 0 && errno == EACCES && file >= 0)
        return syncfs(file) == 0 ? 0 : errno;
    if (readable.get() < 0)
        return errno;
    return fsync(readable.get()) == 0 || errno == EINVAL ? 0 : errno;
}

// An entry this call created in the destination's folder, first under a temporary name, later
// under its published name. Removed when it goes, unless kept.
class Created
{
public:
    explicit Created(int folder)
        : m_folder(folder)
    { }
    Created(const Created &) = delete;
    Created &operator=(const Created &) = delete;
    ~Created()
    {
        if (!m_name.isEmpty())
            unlinkat(m_folder, m_name.constData(), 0);
    }

    // Calls make(folder, name) with fresh temporary names next to forName until one is free;
    // make returns -1 with errno set on failure. Returns make's result.
    template<class Make> int create(const QByteArray &forName, Make make)
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QByteArray name = temporaryName(forName);
            const int result = make(m_folder, name.constData());
            if (result >= 0)
                m_name = name;
            if (result >= 0 || errno != EEXIST)
                return result;
        }
        errno = EEXIST;
        return -1;
    }
    int folder() const { return m_folder; }
    const QByteArray &name() const { return m_name; }
    void renamedTo(const QByteArray &name) { m_name = name; }
    void keep() { m_name.clear(); }

private:
    int m_folder;
    QByteArray m_name;
};

// The destination's folder, opened only as a place (O_PATH): a folder this process may write
// into but not list, such as a drop box (0733), takes copies too.
Fd openFolder(const Request &request, const Place &place)
{
    Fd folder(open(place.folderPath().constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0 && errno == ENOENT)
        request.refuse(ENOENT, Request::tr("the destination folder does not exist"));
    if (folder.get() < 0)
        request.fail(errno, Request::tr("cannot open the destination folder"));
    return folder;
}

// Opens the source for reading once (l)stat shows a regular file, so a FIFO or device is never
// opened, and checks that what was opened is that same file. st receives its status.
Fd openSource(const Request &request, const QByteArray &path, bool followLinks, struct stat &st)
{
    if ((followLinks ? stat(path.constData(), &st) : lstat(path.constData(), &st)) != 0) {
        if (errno == ENOENT)
            request.refuse(ENOENT, Request::tr("the source does not exist"));
        request.fail(errno, Request::tr("cannot examine the source"));
    }
    if (S_ISDIR(st.st_mode))
        request.refuse(EISDIR, Request::tr("the source is a folder"));
    if (!S_ISREG(st.st_mode))
        request.refuse(EINVAL, Request::tr("the source is not a regular file"));
    const int noFollow = followLinks ? 0 : O_NOFOLLOW;
    Fd in(open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | noFollow));
    if (in.get() < 0 && errno == ENOENT)
        request.refuse(ENOENT, Request::tr("the source no longer exists"));
    if (in.get() < 0)
        request.fail(errno, Request::tr("cannot open the source"));
    struct stat opened;
    if (fstat(in.get(), &opened) != 0)
        request.fail(errno, Request::tr("cannot examine the source"));
    if (!S_ISREG(opened.st_mode) || !sameFile(opened, st))
        request.refuse(EAGAIN, Request::tr("the source was replaced while it was being opened"));
    st = opened;
    return in;
}

bool sameTime(const struct timespec &a, const struct timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Fails when the open source is no longer what before describes: another program wrote to it or
// cut it short while it was being copied.
void checkSourceUnchanged(const Request &request, int in, const struct stat &before)
{
    struct stat after;
    if (fstat(in, &after) != 0)
        request.fail(errno, Request::tr("cannot examine the source"));
    if (!sameFile(after, before) || after.st_size != before.st_size
        || !sameTime(after.st_mtim, before.st_mtim) || !sameTime(after.st_ctim, before.st_ctim))
        request.refuse(EAGAIN, Request::tr("the source changed while it was being copied"));
}

// Copies a file's data in chunks, so that the window waiting for it can show progress and stop
// it: after each chunk it reports the bytes done and checks whether it was cancelled. A chunk
// starts at 1 MiB and doubles while chunks take under 8 ms (up to 64 MiB), so that one stays
// well under 50 ms while the calls stay few. Holes of a sparse file stay holes: only the ranges
// SEEK_DATA finds are copied, and the copy is extended over each hole. Before the first byte is
// written, the volume must be able to hold the file and have room for it.
class DataCopy
{
public:
    DataCopy(const Request &request, int in, int out, off_t size, const VolumeKind &kind,
        const QString &cancelled)
        : m_request(request)
        , m_in(in)
        , m_out(out)
        , m_size(size)
        , m_kind(kind)
        , m_cancelled(cancelled)
    { }

    void run()
    {
        checkCancel();
        // A reflink shares the extents and copies nothing.
        if (m_size > 0 && ioctl(m_out, FICLONE, m_in) == 0)
            return chunkDone(m_size);
        checkRoom();
        posix_fadvise(m_in, 0, 0, POSIX_FADV_SEQUENTIAL);
        if (m_size == 0)
            return copyUnsized();
        for (off_t position = 0; position < m_size;) {
            off_t data = lseek(m_in, position, SEEK_DATA);
            off_t hole = m_size;
            if (data < 0 && errno == ENXIO)
                break; // a hole up to the end
            if (data < 0)
                data = position; // no map of the holes here: all of it is data
            else if ((hole = lseek(m_in, data, SEEK_HOLE)) < 0 || hole > m_size)
                hole = m_size;
            extendTo(data);
            for (position = data; position < hole;) {
                position += transfer(position, std::min(m_chunk, hole - position));
                m_end = position;
                chunkDone(position);
                // The source ended early: a pseudo-file that reports more than it gives (the
                // copy ends there too), or a file cut short, which the check after the copy finds.
                if (m_ended)
                    return;
            }
        }
        extendTo(m_size);
        chunkDone(m_size);
    }

private:
    static constexpr off_t firstChunk = off_t(1) << 20;
    static constexpr off_t largestChunk = off_t(64) << 20;
    // Files that report a size of 0 (most of /proc) are copied by reading to their end, but one
    // that gives more than this is taken for endless.
    static constexpr off_t unsizedLimit = off_t(64) << 20;

    // Refuses, with the system's number, a file larger than the volume can hold, and one that
    // needs more space than the volume has free (for root, the blocks kept for root count as
    // free). A sparse file needs its data only, except on FAT, which keeps no holes.
    void checkRoom()
    {
        struct stat source;
        if (fstat(m_in, &source) != 0)
            m_request.fail(errno, Request::tr("cannot examine the source"));
        if (m_size > m_kind.largestFile())
            m_request.refuse(EFBIG, Request::tr("the volume cannot hold files larger than 4 GiB"));
        struct statvfs volume;
        if (fstatvfs(m_out, &volume) != 0 || volume.f_frsize == 0)
            return; // the copy itself finds out
        const off_t needed
            = m_kind.fat ? m_size : std::min<off_t>(m_size, off_t(source.st_blocks) * 512);
        const auto blocks = geteuid() == 0 ? volume.f_bfree : volume.f_bavail;
        m_free = std::int64_t(std::min(double(blocks) * double(volume.f_frsize), 9e18));
        if (needed > m_free)
            m_request.refuse(ENOSPC,
                Request::tr(
                    "not enough free space on the volume: the copy needs %1, and %2 is free")
                    .arg(sizeText(needed), sizeText(m_free)));
    }

    // A write into the copy failed. A full volume is said in words: a sparse file may need more
    // than its data, and the volume may have filled meanwhile.
    [[noreturn]] void failWriting(int err) const
    {
        if (err == ENOSPC && m_free >= 0)
            m_request.refuse(ENOSPC,
                Request::tr("the volume is full: the copy needs %1, and %2 was free when it began")
                    .arg(sizeText(m_size), sizeText(m_free)));
        m_request.fail(err, Request::tr("copying the data failed"));
    }

    // Makes the copy end at end where its data ends before: a hole where the volume makes one,
    // zeros written out where it refuses to set a file's length (FAT through FUSE, which would
    // also fill a gap left by a write past the end with whatever its disk held).
    void extendTo(off_t end)
    {
        if (m_end >= end)
            return;
        if (ftruncate(m_out, end) == 0) {
            m_end = end;
            return;
        }
        if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS)
            failWriting(errno);
        const std::vector<char> zeros(size_t(std::min(firstChunk, end - m_end)), '\0');
        while (m_end < end) {
            const ssize_t put = pwrite(
                m_out, zeros.data(), size_t(std::min(off_t(zeros.size()), end - m_end)), m_end);
            if (put < 0 && errno != EINTR)
                failWriting(errno);
            m_end += std::max<ssize_t>(put, 0);
            chunkDone(m_end);
        }
    }

    // Copies up to length bytes at offset; returns how many, fewer only where the source ended
    // first (m_ended is then set).
    off_t transfer(off_t offset, off_t length)
    {
        const auto start = std::chrono::steady_clock::now();
        off_t done = 0;
        while (done < length && !m_ended)
            done += m_readWrite ? readWrite(offset + done, length - done)
                                : copyRange(offset + done, length - done);
        writeBack(offset, done);
        adjustChunk(std::chrono::steady_clock::now() - start);
        return done;
    }

    // Starts writing the chunk to disk and waits for what came before it: the dirty pages stay
    // a chunk or two, so the kernel never stalls one chunk for seconds to write back a backlog,
    // and the flush at the end is short. Only a hint; the fsync at the end reports errors.
    void writeBack(off_t offset, off_t length)
    {
        if (length <= 0)
            return;
        sync_file_range(m_out, offset, length, SYNC_FILE_RANGE_WRITE);
        if (m_writtenBack < offset)
            sync_file_range(m_out, m_writtenBack, offset - m_writtenBack,
                SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
        m_writtenBack = offset;
    }

    // One copy_file_range call. Where the file system or the pair of them refuses it, the rest
    // is copied with read and write, and so is a pseudo-file that gives it nothing.
    off_t copyRange(off_t offset, off_t length)
    {
        loff_t from = offset, to = offset;
        const ssize_t n = copy_file_range(m_in, &from, m_out, &to, size_t(length), 0);
        if (n > 0)
            return n;
        if (n == 0 || errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)
            m_readWrite = true;
        else if (errno != EINTR)
            failWriting(errno);
        return 0;
    }

    off_t readWrite(off_t offset, off_t length)
    {
        if (m_buffer.empty())
            m_buffer.resize(size_t(firstChunk));
        const ssize_t got
            = pread(m_in, m_buffer.data(), std::min(m_buffer.size(), size_t(length)), offset);
        if (got < 0 && errno != EINTR)
            m_request.fail(errno, Request::tr("copying the data failed"));
        if (got == 0)
            m_ended = true;
        ssize_t done = 0;
        while (done < got) {
            const ssize_t put
                = pwrite(m_out, m_buffer.data() + done, size_t(got - done), offset + done);
            if (put < 0 && errno != EINTR)
                failWriting(errno);
            done += std::max<ssize_t>(put, 0);
        }
        return done;
    }

    // The size says nothing here: read to the end, which only read finds for such files.
    void copyUnsized()
    {
        m_readWrite = true;
        for (off_t position = 0; !m_ended;) {
            position += transfer(position, m_chunk);
            if (position > unsizedLimit)
                m_request.refuse(
                    EFBIG, Request::tr("the source gives more data than its size says"));
            chunkDone(position);
        }
    }

    void adjustChunk(std::chrono::steady_clock::duration took)
    {
        using namespace std::chrono_literals;
        if (took < 8ms && m_chunk < largestChunk)
            m_chunk *= 2;
        else if (took > 25ms && m_chunk > firstChunk)
            m_chunk /= 2;
    }

    void chunkDone(off_t position)
    {
        reportProgress(position, m_size > 0 ? m_size : -1);
        checkCancel();
    }

    void checkCancel() const
    {
        if (cancelRequested())
            m_request.refuse(ECANCELED, m_cancelled);
    }

    const Request &m_request;
    int m_in, m_out;
    off_t m_size;
    const VolumeKind &m_kind;
    QString m_cancelled;
    off_t m_end = 0; // the copy's length so far
    std::int64_t m_free = -1; // the volume's free bytes before the copy, where known
    off_t m_chunk = firstChunk;
    off_t m_writtenBack = 0; // everything before is on disk
    bool m_readWrite = false;
    bool m_ended = false;
    std::vector<char> m_buffer;
};

// Links the unnamed file fd into folder as name. linkat with AT_EMPTY_PATH needs
// CAP_DAC_READ_SEARCH on older kernels; the descriptor's entry in /proc works for everyone where
// /proc is mounted. Returns 0 or errno.
int linkUnnamed(int fd, int folder, const char *name)
{
    if (linkat(fd, "", folder, name, AT_EMPTY_PATH) == 0)
        return 0;
    const int err = errno;
    if (err != ENOENT && err != EPERM)
        return err;
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    if (linkat(AT_FDCWD, self.constData(), folder, name, AT_SYMLINK_FOLLOW) == 0)
        return 0;
    return errno == ENOENT ? err : errno;
}

enum class Publish { Replace, NoReplace };

// Renames the temporary entry to name in the same folder, on a volume of kind.
void publishNamed(const Request &request, Created &created, const QByteArray &name, Publish mode,
    const VolumeKind &kind)
{
    const int folder = created.folder();
    const char *temporary = created.name().constData();
    const int err = mode == Publish::Replace
        ? (renameat(folder, temporary, folder, name.constData()) == 0 ? 0 : errno)
        : renameNoReplace(folder, temporary, folder, name.constData());
    if (err == EEXIST)
        request.refuse(EEXIST, Request::tr("the destination already exists"));
    if (err != 0)
        request.failNaming(err, Request::tr("cannot put the copy in place"), name, kind);
    created.renamedTo(name);
}

// An unnamed file in the folder, or -1 with errno set. Never on FUSE: whether its driver can name
// an unnamed file (a hard link) shows only once the copy is written, and some cannot, so a FUSE
// mount always gets a named temporary.
int openUnnamed(int folder, const VolumeKind &kind)
{
    if (kind.fuse) {
        errno = EOPNOTSUPP;
        return -1;
    }
    return openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
}

// The copy of a file while it is written in the destination's folder. Where the file system
// offers unnamed files (O_TMPFILE) it has no name until it is complete, so a process killed
// half-way leaves nothing behind. Elsewhere it is written under a hidden temporary name that a
// failure removes.
class NewFile
{
public:
    NewFile(
        const Request &request, Created &created, const QByteArray &forName, const VolumeKind &kind)
        : m_created(created)
        , m_kind(kind)
        , m_fd(openUnnamed(created.folder(), kind))
        , m_unnamed(m_fd.get() >= 0)
    {
        if (m_unnamed)
            return;
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            request.fail(
                errno, Request::tr("cannot create a temporary file in the destination folder"));
        // The temporary's name holds the final name, so a volume that refuses the one refuses
        // the other too.
        Fd named(created.create(forName, [](int folder, const char *temporary) {
            return openat(
                folder, temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        }));
        if (named.get() < 0)
            request.failNaming(errno,
                Request::tr("cannot create a temporary file in the destination folder"), forName,
                kind);
        m_fd = std::move(named);
    }

    int fd() const { return m_fd.get(); }

    // Gives the complete copy its name. An unnamed copy is linked straight to the name where
    // nothing is there; to replace a file it is linked to a hidden name that is then renamed
    // over the old file (a process killed between those two calls leaves the hidden name).
    void publish(const Request &request, const QByteArray &name, Publish mode)
    {
        if (!m_unnamed)
            return publishNamed(request, m_created, name, mode, m_kind);
        const int err = linkUnnamed(m_fd.get(), m_created.folder(), name.constData());
        if (err == 0)
            return m_created.renamedTo(name);
        if (err == EEXIST && mode == Publish::NoReplace)
            request.refuse(EEXIST, Request::tr("the destination already exists"));
        if (err != EEXIST)
            request.failNaming(err, Request::tr("cannot put the copy in place"), name, m_kind);
        const int linked = m_created.create(name, [this](int folder, const char *temporary) {
            errno = linkUnnamed(m_fd.get(), folder, temporary);
            return errno == 0 ? 0 : -1;
        });
        if (linked < 0)
            request.fail(errno, Request::tr("cannot put the copy in place"));
        publishNamed(request, m_created, name, mode, m_kind);
    }

    // Closes now and returns close's errno (0 when it succeeded).
    int close() { return m_fd.close(); }

private:
    Created &m_created;
    VolumeKind m_kind;
    Fd m_fd;
    bool m_unnamed;
};

// Whether a file system refused to store an attribute because it keeps none of that kind: FAT
// through FUSE has no owners or permission bits (ENOSYS), exFAT through FUSE takes no other
// owner or group (EPERM), and a process may not give a file away (EPERM).
bool notKept(int err)
{
    return err == EPERM || err == EOPNOTSUPP || err == ENOSYS;
}

// Gives the copy the replaced file's owner and group where they differ, or at least its group
// where the process may not give the file away; a volume that keeps no owners keeps the copy as
// it is.
void giveOwner(
    const Request &request, int out, const struct stat &copy, const struct stat &replaced)
{
    if ((copy.st_uid == replaced.st_uid && copy.st_gid == replaced.st_gid)
        || fchown(out, replaced.st_uid, replaced.st_gid) == 0 || errno == ENOSYS
        || errno == EOPNOTSUPP)
        return;
    if (errno != EPERM || (fchown(out, uid_t(-1), replaced.st_gid) != 0 && !notKept(errno)))
        request.fail(errno, Request::tr("cannot give the copy the replaced file's owner"));
}

// Fills out with the source's bytes, gives it its owner, permission bits and times, and flushes
// it. A copy that replaces a file takes that file's owner, group and permission bits (as far as
// this process may set them); a new one gets the source's permission bits. Only what differs is
// set, and what the volume keeps none of is left out: the data is what must not fail.
void writeCopy(const Request &request, int in, int out, const struct stat &st,
    const struct stat *replaced, const VolumeKind &kind, const QString &cancelled)
{
    DataCopy(request, in, out, st.st_size, kind, cancelled).run();
    checkSourceUnchanged(request, in, st);
    struct stat copy;
    if (fstat(out, &copy) != 0)
        request.fail(errno, Request::tr("cannot examine the copy"));
    if (replaced)
        giveOwner(request, out, copy, *replaced);
    // Set-user-ID and set-group-ID are not carried: the copy belongs to whoever copies.
    const mode_t mode = (replaced ? replaced->st_mode : st.st_mode) & 0777;
    if ((copy.st_mode & 07777) != mode && fchmod(out, mode) != 0 && !notKept(errno))
        request.fail(errno, Request::tr("cannot set the permission bits of the copy"));
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (futimens(out, times) != 0 && errno != ENOSYS && errno != EOPNOTSUPP)
        request.fail(errno, Request::tr("cannot set the modification time of the copy"));
    if (fsync(out) != 0)
        request.fail(errno, Request::tr("cannot flush the copy to disk"));
}

// Refuses what a copy must not replace. Returns the status of the file the copy replaces, none
// where the destination does not exist.
std::optional<struct stat> checkCopyDestination(
    const Request &request, const QByteArray &path, const struct stat &source, bool overwrite)
{
    const QByteArray name = splitPath(path).name;
    struct stat st;
    if (stat(path.constData(), &st) == 0 && sameFile(st, source))
        request.refuse(EEXIST, Request::tr("the source and the destination are the same file"));
    if (name.isEmpty() || name == "." || name == "..")
        request.refuse(EISDIR, Request::tr("the destination is a folder"));
    if (lstat(path.constData(), &st) != 0) {
        if (errno == ENOENT)
            return std::nullopt;
        if (errno == EILSEQ)
            request.refuse(
                EILSEQ, Request::tr("the volume does not accept names that are not UTF-8"));
        request.fail(errno, Request::tr("cannot examine the destination"));
    }
    if (S_ISDIR(st.st_mode))
        request.refuse(EISDIR, Request::tr("the destination is a folder"));
    if (S_ISLNK(st.st_mode))
        request.refuse(ELOOP,
            Request::tr(
                "the destination is a symbolic link, and a copy is never written through one"));
    if (!S_ISREG(st.st_mode))
        request.refuse(EINVAL, Request::tr("the destination is not a regular file"));
    if (!overwrite)
        request.refuse(EEXIST, Request::tr("the destination already exists"));
    if (isReadOnly(st))
        request.refuse(EACCES, Request::tr("the destination is read-only"));
    return st;
}

// A copy over an existing file writes a whole new file before the old one goes. Dropping the old
// file's cached pages first lets the kernel reuse that memory for the new data instead of
// finding fresh memory for it. Only a hint: the old file's data on disk is not touched, and a
// file that cannot be opened for it is simply left as it is.
void releaseCachedPages(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

// The source is on another file system: copy it next to the destination, publish the copy
// without replacing anything, and only then remove the source. Any failure removes the copy.
void moveAcross(
    const Request &request, const QByteArray &from, const QByteArray &to, const struct stat &source)
{
    struct stat st;
    if (lstat(to.constData(), &st) == 0) // early and friendly; publishing checks atomically
        request.refuse(EEXIST, Request::tr("the destination already exists"));
    const Place place = splitPath(to);
    Fd folder = openFolder(request, place);
    const VolumeKind kind = VolumeKind::of(folder.get());
    Created created(folder.get());
    std::optional<NewFile> copy;
    if (S_ISLNK(source.st_mode)) {
        QByteArray target(PATH_MAX, Qt::Uninitialized);
        const ssize_t length = readlink(from.constData(), target.data(), size_t(target.size()));
        if (length < 0)
            request.fail(errno, Request::tr("cannot read the symbolic link"));
        target.truncate(length);
        if (created.create(place.name,
                [&](int at, const char *temporary) {
                    return symlinkat(target.constData(), at, temporary);
                })
            < 0) {
            if (errno == ENOSYS || errno == EOPNOTSUPP)
                request.refuse(errno, Request::tr("the volume cannot hold symbolic links"));
            request.failNaming(errno,
                Request::tr("cannot create a temporary link in the destination folder"), place.name,
                kind);
        }
        publishNamed(request, created, place.name, Publish::NoReplace, kind);
        st = source;
    } else if (S_ISREG(source.st_mode)) {
        Fd in = openSource(request, from, false, st);
        copy.emplace(request, created, place.name, kind);
        writeCopy(request, in.get(), copy->fd(), st, nullptr, kind,
            Request::tr("cancelled; nothing was moved"));
        copy->publish(request, place.name, Publish::NoReplace);
    } else {
        request.refuse(EXDEV,
            Request::tr("only files and symbolic links can be moved to another file system"));
    }
    if (const int err = syncFolder(folder.get(), copy ? copy->fd() : -1))
        request.fail(err, Request::tr("cannot flush the destination folder to disk"));
    if (copy) {
        if (const int err = copy->close())
            request.fail(err, Request::tr("cannot close the copy"));
    }
    struct stat now;
    if (lstat(from.constData(), &now) != 0)
        request.fail(errno, Request::tr("the source vanished while it was being moved"));
    if (!sameFile(now, st))
        request.refuse(EAGAIN, Request::tr("the source was replaced while it was being moved"));
    // Cancelled by now: the copy goes again and the source stays, as if nothing had been done.
    // Removing the source is the point of return.
    if (!passPointOfReturn())
        request.refuse(ECANCELED, Request::tr("cancelled; nothing was moved"));
    if (unlink(from.constData()) != 0)
        request.fail(errno, Request::tr("cannot remove the source"));
    created.keep();
}

// Whether a rename of source to path can stay on its volume (folders bound elsewhere aside).
bool onSameVolume(const struct stat &source, const QByteArray &path)
{
    struct stat folder;
    return stat(splitPath(path).folderPath().constData(), &folder) == 0
        && folder.st_dev == source.st_dev;
}

bool differOnlyInCase(const QByteArray &a, const QByteArray &b)
{
    return a != b && decodeName(a).toCaseFolded() == decodeName(b).toCaseFolded();
}

// Whether the folder lists an entry spelled exactly name; true where it cannot be listed, the
// careful answer for the caller.
bool listsName(const QByteArray &folder, const QByteArray &name)
{
    DIR *dir = opendir(folder.constData());
    if (!dir)
        return true;
    bool found = false;
    while (const dirent *entry = readdir(dir)) {
        found = name == entry->d_name;
        if (found)
            break;
    }
    closedir(dir);
    return found;
}

// Renames to another letter case of the same name, where the new spelling is the file itself,
// through a free temporary name: the new spelling is free once the old one is gone. A plain
// rename is no answer: the kernel's case-insensitive file systems take it for a rename of the
// file onto itself and change nothing, and fusefat drops the data of a file renamed onto its
// other spelling.
void renameCaseOnly(const Request &request, const QByteArray &from, const QByteArray &to)
{
    const QByteArray folder = splitPath(from).folder;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray parked = folder + temporaryName(splitPath(from).name);
        int err = renameNoReplace(AT_FDCWD, from.constData(), AT_FDCWD, parked.constData());
        if (err == EEXIST)
            continue;
        if (err != 0)
            request.fail(err, Request::tr("cannot rename"));
        err = renameNoReplace(AT_FDCWD, parked.constData(), AT_FDCWD, to.constData());
        if (err == 0)
            return;
        if (renameNoReplace(AT_FDCWD, parked.constData(), AT_FDCWD, from.constData()) != 0)
            request.fail(err,
                Request::tr("cannot rename, and the file is left as '%1'")
                    .arg(displayName(decodeName(parked))));
        if (err == EEXIST)
            request.refuse(EEXIST, Request::tr("the destination already exists"));
        request.fail(err, Request::tr("cannot rename"));
    }
    request.refuse(EEXIST, Request::tr("no free temporary name in the folder"));
}

// Whether two names of one volume show the same file by everything but the inode number: FUSE
// drivers of FAT and exFAT number inodes per name, so two spellings of one file differ there.
bool looksSame(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_mode == b.st_mode && a.st_size == b.st_size
        && sameTime(a.st_mtim, b.st_mtim);
}

// The destination exists. Renaming to another letter case of the same name goes ahead where the
// new spelling is the source itself: a case-insensitive file system that lists no entry spelled
// that way and finds the source under it. Anything else is refused, a hard link and a real
// second file of the new spelling included.
void moveOntoExisting(const Request &request, const QByteArray &from, const QByteArray &to)
{
    struct stat a, b, folderA, folderB;
    const Place placeA = splitPath(from), placeB = splitPath(to);
    const bool both = lstat(from.constData(), &a) == 0 && lstat(to.constData(), &b) == 0;
    if (both && differOnlyInCase(placeA.name, placeB.name)
        && stat(placeA.folderPath().constData(), &folderA) == 0
        && stat(placeB.folderPath().constData(), &folderB) == 0 && sameFile(folderA, folderB)
        && (sameFile(a, b) || looksSame(a, b)) && !listsName(placeB.folderPath(), placeB.name))
        return renameCaseOnly(request, from, to);
    if ((both && sameFile(a, b))
        || (stat(from.constData(), &a) == 0 && stat(to.constData(), &b) == 0 && sameFile(a, b)))
        request.refuse(EEXIST, Request::tr("the source and the destination are the same file"));
    request.refuse(EEXIST, Request::tr("the destination already exists"));
}

// What a request says of the one file it acts on when that is missing, cannot be examined, or
// is a folder.
struct FileWords
{
    QString missing;
    QString unexamined;
    QString folder;
};

// The status of the file a move or a delete acts on (a symbolic link itself); refused where it
// is missing or a folder.
struct stat examineFile(const Request &request, const QByteArray &path, const FileWords &words)
{
    struct stat st;
    if (lstat(path.constData(), &st) != 0) {
        if (errno == ENOENT)
            request.refuse(ENOENT, words.missing);
        request.fail(errno, words.unexamined);
    }
    if (S_ISDIR(st.st_mode))
        request.refuse(EISDIR, words.folder);
    return st;
}

} // namespace

void copyFile(const QString &source, const QString &destination, bool overwrite)
{
    const Request request(Request::tr("Cannot copy"), source, destination);
    const QByteArray from = encodeName(source);
    const QByteArray to = encodeName(destination);
    struct stat st;
    Fd in = openSource(request, from, true, st);
    const std::optional<struct stat> replaced = checkCopyDestination(request, to, st, overwrite);
    if (replaced)
        releaseCachedPages(to);
    const Place place = splitPath(to);
    Fd folder = openFolder(request, place);
    const VolumeKind kind = VolumeKind::of(folder.get());
    Created created(folder.get());
    NewFile copy(request, created, place.name, kind);
    writeCopy(request, in.get(), copy.fd(), st, replaced ? &*replaced : nullptr, kind,
        Request::tr("cancelled; nothing was copied"));
    // The last moment at which Cancel still leaves everything as it was. Past it, the copy is put
    // in place and flushed whatever happens, and a window that gives up on the call says so.
    if (!passPointOfReturn())
        request.refuse(ECANCELED, Request::tr("cancelled; nothing was copied"));
    copy.publish(request, place.name, overwrite ? Publish::Replace : Publish::NoReplace);
    created.keep();
    const int syncError = syncFolder(folder.get(), copy.fd());
    const int closeError = copy.close();
    if (syncError || closeError)
        request.fail(syncError ? syncError : closeError,
            Request::tr("the copy is in place, but flushing it to disk failed"));
}

void moveFile(const QString &source, const QString &destination)
{
    const QByteArray from = encodeName(source);
    QByteArray to = encodeName(destination);
    if (to.endsWith('/'))
        to += splitPath(from).name;
    const Request request(Request::tr("Cannot move"), source, decodeName(to));
    struct stat st = examineFile(request, from,
        {Request::tr("the source does not exist"), Request::tr("cannot examine the source"),
            Request::tr("the source is a folder, and only files are moved")});
    // Renaming within one volume is the move's point of return.
    if (onSameVolume(st, to) && !passPointOfReturn())
        request.refuse(ECANCELED, Request::tr("cancelled; nothing was moved"));
    const int err = renameNoReplace(AT_FDCWD, from.constData(), AT_FDCWD, to.constData());
    if (err == EXDEV)
        return moveAcross(request, from, to, st);
    if (err == EEXIST)
        return moveOntoExisting(request, from, to);
    if (err == 0)
        return;
    if (err == ENOENT && lstat(from.constData(), &st) != 0)
        request.refuse(ENOENT, Request::tr("the source no longer exists"));
    const Place place = splitPath(to);
    const Fd folder(open(place.folderPath().constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (err == ENOENT && folder.get() < 0)
        request.refuse(ENOENT, Request::tr("the destination folder does not exist"));
    request.failNaming(err, Request::tr("cannot rename"), place.name, VolumeKind::of(folder.get()));
}

void deleteFile(const QString &path, bool force)
{
    const Request request(Request::tr("Cannot delete"), path);
    const QByteArray bytes = encodeName(path);
    const struct stat st = examineFile(request, bytes,
        {Request::tr("the file does not exist"), Request::tr("cannot examine the file"),
            Request::tr("it is a folder, and only files are deleted")});
    if (!force && !S_ISLNK(st.st_mode) && isReadOnly(st))
        request.refuse(EACCES, Request::tr("the file is read-only"));
    if (unlink(bytes.constData()) == 0)
        return;
    if (errno == ENOENT)
        request.refuse(ENOENT, Request::tr("the file no longer exists"));
    if (errno == EISDIR)
        request.refuse(EISDIR, Request::tr("it is a folder, and only files are deleted"));
    request.fail(errno, Request::tr("cannot remove the file"));
}

} // namespace platform::changes
