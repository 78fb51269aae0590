// The main window's file commands: Open, Rename, Copy and Move on the selected file, and delete
// by a drop on the bin.

#include "app/Form1.h"
#include "app/Forms.h"
#include "app/Module1.h"
#include "fileops/BinDelete.h"
#include "fileops/Form2.h"
#include "fileops/Form3.h"
#include "fileops/Form4.h"
#include "platform/NameCodec.h"
#include "widgets/Services.h"

namespace app {

namespace {

// The path under the list goes to the open service as it stands; the program does not wait for
// the application and does not look at the outcome.
void openSelectedFile(const Form1 &form)
{
    widgets::OpenService::current().open(form.lblFilePath->caption());
}

QString deleteQuestion(const QString &name)
{
    return QStringLiteral("are you sure you want to delete ") + name
        + QStringLiteral(" (please note the file will not appear in the recycling bin)");
}

} // namespace

void Form1::cmdopen_Click()
{
    openSelectedFile(*this);
}

void Form1::ListView1_DblClick()
{
    openSelectedFile(*this);
}

void Form1::cmdrename_Click()
{
    Module1::SelectedFileName = ListView1->SelectedItemText();
    hide();
    fileops::Form2 &form2 = Forms::show<fileops::Form2>();
    form2.txtnew->setText(platform::markedName(Module1::SelectedFileName));
    form2.selectNameWithoutExtension();
}

void Form1::cmdCopy_Click()
{
    hide();
    Forms::show<fileops::Form4>();
}

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

// Whatever is dropped, the file deleted is the list's selected one, after a question. The
// answer box says what happened: a name that no longer matches any file deleted nothing.
void Form1::picBin_Drop()
{
    auto &messages = widgets::MessageService::current();
    const QString name = ListView1->SelectedItemText();
    if (messages.MsgBox(deleteQuestion(name), widgets::MessageService::OkCancel)
        == widgets::MessageService::Ok) {
        if (fileops::deleteFilesNamed(Dir1->Path(), ListView1->SelectedItemText()))
            messages.MsgBox(QStringLiteral("file is deleted"), widgets::MessageService::OkOnly);
        else
            messages.MsgBox(QStringLiteral("no file was deleted: ") + name
                    + QStringLiteral(" is no longer in this folder"),
                widgets::MessageService::OkOnly);
    }
    Module1::LoadFileList(Dir1->Path());
    Module1::ShowMainWindow();
}

} // namespace app
