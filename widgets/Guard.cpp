#include "widgets/Guard.h"

#include "widgets/CallWaiting.h"
#include "widgets/Services.h"

#include <QCoreApplication>

#include <optional>

namespace widgets {

namespace {

int handlerDepth = 0;

void reportFailure(const platform::Failure &failure)
{
    if (!failure.isCancellation())
        MessageService::current().reportFailure(failure);
}

// The endings in force; made on first use, so that an installation during static
// initialization (the tests') is never overwritten.
GuardEndings &endings()
{
    static GuardEndings installed {reportFailure, nullptr, nullptr};
    return installed;
}

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

} // namespace

void installGuardEndings(GuardEndings installed)
{
    endings() = std::move(installed);
}

void runGuarded(const std::function<void()> &handler)
{
    // Input that reaches a handler while another one waits for a long call is dropped: no
    // handler starts inside another.
    if (callPending())
        return;
    if (handlerDepth > 0) {
        handler();
        return;
    }
    ++handlerDepth;
    std::optional<platform::Failure> failure = attempt(handler);
    --handlerDepth;
    // Closed while the handler waited: its call was cancelled, and the program ends now that the
    // handler has unwound, without a word about the cancelled call.
    const GuardEndings &ending = endings();
    if (quitRequested()) {
        if (ending.quit)
            ending.quit();
        return;
    }
    if (!failure)
        return;
    ending.report(*failure);
    if (!ending.recover)
        return;
    ++handlerDepth;
    failure = attempt(ending.recover);
    --handlerDepth;
    if (failure)
        ending.report(*failure);
}

} // namespace widgets
