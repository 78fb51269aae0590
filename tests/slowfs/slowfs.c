/* tolvan-slowfs: a FUSE file system that mirrors a backing folder and makes every call slow, or
 * stuck, on purpose. The end-to-end tests and the benchmark mount it to see how the program
 * behaves on a slow network share or a dead mount.
 *
 *   tolvan-slowfs [--delay-ms N] [--block-file PATH] [--no-noreplace] [--no-links]
 *                 BACKING MOUNTPOINT -f [FUSE options]
 *
 * --delay-ms N      every call sleeps N milliseconds before it does its work.
 * --block-file PATH while PATH exists, every call waits (re-checking every 5 ms) until it is
 *                   removed: a dead mount that the caller can bring back to life, so that it can
 *                   be unmounted cleanly afterwards.
 * --no-noreplace    refuses RENAME_NOREPLACE (EINVAL) and --no-links hard links (EPERM), as
 *                   the FUSE drivers of FAT and exFAT do.
 *
 * Attributes and names are not cached by the kernel (all timeouts are zero), so every stat and
 * lookup reaches this process and is delayed or blocked like the rest. Only the calls a listing
 * and a copy into or out of the mount need are served.
 */

#define FUSE_USE_VERSION 31
#define _GNU_SOURCE

#include <fuse3/fuse.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

struct options
{
    unsigned delay_ms;
    const char *block_file;
    int no_noreplace;
    int no_links;
    const char *backing;
};

static struct options options;
static int backing_fd = -1;

/* Sleeps, unless the caller gives up on the call: the kernel then asks the file system to
 * interrupt it (a process that ends, or a signal), and the call fails with EINTR, as calls on
 * network file systems that allow interrupting do. The library marks the call interrupted; the
 * sleeps are short, so the mark is seen at once. Returns 0 or -EINTR. */
static int sleep_ms(unsigned ms)
{
    struct timespec t = {ms / 1000, (long)(ms % 1000) * 1000000L};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
        if (fuse_interrupted())
            return -EINTR;
    }
    return fuse_interrupted() ? -EINTR : 0;
}

/* What every call does first: the configured delay, then the wait while the block file is
 * there. Returns 0, or -EINTR when the call was interrupted meanwhile. */
static int slow_down(void)
{
    if (options.delay_ms && sleep_ms(options.delay_ms) != 0)
        return -EINTR;
    if (options.block_file) {
        while (access(options.block_file, F_OK) == 0) {
            if (sleep_ms(5) != 0)
                return -EINTR;
        }
    }
    return 0;
}

/* The first step of every call: a call interrupted while it waited ends there. */
#define SLOW_DOWN()                                                                                \
    do {                                                                                           \
        const int interrupted = slow_down();                                                       \
        if (interrupted)                                                                           \
            return interrupted;                                                                    \
    } while (0)

/* FUSE paths start with '/'; the backing folder's calls take them relative to its descriptor. */
static const char *relative(const char *path)
{
    return path[1] ? path + 1 : ".";
}

static int result(int status)
{
    return status < 0 ? -errno : 0;
}

static void *slow_init(struct fuse_conn_info *conn, struct fuse_config *config)
{
    (void)conn;
    config->use_ino = 1;
    config->entry_timeout = 0;
    config->attr_timeout = 0;
    config->negative_timeout = 0;
    return NULL;
}

static int slow_getattr(const char *path, struct stat *st, struct fuse_file_info *fi)
{
    SLOW_DOWN();
    if (fi)
        return result(fstat((int)fi->fh, st));
    return result(fstatat(backing_fd, relative(path), st, AT_SYMLINK_NOFOLLOW));
}

/* Opening a folder is a call of its own, slow like the others; nothing is kept open for it. */
static int slow_opendir(const char *path, struct fuse_file_info *fi)
{
    (void)fi;
    SLOW_DOWN();
    struct stat st;
    if (fstatat(backing_fd, relative(path), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return -errno;
    return S_ISDIR(st.st_mode) ? 0 : -ENOTDIR;
}

static int slow_readdir(const char *path, void *buffer, fuse_fill_dir_t fill, off_t offset,
    struct fuse_file_info *fi, enum fuse_readdir_flags flags)
{
    (void)offset;
    (void)fi;
    (void)flags;
    SLOW_DOWN();
    const int fd = openat(backing_fd, relative(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -errno;
    DIR *dir = fdopendir(fd);
    if (!dir) {
        const int error = errno;
        close(fd);
        return -error;
    }
    /* The whole folder in one go (offset 0 for every entry); the type goes with each name, so
     * a listing can tell folders from files without a stat. */
    const struct dirent *entry;
    while ((entry = readdir(dir)) != NULL) {
        struct stat st;
        memset(&st, 0, sizeof st);
        st.st_ino = entry->d_ino;
        st.st_mode = (mode_t)DTTOIF(entry->d_type);
        if (fill(buffer, entry->d_name, &st, 0, 0))
            break;
    }
    closedir(dir);
    return 0;
}

static int slow_mkdir(const char *path, mode_t mode)
{
    SLOW_DOWN();
    return result(mkdirat(backing_fd, relative(path), mode));
}

static int slow_rmdir(const char *path)
{
    SLOW_DOWN();
    return result(unlinkat(backing_fd, relative(path), AT_REMOVEDIR));
}

static int slow_unlink(const char *path)
{
    SLOW_DOWN();
    return result(unlinkat(backing_fd, relative(path), 0));
}

static int slow_rename(const char *from, const char *to, unsigned int flags)
{
    SLOW_DOWN();
    if (flags && options.no_noreplace)
        return -EINVAL;
    return result(renameat2(backing_fd, relative(from), backing_fd, relative(to), flags));
}

static int slow_link(const char *from, const char *to)
{
    SLOW_DOWN();
    if (options.no_links)
        return -EPERM;
    return result(linkat(backing_fd, relative(from), backing_fd, relative(to), 0));
}

static int slow_chmod(const char *path, mode_t mode, struct fuse_file_info *fi)
{
    SLOW_DOWN();
    if (fi)
        return result(fchmod((int)fi->fh, mode));
    return result(fchmodat(backing_fd, relative(path), mode, 0));
}

static int slow_truncate(const char *path, off_t size, struct fuse_file_info *fi)
{
    SLOW_DOWN();
    if (fi)
        return result(ftruncate((int)fi->fh, size));
    const int fd = openat(backing_fd, relative(path), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return -errno;
    const int status = result(ftruncate(fd, size));
    close(fd);
    return status;
}

static int slow_utimens(const char *path, const struct timespec times[2], struct fuse_file_info *fi)
{
    SLOW_DOWN();
    if (fi)
        return result(futimens((int)fi->fh, times));
    return result(utimensat(backing_fd, relative(path), times, AT_SYMLINK_NOFOLLOW));
}

static int slow_open(const char *path, struct fuse_file_info *fi)
{
    SLOW_DOWN();
    const int fd = openat(backing_fd, relative(path), fi->flags | O_CLOEXEC);
    if (fd < 0)
        return -errno;
    fi->fh = (uint64_t)fd;
    return 0;
}

static int slow_create(const char *path, mode_t mode, struct fuse_file_info *fi)
{
    SLOW_DOWN();
    const int fd = openat(backing_fd, relative(path), fi->flags | O_CREAT | O_CLOEXEC, mode);
    if (fd < 0)
        return -errno;
    fi->fh = (uint64_t)fd;
    return 0;
}

static int slow_read(
    const char *path, char *buffer, size_t size, off_t offset, struct fuse_file_info *fi)
{
    (void)path;
    SLOW_DOWN();
    const ssize_t got = pread((int)fi->fh, buffer, size, offset);
    return got < 0 ? -errno : (int)got;
}

static int slow_write(
    const char *path, const char *buffer, size_t size, off_t offset, struct fuse_file_info *fi)
{
    (void)path;
    SLOW_DOWN();
    const ssize_t put = pwrite((int)fi->fh, buffer, size, offset);
    return put < 0 ? -errno : (int)put;
}

static int slow_fsync(const char *path, int data_only, struct fuse_file_info *fi)
{
    (void)path;
    SLOW_DOWN();
    return result(data_only ? fdatasync((int)fi->fh) : fsync((int)fi->fh));
}

static int slow_release(const char *path, struct fuse_file_info *fi)
{
    (void)path;
    (void)slow_down(); /* the backing file is closed even when the wait was interrupted */
    close((int)fi->fh);
    return 0;
}

static int slow_statfs(const char *path, struct statvfs *st)
{
    (void)path;
    SLOW_DOWN();
    return result(fstatvfs(backing_fd, st));
}

static const struct fuse_operations operations = {
    .init = slow_init,
    .getattr = slow_getattr,
    .opendir = slow_opendir,
    .readdir = slow_readdir,
    .mkdir = slow_mkdir,
    .rmdir = slow_rmdir,
    .unlink = slow_unlink,
    .rename = slow_rename,
    .link = slow_link,
    .chmod = slow_chmod,
    .truncate = slow_truncate,
    .utimens = slow_utimens,
    .open = slow_open,
    .create = slow_create,
    .read = slow_read,
    .write = slow_write,
    .fsync = slow_fsync,
    .release = slow_release,
    .statfs = slow_statfs,
};

enum { KEY_HELP };

static const struct fuse_opt options_known[] = {
    {"--delay-ms %u", offsetof(struct options, delay_ms), 1},
    {"--delay-ms=%u", offsetof(struct options, delay_ms), 1},
    {"--block-file %s", offsetof(struct options, block_file), 1},
    {"--block-file=%s", offsetof(struct options, block_file), 1},
    {"--no-noreplace", offsetof(struct options, no_noreplace), 1},
    {"--no-links", offsetof(struct options, no_links), 1},
    FUSE_OPT_KEY("-h", KEY_HELP),
    FUSE_OPT_KEY("--help", KEY_HELP),
    FUSE_OPT_END,
};

static void usage(const char *program)
{
    fprintf(stderr,
        "usage: %s [--delay-ms N] [--block-file PATH] [--no-noreplace] [--no-links] BACKING "
        "MOUNTPOINT -f [FUSE options]\n",
        program);
}

/* The first name that is not an option is the backing folder; the second, the mount point, is
 * left for FUSE. */
static int take_argument(void *data, const char *arg, int key, struct fuse_args *args)
{
    (void)data;
    (void)args;
    if (key == KEY_HELP) {
        usage("tolvan-slowfs");
        exit(0);
    }
    if (key == FUSE_OPT_KEY_NONOPT && !options.backing) {
        options.backing = arg;
        return 0;
    }
    return 1;
}

/* The block file is checked from FUSE's threads whatever their working folder: make it
 * absolute now. */
static char *absolute(const char *path)
{
    if (path[0] == '/')
        return strdup(path);
    char folder[PATH_MAX];
    if (!getcwd(folder, sizeof folder))
        return NULL;
    char *joined = malloc(strlen(folder) + strlen(path) + 2);
    if (joined)
        sprintf(joined, "%s/%s", folder, path);
    return joined;
}

int main(int argc, char *argv[])
{
    struct fuse_args args = FUSE_ARGS_INIT(argc, argv);
    if (fuse_opt_parse(&args, &options, options_known, take_argument) != 0)
        return 1;
    if (!options.backing) {
        usage(argv[0]);
        return 1;
    }
    backing_fd = open(options.backing, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (backing_fd < 0) {
        fprintf(stderr, "tolvan-slowfs: cannot open %s: %s\n", options.backing, strerror(errno));
        return 1;
    }
    if (options.block_file && !(options.block_file = absolute(options.block_file))) {
        perror("tolvan-slowfs");
        return 1;
    }
    const int status = fuse_main(args.argc, args.argv, &operations, NULL);
    fuse_opt_free_args(&args);
    return status;
}
