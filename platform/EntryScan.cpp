#include "platform/EntryScan.h"

#include "platform/Failure.h"
#include "platform/OpenFolder.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr unsigned statusMask = STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME | STATX_BTIME;
// A look at an entry must never mount anything.
constexpr int statusFlags = AT_NO_AUTOMOUNT | AT_STATX_SYNC_AS_STAT;

// Large enough for some thousands of entries per system call.
constexpr size_t batchBytes = 256 * 1024;

// The fixed part of the kernel's struct linux_dirent64; the entry's name follows its type byte.
struct LinuxDirent64
{
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
};
constexpr size_t direntNameOffset = offsetof(LinuxDirent64, d_type) + 1;

Timestamp toTimestamp(const struct statx_timestamp &t)
{
    return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

[[noreturn]] void failToRead(int err, const OpenFolder &folder)
{
    throw Failure::fromErrno(
        err, QCoreApplication::translate("platform", "Cannot read the folder"), folder.text);
}

bool isDots(const char *name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

int readerDescriptor(const OpenFolder &folder, EntryReader::Access access)
{
    const int fd = access == EntryReader::Access::Search
        ? ::openat(folder.fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)
        : ::fcntl(folder.fd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        failToRead(errno, folder);
    // A duplicate shares the reading position: start from the first entry.
    if (access == EntryReader::Access::NamesOnly && ::lseek(fd, 0, SEEK_SET) != 0) {
        const int err = errno;
        ::close(fd);
        failToRead(err, folder);
    }
    return fd;
}

} // namespace

EntryStatus lookAt(const OpenFolder &folder, const char *name)
{
    struct statx status;
    EntryStatus result;
    if (::statx(folder.fd, name, statusFlags, statusMask, &status) != 0
        && ::statx(folder.fd, name, statusFlags | AT_SYMLINK_NOFOLLOW, statusMask, &status) != 0) {
        result.error = errno;
        result.kind = result.error == ENOENT || result.error == ESTALE ? EntryStatus::Gone
                                                                       : EntryStatus::Failed;
        return result;
    }
    if (S_ISDIR(status.stx_mode)) {
        result.kind = EntryStatus::Folder;
        return result;
    }
    result.kind = EntryStatus::File;
    result.size = std::int64_t(status.stx_size);
    result.modified = toTimestamp(status.stx_mtime);
    if ((status.stx_mask & STATX_BTIME)
        && (status.stx_btime.tv_sec != 0 || status.stx_btime.tv_nsec != 0))
        result.created = toTimestamp(status.stx_btime);
    return result;
}

EntryStatus lookAt(const Folder &folder, const char *name)
{
    return lookAt(*folder.m_folder, name);
}

EntryReader::EntryReader(const OpenFolder &folder, Access access)
    : m_folder(folder)
    , m_fd(readerDescriptor(folder, access))
    , m_buffer(static_cast<char *>(std::malloc(batchBytes)))
{
    if (!m_buffer) {
        ::close(m_fd);
        throw std::bad_alloc();
    }
}

EntryReader::EntryReader(const Folder &folder)
    : EntryReader(*folder.m_folder, Access::Search)
{ }

EntryReader::~EntryReader()
{
    std::free(m_buffer);
    ::close(m_fd);
}

bool EntryReader::fill()
{
    for (;;) {
        const long bytes = ::syscall(SYS_getdents64, m_fd, m_buffer, batchBytes);
        if (bytes >= 0) {
            m_filled = bytes;
            m_position = 0;
            return bytes > 0;
        }
        if (errno != EINTR)
            failToRead(errno, m_folder);
    }
}

const char *EntryReader::next(size_t &length, unsigned char &type)
{
    for (;;) {
        if (m_position >= m_filled && !fill())
            return nullptr;
        const char *record = m_buffer + m_position;
        const auto *entry = reinterpret_cast<const LinuxDirent64 *>(record);
        const char *name = record + direntNameOffset;
        m_position += entry->d_reclen;
        if (isDots(name))
            continue;
        length = std::strlen(name);
        type = entry->d_type;
        return name;
    }
}

} // namespace platform
