#include "platform/EntryScan.h"

#include "platform/Failure.h"
#include "platform/OpenFolder.h"

#include <QCoreApplication>

#include <cerrno>
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

struct LinuxDirent64
{
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

Timestamp toTimestamp(const struct statx_timestamp &t)
{
    return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

[[noreturn]] void failToRead(int err, const OpenFolder &folder)
{
    throw Failure::fromErrno(
        err, QCoreApplication::translate("platform", "Cannot read the folder"), folder.text);
}

} // namespace

EntryStatus lookAt(const Folder &folder, const char *name)
{
    const int fd = folder.m_folder->fd;
    struct statx status;
    EntryStatus result;
    if (::statx(fd, name, statusFlags, statusMask, &status) != 0
        && ::statx(fd, name, statusFlags | AT_SYMLINK_NOFOLLOW, statusMask, &status) != 0) {
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

// The batches are read through a descriptor of their own, so that the folder's one keeps
// serving the looks at entries, from other threads too.
EntryBatches::EntryBatches(const Folder &folder)
    : m_folder(folder)
    , m_fd(::openat(folder.m_folder->fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    , m_buffer(nullptr)
{
    if (m_fd < 0)
        failToRead(errno, *folder.m_folder);
    m_buffer = static_cast<char *>(std::malloc(batchBytes));
    if (!m_buffer) {
        ::close(m_fd);
        throw std::bad_alloc();
    }
}

EntryBatches::~EntryBatches()
{
    std::free(m_buffer);
    ::close(m_fd);
}

long EntryBatches::readBatch()
{
    for (;;) {
        const long bytes = ::syscall(SYS_getdents64, m_fd, m_buffer, batchBytes);
        if (bytes >= 0)
            return bytes;
        if (errno != EINTR)
            failToRead(errno, *m_folder.m_folder);
    }
}

EntryBatches::Entry EntryBatches::entryAt(long offset) const
{
    const auto *entry = reinterpret_cast<const LinuxDirent64 *>(m_buffer + offset);
    const char *name = entry->d_name;
    const bool dots = name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
    if (dots || entry->d_type == DT_DIR)
        return {nullptr, 0, entry->d_reclen};
    return {name, std::strlen(name), entry->d_reclen};
}

} // namespace platform
