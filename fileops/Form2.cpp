#include "fileops/Form2.h"

#include "app/Form1.h"
#include "app/Forms.h"
#include "app/Module1.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "platform/NameCodec.h"
#include "widgets/Guard.h"
#include "widgets/Twips.h"

#include <cerrno>

namespace fileops {

using app::Forms;
using namespace app::Module1;

namespace {

// The rename is made by a move; its refusal is worded as the rename it is, with the names the
// user typed and saw. The number, and any reason but a name that is taken, stay the move's.
platform::Failure renameRefused(
    const platform::Failure &move, const QString &from, const QString &to)
{
    if (to.isEmpty())
        return platform::Failure::refused(
            move.number(), Form2::tr("Cannot rename"), {from}, Form2::tr("a new name is needed"));
    const QString why
        = move.number() == EEXIST ? Form2::tr("a file of that name already exists") : move.reason();
    return platform::Failure::refused(move.number(), Form2::tr("Cannot rename"), {from, to}, why);
}

} // namespace

Form2::Form2()
    : Dialog(tr("Change the File Name to..."), 5055, 1260)
{
    txtnew = new QLineEdit(this);
    widgets::place(txtnew, "txtnew", {240, 240, 4575, 375}, tr("New file name"));
    cmdChange = new QPushButton(tr("Change"), this);
    widgets::place(cmdChange, "cmdChange", {1560, 720, 1575, 375});
    cmdcancel = new QPushButton(tr("Cancel"), this);
    widgets::place(cmdcancel, "cmdcancel", {3240, 720, 1575, 375});
    setTabOrder(txtnew, cmdChange);
    setTabOrder(cmdChange, cmdcancel);
    setButtons(cmdChange, cmdcancel);

    connect(
        cmdChange, &QPushButton::clicked, this, widgets::guarded(this, &Form2::cmdChange_Click));
    connect(
        cmdcancel, &QPushButton::clicked, this, widgets::guarded(this, &Form2::cmdcancel_Click));
}

// Renames the file inside the main window's folder and goes back to the main window by its own
// steps, loading the list once. The box shows the name with its bidi controls as marks; what the
// user left unchanged keeps the name's exact characters.
void Form2::cmdChange_Click()
{
    NewFileName = platform::editedName(SelectedFileName, txtnew->text());
    const platform::FileSystemObject fileSystem;
    app::Form1 &form1 = Forms::load<app::Form1>();
    const platform::Folder mainFolder = mainFolderMustExist(fileSystem);
    const QString folderText = form1.pathBoxFolder();
    const QString newPath = folderText + QLatin1Char('/') + NewFileName;
    const QString oldPath = folderText + QLatin1Char('/') + SelectedFileName;
    try {
        fileSystem.MoveFile(oldPath, newPath);
    } catch (const platform::Failure &move) {
        if (move.isCancellation())
            throw;
        throw renameRefused(move, SelectedFileName, NewFileName);
    }
    LoadFileList(form1.Dir1->Path());
    form1.lblmessege->setCaption(
        SelectedFileName + QStringLiteral(" has been renamed to ") + NewFileName);
    Forms::unload(QLatin1String(formName));
    DisableFileButtons();
    form1.show();
    form1.ListView1->setFocus();
}

void Form2::selectNameWithoutExtension()
{
    const QString name = txtnew->text();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    txtnew->setSelection(0, int(dot > 0 ? dot : name.size()));
}

void Form2::cmdcancel_Click()
{
    ShowMainWindow();
}

} // namespace fileops
