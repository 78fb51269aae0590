#include "platform/FileChanges.h"

#include "platform/Failure.h"
#include "platform/NameCodec.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstring>
#include <functional>
#include <optional>

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using platform::decodeName;
using platform::encodeName;
namespace changes = platform::changes;

namespace {

QByteArray readAll(const QByteArray &path)
{
    QByteArray bytes;
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK);
    char buffer[65536];
    for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, n);
    ::close(fd);
    return bytes;
}

void writeFile(const QByteArray &path, const QByteArray &bytes, mode_t mode = 0644)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    QVERIFY2(fd >= 0, path.constData());
    QCOMPARE(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size());
    QCOMPARE(::fchmod(fd, mode), 0);
    ::close(fd);
}

// A modification time with nanoseconds, far from "now", so keeping it is never an accident.
void setOldTimes(const QByteArray &path)
{
    const struct timespec times[2] = {{981173045, 123456789}, {981173045, 987654321}};
    QCOMPARE(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);
}

// Every entry under a folder by relative raw name: "file:" + bytes, "link:" + target, "folder"
// or "other". Comparing two trees shows whatever appeared, vanished or changed.
using Tree = QMap<QByteArray, QByteArray>;

void collect(Tree &tree, const QByteArray &root, const QByteArray &prefix)
{
    DIR *dir = ::opendir((root + prefix).constData());
    while (dirent *entry = dir ? ::readdir(dir) : nullptr) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        const QByteArray name = prefix + entry->d_name;
        struct stat st;
        ::lstat((root + name).constData(), &st);
        if (S_ISDIR(st.st_mode)) {
            tree.insert(name, "folder");
            collect(tree, root, name + '/');
        } else if (S_ISLNK(st.st_mode)) {
            char target[4096];
            const ssize_t n = ::readlink((root + name).constData(), target, sizeof target);
            tree.insert(name, "link:" + QByteArray(target, n));
        } else {
            tree.insert(name, S_ISREG(st.st_mode) ? "file:" + readAll(root + name) : "other");
        }
    }
    if (dir)
        ::closedir(dir);
}

// Removes a tree by raw names (QDir skips names that are not UTF-8).
void removeTree(const QByteArray &path)
{
    if (DIR *dir = ::opendir(path.constData())) {
        while (dirent *entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                removeTree(path + '/' + entry->d_name);
        }
        ::closedir(dir);
        ::rmdir(path.constData());
    } else {
        ::unlink(path.constData());
    }
}

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
    Tree tree() const
    {
        Tree tree;
        collect(tree, m_root + '/', {});
        return tree;
    }
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
    row("longer file replaced", "file", "dst", true, 0);
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
    if (existing == "file" || existing == "read-only")
        writeFile(s.path("dst"), "old and much longer bytes", existing == "file" ? 0666 : 0444);
    else if (existing == "folder")
        QCOMPARE(::mkdir(s.path("dst").constData(), 0755), 0);
    else if (!existing.isEmpty())
        QCOMPARE(::symlink(existing == "link" ? "other" : "ghost", s.path("dst").constData()), 0);
    Tree after = s.tree();

    const Outcome result = outcome(
        [&] { changes::copyFile(s.text("src"), s.text(destination.toUtf8()), overwrite); });
    QVERIFY2(result.number == expected, result.text());
    if (expected == 0) {
        after.insert("dst", "file:new bytes");
        compareAttributes(s.path("src"), s.path("dst"));
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
    const QString source = kind == "device" ? QStringLiteral("/dev/zero") : s.text("src");
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

QTEST_GUILESS_MAIN(TestFileChanges)
#include "tst_filechanges.moc"
