#include "app/Module1.h"

#include "app/Form1.h"
#include "app/Forms.h"
#include "filelist/LoadFileList.h"

namespace app::Module1 {

QString SelectedFileName;
QString NewFileName;

void LoadFileList(QString path)
{
    filelist::loadFileList(*Forms::load<Form1>().ListView1, std::move(path));
}

void ShowMainWindow()
{
    Forms::unload(QStringLiteral("Form2"));
    Forms::unload(QStringLiteral("Form3"));
    Forms::unload(QStringLiteral("Form4"));
    Form1 &form1 = Forms::show<Form1>();
    LoadFileList(form1.Dir1->Path());
    DisableFileButtons();
    form1.ListView1->setFocus();
}

namespace {

Form1 &setFileButtonsEnabled(bool enabled)
{
    Form1 &form1 = Forms::load<Form1>();
    form1.cmdMove->setEnabled(enabled);
    form1.cmdopen->setEnabled(enabled);
    form1.cmdrename->setEnabled(enabled);
    form1.cmdCopy->setEnabled(enabled);
    return form1;
}

} // namespace

// A row shows as selected exactly while the buttons are on: with them goes the list's row.
void DisableFileButtons()
{
    setFileButtonsEnabled(false).ListView1->selectRow(-1);
}

void EnableFileButtons()
{
    setFileButtonsEnabled(true);
}

} // namespace app::Module1
