#include "widgets/CallWaiting.h"

#include "platform/LongCall.h"
#include "widgets/ProgressBox.h"
#include "widgets/Services.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <vector>

namespace widgets {

namespace {

// The moments at which a pending call shows itself, and how long a cancelled call may take to
// stop by itself before it is abandoned.
constexpr int waitCursorAfterMs = 100;
constexpr int progressBoxAfterMs = 400;
constexpr int progressRefreshMs = 50;
constexpr int cancelGraceMs = 50;

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

// The window thread's own state: the calls it waits for, innermost last, and whether the
// program is quitting.
std::vector<Waiting *> waitingCalls;
bool quitting = false;

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
    Waiting(platform::PendingCall &call, const platform::Activity &activity)
        : m_call(call)
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

    // Waits until the call ends or is abandoned.
    void wait()
    {
        QEventLoop loop;
        m_call.whenEnded = [&loop] { loop.quit(); };
        while (m_call.running())
            loop.exec();
    }

    // Asks the call to stop, and abandons it if it has not stopped within a moment.
    void cancel()
    {
        if (m_call.state().cancelRequested())
            return;
        m_call.state().requestCancel();
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
        QWidget *over = widgets::windowInUse();
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
            m_box->showProgress(m_call.state().done(), m_call.state().total());
    }

    // The call did not stop in time: the handler goes on without it. A call that ended after
    // all is left to its own notice, which ends the wait.
    void abandon()
    {
        if (m_call.abandon() && m_call.whenEnded)
            m_call.whenEnded();
    }

    platform::PendingCall &m_call;
    const platform::Activity &m_activity;
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

// The window thread's waiter. Calls made on other threads (a worker's own nested calls) run
// inline there.
class WindowWaiter final : public platform::CallWaiter
{
public:
    bool waitsHere() const override
    {
        return qobject_cast<QApplication *>(QCoreApplication::instance())
            && QThread::currentThread() == qApp->thread();
    }
    bool refusesCalls() const override { return quitting; }
    void wait(platform::PendingCall &call, const platform::Activity &activity) override
    {
        Waiting waiting(call, activity);
        waiting.wait();
    }
};

} // namespace

void waitForLongCalls()
{
    static WindowWaiter waiter;
    platform::CallWaiter::install(&waiter);
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

} // namespace widgets
