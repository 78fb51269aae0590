// Calls that may block on a file system run on a worker while the window waits: what the handler
// gets back, Cancel (a call that stops by itself, and one stuck that is abandoned), and that no
// handler starts while a call is pending.

#include "app/Guard.h"
#include "platform/LongCall.h"
#include "platform/ProgressBox.h"
#include "testsupport.h"

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
    return {QStringLiteral("Reading /slow"), unit,
        Failure::refused(ECANCELED, QStringLiteral("Cannot list the folder"),
            {QStringLiteral("/slow")}, QStringLiteral("cancelled"))};
}

platform::ProgressBox *progressBox()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<platform::ProgressBox *>(window); box && box->isVisible())
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
        platform::ProgressBox *box = progressBox();
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

// Whatever the call throws, as number and description; "-" for no failure.
template<class Call> QString outcome(Call call)
{
    try {
        call();
    } catch (const Failure &failure) {
        return QString::number(failure.number()) + QLatin1Char(' ') + failure.description();
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
    void abandonedResultChangesNothing();
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

// A call that checks for Cancel ends with its own failure; one that never returns (stuck in the
// kernel) is abandoned at once with the activity's failure.
void TestLongCall::cancel_data()
{
    QTest::addColumn<bool>("stuck");
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("expected");

    const QString own = QString::number(ECANCELED) + QStringLiteral(" stopped: nothing was read");
    const QString abandoned
        = QString::number(ECANCELED) + QStringLiteral(" Cannot list the folder '/slow': cancelled");
    QTest::newRow("stops by itself, Cancel button") << false << "button" << own;
    QTest::newRow("stops by itself, Esc") << false << "Esc" << own;
    QTest::newRow("stuck, Cancel button") << true << "button" << abandoned;
}

void TestLongCall::cancel()
{
    QFETCH(bool, stuck);
    QFETCH(QString, how);
    QFETCH(QString, expected);

    auto release = std::make_shared<QSemaphore>();
    cancelWhenShown(how);
    QCOMPARE(outcome([&] {
        platform::runLong(activity(Activity::Unit::Entries), [stuck, release] {
            while (stuck ? !release->tryAcquire(1, 5) : !platform::cancelRequested())
                platform::reportProgress(12, -1), QThread::msleep(1);
            if (!stuck)
                throw Failure::refused(
                    ECANCELED, QStringLiteral("stopped"), {}, QStringLiteral("nothing was read"));
        });
    }),
        expected);
    QVERIFY(!progressBox());
    QVERIFY(!platform::callPending());
    release->release();
}

// The abandoned call finishes later: its result goes nowhere, and the next call gets its own.
void TestLongCall::abandonedResultChangesNothing()
{
    auto release = std::make_shared<QSemaphore>();
    int seen = 0;
    cancelWhenShown(QStringLiteral("button"));
    QCOMPARE(outcome([&] {
        seen = platform::runLong(activity(), [release] {
            release->acquire();
            return 1;
        });
    }).section(QLatin1Char(' '), 0, 0),
        QString::number(ECANCELED));
    release->release();
    QTest::qWait(50);
    QCOMPARE(platform::runLong(activity(), [] { return 2; }), 2);
    QCOMPARE(seen, 0);
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
        app::runGuarded([&handlers] { ++handlers; });
        button.repaint();
    });
    platform::runLong(activity(), [] { QThread::msleep(100); });
    QCOMPARE(clicks, 0);
    QCOMPARE(handlers, 0);
    app::runGuarded([&handlers] { ++handlers; });
    QCOMPARE(handlers, 1);
}

QTEST_MAIN(TestLongCall)
#include "tst_longcall.moc"
