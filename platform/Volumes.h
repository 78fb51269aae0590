#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

namespace platform {

// A mounted volume: its root path, and a text to show for it.
struct Volume
{
    QString root;
    QString label;
};

// The mounted volumes, read from the mount table without touching any of them.
class VolumeService
{
public:
    virtual ~VolumeService() = default;
    virtual std::vector<Volume> volumes() = 0;

    static VolumeService &current();
    static void install(VolumeService *service);
};

// The mounted volumes of this system worth browsing, "/" first, parsed from the text of
// /proc/self/mountinfo. Pseudo file systems (proc, sysfs, cgroups, ...) and the system's own
// runtime mounts under /proc, /sys, /dev and /run are left out. Nothing is stat'ed, so a dead
// network mount cannot freeze the caller.
std::vector<Volume> readMountedVolumes();
std::vector<Volume> parseMountInfo(const QByteArray &mountInfo);

// The volume whose root is the longest prefix of path (by text; nothing is touched).
int volumeIndexForPath(const std::vector<Volume> &volumes, const QString &path);

} // namespace platform
