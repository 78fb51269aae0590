#include "platform/FileChanges.h"

#include "platform/Failure.h"
#include "platform/NameCodec.h"

#include <QCoreApplication>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
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
        refuse(err, step + u": "_s + errnoText(err));
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

// Renames without ever replacing: renameat2(RENAME_NOREPLACE), or link and unlink where the file
// system does not offer it. Returns 0 or errno.
int renameNoReplace(int fromFolder, const char *from, int toFolder, const char *to)
{
    if (renameat2(fromFolder, from, toFolder, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    if (linkat(fromFolder, from, toFolder, to, 0) != 0)
        return errno;
    if (unlinkat(fromFolder, from, 0) != 0) {
        const int err = errno;
        unlinkat(toFolder, to, 0);
        return err;
    }
    return 0;
}

// fsync of a folder, so a rename in it survives a crash. Returns 0 or errno; a file system that
// cannot sync folders (EINVAL) is not an error.
int syncFolder(int folder)
{
    return fsync(folder) == 0 || errno == EINVAL ? 0 : errno;
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

Fd openFolder(const Request &request, const Place &place)
{
    Fd folder(open(place.folderPath().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0 && errno == ENOENT)
        request.refuse(ENOENT, u"the destination folder does not exist"_s);
    if (folder.get() < 0)
        request.fail(errno, u"cannot open the destination folder"_s);
    return folder;
}

// Opens the source for reading once (l)stat shows a regular file, so a FIFO or device is never
// opened, and checks that what was opened is that same file. st receives its status.
Fd openSource(const Request &request, const QByteArray &path, bool followLinks, struct stat &st)
{
    if ((followLinks ? stat(path.constData(), &st) : lstat(path.constData(), &st)) != 0) {
        if (errno == ENOENT)
            request.refuse(ENOENT, u"the source does not exist"_s);
        request.fail(errno, u"cannot examine the source"_s);
    }
    if (S_ISDIR(st.st_mode))
        request.refuse(EISDIR, u"the source is a folder"_s);
    if (!S_ISREG(st.st_mode))
        request.refuse(EINVAL, u"the source is not a regular file"_s);
    const int noFollow = followLinks ? 0 : O_NOFOLLOW;
    Fd in(open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | noFollow));
    if (in.get() < 0 && errno == ENOENT)
        request.refuse(ENOENT, u"the source no longer exists"_s);
    if (in.get() < 0)
        request.fail(errno, u"cannot open the source"_s);
    struct stat opened;
    if (fstat(in.get(), &opened) != 0)
        request.fail(errno, u"cannot examine the source"_s);
    if (!S_ISREG(opened.st_mode) || !sameFile(opened, st))
        request.refuse(EAGAIN, u"the source was replaced while it was being opened"_s);
    st = opened;
    return in;
}

// Copies with plain read and write from the current offsets. Returns 0 or errno.
int readWriteBytes(int in, int out)
{
    std::vector<char> buffer(1 << 17);
    for (;;) {
        const ssize_t got = read(in, buffer.data(), buffer.size());
        if (got == 0)
            return 0;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = write(out, buffer.data() + done, size_t(got - done));
            if (put < 0 && errno != EINTR)
                return errno;
            done += put > 0 ? put : 0;
        }
    }
}

// Copies every byte of in to the empty file out: a reflink where the file system shares
// extents, else copy_file_range, else read and write. Returns 0 or errno.
int copyBytes(int in, int out, off_t expectedSize)
{
    if (ioctl(out, FICLONE, in) == 0)
        return 0;
    off_t copied = 0;
    for (;;) {
        const ssize_t n = copy_file_range(in, nullptr, out, nullptr, size_t(1) << 30, 0);
        if (n > 0) {
            copied += n;
            continue;
        }
        // Some pseudo-files report a size yet give nothing here; read them instead.
        if (n == 0 && (copied > 0 || expectedSize == 0))
            return 0;
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)
            return readWriteBytes(in, out); // goes on from the offsets reached so far
        return errno;
    }
}

// Fills a new temporary file in created's folder with the source's bytes, permission bits and
// times, and flushes it to disk.
void writeTemporary(
    const Request &request, Created &created, int in, const struct stat &st, const QByteArray &name)
{
    Fd out(created.create(name, [](int folder, const char *temporary) {
        return openat(
            folder, temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    }));
    if (out.get() < 0)
        request.fail(errno, u"cannot create a temporary file in the destination folder"_s);
    if (const int err = copyBytes(in, out.get(), st.st_size))
        request.fail(err, u"copying the data failed"_s);
    // Set-user-ID and set-group-ID are not carried: the copy belongs to whoever copies. A file
    // system that keeps no permission bits (FAT) still gets the data.
    if (fchmod(out.get(), st.st_mode & 0777) != 0 && errno != EPERM && errno != EOPNOTSUPP)
        request.fail(errno, u"cannot set the permission bits of the copy"_s);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (futimens(out.get(), times) != 0)
        request.fail(errno, u"cannot set the modification time of the copy"_s);
    if (fsync(out.get()) != 0)
        request.fail(errno, u"cannot flush the copy to disk"_s);
    if (const int err = out.close())
        request.fail(err, u"cannot close the copy"_s);
}

enum class Publish { Replace, NoReplace };

// Renames the temporary entry to name in the same folder.
void publish(const Request &request, Created &created, const QByteArray &name, Publish mode)
{
    const int folder = created.folder();
    const char *temporary = created.name().constData();
    const int err = mode == Publish::Replace
        ? (renameat(folder, temporary, folder, name.constData()) == 0 ? 0 : errno)
        : renameNoReplace(folder, temporary, folder, name.constData());
    if (err == EEXIST)
        request.refuse(EEXIST, u"the destination already exists"_s);
    if (err != 0)
        request.fail(err, u"cannot put the copy in place"_s);
    created.renamedTo(name);
}

void checkCopyDestination(
    const Request &request, const QByteArray &path, const struct stat &source, bool overwrite)
{
    const QByteArray name = splitPath(path).name;
    struct stat st;
    if (stat(path.constData(), &st) == 0 && sameFile(st, source))
        request.refuse(EEXIST, u"the source and the destination are the same file"_s);
    if (name.isEmpty() || name == "." || name == "..")
        request.refuse(EISDIR, u"the destination is a folder"_s);
    if (lstat(path.constData(), &st) != 0) {
        if (errno == ENOENT)
            return;
        request.fail(errno, u"cannot examine the destination"_s);
    }
    if (S_ISDIR(st.st_mode))
        request.refuse(EISDIR, u"the destination is a folder"_s);
    if (S_ISLNK(st.st_mode))
        request.refuse(ELOOP,
            u"the destination is a symbolic link, and a copy is never written "
            "through one"_s);
    if (!S_ISREG(st.st_mode))
        request.refuse(EINVAL, u"the destination is not a regular file"_s);
    if (!overwrite)
        request.refuse(EEXIST, u"the destination already exists"_s);
    if (isReadOnly(st))
        request.refuse(EACCES, u"the destination is read-only"_s);
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
        request.refuse(EEXIST, u"the destination already exists"_s);
    const Place place = splitPath(to);
    Fd folder = openFolder(request, place);
    Created created(folder.get());
    if (S_ISLNK(source.st_mode)) {
        QByteArray target(PATH_MAX, Qt::Uninitialized);
        const ssize_t length = readlink(from.constData(), target.data(), size_t(target.size()));
        if (length < 0)
            request.fail(errno, u"cannot read the symbolic link"_s);
        target.truncate(length);
        if (created.create(place.name,
                [&](int at, const char *temporary) {
                    return symlinkat(target.constData(), at, temporary);
                })
            < 0)
            request.fail(errno, u"cannot create a temporary link in the destination folder"_s);
        st = source;
    } else if (S_ISREG(source.st_mode)) {
        Fd in = openSource(request, from, false, st);
        writeTemporary(request, created, in.get(), st, place.name);
        struct stat after;
        if (fstat(in.get(), &after) != 0 || after.st_size != st.st_size
            || after.st_mtim.tv_sec != st.st_mtim.tv_sec
            || after.st_mtim.tv_nsec != st.st_mtim.tv_nsec)
            request.refuse(EAGAIN, u"the source changed while it was being copied"_s);
    } else {
        request.refuse(EXDEV,
            u"only files and symbolic links can be moved to another file "
            "system"_s);
    }
    publish(request, created, place.name, Publish::NoReplace);
    if (const int err = syncFolder(folder.get()))
        request.fail(err, u"cannot flush the destination folder to disk"_s);
    struct stat now;
    if (lstat(from.constData(), &now) != 0)
        request.fail(errno, u"the source vanished while it was being moved"_s);
    if (!sameFile(now, st))
        request.refuse(EAGAIN, u"the source was replaced while it was being moved"_s);
    if (unlink(from.constData()) != 0)
        request.fail(errno, u"cannot remove the source"_s);
    created.keep();
}

bool differOnlyInCase(const QByteArray &a, const QByteArray &b)
{
    return a != b && decodeName(a).toCaseFolded() == decodeName(b).toCaseFolded();
}

// Renames through a free temporary name: on a case-insensitive file system the new spelling
// is the file itself until the old spelling is gone. Where the new spelling is really another
// entry (a hard link), the second step is refused and the file goes back to its old name.
void renameCaseOnly(const Request &request, const QByteArray &from, const QByteArray &to)
{
    const QByteArray folder = splitPath(from).folder;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray parked = folder + temporaryName(splitPath(from).name);
        int err = renameNoReplace(AT_FDCWD, from.constData(), AT_FDCWD, parked.constData());
        if (err == EEXIST)
            continue;
        if (err != 0)
            request.fail(err, u"cannot rename"_s);
        err = renameNoReplace(AT_FDCWD, parked.constData(), AT_FDCWD, to.constData());
        if (err == 0)
            return;
        if (renameNoReplace(AT_FDCWD, parked.constData(), AT_FDCWD, from.constData()) != 0)
            request.fail(err,
                u"cannot rename, and the file is left as '%1'"_s.arg(
                    displayName(decodeName(parked))));
        if (err == EEXIST) // the new spelling is a hard link of the source
            request.refuse(EEXIST, u"the source and the destination are the same file"_s);
        request.fail(err, u"cannot rename"_s);
    }
    request.refuse(EEXIST, u"no free temporary name in the folder"_s);
}

// The destination exists. Renaming to another letter case of the same name on a
// case-insensitive file system goes ahead; anything else is refused.
void moveOntoExisting(const Request &request, const QByteArray &from, const QByteArray &to)
{
    struct stat a, b, folderA, folderB;
    const Place placeA = splitPath(from), placeB = splitPath(to);
    if (lstat(from.constData(), &a) == 0 && lstat(to.constData(), &b) == 0 && sameFile(a, b)) {
        if (differOnlyInCase(placeA.name, placeB.name)
            && stat(placeA.folderPath().constData(), &folderA) == 0
            && stat(placeB.folderPath().constData(), &folderB) == 0 && sameFile(folderA, folderB))
            return renameCaseOnly(request, from, to);
        request.refuse(EEXIST, u"the source and the destination are the same file"_s);
    }
    if (stat(from.constData(), &a) == 0 && stat(to.constData(), &b) == 0 && sameFile(a, b))
        request.refuse(EEXIST, u"the source and the destination are the same file"_s);
    request.refuse(EEXIST, u"the destination already exists"_s);
}

} // namespace

void copyFile(const QString &source, const QString &destination, bool overwrite)
{
    const Request request(Request::tr("Cannot copy"), source, destination);
    const QByteArray from = encodeName(source);
    const QByteArray to = encodeName(destination);
    struct stat st;
    Fd in = openSource(request, from, true, st);
    checkCopyDestination(request, to, st, overwrite);
    if (overwrite)
        releaseCachedPages(to);
    const Place place = splitPath(to);
    Fd folder = openFolder(request, place);
    Created created(folder.get());
    writeTemporary(request, created, in.get(), st, place.name);
    publish(request, created, place.name, overwrite ? Publish::Replace : Publish::NoReplace);
    created.keep();
    if (const int err = syncFolder(folder.get()))
        request.fail(err,
            u"the copy is in place, but flushing the destination folder to disk "
            "failed"_s);
}

void moveFile(const QString &source, const QString &destination)
{
    const QByteArray from = encodeName(source);
    QByteArray to = encodeName(destination);
    if (to.endsWith('/'))
        to += splitPath(from).name;
    const Request request(Request::tr("Cannot move"), source, decodeName(to));
    struct stat st;
    if (lstat(from.constData(), &st) != 0) {
        if (errno == ENOENT)
            request.refuse(ENOENT, u"the source does not exist"_s);
        request.fail(errno, u"cannot examine the source"_s);
    }
    if (S_ISDIR(st.st_mode))
        request.refuse(EISDIR, u"the source is a folder, and only files are moved"_s);
    const int err = renameNoReplace(AT_FDCWD, from.constData(), AT_FDCWD, to.constData());
    if (err == EXDEV)
        return moveAcross(request, from, to, st);
    if (err == EEXIST)
        return moveOntoExisting(request, from, to);
    if (err == ENOENT && lstat(from.constData(), &st) != 0)
        request.refuse(ENOENT, u"the source no longer exists"_s);
    if (err == ENOENT)
        request.refuse(ENOENT, u"the destination folder does not exist"_s);
    if (err != 0)
        request.fail(err, u"cannot rename"_s);
}

void deleteFile(const QString &path, bool force)
{
    const Request request(Request::tr("Cannot delete"), path);
    const QByteArray bytes = encodeName(path);
    struct stat st;
    if (lstat(bytes.constData(), &st) != 0) {
        if (errno == ENOENT)
            request.refuse(ENOENT, u"the file does not exist"_s);
        request.fail(errno, u"cannot examine the file"_s);
    }
    if (S_ISDIR(st.st_mode))
        request.refuse(EISDIR, u"it is a folder, and only files are deleted"_s);
    if (!force && !S_ISLNK(st.st_mode) && isReadOnly(st))
        request.refuse(EACCES, u"the file is read-only"_s);
    if (unlink(bytes.constData()) == 0)
        return;
    if (errno == ENOENT)
        request.refuse(ENOENT, u"the file no longer exists"_s);
    if (errno == EISDIR)
        request.refuse(EISDIR, u"it is a folder, and only files are deleted"_s);
    request.fail(errno, u"cannot remove the file"_s);
}

} // namespace platform::changes
