#include "platform/Volumes.h"

#include "platform/NameCodec.h"

#include <QFile>
#include <QSet>

#include <algorithm>

namespace platform {

namespace {

bool isPseudoFileSystem(const QByteArray &type)
{
    static const QSet<QByteArray> pseudo = {"proc", "sysfs", "cgroup", "cgroup2", "devpts",
        "devtmpfs", "mqueue", "debugfs", "tracefs", "securityfs", "pstore", "bpf", "configfs",
        "fusectl", "hugetlbfs", "autofs", "binfmt_misc", "rpc_pipefs", "nsfs", "efivarfs",
        "selinuxfs", "ramfs", "squashfs", "fuse.gvfsd-fuse", "fuse.portal", "overlay-internal"};
    return pseudo.contains(type);
}

bool isSystemRuntimePath(const QByteArray &root)
{
    for (const char *prefix : {"/proc", "/sys", "/dev", "/run", "/snap", "/boot/efi"}) {
        const QByteArray p(prefix);
        if (root == p || root.startsWith(p + '/')) {
            if (root.startsWith("/run/media/"))
                return false;
            return true;
        }
    }
    return false;
}

// Mount points in mountinfo escape space, tab, newline and backslash as \ooo.
QByteArray unescape(const QByteArray &field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int value = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok && value < 256) {
                out.append(char(value));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return out;
}

} // namespace

std::vector<Volume> parseMountInfo(const QByteArray &mountInfo)
{
    std::vector<Volume> volumes;
    QSet<QByteArray> seen;
    for (const QByteArray &line : mountInfo.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype separator = fields.indexOf("-");
        if (fields.size() < 5 || separator < 0 || separator + 2 >= fields.size())
            continue;
        const QByteArray root = unescape(fields[4]);
        const QByteArray type = fields[separator + 1];
        const QByteArray source = unescape(fields[separator + 2]);
        if (isPseudoFileSystem(type) || (root != "/" && isSystemRuntimePath(root))
            || seen.contains(root))
            continue;
        seen.insert(root);
        const QString rootText = decodeName(root);
        QString label = rootText;
        if (root != "/" && source.startsWith('/'))
            label += QStringLiteral("  [%1]").arg(displayName(decodeName(source)));
        volumes.push_back({rootText, displayName(label)});
    }
    std::stable_sort(volumes.begin(), volumes.end(), [](const Volume &a, const Volume &b) {
        return a.root == QLatin1String("/") && b.root != QLatin1String("/");
    });
    if (volumes.empty() || volumes.front().root != QLatin1String("/"))
        volumes.insert(volumes.begin(), {QStringLiteral("/"), QStringLiteral("/")});
    return volumes;
}

std::vector<Volume> readMountedVolumes()
{
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return {{QStringLiteral("/"), QStringLiteral("/")}};
    return parseMountInfo(file.readAll());
}

int volumeIndexForPath(const std::vector<Volume> &volumes, const QString &path)
{
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < int(volumes.size()); ++i) {
        const QString &root = volumes[size_t(i)].root;
        const bool inside = root == QLatin1String("/") || path == root
            || path.startsWith(root + QLatin1Char('/'));
        if (inside && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    return best;
}

namespace {

class RealVolumes final : public VolumeService
{
public:
    std::vector<Volume> volumes() override { return readMountedVolumes(); }
};

VolumeService *installedVolumes = nullptr;

} // namespace

VolumeService &VolumeService::current()
{
    static RealVolumes real;
    return installedVolumes ? *installedVolumes : real;
}

void VolumeService::install(VolumeService *service)
{
    installedVolumes = service;
}

} // namespace platform
