// Calls that may block on a file system run on a worker while the window waits: what the handler
// gets back, Cancel (a call that stops by itself, and one stuck that is abandoned), and that no
// handler starts while a call is pending.

#include "platform/LongCall.h"
#include "widgets/CallWaiting.h"
#include "widgets/Guard.h"
#include "widgets/ProgressBox.h"
#include "windowsupport.h"

#include <QApplication>
#include <QPushButton>
#include <QSemaphore>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <memory>
#include <stdexcept>

using platform::Activity;
using platform::Failure;

namespace {

Activity activity(Activity::Unit unit = Activity::Unit::None)
{
    return {QStringLiteral("Copying a to /slow"), unit,
        QStringLiteral("copying a to /slow was cancelled; nothing was copied"),
        QStringLiteral("copying a to /slow was cancelled; the copy may still be put in place")};
}

widgets::ProgressBox *progressBox()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<widgets::ProgressBox *>(window); box && box->isVisible())
            return box;
    }
    return nullptr;
}

// Presses the progress box's Cancel as soon as the box shows, the way a user would; how is one
// of "button" or "Esc".
void cancelWhenShown(const QString &how)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, how] {
        widgets::ProgressBox *box = progressBox();
        if (!box)
            return;
        poll->deleteLater();
        if (how == QLatin1String("Esc"))
            QTest::keyClick(box, Qt::Key_Escape);
        else
            QTest::mouseClick(box->findChild<QPushButton *>(), Qt::LeftButton);
    });
    poll->start(10);
}

// Whatever the call throws, as number and description, a cancellation marked as such; "-" for
// no failure.
template<class Call> QString outcome(Call call)
{
    try {
        call();
    } catch (const Failure &failure) {
        return (failure.isCancellation() ? QStringLiteral("cancellation ") : QString())
            + QString::number(failure.number()) + QLatin1Char(' ') + failure.description();
    }
    return QStringLiteral("-");
}

} // namespace

class TestLongCall : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void passesResultAndFailureThrough();
    void cancel_data();
    void cancel();
    void noHandlerStartsWhilePending();
};

void TestLongCall::passesResultAndFailureThrough()
{
    const Qt::HANDLE window = QThread::currentThreadId();
    Qt::HANDLE worker = nullptr;
    QCOMPARE(platform::runLong(activity(),
                 [&worker] {
                     worker = QThread::currentThreadId();
                     return QStringLiteral("rows");
                 }),
        QStringLiteral("rows"));
    QVERIFY(worker != window);

    const Failure refused = Failure::fromErrno(
        EACCES, QStringLiteral("Cannot open the folder"), QStringLiteral("/locked"));
    QCOMPARE(outcome([&] { platform::runLong(activity(), [refused] { throw refused; }); }),
        QString::number(EACCES) + QLatin1Char(' ') + refused.description());
    QVERIFY_THROWS_EXCEPTION(std::runtime_error,
        platform::runLong(activity(), [] { throw std::runtime_error("broken"); }));
}

// However the call ends after Cancel, the handler gets the activity's words as a cancellation:
// one that stops by itself with ECANCELED, one stuck in the kernel (abandoned at once), and one
// stuck past its point of return, which may still complete. One that passed its point of return
// and finishes anyway hands back its result.
void TestLongCall::cancel_data()
{
    QTest::addColumn<bool>("stuck");
    QTest::addColumn<bool>("pastPoint");
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("expected");

    const QString cancelled = QStringLiteral("cancellation ") + QString::number(ECANCELED)
        + QStringLiteral(" copying a to /slow was cancelled; ");
    QTest::newRow("stops by itself, Cancel button")
        << false << false << "button" << cancelled + "nothing was copied";
    QTest::newRow("stops by itself, Esc")
        << false << false << "Esc" << cancelled + "nothing was copied";
    QTest::newRow("stuck, Cancel button")
        << true << false << "button" << cancelled + "nothing was copied";
    QTest::newRow("stuck past its point of return")
        << true << true << "button" << cancelled + "the copy may still be put in place";
    QTest::newRow("finishes past its point of return") << false << true << "Esc"
                                                       << "-";
}

void TestLongCall::cancel()
{
    QFETCH(bool, stuck);
    QFETCH(bool, pastPoint);
    QFETCH(QString, how);
    QFETCH(QString, expected);

    auto release = std::make_shared<QSemaphore>();
    cancelWhenShown(how);
    QCOMPARE(outcome([&] {
        platform::runLong(activity(Activity::Unit::Entries), [stuck, pastPoint, release] {
            if (pastPoint && !platform::passPointOfReturn())
                throw std::logic_error("no Cancel yet, so the point of return must pass");
            while (stuck ? !release->tryAcquire(1, 5) : !platform::cancelRequested())
                platform::reportProgress(12, -1), QThread::msleep(1);
            if (!stuck && !pastPoint)
                throw Failure::refused(
                    ECANCELED, QStringLiteral("stopped"), {}, QStringLiteral("nothing was read"));
        });
    }),
        expected);
    QVERIFY(!progressBox());
    QVERIFY(!widgets::callPending());
    release->release();
}

// While a call is pending, a click on a window's button and a handler raised by a timer are both
// dropped; the windows still paint.
void TestLongCall::noHandlerStartsWhilePending()
{
    QPushButton button(QStringLiteral("Open"));
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&clicks] { ++clicks; });
    int handlers = 0;
    QTimer::singleShot(20, [&] {
        QTest::mouseClick(&button, Qt::LeftButton);
        widgets::runGuarded([&handlers] { ++handlers; });
        button.repaint();
    });
    platform::runLong(activity(), [] { QThread::msleep(100); });
    QCOMPARE(clicks, 0);
    QCOMPARE(handlers, 0);
    widgets::runGuarded([&handlers] { ++handlers; });
    QCOMPARE(handlers, 1);
}

QTEST_MAIN(TestLongCall)
#include "tst_longcall.moc"
