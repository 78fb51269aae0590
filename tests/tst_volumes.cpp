// The mount table as the drive selector reads it, the volume a folder lies on, and the folder
// tree's textual clean-up of the paths it is given.

#include "platform/NameCodec.h"
#include "platform/Volumes.h"
#include "widgets/FolderTree.h"

#include "windowsupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using platform::Volume;

namespace {

QList<QByteArray> rootsOf(const std::vector<Volume> &volumes)
{
    QList<QByteArray> roots;
    for (const Volume &volume : volumes)
        roots.push_back(platform::encodeName(volume.root));
    return roots;
}

// A mountinfo line for a mount of type at the (already escaped) mount point.
QByteArray line(int id, const QByteArray &mountPoint, const QByteArray &type,
    const QByteArray &source, const QByteArray &optional = "shared:1")
{
    QByteArray text = QByteArray::number(id) + " 1 8:" + QByteArray::number(id) + " / " + mountPoint
        + " rw,relatime ";
    if (!optional.isEmpty())
        text += optional + ' ';
    return text + "- " + type + ' ' + source + " rw\n";
}

QByteArray processFolder()
{
    QByteArray buffer(4096, '\0');
    if (!::getcwd(buffer.data(), size_t(buffer.size())))
        return {};
    return QByteArray(buffer.constData());
}

} // namespace

class Volumes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void mountTable_data();
    void mountTable();
    void mountTableOfThisSystem();
    void volumeForPath_data();
    void volumeForPath();
    void normalized_data();
    void normalized();
};

void Volumes::mountTable_data()
{
    QTest::addColumn<QByteArray>("mountInfo");
    QTest::addColumn<QList<QByteArray>>("roots");

    const QByteArray desktop = line(22, "/", "ext4", "/dev/sda1")
        + line(23, "/proc", "proc", "proc") + line(24, "/sys", "sysfs", "sysfs")
        + line(25, "/sys/fs/cgroup", "cgroup2", "cgroup2") + line(26, "/dev", "devtmpfs", "udev")
        + line(27, "/dev/pts", "devpts", "devpts") + line(28, "/dev/shm", "tmpfs", "tmpfs")
        + line(29, "/run", "tmpfs", "tmpfs") + line(30, "/home", "ext4", "/dev/sda2")
        + line(31, "/tmp", "tmpfs", "tmpfs") + line(32, "/run/user/1000", "tmpfs", "tmpfs")
        + line(33, "/run/media/anna/STICK", "vfat", "/dev/sdb1")
        + line(34, "/mnt/share", "nfs4", "server:/export")
        + line(35, "/snap/core/42", "squashfs", "/dev/loop0")
        + line(36, "/proc/sys/fs/binfmt_misc", "autofs", "systemd-1")
        + line(37, "/media/backup", "fuse.sshfs", "anna@host:");
    QTest::newRow("pseudo file systems and runtime mounts left out")
        << desktop
        << QList<QByteArray> {
               "/", "/home", "/tmp", "/run/media/anna/STICK", "/mnt/share", "/media/backup"};

    QTest::newRow("root listed last comes first") << line(40, "/data", "xfs", "/dev/sdc1")
            + line(41, "/srv", "ext4", "/dev/sdd1")
            + line(42, "/", "overlay", "overlay") << QList<QByteArray> {"/", "/data", "/srv"};
    QTest::newRow("no root line: root added first")
        << line(40, "/data", "xfs", "/dev/sdc1") << QList<QByteArray> {"/", "/data"};
    QTest::newRow("empty table") << QByteArray() << QList<QByteArray> {"/"};

    // The kernel writes space, tab, newline and backslash in a mount point as octal escapes and
    // every other byte as it is, including bytes that are not UTF-8.
    QTest::newRow("escaped mount points")
        << line(22, "/", "ext4", "/dev/sda1")
            + line(50, "/media/USB\\040stick", "vfat", "/dev/sdb1")
            + line(51, "/mnt/tab\\011and\\012newline", "ext4", "/dev/sdb2")
            + line(52, "/mnt/back\\134slash", "ext4", "/dev/sdb3")
            + line(53, "/mnt/trailing\\040", "ext4", "/dev/sdb4")
            + line(54, "/mnt/caf\xe9-\xff", "ext4", "/dev/sdb5")
        << QList<QByteArray> {"/", "/media/USB stick", "/mnt/tab\tand\nnewline", "/mnt/back\\slash",
               "/mnt/trailing ", "/mnt/caf\xe9-\xff"};

    QTest::newRow("any number of optional fields")
        << line(22, "/", "ext4", "/dev/sda1", "") + line(60, "/a", "ext4", "/dev/sdb1", "")
            + line(61, "/b", "ext4", "/dev/sdb2", "shared:3 master:1 propagate_from:2")
        << QList<QByteArray> {"/", "/a", "/b"};

    QTest::newRow("a mount point mounted over is listed once") << line(22, "/", "ext4", "/dev/sda1")
            + line(70, "/mnt", "ext4", "/dev/sdb1")
            + line(71, "/mnt", "ext4", "/dev/sdc1") << QList<QByteArray> {"/", "/mnt"};

    QTest::newRow("names that only begin like system folders are kept")
        << line(22, "/", "ext4", "/dev/sda1") + line(80, "/devices", "ext4", "/dev/sdb1")
            + line(81, "/runner", "ext4", "/dev/sdb2") + line(82, "/sysadmin", "ext4", "/dev/sdb3")
            + line(83, "/procedures", "ext4", "/dev/sdb4")
        << QList<QByteArray> {"/", "/devices", "/runner", "/sysadmin", "/procedures"};

    QTest::newRow("broken lines are skipped")
        << line(22, "/", "ext4", "/dev/sda1") + "garbage\n" + "90 1 8:1 / /nofields rw\n"
            + "91 1 8:1 / /cut rw -\n" + "\n" + line(92, "/ok", "ext4", "/dev/sdb1")
        << QList<QByteArray> {"/", "/ok"};
}

void Volumes::mountTable()
{
    QFETCH(QByteArray, mountInfo);
    QFETCH(QList<QByteArray>, roots);

    const std::vector<Volume> volumes = platform::parseMountInfo(mountInfo);
    QCOMPARE(rootsOf(volumes), roots);
    for (const Volume &volume : volumes)
        QVERIFY2(!volume.label.isEmpty(), qPrintable(volume.root));
}

// The real table: "/" first, none of the kernel's own mounts, every root an absolute path.
void Volumes::mountTableOfThisSystem()
{
    const std::vector<Volume> volumes = platform::readMountedVolumes();
    QVERIFY(!volumes.empty());
    QCOMPARE(volumes.front().root, QStringLiteral("/"));
    for (const Volume &volume : volumes) {
        QVERIFY2(volume.root.startsWith(QLatin1Char('/')), qPrintable(volume.root));
        for (const char *system : {"/proc", "/sys", "/dev"}) {
            const QString prefix = QLatin1String(system);
            QVERIFY2(volume.root != prefix && !volume.root.startsWith(prefix + QLatin1Char('/')),
                qPrintable(volume.root));
        }
    }
}

void Volumes::volumeForPath_data()
{
    QTest::addColumn<QStringList>("roots");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("index");

    // The longer root is listed first and last, so that the first match is not the answer.
    const QStringList roots {"/home/anna/usb", "/", "/home", "/mnt/a", "/home/anna/usb2"};
    QTest::newRow("outside every mount: root") << roots << "/etc/ssh" << 1;
    QTest::newRow("root itself") << roots << "/" << 1;
    QTest::newRow("mount point itself") << roots << "/home" << 2;
    QTest::newRow("inside a mount") << roots << "/home/anna" << 2;
    QTest::newRow("inside a nested mount") << roots << "/home/anna/usb/photos" << 0;
    QTest::newRow("nested mount point itself") << roots << "/home/anna/usb2" << 4;
    QTest::newRow("name that extends a mount point") << roots << "/home/anna/usbx/y" << 2;
    QTest::newRow("sibling sharing a prefix") << roots << "/mnt/ab" << 1;
    QTest::newRow("no volume holds it") << QStringList {"/data"} << "/etc" << -1;
    QTest::newRow("no volumes at all") << QStringList {} << "/etc" << -1;
}

void Volumes::volumeForPath()
{
    QFETCH(QStringList, roots);
    QFETCH(QString, path);
    QFETCH(int, index);

    std::vector<Volume> volumes;
    for (const QString &root : roots)
        volumes.push_back({root, root});
    QCOMPARE(platform::volumeIndexForPath(volumes, path), index);
}

void Volumes::normalized_data()
{
    QTest::addColumn<QString>("path");
    // "~" at the start stands for the current folder, "^" for its parent.
    QTest::addColumn<QString>("expected");

    QTest::newRow("absolute, clean") << "/usr/share"
                                     << "/usr/share";
    QTest::newRow("root") << "/"
                          << "/";
    QTest::newRow("repeated separators") << "//usr///share//"
                                         << "/usr/share";
    QTest::newRow("only separators") << "///"
                                     << "/";
    QTest::newRow("dot") << "/usr/./share/."
                         << "/usr/share";
    QTest::newRow("dot-dot") << "/usr/lib/../share"
                             << "/usr/share";
    QTest::newRow("dot-dot at the end") << "/usr/share/.."
                                        << "/usr";
    QTest::newRow("dot-dot above the root") << "/../../etc"
                                            << "/etc";
    QTest::newRow("names made of dots are names") << "/a/.../..b/.c"
                                                  << "/a/.../..b/.c";
    QTest::newRow("relative") << "sub/folder"
                              << "~/sub/folder";
    QTest::newRow("relative dot") << "."
                                  << "~";
    QTest::newRow("relative dot-dot") << "sub/.."
                                      << "~";
    QTest::newRow("relative parent") << "../x"
                                     << "^/x";
    QTest::newRow("empty") << ""
                           << "~";
    QTest::newRow("name that is not UTF-8") << "/a//" + platform::decodeName("caf\xe9") + "/./b"
                                            << "/a/" + platform::decodeName("caf\xe9") + "/b";
}

void Volumes::normalized()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);

    QTemporaryDir dir(QStringLiteral("volumes-XXXXXX"));
    QVERIFY(dir.isValid());
    const testing::CurrentFolder current(testing::bytesOf(dir.path()));
    const QString here = platform::decodeName(processFolder());
    if (expected.startsWith(QLatin1Char('~')))
        expected = here + expected.mid(1);
    else if (expected.startsWith(QLatin1Char('^')))
        expected = here.left(here.lastIndexOf(QLatin1Char('/'))) + expected.mid(1);
    QCOMPARE(widgets::FolderTree::normalized(path), expected);
}

QTEST_GUILESS_MAIN(Volumes)
#include "tst_volumes.moc"
