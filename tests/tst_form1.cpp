// The main window: its controls and menus as laid out, the state after it loads, the way back
// to it, File > Close, and the guard that reports a failure and keeps the program running.

#include "app/Form1.h"
#include "app/Forms.h"
#include "app/Guard.h"
#include "app/Module1.h"
#include "fileops/Form2.h"
#include "platform/Twips.h"
#include "testsupport.h"

#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <sys/stat.h>
#include <unistd.h>

using app::Form1;
using app::Forms;

class TestForm1 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void controlsArePlacedAsLaidOut_data();
    void controlsArePlacedAsLaidOut();
    void tabOrderFollowsTheLayout();
    void windowAndMenus();
    void picturesForEachDensity_data();
    void picturesForEachDensity();
    void renameKey();
    void loadInAFolderWithoutFiles();
    void showMainWindowWithNoDialogLoaded();
    void fileButtonsSwitchTogether();
    void folderRemovedAfterTheTreeShowedIt();
    void failureWithNoWindowShownBringsTheMainWindowBack();
    void fileCloseUnloadsTheMainWindow();

private:
    Form1 &startIn(const QByteArray &folder);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<testing::CurrentFolder> m_cwd;
    std::unique_ptr<testing::ScriptedMessages> m_messages;
};

void TestForm1::initTestCase()
{
    testing::useEnglishLocale();
}

void TestForm1::init()
{
    m_dir = std::make_unique<QTemporaryDir>(QDir::currentPath() + QStringLiteral("/form1-XXXXXX"));
    QVERIFY(m_dir->isValid());
    m_messages = std::make_unique<testing::ScriptedMessages>();
}

void TestForm1::cleanup()
{
    testing::unloadAllForms();
    app::Module1::SelectedFileName.clear();
    m_cwd.reset();
    m_messages.reset();
    m_dir.reset();
}

Form1 &TestForm1::startIn(const QByteArray &folder)
{
    m_cwd = std::make_unique<testing::CurrentFolder>(folder);
    return Forms::show<Form1>();
}

void TestForm1::controlsArePlacedAsLaidOut_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("caption");
    auto row = [](const char *name, QRect twips, const char *kind, const char *caption) {
        QTest::newRow(name) << QString::fromLatin1(name) << twips << QString::fromLatin1(kind)
                            << QString::fromLatin1(caption);
    };
    row("txtpath", {3120, 0, 10335, 405}, "QLineEdit", "");
    row("Dir1", {0, 360, 3015, 7965}, "app::FolderTree", "");
    row("Drive1", {0, 0, 3015, 315}, "app::DriveSelector", "");
    row("ListView1", {3120, 480, 10335, 5895}, "filelist::ListView", "");
    row("lblFilePath", {3120, 6600, 6735, 615}, "app::Caption", "");
    row("cmdopen", {11160, 6600, 1095, 375}, "QPushButton", "Open");
    row("picBin", {12480, 6600, 1020, 1395}, "app::BinPicture", "");
    row("cmdrename", {11160, 7080, 1095, 375}, "QPushButton", "Rename");
    row("cmdMove", {9960, 6600, 1095, 375}, "QPushButton", "Move");
    row("lblmessege", {3000, 7320, 6855, 255}, "app::Caption", "");
    row("cmdCopy", {9960, 7080, 1095, 375}, "QPushButton", "Copy");
}

void TestForm1::controlsArePlacedAsLaidOut()
{
    QFETCH(QString, name);
    QFETCH(QRect, twips);
    QFETCH(QString, kind);
    QFETCH(QString, caption);
    Form1 &form = startIn(QFile::encodeName(m_dir->path()));
    auto *control = form.centralWidget()->findChild<QWidget *>(name, Qt::FindDirectChildrenOnly);
    QVERIFY(control);
    QCOMPARE(QString::fromLatin1(control->metaObject()->className()), kind);
    const QRect pixels(platform::twipsToPixels(twips.x()), platform::twipsToPixels(twips.y()),
        platform::twipsToPixels(twips.width()), platform::twipsToPixels(twips.height()));
    QCOMPARE(control->geometry(), pixels);
    if (auto *button = qobject_cast<QPushButton *>(control))
        QCOMPARE(button->text(), caption);
}

void TestForm1::tabOrderFollowsTheLayout()
{
    Form1 &form = startIn(QFile::encodeName(m_dir->path()));
    const QList<QWidget *> expected = {form.txtpath, form.Dir1, form.Drive1, form.ListView1,
        form.cmdopen, form.cmdrename, form.cmdMove, form.cmdCopy};
    // Walk the focus chain from the path box and keep the controls in the table.
    QList<QWidget *> seen;
    QWidget *widget = form.txtpath;
    for (int steps = 0; steps < 200 && seen.size() < expected.size(); ++steps) {
        if (expected.contains(widget) && !seen.contains(widget))
            seen.push_back(widget);
        widget = widget->nextInFocusChain();
    }
    QCOMPARE(seen, expected);
}

void TestForm1::windowAndMenus()
{
    Form1 &form = startIn(QFile::encodeName(m_dir->path()));
    QCOMPARE(form.windowTitle(), QStringLiteral("Tolvan File Explorer"));
    QCOMPARE(form.centralWidget()->size(), QSize(920, 538));
    QCOMPARE(form.minimumSize(), form.maximumSize()); // not resizable

    const QList<QAction *> bar = form.menuBar()->actions();
    QCOMPARE(bar.size(), 2);
    QCOMPARE(bar[0]->menu(), form.File);
    QCOMPARE(bar[1]->menu(), form.View);
    // Every menu and item has a mnemonic (its first letter), distinct within its menu.
    auto captions = [](const QList<QAction *> &actions) {
        QStringList texts;
        QList<QKeySequence> keys;
        for (QAction *action : actions) {
            const QString name
                = action->menu() ? action->menu()->objectName() : action->objectName();
            texts << name + QLatin1Char('=') + action->text();
            const QKeySequence key = QKeySequence::mnemonic(action->text());
            if (key.isEmpty() || keys.contains(key))
                texts << QStringLiteral("no mnemonic of its own: ") + action->text();
            keys << key;
        }
        return texts;
    };
    QCOMPARE(captions(bar), (QStringList {"File=&File", "View=&View"}));
    QCOMPARE(captions(form.File->actions()), QStringList {"Close=&Close"});
    QCOMPARE(captions(form.View->actions()),
        (QStringList {"Report=&Report", "Icon=&Icon", "Small=&Small Icons", "listit=&List"}));

    const QFont font = form.lblmessege->font();
    QCOMPARE(font.pointSizeF(), 8.25);
    QVERIFY(font.bold());
    QVERIFY(font.underline());
    QCOMPARE(form.Imgbinlst->key(1), QStringLiteral("bin"));
    QCOMPARE(form.ImageList1->key(1), QStringLiteral("a"));
}

// Each picture keeps its size on a screen of any density, and at twice the density it is drawn
// from its own picture of twice the pixels, not stretched.
void TestForm1::picturesForEachDensity_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("curved"); // has curved edges, which only a finer drawing can show
    const QString bin = QStringLiteral("Imgbinlst");
    const QString listPicture = QStringLiteral("ImageList1");
    QTest::newRow("bin at 1x") << bin << 1.0 << QSize(68, 93) << true;
    QTest::newRow("bin at 2x") << bin << 2.0 << QSize(68, 93) << true;
    QTest::newRow("list picture at 1x") << listPicture << 1.0 << QSize(25, 26) << false;
    QTest::newRow("list picture at 2x") << listPicture << 2.0 << QSize(25, 26) << false;
}

void TestForm1::picturesForEachDensity()
{
    QFETCH(QString, list);
    QFETCH(qreal, ratio);
    QFETCH(QSize, size);
    QFETCH(bool, curved);
    Form1 &form = startIn(QFile::encodeName(m_dir->path()));
    const auto *images = form.findChild<app::ImageList *>(list);
    QVERIFY(images);
    QCOMPARE(images->count(), 1);
    const QPixmap picture = images->image(1, ratio);
    QCOMPARE(picture.deviceIndependentSize().toSize(), size);
    QCOMPARE(picture.size(), size * ratio);
    // A picture drawn at its own density has edges as sharp as the 1x one: scaling the 1x
    // picture up would make every pixel a 2 x 2 block of one colour.
    if (ratio > 1 && curved) {
        const QImage fine = picture.toImage();
        bool detail = false;
        for (int y = 0; y + 1 < fine.height() && !detail; y += 2)
            for (int x = 0; x + 1 < fine.width() && !detail; x += 2)
                detail = fine.pixel(x, y) != fine.pixel(x + 1, y + 1);
        QVERIFY(detail);
    }
}

// F2 presses Rename: nothing while no file has been picked, the rename dialog after a click.
void TestForm1::renameKey()
{
    const QByteArray folder = QFile::encodeName(m_dir->path());
    testing::writeFile(folder + "/note.txt", "x");
    Form1 &form = startIn(folder);
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));

    QTest::keyClick(form.ListView1->reportView(), Qt::Key_F2);
    QVERIFY(!Forms::isLoaded(QStringLiteral("Form2")));
    QVERIFY(form.isVisible());

    QTreeView *view = form.ListView1->reportView();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
        view->visualRect(form.ListView1->model().index(0, 0)).center());
    QVERIFY(form.cmdrename->isEnabled());
    QTest::keyClick(view, Qt::Key_F2);
    QVERIFY(Forms::isLoaded(QStringLiteral("Form2")));
    QVERIFY(!form.isVisible());
    QCOMPARE(app::Module1::SelectedFileName, QStringLiteral("note.txt"));
}

void TestForm1::loadInAFolderWithoutFiles()
{
    const QByteArray folder = QFile::encodeName(m_dir->path());
    QCOMPARE(::mkdir(folder + "/only-a-subfolder", 0755), 0);
    Form1 &form = startIn(folder);
    QVERIFY(form.isVisible());
    QCOMPARE(form.ListView1->model().columnCount(), 5);
    QCOMPARE(form.ListView1->model().rowCount(), 0);
    QCOMPARE(form.txtpath->text(), m_dir->path());
    QCOMPARE(form.Dir1->Path(), m_dir->path());
    for (QPushButton *button : {form.cmdMove, form.cmdopen, form.cmdrename, form.cmdCopy})
        QVERIFY(!button->isEnabled());
    QVERIFY(!form.picBin->pixmap().isNull());
    QCOMPARE(form.picBin->pixmap().size(), QSize(68, 93));
    QCOMPARE(form.lblFilePath->caption(), QString());
    QCOMPARE(form.lblmessege->caption(), QString());
    QCOMPARE(app::Module1::SelectedFileName, QString());
    QVERIFY(m_messages->failures.empty());
}

void TestForm1::showMainWindowWithNoDialogLoaded()
{
    const QByteArray folder = QFile::encodeName(m_dir->path());
    Form1 &form = startIn(folder);
    QCOMPARE(form.ListView1->model().rowCount(), 0);
    form.lblmessege->setCaption(QStringLiteral("report"));
    app::Module1::EnableFileButtons();
    testing::writeFile(folder + "/new.txt", "x");

    app::Module1::ShowMainWindow();
    QVERIFY(form.isVisible());
    for (const char *dialog : {"Form2", "Form3", "Form4"})
        QVERIFY(!Forms::isLoaded(QLatin1String(dialog)));
    QCOMPARE(form.ListView1->model().rowCount(), 1);
    QVERIFY(!form.cmdCopy->isEnabled());
    QCOMPARE(form.lblmessege->caption(), QStringLiteral("report"));
}

void TestForm1::fileButtonsSwitchTogether()
{
    Form1 &form = startIn(QFile::encodeName(m_dir->path()));
    const QList<QPushButton *> buttons = {form.cmdMove, form.cmdopen, form.cmdrename, form.cmdCopy};
    app::Module1::EnableFileButtons();
    for (QPushButton *button : buttons)
        QVERIFY(button->isEnabled());
    app::Module1::DisableFileButtons();
    for (QPushButton *button : buttons)
        QVERIFY(!button->isEnabled());
}

// The folder goes away behind the program's back; the next reload reports it, the list keeps
// its headers without rows, and the program goes on.
void TestForm1::folderRemovedAfterTheTreeShowedIt()
{
    const QByteArray folder = QFile::encodeName(m_dir->path());
    QCOMPARE(::mkdir(folder + "/doomed", 0755), 0);
    testing::writeFile(folder + "/doomed/a.txt", "x");
    Form1 &form = startIn(folder);
    form.Dir1->openRow(form.Dir1->rowForPath(m_dir->path() + QStringLiteral("/doomed")));
    QCOMPARE(form.ListView1->model().rowCount(), 1);
    QCOMPARE(::unlink(folder + "/doomed/a.txt"), 0);
    QCOMPARE(::rmdir(folder + "/doomed"), 0);

    form.Report->trigger();
    QCOMPARE(m_messages->failures.size(), size_t(1));
    QCOMPARE(m_messages->failures[0].number(), ENOENT);
    QVERIFY(m_messages->failures[0].description().contains(QStringLiteral("doomed")));
    QCOMPARE(form.ListView1->model().columnCount(), 5);
    QCOMPARE(form.ListView1->model().rowCount(), 0);
    QVERIFY(form.isVisible());
    QVERIFY(Forms::isLoaded(QStringLiteral("Form1")));
}

void TestForm1::failureWithNoWindowShownBringsTheMainWindowBack()
{
    const QByteArray folder = QFile::encodeName(m_dir->path());
    Form1 &form = startIn(folder);
    testing::writeFile(folder + "/later.txt", "x");
    app::runGuarded([&form] {
        form.hide();
        throw platform::Failure::fromErrno(EIO, QStringLiteral("Cannot read"), u"/somewhere"_qs);
    });
    QCOMPARE(m_messages->failures.size(), size_t(1));
    QCOMPARE(m_messages->failures[0].number(), EIO);
    QVERIFY(form.isVisible());
    QCOMPARE(form.ListView1->model().rowCount(), 1);
    QVERIFY(!form.cmdopen->isEnabled());
}

void TestForm1::fileCloseUnloadsTheMainWindow()
{
    Form1 &form = startIn(QFile::encodeName(m_dir->path()));
    QPointer<Form1> watched(&form);
    form.Close->trigger();
    QVERIFY(!Forms::isLoaded(QStringLiteral("Form1")));
    QVERIFY(!form.isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(watched.isNull());
    QVERIFY(m_messages->boxes.empty()); // no question asked
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
