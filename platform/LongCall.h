#pragma once

#include "platform/CallState.h"
#include "platform/Failure.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

namespace platform {

// What a long call is doing, in the words the progress box shows ("Copying notes.txt to
// /backup"), the unit its progress is counted in, and what the status line says when the user
// cancels it: while nothing the call does can still happen ("copying notes.txt to /backup was
// cancelled; nothing was copied"), and once it has passed its point of return and may still
// complete ("...; the copy may still be put in place when the volume answers"; empty for a
// call that has no such point).
struct Activity
{
    enum class Unit { None, Bytes, Entries };

    QString doing;
    Unit unit;
    QString cancelled;
    QString mayStillComplete = {};
};

// Runs call, which may block on a file system, on a worker thread, while the calling handler
// waits for it in a local event loop: the handler's steps stay in their order, and it gets the
// call's result, or the Failure the call throws, exactly as if it had made the call itself.
//
// While the call is pending, the program's windows repaint and answer the window manager but
// take no user input, and no handler can start (see callPending). A wait cursor shows after
// 100 ms; after 400 ms a progress box says what is being done, shows how far it got, and offers
// Cancel (and Esc). Cancel asks the call to stop: a call that checks cancelRequested() cleans up
// and ends with an ECANCELED failure; a call that does not stop within a moment is abandoned.
// Either way the handler gets Failure::cancellation with the activity's words (which of the two
// texts depends on whether the call had passed its point of return). A call that finishes in
// spite of the Cancel, having passed that point, hands back its result as usual.
//
// call runs on another thread and may outlive the handler (when abandoned), so it must hold
// copies of what it needs, never references to the handler's locals or to widgets. Whatever it
// returns must own what it opened (a descriptor in an object that closes it): the result of an
// abandoned call is destroyed when it comes. Outside the thread of the application's windows
// (or without an application), call runs directly.
void runLongBody(const Activity &activity, std::function<void()> body);

template<class Call> auto runLong(const Activity &activity, Call call)
{
    using Result = std::invoke_result_t<Call &>;
    if constexpr (std::is_void_v<Result>) {
        runLongBody(activity, std::function<void()>(std::move(call)));
    } else {
        auto result = std::make_shared<std::optional<Result>>();
        runLongBody(
            activity, [call = std::move(call), result]() mutable { result->emplace(call()); });
        return std::move(**result);
    }
}

// Runs work on a thread of its own without waiting for it (the work reports back by itself, by
// posting to the window's thread). Such a thread may be stuck on a volume like any long call,
// and the program then ends without waiting for it either.
void runDetached(std::function<void()> work);

// Whether a long call is pending: a handler that would start now is not run.
bool callPending();

// The main window was closed while a call is pending: cancel the pending calls (they end as
// cancelled), refuse any further one, and let the program end once the handler has unwound.
void requestQuit();
bool quitRequested();

// Whether a worker thread is still running (an abandoned call stuck in the kernel); the program
// then ends without waiting for it, and without tearing down what the worker may still use.
bool workersStillRunning();

} // namespace platform
