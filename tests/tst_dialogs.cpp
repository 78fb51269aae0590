// The Rename (Form2), Move To (Form3) and Copy To (Form4) dialogs, driven from the main window
// as a user drives them: a click on a file, a click on the main window's button, typing into the
// name box or opening folders in the dialog's tree, then a click or key on the dialog.

#include "app/Form1.h"
#include "app/Forms.h"
#include "app/Module1.h"
#include "fileops/Form2.h"
#include "fileops/Form3.h"
#include "fileops/Form4.h"
#include "platform/FileSystem.h"
#include "platform/NameCodec.h"
#include "testsupport.h"

#include <QPointer>
#include <QTest>

#include <optional>

#include <fcntl.h>
#include <unistd.h>

using app::Form1;
using app::Forms;
using fileops::Form2;
using fileops::Form3;
using fileops::Form4;
using testing::folderEntries;
using testing::openInTree;
using testing::readFile;
using testing::writeFile;
namespace Module1 = app::Module1;

namespace {

enum Command { Rename, Move, Copy };
// How the user leaves a dialog.
enum Way { ConfirmButton, EnterKey, CancelButton, EscapeKey, FrameClose };

const char *commandName(Command command)
{
    return command == Rename ? "rename" : command == Move ? "move" : "copy";
}

QByteArray bytes(const QString &path)
{
    return testing::bytesOf(path);
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
    void selectionLost_data();
    void selectionLost();
    void rootFolder_data();
    void rootFolder();
    void nonUtf8Name_data();
    void nonUtf8Name();

    // Rename
    void renameRefused_data();
    void renameRefused();
    void renameIntoSubfolder();

    // Copy To and Move To
    void refusedKeepsDialogOpen_data();
    void refusedKeepsDialogOpen();
    void copyReplacesExistingFile();
    void reopensAtStartFolder_data();
    void reopensAtStartFolder();
    void driveNotReady_data();
    void driveNotReady();
    void enterInTreeOpensFolder_data();
    void enterInTreeOpensFolder();

private:
    Form1 &start() { return *(m_form1 = &m_scene->start()); }
    bool clickFile(const QString &name) { return m_scene->clickFile(name); }
    QWidget *openDialog(Command command);
    static QWidget *loadedDialog(Command command);
    static QPushButton *confirmButton(Command command);
    static QPushButton *cancelButton(Command command);
    static app::Caption *destinationLabel(Command command);
    static app::FolderTree *dialogTree(Command command);
    bool mainFileButtonsEnabled(bool enabled) const
    {
        const QStringList on = testing::enabledFileButtons(*m_form1);
        return enabled ? on == testing::allFileButtons : on.isEmpty();
    }
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

QWidget *TestDialogs::openDialog(Command command)
{
    QPushButton *button = command == Rename ? m_form1->cmdrename
        : command == Move                   ? m_form1->cmdMove
                                            : m_form1->cmdCopy;
    QTest::mouseClick(button, Qt::LeftButton);
    return loadedDialog(command);
}

QWidget *TestDialogs::loadedDialog(Command command)
{
    switch (command) {
    case Rename:
        return Forms::loaded<Form2>();
    case Move:
        return Forms::loaded<Form3>();
    case Copy:
        return Forms::loaded<Form4>();
    }
    return nullptr;
}

QPushButton *TestDialogs::confirmButton(Command command)
{
    switch (command) {
    case Rename:
        return Forms::loaded<Form2>()->cmdChange;
    case Move:
        return Forms::loaded<Form3>()->cmdMove;
    case Copy:
        return Forms::loaded<Form4>()->cmdCopy;
    }
    return nullptr;
}

QPushButton *TestDialogs::cancelButton(Command command)
{
    switch (command) {
    case Rename:
        return Forms::loaded<Form2>()->cmdcancel;
    case Move:
        return Forms::loaded<Form3>()->cmdcancel;
    case Copy:
        return Forms::loaded<Form4>()->cmdcancel;
    }
    return nullptr;
}

app::Caption *TestDialogs::destinationLabel(Command command)
{
    return command == Move ? Forms::loaded<Form3>()->Label1 : Forms::loaded<Form4>()->Label1;
}

app::FolderTree *TestDialogs::dialogTree(Command command)
{
    return command == Move ? Forms::loaded<Form3>()->Dir1 : Forms::loaded<Form4>()->Dir1;
}

// ---- All three dialogs ------------------------------------------------------------------------

void TestDialogs::window_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QSize>("size");
    QTest::newRow("rename") << int(Rename) << "Change the File Name to..." << QSize(337, 84);
    QTest::newRow("move") << int(Move) << "Move To..." << QSize(337, 404);
    QTest::newRow("copy") << int(Copy) << "Copy To..." << QSize(338, 411);
}

// Each dialog is a window of its own, of a fixed size, that does not block the others; the main
// window is hidden while it is open.
void TestDialogs::window()
{
    QFETCH(int, command);
    QFETCH(QString, title);
    QFETCH(QSize, size);

    start();
    QVERIFY(clickFile(QStringLiteral("notes.txt")));
    QWidget *dialog = openDialog(Command(command));
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->windowTitle(), title);
    QCOMPARE(dialog->size(), size);
    QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
    QVERIFY(dialog->isWindow());
    QCOMPARE(dialog->parentWidget(), nullptr);
    QCOMPARE(dialog->windowModality(), Qt::NonModal);
    QVERIFY(!m_form1->isVisible());
}

void TestDialogs::waysBack_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("way");

    const std::pair<Way, const char *> ways[]
        = {{ConfirmButton, "confirm button"}, {EnterKey, "Enter"}, {CancelButton, "Cancel"},
            {EscapeKey, "Esc"}, {FrameClose, "frame close"}};
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
    QVERIFY(mainFileButtonsEnabled(true));
    m_form1->lblmessege->setCaption(QStringLiteral("earlier report"));
    const QPointer<QWidget> dialog = openDialog(cmd);
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(!m_form1->isVisible());
    QCOMPARE(Module1::SelectedFileName, QStringLiteral("notes.txt"));

    QWidget *focusTarget = nullptr; // where the user's key goes
    if (cmd == Rename) {
        auto *txtnew = Forms::loaded<Form2>()->txtnew;
        QCOMPARE(txtnew->text(), QStringLiteral("notes.txt"));
        QTest::keyClick(txtnew, Qt::Key_Home);
        QTest::keyClicks(txtnew, QStringLiteral("old "));
        QCOMPARE(txtnew->text(), QStringLiteral("old notes.txt"));
        focusTarget = txtnew;
    } else {
        // Opening a folder in the dialog moves its label along and nothing on the main window.
        QVERIFY(openInTree(dialogTree(cmd), path(QStringLiteral("backup"))));
        QCOMPARE(destinationLabel(cmd)->caption(), path(QStringLiteral("backup")));
        QCOMPARE(m_form1->txtpath->text(), m_root);
        QCOMPARE(m_form1->lblmessege->caption(), QStringLiteral("earlier report"));
        QVERIFY(mainFileButtonsEnabled(true));
        focusTarget = way == EnterKey
            ? static_cast<QWidget *>(
                cmd == Move ? Forms::loaded<Form3>()->Drive1 : Forms::loaded<Form4>()->Drive1)
            : static_cast<QWidget *>(dialogTree(cmd));
    }
    // Shows up in the list only if the list is read again.
    writeFile(pathBytes("later.txt"), "later");

    switch (Way(way)) {
    case ConfirmButton:
        QTest::mouseClick(confirmButton(cmd), Qt::LeftButton);
        break;
    case EnterKey:
        focusTarget->setFocus();
        QTest::keyClick(focusTarget, Qt::Key_Return);
        break;
    case CancelButton:
        QTest::mouseClick(cancelButton(cmd), Qt::LeftButton);
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
    QVERIFY(!loadedDialog(cmd));
    QVERIFY(m_form1->isVisible());
    QVERIFY(m_form1->ListView1->model().rowOfName(QStringLiteral("later.txt")) >= 0);
    QVERIFY(mainFileButtonsEnabled(false));
    QCOMPARE(Module1::SelectedFileName, QStringLiteral("notes.txt"));

    const QList<QByteArray> untouched {"backup", "later.txt", "notes.txt"};
    if (!confirms) {
        QCOMPARE(m_form1->lblmessege->caption(), QStringLiteral("earlier report"));
        QCOMPARE(folderEntries(m_scene->folder), untouched);
        QCOMPARE(folderEntries(pathBytes("backup")), QList<QByteArray>());
        QCOMPARE(Module1::NewFileName, QStringLiteral("earlier name"));
        return;
    }
    switch (cmd) {
    case Rename:
        QCOMPARE(m_form1->lblmessege->caption(),
            QStringLiteral("notes.txt has been renamed to old notes.txt"));
        QCOMPARE(Module1::NewFileName, QStringLiteral("old notes.txt"));
        QCOMPARE(folderEntries(m_scene->folder),
            (QList<QByteArray> {"backup", "later.txt", "old notes.txt"}));
        QCOMPARE(readFile(pathBytes("old notes.txt")), QByteArray("notes"));
        QVERIFY(m_form1->ListView1->model().rowOfName(QStringLiteral("old notes.txt")) >= 0);
        QCOMPARE(m_form1->ListView1->model().rowOfName(QStringLiteral("notes.txt")), -1);
        break;
    case Move:
        QCOMPARE(m_form1->lblmessege->caption(),
            QStringLiteral("notes.txt has been moved to ") + path(QStringLiteral("backup")));
        QCOMPARE(folderEntries(m_scene->folder), (QList<QByteArray> {"backup", "later.txt"}));
        QCOMPARE(readFile(pathBytes("backup/notes.txt")), QByteArray("notes"));
        QCOMPARE(m_form1->ListView1->model().rowOfName(QStringLiteral("notes.txt")), -1);
        break;
    case Copy:
        QCOMPARE(m_form1->lblmessege->caption(),
            QStringLiteral("notes.txt has been Copied to ") + path(QStringLiteral("backup")));
        QCOMPARE(folderEntries(m_scene->folder), untouched);
        QCOMPARE(readFile(pathBytes("backup/notes.txt")), QByteArray("notes"));
        QCOMPARE(readFile(pathBytes("notes.txt")), QByteArray("notes"));
        break;
    }
}

void TestDialogs::selectionLost_data()
{
    QTest::addColumn<int>("command");
    QTest::newRow("rename") << int(Rename);
    QTest::newRow("move") << int(Move);
    QTest::newRow("copy") << int(Copy);
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
    QVERIFY(mainFileButtonsEnabled(true));
    openDialog(cmd);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QCOMPARE(m_scene->messages.failures.size(), size_t(1));
    QVERIFY(!loadedDialog(cmd));
    QVERIFY(m_form1->isVisible());
    QVERIFY(Forms::isLoaded(QStringLiteral("Form1")));
    QCOMPARE(folderEntries(m_scene->folder), (QList<QByteArray> {"backup", "notes.txt"}));

    // Still working: the same command on a selected file opens its dialog.
    QVERIFY(clickFile(QStringLiteral("notes.txt")));
    QWidget *dialog = openDialog(cmd);
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QCOMPARE(m_scene->messages.failures.size(), size_t(1));
}

void TestDialogs::rootFolder_data()
{
    selectionLost_data();
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
        QVERIFY(openDialog(cmd));
        if (cmd == Rename) {
            QTest::keyClick(Forms::loaded<Form2>()->txtnew, Qt::Key_End);
            QTest::keyClicks(Forms::loaded<Form2>()->txtnew, QStringLiteral("-renamed"));
        } else {
            QVERIFY(openInTree(dialogTree(cmd), QStringLiteral("/")));
            QCOMPARE(destinationLabel(cmd)->caption(), QStringLiteral("/"));
        }
        QTest::mouseClick(confirmButton(cmd), Qt::LeftButton);
        QCOMPARE(m_scene->messages.failures.size(), size_t(0));
        QVERIFY(m_form1->isVisible());
    }
    switch (cmd) {
    case Rename:
        QCOMPARE(m_form1->lblmessege->caption(),
            QStringLiteral("notes.txt has been renamed to notes.txt-renamed"));
        QCOMPARE(
            folderEntries(m_scene->folder), (QList<QByteArray> {"backup", "notes.txt-renamed"}));
        QCOMPARE(readFile(pathBytes("notes.txt-renamed")), QByteArray("notes"));
        break;
    case Move:
        QCOMPARE(m_form1->lblmessege->caption(), QStringLiteral("moving.txt has been moved to /"));
        QCOMPARE(readFile(pathBytes("moving.txt")), QByteArray("moving"));
        QCOMPARE(folderEntries(pathBytes("backup")), QList<QByteArray>());
        break;
    case Copy:
        QCOMPARE(m_form1->lblmessege->caption(), QStringLiteral("moving.txt has been Copied to /"));
        QCOMPARE(readFile(pathBytes("moving.txt")), QByteArray("moving"));
        QCOMPARE(readFile(pathBytes("backup/moving.txt")), QByteArray("moving"));
        break;
    }
}

void TestDialogs::nonUtf8Name_data()
{
    selectionLost_data();
}

// A name that is not UTF-8 reaches the file system as its exact bytes.
void TestDialogs::nonUtf8Name()
{
    QFETCH(int, command);
    const Command cmd = Command(command);
    const QByteArray raw("caf\xe9 \xff.txt");
    const QString name = platform::decodeName(raw);
    writeFile(pathBytes(raw), "latin-1");

    start();
    QVERIFY(clickFile(name));
    QVERIFY(openDialog(cmd));
    if (cmd == Rename) {
        auto *txtnew = Forms::loaded<Form2>()->txtnew;
        QCOMPARE(txtnew->text(), name);
        QTest::keyClick(txtnew, Qt::Key_Home);
        QTest::keyClicks(txtnew, QStringLiteral("old "));
    } else {
        QVERIFY(openInTree(dialogTree(cmd), path(QStringLiteral("backup"))));
    }
    QTest::mouseClick(confirmButton(cmd), Qt::LeftButton);

    QCOMPARE(m_scene->messages.failures.size(), size_t(0));
    switch (cmd) {
    case Rename:
        QCOMPARE(m_form1->lblmessege->caption(),
            name + QStringLiteral(" has been renamed to old ") + name);
        QCOMPARE(folderEntries(m_scene->folder),
            (QList<QByteArray> {"backup", "notes.txt", "old " + raw}));
        QCOMPARE(readFile(pathBytes("old " + raw)), QByteArray("latin-1"));
        break;
    case Move:
        QCOMPARE(m_form1->lblmessege->caption(),
            name + QStringLiteral(" has been moved to ") + path(QStringLiteral("backup")));
        QCOMPARE(folderEntries(m_scene->folder), (QList<QByteArray> {"backup", "notes.txt"}));
        QCOMPARE(folderEntries(pathBytes("backup")), QList<QByteArray> {raw});
        QCOMPARE(readFile(pathBytes("backup/" + raw)), QByteArray("latin-1"));
        break;
    case Copy:
        QCOMPARE(m_form1->lblmessege->caption(),
            name + QStringLiteral(" has been Copied to ") + path(QStringLiteral("backup")));
        QCOMPARE(folderEntries(m_scene->folder), (QList<QByteArray> {"backup", raw, "notes.txt"}));
        QCOMPARE(folderEntries(pathBytes("backup")), QList<QByteArray> {raw});
        QCOMPARE(readFile(pathBytes("backup/" + raw)), QByteArray("latin-1"));
        break;
    }
}

// ---- Rename -----------------------------------------------------------------------------------

void TestDialogs::renameRefused_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("existing name") << "other.txt";
    QTest::newRow("empty name") << "";
    QTest::newRow("unchanged name") << "notes.txt";
}

// A refused rename is reported, loses nothing and leaves the dialog open for another try.
void TestDialogs::renameRefused()
{
    QFETCH(QString, typed);
    writeFile(pathBytes("other.txt"), "other");

    start();
    QVERIFY(clickFile(QStringLiteral("notes.txt")));
    m_form1->lblmessege->setCaption(QStringLiteral("earlier report"));
    QVERIFY(openDialog(Rename));
    Form2 *form2 = Forms::loaded<Form2>();
    QTest::keyClick(form2->txtnew, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(form2->txtnew, Qt::Key_Backspace);
    QTest::keyClicks(form2->txtnew, typed);
    QCOMPARE(form2->txtnew->text(), typed);
    QTest::mouseClick(form2->cmdChange, Qt::LeftButton);

    QCOMPARE(m_scene->messages.failures.size(), size_t(1));
    QCOMPARE(
        folderEntries(m_scene->folder), (QList<QByteArray> {"backup", "notes.txt", "other.txt"}));
    QCOMPARE(readFile(pathBytes("notes.txt")), QByteArray("notes"));
    QCOMPARE(readFile(pathBytes("other.txt")), QByteArray("other"));
    QCOMPARE(Module1::NewFileName, typed);
    QCOMPARE(Forms::loaded<Form2>(), form2);
    QVERIFY(form2->isVisible());
    QVERIFY(!m_form1->isVisible());
    QCOMPARE(m_form1->lblmessege->caption(), QStringLiteral("earlier report"));

    // The user can still type another name.
    QTest::keyClick(form2->txtnew, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(form2->txtnew, QStringLiteral("third.txt"));
    QTest::mouseClick(form2->cmdChange, Qt::LeftButton);
    QCOMPARE(m_scene->messages.failures.size(), size_t(1));
    QCOMPARE(
        m_form1->lblmessege->caption(), QStringLiteral("notes.txt has been renamed to third.txt"));
    QCOMPARE(readFile(pathBytes("third.txt")), QByteArray("notes"));
}

void TestDialogs::renameIntoSubfolder()
{
    start();
    QVERIFY(clickFile(QStringLiteral("notes.txt")));
    QVERIFY(openDialog(Rename));
    Form2 *form2 = Forms::loaded<Form2>();
    QTest::keyClick(form2->txtnew, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(form2->txtnew, QStringLiteral("backup/renamed.txt"));
    QTest::keyClick(form2->txtnew, Qt::Key_Return);

    QCOMPARE(m_scene->messages.failures.size(), size_t(0));
    QCOMPARE(m_form1->lblmessege->caption(),
        QStringLiteral("notes.txt has been renamed to backup/renamed.txt"));
    QCOMPARE(folderEntries(m_scene->folder), QList<QByteArray> {"backup"});
    QCOMPARE(readFile(pathBytes("backup/renamed.txt")), QByteArray("notes"));
    QCOMPARE(m_form1->ListView1->model().rowCount(), 0);
}

// ---- Copy To and Move To ----------------------------------------------------------------------

void TestDialogs::refusedKeepsDialogOpen_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<bool>("intoBackup");
    QTest::addColumn<bool>("sourceGone");

    QTest::newRow("copy onto itself") << int(Copy) << false << false;
    QTest::newRow("move onto itself") << int(Move) << false << false;
    QTest::newRow("move onto an existing file") << int(Move) << true << false;
    QTest::newRow("copy of a vanished file") << int(Copy) << true << true;
    QTest::newRow("move of a vanished file") << int(Move) << true << true;
}

// A refused copy or move is reported, loses nothing, and the dialog stays open so that the
// user can pick another folder or cancel.
void TestDialogs::refusedKeepsDialogOpen()
{
    QFETCH(int, command);
    QFETCH(bool, intoBackup);
    QFETCH(bool, sourceGone);
    const Command cmd = Command(command);
    if (intoBackup && !sourceGone)
        writeFile(pathBytes("backup/notes.txt"), "kept");

    start();
    QVERIFY(clickFile(QStringLiteral("notes.txt")));
    m_form1->lblmessege->setCaption(QStringLiteral("earlier report"));
    QWidget *dialog = openDialog(cmd);
    QVERIFY(dialog);
    if (intoBackup)
        QVERIFY(openInTree(dialogTree(cmd), path(QStringLiteral("backup"))));
    else
        QCOMPARE(destinationLabel(cmd)->caption(), m_root);
    if (sourceGone)
        QCOMPARE(::unlink(pathBytes("notes.txt").constData()), 0);
    const QList<QByteArray> before = folderEntries(m_scene->folder);
    const QList<QByteArray> backupBefore = folderEntries(pathBytes("backup"));
    QTest::mouseClick(confirmButton(cmd), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QCOMPARE(m_scene->messages.failures.size(), size_t(1));
    QCOMPARE(folderEntries(m_scene->folder), before);
    QCOMPARE(folderEntries(pathBytes("backup")), backupBefore);
    if (!sourceGone)
        QCOMPARE(readFile(pathBytes("notes.txt")), QByteArray("notes"));
    if (intoBackup && !sourceGone)
        QCOMPARE(readFile(pathBytes("backup/notes.txt")), QByteArray("kept"));
    QCOMPARE(loadedDialog(cmd), dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(!m_form1->isVisible());
    QCOMPARE(m_form1->lblmessege->caption(), QStringLiteral("earlier report"));

    QTest::mouseClick(cancelButton(cmd), Qt::LeftButton);
    QVERIFY(m_form1->isVisible());
    QVERIFY(!loadedDialog(cmd));
}

// The Copy To dialog replaces a file of the same name without asking.
void TestDialogs::copyReplacesExistingFile()
{
    writeFile(pathBytes("backup/notes.txt"), "an older, longer text");

    start();
    QVERIFY(clickFile(QStringLiteral("notes.txt")));
    QVERIFY(openDialog(Copy));
    QVERIFY(openInTree(Forms::loaded<Form4>()->Dir1, path(QStringLiteral("backup"))));
    QTest::mouseClick(Forms::loaded<Form4>()->cmdCopy, Qt::LeftButton);

    QCOMPARE(m_scene->messages.failures.size(), size_t(0));
    QVERIFY(m_scene->messages.boxes.empty());
    QCOMPARE(folderEntries(pathBytes("backup")), QList<QByteArray> {"notes.txt"});
    QCOMPARE(readFile(pathBytes("backup/notes.txt")), QByteArray("notes"));
    QCOMPARE(m_form1->lblmessege->caption(),
        QStringLiteral("notes.txt has been Copied to ") + path(QStringLiteral("backup")));
}

void TestDialogs::reopensAtStartFolder_data()
{
    QTest::addColumn<int>("command");
    QTest::newRow("move") << int(Move);
    QTest::newRow("copy") << int(Copy);
}

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
    const QPointer<QWidget> first = openDialog(cmd);
    QVERIFY(first);
    QCOMPARE(dialogTree(cmd)->Path(), m_root);
    QCOMPARE(destinationLabel(cmd)->caption(), m_root);
    QVERIFY(openInTree(dialogTree(cmd), path(QStringLiteral("backup"))));
    QTest::mouseClick(confirmButton(cmd), Qt::LeftButton);
    QCOMPARE(m_scene->messages.failures.size(), size_t(0));
    QCOMPARE(readFile(pathBytes("backup/first.txt")), QByteArray("1"));
    QCOMPARE(m_form1->Dir1->Path(), path(QStringLiteral("elsewhere")));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(first.isNull());

    QVERIFY(clickFile(QStringLiteral("second.txt")));
    QVERIFY(openDialog(cmd));
    QCOMPARE(dialogTree(cmd)->Path(), m_root);
    QCOMPARE(destinationLabel(cmd)->caption(), m_root);
    QCOMPARE(Module1::SelectedFileName, QStringLiteral("second.txt"));
}

void TestDialogs::driveNotReady_data()
{
    reopensAtStartFolder_data();
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
    QVERIFY(openDialog(cmd));
    auto *drive = cmd == Move ? Forms::loaded<Form3>()->Drive1 : Forms::loaded<Form4>()->Drive1;
    QCOMPARE(drive->currentIndex(), 0);

    drive->setCurrentIndex(1);
    QCOMPARE(m_scene->messages.failures.size(), size_t(0));
    QVERIFY(m_scene->messages.boxes.empty());
    QCOMPARE(drive->currentIndex(), 1);
    QCOMPARE(drive->Drive(), missing);
    QCOMPARE(dialogTree(cmd)->Path(), m_root);
    QCOMPARE(destinationLabel(cmd)->caption(), m_root);
    QVERIFY(loadedDialog(cmd)->isVisible());

    drive->setCurrentIndex(2);
    QCOMPARE(dialogTree(cmd)->Path(), path(QStringLiteral("backup")));
    QCOMPARE(destinationLabel(cmd)->caption(), path(QStringLiteral("backup")));
    drive->setCurrentIndex(1);
    QCOMPARE(destinationLabel(cmd)->caption(), path(QStringLiteral("backup")));
    QCOMPARE(m_scene->messages.failures.size(), size_t(0));

    QCOMPARE(m_form1->Drive1->currentIndex(), 0);
    QCOMPARE(m_form1->Dir1->Path(), m_root);
    QCOMPARE(m_form1->lblmessege->caption(), QStringLiteral("earlier report"));
    QVERIFY(mainFileButtonsEnabled(true));

    // The file goes where the label points, not where the selector points.
    QTest::mouseClick(confirmButton(cmd), Qt::LeftButton);
    QCOMPARE(m_scene->messages.failures.size(), size_t(0));
    QCOMPARE(readFile(pathBytes("backup/notes.txt")), QByteArray("notes"));
}

void TestDialogs::enterInTreeOpensFolder_data()
{
    reopensAtStartFolder_data();
}

// Enter on a row of the dialog's tree opens that folder; it does not also press Copy or Move.
void TestDialogs::enterInTreeOpensFolder()
{
    QFETCH(int, command);
    const Command cmd = Command(command);

    start();
    QVERIFY(clickFile(QStringLiteral("notes.txt")));
    QWidget *dialog = openDialog(cmd);
    QVERIFY(dialog);
    app::FolderTree *tree = dialogTree(cmd);
    QTreeWidgetItem *row = tree->rowForPath(path(QStringLiteral("backup")));
    QVERIFY(row);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(row).center());
    QCOMPARE(tree->currentItem(), row);
    QCOMPARE(dialog->focusWidget(), tree);
    QTest::keyClick(tree, Qt::Key_Return);

    QCOMPARE(loadedDialog(cmd), dialog);
    QVERIFY(dialog->isVisible());
    QCOMPARE(tree->Path(), path(QStringLiteral("backup")));
    QCOMPARE(destinationLabel(cmd)->caption(), path(QStringLiteral("backup")));
    QCOMPARE(m_scene->messages.failures.size(), size_t(0));
    QVERIFY(!m_form1->isVisible());
    QCOMPARE(folderEntries(pathBytes("backup")), QList<QByteArray>());
    QCOMPARE(folderEntries(m_scene->folder), (QList<QByteArray> {"backup", "notes.txt"}));
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
