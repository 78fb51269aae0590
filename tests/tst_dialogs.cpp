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
#include "testsupport.h"

#include <QApplication>
#include <QPointer>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <memory>

#include <cstdio>

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

using app::Form1;
using app::Forms;
using fileops::Form2;
using fileops::Form3;
using fileops::Form4;
using testing::folderEntries;
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

// Files made in "/" by the root-folder cases, removed whatever the outcome.
struct RootScratch
{
    QList<QByteArray> paths;
    ~RootScratch()
    {
        for (const QByteArray &path : paths)
            ::unlink(path.constData());
    }
};

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    // All three dialogs
    void controls_data();
    void controls();
    void tabOrderAndFocus_data();
    void tabOrderAndFocus();
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
    Form1 &start();
    bool clickFile(const QString &name);
    bool openInTree(app::FolderTree *tree, const QString &path);
    QWidget *openDialog(Command command);
    static QWidget *loadedDialog(Command command);
    static QPushButton *confirmButton(Command command);
    static QPushButton *cancelButton(Command command);
    static app::Caption *destinationLabel(Command command);
    static app::FolderTree *dialogTree(Command command);
    bool mainFileButtonsEnabled(bool enabled) const;
    QString path(const QString &name) const { return m_root + QLatin1Char('/') + name; }
    QByteArray pathBytes(const QByteArray &name) const { return bytes(m_root) + '/' + name; }

    QByteArray m_buildFolder;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<testing::CurrentFolder> m_cwd;
    std::unique_ptr<testing::ScriptedMessages> m_messages;
    QString m_root; // the start folder, as the program's text
    Form1 *m_form1 = nullptr;
};

void TestDialogs::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    testing::useEnglishLocale();
    char buffer[4096];
    QVERIFY(::getcwd(buffer, sizeof buffer));
    m_buildFolder = buffer;
}

// A start folder holding notes.txt and an empty folder backup; the program is not started yet.
void TestDialogs::init()
{
    m_dir = std::make_unique<QTemporaryDir>(
        platform::decodeName(m_buildFolder) + QStringLiteral("/tst_dialogs-XXXXXX"));
    QVERIFY(m_dir->isValid());
    m_cwd = std::make_unique<testing::CurrentFolder>(bytes(m_dir->path()));
    m_root = app::FolderTree::currentFolder();
    writeFile(pathBytes("notes.txt"), "notes");
    QCOMPARE(::mkdir(pathBytes("backup").constData(), 0755), 0);
    m_messages = std::make_unique<testing::ScriptedMessages>();
    Module1::SelectedFileName.clear();
    Module1::NewFileName = QStringLiteral("earlier name");
}

void TestDialogs::cleanup()
{
    testing::unloadAllForms();
    m_form1 = nullptr;
    m_messages.reset();
    m_cwd.reset();
    // QTemporaryDir cannot remove names that are not UTF-8.
    ::nftw(
        bytes(m_dir->path()).constData(),
        [](const char *entry, const struct stat *, int, struct FTW *) { return ::remove(entry); },
        16, FTW_DEPTH | FTW_PHYS);
    m_dir.reset();
}

Form1 &TestDialogs::start()
{
    m_form1 = &Forms::show<Form1>();
    return *m_form1;
}

// A real click on the file's row in the main window's list.
bool TestDialogs::clickFile(const QString &name)
{
    QTreeView *view = m_form1->ListView1->reportView();
    const int row = m_form1->ListView1->model().rowOfName(name);
    if (row < 0) {
        qWarning("no row for %s", qPrintable(name));
        return false;
    }
    const QModelIndex index = view->model()->index(row, 0);
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
    return m_form1->ListView1->selectedRow() == row;
}

// A real double click on the folder's row of a folder tree.
bool TestDialogs::openInTree(app::FolderTree *tree, const QString &folder)
{
    QTreeWidgetItem *row = tree->rowForPath(folder);
    if (!row) {
        qWarning("no tree row for %s", qPrintable(folder));
        return false;
    }
    tree->scrollToItem(row);
    const QPoint at = tree->visualItemRect(row).center();
    QTest::mousePress(tree->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(tree->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(tree->viewport(), Qt::LeftButton, {}, at);
    return tree->Path() == folder;
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

bool TestDialogs::mainFileButtonsEnabled(bool enabled) const
{
    for (const QPushButton *button :
        {m_form1->cmdMove, m_form1->cmdopen, m_form1->cmdrename, m_form1->cmdCopy}) {
        if (button->isEnabled() != enabled)
            return false;
    }
    return true;
}

// ---- All three dialogs ------------------------------------------------------------------------

void TestDialogs::controls_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("name"); // empty: the window itself
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text"); // "<root>" stands for the start folder

    QTest::newRow("Form2") << int(Rename) << ""
                           << "fileops::Form2" << QRect(0, 0, 337, 84)
                           << "Change the File Name to...";
    QTest::newRow("Form2 txtnew") << int(Rename) << "txtnew"
                                  << "QLineEdit" << QRect(16, 16, 305, 25) << "notes.txt";
    QTest::newRow("Form2 cmdChange") << int(Rename) << "cmdChange"
                                     << "QPushButton" << QRect(104, 48, 105, 25) << "Change";
    QTest::newRow("Form2 cmdcancel") << int(Rename) << "cmdcancel"
                                     << "QPushButton" << QRect(216, 48, 105, 25) << "Cancel";

    QTest::newRow("Form3") << int(Move) << ""
                           << "fileops::Form3" << QRect(0, 0, 337, 404) << "Move To...";
    QTest::newRow("Form3 Drive1") << int(Move) << "Drive1"
                                  << "app::DriveSelector" << QRect(8, 16, 321, 21) << "";
    QTest::newRow("Form3 Dir1") << int(Move) << "Dir1"
                                << "app::FolderTree" << QRect(8, 48, 321, 231) << "";
    QTest::newRow("Form3 cmdMove") << int(Move) << "cmdMove"
                                   << "QPushButton" << QRect(80, 328, 121, 33) << "Move";
    QTest::newRow("Form3 cmdcancel") << int(Move) << "cmdcancel"
                                     << "QPushButton" << QRect(208, 328, 121, 33) << "Cancel";
    QTest::newRow("Form3 Label1") << int(Move) << "Label1"
                                  << "app::Caption" << QRect(8, 288, 321, 25) << "<root>";

    QTest::newRow("Form4") << int(Copy) << ""
                           << "fileops::Form4" << QRect(0, 0, 338, 411) << "Copy To...";
    QTest::newRow("Form4 cmdcancel") << int(Copy) << "cmdcancel"
                                     << "QPushButton" << QRect(208, 320, 121, 33) << "Cancel";
    QTest::newRow("Form4 cmdCopy") << int(Copy) << "cmdCopy"
                                   << "QPushButton" << QRect(80, 320, 121, 33) << "Copy";
    QTest::newRow("Form4 Dir1") << int(Copy) << "Dir1"
                                << "app::FolderTree" << QRect(8, 40, 321, 231) << "";
    QTest::newRow("Form4 Drive1") << int(Copy) << "Drive1"
                                  << "app::DriveSelector" << QRect(8, 8, 321, 21) << "";
    QTest::newRow("Form4 Label1") << int(Copy) << "Label1"
                                  << "app::Caption" << QRect(8, 280, 321, 25) << "<root>";
}

void TestDialogs::controls()
{
    QFETCH(int, command);
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    text.replace(QLatin1String("<root>"), m_root);

    start();
    QVERIFY(clickFile(QStringLiteral("notes.txt")));
    QWidget *dialog = openDialog(Command(command));
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());

    if (name.isEmpty()) {
        QVERIFY(dialog->inherits(qPrintable(kind)));
        QCOMPARE(dialog->objectName(), QString());
        QCOMPARE(dialog->windowTitle(), text);
        QCOMPARE(dialog->size(), geometry.size());
        QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
        QVERIFY(dialog->isWindow());
        QCOMPARE(dialog->parentWidget(), nullptr);
        QCOMPARE(dialog->windowModality(), Qt::NonModal);
        QVERIFY(!m_form1->isVisible());
        return;
    }
    auto *control = dialog->findChild<QWidget *>(name, Qt::FindDirectChildrenOnly);
    QVERIFY2(control, qPrintable(name));
    QVERIFY(control->inherits(qPrintable(kind)));
    QCOMPARE(control->geometry(), geometry);
    if (auto *button = qobject_cast<QPushButton *>(control))
        QCOMPARE(button->text(), text);
    else if (auto *edit = qobject_cast<QLineEdit *>(control))
        QCOMPARE(edit->text(), text);
    else if (auto *label = qobject_cast<app::Caption *>(control))
        QCOMPARE(label->caption(), text);
}

void TestDialogs::tabOrderAndFocus_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QStringList>("order");

    QTest::newRow("rename") << int(Rename) << QStringList {"txtnew", "cmdChange", "cmdcancel"};
    QTest::newRow("move") << int(Move)
                          << QStringList {"Drive1", "Dir1", "cmdMove", "cmdcancel", "Label1"};
    QTest::newRow("copy") << int(Copy)
                          << QStringList {"cmdcancel", "cmdCopy", "Dir1", "Drive1", "Label1"};
}

void TestDialogs::tabOrderAndFocus()
{
    QFETCH(int, command);
    QFETCH(QStringList, order);

    start();
    QVERIFY(clickFile(QStringLiteral("notes.txt")));
    QWidget *dialog = openDialog(Command(command));
    QVERIFY(dialog);

    QStringList chain;
    for (QWidget *w = dialog->nextInFocusChain(); w != dialog; w = w->nextInFocusChain()) {
        if (w->parentWidget() == dialog && order.contains(w->objectName()))
            chain.push_back(w->objectName());
    }
    QCOMPARE(chain, order);

    // The first control of the order holds the focus when the dialog opens.
    QVERIFY(QTest::qWaitForWindowActive(dialog));
    QTRY_VERIFY(QApplication::focusWidget());
    QCOMPARE(QApplication::focusWidget()->objectName(), order.first());
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

    QCOMPARE(m_messages->failures.size(), size_t(0));
    QVERIFY(m_messages->boxes.empty());
    QVERIFY(dialog.isNull());
    QVERIFY(!loadedDialog(cmd));
    QVERIFY(m_form1->isVisible());
    QVERIFY(m_form1->ListView1->model().rowOfName(QStringLiteral("later.txt")) >= 0);
    QVERIFY(mainFileButtonsEnabled(false));
    QCOMPARE(Module1::SelectedFileName, QStringLiteral("notes.txt"));

    const QList<QByteArray> untouched {"backup", "later.txt", "notes.txt"};
    if (!confirms) {
        QCOMPARE(m_form1->lblmessege->caption(), QStringLiteral("earlier report"));
        QCOMPARE(folderEntries(bytes(m_root)), untouched);
        QCOMPARE(folderEntries(pathBytes("backup")), QList<QByteArray>());
        QCOMPARE(Module1::NewFileName, QStringLiteral("earlier name"));
        return;
    }
    switch (cmd) {
    case Rename:
        QCOMPARE(m_form1->lblmessege->caption(),
            QStringLiteral("notes.txt has been renamed to old notes.txt"));
        QCOMPARE(Module1::NewFileName, QStringLiteral("old notes.txt"));
        QCOMPARE(folderEntries(bytes(m_root)),
            (QList<QByteArray> {"backup", "later.txt", "old notes.txt"}));
        QCOMPARE(readFile(pathBytes("old notes.txt")), QByteArray("notes"));
        QVERIFY(m_form1->ListView1->model().rowOfName(QStringLiteral("old notes.txt")) >= 0);
        QCOMPARE(m_form1->ListView1->model().rowOfName(QStringLiteral("notes.txt")), -1);
        break;
    case Move:
        QCOMPARE(m_form1->lblmessege->caption(),
            QStringLiteral("notes.txt has been moved to ") + path(QStringLiteral("backup")));
        QCOMPARE(folderEntries(bytes(m_root)), (QList<QByteArray> {"backup", "later.txt"}));
        QCOMPARE(readFile(pathBytes("backup/notes.txt")), QByteArray("notes"));
        QCOMPARE(m_form1->ListView1->model().rowOfName(QStringLiteral("notes.txt")), -1);
        break;
    case Copy:
        QCOMPARE(m_form1->lblmessege->caption(),
            QStringLiteral("notes.txt has been Copied to ") + path(QStringLiteral("backup")));
        QCOMPARE(folderEntries(bytes(m_root)), untouched);
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

    QCOMPARE(m_messages->failures.size(), size_t(1));
    QVERIFY(!loadedDialog(cmd));
    QVERIFY(m_form1->isVisible());
    QVERIFY(Forms::isLoaded(QStringLiteral("Form1")));
    QCOMPARE(folderEntries(bytes(m_root)), (QList<QByteArray> {"backup", "notes.txt"}));

    // Still working: the same command on a selected file opens its dialog.
    QVERIFY(clickFile(QStringLiteral("notes.txt")));
    QWidget *dialog = openDialog(cmd);
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QCOMPARE(m_messages->failures.size(), size_t(1));
}

void TestDialogs::rootFolder_data()
{
    selectionLost_data();
}

// At "/" the paths are joined as "//name" and the file lands in "/".
void TestDialogs::rootFolder()
{
    QFETCH(int, command);
    const Command cmd = Command(command);

    const QString name = QStringLiteral("tolvan-test-%1-%2")
                             .arg(::getpid())
                             .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    const QByteArray inRoot = '/' + bytes(name);
    RootScratch scratch;
    scratch.paths = {inRoot, inRoot + "-renamed"};
    const int fd = ::open(inRoot.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        QSKIP("cannot write to /");
    ::close(fd);
    // The rename starts with the file in "/"; the copy and the move bring it there.
    if (cmd == Rename) {
        writeFile(inRoot, "scratch");
    } else {
        QCOMPARE(::unlink(inRoot.constData()), 0);
        writeFile(pathBytes(bytes(name)), "scratch");
    }

    start();
    if (cmd == Rename) {
        QVERIFY(openInTree(m_form1->Dir1, QStringLiteral("/")));
        QCOMPARE(m_form1->txtpath->text(), QStringLiteral("/"));
    }
    QVERIFY(clickFile(name));
    QCOMPARE(m_form1->lblFilePath->caption(),
        (cmd == Rename ? QStringLiteral("//") : m_root + QLatin1Char('/')) + name);
    QVERIFY(openDialog(cmd));
    if (cmd == Rename) {
        QTest::keyClick(Forms::loaded<Form2>()->txtnew, Qt::Key_End);
        QTest::keyClicks(Forms::loaded<Form2>()->txtnew, QStringLiteral("-renamed"));
    } else {
        QVERIFY(openInTree(dialogTree(cmd), QStringLiteral("/")));
        QCOMPARE(destinationLabel(cmd)->caption(), QStringLiteral("/"));
    }
    QTest::mouseClick(confirmButton(cmd), Qt::LeftButton);

    QCOMPARE(m_messages->failures.size(), size_t(0));
    QVERIFY(m_form1->isVisible());
    switch (cmd) {
    case Rename:
        QCOMPARE(m_form1->lblmessege->caption(),
            name + QStringLiteral(" has been renamed to ") + name + QStringLiteral("-renamed"));
        QCOMPARE(::access(inRoot.constData(), F_OK), -1);
        QCOMPARE(readFile(inRoot + "-renamed"), QByteArray("scratch"));
        break;
    case Move:
        QCOMPARE(m_form1->lblmessege->caption(), name + QStringLiteral(" has been moved to /"));
        QCOMPARE(readFile(inRoot), QByteArray("scratch"));
        QCOMPARE(::access(pathBytes(bytes(name)).constData(), F_OK), -1);
        break;
    case Copy:
        QCOMPARE(m_form1->lblmessege->caption(), name + QStringLiteral(" has been Copied to /"));
        QCOMPARE(readFile(inRoot), QByteArray("scratch"));
        QCOMPARE(readFile(pathBytes(bytes(name))), QByteArray("scratch"));
        break;
    }
}

void TestDialogs::nonUtf8Name_data()
{
    selectionLost_data();
}

// A name that is not UTF-8 and holds a bidi control reaches the file system as its exact bytes;
// the rename box shows the control as a mark.
void TestDialogs::nonUtf8Name()
{
    QFETCH(int, command);
    const Command cmd = Command(command);
    const QByteArray raw("caf\xe9 \xff\xe2\x80\xae.txt");
    const QString name = platform::decodeName(raw);
    writeFile(pathBytes(raw), "latin-1");

    start();
    QVERIFY(clickFile(name));
    QVERIFY(openDialog(cmd));
    if (cmd == Rename) {
        auto *txtnew = Forms::loaded<Form2>()->txtnew;
        QCOMPARE(
            txtnew->text(), platform::decodeName("caf\xe9 \xff") + QStringLiteral("⟨U+202E⟩.txt"));
        QTest::keyClick(txtnew, Qt::Key_Home);
        QTest::keyClicks(txtnew, QStringLiteral("old "));
    } else {
        QVERIFY(openInTree(dialogTree(cmd), path(QStringLiteral("backup"))));
    }
    QTest::mouseClick(confirmButton(cmd), Qt::LeftButton);

    QCOMPARE(m_messages->failures.size(), size_t(0));
    switch (cmd) {
    case Rename:
        QCOMPARE(m_form1->lblmessege->caption(),
            name + QStringLiteral(" has been renamed to old ") + name);
        QCOMPARE(folderEntries(bytes(m_root)),
            (QList<QByteArray> {"backup", "notes.txt", "old " + raw}));
        QCOMPARE(readFile(pathBytes("old " + raw)), QByteArray("latin-1"));
        break;
    case Move:
        QCOMPARE(m_form1->lblmessege->caption(),
            name + QStringLiteral(" has been moved to ") + path(QStringLiteral("backup")));
        QCOMPARE(folderEntries(bytes(m_root)), (QList<QByteArray> {"backup", "notes.txt"}));
        QCOMPARE(folderEntries(pathBytes("backup")), QList<QByteArray> {raw});
        QCOMPARE(readFile(pathBytes("backup/" + raw)), QByteArray("latin-1"));
        break;
    case Copy:
        QCOMPARE(m_form1->lblmessege->caption(),
            name + QStringLiteral(" has been Copied to ") + path(QStringLiteral("backup")));
        QCOMPARE(folderEntries(bytes(m_root)), (QList<QByteArray> {"backup", raw, "notes.txt"}));
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

    QCOMPARE(m_messages->failures.size(), size_t(1));
    QCOMPARE(
        folderEntries(bytes(m_root)), (QList<QByteArray> {"backup", "notes.txt", "other.txt"}));
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
    QCOMPARE(m_messages->failures.size(), size_t(1));
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

    QCOMPARE(m_messages->failures.size(), size_t(0));
    QCOMPARE(m_form1->lblmessege->caption(),
        QStringLiteral("notes.txt has been renamed to backup/renamed.txt"));
    QCOMPARE(folderEntries(bytes(m_root)), QList<QByteArray> {"backup"});
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
    const QList<QByteArray> before = folderEntries(bytes(m_root));
    const QList<QByteArray> backupBefore = folderEntries(pathBytes("backup"));
    QTest::mouseClick(confirmButton(cmd), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QCOMPARE(m_messages->failures.size(), size_t(1));
    QCOMPARE(folderEntries(bytes(m_root)), before);
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

    QCOMPARE(m_messages->failures.size(), size_t(0));
    QVERIFY(m_messages->boxes.empty());
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
    QCOMPARE(::mkdir(pathBytes("elsewhere").constData(), 0755), 0);
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
    QCOMPARE(m_messages->failures.size(), size_t(0));
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
    testing::ScriptedVolumes volumes({{QStringLiteral("/"), QString()},
        {missing, QStringLiteral("Offline")}, {path(QStringLiteral("backup")), QString()}});

    start();
    QVERIFY(clickFile(QStringLiteral("notes.txt")));
    m_form1->lblmessege->setCaption(QStringLiteral("earlier report"));
    QVERIFY(openDialog(cmd));
    auto *drive = cmd == Move ? Forms::loaded<Form3>()->Drive1 : Forms::loaded<Form4>()->Drive1;
    QCOMPARE(drive->currentIndex(), 0);

    drive->setCurrentIndex(1);
    QCOMPARE(m_messages->failures.size(), size_t(0));
    QVERIFY(m_messages->boxes.empty());
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
    QCOMPARE(m_messages->failures.size(), size_t(0));

    QCOMPARE(m_form1->Drive1->currentIndex(), 0);
    QCOMPARE(m_form1->Dir1->Path(), m_root);
    QCOMPARE(m_form1->lblmessege->caption(), QStringLiteral("earlier report"));
    QVERIFY(mainFileButtonsEnabled(true));

    // The file goes where the label points, not where the selector points.
    QTest::mouseClick(confirmButton(cmd), Qt::LeftButton);
    QCOMPARE(m_messages->failures.size(), size_t(0));
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
    QCOMPARE(m_messages->failures.size(), size_t(0));
    QVERIFY(!m_form1->isVisible());
    QCOMPARE(folderEntries(pathBytes("backup")), QList<QByteArray>());
    QCOMPARE(folderEntries(bytes(m_root)), (QList<QByteArray> {"backup", "notes.txt"}));
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
