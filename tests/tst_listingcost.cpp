// What listing a folder costs, counted rather than timed: the system calls it makes per entry
// (traced with strace on a child copy of this program) and the MIME database questions it asks.

#include "windowsupport.h"

#include "filelist/ListView.h"
#include "filelist/LoadFileList.h"
#include "platform/Failure.h"
#include "platform/NameCodec.h"
#include "platform/TypeCatalog.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The child marks the phases of its work with access() calls on paths that do not exist, so
// that the trace can be cut into the calls each phase made.
constexpr char markerPrefix[] = "/tolvan-listingcost-marker/";

void mark(const char *phase)
{
    const QByteArray path = QByteArray(markerPrefix) + phase;
    [[maybe_unused]] const int ignored = ::access(path.constData(), F_OK);
}

// The child: lists folder into a list control and builds every cell's text, as a view showing
// every row would. Prints the number of rows.
int runProbe(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    filelist::ListView list;
    try {
        mark("listing");
        filelist::loadFileList(list, platform::decodeName(QByteArrayView(argv[2])));
        mark("texts");
        const filelist::FileListModel &model = list.model();
        qsizetype characters = 0;
        for (int row = 0; row < model.rowCount(); ++row) {
            for (int column = 0; column < model.columnCount(); ++column)
                characters += model.cellText(row, column).size();
        }
        mark("end");
        std::printf("rows=%d characters=%lld\n", model.rowCount(), qlonglong(characters));
        return 0;
    } catch (const platform::Failure &failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return 3;
    }
}

// One traced call on a path: the system call's name and the path's last component.
struct TracedCall
{
    QString syscall;
    QString path;
    QString phase; // the last marker seen before it ("" before the first)
};

// What a traced run of the probe gave: the calls made after its first marker and the number
// of rows it listed. skipped says why nothing was traced where strace cannot run here.
struct Trace
{
    std::vector<TracedCall> calls;
    int rows = -1;
    QString skipped;
    QString failed;
};

// Runs the probe on folder under strace (file system calls only, TZ unset).
Trace traceListing(const QString &folder)
{
    Trace trace;
    const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    if (strace.isEmpty()) {
        trace.skipped = QStringLiteral("strace is not installed");
        return trace;
    }
    const QString log = folder + QStringLiteral(".trace");
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("TZ"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(environment);
    child.start(strace,
        {QStringLiteral("-f"), QStringLiteral("-s"), QStringLiteral("4096"), QStringLiteral("-e"),
            QStringLiteral("trace=%file"), QStringLiteral("-o"), log,
            QCoreApplication::applicationFilePath(), QStringLiteral("--probe"), folder});
    const bool finished = child.waitForFinished(120000);
    const QString errors = QString::fromLocal8Bit(child.readAllStandardError());
    if (errors.contains(QLatin1String("ptrace"))
        && errors.contains(QLatin1String("not permitted"))) {
        trace.skipped = QStringLiteral("strace may not trace here: ") + errors.trimmed();
        return trace;
    }
    if (!finished || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
        trace.failed = QStringLiteral("the traced listing failed: ") + errors.trimmed();
        return trace;
    }
    const QRegularExpressionMatch count
        = QRegularExpression(QStringLiteral("rows=(\\d+)"))
              .match(QString::fromLatin1(child.readAllStandardOutput()));
    trace.rows = count.hasMatch() ? count.captured(1).toInt() : -1;

    QFile file(log);
    if (!file.open(QIODevice::ReadOnly)) {
        trace.failed = QStringLiteral("no trace was written");
        return trace;
    }
    // "1234 statx(3, \"name\", ...) = 0": the call's name and its first quoted argument.
    static const QRegularExpression line(
        QStringLiteral("^(?:\\d+\\s+)?(\\w+)\\([^\"]*\"((?:[^\"\\\\]|\\\\.)*)\""));
    QString phase;
    bool started = false;
    while (!file.atEnd()) {
        const QString text = QString::fromUtf8(file.readLine());
        const QRegularExpressionMatch match = line.match(text);
        if (!match.hasMatch())
            continue;
        const QString path = match.captured(2);
        if (path.startsWith(QLatin1String(markerPrefix))) {
            phase = path.mid(qsizetype(std::strlen(markerPrefix)));
            started = true;
            continue;
        }
        if (started)
            trace.calls.push_back({match.captured(1), path.section(QLatin1Char('/'), -1), phase});
    }
    if (!started)
        trace.failed = QStringLiteral("the trace holds none of the probe's marks");
    return trace;
}

} // namespace

class TestListingCost : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void oneStatxPerEntry_data();
    void oneStatxPerEntry();
    void timeZoneNotReadPerRow();
    void mimeDatabaseAskedOncePerSuffix_data();
    void mimeDatabaseAskedOncePerSuffix();

private:
    QString makeFolder(int files, const QStringList &suffixes);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestListingCost::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    if (QStandardPaths::findExecutable(QStringLiteral("strace")).isEmpty())
        qWarning("strace is not installed: the traced checks will be skipped");
}

void TestListingCost::init()
{
    m_dir = std::make_unique<QTemporaryDir>(QDir::currentPath() + QStringLiteral("/cost-XXXXXX"));
    QVERIFY(m_dir->isValid());
}

void TestListingCost::cleanup()
{
    m_dir.reset();
}

// A folder of files whose names cycle through suffixes (an empty suffix: no dot at all), so
// that consecutive rows rarely share one.
QString TestListingCost::makeFolder(int files, const QStringList &suffixes)
{
    const QString folder = m_dir->path() + QStringLiteral("/folder");
    if (!QDir().mkpath(folder))
        return {};
    for (int k = 0; k < files; ++k) {
        const QString &suffix = suffixes[k % suffixes.size()];
        QString name = QStringLiteral("Item (%1) draft").arg(k);
        if (!suffix.isEmpty())
            name += QLatin1Char('.') + suffix;
        testing::writeFile(testing::bytesOf(folder + QLatin1Char('/') + name), "data");
    }
    return folder;
}

void TestListingCost::oneStatxPerEntry_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<bool>("oddEntries");
    QTest::newRow("plain files") << 300 << false;
    QTest::newRow("enough files for the reading to be shared") << 9000 << false;
    QTest::newRow("with subfolders, symlinks and a fifo") << 200 << true;
}

// Listing stats each entry once with statx (a subfolder the folder reports as one needs none),
// and opens none of them: a FIFO must never be opened, and the type comes from the name.
void TestListingCost::oneStatxPerEntry()
{
    QFETCH(int, files);
    QFETCH(bool, oddEntries);
    const QString folder = makeFolder(files,
        {QStringLiteral("txt"), QStringLiteral("pdf"), QStringLiteral("png"), QStringLiteral(""),
            QStringLiteral("q7zz")});
    QVERIFY(!folder.isEmpty());
    QStringList folders;
    int listed = files;
    if (oddEntries) {
        const QByteArray base = testing::bytesOf(folder) + '/';
        for (int k = 0; k < 3; ++k) {
            folders << QStringLiteral("sub %1").arg(k);
            QCOMPARE(::mkdir(base + "sub " + QByteArray::number(k), 0755), 0);
        }
        QCOMPARE(::symlink("Item (1) draft.pdf", base + "link to file.pdf"), 0);
        QCOMPARE(::symlink("sub 0", base + "link to folder"), 0);
        QCOMPARE(::mkfifo(base + "pipe.txt", 0644), 0);
        listed += 2; // the symlink to a file and the FIFO; the link to a folder is a folder
    }
    const QStringList entries = QDir(folder).entryList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);

    const Trace trace = traceListing(folder);
    if (!trace.skipped.isEmpty())
        QSKIP(qPrintable(trace.skipped));
    QVERIFY2(trace.failed.isEmpty(), qPrintable(trace.failed));
    QCOMPARE(trace.rows, listed);

    QHash<QString, int> statxCalls;
    QStringList otherCalls;
    for (const TracedCall &call : trace.calls) {
        if (!entries.contains(call.path))
            continue;
        if (call.syscall == QLatin1String("statx"))
            ++statxCalls[call.path];
        else
            otherCalls << call.syscall + QLatin1Char(' ') + call.path;
    }
    for (const QString &entry : entries) {
        if (folders.contains(entry))
            QVERIFY2(statxCalls.value(entry) <= 1, qPrintable(entry));
        else
            QVERIFY2(statxCalls.value(entry) == 1,
                qPrintable(entry + QStringLiteral(": %1 statx").arg(statxCalls.value(entry))));
    }
    QVERIFY2(otherCalls.isEmpty(), qPrintable(otherCalls.join(QLatin1String(", "))));
}

// With TZ unset, the C library looks at /etc/localtime whenever a conversion asks it to check the
// zone again (QDateTime's local time does, every time). Listing and building every row's date
// texts may read it a few times (the MIME database's loading does), but not once per row.
void TestListingCost::timeZoneNotReadPerRow()
{
    const int files = 400;
    const QString folder = makeFolder(files, {QStringLiteral("txt"), QStringLiteral("")});
    QVERIFY(!folder.isEmpty());
    const Trace trace = traceListing(folder);
    if (!trace.skipped.isEmpty())
        QSKIP(qPrintable(trace.skipped));
    QVERIFY2(trace.failed.isEmpty(), qPrintable(trace.failed));
    QCOMPARE(trace.rows, files);
    int zoneReads = 0;
    bool textsBuilt = false;
    for (const TracedCall &call : trace.calls) {
        textsBuilt = textsBuilt || call.phase == QLatin1String("end");
        if (call.path == QLatin1String("localtime") && call.phase != QLatin1String("end"))
            ++zoneReads;
    }
    QVERIFY(textsBuilt);
    QVERIFY2(zoneReads <= 10,
        qPrintable(QStringLiteral("%1 reads for %2 rows").arg(zoneReads).arg(files)));
}

void TestListingCost::mimeDatabaseAskedOncePerSuffix_data()
{
    // Suffixes made for this run, so that no earlier listing in this process has asked for them.
    const QString tag = QStringLiteral("r%1").arg(QRandomGenerator::global()->bounded(1000000));
    QTest::addColumn<QStringList>("suffixes");
    QTest::addColumn<int>("distinct");
    QTest::newRow("known and unknown") << QStringList {QStringLiteral("html"),
        QStringLiteral("mp3"), tag + QStringLiteral("a"), tag + QStringLiteral("b"),
        QStringLiteral("")} << 4;
    QTest::newRow("letter case and several dots") << QStringList {tag + QStringLiteral("c"),
        tag.toUpper() + QStringLiteral("C"), QStringLiteral("tar.") + tag + QStringLiteral("d"),
        tag + QStringLiteral("d")} << 3;
}

// However many rows share a suffix, the MIME database is asked about it once, and building the
// rows' texts asks nothing more.
void TestListingCost::mimeDatabaseAskedOncePerSuffix()
{
    QFETCH(QStringList, suffixes);
    QFETCH(int, distinct);
    const QString folder = makeFolder(250, suffixes);
    QVERIFY(!folder.isEmpty());
    auto &catalog = platform::TypeCatalog::instance();
    const int before = catalog.lookups();
    filelist::ListView list;
    try {
        filelist::loadFileList(list, folder);
        for (int row = 0; row < list.model().rowCount(); ++row)
            list.model().cellText(row, 1);
        filelist::loadFileList(list, folder);
    } catch (const platform::Failure &failure) {
        QFAIL(failure.what());
    }
    QCOMPARE(list.model().rowCount(), 250);
    QCOMPARE(catalog.lookups() - before, distinct);
}

int main(int argc, char **argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--probe") == 0)
        return runProbe(argc, argv);
    QApplication application(argc, argv);
    TestListingCost test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_listingcost.moc"
