// The Rename (Form2), Move To (Form3) and Copy To (Form4) dialogs, driven from the main window
// as a user drives them: a click on a file, a click on the main window's button, typing into the
// name box or opening folders in the dialog's tree, then a click or key on the dialog.

#include "app/Form1.h"
#include "app/Forms.h"
#include "app/Module1.h"
#include "fileops/Form2.h"
#include "fileops/Form3.h"
#include "fileops/Form4.h"
#include "platform/NameCodec.h"
#include "windowsupport.h"

#include <QPointer>
#include <QTest>

#include <optional>

#include <sys/stat.h>

#include <fcntl.h>
#include <unistd.h>

using app::Form1;
using app::Forms;
using fileops::Form2;
using fileops::Form3;
using fileops::Form4;
using testing::openInTree;
using testing::readFile;
using testing::treeOf;
using testing::writeFile;
using Tree = QList<QByteArray>;
namespace Module1 = app::Module1;

namespace {

enum Command { Rename, Move, Copy };
// How the user leaves a dialog.
enum Way { ConfirmButton, EnterKey, CancelButton, EnterOnCancel, EscapeKey, FrameClose };

const char *commandName(Command command)
{
    return command == Rename ? "rename" : command == Move ? "move" : "copy";
}

void commandRows(std::initializer_list<Command> commands)
{
    QTest::addColumn<int>("command");
    for (Command command : commands)
        QTest::newRow(commandName(command)) << int(command);
}

// The report a confirmed command leaves in the main window's status line.
QString report(Command command, const QString &name, const QString &to)
{
    const char *done = command == Rename ? " has been renamed to "
        : command == Move                ? " has been moved to "
                                         : " has been Copied to ";
    return name + QLatin1String(done) + to;
}

// A command's loaded dialog and its parts; all null while it is not loaded. destination is
// null for Rename.
struct Dialog
{
    QWidget *window = nullptr;
    QPushButton *confirm = nullptr;
    QPushButton *cancel = nullptr;
    fileops::DestinationDialog *destination = nullptr;
};

Dialog loaded(Command command)
{
    if (command == Rename) {
        Form2 *form = Forms::loaded<Form2>();
        return form ? Dialog {form, form->cmdChange, form->cmdcancel} : Dialog {};
    }
    if (command == Move) {
        Form3 *form = Forms::loaded<Form3>();
        return form ? Dialog {form, form->cmdMove, form->cmdcancel, form} : Dialog {};
    }
    Form4 *form = Forms::loaded<Form4>();
    return form ? Dialog {form, form->cmdCopy, form->cmdcancel, form} : Dialog {};
}

// Makes folder the process's root folder, and start inside it the current folder, for the
// lifetime of this object; the real ones come back afterwards. Only root may do this.
class OwnRoot
{
public:
    OwnRoot(const QByteArray &folder, const char *start)
        : m_realRoot(::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC))
        , m_realCurrent(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        m_active = m_realRoot >= 0 && m_realCurrent >= 0 && ::chroot(folder.constData()) == 0;
        if (m_active && ::chdir(start) != 0)
            qFatal("cannot change to %s in the test's own root folder", start);
    }
    ~OwnRoot()
    {
        if (m_active
            && (::fchdir(m_realRoot) != 0 || ::chroot(".") != 0 || ::fchdir(m_realCurrent) != 0))
            qFatal("cannot leave the test's own root folder");
        ::close(m_realRoot);
        ::close(m_realCurrent);
    }
    OwnRoot(const OwnRoot &) = delete;
    OwnRoot &operator=(const OwnRoot &) = delete;

    bool active() const { return m_active; }

private:
    int m_realRoot;
    int m_realCurrent;
    bool m_active = false;
};

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    // All three dialogs
    void window_data();
    void window();
    void waysBack_data();
    void waysBack();
    void confirmed_data();
    void confirmed();
    void refused_data();
    void refused();
    void selectionLost_data() { commandRows({Rename, Move, Copy}); }
    void selectionLost();
    void rootFolder_data() { commandRows({Rename, Move, Copy}); }
    void rootFolder();

    // Copy To and Move To
    void reopensAtStartFolder_data() { commandRows({Move, Copy}); }
    void reopensAtStartFolder();
    void driveNotReady_data() { commandRows({Move, Copy}); }
    void driveNotReady();
    void enterInTreeOpensFolder_data() { commandRows({Move, Copy}); }
    void enterInTreeOpensFolder();

private:
    Form1 &start() { return *(m_form1 = &m_scene->start()); }
    bool clickFile(const QString &name) { return m_scene->clickFile(name); }
    Dialog openDialog(Command command);
    QStringList enabledFileButtons() const { return testing::enabledFileButtons(*m_form1); }
    QString path(const QString &name) const { return m_root + QLatin1Char('/') + name; }
    QByteArray pathBytes(const QByteArray &name) const { return m_scene->path(name); }

    std::optional<testing::MainWindowScene> m_scene;
    QString m_root; // the start folder, as the program's text
    Form1 *m_form1 = nullptr;
};

// A start folder holding notes.txt and an empty folder backup; the program is not started yet.
void TestDialogs::init()
{
    m_scene.emplace();
    m_root = m_scene->text();
    writeFile(pathBytes("notes.txt"), "notes");
    testing::makeFolder(pathBytes("backup"));
    Module1::NewFileName = QStringLiteral("earlier name");
}

void TestDialogs::cleanup()
{
    m_form1 = nullptr;
    m_scene.reset();
}

// A click on the main window's button of the command.
Dialog TestDialogs::openDialog(Command command)
{
    QPushButton *button = command == Rename ? m_form1->cmdrename
        : command == Move                   ? m_form1->cmdMove
                                            : m_form1->cmdCopy;
    QTest::mouseClick(button, Qt::LeftButton);
    return loaded(command);
}

// ---- All three dialogs ------------------------------------------------------------------------

void TestDialogs::window_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("title");
    QTest::newRow("rename") << int(Rename) << "Change the File Name to...";
    QTest::newRow("move") << int(Move) << "Move To...";
    QTest::newRow("copy") << int(Copy) << "Copy To...";
}

// Each dialog is a window of its own, of a fixed size, that does not block the others; the main
// window is hidden while it is open.
void TestDialogs::window()
{
    QFETCH(int, command);
    QFETCH(QString, title);

    start();
    QVERIFY(clickFile(QStringLiteral("notes.txt")));
    QWidget *dialog = openDialog(Command(command)).window;
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->windowTitle(), title);
    QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
    QVERIFY(dialog->isWindow());
    QCOMPARE(dialog->parentWidget(), nullptr);
    QCOMPARE(dialog->windowModality(), Qt::NonModal);
    QVERIFY(!m_form1->isVisible());
    // The focus is on the first control of the tab order, with its focus frame drawn.
    QCOMPARE(dialog->focusWidget(), dialog->nextInFocusChain());
    QVERIFY(dialog->testAttribute(Qt::WA_KeyboardFocusChange));
}

void TestDialogs::waysBack_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("way");

    const std::pair<Way, const char *> ways[]
        = {{ConfirmButton, "confirm button"}, {EnterKey, "Enter"}, {CancelButton, "Cancel"},
            {EnterOnCancel, "Enter on the focused Cancel"}, {EscapeKey, "Esc"},
            {FrameClose, "frame close"}};
    for (Command command : {Rename, Move, Copy}) {
        for (const auto &[way, wayName] : ways)
            QTest::addRow("%s, %s", commandName(command), wayName) << int(command) << int(way);
    }
}

// Every way back from a dialog unloads it, shows the main window with its list read again and
// its file buttons disabled; confirming writes the report, anything else leaves the status line
// and the files alone.
void TestDialogs::waysBack()
{
    QFETCH(int, command);
    QFETCH(int, way);
    const bool confirms = way == ConfirmButton || way == EnterKey;
    const Command cmd = Command(command);

    start();
    QVERIFY(clickFile(QStringLiteral("notes.txt")));
    QCOMPARE(enabledFileButtons(), testing::allFileButtons);
    m_form1->lblmessege->setCaption(QStringLiteral("earlier report"));
    const Dialog opened = openDialog(cmd);
    const QPointer<QWidget> dialog = opened.window;
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(!m_form1->isVisible());
    QCOMPARE(Module1::SelectedFileName, QStringLiteral("notes.txt"));

    QWidget *focusTarget = nullptr; // where the user's key goes
    if (cmd == Rename) {
        auto *txtnew = Forms::loaded<Form2>()->txtnew;
        QCOMPARE(txtnew->text(), QStringLiteral("notes.txt"));
        QCOMPARE(txtnew->selectedText(), QStringLiteral("notes")); // ready to be typed over
        QTest::keyClick(txtnew, Qt::Key_Home);
        QTest::keyClicks(txtnew, QStringLiteral("old "));
        QCOMPARE(txtnew->text(), QStringLiteral("old notes.txt"));
        focusTarget = txtnew;
    } else {
        // Opening a folder in the dialog moves its label along and nothing on the main window.
        QVERIFY(openInTree(opened.destination->Dir1, path(QStringLiteral("backup"))));
        QCOMPARE(opened.destination->Label1->caption(), path(QStringLiteral("backup")));
        QCOMPARE(m_form1->txtpath->text(), m_root);
        QCOMPARE(m_form1->lblmessege->caption(), QStringLiteral("earlier report"));
        QCOMPARE(enabledFileButtons(), testing::allFileButtons);
        focusTarget = way == EnterKey ? static_cast<QWidget *>(opened.destination->Drive1)
                                      : static_cast<QWidget *>(opened.destination->Dir1);
    }
    // Shows up in the list only if the list is read again.
    writeFile(pathBytes("later.txt"), "later");

    switch (Way(way)) {
    case ConfirmButton:
        QTest::mouseClick(opened.confirm, Qt::LeftButton);
        break;
    case EnterKey:
        focusTarget->setFocus();
        QTest::keyClick(focusTarget, Qt::Key_Return);
        break;
    case CancelButton:
        QTest::mouseClick(opened.cancel, Qt::LeftButton);
        break;
    case EnterOnCancel:
        opened.cancel->setFocus();
        QTest::keyClick(opened.cancel, Qt::Key_Return);
        break;
    case EscapeKey:
        focusTarget->setFocus();
        QTest::keyClick(focusTarget, Qt::Key_Escape);
        break;
    case FrameClose:
        QVERIFY(dialog->close() || dialog.isNull() || !dialog->isVisible());
        break;
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QCOMPARE(m_scene->messages.failures.size(), size_t(0));
    QVERIFY(m_scene->messages.boxes.empty());
    QVERIFY(dialog.isNull());
    QVERIFY(!loaded(cmd).window);
    QVERIFY(m_form1->isVisible());
    QVERIFY(m_form1->ListView1->model().rowOfName(QStringLiteral("later.txt")) >= 0);
    QCOMPARE(enabledFileButtons(), QStringList());
    QVERIFY(!m_form1->ListView1->hasSelectedItem());
    // The next keys typed go to the list, not to the path box.
    QCOMPARE(m_form1->focusWidget(), m_form1->ListView1->currentView());
    QCOMPARE(Module1::SelectedFileName, QStringLiteral("notes.txt"));

    if (!confirms) {
        QCOMPARE(m_form1->lblmessege->caption(), QStringLiteral("earlier report"));
        QCOMPARE(treeOf(m_scene->folder), (Tree {"backup/", "later.txt=later", "notes.txt=notes"}));
        QCOMPARE(Module1::NewFileName, QStringLiteral("earlier name"));
        return;
    }
    const QString to = cmd == Rename ? QStringLiteral("old notes.txt") : path("backup");
    QCOMPARE(m_form1->lblmessege->caption(), report(cmd, QStringLiteral("notes.txt"), to));
    const Tree files[] = {
        {"backup/", "later.txt=later", "old notes.txt=notes"},
        {"backup/", "backup/notes.txt=notes", "later.txt=later"},
        {"backup/", "backup/notes.txt=notes", "later.txt=later", "notes.txt=notes"},
    };
    QCOMPARE(treeOf(m_scene->folder), files[cmd]);
    QCOMPARE(m_form1->ListView1->model().rowOfName(QStringLiteral("notes.txt")) >= 0, cmd == Copy);
    if (cmd == Rename) {
        QCOMPARE(Module1::NewFileName, QStringLiteral("old notes.txt"));
        QVERIFY(m_form1->ListView1->model().rowOfName(QStringLiteral("old notes.txt")) >= 0);
    }
}

void TestDialogs::confirmed_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("name"); // the file's name; other than notes.txt it holds "bytes"
    QTest::addColumn<QString>("prefix"); // typed before the name in Rename's box
    QTest::addColumn<QByteArray>("inBackup"); // what backup holds under the name beforehand
    // Empty: the file is clicked; else notes.txt is clicked and these letters typed in the list.
    QTest::addColumn<QString>("typeAhead");
    QTest::addColumn<Tree>("files");

    // Not UTF-8, and holding a bidi control that would turn the name around on screen.
    const QByteArray raw("caf\xe9 \xff\xe2\x80\xae.txt");
    QTest::newRow("rename, name not UTF-8")
        << int(Rename) << raw << "old " << QByteArray() << QString()
        << Tree {"backup/", "notes.txt=notes", "old " + raw + "=bytes"};
    QTest::newRow("move, name not UTF-8")
        << int(Move) << raw << QString() << QByteArray() << QString()
        << Tree {"backup/", "backup/" + raw + "=bytes", "notes.txt=notes"};
    QTest::newRow("copy, name not UTF-8")
        << int(Copy) << raw << QString() << QByteArray() << QString()
        << Tree {"backup/", "backup/" + raw + "=bytes", raw + "=bytes", "notes.txt=notes"};
    QTest::newRow("rename into a subfolder")
        << int(Rename) << QByteArray("notes.txt") << "backup/" << QByteArray() << QString()
        << Tree {"backup/", "backup/notes.txt=notes"};
    QTest::newRow("copy over a file, without asking")
        << int(Copy) << QByteArray("notes.txt") << QString() << QByteArray("an older, longer text")
        << QString() << Tree {"backup/", "backup/notes.txt=notes", "notes.txt=notes"};
    QTest::newRow("copy of a file reached by type-ahead, over a file of its name")
        << int(Copy) << QByteArray("zeta.txt") << QString() << QByteArray("older zeta") << "z"
        << Tree {"backup/", "backup/zeta.txt=bytes", "notes.txt=notes", "zeta.txt=bytes"};
}

// A name reaches the file system as its exact bytes, whether UTF-8 or not; a renamed name may
// lead into a subfolder; Copy To replaces a file of the same name.
void TestDialogs::confirmed()
{
    QFETCH(int, command);
    QFETCH(QByteArray, name);
    QFETCH(QString, prefix);
    QFETCH(QByteArray, inBackup);
    QFETCH(QString, typeAhead);
    QFETCH(Tree, files);
    const Command cmd = Command(command);
    const QString text = platform::decodeName(name);
    if (name != "notes.txt")
        writeFile(pathBytes(name), "bytes");
    if (!inBackup.isEmpty())
        writeFile(pathBytes("backup/" + name), inBackup);

    start();
    if (typeAhead.isEmpty()) {
        QVERIFY(clickFile(text));
    } else {
        QVERIFY(clickFile(QStringLiteral("notes.txt")));
        QTest::keyClicks(m_form1->ListView1->currentView(), typeAhead);
        QCOMPARE(m_form1->ListView1->SelectedItemText(), text);
    }
    const Dialog dialog = openDialog(cmd);
    QVERIFY(dialog.window);
    if (cmd == Rename) {
        auto *txtnew = Forms::loaded<Form2>()->txtnew;
        QCOMPARE(txtnew->text(), platform::markedName(text));
        QTest::keyClick(txtnew, Qt::Key_Home);
        QTest::keyClicks(txtnew, prefix);
    } else {
        QVERIFY(openInTree(dialog.destination->Dir1, path(QStringLiteral("backup"))));
    }
    QTest::mouseClick(dialog.confirm, Qt::LeftButton);

    QCOMPARE(m_scene->messages.failures.size(), size_t(0));
    QVERIFY(m_scene->messages.boxes.empty());
    QCOMPARE(m_form1->lblmessege->caption(),
        report(cmd, text, cmd == Rename ? prefix + text : path(QStringLiteral("backup"))));
    QCOMPARE(treeOf(m_scene->folder), files);
}

void TestDialogs::refused_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("typed"); // into Rename's box
    QTest::addColumn<bool>("intoBackup");
    QTest::addColumn<bool>("sourceGone");
    // The main window's folder can no longer be read (though its file still can): the command
    // is refused by the opening of that folder, before any file is touched.
    QTest::addColumn<bool>("mainFolderLocked");
    QTest::addColumn<QString>("report"); // the failure's number and description; empty: any

    const QString taken = QStringLiteral(
        "%1 Cannot rename 'notes.txt' to '%2': a file of that name already exists");
    QTest::newRow("rename to an existing name")
        << int(Rename) << "other.txt" << false << false << false
        << taken.arg(EEXIST).arg(QStringLiteral("other.txt"));
    QTest::newRow("rename to an empty name")
        << int(Rename) << "" << false << false << false
        << QStringLiteral("%1 Cannot rename 'notes.txt': a new name is needed").arg(EEXIST);
    QTest::newRow("rename to the same name")
        << int(Rename) << "notes.txt" << false << false << false
        << taken.arg(EEXIST).arg(QStringLiteral("notes.txt"));
    QTest::newRow("copy onto itself")
        << int(Copy) << QString() << false << false << false << QString();
    QTest::newRow("move onto itself")
        << int(Move) << QString() << false << false << false << QString();
    QTest::newRow("move onto an existing file")
        << int(Move) << QString() << true << false << false << QString();
    QTest::newRow("copy of a vanished file")
        << int(Copy) << QString() << true << true << false << QString();
    QTest::newRow("move of a vanished file")
        << int(Move) << QString() << true << true << false << QString();
    QTest::newRow("rename, main folder locked")
        << int(Rename) << "new.txt" << false << false << true << QString();
    QTest::newRow("copy, main folder locked")
        << int(Copy) << QString() << true << false << true << QString();
    QTest::newRow("move, main folder locked")
        << int(Move) << QString() << true << false << true << QString();
}

// A refused command is reported, loses nothing, and the dialog stays open so that the user can
// type another name, pick another folder or cancel.
void TestDialogs::refused()
{
    QFETCH(int, command);
    QFETCH(QString, typed);
    QFETCH(bool, intoBackup);
    QFETCH(bool, sourceGone);
    QFETCH(bool, mainFolderLocked);
    QFETCH(QString, report);
    const Command cmd = Command(command);
    writeFile(pathBytes("other.txt"), "other");
    if (intoBackup && !sourceGone && !mainFolderLocked)
        writeFile(pathBytes("backup/notes.txt"), "kept");

    start();
    QVERIFY(clickFile(QStringLiteral("notes.txt")));
    m_form1->lblmessege->setCaption(QStringLiteral("earlier report"));
    const Dialog dialog = openDialog(cmd);
    const QPointer<QWidget> window = dialog.window;
    QVERIFY(window);
    auto *txtnew = cmd == Rename ? Forms::loaded<Form2>()->txtnew : nullptr;
    if (txtnew) {
        QTest::keyClick(txtnew, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(txtnew, Qt::Key_Backspace);
        QTest::keyClicks(txtnew, typed);
        QCOMPARE(txtnew->text(), typed);
    } else if (intoBackup) {
        QVERIFY(openInTree(dialog.destination->Dir1, path(QStringLiteral("backup"))));
    } else {
        QCOMPARE(dialog.destination->Label1->caption(), m_root);
    }
    if (sourceGone)
        QCOMPARE(::unlink(pathBytes("notes.txt").constData()), 0);
    const Tree before = treeOf(m_scene->folder);
    std::optional<testing::WithoutFileAccessOverride> restricted;
    if (mainFolderLocked) {
        restricted.emplace();
        if (!restricted->active())
            QSKIP("cannot give up the right to read any folder");
        QCOMPARE(::chmod(m_scene->folder.constData(), 0311), 0);
    }
    QTest::mouseClick(dialog.confirm, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (mainFolderLocked) {
        QCOMPARE(::chmod(m_scene->folder.constData(), 0755), 0);
        restricted.reset();
        QVERIFY(m_scene->messages.failures.at(0).description().startsWith(
            QStringLiteral("Cannot open the folder '%1'").arg(m_root)));
    }

    QCOMPARE(m_scene->messages.failures.size(), size_t(1));
    const platform::Failure &failure = m_scene->messages.failures.front();
    if (!report.isEmpty())
        QCOMPARE(
            QString::number(failure.number()) + QLatin1Char(' ') + failure.description(), report);
    QCOMPARE(treeOf(m_scene->folder), before);
    QVERIFY2(window && window->isVisible(), "the dialog did not stay open");
    QCOMPARE(loaded(cmd).window, window.data());
    QVERIFY(!m_form1->isVisible());
    QCOMPARE(m_form1->lblmessege->caption(), QStringLiteral("earlier report"));

    if (txtnew) {
        QCOMPARE(Module1::NewFileName, typed);
        // The user can still type another name.
        QTest::keyClick(txtnew, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(txtnew, QStringLiteral("third.txt"));
        QTest::mouseClick(dialog.confirm, Qt::LeftButton);
        QCOMPARE(m_scene->messages.failures.size(), size_t(1));
        QCOMPARE(m_form1->lblmessege->caption(),
            QStringLiteral("notes.txt has been renamed to third.txt"));
        QCOMPARE(readFile(pathBytes("third.txt")), QByteArray("notes"));
    } else {
        QTest::mouseClick(dialog.cancel, Qt::LeftButton);
        QVERIFY(m_form1->isVisible());
        QVERIFY(!loaded(cmd).window);
    }
}

// The file buttons are still enabled but nothing is selected: the failure is reported, no dialog
// is left open, the main window is back and the program goes on working.
void TestDialogs::selectionLost()
{
    QFETCH(int, command);
    const Command cmd = Command(command);

    start();
    QVERIFY(clickFile(QStringLiteral("notes.txt")));
    m_form1->ListView1->selectRow(-1);
    QCOMPARE(enabledFileButtons(), testing::allFileButtons);
    openDialog(cmd);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QCOMPARE(m_scene->messages.failures.size(), size_t(1));
    QVERIFY(!loaded(cmd).window);
    QVERIFY(m_form1->isVisible());
    QVERIFY(Forms::isLoaded(QStringLiteral("Form1")));
    QCOMPARE(treeOf(m_scene->folder), (Tree {"backup/", "notes.txt=notes"}));

    // Still working: the same command on a selected file opens its dialog.
    QVERIFY(clickFile(QStringLiteral("notes.txt")));
    QWidget *dialog = openDialog(cmd).window;
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QCOMPARE(m_scene->messages.failures.size(), size_t(1));
}

// At "/" the paths are joined as "//name" and the file lands in "/". The test's folder is made
// the root folder meanwhile, so nothing is written into the real one: the rename starts in "/",
// where notes.txt lies; the copy and the move start in /backup and bring its file up to "/".
void TestDialogs::rootFolder()
{
    QFETCH(int, command);
    const Command cmd = Command(command);
    writeFile(pathBytes("backup/moving.txt"), "moving");
    const QString name = cmd == Rename ? QStringLiteral("notes.txt") : QStringLiteral("moving.txt");
    {
        const OwnRoot root(m_scene->folder, cmd == Rename ? "/" : "/backup");
        if (!root.active())
            QSKIP("only root can give the test a root folder of its own");
        start();
        QVERIFY(clickFile(name));
        QCOMPARE(m_form1->lblFilePath->caption(),
            (cmd == Rename ? QStringLiteral("//") : QStringLiteral("/backup/")) + name);
        const Dialog dialog = openDialog(cmd);
        QVERIFY(dialog.window);
        if (cmd == Rename) {
            QTest::keyClick(Forms::loaded<Form2>()->txtnew, Qt::Key_End);
            QTest::keyClicks(Forms::loaded<Form2>()->txtnew, QStringLiteral("-renamed"));
        } else {
            QVERIFY(openInTree(dialog.destination->Dir1, QStringLiteral("/")));
            QCOMPARE(dialog.destination->Label1->caption(), QStringLiteral("/"));
        }
        QTest::mouseClick(dialog.confirm, Qt::LeftButton);
        QCOMPARE(m_scene->messages.failures.size(), size_t(0));
        QVERIFY(m_form1->isVisible());
    }
    QCOMPARE(m_form1->lblmessege->caption(),
        report(cmd, name, cmd == Rename ? name + QStringLiteral("-renamed") : QStringLiteral("/")));
    const Tree files[] = {
        {"backup/", "backup/moving.txt=moving", "notes.txt-renamed=notes"},
        {"backup/", "moving.txt=moving", "notes.txt=notes"},
        {"backup/", "backup/moving.txt=moving", "moving.txt=moving", "notes.txt=notes"},
    };
    QCOMPARE(treeOf(m_scene->folder), files[cmd]);
}

// ---- Copy To and Move To ----------------------------------------------------------------------

// The dialog starts at the start-up folder whatever the main window shows and wherever the
// previous opening went; each opening is a new dialog.
void TestDialogs::reopensAtStartFolder()
{
    QFETCH(int, command);
    const Command cmd = Command(command);
    testing::makeFolder(pathBytes("elsewhere"));
    writeFile(pathBytes("elsewhere/first.txt"), "1");
    writeFile(pathBytes("elsewhere/second.txt"), "2");

    start();
    QVERIFY(openInTree(m_form1->Dir1, path(QStringLiteral("elsewhere"))));
    QVERIFY(clickFile(QStringLiteral("first.txt")));
    const Dialog dialog = openDialog(cmd);
    const QPointer<QWidget> first = dialog.window;
    QVERIFY(first);
    QCOMPARE(dialog.destination->Dir1->Path(), m_root);
    QCOMPARE(dialog.destination->Label1->caption(), m_root);
    QVERIFY(openInTree(dialog.destination->Dir1, path(QStringLiteral("backup"))));
    QTest::mouseClick(dialog.confirm, Qt::LeftButton);
    QCOMPARE(m_scene->messages.failures.size(), size_t(0));
    QCOMPARE(readFile(pathBytes("backup/first.txt")), QByteArray("1"));
    QCOMPARE(m_form1->Dir1->Path(), path(QStringLiteral("elsewhere")));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(first.isNull());

    QVERIFY(clickFile(QStringLiteral("second.txt")));
    const Dialog second = openDialog(cmd);
    QVERIFY(second.window);
    QCOMPARE(second.destination->Dir1->Path(), m_root);
    QCOMPARE(second.destination->Label1->caption(), m_root);
    QCOMPARE(Module1::SelectedFileName, QStringLiteral("second.txt"));
}

// Picking a volume that cannot be listed changes nothing but the selector; picking a ready one
// takes the tree and the label there. The main window is not touched either way.
void TestDialogs::driveNotReady()
{
    QFETCH(int, command);
    const Command cmd = Command(command);
    const QString missing = QStringLiteral("/tolvan-no-such-volume-%1").arg(::getpid());
    m_scene->volumes.list = {{QStringLiteral("/"), QString()}, {missing, QStringLiteral("Offline")},
        {path(QStringLiteral("backup")), QString()}};

    start();
    QVERIFY(clickFile(QStringLiteral("notes.txt")));
    m_form1->lblmessege->setCaption(QStringLiteral("earlier report"));
    const Dialog dialog = openDialog(cmd);
    QVERIFY(dialog.window);
    widgets::DriveSelector *drive = dialog.destination->Drive1;
    widgets::Caption *label = dialog.destination->Label1;
    QCOMPARE(drive->currentIndex(), 0);

    drive->setCurrentIndex(1);
    QCOMPARE(m_scene->messages.failures.size(), size_t(0));
    QVERIFY(m_scene->messages.boxes.empty());
    QCOMPARE(drive->currentIndex(), 1);
    QCOMPARE(drive->Drive(), missing);
    QCOMPARE(dialog.destination->Dir1->Path(), m_root);
    QCOMPARE(label->caption(), m_root);
    QVERIFY(dialog.window->isVisible());

    drive->setCurrentIndex(2);
    QCOMPARE(dialog.destination->Dir1->Path(), path(QStringLiteral("backup")));
    QCOMPARE(label->caption(), path(QStringLiteral("backup")));
    drive->setCurrentIndex(1);
    QCOMPARE(label->caption(), path(QStringLiteral("backup")));
    QCOMPARE(m_scene->messages.failures.size(), size_t(0));

    QCOMPARE(m_form1->Drive1->currentIndex(), 0);
    QCOMPARE(m_form1->Dir1->Path(), m_root);
    QCOMPARE(m_form1->lblmessege->caption(), QStringLiteral("earlier report"));
    QCOMPARE(enabledFileButtons(), testing::allFileButtons);

    // The file goes where the label points, not where the selector points.
    QTest::mouseClick(dialog.confirm, Qt::LeftButton);
    QCOMPARE(m_scene->messages.failures.size(), size_t(0));
    QCOMPARE(readFile(pathBytes("backup/notes.txt")), QByteArray("notes"));
}

// Enter on a row of the dialog's tree opens that folder; it does not also press Copy or Move.
void TestDialogs::enterInTreeOpensFolder()
{
    QFETCH(int, command);
    const Command cmd = Command(command);

    start();
    QVERIFY(clickFile(QStringLiteral("notes.txt")));
    const Dialog dialog = openDialog(cmd);
    const QPointer<QWidget> window = dialog.window;
    QVERIFY(window);
    widgets::FolderTree *tree = dialog.destination->Dir1;
    QTreeWidgetItem *row = tree->rowForPath(path(QStringLiteral("backup")));
    QVERIFY(row);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(row).center());
    QCOMPARE(tree->currentItem(), row);
    QCOMPARE(dialog.window->focusWidget(), tree);
    QTest::keyClick(tree, Qt::Key_Return);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QVERIFY2(window && window->isVisible(), "the dialog did not stay open");
    QCOMPARE(loaded(cmd).window, window.data());
    QCOMPARE(tree->Path(), path(QStringLiteral("backup")));
    QCOMPARE(dialog.destination->Label1->caption(), path(QStringLiteral("backup")));
    QCOMPARE(m_scene->messages.failures.size(), size_t(0));
    QVERIFY(!m_form1->isVisible());
    QCOMPARE(treeOf(m_scene->folder), (Tree {"backup/", "notes.txt=notes"}));
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
