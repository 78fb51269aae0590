#include "fileops/Form4.h"

#include "app/Form1.h"
#include "app/Forms.h"
#include "app/Guard.h"
#include "app/Module1.h"
#include "app/Twips.h"
#include "platform/FileSystem.h"

namespace fileops {

using app::Forms;
using namespace app::Module1;

Form4::Form4()
    : Dialog(tr("Copy To..."), 5070, 6165)
{
    cmdcancel = new QPushButton(tr("Cancel"), this);
    app::place(cmdcancel, "cmdcancel", {3120, 4800, 1815, 495});
    cmdCopy = new QPushButton(tr("Copy"), this);
    app::place(cmdCopy, "cmdCopy", {1200, 4800, 1815, 495});
    Dir1 = new app::FolderTree(this);
    app::place(Dir1, "Dir1", {120, 600, 4815, 3465});
    Drive1 = new app::DriveSelector(this);
    app::place(Drive1, "Drive1", {120, 120, 4815, 315});
    Label1 = new app::Caption(this);
    app::place(Label1, "Label1", {120, 4200, 4815, 375});
    setTabOrder(cmdcancel, cmdCopy);
    setTabOrder(cmdCopy, Dir1);
    setTabOrder(Dir1, Drive1);
    setButtons(cmdCopy, cmdcancel);

    Dir1->Change = app::guarded(this, &Form4::Dir1_Change);
    connect(Drive1, &app::DriveSelector::Change, this, app::guarded(this, &Form4::Drive1_Change));
    connect(cmdCopy, &QPushButton::clicked, this, app::guarded(this, &Form4::cmdCopy_Click));
    connect(cmdcancel, &QPushButton::clicked, this, app::guarded(this, &Form4::cmdcancel_Click));
}

void Form4::load()
{
    SelectedFileName = Forms::load<app::Form1>().ListView1->SelectedItemText();
    Label1->setCaption(Dir1->Path());
}

void Form4::Dir1_Change()
{
    Label1->setCaption(Dir1->Path());
}

// A volume that is not ready is passed over without a word.
void Form4::Drive1_Change()
{
    try {
        Dir1->setPath(Drive1->Drive());
    } catch (const platform::Failure &) { }
}

void Form4::cmdCopy_Click()
{
    const platform::FileSystemObject fileSystem;
    app::Form1 &form1 = Forms::load<app::Form1>();
    const platform::Folder folder = fileSystem.GetFolder(form1.Dir1->Path());
    const QString source = form1.lblFilePath->caption();
    const QString destination = Label1->caption() + QLatin1Char('/') + SelectedFileName;
    fileSystem.CopyFile(source, destination, true);
    LoadFileList(form1.Dir1->Path());
    form1.lblmessege->setCaption(
        SelectedFileName + QStringLiteral(" has been Copied to ") + Label1->caption());
    ShowMainWindow();
}

void Form4::cmdcancel_Click()
{
    ShowMainWindow();
}

} // namespace fileops

namespace app {

void Form1::cmdCopy_Click()
{
    hide();
    Forms::show<fileops::Form4>();
}

} // namespace app
