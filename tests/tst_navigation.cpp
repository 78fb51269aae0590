// Moving between volumes and folders in the main window, selecting a file in the list and
// opening it: the folder tree, the drive selector, the path box, the list, the selected file's
// path, the buttons and the status line have to stay in step.

#include "app/Form1.h"
#include "app/Forms.h"
#include "app/Module1.h"
#include "platform/Failure.h"
#include "platform/NameCodec.h"
#include "widgets/FolderTree.h"
#include "widgets/Services.h"

#include "windowsupport.h"

#include <QApplication>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTreeView>
#include <QUrl>

#include <cerrno>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

using platform::decodeName;
using testing::bytesOf;

namespace {

const QByteArray oddNames[]
    = {"$(touch pwned); x", "-rf", "a b", "`id`;|&>out", "new\nline", "caf\xe9 \xff.txt"};
// A folder whose name would read "photosexe.jpg" if its bidi control were shown as such: "{rlo}".
const QString rloFolder = QStringLiteral("photos\u202Egpj.exe");

} // namespace

class Navigation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void treeRows();
    void assignPath_data();
    void assignPath();
    void treeInsideItsWindow_data();
    void treeInsideItsWindow();
    void openFolderInTree_data();
    void openFolderInTree();
    void pickVolume_data();
    void pickVolume();
    void listingFailsInsideFolderChange_data();
    void listingFailsInsideFolderChange();
    void clickFile_data();
    void clickFile();
    void typeIntoPathBox_data();
    void typeIntoPathBox();
    void openFile_data();
    void openFile();
    void rowAndButtonsAgree_data();
    void rowAndButtonsAgree();
    void fileUrl_data();
    void fileUrl();

private:
    // The folder of a key: "alpha", "alpha/inner", ... under the test's folder; "/" is the root.
    QString folder(const QString &key) const;
    QString expand(QString text) const;
    void showMainWindow();
    int pickIndex(const QString &key) const;
    QStringList listed() const;
    void clickFile(const QString &name) { QVERIFY2(m_scene->clickFile(name), qPrintable(name)); }
    QPoint emptyListPoint() const;
    void openInTree(const QString &path, const QString &how);
    bool runStep(const QString &step);
    QPoint rowCentre(const QString &name) const;
    QStringList enabledButtons() const { return testing::enabledFileButtons(*m_form); }

    std::optional<testing::MainWindowScene> m_scene;
    app::Form1 *m_form = nullptr;
};

// A fresh tree for every test; the program starts in alpha, on the volume whose root is alpha.
void Navigation::init()
{
    m_scene.emplace();
    for (const char *sub : {"alpha", "alpha/.dotdir", "alpha/file2", "alpha/file10", "alpha/inner",
             "alpha/locked", "beta", "odd", "photos\xe2\x80\xaegpj.exe"})
        testing::makeFolder(m_scene->path(sub));
    for (const char *file : {"top.txt", "alpha/a1.txt", "alpha/a2.txt", "alpha/inner/i1.txt",
             "alpha/inner/i2.dat", "alpha/locked/l1.txt", "beta/b1.txt", "beta/b2.log",
             "photos\xe2\x80\xaegpj.exe/p1.txt"})
        testing::writeFile(m_scene->path(file), "x");
    for (const QByteArray &name : oddNames)
        testing::writeFile(m_scene->path("odd/" + name), "x");
    QCOMPARE(::symlink("../beta", m_scene->path("alpha/tobeta").constData()), 0);
    QCOMPARE(::chmod(m_scene->path("alpha/locked").constData(), 0444), 0);
    m_scene->volumes.list = {
        {folder("alpha"), QStringLiteral("alpha")},
        {folder("missing"), QStringLiteral("missing")},
        {folder("beta"), QStringLiteral("beta")},
        {folder("alpha/locked"), QStringLiteral("locked")},
    };
    m_scene->enter("alpha");
}

void Navigation::cleanup()
{
    m_form = nullptr;
    m_scene.reset();
}

QString Navigation::folder(const QString &key) const
{
    return key == QLatin1String("/") ? key : m_scene->text(bytesOf(key));
}

// "{alpha}" and the like stand for the folder of that key.
QString Navigation::expand(QString text) const
{
    for (const char *key : {"alpha/inner", "alpha", "beta", "odd", "top"}) {
        const QString token = QLatin1Char('{') + QLatin1String(key) + QLatin1Char('}');
        const QString path = QLatin1String(key) == QLatin1String("top")
            ? m_scene->text()
            : folder(QLatin1String(key));
        text.replace(token, path);
    }
    text.replace(QStringLiteral("{rlo}"), folder(rloFolder));
    return text;
}

void Navigation::showMainWindow()
{
    m_form = &m_scene->start();
    QCOMPARE(m_form->Dir1->Path(), folder("alpha"));
}

int Navigation::pickIndex(const QString &key) const
{
    return m_form->Drive1->findData(folder(key));
}

QStringList Navigation::listed() const
{
    QStringList names = m_scene->shownNames();
    names.sort();
    return names;
}

QPoint Navigation::emptyListPoint() const
{
    auto *view = m_form->ListView1->reportView();
    const QPoint point(10, view->viewport()->height() - 5);
    return view->indexAt(point).isValid() ? QPoint() : point;
}

void Navigation::openInTree(const QString &path, const QString &how)
{
    widgets::FolderTree *tree = m_form->Dir1;
    QTreeWidgetItem *item = tree->rowForPath(path);
    QVERIFY2(item, qPrintable(path));
    if (how == QLatin1String("double click")) {
        QVERIFY(testing::openInTree(tree, path));
    } else if (how == QLatin1String("Enter")) {
        tree->setFocus();
        tree->setCurrentItem(item);
        QTest::keyClick(tree, Qt::Key_Return);
    } else {
        tree->openRow(item);
    }
}

// ---- The folder tree on its own --------------------------------------------------------------

// From "/" down to the current folder, then its subfolders (dot-folders and links to folders
// included, files not), each row standing for its path.
void Navigation::treeRows()
{
    widgets::FolderTree tree;
    QCOMPARE(tree.Path(), folder("alpha"));

    QTreeWidgetItem *row = tree.topLevelItem(0);
    QCOMPARE(tree.topLevelItemCount(), 1);
    QCOMPARE(row->text(0), QStringLiteral("/"));
    QString walked;
    for (const QString &part : folder("alpha").split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        walked += QLatin1Char('/') + part;
        QCOMPARE(row->childCount(), 1);
        row = row->child(0);
        QCOMPARE(row->text(0), part);
        QCOMPARE(widgets::FolderTree::rowPath(row), walked);
    }
    QCOMPARE(tree.currentItem(), row);
    QStringList children;
    for (int k = 0; k < row->childCount(); ++k) {
        children.push_back(row->child(k)->text(0));
        QCOMPARE(widgets::FolderTree::rowPath(row->child(k)), folder("alpha/" + children.back()));
    }
    QVERIFY2(
        children.indexOf("file2") < children.indexOf("file10"), qPrintable(children.join(',')));
    children.sort();
    QCOMPARE(children, (QStringList {".dotdir", "file10", "file2", "inner", "locked", "tobeta"}));

    // At the root a subfolder's path has one separator.
    QVERIFY_THROWS_NO_EXCEPTION(tree.setPath(QStringLiteral("/")));
    QCOMPARE(tree.topLevelItemCount(), 1);
    QTreeWidgetItem *root = tree.topLevelItem(0);
    QVERIFY(root->childCount() > 0);
    for (int k = 0; k < root->childCount(); ++k)
        QCOMPARE(widgets::FolderTree::rowPath(root->child(k)), "/" + root->child(k)->text(0));
}

// Assigning Path checks the folder, keeps the old path when it fails, and raises Change inside
// the assignment only when the path changes.
void Navigation::assignPath_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("changes");
    QTest::addColumn<int>("error");

    QTest::newRow("subfolder") << "{alpha}/inner"
                               << "{alpha/inner}" << 1 << 0;
    QTest::newRow("relative to the current folder") << "inner"
                                                    << "{alpha/inner}" << 1 << 0;
    QTest::newRow("parent") << "{alpha}/.."
                            << "{top}" << 1 << 0;
    QTest::newRow("volume root") << "/"
                                 << "/" << 1 << 0;
    QTest::newRow("link to a folder") << "{alpha}/tobeta"
                                      << "{alpha}/tobeta" << 1 << 0;
    QTest::newRow("same folder") << "{alpha}"
                                 << "{alpha}" << 0 << 0;
    QTest::newRow("same folder written otherwise") << "{alpha}//inner/..//."
                                                   << "{alpha}" << 0 << 0;
    QTest::newRow("folder that does not exist") << "{top}/missing"
                                                << "{alpha}" << 0 << ENOENT;
    QTest::newRow("a file") << "{alpha}/a1.txt"
                            << "{alpha}" << 0 << ENOTDIR;
}

void Navigation::assignPath()
{
    QFETCH(QString, target);
    QFETCH(QString, expected);
    QFETCH(int, changes);
    QFETCH(int, error);

    widgets::FolderTree tree;
    bool assigning = false;
    QStringList seen; // the tree's path as each Change saw it
    tree.Change = [&] {
        QVERIFY(assigning);
        seen.push_back(tree.Path());
    };
    int thrown = 0;
    assigning = true;
    try {
        tree.setPath(expand(target));
    } catch (const platform::Failure &failure) {
        thrown = failure.number();
    }
    assigning = false;
    QCOMPARE(thrown, error);
    QCOMPARE(tree.Path(), expand(expected));
    QCOMPARE(seen.size(), changes);
    if (changes)
        QCOMPARE(seen.front(), expand(expected));
    QCOMPARE(widgets::FolderTree::rowPath(tree.currentItem()), expand(expected));
}

void Navigation::treeInsideItsWindow_data()
{
    QTest::addColumn<QString>("button"); // the main window's button that opens the window
    QTest::newRow("main window") << QString();
    QTest::newRow("Copy To") << "cmdCopy";
    QTest::newRow("Move To") << "cmdMove";
}

// A tree opens showing the path from the top, and scrolled to its end, its last row and its
// scroll bar lie wholly inside its window, though the main window's tree reaches below it. Its
// current row looks different while the tree has the keyboard.
void Navigation::treeInsideItsWindow()
{
    QFETCH(QString, button);
    for (int k = 0; k < 60; ++k)
        testing::makeFolder(m_scene->path("alpha/many" + QByteArray::number(k)));
    showMainWindow();
    widgets::FolderTree *tree = m_form->Dir1;
    QWidget *window = m_form->centralWidget();
    if (!button.isEmpty()) {
        clickFile(QStringLiteral("a1.txt"));
        QTest::mouseClick(m_form->findChild<QPushButton *>(button), Qt::LeftButton);
        QWidget *dialog = nullptr;
        for (QWidget *shown : QApplication::topLevelWidgets()) {
            if (shown->isVisible() && shown != m_form)
                dialog = shown;
        }
        QVERIFY(dialog);
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        tree = dialog->findChild<widgets::FolderTree *>(QStringLiteral("Dir1"));
        window = dialog;
    }
    QVERIFY(tree->visualItemRect(tree->topLevelItem(0)).top() >= 0);
    const QPoint inRow(
        tree->viewport()->width() - 10, tree->visualItemRect(tree->currentItem()).center().y());
    tree->window()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(tree->window()));
    tree->setFocus(Qt::TabFocusReason);
    const int withKeys = qGray(tree->viewport()->grab().toImage().pixel(inRow));
    tree->clearFocus();
    QVERIFY(std::abs(qGray(tree->viewport()->grab().toImage().pixel(inRow)) - withKeys) > 32);

    tree->scrollToBottom();
    QTreeWidgetItem *last = tree->currentItem()->child(tree->currentItem()->childCount() - 1);
    const QRect lastRow = tree->visualItemRect(last);
    QVERIFY(tree->viewport()->rect().contains(lastRow));
    const QRect shownRow(tree->viewport()->mapTo(window, lastRow.topLeft()), lastRow.size());
    QVERIFY2(window->rect().contains(shownRow), "the last row lies under the window's edge");
    const QScrollBar *bar = tree->verticalScrollBar();
    QVERIFY(bar->isVisible());
    const QRect shownBar(bar->mapTo(window, QPoint()), bar->size());
    QVERIFY2(window->rect().contains(shownBar), "the scroll bar lies under the window's edge");
}

// ---- Folder change ---------------------------------------------------------------------------

void Navigation::openFolderInTree_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QStringList>("files");

    const QStringList inner {"i1.txt", "i2.dat"};
    for (const char *how : {"double click", "Enter"}) {
        QTest::addRow("%s on a subfolder", how) << how << "alpha/inner" << inner;
        QTest::addRow("%s on an ancestor", how) << how << "top" << QStringList {"top.txt"};
    }
    QTest::newRow("folder without files") << "double click"
                                          << "alpha/file2" << QStringList {};
    QTest::newRow("link to a folder") << "openRow"
                                      << "alpha/tobeta" << QStringList {"b1.txt", "b2.log"};
}

// The list shows the new folder, the path box its path exactly, the buttons go off, a report in
// the status line goes, and the file clicked before stays named under the list.
void Navigation::openFolderInTree()
{
    QFETCH(QString, how);
    QFETCH(QString, key);
    QFETCH(QStringList, files);

    showMainWindow();
    clickFile(QStringLiteral("a1.txt"));
    const QString clicked = folder("alpha") + QStringLiteral("/a1.txt");
    QCOMPARE(m_form->lblFilePath->caption(), clicked);
    QCOMPARE(enabledButtons(), testing::allFileButtons);
    m_form->lblmessege->setCaption(QStringLiteral("File renamed"));

    const QString target = key == QLatin1String("top") ? m_scene->text() : folder(key);
    openInTree(target, how);

    QCOMPARE(m_form->Dir1->Path(), target);
    QCOMPARE(m_form->txtpath->text(), m_form->Dir1->Path());
    QCOMPARE(listed(), files);
    QCOMPARE(enabledButtons(), QStringList());
    QCOMPARE(m_form->lblmessege->caption(), QString());
    QCOMPARE(m_form->lblFilePath->caption(), clicked);
    QCOMPARE(m_form->Drive1->Drive(), folder("alpha"));
    QVERIFY(m_scene->messages.boxes.empty());
    QVERIFY(m_scene->messages.failures.empty());
}

// ---- Drive change ----------------------------------------------------------------------------

void Navigation::pickVolume_data()
{
    QTest::addColumn<QStringList>("picks");
    QTest::addColumn<QString>("treeKey");
    QTest::addColumn<QString>("selectorKey");
    QTest::addColumn<QStringList>("files");

    // late.txt appears in alpha after the start: it is listed only if alpha is listed again.
    const QStringList alphaAtStart {"a1.txt", "a2.txt"};
    const QStringList alphaAgain {"a1.txt", "a2.txt", "late.txt"};
    const QStringList beta {"b1.txt", "b2.log"};
    QTest::newRow("ready volume") << QStringList {"beta"} << "beta"
                                  << "beta" << beta;
    QTest::newRow("not ready volume") << QStringList {"missing"} << "alpha"
                                      << "missing" << alphaAtStart;
    QTest::newRow("not ready, then ready") << QStringList {"missing", "beta"} << "beta"
                                           << "beta" << beta;
    QTest::newRow("ready, not ready, back to the first")
        << QStringList {"beta", "missing", "alpha"} << "alpha"
        << "alpha" << alphaAgain;
    QTest::newRow("not ready, then the volume the tree is on")
        << QStringList {"missing", "alpha"} << "alpha"
        << "alpha" << alphaAtStart;
}

// Before each pick a file is clicked and a report left in the status line; after it the
// buttons are off, the status line is empty and nothing was shown, ready or not.
void Navigation::pickVolume()
{
    QFETCH(QStringList, picks);
    QFETCH(QString, treeKey);
    QFETCH(QString, selectorKey);
    QFETCH(QStringList, files);

    showMainWindow();
    QCOMPARE(m_form->Drive1->Drive(), folder("alpha"));
    testing::writeFile(bytesOf(folder("alpha/late.txt")), "x");
    QString clicked;
    for (const QString &pick : picks) {
        const QString first = m_form->ListView1->model().itemText(0);
        clickFile(first);
        clicked = m_form->txtpath->text() + QLatin1Char('/') + first;
        QCOMPARE(enabledButtons(), testing::allFileButtons);
        m_form->lblmessege->setCaption(QStringLiteral("File copied"));
        const int index = pickIndex(pick);
        QVERIFY(index >= 0);
        m_form->Drive1->setCurrentIndex(index);
        QCOMPARE(enabledButtons(), QStringList());
        QCOMPARE(m_form->lblmessege->caption(), QString());
    }

    QCOMPARE(m_form->Drive1->Drive(), folder(selectorKey));
    QCOMPARE(m_form->Drive1->currentIndex(), pickIndex(selectorKey));
    QCOMPARE(m_form->Dir1->Path(), folder(treeKey));
    QCOMPARE(m_form->txtpath->text(), folder(treeKey));
    QCOMPARE(listed(), files);
    QCOMPARE(m_form->lblFilePath->caption(), clicked);
    QVERIFY(m_scene->messages.boxes.empty());
    QVERIFY(m_scene->messages.failures.empty());
}

// The tree can read the folder's names but the list cannot read its files (a folder that may be
// read but not searched). Inside a drive change the failure is swallowed; inside a folder opened
// in the tree it is reported. Either way the tree stays on the new folder while the path box
// keeps the old path, and the steps after the failing one do not run; the emptied list takes
// the selected row, and the file buttons, with it.
void Navigation::listingFailsInsideFolderChange_data()
{
    QTest::addColumn<bool>("byDrive");

    QTest::newRow("picked in the drive selector: swallowed") << true;
    QTest::newRow("opened in the tree: reported") << false;
}

void Navigation::listingFailsInsideFolderChange()
{
    QFETCH(bool, byDrive);

    showMainWindow();
    clickFile(QStringLiteral("a1.txt"));
    const QString clicked = m_form->lblFilePath->caption();
    m_form->lblmessege->setCaption(QStringLiteral("File moved"));
    const QString locked = folder("alpha/locked");

    const testing::WithoutFileAccessOverride restricted;
    const QByteArray lockedBytes = bytesOf(locked);
    struct stat status;
    if (!restricted.active() || ::stat((lockedBytes + "/l1.txt").constData(), &status) == 0)
        QSKIP("cannot give up the right to search any folder");

    if (byDrive)
        m_form->Drive1->setCurrentIndex(pickIndex("alpha/locked"));
    else
        openInTree(locked, QStringLiteral("openRow"));

    QCOMPARE(m_form->Dir1->Path(), locked);
    QCOMPARE(m_form->txtpath->text(), folder("alpha"));
    QCOMPARE(m_form->ListView1->model().rowCount(), 0);
    QCOMPARE(m_form->ListView1->model().columnCount(), 5);
    QCOMPARE(m_form->lblFilePath->caption(), clicked);
    QVERIFY(m_scene->messages.boxes.empty());
    if (byDrive) {
        QVERIFY(m_scene->messages.failures.empty());
        QCOMPARE(enabledButtons(), QStringList());
        QCOMPARE(m_form->lblmessege->caption(), QString());
    } else {
        QCOMPARE(m_scene->messages.failures.size(), size_t(1));
        QCOMPARE(m_scene->messages.failures.front().number(), EACCES);
        QCOMPARE(enabledButtons(), QStringList());
        QCOMPARE(m_form->lblmessege->caption(), QStringLiteral("File moved"));
    }
}

// ---- Selecting a file ------------------------------------------------------------------------

void Navigation::clickFile_data()
{
    QTest::addColumn<QString>("key"); // the folder opened before the click
    QTest::addColumn<QString>("typed"); // typed into the path box before the click
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<QByteArray>("expected"); // "%" stands for the file's name

    QTest::newRow("file of the current folder")
        << "alpha" << QString() << QByteArray("a2.txt") << 1 << QByteArray("{alpha}/a2.txt");
    QTest::newRow("same file clicked twice")
        << "alpha" << QString() << QByteArray("a1.txt") << 2 << QByteArray("{alpha}/a1.txt");
    // What was typed into the path box and not entered is put back when the click leaves it.
    QTest::newRow("text typed, not entered")
        << "alpha"
        << "no/such folder " << QByteArray("a1.txt") << 1 << QByteArray("{alpha}/a1.txt");
    QTest::newRow("another folder typed, not entered")
        << "alpha"
        << "{beta}/" << QByteArray("a1.txt") << 1 << QByteArray("{alpha}/a1.txt");
    for (const QByteArray &name : oddNames)
        QTest::addRow("odd name %s", name.toPercentEncoding().constData())
            << "odd" << QString() << name << 1 << QByteArray("{odd}/%");
}

// The full path is the path box, "/" and the name, joined as they stand (the path box shows the
// listed folder by then); the buttons come on and the status line empties; the name handed to
// the dialogs is not touched. Open hands that path to the open service as one exact path,
// whatever a shell would make of it, and nothing runs.
void Navigation::clickFile()
{
    QFETCH(QString, key);
    QFETCH(QString, typed);
    QFETCH(QByteArray, name);
    QFETCH(int, clicks);
    QFETCH(QByteArray, expected);

    showMainWindow();
    if (key != QLatin1String("alpha"))
        QVERIFY_THROWS_NO_EXCEPTION(m_form->Dir1->setPath(folder(key)));
    if (!typed.isNull()) {
        m_form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_form));
        m_form->txtpath->setFocus(Qt::MouseFocusReason);
        m_form->txtpath->selectAll();
        QTest::keyClicks(m_form->txtpath, expand(typed));
        QCOMPARE(m_form->txtpath->text(), expand(typed));
    }
    const QString sentinel = QStringLiteral("not set by a click");
    app::Module1::SelectedFileName = sentinel;
    expected = bytesOf(expand(decodeName(expected))).replace('%', name);

    for (int click = 0; click < clicks; ++click) {
        m_form->lblmessege->setCaption(QStringLiteral("File renamed"));
        clickFile(decodeName(name));
        QCOMPARE(bytesOf(m_form->lblFilePath->caption()), expected);
        QCOMPARE(enabledButtons(), testing::allFileButtons);
        QCOMPARE(m_form->lblmessege->caption(), QString());
    }
    QCOMPARE(app::Module1::SelectedFileName, sentinel);
    QTest::mouseClick(m_form->cmdopen, Qt::LeftButton);
    QCOMPARE(m_scene->opener.opened.size(), 1);
    QCOMPARE(bytesOf(m_scene->opener.opened[0]), expected);
    QCOMPARE(testing::folderEntries(m_scene->path("odd")).size(), qsizetype(std::size(oddNames)));
    QVERIFY(!QFile::exists(QStringLiteral("pwned")));
    QVERIFY(m_scene->messages.failures.empty());
}

// ---- The path box ----------------------------------------------------------------------------

void Navigation::typeIntoPathBox_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("how"); // the key that ends the typing
    QTest::addColumn<QString>("key"); // the folder listed afterwards
    QTest::addColumn<int>("error");

    QTest::newRow("folder, Enter") << "{beta}"
                                   << "Return"
                                   << "beta" << 0;
    QTest::newRow("relative folder, Enter") << "inner"
                                            << "Return"
                                            << "alpha/inner" << 0;
    QTest::newRow("folder ending in a separator, Enter") << "{beta}/"
                                                         << "Return"
                                                         << "beta" << 0;
    QTest::newRow("the listed folder written otherwise, Enter") << "{alpha}/inner/../"
                                                                << "Return"
                                                                << "alpha" << 0;
    QTest::newRow("folder that does not exist, Enter") << "{top}/missing"
                                                       << "Return"
                                                       << "alpha" << ENOENT;
    QTest::newRow("a file, Enter") << "{alpha}/a1.txt"
                                   << "Return"
                                   << "alpha" << ENOTDIR;
    QTest::newRow("folder, Esc") << "{beta}"
                                 << "Escape"
                                 << "alpha" << 0;
    QTest::newRow("folder, Tab to the next control") << "{beta}"
                                                     << "Tab"
                                                     << "alpha" << 0;
}

// Enter opens the typed folder as the folder tree does, and a folder that cannot be opened is
// reported with nothing changed; Esc, or leaving the box, puts the listed folder's path back.
// Either way the path box ends showing the folder that is listed.
void Navigation::typeIntoPathBox()
{
    QFETCH(QString, typed);
    QFETCH(QString, how);
    QFETCH(QString, key);
    QFETCH(int, error);

    showMainWindow();
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form));
    clickFile(QStringLiteral("a1.txt"));
    m_form->lblmessege->setCaption(QStringLiteral("File renamed"));
    m_form->txtpath->setFocus(Qt::MouseFocusReason);
    m_form->txtpath->selectAll();
    QTest::keyClicks(m_form->txtpath, expand(typed));
    QTest::keySequence(m_form->txtpath, QKeySequence(how));

    const bool opened = key != QLatin1String("alpha");
    QCOMPARE(m_form->Dir1->Path(), folder(key));
    QCOMPARE(m_form->txtpath->text(), folder(key));
    QCOMPARE(m_scene->shownNames().contains(QStringLiteral("a1.txt")), !opened);
    QCOMPARE(enabledButtons(), opened ? QStringList() : testing::allFileButtons);
    QCOMPARE(m_form->lblmessege->caption(), opened ? QString() : QStringLiteral("File renamed"));
    QCOMPARE(int(m_scene->messages.failures.size()), error ? 1 : 0);
    if (error)
        QCOMPARE(m_scene->messages.failures.front().number(), error);
}

// ---- Opening ---------------------------------------------------------------------------------

void Navigation::openFile_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("opened");

    using L = QStringList;
    QTest::newRow("Open twice") << L {"click a1.txt", "open", "open"}
                                << L {"{alpha}/a1.txt", "{alpha}/a1.txt"};
    QTest::newRow("double click on a file clicks it first")
        << L {"dblclick a2.txt"} << L {"{alpha}/a2.txt"};
    QTest::newRow("double click on a file after another was clicked")
        << L {"click a1.txt", "dblclick a2.txt"} << L {"{alpha}/a2.txt"};
    QTest::newRow("double click on the empty area before any click")
        << L {"dblclick empty"} << L {""};
    QTest::newRow("double click on the empty area after a click")
        << L {"click a2.txt", "dblclick empty"} << L {"{alpha}/a2.txt"};
    QTest::newRow("double click after moving to another folder")
        << L {"click a1.txt", "tree {alpha/inner}", "dblclick empty"} << L {"{alpha}/a1.txt"};
    QTest::newRow("Open after moving to another folder: button off")
        << L {"click a1.txt", "tree {alpha/inner}", "open"} << L {};
    QTest::newRow("Open before any click: button off") << L {"open"} << L {};
    QTest::newRow("file gone since the click") << L {"click a1.txt", "delete {alpha}/a1.txt",
        "dblclick empty", "open"} << L {"{alpha}/a1.txt", "{alpha}/a1.txt"};
    QTest::newRow("Enter on the selected file")
        << L {"click a1.txt", "key Return"} << L {"{alpha}/a1.txt"};
    QTest::newRow("Enter on a file reached with the keyboard")
        << L {"click a1.txt", "key Down", "key Return"} << L {"{alpha}/a2.txt"};
    QTest::newRow("Enter with no file selected") << L {"key Return"} << L {};
    QTest::newRow("root typed, not entered: the listed folder's file opened")
        << L {"type /", "click a1.txt", "open"} << L {"{alpha}/a1.txt"};
    QTest::newRow("Enter on the focused Open button")
        << L {"click a1.txt", "enter cmdopen"} << L {"{alpha}/a1.txt"};
    // However the highlighted row moves, Open opens that row's file.
    QTest::newRow("type-ahead after a click")
        << L {"click a1.txt", "keys a2", "open"} << L {"{alpha}/a2.txt"};
    QTest::newRow("right click after a click")
        << L {"click a1.txt", "rightclick a2.txt", "open"} << L {"{alpha}/a2.txt"};
    QTest::newRow("press that starts a drag, after a click")
        << L {"click a1.txt", "press a2.txt", "open"} << L {"{alpha}/a2.txt"};
    QTest::newRow("Enter in the path box of a folder named with a bidi control") << L {
        "tree {top}", "tree {rlo}", "path Return", "click p1.txt", "open"} << L {"{rlo}/p1.txt"};
}

// The open service gets the text under the list, unchanged, even when it is empty; opening
// changes nothing in the window and shows nothing. A double click on a file raises the click
// first, so that file is the one opened.
void Navigation::openFile()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, opened);

    showMainWindow();
    QStringList events;
    connect(m_form->ListView1, &filelist::ListView::ItemClick, m_form, [&] {
        events.push_back(QStringLiteral("ItemClick %1 opened %2")
                             .arg(m_form->lblFilePath->caption())
                             .arg(m_scene->opener.opened.size()));
    });
    connect(m_form->ListView1, &filelist::ListView::DblClick, m_form,
        [&] { events.push_back(QStringLiteral("DblClick")); });

    for (const QString &step : steps) {
        const QString action = step.section(QLatin1Char(' '), 0, 0);
        const QString argument = expand(step.section(QLatin1Char(' '), 1));
        if (runStep(step)) {
            QVERIFY2(!QTest::currentTestFailed(), qPrintable(step));
        } else if (action == QLatin1String("dblclick") && argument != QLatin1String("empty")) {
            events.clear();
            const qsizetype before = m_scene->opener.opened.size();
            testing::doubleClick(m_form->ListView1->reportView()->viewport(), rowCentre(argument));
            const QString path = folder("alpha") + QLatin1Char('/') + argument;
            QCOMPARE(m_form->lblFilePath->caption(), path);
            QCOMPARE(events,
                (QStringList {QStringLiteral("ItemClick %1 opened %2").arg(path).arg(before),
                    QStringLiteral("DblClick")}));
        } else {
            // Opening, by button or by a double click on the empty area, changes nothing.
            const QString file = m_form->lblFilePath->caption();
            const QString path = m_form->txtpath->text();
            const QString folderPath = m_form->Dir1->Path();
            const QStringList files = listed();
            const QStringList enabled = enabledButtons();
            m_form->lblmessege->setCaption(QStringLiteral("File copied"));
            events.clear();
            if (action == QLatin1String("open")) {
                QTest::mouseClick(m_form->cmdopen, Qt::LeftButton);
            } else {
                const QPoint empty = emptyListPoint();
                QVERIFY(!empty.isNull());
                testing::doubleClick(m_form->ListView1->reportView()->viewport(), empty);
                QCOMPARE(events, QStringList {QStringLiteral("DblClick")});
            }
            QCOMPARE(m_form->lblFilePath->caption(), file);
            QCOMPARE(m_form->txtpath->text(), path);
            QCOMPARE(m_form->Dir1->Path(), folderPath);
            QCOMPARE(listed(), files);
            QCOMPARE(enabledButtons(), enabled);
            QCOMPARE(m_form->lblmessege->caption(), QStringLiteral("File copied"));
        }
    }
    QStringList expected;
    for (const QString &path : opened)
        expected.push_back(expand(path));
    QCOMPARE(m_scene->opener.opened, expected);
    QVERIFY(m_scene->messages.boxes.empty());
    QVERIFY(m_scene->messages.failures.empty());
}

QPoint Navigation::rowCentre(const QString &name) const
{
    const int row = m_form->ListView1->model().rowOfName(name);
    const QModelIndex index = m_form->ListView1->model().index(row, 0);
    return m_form->ListView1->reportView()->visualRect(index).center();
}

// One step of a user in the main window; false when the step is not one of these.
bool Navigation::runStep(const QString &step)
{
    const QString action = step.section(QLatin1Char(' '), 0, 0);
    const QString argument = expand(step.section(QLatin1Char(' '), 1));
    QWidget *viewport = m_form->ListView1->reportView()->viewport();
    const QPoint at = argument == QLatin1String("empty") ? emptyListPoint() : rowCentre(argument);
    if (action == QLatin1String("click")) {
        if (argument == QLatin1String("empty"))
            QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
        else
            clickFile(argument);
    } else if (action == QLatin1String("ctrlclick")) {
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, at);
    } else if (action == QLatin1String("rightclick")) {
        QTest::mouseClick(viewport, Qt::RightButton, {}, at);
    } else if (action == QLatin1String("press")) {
        QTest::mousePress(viewport, Qt::LeftButton, {}, at);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, emptyListPoint());
    } else if (action == QLatin1String("sweep")) {
        QTest::mousePress(viewport, Qt::LeftButton, {}, emptyListPoint());
        QMouseEvent move(
            QEvent::MouseMove, at, viewport->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(viewport, &move);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, emptyListPoint());
    } else if (action == QLatin1String("enter")) {
        auto *button = m_form->findChild<QPushButton *>(argument);
        button->setFocus();
        QTest::keyClick(button, Qt::Key_Return);
    } else if (action == QLatin1String("tree")) {
        openInTree(argument, QStringLiteral("openRow"));
    } else if (action == QLatin1String("drive")) {
        m_form->Drive1->setCurrentIndex(pickIndex(argument));
    } else if (action == QLatin1String("type")) {
        m_form->activateWindow();
        if (!QTest::qWaitForWindowActive(m_form))
            QTest::qFail("the main window is not active", __FILE__, __LINE__);
        m_form->txtpath->setFocus(Qt::MouseFocusReason);
        m_form->txtpath->selectAll();
        QTest::keyClicks(m_form->txtpath, argument);
    } else if (action == QLatin1String("path")) {
        if (m_form->txtpath->text() != platform::markedName(m_form->Dir1->Path()))
            QTest::qFail("the path box shows no marks for bidi controls", __FILE__, __LINE__);
        QTest::keySequence(m_form->txtpath, QKeySequence(argument));
    } else if (action == QLatin1String("file")) {
        testing::writeFile(bytesOf(argument), "x");
    } else if (action == QLatin1String("delete")) {
        if (::unlink(bytesOf(argument).constData()) != 0)
            QTest::qFail("cannot delete the file", __FILE__, __LINE__);
    } else if (action == QLatin1String("key") || action == QLatin1String("keys")) {
        QWidget *view = m_form->ListView1->currentView();
        view->setFocus();
        if (action == QLatin1String("keys"))
            QTest::keyClicks(view, argument);
        else
            QTest::keySequence(view, QKeySequence(argument));
    } else {
        return false;
    }
    return true;
}

// ---- A row shows as selected exactly when the file buttons are on
// --------------------------------

void Navigation::rowAndButtonsAgree_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("selected"); // the file selected at the end; empty: none

    using L = QStringList;
    QTest::newRow("click on empty space") << L {"click a1.txt", "click empty"} << "a1.txt";
    QTest::newRow("Ctrl+click on the selected row")
        << L {"click a1.txt", "ctrlclick a1.txt"} << "a1.txt";
    QTest::newRow("Ctrl+Space on the selected row")
        << L {"click a1.txt", "key Ctrl+Space"} << "a1.txt";
    QTest::newRow("press beside the rows dragged over one") << L {"sweep a2.txt"} << "a2.txt";
    QTest::newRow("the same after a click") << L {"click a1.txt", "sweep a2.txt"} << "a2.txt";
    QTest::newRow("folder holding a file of the same name opened")
        << L {"file {alpha/inner}/a1.txt", "click a1.txt", "tree {alpha/inner}"} << QString();
    QTest::newRow("volume holding a file of the same name picked")
        << L {"file {beta}/a1.txt", "click a1.txt", "drive beta"} << QString();
}

// After every step the highlighted row and the four file buttons agree.
void Navigation::rowAndButtonsAgree()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, selected);

    showMainWindow();
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form));
    for (const QString &step : steps) {
        QVERIFY2(runStep(step), qPrintable(step));
        const QStringList enabled = enabledButtons();
        const bool rowShown = m_form->ListView1->hasSelectedItem();
        QVERIFY2(enabled == (rowShown ? testing::allFileButtons : QStringList()),
            qPrintable(step + QStringLiteral(": ") + enabled.join(QLatin1Char(','))));
    }
    if (selected.isEmpty())
        QVERIFY(!m_form->ListView1->hasSelectedItem());
    else
        QCOMPARE(m_form->ListView1->SelectedItemText(), selected);
    if (!selected.isEmpty())
        QCOMPARE(m_form->lblFilePath->caption(), folder("alpha") + QLatin1Char('/') + selected);
    QVERIFY(m_scene->messages.failures.empty());
}

// ---- The URL the real open service hands to the desktop ---------------------------------------

void Navigation::fileUrl_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("expected"); // "~" at the start stands for the current folder

    QTest::newRow("plain") << QByteArray("/home/anna/notes.txt")
                           << QByteArray("/home/anna/notes.txt");
    QTest::newRow("two separators at the root") << QByteArray("//name") << QByteArray("//name");
    QTest::newRow("command substitution")
        << QByteArray("/tmp/$(touch pwned); x") << QByteArray("/tmp/$(touch pwned); x");
    QTest::newRow("option-like") << QByteArray("/-rf") << QByteArray("/-rf");
    QTest::newRow("spaces and quotes")
        << QByteArray("/a b/\"c\" 'd'") << QByteArray("/a b/\"c\" 'd'");
    QTest::newRow("fragment and query marks") << QByteArray("/a#b?c=d") << QByteArray("/a#b?c=d");
    QTest::newRow("percent signs") << QByteArray("/100% /%41%zz") << QByteArray("/100% /%41%zz");
    QTest::newRow("backquote, pipe, newline")
        << QByteArray("/`id`|x\ny;z&") << QByteArray("/`id`|x\ny;z&");
    QTest::newRow("not UTF-8") << QByteArray("/caf\xe9/\xff\xfe")
                               << QByteArray("/caf\xe9/\xff\xfe");
    QTest::newRow("UTF-8") << QByteArray("/caf\xc3\xa9") << QByteArray("/caf\xc3\xa9");
    QTest::newRow("relative") << QByteArray("sub/x y") << QByteArray("~/sub/x y");
    QTest::newRow("relative, option-like") << QByteArray("-rf") << QByteArray("~/-rf");
}

// The URL decodes to exactly the path's bytes, has no host, and stays one word for a launcher.
void Navigation::fileUrl()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, expected);

    if (expected.startsWith('~'))
        expected = m_scene->path("alpha") + expected.mid(1);
    const QUrl url = widgets::fileUrlFor(decodeName(path));
    QVERIFY(url.isValid());
    QCOMPARE(url.scheme(), QStringLiteral("file"));
    QVERIFY(url.host().isEmpty());
    const QByteArray encoded = url.toEncoded();
    QVERIFY2(encoded.startsWith("file://"), encoded.constData());
    QCOMPARE(QByteArray::fromPercentEncoding(encoded.mid(7)), expected);
    const QString command = QStringLiteral("xdg-open ") + QString::fromLatin1(encoded);
    QCOMPARE(QProcess::splitCommand(command),
        (QStringList {QStringLiteral("xdg-open"), QString::fromLatin1(encoded)}));
    QVERIFY(widgets::fileUrlFor(QString()).isEmpty());
    QVERIFY(!QFile::exists(QStringLiteral("pwned")));
}

QTEST_MAIN(Navigation)
#include "tst_navigation.moc"
