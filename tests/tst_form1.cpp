// The main window: the window and its menus, the state after it loads, the way back to it,
// File > Close, and the guard that reports a failure and keeps the program running. Also that
// every control of every window can be reached at its centre.

#include "app/Form1.h"
#include "app/Forms.h"
#include "app/Module1.h"
#include "fileops/Form2.h"
#include "fileops/Form4.h"
#include "widgets/Guard.h"
#include "windowsupport.h"

#include <QApplication>
#include <QMenuBar>
#include <QScreen>
#include <QTest>
#include <QTreeView>

#include <optional>

using app::Form1;
using app::Forms;

class TestForm1 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_scene.emplace(); }
    void cleanup() { m_scene.reset(); }

    void windowAndMenus();
    void listPictureForEachDensity();
    void controlsReachableAtTheirCentres_data();
    void controlsReachableAtTheirCentres();
    void renameKey();
    void messageBoxOverTheWindowInUse_data();
    void messageBoxOverTheWindowInUse();
    void longCaptionsElided_data();
    void longCaptionsElided();
    void loadInAFolderWithoutFiles();
    void folderRemovedAfterTheTreeShowedIt();
    void failureWithNoWindowShownBringsTheMainWindowBack_data();
    void failureWithNoWindowShownBringsTheMainWindowBack();
    void fileCloseUnloadsTheMainWindow();

private:
    std::optional<testing::MainWindowScene> m_scene;
};

void TestForm1::windowAndMenus()
{
    Form1 &form = m_scene->start();
    QCOMPARE(form.windowTitle(), QStringLiteral("Tolvan File Explorer"));
    QCOMPARE(form.centralWidget()->size(), QSize(920, 538));
    QCOMPARE(form.minimumSize(), form.maximumSize()); // not resizable
    QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint)); // nor to be maximized
    QVERIFY(form.windowFlags() & Qt::WindowMinimizeButtonHint);

    // Each menu with its items, in order; the mnemonics are distinct within a menu.
    QStringList menus;
    for (const QAction *menu : form.menuBar()->actions()) {
        QStringList items {menu->text()};
        for (const QAction *item : menu->menu()->actions())
            items << item->text();
        menus << items.join(QLatin1String(" | "));
    }
    QCOMPARE(
        menus, (QStringList {"&File | &Close", "&View | &Report | &Icon | &Small Icons | &List"}));
}

// The list picture keeps its size on a screen of any density, drawn from a picture of its own
// at twice the density. (The bin's pictures are compared with the screen end to end.)
void TestForm1::listPictureForEachDensity()
{
    const Form1 &form = m_scene->start();
    QCOMPARE(form.ImageList1->count(), 1);
    for (const qreal ratio : {1.0, 2.0}) {
        const QPixmap picture = form.ImageList1->image(1, ratio);
        QCOMPARE(picture.deviceIndependentSize().toSize(), QSize(25, 26));
        QCOMPARE(picture.size(), QSize(25, 26) * ratio);
    }
}

void TestForm1::controlsReachableAtTheirCentres_data()
{
    QTest::addColumn<QString>("button"); // the main window's button that opens the window
    QTest::newRow("main window") << QString();
    QTest::newRow("Rename") << "cmdrename";
    QTest::newRow("Move To") << "cmdMove";
    QTest::newRow("Copy To") << "cmdCopy";
}

// Every control is shown with its centre inside its window and outside every other control: a
// control left unplaced, placed in the wrong units or on top of another fails here.
void TestForm1::controlsReachableAtTheirCentres()
{
    QFETCH(QString, button);
    testing::writeFile(m_scene->path("note.txt"), "x");
    Form1 &form = m_scene->start();
    QWidget *window = form.centralWidget();
    if (!button.isEmpty()) {
        QVERIFY(m_scene->clickFile(QStringLiteral("note.txt")));
        QTest::mouseClick(form.findChild<QPushButton *>(button), Qt::LeftButton);
        window = nullptr;
        for (QWidget *shown : QApplication::topLevelWidgets()) {
            if (shown->isVisible() && shown != &form)
                window = shown;
        }
        QVERIFY(window);
    }
    const QList<QWidget *> controls = window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    QVERIFY(controls.size() >= 3);
    for (const QWidget *control : controls) {
        const QPoint centre = control->geometry().center();
        const QByteArray name = control->objectName().toLatin1();
        QVERIFY2(control->isVisible() && window->rect().contains(centre), name);
        for (const QWidget *other : controls) {
            QVERIFY2(other == control || !other->geometry().contains(centre),
                name + " under " + other->objectName().toLatin1());
        }
    }
}

// F2 presses Rename: nothing while no file has been picked, the rename dialog after a click.
void TestForm1::renameKey()
{
    testing::writeFile(m_scene->path("note.txt"), "x");
    Form1 &form = m_scene->start();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));

    QTest::keyClick(form.ListView1->reportView(), Qt::Key_F2);
    QVERIFY(!Forms::isLoaded(QStringLiteral("Form2")));
    QVERIFY(form.isVisible());

    QVERIFY(m_scene->clickFile(QStringLiteral("note.txt")));
    QVERIFY(form.cmdrename->isEnabled());
    QTest::keyClick(form.ListView1->reportView(), Qt::Key_F2);
    QVERIFY(Forms::isLoaded(QStringLiteral("Form2")));
    QVERIFY(!form.isVisible());
    QCOMPARE(app::Module1::SelectedFileName, QStringLiteral("note.txt"));
}

void TestForm1::longCaptionsElided_data()
{
    QTest::addColumn<QString>("label"); // Copy To's Label1, or a main window's label
    QTest::newRow("lblFilePath, two lines") << "lblFilePath";
    QTest::newRow("lblmessege") << "lblmessege";
    QTest::newRow("Copy To's Label1") << "Label1";
}

// A text too long for its label loses its middle, so that both the start of a path and the
// file's name stay in sight, and shows whole as the label's tooltip; the caption stays exact.
// A text that fits shows as it is, without a tooltip.
void TestForm1::longCaptionsElided()
{
    QFETCH(QString, label);
    testing::writeFile(m_scene->path("note.txt"), "x");
    Form1 &form = m_scene->start();
    widgets::Caption *caption = form.findChild<widgets::Caption *>(label);
    if (!caption) {
        QVERIFY(m_scene->clickFile(QStringLiteral("note.txt")));
        QTest::mouseClick(form.cmdCopy, Qt::LeftButton);
        caption = Forms::loaded<fileops::Form4>()->Label1;
    }
    const QString name = QStringLiteral("the-file-at-the-end.txt");
    const QString path = QStringLiteral("/start").append(
        QStringLiteral("/a-rather-long-folder-name").repeated(12) + QLatin1Char('/') + name);
    caption->setCaption(path);
    QCOMPARE(caption->caption(), path);
    QCOMPARE(caption->toolTip(), path);
    const QString shown = caption->text().remove(QLatin1Char('\n'));
    QVERIFY2(shown.startsWith(QStringLiteral("/start/a-")) && shown.endsWith(name)
            && shown.contains(QChar(0x2026)),
        qPrintable(shown));

    caption->setCaption(QStringLiteral("/tmp/x.txt"));
    QCOMPARE(caption->text(), QStringLiteral("/tmp/x.txt"));
    QCOMPARE(caption->toolTip(), QString());
}

void TestForm1::messageBoxOverTheWindowInUse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("details"); // whether the whole text goes into the details area
    QTest::newRow("short") << "file is deleted" << false;
    QTest::newRow("a 300-character name")
        << "Error 36\n\nCannot rename 'a' to '" + QString(300, QLatin1Char('n')) + "'" << false;
    QTest::newRow("a path longer than the screen holds")
        << "Cannot open the folder '" + QStringLiteral("/segment").repeated(1000) + "'" << true;
}

// A message box stands over the window in use, not at the screen's centre, and is wide enough
// for its title beside the frame's buttons, however short its text, and on the screen, at most
// two thirds of it wide, its text in lines that fit or, cut, whole in the details area.
void TestForm1::messageBoxOverTheWindowInUse()
{
    QFETCH(QString, text);
    QFETCH(bool, details);
    testing::writeFile(m_scene->path("note.txt"), "x");
    Form1 &form = m_scene->start();
    QVERIFY(m_scene->clickFile(QStringLiteral("note.txt")));
    QTest::mouseClick(form.cmdrename, Qt::LeftButton);
    QWidget *dialog = Forms::loaded<fileops::Form2>();
    dialog->move(10, 10);
    dialog->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(dialog));
    QCOMPARE(widgets::windowInUse(), dialog);

    const std::unique_ptr<QMessageBox> box = widgets::messageBox(QMessageBox::NoIcon, text);
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box.get()));
    QVERIFY2(box->frameGeometry().contains(dialog->frameGeometry().center()),
        "the box is not over the window in use");
    QFont titleFont = box->font();
    titleFont.setBold(true);
    const int titleWidth = QFontMetrics(titleFont).horizontalAdvance(box->windowTitle());
    QVERIFY(box->width() >= titleWidth + 6 * box->fontMetrics().height());
    const QRect screen = box->screen()->availableGeometry();
    QVERIFY(screen.contains(box->frameGeometry()));
    QVERIFY(box->width() <= screen.width() * 2 / 3);
    const QWidget *label = box->findChild<QWidget *>(QStringLiteral("qt_msgbox_label"));
    QVERIFY(label->sizeHint().width() <= label->width());
    QCOMPARE(box->detailedText(), details ? text : QString());
    if (!details)
        QCOMPARE(label->property("text").toString().remove(u'\n'), QString(text).remove(u'\n'));
}

// The state after loading in a folder without files.
void TestForm1::loadInAFolderWithoutFiles()
{
    testing::makeFolder(m_scene->path("only-a-subfolder"));
    Form1 &form = m_scene->start();
    QVERIFY(form.isVisible());
    QCOMPARE(form.ListView1->model().rowCount(), 0);
    QCOMPARE(form.txtpath->text(), m_scene->text());
    QCOMPARE(form.Dir1->Path(), form.txtpath->text());
    QCOMPARE(testing::enabledFileButtons(form), QStringList());
    QCOMPARE(form.lblFilePath->caption(), QString());
    QCOMPARE(form.lblmessege->caption(), QString());
    QCOMPARE(app::Module1::SelectedFileName, QString());
    QVERIFY(m_scene->messages.failures.empty());
}

// The folder goes away behind the program's back; the next reload reports it, the list keeps
// its headers without rows, and the program goes on.
void TestForm1::folderRemovedAfterTheTreeShowedIt()
{
    testing::makeFolder(m_scene->path("doomed"));
    testing::writeFile(m_scene->path("doomed/a.txt"), "x");
    Form1 &form = m_scene->start();
    form.Dir1->openRow(form.Dir1->rowForPath(m_scene->text("doomed")));
    QCOMPARE(form.ListView1->model().rowCount(), 1);
    testing::removeTree(m_scene->path("doomed"));

    form.Report->trigger();
    const auto &failures = m_scene->messages.failures;
    QCOMPARE(failures.size(), size_t(1));
    QCOMPARE(failures[0].number(), ENOENT);
    QVERIFY(failures[0].description().contains(QStringLiteral("doomed")));
    QCOMPARE(form.ListView1->model().columnCount(), 5);
    QCOMPARE(form.ListView1->model().rowCount(), 0);
    QVERIFY(form.isVisible());
    QVERIFY(Forms::isLoaded(QStringLiteral("Form1")));
}

// A failure that leaves no window shown is reported, and the main window comes back as after a
// dialog: the list read again, the file buttons off, the status line as it was. A call the user
// cancelled is no error: it ends the handler the same way, with no report, and the status line
// says what was cancelled.
void TestForm1::failureWithNoWindowShownBringsTheMainWindowBack_data()
{
    QTest::addColumn<bool>("cancelled");
    QTest::addColumn<QString>("status");
    QTest::newRow("failure") << false << "report";
    QTest::newRow("cancellation") << true << "reading /somewhere was cancelled";
}

void TestForm1::failureWithNoWindowShownBringsTheMainWindowBack()
{
    QFETCH(bool, cancelled);
    QFETCH(QString, status);
    Form1 &form = m_scene->start();
    form.lblmessege->setCaption(QStringLiteral("report"));
    app::Module1::EnableFileButtons();
    testing::writeFile(m_scene->path("later.txt"), "x");
    widgets::runGuarded([&form, cancelled] {
        form.hide();
        if (cancelled)
            throw platform::Failure::cancellation(u"reading /somewhere was cancelled"_qs);
        throw platform::Failure::fromErrno(EIO, QStringLiteral("Cannot read"), u"/somewhere"_qs);
    });
    QCOMPARE(m_scene->messages.failures.size(), size_t(cancelled ? 0 : 1));
    QVERIFY(form.isVisible());
    QCOMPARE(form.ListView1->model().rowCount(), 1);
    QCOMPARE(testing::enabledFileButtons(form), QStringList());
    QCOMPARE(form.lblmessege->caption(), status);
}

void TestForm1::fileCloseUnloadsTheMainWindow()
{
    Form1 &form = m_scene->start();
    QPointer<Form1> watched(&form);
    form.Close->trigger();
    QVERIFY(!Forms::isLoaded(QStringLiteral("Form1")));
    QVERIFY(!form.isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(watched.isNull());
    QVERIFY(m_scene->messages.boxes.empty()); // no question asked
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
