// The main window's record of the selected file: a click on a file writes its full path under
// the list and enables the file commands.

#include "app/Form1.h"
#include "app/Module1.h"

namespace app {

void Form1::ListView1_ItemClick()
{
    const QString folder = txtpath->text();
    const QString name = ListView1->SelectedItemText();
    lblFilePath->setCaption(folder + QLatin1Char('/') + name);
    Module1::EnableFileButtons();
    lblmessege->setCaption(QString());
}

} // namespace app
