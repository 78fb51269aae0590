// Opening the selected file with the desktop's default application, from the Open button or a
// double click on the list. The path goes to the open service as it stands under the list; the
// program does not wait for the application and does not look at the outcome.

#include "app/Form1.h"
#include "platform/Services.h"

namespace app {

namespace {

void openSelectedFile(const Form1 &form)
{
    platform::OpenService::current().open(form.lblFilePath->caption());
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

} // namespace app
