// Deleting by a drop on the bin: whatever is dropped, the file deleted is the one selected in the
// list, after a confirmation, and the boxes say what happened. Also the list's side of a drag:
// what a dragged row carries.

#include "app/Form1.h"
#include "app/Forms.h"
#include "platform/NameCodec.h"
#include "windowsupport.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <QUrl>

#include <memory>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

using widgets::MessageService;

namespace {

const QString prompt = QStringLiteral("are you sure you want to delete target.txt (please note "
                                      "the file will not appear in the recycling bin)");

// How the user asks for the deletion: a drag onto the bin of a file's URL, of text or of empty
// data, or, from the keyboard, Delete in the list or Space, Enter or Delete on the focused bin.
enum class By { OtherFileUri, Text, Nothing, DeleteInList, SpaceOnBin, EnterOnBin, DeleteOnBin };

// The files every test starts with: the one to delete, one the dropped data names, and two whose
// names differ from it only in case or by a suffix.
const QList<QByteArray> startFiles = {"TARGET.txt", "other.txt", "target.txt", "target.txt.bak"};

using Scene = testing::MainWindowScene;

int rowOf(const Scene &scene, const QByteArray &name)
{
    return scene.model().rowOfName(platform::decodeName(name));
}

QMimeData *makeData(By kind, const Scene &scene)
{
    auto *data = new QMimeData;
    if (kind == By::OtherFileUri)
        data->setUrls({QUrl::fromLocalFile(scene.text("other.txt"))});
    else if (kind == By::Text)
        data->setText(QStringLiteral("other.txt"));
    return data;
}

} // namespace

class BinTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The main window showing a fresh folder of the start files.
    void init()
    {
        m_scene.emplace();
        for (const QByteArray &name : startFiles)
            testing::writeFile(m_scene->path(name), "contents of " + name);
        m_scene->start();
    }
    void cleanup() { m_scene.reset(); }

    void dropAnswered_data();
    void dropAnswered();
    void staleNameDeletesNothing_data();
    void staleNameDeletesNothing();
    void readOnlyFileIsKept();
    void noSelectedItem_data();
    void noSelectedItem();
    void draggedRowCarriesTheFile_data();
    void draggedRowCarriesTheFile();
    void dragOffersCopyOnly();

private:
    void clickRow(const QByteArray &name);
    void dropOnBin(By kind);
    void pressKey(By kind);

    std::optional<Scene> m_scene;
};

// A real click on the row, which raises the list's ItemClick.
void BinTest::clickRow(const QByteArray &name)
{
    QVERIFY2(m_scene->clickFile(platform::decodeName(name)), name.constData());
}

// Delivers a drag entering the bin and a drop on it, then waits for the handler, which runs
// only after the drop is over; or presses the key.
void BinTest::dropOnBin(By kind)
{
    if (kind >= By::DeleteInList)
        return pressKey(kind);
    app::BinPicture *bin = m_scene->form->picBin;
    const std::unique_ptr<QMimeData> data(makeData(kind, *m_scene));
    QSignalSpy dropped(bin, &app::BinPicture::Drop);
    const QPoint at = bin->rect().center();
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;

    QDragEnterEvent enter(at, offered, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(bin, &enter);
    QVERIFY(enter.isAccepted());
    QCOMPARE(enter.dropAction(), Qt::CopyAction);

    QDropEvent drop(QPointF(at), offered, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(bin, &drop);
    QVERIFY(drop.isAccepted());
    // Taken as a copy, so that no source removes what it dropped here.
    QCOMPARE(drop.dropAction(), Qt::CopyAction);
    QCOMPARE(dropped.count(), 0);
    QVERIFY(dropped.wait());
}

// Delete goes to the list; the other keys go to the bin, reached with Tab from Open, which then
// shows that it has the focus.
void BinTest::pressKey(By kind)
{
    app::Form1 &form = *m_scene->form;
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    if (kind == By::DeleteInList) {
        QTest::keyClick(form.ListView1->currentView(), Qt::Key_Delete);
        return;
    }
    const QImage unfocused = form.picBin->grab().toImage();
    form.cmdopen->setFocus(Qt::TabFocusReason);
    QTest::keyClick(form.cmdopen, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), form.picBin);
    QVERIFY2(form.picBin->grab().toImage() != unfocused, "no focus frame on the bin");
    const Qt::Key key = kind == By::SpaceOnBin ? Qt::Key_Space
        : kind == By::EnterOnBin               ? Qt::Key_Return
                                               : Qt::Key_Delete;
    QTest::keyClick(form.picBin, key);
}

void BinTest::dropAnswered_data()
{
    QTest::addColumn<By>("kind");
    QTest::addColumn<int>("answer");
    QTest::newRow("OK, uri-list naming another file")
        << By::OtherFileUri << int(MessageService::Ok);
    QTest::newRow("OK, plain text") << By::Text << int(MessageService::Ok);
    QTest::newRow("OK, empty data") << By::Nothing << int(MessageService::Ok);
    QTest::newRow("Cancel, uri-list naming another file")
        << By::OtherFileUri << int(MessageService::Cancel);
    QTest::newRow("Cancel, empty data") << By::Nothing << int(MessageService::Cancel);
    QTest::newRow("OK, Delete in the list") << By::DeleteInList << int(MessageService::Ok);
    QTest::newRow("OK, Space on the bin") << By::SpaceOnBin << int(MessageService::Ok);
    QTest::newRow("OK, Enter on the bin") << By::EnterOnBin << int(MessageService::Ok);
    QTest::newRow("Cancel, Delete on the bin") << By::DeleteOnBin << int(MessageService::Cancel);
}

// OK deletes exactly the selected file and says so; Cancel deletes nothing and shows nothing
// more. Either way the list is read again, the buttons are off, and the bin and the status line
// look as before.
void BinTest::dropAnswered()
{
    QFETCH(By, kind);
    QFETCH(int, answer);
    Scene &scene = *m_scene;
    app::Form1 &form = *scene.form;
    clickRow("target.txt");
    QCOMPARE(testing::enabledFileButtons(form), testing::allFileButtons);
    form.lblmessege->setCaption(QStringLiteral("status before the drop"));
    const QImage bin = form.picBin->pixmap().toImage();
    QVERIFY(!bin.isNull());
    // A file that appears after the listing shows only if the list is read again.
    testing::writeFile(scene.path("late.txt"), "late");
    QCOMPARE(rowOf(scene, "late.txt"), -1);
    QSignalSpy reloads(&scene.model(), &QAbstractItemModel::modelReset);

    scene.messages.answers = {answer};
    dropOnBin(kind);

    const bool ok = answer == MessageService::Ok;
    QVERIFY(scene.messages.failures.empty());
    QCOMPARE(scene.messages.boxes.size(), ok ? 2u : 1u);
    QCOMPARE(scene.messages.boxes[0].prompt, prompt);
    QCOMPARE(scene.messages.boxes[0].buttons, int(MessageService::OkCancel));
    QList<QByteArray> expected = startFiles;
    expected.append("late.txt");
    std::sort(expected.begin(), expected.end());
    if (ok) {
        QCOMPARE(scene.messages.boxes[1].prompt, QStringLiteral("file is deleted"));
        QCOMPARE(scene.messages.boxes[1].buttons, int(MessageService::OkOnly));
        expected.removeOne("target.txt");
    }
    QCOMPARE(testing::folderEntries(scene.folder), expected);

    QVERIFY(reloads.count() >= 1);
    QVERIFY(rowOf(scene, "late.txt") >= 0);
    QCOMPARE(rowOf(scene, "target.txt") >= 0, !ok);
    QCOMPARE(scene.model().rowCount(), expected.size());
    QCOMPARE(testing::enabledFileButtons(form), QStringList());
    QVERIFY(form.isVisible());
    QCOMPARE(form.picBin->pixmap().toImage(), bin);
    QCOMPARE(form.lblmessege->caption(), QStringLiteral("status before the drop"));
}

void BinTest::staleNameDeletesNothing_data()
{
    QTest::addColumn<QByteArray>("renamedTo"); // empty: removed
    QTest::newRow("removed by another program") << QByteArray();
    QTest::newRow("renamed, differing only in case") << QByteArray("Target.txt");
    QTest::newRow("renamed") << QByteArray("moved.txt");
}

// The list names a file the folder no longer holds under that exact name: nothing is deleted,
// the second box says so, and the reloaded list drops the stale row.
void BinTest::staleNameDeletesNothing()
{
    QFETCH(QByteArray, renamedTo);
    Scene &scene = *m_scene;
    clickRow("target.txt");
    if (renamedTo.isEmpty())
        QCOMPARE(::unlink(scene.path("target.txt").constData()), 0);
    else
        QCOMPARE(
            ::rename(scene.path("target.txt").constData(), scene.path(renamedTo).constData()), 0);
    const QList<QByteArray> before = testing::folderEntries(scene.folder);

    dropOnBin(By::Text);

    QVERIFY(scene.messages.failures.empty());
    QCOMPARE(scene.messages.boxes.size(), 2u);
    QCOMPARE(scene.messages.boxes[0].prompt, prompt);
    QCOMPARE(scene.messages.boxes[1].prompt,
        QStringLiteral("no file was deleted: target.txt is no longer in this folder"));
    QCOMPARE(scene.messages.boxes[1].buttons, int(MessageService::OkOnly));
    QCOMPARE(testing::folderEntries(scene.folder), before);
    if (!renamedTo.isEmpty())
        QCOMPARE(testing::readFile(scene.path(renamedTo)), QByteArray("contents of target.txt"));
    QCOMPARE(rowOf(scene, "target.txt"), -1);
    QCOMPARE(scene.model().rowCount(), before.size());
    QCOMPARE(testing::enabledFileButtons(*scene.form), QStringList());
    QVERIFY(scene.form->isVisible());
}

// A file with no write bit is refused even for root: the refusal is reported, the file stays,
// and no box claims a deletion.
void BinTest::readOnlyFileIsKept()
{
    Scene &scene = *m_scene;
    QCOMPARE(::chmod(scene.path("target.txt").constData(), 0444), 0);
    clickRow("target.txt");

    dropOnBin(By::OtherFileUri);

    QCOMPARE(scene.messages.failures.size(), 1u);
    QCOMPARE(scene.messages.failures[0].number(), EACCES);
    QCOMPARE(scene.messages.boxes.size(), 1u);
    QCOMPARE(scene.messages.boxes[0].prompt, prompt);
    QCOMPARE(testing::folderEntries(scene.folder), startFiles);
    QCOMPARE(testing::readFile(scene.path("target.txt")), QByteArray("contents of target.txt"));
    QVERIFY(scene.form->isVisible());
}

void BinTest::noSelectedItem_data()
{
    QTest::addColumn<bool>("emptyFolder");
    QTest::newRow("nothing clicked since the listing") << false;
    QTest::newRow("empty folder") << true;
}

// A drop with no selected item is a failure report, not a question; nothing is deleted and the
// program goes on: a later drop with a file selected works.
void BinTest::noSelectedItem()
{
    QFETCH(bool, emptyFolder);
    Scene &scene = *m_scene;
    widgets::FolderTree *tree = scene.form->Dir1;
    if (emptyFolder) {
        testing::makeFolder(scene.path("empty"));
        tree->setPath(scene.text("empty"));
        QCOMPARE(scene.model().rowCount(), 0);
    }
    QVERIFY(!scene.form->ListView1->hasSelectedItem());

    dropOnBin(By::Text);

    QCOMPARE(scene.messages.failures.size(), 1u);
    QVERIFY(scene.messages.boxes.empty());
    QVERIFY(app::Forms::isLoaded(QStringLiteral("Form1")));
    QVERIFY(scene.form->isVisible());
    QList<QByteArray> expected = startFiles;
    if (emptyFolder)
        expected.append("empty");
    std::sort(expected.begin(), expected.end());
    QCOMPARE(testing::folderEntries(scene.folder), expected);

    if (emptyFolder)
        tree->setPath(scene.text());
    clickRow("target.txt");
    dropOnBin(By::Text);
    QCOMPARE(scene.messages.failures.size(), 1u);
    expected.removeOne("target.txt");
    QCOMPARE(testing::folderEntries(scene.folder), expected);
}

void BinTest::draggedRowCarriesTheFile_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("plain") << QByteArray("plain.txt");
    QTest::newRow("characters a URL reserves") << QByteArray("100% #1 ?a=b&c.txt");
    QTest::newRow("line break") << QByteArray("two\nlines.txt");
    QTest::newRow("UTF-8") << QByteArray("caf\xc3\xa9 \xe6\x97\xa5.txt");
    QTest::newRow("not UTF-8") << QByteArray("caf\xe9.txt");
}

// A dragged row carries its file's exact path as a file URL (as bytes, whatever the name) and
// its name as text.
void BinTest::draggedRowCarriesTheFile()
{
    QFETCH(QByteArray, name);
    Scene &scene = *m_scene;
    testing::writeFile(scene.path(name), "dragged");
    scene.form->Report->trigger();
    const int row = rowOf(scene, name);
    QVERIFY(row >= 0);

    const std::unique_ptr<QMimeData> data(scene.model().mimeData({scene.model().index(row, 0)}));
    QVERIFY(data);
    QVERIFY(data->hasFormat(QStringLiteral("text/uri-list")));
    QCOMPARE(data->urls().size(), 1);
    QByteArray uriList = data->data(QStringLiteral("text/uri-list"));
    QVERIFY(uriList.endsWith("\r\n"));
    uriList.chop(2);
    QVERIFY(!uriList.contains('\n'));
    QVERIFY(uriList.startsWith("file:///"));
    QCOMPARE(QByteArray::fromPercentEncoding(uriList.mid(7)), scene.path(name));
    QCOMPARE(data->text(), platform::displayName(platform::decodeName(name)));
}

// Only a copy is ever offered, so a drop target can never move the file away, and the list
// takes no drops itself.
void BinTest::dragOffersCopyOnly()
{
    filelist::ListView &list = *m_scene->form->ListView1;
    QCOMPARE(list.model().supportedDragActions(), Qt::CopyAction);
    QVERIFY(list.model().mimeTypes().contains(QStringLiteral("text/uri-list")));
    for (QAbstractItemView *view : {static_cast<QAbstractItemView *>(list.reportView()),
             static_cast<QAbstractItemView *>(list.arrangedView())}) {
        QVERIFY(view->dragEnabled());
        QCOMPARE(view->dragDropMode(), QAbstractItemView::DragOnly);
    }
}

QTEST_MAIN(BinTest)
#include "tst_bin.moc"
