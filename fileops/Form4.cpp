#include "fileops/Form4.h"

#include "app/Form1.h"
#include "app/Forms.h"
#include "app/Module1.h"
#include "platform/FileSystem.h"
#include "widgets/Guard.h"

namespace fileops {

using app::Forms;
using namespace app::Module1;

Form4::Form4()
    : DestinationDialog(tr("Copy To..."), 5070, 6165, {"cmdCopy", tr("Copy")},
        {{Control::Cancel, {3120, 4800, 1815, 495}}, {Control::Confirm, {1200, 4800, 1815, 495}},
            {Control::Tree, {120, 600, 4815, 3465}}, {Control::Drive, {120, 120, 4815, 315}},
            {Control::Label, {120, 4200, 4815, 375}}})
    , cmdCopy(confirmButton())
{
    connect(cmdCopy, &QPushButton::clicked, this, widgets::guarded(this, &Form4::cmdCopy_Click));
}

void Form4::load()
{
    SelectedFileName = Forms::load<app::Form1>().ListView1->SelectedItemText();
    Label1->setCaption(Dir1->Path());
}

void Form4::cmdCopy_Click()
{
    transferSelectedFile(
        [](const platform::FileSystemObject &fileSystem, const QString &source,
            const QString &destination) { fileSystem.CopyFile(source, destination, true); },
        QStringLiteral(" has been Copied to "));
}

} // namespace fileops
