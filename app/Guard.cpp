#include "app/Guard.h"

#include "app/Form1.h"
#include "app/Forms.h"
#include "app/Module1.h"
#include "widgets/Guard.h"
#include "widgets/Services.h"

#include <QCoreApplication>

namespace app {

namespace {

void report(const platform::Failure &failure)
{
    if (!failure.isCancellation()) {
        widgets::MessageService::current().reportFailure(failure);
        return;
    }
    if (Form1 *form1 = Forms::loaded<Form1>())
        form1->lblmessege->setCaption(failure.description());
}

void bringBackAWindow()
{
    if (!Forms::anyVisible() && !QCoreApplication::closingDown())
        Module1::ShowMainWindow();
}

void endProgram()
{
    Forms::unload(QStringLiteral("Form1"));
}

} // namespace

void installFailureHandling()
{
    widgets::installGuardEndings({report, bringBackAWindow, endProgram});
}

} // namespace app
