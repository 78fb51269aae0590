#include "platform/CallState.h"

namespace platform {

namespace {

thread_local CallState *threadCall = nullptr;

} // namespace

void CallState::setProgress(qint64 done, qint64 total)
{
    m_done.store(done, std::memory_order_relaxed);
    m_total.store(total, std::memory_order_relaxed);
    if (onProgress)
        onProgress(done, total);
}

bool CallState::passPointOfReturn()
{
    int flags = m_flags.load(std::memory_order_acquire);
    while (!(flags & CancelFlag)) {
        if (m_flags.compare_exchange_weak(flags, flags | PastFlag, std::memory_order_acq_rel))
            return true;
    }
    return false;
}

CallState *currentCall()
{
    return threadCall;
}

CallScope::CallScope(CallState *state)
    : m_previous(threadCall)
{
    threadCall = state;
}

CallScope::~CallScope()
{
    threadCall = m_previous;
}

void reportProgress(qint64 done, qint64 total)
{
    if (threadCall)
        threadCall->setProgress(done, total);
}

bool cancelRequested()
{
    return threadCall && threadCall->cancelRequested();
}

bool passPointOfReturn()
{
    return !threadCall || threadCall->passPointOfReturn();
}

} // namespace platform
