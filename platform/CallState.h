#pragma once

#include <QtGlobal>

#include <atomic>
#include <functional>

namespace platform {

// What a call that may block on a file system shares with the window waiting for it: how far it
// has got, and whether the user asked it to stop. The call runs on a worker thread and reads
// this through currentCall(); the waiting window reads the progress and requests the stop.
class CallState
{
public:
    // Progress in the call's own unit (bytes for a copy, entries for a listing); a total below
    // zero means the end is not known.
    void setProgress(qint64 done, qint64 total);
    qint64 done() const { return m_done.load(std::memory_order_relaxed); }
    qint64 total() const { return m_total.load(std::memory_order_relaxed); }

    void requestCancel() { m_flags.fetch_or(CancelFlag, std::memory_order_acq_rel); }
    bool cancelRequested() const { return m_flags.load(std::memory_order_acquire) & CancelFlag; }

    // The call's point of return: the last moment at which Cancel still leaves everything as it
    // was (before a copy is put in place, before a moved file's old name goes). Returns false
    // when Cancel came first, and the call must then stop; after true the call goes on to its
    // end, and a Cancel that comes later is answered with "it may still happen". One atomic
    // step decides which came first, so what the window says afterwards holds.
    bool passPointOfReturn();
    bool pastPointOfReturn() const { return m_flags.load(std::memory_order_acquire) & PastFlag; }

    // Called on the worker thread after every progress report; a seam for tests that need to act
    // at a known point of a call (change the source after the first chunk, cancel half-way).
    std::function<void(qint64 done, qint64 total)> onProgress;

private:
    std::atomic<qint64> m_done {0};
    std::atomic<qint64> m_total {-1};
    static constexpr int CancelFlag = 1;
    static constexpr int PastFlag = 2;

    std::atomic<int> m_flags {0};
};

// The state of the call that the current thread runs, or nullptr outside such a call.
CallState *currentCall();

// Makes state the current thread's call state for the lifetime of this object.
class CallScope
{
public:
    explicit CallScope(CallState *state);
    ~CallScope();
    CallScope(const CallScope &) = delete;
    CallScope &operator=(const CallScope &) = delete;

private:
    CallState *m_previous;
};

// Reports progress of the current call; does nothing outside one.
void reportProgress(qint64 done, qint64 total);
// Whether the current call was asked to stop; false outside one.
bool cancelRequested();
// Passes the current call's point of return (see CallState::passPointOfReturn); true outside a
// call.
bool passPointOfReturn();

} // namespace platform
