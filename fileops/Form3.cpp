#include "fileops/Form3.h"

#include "app/Form1.h"
#include "app/Forms.h"
#include "app/Guard.h"
#include "app/Module1.h"
#include "app/Twips.h"
#include "platform/FileSystem.h"

namespace fileops {

using app::Forms;
using namespace app::Module1;

Form3::Form3()
    : Dialog(tr("Move To..."), 5055, 6060)
{
    Drive1 = new app::DriveSelector(this);
    app::place(Drive1, "Drive1", {120, 240, 4815, 315});
    Dir1 = new app::FolderTree(this);
    app::place(Dir1, "Dir1", {120, 720, 4815, 3465});
    cmdMove = new QPushButton(tr("Move"), this);
    app::place(cmdMove, "cmdMove", {1200, 4920, 1815, 495});
    cmdcancel = new QPushButton(tr("Cancel"), this);
    app::place(cmdcancel, "cmdcancel", {3120, 4920, 1815, 495});
    Label1 = new app::Caption(this);
    app::place(Label1, "Label1", {120, 4320, 4815, 375});
    setTabOrder(Drive1, Dir1);
    setTabOrder(Dir1, cmdMove);
    setTabOrder(cmdMove, cmdcancel);
    setButtons(cmdMove, cmdcancel);

    Dir1->Change = app::guarded(this, &Form3::Dir1_Change);
    connect(Drive1, &app::DriveSelector::Change, this, app::guarded(this, &Form3::Drive1_Change));
    connect(cmdMove, &QPushButton::clicked, this, app::guarded(this, &Form3::cmdMove_Click));
    connect(cmdcancel, &QPushButton::clicked, this, app::guarded(this, &Form3::cmdcancel_Click));
}

void Form3::load()
{
    Label1->setCaption(Dir1->Path());
}

void Form3::Dir1_Change()
{
    Label1->setCaption(Dir1->Path());
}

// A volume that is not ready is passed over without a word.
void Form3::Drive1_Change()
{
    try {
        Dir1->setPath(Drive1->Drive());
    } catch (const platform::Failure &) { }
}

void Form3::cmdMove_Click()
{
    const platform::FileSystemObject fileSystem;
    app::Form1 &form1 = Forms::load<app::Form1>();
    const platform::Folder folder = fileSystem.GetFolder(form1.Dir1->Path());
    const QString source = form1.lblFilePath->caption();
    const QString destinationFolder = Label1->caption();
    const QString destination = destinationFolder + QLatin1Char('/') + SelectedFileName;
    fileSystem.MoveFile(source, destination);
    LoadFileList(form1.Dir1->Path());
    form1.lblmessege->setCaption(
        SelectedFileName + QStringLiteral(" has been moved to ") + Label1->caption());
    ShowMainWindow();
}

void Form3::cmdcancel_Click()
{
    ShowMainWindow();
}

} // namespace fileops

namespace app {

// The dialog is shown before the selected name is taken. When there is no selected file, the
// dialog must not stay open with the name of an earlier command, so the main window comes back
// as Cancel would bring it and the failure is reported.
void Form1::cmdMove_Click()
{
    hide();
    Forms::show<fileops::Form3>();
    try {
        Module1::SelectedFileName = ListView1->SelectedItemText();
    } catch (const platform::Failure &) {
        Module1::ShowMainWindow();
        throw;
    }
}

} // namespace app
