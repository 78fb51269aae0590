// Listing a folder into the file list: which entries get a row, the five column texts, and what
// the list holds when the folder cannot be read.

#include "filelist/CellText.h"
#include "filelist/FolderReader.h"
#include "filelist/ListView.h"
#include "filelist/LoadFileList.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "platform/LongCall.h"
#include "platform/NameCodec.h"
#include "platform/TypeCatalog.h"
#include "widgets/ProgressBox.h"
#include "windowsupport.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <optional>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using filelist::FileListModel;

namespace {

const QStringList headers = {"Filename", "Type", "Size", "Modified", "Created"};

QStringList headerTexts(const FileListModel &model)
{
    QStringList texts;
    for (int column = 0; column < model.columnCount(); ++column)
        texts << model.headerData(column, Qt::Horizontal).toString();
    return texts;
}

QStringList rowNames(const FileListModel &model)
{
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row)
        names << model.itemText(row);
    names.sort();
    return names;
}

// Lists path into list, turning a failure into a test failure.
void load(filelist::ListView &list, const QString &path)
{
    try {
        filelist::loadFileList(list, path);
    } catch (const platform::Failure &failure) {
        QFAIL(qPrintable(failure.description()));
    }
}

// Looks at "1 unlookable" fail with this errno, or wait while it is -1: the statx below stands in
// for the C library's in the whole test program.
std::atomic<int> lookFault = 0;

} // namespace

extern "C" int statx(
    int fd, const char *path, int flags, unsigned mask, struct statx *status) noexcept
{
    if (std::string_view(path) == "1 unlookable") {
        lookFault.wait(-1);
        if (lookFault > 0)
            return errno = lookFault, -1;
    }
    return int(::syscall(SYS_statx, fd, path, flags, mask, status));
}

class TestListing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void rowsAreTheFolderEntriesThatAreNotFolders_data();
    void rowsAreTheFolderEntriesThatAreNotFolders();
    void typeComesFromTheName_data();
    void typeComesFromTheName();
    void sizeText_data();
    void sizeText();
    void dateTexts_data();
    void dateTexts();
    void nonUtf8NameKeepsItsBytes();
    void rootFolderIsListed();
    void missingFolderLeavesHeadersAndNoRows_data();
    void missingFolderLeavesHeadersAndNoRows();
    void filesRemovedDuringTheListingAreSkipped();
    void sharedReadingMatchesOneThread_data();
    void sharedReadingMatchesOneThread();
    void cancelledListingShowsNoFirstRows_data();
    void cancelledListingShowsNoFirstRows();

private:
    void makeManyFiles();
    QByteArray m_root;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_many; // made once for every sort column
};

void TestListing::initTestCase()
{
    testing::useEnglishLocale();
}

void TestListing::init()
{
    m_dir
        = std::make_unique<QTemporaryDir>(QDir::currentPath() + QStringLiteral("/listing-XXXXXX"));
    QVERIFY(m_dir->isValid());
    m_root = QFile::encodeName(m_dir->path());
    lookFault = 0;
}

void TestListing::rowsAreTheFolderEntriesThatAreNotFolders_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QStringList>("links"); // "name>target"
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty folder") << QStringList() << QStringList() << QStringList()
                                  << QStringList();
    QTest::newRow("only subfolders")
        << QStringList() << QStringList {"a", ".b", "c.d"} << QStringList() << QStringList();
    QTest::newRow("dot-files, no suffix, several dots")
        << QStringList {".profile", "README", "archive.tar.gz", "a.b.c.d", "trailing."}
        << QStringList {"sub"} << QStringList()
        << QStringList {".profile", "README", "a.b.c.d", "archive.tar.gz", "trailing."};
    QTest::newRow("symlinks to a file, to a folder, dangling, looping")
        << QStringList {"target.txt"} << QStringList {"dir"}
        << QStringList {"tofile>target.txt", "todir>dir", "dangling>missing", "loop>loop"}
        << QStringList {"dangling", "loop", "target.txt", "tofile"};
}

void TestListing::rowsAreTheFolderEntriesThatAreNotFolders()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, folders);
    QFETCH(QStringList, links);
    QFETCH(QStringList, expected);
    for (const QString &name : files)
        testing::writeFile(m_root + '/' + name.toUtf8(), "x");
    for (const QString &name : folders)
        QCOMPARE(::mkdir(m_root + '/' + name.toUtf8(), 0755), 0);
    for (const QString &link : links) {
        const QStringList parts = link.split('>');
        QCOMPARE(::symlink(parts[1].toUtf8().constData(), m_root + '/' + parts[0].toUtf8()), 0);
    }

    filelist::ListView list;
    load(list, m_dir->path());
    QCOMPARE(headerTexts(list.model()), headers);
    QCOMPARE(rowNames(list.model()), expected);
}

void TestListing::typeComesFromTheName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("type");
    QTest::newRow("known suffix") << "letter.pdf"
                                  << "PDF document";
    QTest::newRow("capital suffix") << "PHOTO.JPG"
                                    << "JPEG image";
    QTest::newRow("unknown suffix") << "data.qqzx"
                                    << "QQZX File";
    QTest::newRow("no suffix") << "README"
                               << "File";
    QTest::newRow("dot-file") << ".profile"
                              << "File";
    QTest::newRow("fifo with a text suffix") << "pipe.txt"
                                             << "plain text document";
}

// The type must come from the name alone: a FIFO named like a text file is never opened.
void TestListing::typeComesFromTheName()
{
    QFETCH(QString, name);
    QFETCH(QString, type);
    const QByteArray path = m_root + '/' + name.toUtf8();
    if (name.startsWith(QLatin1String("pipe")))
        QCOMPARE(::mkfifo(path.constData(), 0644), 0);
    else
        testing::writeFile(path, "%PDF-1.4 but the content does not matter");
    filelist::ListView list;
    load(list, m_dir->path());
    QCOMPARE(list.model().rowCount(), 1);
    QCOMPARE(list.model().cellText(0, 1), type);
}

void TestListing::sizeText_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << qint64(0) << "0.00KB";
    QTest::newRow("1000") << qint64(1000) << "0.98KB";
    QTest::newRow("1536") << qint64(1536) << "1.50KB";
    QTest::newRow("1048576") << qint64(1048576) << "1,024.00KB";
    QTest::newRow("5 GiB") << (qint64(5) << 30) << "5,242,880.00KB";
}

// Sizes are made real (sparse) on disk, so the whole way from statx to the text is checked.
void TestListing::sizeText()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    const QByteArray path = m_root + "/file";
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::ftruncate(fd, bytes), 0);
    ::close(fd);
    filelist::ListView list;
    load(list, m_dir->path());
    QCOMPARE(list.model().cellText(0, 2), text);
}

void TestListing::dateTexts_data()
{
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("text");
    // Times are UTC: the test pins the time zone.
    QTest::newRow("afternoon") << qint64(1796736180) << "12/8/26 1:23 PM";
    QTest::newRow("exactly midnight") << qint64(1796688000) << "12/8/26";
    QTest::newRow("one second after midnight") << qint64(1796688001) << "12/8/26 12:00 AM";
    QTest::newRow("before 1970") << qint64(-86400 * 365 + 3600) << "1/1/69 1:00 AM";
}

void TestListing::dateTexts()
{
    QFETCH(qint64, seconds);
    QFETCH(QString, text);
    const QByteArray oldZone = qgetenv("TZ");
    qputenv("TZ", "UTC");
    tzset();
    const QByteArray path = m_root + "/dated";
    testing::writeFile(path, "x");
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    QCOMPARE(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);
    filelist::ListView list;
    load(list, m_dir->path());
    const QString modified = list.model().cellText(0, 3);
    if (oldZone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", oldZone);
    tzset();
    QCOMPARE(modified, text);
}

void TestListing::nonUtf8NameKeepsItsBytes()
{
    const QByteArray name("caf\xE9 \xFF\xFE.txt");
    testing::writeFile(m_root + '/' + name, "bytes");
    filelist::ListView list;
    load(list, m_dir->path());
    QCOMPARE(list.model().rowCount(), 1);
    const QString text = list.model().itemText(0);
    QCOMPARE(platform::encodeName(text), name);
    // Shown with visible replacement glyphs, never as nothing.
    const QString shown = list.model().data(list.model().index(0, 0)).toString();
    QCOMPARE(shown, QStringLiteral("caf\uFFFD \uFFFD\uFFFD.txt"));
    QCOMPARE(list.model().cellText(0, 2), QStringLiteral("0.00KB"));
    ::unlink(m_root + '/' + name); // QTemporaryDir cannot remove names it cannot decode
}

void TestListing::rootFolderIsListed()
{
    int expected = 0;
    DIR *stream = ::opendir("/");
    QVERIFY(stream);
    while (const struct dirent *entry = ::readdir(stream)) {
        struct stat status
        { };
        const QByteArray path = QByteArray("/") + entry->d_name;
        if (::stat(path.constData(), &status) != 0 || !S_ISDIR(status.st_mode))
            ++expected;
    }
    ::closedir(stream);
    filelist::ListView list;
    load(list, QStringLiteral("/"));
    QCOMPARE(headerTexts(list.model()), headers);
    QCOMPARE(list.model().rowCount(), expected);
}

void TestListing::missingFolderLeavesHeadersAndNoRows_data()
{
    QTest::addColumn<QString>("what");
    QTest::newRow("removed folder") << "removed";
    QTest::newRow("a file") << "file";
    QTest::newRow("empty path") << "empty";
}

void TestListing::missingFolderLeavesHeadersAndNoRows()
{
    QFETCH(QString, what);
    testing::writeFile(m_root + "/kept.txt", "x");
    filelist::ListView list;
    load(list, m_dir->path());
    QCOMPARE(list.model().rowCount(), 1);

    QString path;
    int number = 0;
    if (what == QLatin1String("removed")) {
        path = m_dir->path() + QStringLiteral("/gone");
        number = ENOENT;
    } else if (what == QLatin1String("file")) {
        path = m_dir->path() + QStringLiteral("/kept.txt");
        number = ENOTDIR;
    } else {
        number = ENOENT;
    }
    try {
        filelist::loadFileList(list, path);
        QFAIL("listing a folder that is not there succeeded");
    } catch (const platform::Failure &failure) {
        QCOMPARE(failure.number(), number);
        if (!path.isEmpty())
            QVERIFY2(failure.description().contains(path), qPrintable(failure.description()));
    }
    QCOMPARE(headerTexts(list.model()), headers);
    QCOMPARE(list.model().rowCount(), 0);
}

void TestListing::filesRemovedDuringTheListingAreSkipped()
{
    const QByteArray folder = m_root + "/busy";
    // Hard links of one file: creating thousands of inodes is slow on some disks. More than one
    // block of entries, so that the reading is shared between threads.
    testing::writeFile(m_root + "/contents", "12345");
    for (int round = 0; round < 5; ++round) {
        QCOMPARE(::mkdir(folder.constData(), 0755), 0);
        QSet<QString> created;
        for (int k = 0; k < 6000; ++k) {
            const QString name = QStringLiteral("file %1.txt").arg(k);
            created.insert(name);
            QCOMPARE(::link(m_root + "/contents", folder + '/' + name.toUtf8()), 0);
        }
        // Every second entry, in the order the folder yields them, is removed and made again
        // for as long as the listing runs.
        const QList<QByteArray> entries = [&] {
            QList<QByteArray> order;
            DIR *stream = ::opendir(folder.constData());
            while (const struct dirent *entry = ::readdir(stream)) {
                if (entry->d_name[0] != '.')
                    order << entry->d_name;
            }
            ::closedir(stream);
            return order;
        }();
        QSet<QString> kept;
        for (qsizetype k = 0; k < entries.size(); k += 2)
            kept.insert(QString::fromUtf8(entries[k]));
        std::atomic<int> state = 0; // 1: churn, 2: stop
        std::thread deleter([&] {
            while (state == 0)
                std::this_thread::yield();
            while (state == 1) {
                for (qsizetype k = 1; k < entries.size(); k += 2)
                    ::unlink(folder + '/' + entries[k]);
                for (qsizetype k = 1; k < entries.size(); k += 2)
                    ::link(m_root + "/contents", folder + '/' + entries[k]);
            }
        });
        filelist::ListView list;
        state = 1;
        QString failure;
        try {
            filelist::loadFileList(list, QString::fromUtf8(folder));
        } catch (const platform::Failure &f) {
            failure = f.description();
        }
        state = 2;
        deleter.join();
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QSet<QString> listed;
        for (int row = 0; row < list.model().rowCount(); ++row) {
            listed.insert(list.model().itemText(row));
            QCOMPARE(list.model().cellText(row, 2), QStringLiteral("0.00KB"));
        }
        QVERIFY(listed.contains(kept));
        QVERIFY(created.contains(listed));
        for (const QByteArray &name : entries)
            ::unlink(folder + '/' + name);
        QCOMPARE(::rmdir(folder.constData()), 0);
    }
}

// A folder large enough for the reading to be shared between threads, with names of every kind
// (numbers, letter case, not ASCII, not UTF-8, bidi controls), sizes and times that order
// differently from the names, and entries that get no row (folders, links to folders) or may
// fail to be looked at, the first two by name. The shared reading must give exactly the rows,
// values and order that reading one entry after another gives; and the first rows shown early
// must be the finished list's first rows, or none.
void TestListing::sharedReadingMatchesOneThread_data()
{
    QTest::addColumn<int>("sortKey");
    QTest::addColumn<int>("fault"); // of the look at "1 unlookable"
    for (int key = 0; key < 5; ++key)
        QTest::addRow("sorted by column %d", key) << key << 0;
    QTest::newRow("an entry gone when looked at") << 0 << ENOENT;
    QTest::newRow("an entry that cannot be looked at") << 0 << EIO;
    QTest::newRow("an entry that cannot be looked at, sorted by type") << 1 << EIO;
}

void TestListing::makeManyFiles()
{
    if (!m_many) {
        m_many = std::make_unique<QTemporaryDir>(
            QDir::currentPath() + QStringLiteral("/listing-many-XXXXXX"));
        QVERIFY(m_many->isValid());
    }
    const QByteArray folder = QFile::encodeName(m_many->path());
    if (QDir(m_many->path()).isEmpty()) {
        const char *const stems[] = {"file%d.txt", "File%d.TXT", "caf\xc3\xa9 %d.pdf", "raw\xff%d",
            "a\xe2\x80\xae%d.exe", "%d"};
        for (int k = 0; k < 9000; ++k) {
            const QByteArray name = QByteArray(stems[k % 6]).replace("%d", QByteArray::number(k));
            const int fd = ::open(folder + '/' + name, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            QVERIFY(fd >= 0);
            QCOMPARE(::ftruncate(fd, (k * 7919) % 100000), 0);
            const struct timespec times[2]
                = {{0, UTIME_OMIT}, {1600000000 + (k * 104729) % 100000, 0}};
            QCOMPARE(::futimens(fd, times), 0);
            ::close(fd);
        }
        QCOMPARE(::mkdir(folder + "/sub", 0755), 0);
        QCOMPARE(::symlink("sub", folder + "/0 link to sub"), 0);
        QCOMPARE(::symlink("nowhere", folder + "/dangling"), 0);
        testing::writeFile(folder + "/1 unlookable", "x");
    }
}

void TestListing::sharedReadingMatchesOneThread()
{
    QFETCH(int, sortKey);
    QFETCH(int, fault);
    makeManyFiles();
    const QString path = m_many->path();
    lookFault = fault == ENOENT ? fault : 0;

    // One entry after another, as the walk over a folder's files gives them.
    filelist::RowTable oneByOne(path);
    const platform::Folder opened = platform::FileSystemObject().GetFolder(path);
    for (const platform::File &file : opened.Files()) {
        const int row = oneByOne.add(file.NameBytes());
        oneByOne.setType(row, platform::TypeCatalog::instance().indexForName(file.NameBytes()));
        oneByOne.setSize(row, file.Size());
        oneByOne.setModified(row, file.DateLastModified());
        oneByOne.setCreated(row, file.DateCreated());
    }
    oneByOne.sortBy(sortKey, filelist::Collation());
    FileListModel expected;
    expected.show({{"Filename", 1}, {"Type", 1}, {"Size", 1}, {"Modified", 1}, {"Created", 1}},
        std::move(oneByOne));

    filelist::ListView list;
    list.model().setSortKey(sortKey);
    load(list, path);
    const FileListModel &shared = list.model();
    const filelist::Collation collation;
    QCOMPARE(shared.rowCount(), fault == ENOENT ? 9001 : 9002);
    QCOMPARE(shared.rowCount(), expected.rowCount());
    for (int row = 0; row < shared.rowCount(); ++row) {
        for (int column = 0; column < 5; ++column)
            QCOMPARE(shared.cellText(row, column), expected.cellText(row, column));
        // Rows of one type text (suffixes "txt" and "TXT") go by name.
        if (sortKey == 1 && row > 0 && shared.cellText(row, 1) == shared.cellText(row - 1, 1))
            QVERIFY(collation.compare(shared.itemText(row - 1), shared.itemText(row)) < 0);
    }

    lookFault = fault;
    std::optional<filelist::RowTable> early;
    const filelist::Listing listing = filelist::readFolder(
        path, sortKey, [&early](filelist::RowTable rows) { early = std::move(rows); });
    // The walk goes in the order the names decide and ends at an entry that cannot be looked
    // at: the first file by name, or the first of type "File", after 1,500 executables.
    QCOMPARE(int(listing.table.size()), fault != EIO ? expected.rowCount() : sortKey ? 1501 : 1);
    QCOMPARE(early.has_value(), sortKey <= 1 && (fault != EIO || sortKey == 1));
    if (early) {
        FileListModel first;
        first.show({{"Filename", 1}, {"Type", 1}, {"Size", 1}, {"Modified", 1}, {"Created", 1}},
            std::move(*early));
        QVERIFY(first.rowCount() >= 30);
        for (int row = 0; row < first.rowCount(); ++row) {
            for (int column = 0; column < 5; ++column)
                QCOMPARE(first.cellText(row, column), expected.cellText(row, column));
        }
    }
}

void TestListing::cancelledListingShowsNoFirstRows_data()
{
    QTest::addColumn<bool>("releasedAtCancel");
    QTest::newRow("the listing stops by itself") << true;
    QTest::newRow("the listing is given up, its reading ends later") << false;
}

// Cancel while the first rows are looked at: no rows show after it, neither while the listing
// stops nor when its reading ends after the list was emptied.
void TestListing::cancelledListingShowsNoFirstRows()
{
    QFETCH(bool, releasedAtCancel);
    makeManyFiles();
    filelist::ListView list;
    bool cancelled = false;
    int rowsAfterCancel = 0;
    connect(&list.model(), &QAbstractItemModel::modelReset,
        [&] { rowsAfterCancel += cancelled ? list.model().rowCount() : 0; });
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<widgets::ProgressBox *>(window);
            if (box && box->isVisible() && !std::exchange(cancelled, true)) {
                Q_EMIT box->cancelPressed();
                lookFault = releasedAtCancel ? 0 : -1;
                lookFault.notify_all();
            }
        }
    });
    poll.start(10);
    lookFault = -1;
    QVERIFY_THROWS_EXCEPTION(platform::Failure, filelist::loadFileList(list, m_many->path()));
    lookFault = 0;
    lookFault.notify_all();
    QTRY_VERIFY(!platform::workersStillRunning());
    QCoreApplication::processEvents();
    QCOMPARE(rowsAfterCancel, 0);
    QCOMPARE(list.model().rowCount(), 0);
}

QTEST_MAIN(TestListing)
#include "tst_listing.moc"
