#include "fileops/DestinationDialog.h"

#include "app/Form1.h"
#include "app/Forms.h"
#include "app/Module1.h"
#include "platform/Failure.h"
#include "widgets/Guard.h"

namespace fileops {

DestinationDialog::DestinationDialog(const QString &caption, int clientWidthTwips,
    int clientHeightTwips, const Confirm &confirm, std::initializer_list<Placement> tabOrder)
    : Dialog(caption, clientWidthTwips, clientHeightTwips)
{
    for (const Placement &placement : tabOrder) {
        switch (placement.control) {
        case Control::Drive:
            Drive1 = new widgets::DriveSelector(this);
            widgets::place(Drive1, "Drive1", placement.rect);
            break;
        case Control::Tree:
            Dir1 = new widgets::FolderTree(this);
            widgets::place(Dir1, "Dir1", placement.rect);
            break;
        case Control::Confirm:
            m_confirm = new QPushButton(confirm.caption, this);
            widgets::place(m_confirm, confirm.name, placement.rect);
            break;
        case Control::Cancel:
            cmdcancel = new QPushButton(tr("Cancel"), this);
            widgets::place(cmdcancel, "cmdcancel", placement.rect);
            break;
        case Control::Label:
            Label1 = new widgets::Caption(this);
            widgets::place(Label1, "Label1", placement.rect, tr("Destination folder"));
            break;
        }
    }
    setButtons(m_confirm, cmdcancel);

    Dir1->Change = widgets::guarded(this, &DestinationDialog::Dir1_Change);
    connect(Dir1, &widgets::FolderTree::RowOpened, this, [this](const QString &path) {
        widgets::runGuarded([this, &path] { Dir1->setPath(path); });
    });
    connect(Drive1, &widgets::DriveSelector::Change, this,
        widgets::guarded(this, &DestinationDialog::Drive1_Change));
    connect(cmdcancel, &QPushButton::clicked, this,
        widgets::guarded(this, &DestinationDialog::cmdcancel_Click));
}

void DestinationDialog::Dir1_Change()
{
    Label1->setCaption(Dir1->Path());
}

// A volume that is not ready is passed over without a word; nothing else changes.
void DestinationDialog::Drive1_Change()
{
    try {
        Dir1->setPath(Drive1->Drive());
    } catch (const platform::Failure &) { }
}

void DestinationDialog::transferSelectedFile(Transfer transfer, const QString &done)
{
    using namespace app::Module1;
    const platform::FileSystemObject fileSystem;
    app::Form1 &form1 = app::Forms::load<app::Form1>();
    const platform::Folder mainFolder = mainFolderMustExist(fileSystem);
    const QString source = form1.lblFilePath->caption();
    const QString destination = Label1->caption() + QLatin1Char('/') + SelectedFileName;
    transfer(fileSystem, source, destination);
    LoadFileList(form1.Dir1->Path());
    form1.lblmessege->setCaption(SelectedFileName + done + Label1->caption());
    ShowMainWindow();
}

void DestinationDialog::cmdcancel_Click()
{
    app::Module1::ShowMainWindow();
}

} // namespace fileops
