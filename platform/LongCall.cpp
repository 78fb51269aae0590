#include "platform/LongCall.h"

#include "platform/ProgressBox.h"
#include "platform/Services.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <atomic>
#include <cerrno>
#include <thread>
#include <vector>

namespace platform {

namespace {

// The moments at which a pending call shows itself, and how long a cancelled call may take to
// stop by itself before it is abandoned.
constexpr int waitCursorAfterMs = 100;
constexpr int progressBoxAfterMs = 400;
constexpr int progressRefreshMs = 50;
constexpr int cancelGraceMs = 50;

// A call and its worker thread. The worker writes the outcome and then marks it finished; the
// window's thread reads the outcome only after seeing it finished. Everything else is used on
// the window's thread alone.
struct Job
{
    enum Ending { Running, Finished, Abandoned };

    CallState state;
    std::atomic<int> ending {Running};
    std::exception_ptr error;
    QEventLoop *loop = nullptr;
};

std::atomic<int> workersRunning {0};
bool quitting = false;

// A receiver on the window's thread for the workers' "finished" notices. It is never destroyed,
// so that a worker finishing late always has somewhere to post.
QObject *receiver()
{
    static QObject *object = [] {
        auto *created = new QObject;
        created->moveToThread(qApp->thread());
        return created;
    }();
    return object;
}

void startWorker(const std::shared_ptr<Job> &job, std::function<void()> body)
{
    QObject *wake = receiver();
    ++workersRunning;
    std::thread([job, body = std::move(body), wake] {
        {
            const CallScope scope(&job->state);
            try {
                body();
            } catch (...) {
                job->error = std::current_exception();
            }
        }
        int running = Job::Running;
        job->ending.compare_exchange_strong(running, Job::Finished);
        QMetaObject::invokeMethod(
            wake,
            [job] {
                if (job->loop)
                    job->loop->quit();
            },
            Qt::QueuedConnection);
        --workersRunning;
    }).detach();
}

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::NativeGesture:
        return true;
    default:
        return false;
    }
}

class Waiting;
std::vector<Waiting *> waitingCalls;

// Holds back the user's input to every window but the progress boxes while calls are pending.
class InputBlocker : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// One pending call as its window sees it: the wait cursor, the progress box and Cancel.
class Waiting
{
public:
    Waiting(Job &job, const Activity &activity)
        : m_job(job)
        , m_activity(activity)
    {
        if (waitingCalls.empty())
            qApp->installEventFilter(&m_blocker);
        waitingCalls.push_back(this);
        m_cursorTimer.setSingleShot(true);
        QObject::connect(&m_cursorTimer, &QTimer::timeout, [this] { showWaitCursor(); });
        m_cursorTimer.start(waitCursorAfterMs);
        m_boxTimer.setSingleShot(true);
        QObject::connect(&m_boxTimer, &QTimer::timeout, [this] { showBox(); });
        m_boxTimer.start(progressBoxAfterMs);
        QObject::connect(&m_refreshTimer, &QTimer::timeout, [this] { refresh(); });
        m_graceTimer.setSingleShot(true);
        QObject::connect(&m_graceTimer, &QTimer::timeout, [this] { abandon(); });
        if (quitting)
            cancel();
    }

    ~Waiting()
    {
        std::erase(waitingCalls, this);
        if (waitingCalls.empty())
            qApp->removeEventFilter(&m_blocker);
        delete m_box;
        if (m_cursorShown)
            QGuiApplication::restoreOverrideCursor();
    }

    // Waits until the call finishes or is abandoned.
    void wait()
    {
        QEventLoop loop;
        m_job.loop = &loop;
        while (m_job.ending.load(std::memory_order_acquire) == Job::Running)
            loop.exec();
        m_job.loop = nullptr;
    }

    // Asks the call to stop, and abandons it if it has not stopped within a moment.
    void cancel()
    {
        if (m_job.state.cancelRequested())
            return;
        m_job.state.requestCancel();
        m_graceTimer.start(cancelGraceMs);
    }

    bool blocks(QObject *watched) const
    {
        if (!m_box)
            return true;
        if (auto *widget = qobject_cast<QWidget *>(watched))
            return widget->window() != m_box;
        return watched != static_cast<QObject *>(m_box->windowHandle());
    }

private:
    void showWaitCursor()
    {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        m_cursorShown = true;
    }

    // The box goes over the window in use; at start-up, before any window is shown, it stands
    // alone at the centre of the screen.
    void showBox()
    {
        QWidget *over = windowInUse();
        m_box = new ProgressBox(over, m_activity.doing, m_activity.unit);
        QObject::connect(m_box, &ProgressBox::cancelPressed, [this] { cancel(); });
        refresh();
        m_box->placeOver(over);
        m_box->show();
        m_box->activateWindow();
        m_refreshTimer.start(progressRefreshMs);
        // The pointer may rest on Cancel now: an arrow with the busy mark, not the wait cursor.
        if (m_cursorShown)
            QGuiApplication::changeOverrideCursor(Qt::BusyCursor);
    }

    void refresh()
    {
        if (m_box)
            m_box->showProgress(m_job.state.done(), m_job.state.total());
    }

    void abandon()
    {
        int running = Job::Running;
        if (!m_job.ending.compare_exchange_strong(running, Job::Abandoned))
            return; // it finished after all; its own notice ends the wait
        if (m_job.loop)
            m_job.loop->quit();
    }

    Job &m_job;
    const Activity &m_activity;
    InputBlocker m_blocker;
    QTimer m_cursorTimer;
    QTimer m_boxTimer;
    QTimer m_refreshTimer;
    QTimer m_graceTimer;
    QPointer<ProgressBox> m_box;
    bool m_cursorShown = false;
};

bool InputBlocker::eventFilter(QObject *watched, QEvent *event)
{
    if (!isUserInput(event->type()))
        return false;
    for (const Waiting *call : waitingCalls) {
        if (!call->blocks(watched))
            return false;
    }
    return true;
}

// A call can be waited for only on the thread of the application's windows.
bool canWait()
{
    return qApp && QThread::currentThread() == qApp->thread()
        && qobject_cast<QApplication *>(QCoreApplication::instance());
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

void runLongBody(const Activity &activity, std::function<void()> body)
{
    if (!canWait()) {
        body();
        return;
    }
    if (quitting)
        throw Failure::cancellation(activity.cancelled);
    auto job = std::make_shared<Job>();
    startWorker(job, std::move(body));
    {
        Waiting waiting(*job, activity);
        waiting.wait();
    }
    if (job->ending.load(std::memory_order_acquire) == Job::Abandoned) {
        const bool mayComplete
            = job->state.pastPointOfReturn() && !activity.mayStillComplete.isEmpty();
        throw Failure::cancellation(mayComplete ? activity.mayStillComplete : activity.cancelled);
    }
    if (job->error)
        rethrowInWords(job->error, job->state, activity);
}

void runDetached(std::function<void()> work)
{
    ++workersRunning;
    std::thread([work = std::move(work)] {
        work();
        --workersRunning;
    }).detach();
}

bool callPending()
{
    return !waitingCalls.empty();
}

void requestQuit()
{
    quitting = true;
    for (Waiting *call : waitingCalls)
        call->cancel();
}

bool quitRequested()
{
    return quitting;
}

bool workersStillRunning()
{
    return workersRunning.load() > 0;
}

} // namespace platform
