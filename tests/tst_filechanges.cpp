#include "platform/FileChanges.h"

#include "platform/CallState.h"
#include "platform/Failure.h"
#include "platform/NameCodec.h"
#include "testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using platform::decodeName;
using platform::encodeName;
using testing::readFile;
using testing::removeTree;
using testing::writeFile;
namespace changes = platform::changes;

namespace {

// A modification time with nanoseconds, far from "now", so keeping it is never an accident.
void setOldTimes(const QByteArray &path)
{
    const struct timespec times[2] = {{981173045, 123456789}, {981173045, 987654321}};
    QCOMPARE(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);
}

// Every entry under a folder by relative raw name (see testing::entriesOf).
using Tree = QMap<QByteArray, QByteArray>;

// A fresh folder, by default in the build folder: /tmp may share its device with /dev/shm.
class Scratch
{
public:
    explicit Scratch(const QString &base = QDir::currentPath())
        : m_dir(base + QStringLiteral("/tst_filechanges-XXXXXX"))
        , m_root(encodeName(m_dir.path()))
    {
        m_dir.setAutoRemove(false);
    }
    ~Scratch() { removeTree(m_root); }
    Scratch(const Scratch &) = delete;
    Scratch &operator=(const Scratch &) = delete;
    QByteArray path(const QByteArray &name) const { return m_root + '/' + name; }
    QString text(const QByteArray &name) const { return decodeName(path(name)); }
    Tree tree() const { return testing::entriesOf(m_root); }
    dev_t device() const
    {
        struct stat st;
        ::stat(m_root.constData(), &st);
        return st.st_dev;
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_root;
};

// A tmpfs mounted for one test and detached when it goes; declare it after its Scratch.
class TmpfsMount
{
public:
    TmpfsMount(const QByteArray &at, const char *options)
        : m_at(at)
    {
        ::mkdir(at.constData(), 0755);
        m_ok = ::mount("tmpfs", at.constData(), "tmpfs", 0, options) == 0;
    }
    ~TmpfsMount()
    {
        if (m_ok)
            ::umount2(m_at.constData(), MNT_DETACH);
    }
    bool ok() const { return m_ok; }

private:
    QByteArray m_at;
    bool m_ok;
};

struct Outcome
{
    int number = 0;
    QString description;
    QByteArray text() const { return QByteArray::number(number) + ' ' + description.toUtf8(); }
};

Outcome outcome(const std::function<void()> &call)
{
    try {
        call();
        return {};
    } catch (const platform::Failure &failure) {
        return {failure.number(), failure.description()};
    }
}

// Runs call in a child process whose files may not grow beyond limit bytes (a write then fails
// with EFBIG, SIGXFSZ being ignored) and returns the child's failure number.
int failureNumberUnderFileSizeLimit(const std::function<void()> &call, rlim_t limit)
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit rl
        {
            limit, limit
        };
        ::setrlimit(RLIMIT_FSIZE, &rl);
        ::_exit(outcome(call).number);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void compareAttributes(const QByteArray &original, const QByteArray &copy)
{
    struct stat a, b;
    QCOMPARE(::stat(original.constData(), &a), 0);
    QCOMPARE(::lstat(copy.constData(), &b), 0);
    QCOMPARE(b.st_mode, a.st_mode);
    QCOMPARE(b.st_mtim.tv_sec, a.st_mtim.tv_sec);
    QCOMPARE(b.st_mtim.tv_nsec, a.st_mtim.tv_nsec);
}

// size bytes that differ from one run of 4 KiB to the next, so a misplaced chunk shows.
QByteArray patterned(qsizetype size, char seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype k = 0; k < size; ++k)
        bytes[k] = char(seed + k / 4096 + k % 251);
    return bytes;
}

// A 1 GiB file holding a few KiB of data, at its start, in its middle and, unless it ends in a
// hole, at its end.
void writeSparse(const QByteArray &path, bool endsInHole)
{
    const off_t size = off_t(1) << 30;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY2(fd >= 0, path.constData());
    const QByteArray data = patterned(4096, 'a');
    QCOMPARE(::pwrite(fd, data.constData(), 4096, 0), 4096);
    QCOMPARE(::pwrite(fd, data.constData(), 3000, size / 2 + 12345), 3000);
    QCOMPARE(::pwrite(fd, data.constData(), 2048, endsInHole ? size / 4 : size - 2048), 2048);
    QCOMPARE(::ftruncate(fd, size), 0);
    ::close(fd);
}

// Whether two files hold the same bytes. Only the ranges where either has data are read: both
// read as zeros everywhere else.
bool sameContents(const QByteArray &a, const QByteArray &b)
{
    const int fa = ::open(a.constData(), O_RDONLY), fb = ::open(b.constData(), O_RDONLY);
    struct stat sa, sb;
    bool same = ::fstat(fa, &sa) == 0 && ::fstat(fb, &sb) == 0 && sa.st_size == sb.st_size;
    const auto dataFrom = [&](int fd, off_t at) {
        const off_t data = ::lseek(fd, at, SEEK_DATA);
        return data < 0 ? sa.st_size : data;
    };
    std::vector<char> x(1 << 20), y(1 << 20);
    for (off_t at = 0; same && at < sa.st_size;) {
        at = std::min(dataFrom(fa, at), dataFrom(fb, at));
        const off_t end = std::max(::lseek(fa, at, SEEK_HOLE), ::lseek(fb, at, SEEK_HOLE));
        for (; same && at < end; at += off_t(x.size())) {
            const ssize_t n = ::pread(fa, x.data(), x.size(), at);
            same = n >= 0 && ::pread(fb, y.data(), y.size(), at) == n
                && std::memcmp(x.data(), y.data(), size_t(n)) == 0;
        }
    }
    ::close(fa);
    ::close(fb);
    return same;
}

// The test's call state for a copy on this thread: onReport gets every progress report with
// its number (1 for the first).
class Progress
{
public:
    using Report = std::function<void(platform::CallState &, int report, qint64, qint64)>;
    explicit Progress(Report onReport)
        : m_scope(&m_state)
    {
        m_state.onProgress = [this, onReport](qint64 done, qint64 total) {
            onReport(m_state, ++m_reports, done, total);
        };
    }

private:
    platform::CallState m_state;
    platform::CallScope m_scope;
    int m_reports = 0;
};

// The three points of a copy at which a test acts: after the first chunk, half-way, and after
// the last chunk (all data copied, nothing published yet).
bool reached(const QString &point, int reports, qint64 done, qint64 total)
{
    if (point == "first chunk")
        return reports == 1;
    if (point == "middle")
        return done >= total / 2 && done < total;
    return done == total;
}

uid_t nobodyUid()
{
    const struct passwd *user = ::getpwnam("nobody");
    return user ? user->pw_uid : uid_t(65534);
}

gid_t nogroupGid()
{
    const struct group *group = ::getgrnam("nogroup");
    return group ? group->gr_gid : gid_t(65534);
}

// The child process of copyAsNobody: copies argv[2] to argv[3], replacing, and exits with the
// failure's number (0 on success), its description on stderr.
int runCopyChild(char **argv)
{
    try {
        changes::copyFile(decodeName(argv[2]), decodeName(argv[3]), true);
        return 0;
    } catch (const platform::Failure &failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return failure.number() & 0xFF;
    }
}

} // namespace

class TestFileChanges : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sameFileRefused_data();
    void sameFileRefused();
    void copyDestination_data();
    void copyDestination();
    void copySource_data();
    void copySource();
    void move_data();
    void move();
    void moveAcrossFileSystems_data();
    void moveAcrossFileSystems();
    void diskFull_data();
    void diskFull();
    void missingSource_data();
    void missingSource();
    void oddNames_data();
    void oddNames();
    void deleteFile_data();
    void deleteFile();
    void caseOnlyRename();
    void sparseFileKeepsItsHoles_data();
    void sparseFileKeepsItsHoles();
    void sourceChangedDuringCopy_data();
    void sourceChangedDuringCopy();
    void interruptedCopyLeavesNothing_data();
    void interruptedCopyLeavesNothing();
    void copyAsNobody_data();
    void copyAsNobody();
};

void TestFileChanges::sameFileRefused_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("layout");
    for (const char *operation : {"copy", "copy overwriting", "move"}) {
        for (const char *layout : {"double slash", "identical path", "hard link",
                 "hard link in other case", "destination symlink", "source symlink"})
            QTest::addRow("%s, %s", operation, layout) << operation << layout;
    }
}

void TestFileChanges::sameFileRefused()
{
    QFETCH(QString, operation);
    QFETCH(QString, layout);
    Scratch s;
    writeFile(s.path("a"), "precious bytes");
    QString source = s.text("a");
    QString destination = source;
    if (layout == "double slash")
        destination = '/' + source;
    else if (layout == "hard link" || layout == "hard link in other case")
        destination = s.text(layout == "hard link" ? "b" : "A");
    else if (layout == "destination symlink")
        destination = s.text("b");
    else if (layout == "source symlink")
        source = s.text("b");
    if (layout.startsWith("hard link"))
        QCOMPARE(::link(s.path("a").constData(), encodeName(destination).constData()), 0);
    if (layout.endsWith("symlink"))
        QCOMPARE(::symlink("a", s.path("b").constData()), 0);
    const Tree before = s.tree();

    const Outcome result = outcome([&] {
        if (operation == "move")
            changes::moveFile(source, destination);
        else
            changes::copyFile(source, destination, operation == "copy overwriting");
    });
    QVERIFY2(result.number == EEXIST, result.text());
    QVERIFY2(result.description.contains("the same file"), result.text());
    QCOMPARE(s.tree(), before);
}

void TestFileChanges::copyDestination_data()
{
    QTest::addColumn<QString>("existing");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<int>("expected");
    const auto row = [](const char *name, QString existing, QString destination, bool overwrite,
                         int expected) {
        QTest::newRow(name) << existing << destination << overwrite << expected;
    };
    row("new name", "", "dst", false, 0);
    row("new name, overwriting", "", "dst", true, 0);
    row("longer file replaced, its mode kept", "file", "dst", true, 0);
    row("another owner's file replaced, owner and mode kept", "nobody's file", "dst", true, 0);
    row("existing refused", "file", "dst", false, EEXIST);
    row("read-only", "read-only", "dst", true, EACCES);
    row("folder", "folder", "dst", true, EISDIR);
    row("folder with slash", "folder", "dst/", true, EISDIR);
    row("link to another file", "link", "dst", true, ELOOP);
    row("dangling link", "dangling", "dst", true, ELOOP);
    row("missing folder", "", "nowhere/dst", true, ENOENT);
}

void TestFileChanges::copyDestination()
{
    QFETCH(QString, existing);
    QFETCH(QString, destination);
    QFETCH(bool, overwrite);
    QFETCH(int, expected);
    Scratch s;
    writeFile(s.path("src"), "new bytes", 0640);
    setOldTimes(s.path("src"));
    writeFile(s.path("other"), "another file's bytes");
    if (existing == "nobody's file" && ::geteuid() != 0)
        QSKIP("giving a file to nobody needs root");
    if (existing.endsWith("file") || existing == "read-only")
        writeFile(
            s.path("dst"), "old and much longer bytes", existing == "read-only" ? 0444 : 0666);
    if (existing == "nobody's file") {
        QCOMPARE(::chown(s.path("dst").constData(), nobodyUid(), nogroupGid()), 0);
        QCOMPARE(::chmod(s.path("dst").constData(), 0604), 0);
    }
    struct stat old
    { };
    ::stat(s.path("dst").constData(), &old);
    if (existing == "folder")
        QCOMPARE(::mkdir(s.path("dst").constData(), 0755), 0);
    else if (existing == "link" || existing == "dangling")
        QCOMPARE(::symlink(existing == "link" ? "other" : "ghost", s.path("dst").constData()), 0);
    Tree after = s.tree();

    const Outcome result = outcome(
        [&] { changes::copyFile(s.text("src"), s.text(destination.toUtf8()), overwrite); });
    QVERIFY2(result.number == expected, result.text());
    if (expected == 0) {
        after.insert("dst", "file:new bytes");
        struct stat copy;
        QCOMPARE(::stat(s.path("dst").constData(), &copy), 0);
        if (existing.isEmpty()) {
            compareAttributes(s.path("src"), s.path("dst"));
        } else { // the file that was there keeps its owner, group and mode; the time is the new one
            QCOMPARE(copy.st_mode, old.st_mode);
            QCOMPARE(copy.st_uid, old.st_uid);
            QCOMPARE(copy.st_gid, old.st_gid);
            QCOMPARE(copy.st_mtim.tv_nsec, 987654321);
        }
    }
    QCOMPARE(s.tree(), after);
}

void TestFileChanges::copySource_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("expected");
    QTest::newRow("link to a file") << "link" << 0;
    QTest::newRow("folder") << "folder" << EISDIR;
    QTest::newRow("fifo") << "fifo" << EINVAL;
    QTest::newRow("endless device") << "device" << EINVAL;
    QTest::newRow("endless file of size 0") << "pagemap" << EFBIG;
    QTest::newRow("dangling link") << "dangling" << ENOENT;
}

void TestFileChanges::copySource()
{
    QFETCH(QString, kind);
    QFETCH(int, expected);
    Scratch s;
    writeFile(s.path("target"), "linked bytes", 0600);
    const QByteArray src = s.path("src");
    if (kind == "link" || kind == "dangling")
        QCOMPARE(::symlink(kind == "link" ? "target" : "ghost", src.constData()), 0);
    else if (kind == "folder")
        QCOMPARE(::mkdir(src.constData(), 0755), 0);
    else if (kind == "fifo")
        QCOMPARE(::mkfifo(src.constData(), 0644), 0);
    const QString source = kind == "device" ? QStringLiteral("/dev/zero")
        : kind == "pagemap"                 ? QStringLiteral("/proc/self/pagemap")
                                            : s.text("src");
    Tree after = s.tree();

    const Outcome result = outcome([&] { changes::copyFile(source, s.text("dst"), true); });
    QVERIFY2(result.number == expected, result.text());
    if (expected == 0) {
        after.insert("dst", "file:linked bytes");
        compareAttributes(s.path("target"), s.path("dst"));
    }
    QCOMPARE(s.tree(), after);
}

void TestFileChanges::move_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("existing");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("landsAt");
    QTest::addColumn<int>("expected");
    const auto row = [](const char *name, QString kind, QString existing, QString destination,
                         QString landsAt, int expected) {
        QTest::newRow(name) << kind << existing << destination << landsAt << expected;
    };
    row("new name", "file", "", "dst", "dst", 0);
    row("folder with slash", "file", "", "sub/", "sub/src", 0);
    row("symlink moved as link", "link", "", "dst", "dst", 0);
    row("existing file", "file", "file", "dst", "", EEXIST);
    row("existing folder", "file", "folder", "dst", "", EEXIST);
    row("existing dangling link", "file", "dangling", "dst", "", EEXIST);
    row("existing in folder with slash", "file", "file", "sub/", "", EEXIST);
    row("folder source", "folder", "", "dst", "", EISDIR);
    row("missing folder", "file", "", "nowhere/dst", "", ENOENT);
}

void TestFileChanges::move()
{
    QFETCH(QString, kind);
    QFETCH(QString, existing);
    QFETCH(QString, destination);
    QFETCH(QString, landsAt);
    QFETCH(int, expected);
    Scratch s;
    writeFile(s.path("target"), "target bytes");
    QCOMPARE(::mkdir(s.path("sub").constData(), 0755), 0);
    if (kind == "file")
        writeFile(s.path("src"), "moving bytes");
    else if (kind == "link")
        QCOMPARE(::symlink("target", s.path("src").constData()), 0);
    else
        QCOMPARE(::mkdir(s.path("src").constData(), 0755), 0);
    const QByteArray taken
        = (destination.endsWith('/') ? destination + "src" : destination).toUtf8();
    if (existing == "file")
        writeFile(s.path(taken), "old bytes");
    else if (existing == "folder")
        QCOMPARE(::mkdir(s.path(taken).constData(), 0755), 0);
    else if (existing == "dangling")
        QCOMPARE(::symlink("ghost", s.path(taken).constData()), 0);
    Tree after = s.tree();

    const Outcome result
        = outcome([&] { changes::moveFile(s.text("src"), s.text(destination.toUtf8())); });
    QVERIFY2(result.number == expected, result.text());
    if (expected == 0)
        after.insert(landsAt.toUtf8(), after.take("src"));
    QCOMPARE(s.tree(), after);
}

void TestFileChanges::moveAcrossFileSystems_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("landsAt");
    QTest::addColumn<int>("expected");
    const auto row
        = [](const char *name, QString kind, QString destination, QString landsAt, int expected) {
              QTest::newRow(name) << kind << destination << landsAt << expected;
          };
    row("file", "file", "moved", "moved", 0);
    row("file into folder with slash", "file", "", "src", 0);
    row("read-only file", "read-only", "moved", "moved", 0);
    row("symlink", "link", "moved", "moved", 0);
    row("existing destination", "file", "taken", "", EEXIST);
}

void TestFileChanges::moveAcrossFileSystems()
{
    QFETCH(QString, kind);
    QFETCH(QString, destination);
    QFETCH(QString, landsAt);
    QFETCH(int, expected);
    Scratch local;
    Scratch shm(QStringLiteral("/dev/shm"));
    if (local.device() == shm.device())
        QSKIP("the build folder and /dev/shm are on the same file system");
    QByteArray bytes;
    for (int i = 0; i < 100000; ++i)
        bytes += QByteArray::number(i) + '\n';
    if (kind == "link") {
        QCOMPARE(::symlink("../somewhere/else", local.path("src").constData()), 0);
    } else {
        writeFile(local.path("src"), bytes, kind == "file" ? 0640 : 0444);
        setOldTimes(local.path("src"));
    }
    writeFile(shm.path("taken"), "old bytes");
    struct stat original;
    QCOMPARE(::lstat(local.path("src").constData(), &original), 0);
    Tree localAfter = local.tree();
    Tree shmAfter = shm.tree();

    const Outcome result
        = outcome([&] { changes::moveFile(local.text("src"), shm.text(destination.toUtf8())); });
    QVERIFY2(result.number == expected, result.text());
    if (expected == 0) {
        shmAfter.insert(landsAt.toUtf8(), localAfter.take("src"));
        struct stat moved;
        QCOMPARE(::lstat(shm.path(landsAt.toUtf8()).constData(), &moved), 0);
        QCOMPARE(moved.st_mode, original.st_mode);
        if (kind != "link") {
            QCOMPARE(moved.st_mtim.tv_sec, original.st_mtim.tv_sec);
            QCOMPARE(moved.st_mtim.tv_nsec, original.st_mtim.tv_nsec);
        }
    }
    QCOMPARE(local.tree(), localAfter);
    QCOMPARE(shm.tree(), shmAfter);
}

void TestFileChanges::diskFull_data()
{
    QTest::addColumn<bool>("smallDisk"); // else a file size limit
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("expected");
    for (const char *operation : {"copy to a new name", "copy over a file"}) {
        QTest::addRow("small disk, %s", operation) << true << operation << ENOSPC;
        QTest::addRow("file size limit, %s", operation) << false << operation << EFBIG;
    }
    QTest::newRow("small disk, move across file systems")
        << true << QStringLiteral("move across file systems") << ENOSPC;
}

void TestFileChanges::diskFull()
{
    QFETCH(bool, smallDisk);
    QFETCH(QString, operation);
    QFETCH(int, expected);
    Scratch s;
    std::optional<TmpfsMount> disk;
    if (smallDisk) {
        disk.emplace(s.path("dst"), "size=1m");
        if (!disk->ok())
            QSKIP("mounting a small tmpfs is not permitted here");
    } else {
        QCOMPARE(::mkdir(s.path("dst").constData(), 0755), 0);
    }
    writeFile(s.path("src"), QByteArray(2 << 20, 'x'));
    writeFile(s.path("dst/old"), "old bytes");
    const QByteArray destination = operation == "copy over a file" ? "dst/old" : "dst/new";
    const Tree before = s.tree();

    const auto call = [&] {
        if (operation.startsWith("move"))
            changes::moveFile(s.text("src"), s.text(destination));
        else
            changes::copyFile(s.text("src"), s.text(destination), true);
    };
    const int number
        = smallDisk ? outcome(call).number : failureNumberUnderFileSizeLimit(call, 1 << 20);
    QCOMPARE(number, expected);
    QCOMPARE(s.tree(), before);
}

void TestFileChanges::missingSource_data()
{
    QTest::addColumn<QString>("operation");
    for (const char *operation : {"copy", "move", "delete"})
        QTest::newRow(operation) << operation;
}

void TestFileChanges::missingSource()
{
    QFETCH(QString, operation);
    Scratch s;
    writeFile(s.path("other"), "bystander");
    const Tree before = s.tree();
    const Outcome result = outcome([&] {
        if (operation == "copy")
            changes::copyFile(s.text("gone"), s.text("dst"), true);
        else if (operation == "move")
            changes::moveFile(s.text("gone"), s.text("dst"));
        else
            changes::deleteFile(s.text("gone"), true);
    });
    QVERIFY2(result.number == ENOENT, result.text());
    QVERIFY2(result.description.contains(s.text("gone")), result.text());
    QVERIFY2(result.description.contains("does not exist"), result.text());
    QCOMPARE(s.tree(), before);
}

void TestFileChanges::oddNames_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArrayList>("bystanders");
    QTest::addColumn<QString>("operation");
    const struct
    {
        const char *row;
        QByteArray name;
        QByteArrayList bystanders;
    } names[] = {
        {"not UTF-8", "caf\xe9.txt", {"caf\xc3\xa9.txt", "caf.txt"}},
        {"newline", "a\nb", {"a", "b"}},
        {"leading dash", "-rf", {"rf"}},
        {"shell metacharacters", "$(touch pwned); x", {"x"}},
        {"spaces", " two  spaces ", {"two", "spaces"}},
    };
    for (const auto &entry : names) {
        for (const char *operation : {"copy", "move", "delete"})
            QTest::addRow("%s, %s", entry.row, operation)
                << entry.name << entry.bystanders << operation;
    }
}

void TestFileChanges::oddNames()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArrayList, bystanders);
    QFETCH(QString, operation);
    Scratch s;
    writeFile(s.path(name), "the file's bytes");
    for (const QByteArray &bystander : bystanders)
        writeFile(s.path(bystander), "bystander " + bystander);
    Tree after = s.tree();

    const Outcome result = outcome([&] {
        if (operation == "copy")
            changes::copyFile(s.text(name), s.text(name + ".copy"), false);
        else if (operation == "move")
            changes::moveFile(s.text(name), s.text("moved " + name));
        else
            changes::deleteFile(s.text(name), false);
    });
    QVERIFY2(result.number == 0, result.text());
    if (operation == "copy")
        after.insert(name + ".copy", after.value(name));
    else if (operation == "move")
        after.insert("moved " + name, after.take(name));
    else
        after.remove(name);
    QCOMPARE(s.tree(), after);
    QVERIFY(!QFileInfo::exists(QStringLiteral("pwned")));
}

void TestFileChanges::deleteFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("force");
    QTest::addColumn<int>("expected");
    QTest::newRow("file") << "file" << false << 0;
    QTest::newRow("read-only file refused") << "read-only" << false << EACCES;
    QTest::newRow("read-only file forced") << "read-only" << true << 0;
    QTest::newRow("symlink, target stays") << "link" << false << 0;
    QTest::newRow("symlink to a read-only file") << "link to read-only" << false << 0;
    QTest::newRow("folder") << "folder" << true << EISDIR;
    QTest::newRow("fifo") << "fifo" << false << 0;
}

void TestFileChanges::deleteFile()
{
    QFETCH(QString, kind);
    QFETCH(bool, force);
    QFETCH(int, expected);
    Scratch s;
    writeFile(s.path("target"), "target bytes", kind == "link to read-only" ? 0444 : 0644);
    const QByteArray victim = s.path("victim");
    if (kind == "file" || kind == "read-only")
        writeFile(victim, "victim bytes", kind == "file" ? 0644 : 0444);
    else if (kind.startsWith("link"))
        QCOMPARE(::symlink("target", victim.constData()), 0);
    else if (kind == "folder")
        QCOMPARE(::mkdir(victim.constData(), 0755), 0);
    else
        QCOMPARE(::mkfifo(victim.constData(), 0644), 0);
    Tree after = s.tree();

    const Outcome result = outcome([&] { changes::deleteFile(s.text("victim"), force); });
    QVERIFY2(result.number == expected, result.text());
    if (expected == 0)
        after.remove("victim");
    QCOMPARE(s.tree(), after);
}

void TestFileChanges::caseOnlyRename()
{
    Scratch s;
    TmpfsMount disk(s.path("ci"), "casefold,size=1m");
    if (!disk.ok())
        QSKIP("no case-insensitive file system here: tmpfs refuses the casefold option");
    QCOMPARE(::mkdir(s.path("ci/folder").constData(), 0755), 0);
    const int folder = ::open(s.path("ci/folder").constData(), O_RDONLY | O_DIRECTORY);
    // FS_IOC_GETFLAGS and FS_IOC_SETFLAGS with FS_CASEFOLD_FL, spelled out because <linux/fs.h>
    // clashes with <sys/mount.h>.
    int flags = 0;
    bool caseFolded = ::ioctl(folder, _IOR('f', 1, long), &flags) == 0;
    flags |= 0x40000000;
    caseFolded = caseFolded && ::ioctl(folder, _IOW('f', 2, long), &flags) == 0;
    ::close(folder);
    if (!caseFolded)
        QSKIP("this tmpfs cannot make a folder case-insensitive");
    writeFile(s.path("ci/folder/Name.txt"), "bytes");

    const Outcome result = outcome(
        [&] { changes::moveFile(s.text("ci/folder/Name.txt"), s.text("ci/folder/NAME.TXT")); });
    QVERIFY2(result.number == 0, result.text());
    QCOMPARE(s.tree(),
        (Tree {{"ci", "folder"}, {"ci/folder", "folder"}, {"ci/folder/NAME.TXT", "file:bytes"}}));
}

void TestFileChanges::sparseFileKeepsItsHoles_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<bool>("endsInHole");
    QTest::newRow("copy, data at the end") << "copy" << false;
    QTest::newRow("copy, hole at the end") << "copy" << true;
    QTest::newRow("copy over a file") << "copy over" << true;
    QTest::newRow("move across file systems") << "move" << true;
}

// A 1 GiB file with a few KiB of data is copied as what it is: the copy takes about the data's
// room on disk, and reads the same.
void TestFileChanges::sparseFileKeepsItsHoles()
{
    QFETCH(QString, operation);
    QFETCH(bool, endsInHole);
    Scratch s;
    Scratch shm(QStringLiteral("/dev/shm"));
    if (operation == "move" && s.device() == shm.device())
        QSKIP("the build folder and /dev/shm are on the same file system");
    writeSparse(s.path("src"), endsInHole);
    writeSparse(s.path("expected"), endsInHole);
    if (operation == "copy over")
        writeFile(s.path("dst"), "old bytes");
    const QByteArray copy = operation == "move" ? shm.path("dst") : s.path("dst");
    const Outcome result = outcome([&] {
        if (operation == "move")
            changes::moveFile(s.text("src"), shm.text("dst"));
        else
            changes::copyFile(s.text("src"), decodeName(copy), operation == "copy over");
    });
    QVERIFY2(result.number == 0, result.text());
    struct stat st;
    QCOMPARE(::stat(copy.constData(), &st), 0);
    QCOMPARE(st.st_size, off_t(1) << 30);
    QVERIFY2(st.st_blocks * 512 <= 1 << 20, qPrintable(QString::number(st.st_blocks)));
    QVERIFY(sameContents(copy, s.path("expected")));
}

void TestFileChanges::sourceChangedDuringCopy_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("change");
    for (const char *operation : {"copy", "move across file systems"}) {
        for (const char *change : {"cut short", "grown", "rewritten in place"})
            QTest::addRow("%s, %s", operation, change) << operation << change;
    }
}

// Another program changing the source after the first chunk makes the copy fail instead of
// publishing a torn file; the old destination stays and nothing is left behind.
void TestFileChanges::sourceChangedDuringCopy()
{
    QFETCH(QString, operation);
    QFETCH(QString, change);
    Scratch s;
    Scratch shm(QStringLiteral("/dev/shm"));
    const bool across = operation.startsWith("move");
    if (across && s.device() == shm.device())
        QSKIP("the build folder and /dev/shm are on the same file system");
    writeFile(s.path("src"), patterned(8 << 20, 'x'));
    setOldTimes(s.path("src"));
    writeFile(s.path("dst"), "old bytes");
    Tree after = s.tree();
    const Tree shmBefore = shm.tree();
    const QByteArray changed = change == "grown" ? patterned(9 << 20, 'x')
        : change == "cut short"                  ? patterned(3 << 20, 'x')
                                                 : patterned(8 << 20, 'y');
    after.insert("src", "file:" + changed);

    Outcome result;
    {
        Progress progress([&](platform::CallState &, int report, qint64, qint64) {
            if (report != 1)
                return;
            const int fd = ::open(s.path("src").constData(), O_WRONLY);
            if (change == "cut short")
                QCOMPARE(::ftruncate(fd, 3 << 20), 0);
            else if (change == "grown")
                QCOMPARE(::pwrite(fd, changed.constData() + (8 << 20), 1 << 20, 8 << 20), 1 << 20);
            else
                QCOMPARE(::pwrite(fd, changed.constData(), 8 << 20, 0), 8 << 20);
            ::close(fd);
        });
        result = outcome([&] {
            if (across)
                changes::moveFile(s.text("src"), shm.text("dst"));
            else
                changes::copyFile(s.text("src"), s.text("dst"), true);
        });
    }
    QVERIFY2(result.number == EAGAIN, result.text());
    QVERIFY2(
        result.description.contains("the source changed while it was being copied"), result.text());
    QCOMPARE(s.tree(), after);
    QCOMPARE(shm.tree(), shmBefore);
}

void TestFileChanges::interruptedCopyLeavesNothing_data()
{
    QTest::addColumn<bool>("kill"); // else cancel
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("point");
    for (const char *how : {"cancelled", "killed"}) {
        for (const char *operation : {"copy to a new name", "copy over a file", "move across"}) {
            for (const char *point : {"first chunk", "middle", "last chunk"})
                QTest::addRow("%s, %s, %s", how, operation, point)
                    << (how[0] == 'k') << operation << point;
        }
    }
}

// A copy cancelled at any point fails with ECANCELED; one killed at any point (SIGKILL) just
// ends. Either way the destination's folder holds nothing but the old file, untouched, and the
// source is where it was.
void TestFileChanges::interruptedCopyLeavesNothing()
{
    QFETCH(bool, kill);
    QFETCH(QString, operation);
    QFETCH(QString, point);
    Scratch s;
    Scratch shm(QStringLiteral("/dev/shm"));
    const bool across = operation.startsWith("move");
    if (across && s.device() == shm.device())
        QSKIP("the build folder and /dev/shm are on the same file system");
    writeFile(s.path("src"), patterned(8 << 20, 'c'));
    writeFile(s.path("old"), "old bytes");
    const Tree before = s.tree();
    const Tree shmBefore = shm.tree();
    const auto call = [&] {
        return outcome([&] {
            if (across)
                changes::moveFile(s.text("src"), shm.text("moved"));
            else
                changes::copyFile(
                    s.text("src"), s.text(operation == "copy over a file" ? "old" : "new"), true);
        });
    };

    if (!kill) {
        int reportsAfterCancel = 0;
        Progress progress([&](platform::CallState &state, int report, qint64 done, qint64 total) {
            QCOMPARE(total, qint64(8 << 20));
            reportsAfterCancel += state.cancelRequested();
            if (!state.cancelRequested() && reached(point, report, done, total))
                state.requestCancel();
        });
        const Outcome result = call();
        // Every chunk looks for Cancel: the copy stops at the next one at the latest.
        QVERIFY2(reportsAfterCancel <= 1, qPrintable(QString::number(reportsAfterCancel)));
        QVERIFY2(result.number == ECANCELED, result.text());
        QVERIFY2(result.description.endsWith(
                     across ? "cancelled; nothing was moved" : "cancelled; nothing was copied"),
            result.text());
    } else {
        // The child reports its progress through a pipe and stops at the point, where the
        // parent kills it.
        int pipe[2];
        QCOMPARE(::pipe(pipe), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(pipe[0]);
            Progress progress([&](platform::CallState &, int report, qint64 done, qint64 total) {
                const bool stop = reached(point, report, done, total);
                const char mark = stop ? 'S' : '.';
                [[maybe_unused]] const ssize_t written = ::write(pipe[1], &mark, 1);
                while (stop)
                    ::pause();
            });
            call();
            ::_exit(0);
        }
        ::close(pipe[1]);
        char mark = 0;
        while (mark != 'S' && ::read(pipe[0], &mark, 1) == 1) { }
        ::close(pipe[0]);
        ::kill(child, SIGKILL);
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY2(mark == 'S', "the copy ran to its end without reaching the point");
    }
    QCOMPARE(s.tree(), before);
    QCOMPARE(shm.tree(), shmBefore);
}

void TestFileChanges::copyAsNobody_data()
{
    QTest::addColumn<QString>("destination");
    QTest::addColumn<mode_t>("folderMode");
    QTest::addColumn<bool>("existing");
    QTest::newRow("into a write-only folder (drop box)") << "box/dst" << mode_t(0733) << false;
    QTest::newRow("over root's file: its mode kept, the owner cannot be")
        << "open/dst" << mode_t(0777) << true;
}

// Runs the copy as nobody (this program again, with --copy), as root passes every permission
// check.
void TestFileChanges::copyAsNobody()
{
    QFETCH(QString, destination);
    QFETCH(mode_t, folderMode);
    QFETCH(bool, existing);
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (::geteuid() != 0 || setpriv.isEmpty())
        QSKIP("running a copy as nobody needs root and setpriv");
    Scratch s;
    QCOMPARE(::chmod(s.path("").constData(), 0755), 0);
    const QByteArray folder
        = s.path(destination.toUtf8()).left(s.path(destination.toUtf8()).lastIndexOf('/'));
    QCOMPARE(::mkdir(folder.constData(), 0755), 0);
    QCOMPARE(::chmod(folder.constData(), folderMode), 0);
    writeFile(s.path("src"), "dropped bytes", 0644);
    if (existing)
        writeFile(s.path(destination.toUtf8()), "old bytes", 0666);
    Tree after = s.tree();
    after.insert(destination.toUtf8(), "file:dropped bytes");

    QProcess child;
    child.start(setpriv,
        {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
            QStringLiteral("--clear-groups"), QCoreApplication::applicationFilePath(),
            QStringLiteral("--copy"), s.text("src"), s.text(destination.toUtf8())});
    QVERIFY(child.waitForFinished(60000));
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
        child.readAllStandardError().constData());
    QCOMPARE(s.tree(), after);
    struct stat copy;
    QCOMPARE(::stat(s.path(destination.toUtf8()).constData(), &copy), 0);
    QCOMPARE(copy.st_uid, nobodyUid());
    QCOMPARE(copy.st_mode & 07777, existing ? mode_t(0666) : mode_t(0644));
}

int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--copy") == 0)
        return runCopyChild(argv);
    QCoreApplication application(argc, argv);
    TestFileChanges test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_filechanges.moc"
