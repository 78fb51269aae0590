#pragma once

#include <cstdint>
#include <string>

namespace bench {

// The benchmark's scratch folders: one under the data folder's parent and, where /dev/shm is
// usable, one there for the moves across file systems. Both are removed when the workspace is
// destroyed, and also when the program is stopped by a signal or crashes.
class Workspace
{
public:
    explicit Workspace(const std::string &parent);
    ~Workspace();
    Workspace(const Workspace &) = delete;
    Workspace &operator=(const Workspace &) = delete;

    const std::string &root() const { return m_root; }
    // Empty when /dev/shm is missing or on the same file system as root.
    const std::string &otherRoot() const { return m_otherRoot; }

    // Makes a new folder name inside root and returns its path.
    std::string makeFolder(const std::string &name) const;

private:
    std::string m_root;
    std::string m_otherRoot;
};

// Removes path and everything below it without following symbolic links. Uses system calls
// only, so a signal handler may call it. Returns 0 or the first errno met.
int removeTree(const char *path);

// Free bytes and free inodes for an unprivileged writer on the file system holding path.
struct FreeSpace
{
    std::int64_t bytes = 0;
    std::int64_t inodes = 0;
};
FreeSpace freeSpace(const std::string &path);

// The file system type's name for path ("ext2/ext3", "tmpfs", "xfs", ...), for the report.
std::string fileSystemName(const std::string &path);

} // namespace bench
