// Copy, replace, move, rename and delete on small images of FAT, exFAT and NTFS (FUSE drivers),
// btrfs and xfs, and on tolvan-slowfs refusing RENAME_NOREPLACE and links as those drivers do.

#include "platform/Failure.h"
#include "platform/FileChanges.h"
#include "testsupport.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mount.h>
#include <unistd.h>

// Every entry under a folder, hidden ones too, with its bytes: what appeared, vanished or
// changed.
static QMap<QByteArray, QByteArray> snapshot(const QString &folder)
{
    return testing::entriesOf(QFile::encodeName(folder));
}

class TestVolumeKinds : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fileChanges_data();
    void fileChanges();
};

void TestVolumeKinds::fileChanges_data()
{
    // Making IMAGE (or slowfs's backing folder), mounting it on FOLDER; the number for "a:b".
    QTest::addColumn<QString>("commands");
    QTest::addColumn<int>("nameRefusal");
    QTest::newRow("FAT") << "mkfs.vfat IMAGE;fusefat -o rw+ IMAGE FOLDER" << EPERM;
    QTest::newRow("exFAT") << "mkfs.exfat IMAGE;mount -t exfat-fuse -o loop IMAGE FOLDER" << ENOENT;
    QTest::newRow("NTFS") << "mkntfs -qfF IMAGE;ntfs-3g -o windows_names IMAGE FOLDER" << EINVAL;
    QTest::newRow("btrfs") << "mkfs.btrfs -q IMAGE;mount -o loop IMAGE FOLDER" << 0;
    QTest::newRow("xfs") << "mkfs.xfs -q IMAGE;mount -o loop IMAGE FOLDER" << 0;
    QTest::newRow("slowfs without no-replace renames and links")
        << "mkdir IMAGE.d;SLOWFS --no-noreplace --no-links IMAGE.d FOLDER" << 0;
}

void TestVolumeKinds::fileChanges()
{
    QFETCH(QString, commands);
    QFETCH(int, nameRefusal);
    const QTemporaryDir scratch; // in the temporary folder, whose path has no spaces
    const QString root = scratch.path() + '/', v = root + "v"; // the volume; f: the files
    if (geteuid() != 0 || (!commands.contains(";mount") && access("/dev/fuse", R_OK | W_OK) != 0))
        QSKIP("mounting needs root, and a FUSE mount /dev/fuse");
    testing::useEnglishLocale();
    QFile image(root + "image"), source(root + "f/src");
    QVERIFY(QDir(root).mkpath("v") && QDir(root).mkpath("f"));
    QVERIFY(image.open(QIODevice::WriteOnly) && image.resize(300 << 20));
    for (const QString &line : commands.replace("IMAGE", root + "image").split(';')) {
        QStringList command = line.split(' ').replaceInStrings("FOLDER", v);
        QProcess process;
        process.start(
            command.takeFirst().replace("SLOWFS", qEnvironmentVariable("TOLVAN_SLOWFS")), command);
        if (!process.waitForFinished() || process.exitCode() != 0)
            QSKIP(qPrintable(
                line + ": " + process.errorString() + ' ' + process.readAllStandardError()));
    }
    const auto unmount = qScopeGuard([&] {
        if (umount2(qPrintable(v), 0) != 0)
            umount2(qPrintable(v), MNT_DETACH); // still busy: gone once it is let go
    });
    // Holes inside and at the end, which FAT through FUSE cannot make; large files to refuse.
    QVERIFY(source.open(QIODevice::WriteOnly) && source.write(QByteArray(70000, 's')) == 70000);
    QVERIFY(source.seek(3 << 20) && source.write("after the hole") && source.resize(5 << 20));
    QVERIFY(QFile::copy(source.fileName(), root + "f/moving")
        && QFile(v + "/old").open(QIODevice::WriteOnly));
    for (const auto &[name, size] : {std::pair {"4.5 GiB", 9LL << 29}, {"1 GiB", 1LL << 30}})
        QVERIFY(QFile(root + name).open(QIODevice::WriteOnly) && QFile::resize(root + name, size));

    // Steps: copy (c), move (m), delete (d), remount read-only (r), check the volume (=); the
    // number expected (-1: the row's) and a part of the reason. F marks FAT's own refusals.
    const std::tuple<const char *, const char *, const char *, int, const char *> steps[] = {
        {"c", "f/src", "v/copy", 0, ""}, {"c", "f/src", "v/old", 0, ""},
        {"m", "f/moving", "v/moved", 0, ""}, {"m", "v/copy", "v/renamed", 0, ""},
        {"m", "v/renamed", "v/Renamed", 0, ""}, {"=", "", "", 0, ""},
        {"m", "v/Renamed", "v/old", EEXIST, "exists"}, {"m", "f/src", "v/moved", EEXIST, "exists"},
        {"m", "v/old", "v/a:b", -1, "accept ':'"}, {"c", "f/src", "v/c?d", -1, "accept '?'"},
        {"cF", "4.5 GiB", "v/big", EFBIG, "cannot hold files larger than 4 GiB"},
        {"mF", "1 GiB", "v/big", ENOSPC, "free space on the volume: the copy needs 1,048,576.00KB"},
        {"d", "v/moved", "", 0, ""}, {"r", "", "", 0, ""}, {"c", "f/src", "v/old", EROFS, ""},
        {"m", "f/src", "v/new", EROFS, ""}, {"m", "v/old", "v/OLD", EROFS, ""},
        {"d", "v/old", "", EROFS, ""}};
    for (const auto &[step, from, to, expected, why] : steps) {
        const int number = expected == -1 ? nameRefusal : expected;
        if (step[1] == 'F' ? QTest::currentDataTag() != QByteArray("FAT") : number == 0 && expected)
            continue;
        const auto before = snapshot(v), local = snapshot(root + "f");
        QString result = "0 ";
        try {
            if (step[0] == 'c')
                platform::changes::copyFile(root + from, root + to, true);
            else if (step[0] == 'm')
                platform::changes::moveFile(root + from, root + to);
            else if (step[0] == 'd')
                platform::changes::deleteFile(root + from, false);
            else if (step[0] == 'r')
                QVERIFY(!mount(nullptr, qPrintable(v), nullptr, MS_REMOUNT | MS_RDONLY, nullptr));
            else
                QVERIFY(before.keys() == QByteArrayList({"Renamed", "moved", "old"})
                    && before.values() == QByteArrayList(3, local["src"]));
        } catch (const platform::Failure &failure) {
            result = QString::number(failure.number()) + ' ' + failure.description();
        }
        QVERIFY2(result.startsWith(QString::number(number) + ' ') && result.contains(why),
            qPrintable(step + (' ' + root + to) + ": " + result));
        // A refusal changes nothing, and leaves no temporary behind.
        QVERIFY(number == 0 || (snapshot(v) == before && snapshot(root + "f") == local));
    }
}

QTEST_GUILESS_MAIN(TestVolumeKinds)
#include "tst_volumekinds.moc"
