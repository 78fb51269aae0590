// Deleting a file by dropping anything on the bin: after a confirmation, the file named by the
// list's selected item is removed from the main window's folder for good (not to the trash).

#include "app/Form1.h"
#include "app/Module1.h"
#include "platform/FileSystem.h"
#include "platform/Services.h"

namespace app {

namespace {

QString confirmationText(const QString &name)
{
    return QStringLiteral("are you sure you want to delete ") + name
        + QStringLiteral(" (please note the file will not appear in the recycling bin)");
}

// Walks the whole folder and deletes every file whose name is exactly the selected item's text.
// Returns whether one was deleted.
bool deleteSelectedFile(const Form1 &form)
{
    const platform::FileSystemObject fileSystem;
    const platform::Folder folder = fileSystem.GetFolder(form.Dir1->Path());
    bool deleted = false;
    for (const platform::File &file : folder.Files()) {
        if (file.Name() == form.ListView1->SelectedItemText()) {
            file.Delete(false);
            deleted = true;
        }
    }
    return deleted;
}

} // namespace

void Form1::picBin_Drop()
{
    auto &messages = platform::MessageService::current();
    const QString name = ListView1->SelectedItemText();
    if (messages.MsgBox(confirmationText(name), platform::MessageService::OkCancel)
        == platform::MessageService::Ok) {
        // Say what happened: a name that no longer matches any file deleted nothing.
        if (deleteSelectedFile(*this))
            messages.MsgBox(QStringLiteral("file is deleted"), platform::MessageService::OkOnly);
        else
            messages.MsgBox(QStringLiteral("no file was deleted: ") + name
                    + QStringLiteral(" is no longer in this folder"),
                platform::MessageService::OkOnly);
    }
    Module1::LoadFileList(Dir1->Path());
    Module1::ShowMainWindow();
}

} // namespace app
