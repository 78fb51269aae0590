// The View menu's four arrangements of the file list, and ordering by a click on a column header:
// sizes by bytes, dates by time, names in the collation; the key kept across reloads.

#include "app/Form1.h"
#include "app/Forms.h"
#include "filelist/CellText.h"
#include "platform/NameCodec.h"
#include "windowsupport.h"

#include <QAccessible>
#include <QDateTime>
#include <QHeaderView>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QToolTip>
#include <QTreeView>

#include <algorithm>
#include <climits>
#include <ctime>
#include <memory>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Sample
{
    const char *name;
    int bytes;
    QDate modified;
};

// Sizes and dates whose texts order differently from their values, and names that order
// differently by code point than by the collation.
const Sample samples[] = {
    {"apple.txt", 100, QDate(2023, 12, 20)},
    {"file1.txt", 10 * 1024, QDate(2024, 1, 5)},
    {"File2.txt", 1024 * 1024, QDate(2023, 2, 10)},
    {"file10.txt", 2 * 1024, QDate(2022, 11, 30)},
};

const QStringList byName = {u"apple.txt"_qs, u"file1.txt"_qs, u"File2.txt"_qs, u"file10.txt"_qs};
const QStringList byBytes = {u"apple.txt"_qs, u"file10.txt"_qs, u"file1.txt"_qs, u"File2.txt"_qs};
const QStringList byTime = {u"file10.txt"_qs, u"File2.txt"_qs, u"apple.txt"_qs, u"file1.txt"_qs};
const QStringList byCreation
    = {u"file1.txt"_qs, u"file10.txt"_qs, u"apple.txt"_qs, u"File2.txt"_qs};

const Sample &sampleNamed(const QString &name)
{
    return *std::find_if(std::begin(samples), std::end(samples),
        [&](const Sample &sample) { return name == QLatin1String(sample.name); });
}

void setModified(const QByteArray &path, QDate day)
{
    const qint64 seconds = QDateTime(day, QTime(12, 0), Qt::UTC).toSecsSinceEpoch();
    const struct timespec times[2] = {{time_t(seconds), 0}, {time_t(seconds), 0}};
    QCOMPARE(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);
}

// Birth time in nanoseconds, or the lowest value where the file system keeps none.
qint64 birthTime(const QByteArray &path)
{
    struct statx status
    { };
    if (::statx(AT_FDCWD, path.constData(), 0, STATX_BTIME, &status) != 0
        || !(status.stx_mask & STATX_BTIME)
        || (status.stx_btime.tv_sec == 0 && status.stx_btime.tv_nsec == 0))
        return LLONG_MIN;
    return qint64(status.stx_btime.tv_sec) * 1'000'000'000 + status.stx_btime.tv_nsec;
}

// The clock that stamps new files, in nanoseconds.
qint64 coarseNow()
{
    struct timespec now
    { };
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

} // namespace

class ViewsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A fresh folder holding the samples and a subfolder, shown in the main window.
    void init()
    {
        m_scene.emplace();
        for (const Sample &sample : samples) {
            testing::writeFile(m_scene->path(sample.name), QByteArray(sample.bytes, 'x'));
            setModified(m_scene->path(sample.name), sample.modified);
        }
        testing::makeFolder(m_scene->path("sub"));
        m_scene->start();
    }
    void cleanup() { m_scene.reset(); }

    void viewItem_data();
    void viewItem();
    void headerClickOrders_data();
    void headerClickOrders();
    void columnClickOverflow_data();
    void columnClickOverflow();
    void sortKeySurvivesFolderChangeAndReload();
    void cellsFit_data();
    void cellsFit();
    void viewsAskForTheRowsOnScreenOnly_data();
    void viewsAskForTheRowsOnScreenOnly();
    void userWidthKeptAndCutCellsTipped();
    void selectionAcrossReload();
    void typedLettersPickAFile_data();
    void typedLettersPickAFile();

private:
    filelist::ListView &list() const { return *m_scene->form->ListView1; }
    QString cell(const QString &name, int column) const
    {
        return m_scene->model().cellText(m_scene->model().rowOfName(name), column);
    }
    // A real click on the row in whichever arrangement is shown.
    void clickRow(const QString &name) { QVERIFY2(m_scene->clickFile(name), qPrintable(name)); }
    void clickHeader(int section);
    static QString tipAt(QAbstractItemView *view, const QModelIndex &index);

    std::optional<testing::MainWindowScene> m_scene;
};

// The tooltip a pause over the middle of the index's cell shows, if any.
QString ViewsTest::tipAt(QAbstractItemView *view, const QModelIndex &index)
{
    const QPoint at = view->visualRect(index).center();
    QHelpEvent help(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(view->viewport(), &help);
    const QString tip = QToolTip::isVisible() ? QToolTip::text() : QString();
    QToolTip::hideText();
    return tip;
}

// A real click in the middle of the header section.
void ViewsTest::clickHeader(int section)
{
    QHeaderView *header = list().reportView()->header();
    QVERIFY(header->isVisible());
    const QPoint middle(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
        header->height() / 2);
    QVERIFY(header->viewport()->rect().contains(middle));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, middle);
}

void ViewsTest::viewItem_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("flow"); // -1: the report
    QTest::addColumn<bool>("icons");
    QTest::newRow("Report") << u"Report"_qs << 3 << -1 << false;
    QTest::newRow("Icon") << u"Icon"_qs << 0 << int(filelist::GridView::LeftToRight) << true;
    QTest::newRow("Small Icons") << u"Small"_qs << 1 << int(filelist::GridView::LeftToRight)
                                 << false;
    QTest::newRow("List") << u"listit"_qs << 2 << int(filelist::GridView::TopToBottom) << false;
    QTest::newRow("F5, keeping the report") << u"F5"_qs << 3 << -1 << false;
}

// Each item sets its arrangement and reads the folder again, even when it is already shown, and
// F5 reads it again as they do; the selected file, its path, the buttons and the status line
// stay as they were.
void ViewsTest::viewItem()
{
    QFETCH(QString, item);
    QFETCH(int, value);
    QFETCH(int, flow);
    QFETCH(bool, icons);
    testing::MainWindowScene &scene = *m_scene;
    app::Form1 &form = *scene.form;
    QAction *action = form.findChild<QAction *>(item);
    QVERIFY(action || item == u"F5"_qs);
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    // Come from another arrangement.
    (item == u"Report"_qs ? form.listit : form.Report)->trigger();
    clickRow(u"file1.txt"_qs);
    const QString filePath = form.lblFilePath->caption();
    QCOMPARE(filePath, scene.text("file1.txt"));
    form.lblmessege->setCaption(u"status"_qs);
    const QString pathBox = form.txtpath->text();

    for (const QByteArray late : {"late1.txt", "late2.txt"}) {
        testing::writeFile(scene.path(late), "late");
        QSignalSpy reloads(&scene.model(), &QAbstractItemModel::modelReset);
        if (action)
            action->trigger();
        else
            QTest::keyClick(list().currentView(), Qt::Key_F5);
        QCOMPARE(reloads.count(), 1);
        QVERIFY(scene.model().rowOfName(QString::fromLatin1(late)) >= 0);

        QCOMPARE(list().View(), value);
        auto *report = list().reportView();
        filelist::GridView *arranged = list().arrangedView();
        if (flow < 0) {
            QVERIFY(report->isVisible());
            QVERIFY(!arranged->isVisible());
            QVERIFY(!report->isHeaderHidden());
        } else {
            QVERIFY(arranged->isVisible());
            QVERIFY(!report->isVisible());
            QCOMPARE(int(arranged->arrangement().flow), flow);
            QCOMPARE(arranged->arrangement().icons, icons);
            // Assistive technology meets one item per file, named as shown, and nothing of the
            // hidden columns.
            QAccessibleInterface *files = QAccessible::queryAccessibleInterface(arranged);
            QStringList names;
            for (int k = 0; k < files->childCount(); ++k)
                names.push_back(files->child(k)->text(QAccessible::Name));
            QCOMPARE(names, scene.shownNames());
        }
        QCOMPARE(list().currentView()->isVisible(), true);

        QVERIFY(scene.messages.failures.empty());
        QCOMPARE(testing::enabledFileButtons(form), testing::allFileButtons);
        QCOMPARE(form.lblFilePath->caption(), filePath);
        QCOMPARE(form.lblmessege->caption(), u"status"_qs);
        QCOMPARE(form.txtpath->text(), pathBox);
        QVERIFY(list().hasSelectedItem());
        QCOMPARE(list().SelectedItemText(), u"file1.txt"_qs);
    }
    if (flow < 0)
        return;
    // Whichever name comes last, every item has its cell: a name that fits shows whole, a longer
    // one is cut and tipped, and no item reaches into the next.
    const QString longName = u"zz, a name longer than any cell of the list can show"_qs;
    for (const QString &last : {u"z"_qs, longName}) {
        testing::writeFile(scene.path(last.toLatin1()), "x");
        action->trigger();
        QStringList tipped;
        for (int row = 0; row < scene.model().rowCount(); ++row) {
            const QModelIndex index = scene.model().index(row, 0);
            const QModelIndex next = scene.model().index(row + 1, 0);
            QVERIFY(!list().arrangedView()->visualRect(index).intersects(
                list().arrangedView()->visualRect(next)));
            if (!tipAt(list().arrangedView(), index).isEmpty())
                tipped.push_back(scene.model().itemText(row));
        }
        QCOMPARE(tipped, last == longName ? QStringList {longName} : QStringList());
    }
}

void ViewsTest::headerClickOrders_data()
{
    QTest::addColumn<int>("section");
    QTest::addColumn<QStringList>("expected"); // empty: by birth time, made for the case
    QTest::addColumn<bool>("byKey"); // Ctrl and the header's position instead of a click
    QTest::newRow("Filename: file1 before File2 before file10") << 0 << byName << false;
    QTest::newRow("Size: by bytes, not by text") << 2 << byBytes << false;
    QTest::newRow("Modified: by time across months and years") << 3 << byTime << false;
    QTest::newRow("Created: by birth time") << 4 << QStringList() << false;
    QTest::newRow("Ctrl+1: Filename") << 0 << byName << true;
    QTest::newRow("Ctrl+3: Size") << 2 << byBytes << true;
    QTest::newRow("Ctrl+4: Modified") << 3 << byTime << true;
}

// A click on a header, or Ctrl with its position pressed anywhere in the window, makes its column
// the key and re-orders the rows at once; a second one changes nothing. The shown texts stay as
// written.
void ViewsTest::headerClickOrders()
{
    QFETCH(int, section);
    QFETCH(QStringList, expected);
    QFETCH(bool, byKey);
    testing::MainWindowScene &scene = *m_scene;
    if (expected.isEmpty()) {
        // Make the files again one by one, each after the clock has moved past the one before,
        // so that birth times differ where the file system keeps them.
        for (const QString &name : byCreation) {
            const QByteArray path = scene.path(name.toUtf8());
            const Sample &sample = sampleNamed(name);
            QCOMPARE(::unlink(path.constData()), 0);
            testing::writeFile(path, QByteArray(sample.bytes, 'x'));
            setModified(path, sample.modified);
            const qint64 born = birthTime(path);
            QTRY_VERIFY(coarseNow() > born);
        }
        scene.form->Report->trigger();
        // Where no birth time is kept every Created text is empty and the names decide.
        expected = birthTime(scene.path("file1.txt")) == LLONG_MIN ? byName : byCreation;
    }
    // Start from another key, so that the click has something to change.
    clickHeader(section == 2 ? 3 : 2);
    QVERIFY(list().SortKey() != section);
    scene.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(scene.form));
    for (int click = 0; click < 2; ++click) {
        if (byKey)
            QTest::keyClick(scene.form->txtpath, Qt::Key(Qt::Key_1 + section), Qt::ControlModifier);
        else
            clickHeader(section);
        QCOMPARE(int(list().SortKey()), section);
        QCOMPARE(scene.shownNames(), expected);
    }
    QVERIFY(scene.messages.failures.empty());
    // Ordering leaves the shown texts as they were.
    QCOMPARE(cell(u"File2.txt"_qs, 2), u"1,024.00KB"_qs);
}

void ViewsTest::columnClickOverflow_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("fits");
    QTest::newRow("32768, the largest key") << 32768 << true;
    QTest::newRow("32769, one past the largest") << 32769 << false;
    QTest::newRow("-32767, the smallest key") << -32767 << true;
    QTest::newRow("INT_MIN, overflowing the subtraction") << INT_MIN << false;
}

// The header position minus one must fit a 16-bit key; one that does not is a failure report,
// and the key and the order stay as they were.
void ViewsTest::columnClickOverflow()
{
    QFETCH(int, index);
    QFETCH(bool, fits);
    testing::MainWindowScene &scene = *m_scene;
    clickHeader(2);
    QCOMPARE(list().SortKey(), qint16(2));

    Q_EMIT list().ColumnClick(index);

    if (fits) {
        QVERIFY(scene.messages.failures.empty());
        QCOMPARE(int(list().SortKey()), index - 1);
        return;
    }
    QCOMPARE(scene.messages.failures.size(), size_t(1));
    QCOMPARE(scene.messages.failures[0].number(), EOVERFLOW);
    QCOMPARE(list().SortKey(), qint16(2));
    QCOMPARE(scene.shownNames(), byBytes);
    QVERIFY(scene.form->isVisible());
}

// The key is the list's own: a folder change, a reload and files added later keep to it.
void ViewsTest::sortKeySurvivesFolderChangeAndReload()
{
    testing::MainWindowScene &scene = *m_scene;
    for (const auto &[name, bytes] : {std::pair {"a.dat", 3000}, {"b.dat", 1000}, {"c.dat", 2000}})
        testing::writeFile(scene.path("sub/") + name, QByteArray(bytes, 'x'));
    clickHeader(2);

    widgets::FolderTree *tree = scene.form->Dir1;
    tree->openRow(tree->rowForPath(scene.text("sub")));
    QCOMPARE(tree->Path(), scene.text("sub"));
    QCOMPARE(list().SortKey(), qint16(2));
    QCOMPARE(scene.shownNames(), QStringList({u"b.dat"_qs, u"c.dat"_qs, u"a.dat"_qs}));

    testing::writeFile(scene.path("sub/d.dat"), QByteArray(1500, 'x'));
    scene.form->Report->trigger();
    QCOMPARE(list().SortKey(), qint16(2));
    QCOMPARE(scene.shownNames(), QStringList({u"b.dat"_qs, u"d.dat"_qs, u"c.dat"_qs, u"a.dat"_qs}));

    tree->openRow(tree->rowForPath(scene.text()));
    QCOMPARE(scene.shownNames(), byBytes);
    QVERIFY(scene.messages.failures.empty());
}

// After a reload the row of the same name is selected again, wherever it now stands; when the
// file is gone, none is, and the file buttons go off with it.
void ViewsTest::selectionAcrossReload()
{
    testing::MainWindowScene &scene = *m_scene;
    clickRow(u"file1.txt"_qs);
    QCOMPARE(list().selectedRow(), 1);

    testing::writeFile(scene.path("aaa.txt"), "first");
    scene.form->Report->trigger();
    QCOMPARE(list().selectedRow(), 2);
    QCOMPARE(list().SelectedItemText(), u"file1.txt"_qs);
    QCOMPARE(testing::enabledFileButtons(*scene.form), testing::allFileButtons);

    // Sorted by size, the row is found while the folder is read; sorted again, it moves on.
    clickHeader(2);
    scene.form->Report->trigger();
    QCOMPARE(list().selectedRow(), 3);
    clickHeader(0);
    QCOMPARE(list().selectedRow(), 2);
    QCOMPARE(scene.model().rowOfName(u"file1.txt"_qs), 2);

    QCOMPARE(::unlink(scene.path("file1.txt").constData()), 0);
    scene.form->Report->trigger();
    QVERIFY(!list().hasSelectedItem());
    QCOMPARE(testing::enabledFileButtons(*scene.form), QStringList());
    QVERIFY(scene.messages.failures.empty());
}

void ViewsTest::cellsFit_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<int>("column");
    QTest::addColumn<qint64>("bytes"); // the size shown, or none for the file's cell
    QTest::newRow("Size of a 2 GiB file") << "en_US" << 2 << qint64(0);
    QTest::newRow("Size of the largest file") << "en_US" << 2 << std::numeric_limits<qint64>::max();
    QTest::newRow("Size of the largest file, Indian grouping")
        << "en_IN" << 2 << std::numeric_limits<qint64>::max();
    QTest::newRow("Modified on a two-digit day at a long hour, Albanian")
        << "sq_AL" << 3 << qint64(0);
}

// A column whose written width cannot show its widest text in the font and locale is widened to
// show it at the first listing.
void ViewsTest::cellsFit()
{
    QFETCH(QString, locale);
    QFETCH(int, column);
    QFETCH(qint64, bytes);
    testing::MainWindowScene &scene = *m_scene;
    testing::unloadAllForms();
    QLocale::setDefault(QLocale(locale));
    // Sparse: 2 GiB that take no room on the disk.
    const QByteArray big = scene.path("big.img");
    const int fd = ::open(big.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::ftruncate(fd, off_t(2) << 30), 0);
    ::close(fd);
    const qint64 seconds = QDateTime(QDate(2023, 12, 28), QTime(22, 58)).toSecsSinceEpoch();
    const struct timespec times[2] = {{time_t(seconds), 0}, {time_t(seconds), 0}};
    QCOMPARE(::utimensat(AT_FDCWD, big.constData(), times, 0), 0);
    scene.start();

    const QString text = bytes ? filelist::sizeText(bytes) : cell(u"big.img"_qs, column);
    auto *view = list().reportView();
    const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    QVERIFY2(view->fontMetrics().horizontalAdvance(text) + 2 * margin
            <= view->header()->sectionSize(column),
        qPrintable(text));
}

// A width the user sets is kept through reloads. A cell that it cuts shows its whole text as a
// tooltip; one shown whole shows none.
void ViewsTest::userWidthKeptAndCutCellsTipped()
{
    auto *view = list().reportView();
    view->header()->resizeSection(2, 40); // as a drag of the header's edge does
    m_scene->form->Report->trigger();
    QCOMPARE(view->header()->sectionSize(2), 40);

    const auto tipOf = [&](const QString &name, int column) {
        return tipAt(view, m_scene->model().index(m_scene->model().rowOfName(name), column));
    };
    QCOMPARE(tipOf(u"File2.txt"_qs, 0), QString());
    QCOMPARE(tipOf(u"File2.txt"_qs, 2), u"1,024.00KB"_qs);
    QToolTip::hideText();
}

void ViewsTest::viewsAskForTheRowsOnScreenOnly_data()
{
    QTest::addColumn<int>("view");
    QTest::newRow("Report") << int(filelist::ListView::Report);
    QTest::newRow("Icon") << int(filelist::ListView::LargeIcons);
    QTest::newRow("Small Icons") << int(filelist::ListView::SmallIcons);
    QTest::newRow("List") << int(filelist::ListView::List);
}

// A million rows cost each view what the rows on screen cost: showing them, going to the last and
// a new list while they are shown ask the model about those rows alone.
void ViewsTest::viewsAskForTheRowsOnScreenOnly()
{
    QFETCH(int, view);
    struct Rows : QAbstractTableModel
    {
        mutable int asked = 0;
        int rowCount(const QModelIndex &parent) const override
        {
            return parent.isValid() ? 0 : 1'000'000;
        }
        int columnCount(const QModelIndex &) const override { return 5; }
        QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override
        {
            ++asked;
            return QAbstractTableModel::index(row, column, parent);
        }
        QVariant data(const QModelIndex &index, int role) const override
        {
            ++asked;
            return role == Qt::DisplayRole ? QVariant(index.row()) : QVariant();
        }
        Qt::ItemFlags flags(const QModelIndex &index) const override
        {
            ++asked;
            return QAbstractTableModel::flags(index);
        }
        void renew()
        {
            beginResetModel();
            endResetModel();
        }
    } rows;
    filelist::ListView list;
    list.setView(view);
    QAbstractItemView *shown = list.currentView();
    shown->setModel(&rows);
    list.resize(600, 400);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    const QModelIndex last = rows.index(999'999, 0);
    shown->setCurrentIndex(last);
    list.grab();
    QCOMPARE(shown->indexAt(shown->visualRect(last).center()), last);
    rows.renew();
    list.grab();
    QVERIFY2(rows.asked < 5000, qPrintable(QString::number(rows.asked)));
}

QTEST_MAIN(ViewsTest)
#include "tst_views.moc"

void ViewsTest::typedLettersPickAFile_data()
{
    QTest::addColumn<QByteArray>("added"); // a file added to the samples
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("picked"); // empty: none
    QTest::newRow("capitals typed, small letters in the name")
        << QByteArray() << "FILE1" << QByteArray("file1.txt");
    QTest::newRow("a bracket typed picks no brace") << QByteArray("{b}.txt") << "[" << QByteArray();
    const QByteArray eclair = QString(u"\u00c9clair.txt"_qs).toUtf8();
    QTest::newRow("an accented letter typed, its capital in the name")
        << eclair << u"\u00e9c"_qs << eclair;
    QTest::newRow("a byte that is not UTF-8 typed as the mark it shows as")
        << QByteArray("\xff.txt") << u"\ufffd"_qs << QByteArray("\xff.txt");
}

// Typing a name's first letters picks the first file whose name, as shown, starts with them in
// any case.
void ViewsTest::typedLettersPickAFile()
{
    QFETCH(QByteArray, added);
    QFETCH(QString, typed);
    QFETCH(QByteArray, picked);
    testing::MainWindowScene &scene = *m_scene;
    if (!added.isEmpty()) {
        testing::writeFile(scene.path(added), "x");
        scene.form->Report->trigger();
    }
    for (const QChar letter : typed)
        QTest::sendKeyEvent(QTest::Click, list().currentView(), Qt::Key_unknown, letter, {});
    QCOMPARE(list().hasSelectedItem(), !picked.isEmpty());
    if (!picked.isEmpty())
        QCOMPARE(list().SelectedItemText(), platform::decodeName(picked));
}
