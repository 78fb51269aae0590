#include "fileops/Form3.h"

#include "app/Form1.h"
#include "app/Forms.h"
#include "app/Guard.h"
#include "app/Module1.h"
#include "platform/FileSystem.h"
#include "widgets/Twips.h"

namespace fileops {

using app::Forms;
using namespace app::Module1;

Form3::Form3()
    : DestinationDialog(tr("Move To..."), 5055, 6060, {"cmdMove", tr("Move")},
        {{Control::Drive, {120, 240, 4815, 315}}, {Control::Tree, {120, 720, 4815, 3465}},
            {Control::Confirm, {1200, 4920, 1815, 495}}, {Control::Cancel, {3120, 4920, 1815, 495}},
            {Control::Label, {120, 4320, 4815, 375}}})
    , cmdMove(confirmButton())
{
    connect(cmdMove, &QPushButton::clicked, this, app::guarded(this, &Form3::cmdMove_Click));
}

void Form3::load()
{
    Label1->setCaption(Dir1->Path());
}

void Form3::cmdMove_Click()
{
    const platform::FileSystemObject fileSystem;
    app::Form1 &form1 = Forms::load<app::Form1>();
    // Opened only to refuse the command when the main window's folder has gone; the paths below
    // are built from the window's texts.
    const platform::Folder mainFolderMustExist = fileSystem.GetFolder(form1.Dir1->Path());
    const QString source = form1.lblFilePath->caption();
    const QString destinationFolder = Label1->caption();
    const QString destination = destinationFolder + QLatin1Char('/') + SelectedFileName;
    fileSystem.MoveFile(source, destination);
    LoadFileList(form1.Dir1->Path());
    form1.lblmessege->setCaption(
        SelectedFileName + QStringLiteral(" has been moved to ") + Label1->caption());
    ShowMainWindow();
}

} // namespace fileops
