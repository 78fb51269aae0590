#include "platform/VolumeKind.h"

#include "platform/NameCodec.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <algorithm>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>

namespace platform {

namespace {

// File-system magic numbers (statfs f_type), spelled out: not every kernel header has them all.
constexpr unsigned long fuseMagic = 0x65735546;
constexpr unsigned long fatMagic = 0x4d44;
constexpr unsigned long exfatMagic = 0x2011bab0;
constexpr unsigned long ntfsMagic = 0x5346544e;
constexpr unsigned long ntfs3Magic = 0x7366746e;
constexpr unsigned long smbMagic = 0x517b;
constexpr unsigned long cifsMagic = 0xff534d42;
constexpr unsigned long smb2Magic = 0xfe534d42;

// The reasons are worded as the rest of the file changes' reasons.
class Texts
{
    Q_DECLARE_TR_FUNCTIONS(FileChanges)
};

bool isFuseFatType(const QByteArray &type)
{
    // "fuse.fusefat", or a FUSE FAT driver of another name; exFAT is not FAT.
    return type.endsWith("fat") && !type.endsWith("exfat");
}

// A FUSE driver of a Windows file system: one that gives no type of its own ("fuse", "fuseblk":
// ntfs-3g, exfat-fuse) or names FAT, exFAT or NTFS in it. Network and other FUSE file systems
// ("fuse.sshfs") take what Linux takes.
bool isFuseWindowsType(const QByteArray &type)
{
    return type == "fuse" || type == "fuseblk" || type.endsWith("fat") || type.contains("ntfs");
}

// The base of a name Windows keeps for a device (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9),
// with or without an extension, in any letter case.
bool isDeviceName(const QString &name)
{
    const QString base = name.section(QLatin1Char('.'), 0, 0).toUpper();
    static const QStringList devices = {
        QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"), QStringLiteral("NUL")};
    if (devices.contains(base))
        return true;
    return base.size() == 4
        && (base.startsWith(QLatin1String("COM")) || base.startsWith(QLatin1String("LPT")))
        && base[3] >= QLatin1Char('1') && base[3] <= QLatin1Char('9');
}

// Each character of name that is in refused, once, quoted: "':'".
QStringList quotedCharacters(const QString &name, bool (*refused)(char32_t))
{
    QStringList found;
    for (const char32_t c : name.toUcs4()) {
        const QString quoted = QLatin1Char('\'') + QString::fromUcs4(&c, 1) + QLatin1Char('\'');
        if (refused(c) && !found.contains(quoted))
            found.push_back(quoted);
    }
    return found;
}

} // namespace

VolumeKind VolumeKind::of(int fd)
{
    VolumeKind kind;
    struct statfs volume;
    if (fstatfs(fd, &volume) != 0)
        return kind;
    const unsigned long magic = static_cast<unsigned long>(volume.f_type) & 0xffffffffUL;
    kind.fuse = magic == fuseMagic;
    kind.fat = magic == fatMagic;
    kind.windowsNames = kind.fat || magic == exfatMagic || magic == ntfsMagic || magic == ntfs3Magic
        || magic == smbMagic || magic == cifsMagic || magic == smb2Magic;
    struct stat st;
    QFile mounts(QStringLiteral("/proc/self/mountinfo"));
    if (kind.fuse && fstat(fd, &st) == 0 && mounts.open(QIODevice::ReadOnly)) {
        const QByteArray type = mountTypeOf(mounts.readAll(), st.st_dev);
        kind.fat = isFuseFatType(type);
        kind.windowsNames = isFuseWindowsType(type);
    }
    return kind;
}

std::int64_t VolumeKind::largestFile() const
{
    return fat ? (std::int64_t(4) << 30) - 1 : INT64_MAX;
}

QByteArray mountTypeOf(const QByteArray &mountInfo, dev_t dev)
{
    const QByteArray device = QByteArray::number(major(dev)) + ':' + QByteArray::number(minor(dev));
    for (const QByteArray &line : mountInfo.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype separator = fields.indexOf("-");
        if (fields.size() > 2 && fields[2] == device && separator > 0
            && separator + 1 < fields.size())
            return fields[separator + 1];
    }
    return {};
}

QString nameRefusal(const QByteArray &name, const VolumeKind &kind)
{
    if (!kind.windowsNames)
        return {};
    const QString text = decodeName(name);
    if (hasEscapedBytes(text))
        return Texts::tr("the volume does not accept names that are not UTF-8");
    QStringList refused = quotedCharacters(text, [](char32_t c) {
        return c < 128 && c >= 32 && QByteArrayView("\"*:<>?\\|").contains(char(c));
    });
    if (std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 32; }))
        refused.push_back(Texts::tr("control characters"));
    if (!refused.isEmpty())
        return Texts::tr("the volume does not accept %1 in names")
            .arg(QLocale().createSeparatedList(refused));
    if (text.endsWith(QLatin1Char(' ')) || text.endsWith(QLatin1Char('.')))
        return Texts::tr("the volume does not accept names that end in a space or a dot");
    if (isDeviceName(text))
        return Texts::tr(
            "the volume does not accept the name '%1', which Windows keeps for a device")
            .arg(displayName(text));
    // fusefat takes nothing beyond ASCII in a name.
    if (kind.fat && kind.fuse) {
        refused = quotedCharacters(text, [](char32_t c) { return c >= 128; });
        if (!refused.isEmpty())
            return Texts::tr("the volume does not accept %1 in names")
                .arg(QLocale().createSeparatedList(refused));
    }
    return {};
}

QString sizeText(std::int64_t bytes, const QLocale &locale)
{
    return locale.toString(double(bytes) / 1024.0, 'f', 2) + QStringLiteral("KB");
}

} // namespace platform
