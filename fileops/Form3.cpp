#include "fileops/Form3.h"

#include "platform/FileSystem.h"
#include "widgets/Guard.h"

namespace fileops {

Form3::Form3()
    : DestinationDialog(tr("Move To..."), 5055, 6060, {"cmdMove", tr("Move")},
        {{Control::Drive, {120, 240, 4815, 315}}, {Control::Tree, {120, 720, 4815, 3465}},
            {Control::Confirm, {1200, 4920, 1815, 495}}, {Control::Cancel, {3120, 4920, 1815, 495}},
            {Control::Label, {120, 4320, 4815, 375}}})
    , cmdMove(confirmButton())
{
    connect(cmdMove, &QPushButton::clicked, this, widgets::guarded(this, &Form3::cmdMove_Click));
}

void Form3::load()
{
    Label1->setCaption(Dir1->Path());
}

void Form3::cmdMove_Click()
{
    transferSelectedFile(
        [](const platform::FileSystemObject &fileSystem, const QString &source,
            const QString &destination) { fileSystem.MoveFile(source, destination); },
        QStringLiteral(" has been moved to "));
}

} // namespace fileops
