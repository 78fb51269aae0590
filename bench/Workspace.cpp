#include "bench/Workspace.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace bench {

namespace {

// The roots a signal handler must remove; fixed buffers, since a handler may not allocate.
constexpr size_t maxPath = 4096;
char g_roots[2][maxPath];
volatile sig_atomic_t g_cleaning = 0;

constexpr int fatalSignals[]
    = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL};

int removeTreeAt(int parent, const char *name)
{
    const int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOTDIR && errno != ELOOP)
            return errno == ENOENT ? 0 : errno;
        return unlinkat(parent, name, 0) == 0 || errno == ENOENT ? 0 : errno;
    }
    int result = 0;
    // Read from the start again after each pass that removed something: the order of a
    // folder's entries may change under removals on some file systems.
    for (bool removed = true; removed;) {
        removed = false;
        lseek(fd, 0, SEEK_SET);
        alignas(8) char buffer[32768];
        for (;;) {
            const long n = syscall(SYS_getdents64, fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            for (long offset = 0; offset < n;) {
                const auto *entry = reinterpret_cast<const struct dirent64 *>(buffer + offset);
                offset += entry->d_reclen;
                const char *child = entry->d_name;
                if (child[0] == '.' && (child[1] == '\0' || (child[1] == '.' && child[2] == '\0')))
                    continue;
                int err = 0;
                if (entry->d_type == DT_DIR)
                    err = removeTreeAt(fd, child);
                else if (unlinkat(fd, child, 0) != 0)
                    err = errno == EISDIR ? removeTreeAt(fd, child) : errno;
                if (err == 0)
                    removed = true;
                else if (result == 0)
                    result = err;
            }
        }
        if (result != 0)
            break;
    }
    close(fd);
    if (unlinkat(parent, name, AT_REMOVEDIR) != 0 && errno != ENOENT && result == 0)
        result = errno;
    return result;
}

void cleanUpOnSignal(int signal)
{
    if (!g_cleaning) {
        g_cleaning = 1;
        static const char message[] = "\ntolvan-bench: stopped; removing the benchmark data\n";
        [[maybe_unused]] const ssize_t written = write(2, message, sizeof message - 1);
        for (const char *root : g_roots) {
            if (root[0])
                removeTree(root);
        }
    }
    std::signal(signal, SIG_DFL);
    raise(signal);
}

void registerRoot(int slot, const std::string &path)
{
    if (path.size() >= maxPath)
        throw std::runtime_error("path too long: " + path);
    std::memcpy(g_roots[slot], path.c_str(), path.size() + 1);
}

std::string makeTemporaryFolder(const std::string &parent)
{
    std::string pattern = parent + "/tolvan-bench-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a folder in " + parent + ": " + strerror(errno));
    return pattern;
}

} // namespace

int removeTree(const char *path)
{
    return removeTreeAt(AT_FDCWD, path);
}

Workspace::Workspace(const std::string &parent)
{
    m_root = makeTemporaryFolder(parent);
    registerRoot(0, m_root);
    struct stat here
    {
    }, shm {};
    if (stat(m_root.c_str(), &here) == 0 && stat("/dev/shm", &shm) == 0 && here.st_dev != shm.st_dev
        && access("/dev/shm", W_OK) == 0) {
        m_otherRoot = makeTemporaryFolder("/dev/shm");
        registerRoot(1, m_otherRoot);
    }
    struct sigaction action
    { };
    action.sa_handler = cleanUpOnSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : fatalSignals)
        sigaction(signal, &action, nullptr);
}

Workspace::~Workspace()
{
    for (int signal : fatalSignals)
        std::signal(signal, SIG_DFL);
    // The program's current folder may be inside; leave it first.
    [[maybe_unused]] const int changed = chdir("/");
    for (const std::string *root : {&m_root, &m_otherRoot}) {
        if (root->empty())
            continue;
        if (const int err = removeTree(root->c_str()))
            std::fprintf(stderr, "tolvan-bench: could not remove %s completely: %s\n",
                root->c_str(), strerror(err));
    }
    g_roots[0][0] = g_roots[1][0] = '\0';
}

std::string Workspace::makeFolder(const std::string &name) const
{
    const std::string path = m_root + "/" + name;
    if (mkdir(path.c_str(), 0755) != 0)
        throw std::runtime_error("cannot create " + path + ": " + strerror(errno));
    return path;
}

FreeSpace freeSpace(const std::string &path)
{
    struct statvfs info
    { };
    if (statvfs(path.c_str(), &info) != 0)
        return {};
    return {std::int64_t(info.f_bavail) * std::int64_t(info.f_frsize), std::int64_t(info.f_favail)};
}

std::string fileSystemName(const std::string &path)
{
    struct statfs info
    { };
    if (statfs(path.c_str(), &info) != 0)
        return "unknown";
    switch (info.f_type) {
    case EXT4_SUPER_MAGIC:
        return "ext2/3/4";
    case TMPFS_MAGIC:
        return "tmpfs";
    case BTRFS_SUPER_MAGIC:
        return "btrfs";
    case XFS_SUPER_MAGIC:
        return "xfs";
    case OVERLAYFS_SUPER_MAGIC:
        return "overlayfs";
    default: {
        char text[32];
        std::snprintf(text, sizeof text, "0x%lx", long(info.f_type));
        return text;
    }
    }
}

} // namespace bench
