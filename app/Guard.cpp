#include "app/Guard.h"

#include "app/Form1.h"
#include "app/Forms.h"
#include "app/Module1.h"
#include "platform/Failure.h"
#include "widgets/CallWaiting.h"
#include "widgets/Services.h"

#include <QCoreApplication>

#include <optional>

namespace app {

namespace {

int handlerDepth = 0;

// Runs body and hands back the failure it raised, if any.
std::optional<platform::Failure> attempt(const std::function<void()> &body)
{
    try {
        body();
    } catch (const platform::Failure &failure) {
        return failure;
    } catch (const std::exception &error) {
        return platform::Failure::refused(0, QCoreApplication::translate("Guard", "Failure"), {},
            QString::fromLocal8Bit(error.what()));
    }
    return std::nullopt;
}

// A failure goes to the failure report. A call the user cancelled is no error: the status line
// says what was cancelled and what was left.
void report(const platform::Failure &failure)
{
    if (!failure.isCancellation()) {
        widgets::MessageService::current().reportFailure(failure);
        return;
    }
    if (Form1 *form1 = Forms::loaded<Form1>())
        form1->lblmessege->setCaption(failure.description());
}

} // namespace

void runGuarded(const std::function<void()> &handler)
{
    // Input that reaches a handler while another one waits for a long call is dropped: no
    // handler starts inside another.
    if (widgets::callPending())
        return;
    if (handlerDepth > 0) {
        handler();
        return;
    }
    ++handlerDepth;
    std::optional<platform::Failure> failure = attempt(handler);
    --handlerDepth;
    // The main window was closed while the handler waited: its call was cancelled, and the
    // program ends now that the handler has unwound, without a word about the cancelled call.
    if (widgets::quitRequested()) {
        Forms::unload(QStringLiteral("Form1"));
        return;
    }
    if (!failure)
        return;
    report(*failure);
    if (Forms::anyVisible() || QCoreApplication::closingDown())
        return;
    ++handlerDepth;
    failure = attempt([] { Module1::ShowMainWindow(); });
    --handlerDepth;
    if (failure)
        report(*failure);
}

} // namespace app
