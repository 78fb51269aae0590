#pragma once

#include "platform/CallState.h"
#include "platform/Failure.h"

#include <QString>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

// Calls that may block on a file system, and the threads of the program.
//
// The thread map:
// - The window thread runs every widget, every handler and the waiting of a long call (a local
//   event loop: see widgets/CallWaiting.h). Its state alone: the windows, the calls being waited
//   for and whether the program is quitting (widgets/CallWaiting.cpp), a call's whenEnded.
//   While it waits for a call, it still runs timers (wait cursor, progress box, its refresh,
//   the Cancel grace), paints, answers the window manager, and runs what other threads post
//   to it: a listing's first rows, a tree's start-folder rows, a call's end. It starts no
//   handler then.
// - One worker per long call ("tolvan-call"), made by runLong. It owns the call's copies of
//   its arguments and its result; the window reads the outcome only once the worker marked it
//   finished. An abandoned call's worker runs on unwatched and destroys its result itself.
// - Inside a listing's call, the folder reader's helper threads ("tolvan-look"), which look at
//   blocks of entries while the worker reads names and puts them in order; the worker joins
//   them before it returns (filelist/FolderReader.cpp).
// - A tree's start-folder reader ("tolvan-tree"), made by runDetached: the tree waits 50 ms for
//   it, then takes its rows through a posted call when they come.
// - A large list no longer shown is freed on a thread of its own ("tolvan-free", made by
//   runDetached in filelist/FileListModel.cpp), which owns the list alone.
// Every thread is a plain std::thread, detached: QThreadPool's destructor would wait for a call
// stuck in the kernel (a dead network volume) at the program's end, and a QThread may not be
// destroyed while it runs. The program ends without waiting for them (workersStillRunning).
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

// A long call on its worker, as the window waiting for it sees it.
class PendingCall
{
public:
    CallState &state() { return m_state; }
    const CallState &state() const { return m_state; }
    bool running() const { return m_ending.load(std::memory_order_acquire) == Running; }
    // Gives up on a call that is still running: whatever it yields later is dropped, and the
    // handler gets the activity's cancellation. False when the call has ended after all.
    bool abandon();

    // Set on the window thread by the one waiting for the call; run there once the call ends.
    std::function<void()> whenEnded;

private:
    friend void runLongBody(const Activity &activity, std::function<void()> body);
    enum Ending { Running, Finished, Abandoned };

    CallState m_state;
    std::atomic<int> m_ending {Running};
    std::exception_ptr m_error; // written by the worker before it marks the call finished
};

// How the window waits for a long call; installed once by the window code at start-up.
class CallWaiter
{
public:
    virtual ~CallWaiter() = default;
    // Whether a call made on the current thread is waited for here; otherwise it runs inline.
    virtual bool waitsHere() const = 0;
    // Whether new calls are refused (the program is ending): they end cancelled at once.
    virtual bool refusesCalls() const = 0;
    // Returns once call is no longer running (ended, or abandoned by the waiter).
    virtual void wait(PendingCall &call, const Activity &activity) = 0;

    static void install(CallWaiter *waiter);
};

// Runs call, which may block on a file system, on a worker thread while the installed waiter
// waits for it on the calling thread: the handler's steps stay in their order, and it gets the
// call's result, or the Failure the call throws, exactly as if it had made the call itself.
// Without a waiter, or where it does not wait, call runs directly.
//
// The waiter may offer Cancel: a call that checks cancelRequested() cleans up and ends with an
// ECANCELED failure; a call that does not stop within a moment is abandoned. Either way the
// handler gets Failure::cancellation with the activity's words (which of the two texts depends
// on whether the call had passed its point of return). A call that finishes in spite of the
// Cancel, having passed that point, hands back its result as usual.
//
// call runs on another thread and may outlive the handler (when abandoned), so it must hold
// copies of what it needs, never references to the handler's locals or to widgets. Whatever it
// returns must own what it opened (a descriptor in an object that closes it): the result of an
// abandoned call is destroyed when it comes.
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

// Runs work on a thread of its own, named name (at most 15 bytes), without waiting for it (the
// work reports back by itself, by posting to the window's thread). Such a thread may be stuck
// on a volume like any long call, and the program then ends without waiting for it either.
void runDetached(const char *name, std::function<void()> work);

// Whether a worker thread is still running (an abandoned call stuck in the kernel); the program
// then ends without waiting for it, and without tearing down what the worker may still use.
bool workersStillRunning();

} // namespace platform
