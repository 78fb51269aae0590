#include "platform/LongCall.h"

#include <QCoreApplication>
#include <QThread>

#include <cerrno>
#include <thread>

#include <pthread.h>

namespace platform {

namespace {

CallWaiter *installedWaiter = nullptr;
std::atomic<int> workersRunning {0};

// Starts a detached thread named name that runs work; the count of running workers covers it.
void startThread(const char *name, std::function<void()> work)
{
    ++workersRunning;
    std::thread thread([work = std::move(work)]() mutable {
        work();
        work = nullptr; // what the work held goes before the thread counts as ended
        --workersRunning;
    });
    pthread_setname_np(thread.native_handle(), name);
    thread.detach();
}

// A receiver on the waiting thread for the workers' "ended" notices. It is never destroyed, so
// that a worker ending late always has somewhere to post.
QObject *receiver()
{
    static QObject *object = [] {
        auto *created = new QObject;
        created->moveToThread(QCoreApplication::instance()->thread());
        return created;
    }();
    return object;
}

// The call's own failure, except that the ECANCELED with which a cancelled call stops is said
// in the activity's words.
[[noreturn]] void rethrowInWords(
    const std::exception_ptr &error, const CallState &state, const Activity &activity)
{
    try {
        std::rethrow_exception(error);
    } catch (const Failure &failure) {
        if (state.cancelRequested() && failure.number() == ECANCELED)
            throw Failure::cancellation(activity.cancelled);
        throw;
    }
}

} // namespace

bool PendingCall::abandon()
{
    int running = Running;
    return m_ending.compare_exchange_strong(running, Abandoned, std::memory_order_acq_rel);
}

void CallWaiter::install(CallWaiter *waiter)
{
    installedWaiter = waiter;
}

void runLongBody(const Activity &activity, std::function<void()> body)
{
    if (!installedWaiter || !QCoreApplication::instance() || !installedWaiter->waitsHere()) {
        body();
        return;
    }
    if (installedWaiter->refusesCalls())
        throw Failure::cancellation(activity.cancelled);
    auto call = std::make_shared<PendingCall>();
    QObject *wake = receiver();
    startThread("tolvan-call", [call, body = std::move(body), wake] {
        {
            const CallScope scope(&call->m_state);
            try {
                body();
            } catch (...) {
                call->m_error = std::current_exception();
            }
        }
        int running = PendingCall::Running;
        call->m_ending.compare_exchange_strong(
            running, PendingCall::Finished, std::memory_order_acq_rel);
        QMetaObject::invokeMethod(
            wake,
            [call] {
                if (call->whenEnded)
                    call->whenEnded();
            },
            Qt::QueuedConnection);
    });
    installedWaiter->wait(*call, activity);
    call->whenEnded = nullptr;
    if (call->m_ending.load(std::memory_order_acquire) == PendingCall::Abandoned) {
        const bool mayComplete
            = call->m_state.pastPointOfReturn() && !activity.mayStillComplete.isEmpty();
        throw Failure::cancellation(mayComplete ? activity.mayStillComplete : activity.cancelled);
    }
    if (call->m_error)
        rethrowInWords(call->m_error, call->m_state, activity);
}

void runDetached(const char *name, std::function<void()> work)
{
    startThread(name, std::move(work));
}

bool workersStillRunning()
{
    return workersRunning.load() > 0;
}

} // namespace platform
