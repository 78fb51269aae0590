#include "app/Form1.h"

#include "app/Forms.h"
#include "app/Module1.h"
#include "platform/NameCodec.h"
#include "widgets/CallWaiting.h"
#include "widgets/Guard.h"
#include "widgets/Services.h"
#include "widgets/Twips.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLayout>
#include <QMenuBar>
#include <QScreen>
#include <QShortcut>

// The pictures are compiled into the static library; a static library's resources must be
// registered by hand.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace app {

using widgets::guarded;
using widgets::runGuarded;

Form1::Form1()
{
    initResources();
    setWindowTitle(widgets::applicationTitle());
    // The window keeps its size: its frame offers no maximize button.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(widgets::twipsToPixels(13800), widgets::twipsToPixels(8070));
    setCentralWidget(client);
    buildControls(client);
    buildMenus();
    connectHandlers();
    // The client area keeps its size; the window is exactly the menu bar and the client area.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void Form1::buildControls(QWidget *client)
{
    txtpath = new QLineEdit(client);
    widgets::place(txtpath, "txtpath", {3120, 0, 10335, 405}, tr("Current folder"));
    Dir1 = new widgets::FolderTree(client);
    widgets::place(Dir1, "Dir1", {0, 360, 3015, 7965});
    Drive1 = new widgets::DriveSelector(client);
    widgets::place(Drive1, "Drive1", {0, 0, 3015, 315});
    ListView1 = new filelist::ListView(client);
    widgets::place(ListView1, "ListView1", {3120, 480, 10335, 5895});
    lblFilePath = new widgets::Caption(client);
    widgets::place(lblFilePath, "lblFilePath", {3120, 6600, 6735, 615}, tr("Selected file"));
    lblFilePath->setWordWrap(true);
    cmdopen = new QPushButton(tr("Open"), client);
    widgets::place(cmdopen, "cmdopen", {11160, 6600, 1095, 375});
    picBin = new BinPicture(client);
    widgets::place(picBin, "picBin", {12480, 6600, 1020, 1395});
    cmdrename = new QPushButton(tr("Rename"), client);
    widgets::place(cmdrename, "cmdrename", {11160, 7080, 1095, 375});
    cmdMove = new QPushButton(tr("Move"), client);
    widgets::place(cmdMove, "cmdMove", {9960, 6600, 1095, 375});
    lblmessege = new widgets::Caption(client);
    widgets::place(lblmessege, "lblmessege", {3000, 7320, 6855, 255}, tr("Status"));
    QFont statusFont(QStringLiteral("Arial"));
    statusFont.setPointSizeF(8.25);
    statusFont.setBold(true);
    statusFont.setUnderline(true);
    lblmessege->setFont(statusFont);
    cmdCopy = new QPushButton(tr("Copy"), client);
    widgets::place(cmdCopy, "cmdCopy", {9960, 7080, 1095, 375});

    Imgbinlst = new ImageList(this);
    Imgbinlst->setObjectName(QStringLiteral("Imgbinlst"));
    Imgbinlst->add(QStringLiteral("bin"), QStringLiteral(":/bin.png"));
    ImageList1 = new ImageList(this);
    ImageList1->setObjectName(QStringLiteral("ImageList1"));
    ImageList1->add(QStringLiteral("a"), QStringLiteral(":/listimage.png"));

    // Enter on a focused button presses it, as Space does.
    for (QPushButton *button : {cmdopen, cmdrename, cmdMove, cmdCopy})
        button->setAutoDefault(true);

    QWidget *tabOrder[]
        = {txtpath, Dir1, Drive1, ListView1, cmdopen, picBin, cmdrename, cmdMove, cmdCopy};
    for (size_t k = 1; k < std::size(tabOrder); ++k)
        setTabOrder(tabOrder[k - 1], tabOrder[k]);
}

void Form1::buildMenus()
{
    File = menuBar()->addMenu(tr("&File"));
    File->setObjectName(QStringLiteral("File"));
    Close = File->addAction(tr("&Close"));
    Close->setObjectName(QStringLiteral("Close"));
    View = menuBar()->addMenu(tr("&View"));
    View->setObjectName(QStringLiteral("View"));
    Report = View->addAction(tr("&Report"));
    Report->setObjectName(QStringLiteral("Report"));
    Icon = View->addAction(tr("&Icon"));
    Icon->setObjectName(QStringLiteral("Icon"));
    Small = View->addAction(tr("&Small Icons"));
    Small->setObjectName(QStringLiteral("Small"));
    listit = View->addAction(tr("&List"));
    listit->setObjectName(QStringLiteral("listit"));
}

// The one place where the main window's events meet their handlers, each through the guard.
void Form1::connectHandlers()
{
    connect(Close, &QAction::triggered, this, guarded(this, &Form1::Close_Click));
    Dir1->Change = guarded(this, &Form1::Dir1_Change);
    connect(Dir1, &widgets::FolderTree::RowOpened, this,
        [this](const QString &path) { runGuarded([this, &path] { Dir1->setPath(path); }); });
    connect(Drive1, &widgets::DriveSelector::Change, this, guarded(this, &Form1::Drive1_Change));
    connect(txtpath, &QLineEdit::returnPressed, this, guarded(this, &Form1::txtpath_ReturnPressed));
    txtpath->installEventFilter(this);
    connect(ListView1, &filelist::ListView::ItemClick, this,
        guarded(this, &Form1::ListView1_ItemClick));
    connect(
        ListView1, &filelist::ListView::DblClick, this, guarded(this, &Form1::ListView1_DblClick));
    connect(ListView1, &filelist::ListView::ColumnClick, this,
        [this](int index) { runGuarded([this, index] { ListView1_ColumnClick(index); }); });
    connect(ListView1, &filelist::ListView::SelectionLost, this,
        guarded(this, &Form1::ListView1_SelectionLost));
    connect(Report, &QAction::triggered, this, guarded(this, &Form1::Report_Click));
    connect(Icon, &QAction::triggered, this, guarded(this, &Form1::Icon_Click));
    connect(Small, &QAction::triggered, this, guarded(this, &Form1::Small_Click));
    connect(listit, &QAction::triggered, this, guarded(this, &Form1::listit_Click));
    connect(cmdopen, &QPushButton::clicked, this, guarded(this, &Form1::cmdopen_Click));
    connect(cmdrename, &QPushButton::clicked, this, guarded(this, &Form1::cmdrename_Click));
    connect(cmdCopy, &QPushButton::clicked, this, guarded(this, &Form1::cmdCopy_Click));
    connect(cmdMove, &QPushButton::clicked, this, guarded(this, &Form1::cmdMove_Click));
    connect(picBin, &BinPicture::Drop, this, guarded(this, &Form1::picBin_Drop));
    connect(ListView1, &filelist::ListView::DeleteKey, this,
        guarded(this, &Form1::ListView1_DeleteKey));
    // F2 presses Rename; a click on a disabled button does nothing.
    auto *renameKey = new QShortcut(QKeySequence(Qt::Key_F2), this);
    connect(renameKey, &QShortcut::activated, cmdrename, &QPushButton::click);
    // F5 lists the folder again; Ctrl+1 to Ctrl+5 click the column headers, in their order.
    auto *reloadKey = new QShortcut(QKeySequence(Qt::Key_F5), this);
    connect(reloadKey, &QShortcut::activated, this, guarded(this, &Form1::ListView1_Refresh));
    for (int section = 0; section < 5; ++section) {
        auto *sortKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + section)), this);
        connect(sortKey, &QShortcut::activated, ListView1,
            [this, section] { ListView1->clickHeader(section); });
    }
}

// The window may already be on screen while the start folder is read, and stays when that
// fails; the bin and the disabled buttons are in place before the listing, so that the window
// never shows without its bin or with commands for a file that is not selected.
void Form1::load()
{
    picBin->setPixmap(Imgbinlst->image(1));
    Module1::DisableFileButtons();
    Module1::LoadFileList(Dir1->Path());
    setPathBox(Dir1->Path());
}

void Form1::Close_Click()
{
    Forms::unload(QLatin1String(formName));
}

// The window's own close control does what File > Close does. While a handler waits for a long
// call, it cancels the call first; the program ends once that handler has unwound.
void Form1::closeEvent(QCloseEvent *event)
{
    event->ignore();
    if (widgets::callPending()) {
        widgets::requestQuit();
        return;
    }
    runGuarded([this] { Close_Click(); });
}

void Form1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_centred)
        return;
    m_centred = true;
    if (const QScreen *display = screen())
        move(display->availableGeometry().center() - rect().center());
}

// The path box's Esc and leaving it are events of their own. A context menu taking the focus for
// a moment is not leaving the box.
bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != txtpath)
        return QMainWindow::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        runGuarded([this] { txtpath_KeyEscape(); });
        return true;
    }
    if (event->type() == QEvent::FocusOut
        && static_cast<QFocusEvent *>(event)->reason() != Qt::PopupFocusReason)
        runGuarded([this] { txtpath_LostFocus(); });
    return false;
}

// The path box is an address bar: what is typed there counts only once Enter opens it, so that
// a click never builds a file's path from text that is not the listed folder. The box shows the
// listed folder again first: a folder that cannot be opened changes nothing.
void Form1::txtpath_ReturnPressed()
{
    const QString typed = pathBoxFolder();
    showListedFolder();
    Dir1->setPath(typed);
}

void Form1::txtpath_KeyEscape()
{
    showListedFolder();
}

void Form1::txtpath_LostFocus()
{
    showListedFolder();
}

void Form1::showListedFolder()
{
    setPathBox(Dir1->Path());
}

// The box shows the path with its bidirectional controls as visible marks, as the tree shows
// names, so that a folder's name cannot pass for another ("photos" U+202E "gpj.exe" would read
// "photosexe.jpg").
void Form1::setPathBox(const QString &path)
{
    m_pathBoxPath = path;
    txtpath->setText(platform::markedName(path));
}

QString Form1::pathBoxFolder() const
{
    return platform::editedName(m_pathBoxPath, txtpath->text());
}

void Form1::Dir1_Change()
{
    Module1::LoadFileList(Dir1->Path());
    setPathBox(Dir1->Path());
    Module1::DisableFileButtons();
    lblmessege->setCaption(QString());
}

// A volume that is not ready is passed over without a word: the trap swallows any failure of
// the one assignment, including one inside the folder change it raises.
void Form1::Drive1_Change()
{
    try {
        Dir1->setPath(Drive1->Drive());
    } catch (const platform::Failure &) { }
    Module1::DisableFileButtons();
    lblmessege->setCaption(QString());
}

void Form1::ListView1_ItemClick()
{
    const QString folder = pathBoxFolder();
    const QString name = ListView1->SelectedItemText();
    lblFilePath->setCaption(folder + QLatin1Char('/') + name);
    Module1::EnableFileButtons();
    lblmessege->setCaption(QString());
}

void Form1::ListView1_ColumnClick(int index)
{
    ListView1->setSortKey(filelist::sortKeyForHeader(index));
}

// A reload found the selected file no longer there: the commands for it go off with its row.
void Form1::ListView1_SelectionLost()
{
    Module1::DisableFileButtons();
}

// Delete in the list asks what a drop on the bin asks, and does what it does: the bin stays the
// one way to delete.
void Form1::ListView1_DeleteKey()
{
    picBin_Drop();
}

// F5 lists the folder again, as a view command does, leaving the arrangement as it is.
void Form1::ListView1_Refresh()
{
    Module1::LoadFileList(Dir1->Path());
}

// Each view command arranges the list and lists the folder again.
void Form1::changeView(int view)
{
    ListView1->setView(view);
    Module1::LoadFileList(Dir1->Path());
}

void Form1::Report_Click()
{
    changeView(filelist::ListView::Report);
}

void Form1::Icon_Click()
{
    changeView(filelist::ListView::LargeIcons);
}

void Form1::Small_Click()
{
    changeView(filelist::ListView::SmallIcons);
}

void Form1::listit_Click()
{
    changeView(filelist::ListView::List);
}

} // namespace app
