// Window timers and blocking waits: the scheduler's rules, on the virtual
// clock, and the real clock's wait (windows repaint, input waits).

#include "app/WindowTimer.h"
#include "platform/RealClock.h"
#include "tests/support/Fakes.h"

#include <QDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <qpa/qwindowsysteminterface.h>

using tw::app::Scheduler;
using tw::app::WindowTimer;
using tw::test::VirtualClock;

namespace {

// A timer that records the virtual time of every tick.
struct Probe {
    Probe(Scheduler& scheduler, const QString& name, QObject* owner, QStringList* log)
        : timer(scheduler.createTimer(name, owner)) {
        timer->setHandler([this, &scheduler, name, log] {
            ticks.append(scheduler.now());
            if (log)
                log->append(name);
        });
    }
    WindowTimer* timer;
    QList<qint64> ticks;
};

class PaintCounter : public QWidget {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

} // namespace

class TestWindowTimer : public QObject {
    Q_OBJECT

private slots:
    void enablingAStoppedTimerStartsAFullInterval();
    void disablingDropsThePendingTick();
    void enablingAnEnabledTimerChangesNothing();
    void settingTheIntervalRestarts();
    void noIntervalNoTick();
    void tiesTickInCreationOrder();
    void ticksDuringAWaitCollapseIntoOneAfterIt();
    void aHandlerDisablingItselfTicksNoMore();
    void stopAllEndsEveryTick();
    void timersTickInsideAModalWindowsLoop();
    void realWaitKeepsPaintingAndHoldsInput();
};

void TestWindowTimer::enablingAStoppedTimerStartsAFullInterval() {
    VirtualClock clock;
    Scheduler scheduler(clock);
    QObject owner;
    Probe probe(scheduler, "T", &owner, nullptr);
    probe.timer->setInterval(1000);
    clock.advance(300);
    probe.timer->setEnabled(true);
    clock.advance(999);
    QVERIFY(probe.ticks.isEmpty());
    clock.advance(1);
    QCOMPARE(probe.ticks, (QList<qint64>{1300}));
    clock.advance(2000);
    QCOMPARE(probe.ticks, (QList<qint64>{1300, 2300, 3300}));
}

void TestWindowTimer::disablingDropsThePendingTick() {
    VirtualClock clock;
    Scheduler scheduler(clock);
    QObject owner;
    Probe probe(scheduler, "T", &owner, nullptr);
    probe.timer->setInterval(1000);
    probe.timer->setEnabled(true);
    clock.advance(900);
    probe.timer->setEnabled(false);
    clock.advance(5000);
    QVERIFY(probe.ticks.isEmpty());
    // Enabled again: a full interval from now, not the rest of the old one.
    probe.timer->setEnabled(true);
    clock.advance(999);
    QVERIFY(probe.ticks.isEmpty());
    clock.advance(1);
    QCOMPARE(probe.ticks, (QList<qint64>{6900}));
}

void TestWindowTimer::enablingAnEnabledTimerChangesNothing() {
    VirtualClock clock;
    Scheduler scheduler(clock);
    QObject owner;
    Probe probe(scheduler, "T", &owner, nullptr);
    probe.timer->setInterval(1000);
    probe.timer->setEnabled(true);
    clock.advance(600);
    probe.timer->setEnabled(true);
    clock.advance(400);
    QCOMPARE(probe.ticks, (QList<qint64>{1000}));
}

void TestWindowTimer::settingTheIntervalRestarts() {
    VirtualClock clock;
    Scheduler scheduler(clock);
    QObject owner;
    Probe probe(scheduler, "T", &owner, nullptr);
    probe.timer->setInterval(1000);
    probe.timer->setEnabled(true);
    clock.advance(600);
    probe.timer->setInterval(1000);
    clock.advance(999);
    QVERIFY(probe.ticks.isEmpty());
    clock.advance(1);
    QCOMPARE(probe.ticks, (QList<qint64>{1600}));
}

void TestWindowTimer::noIntervalNoTick() {
    VirtualClock clock;
    Scheduler scheduler(clock);
    QObject owner;
    Probe probe(scheduler, "T", &owner, nullptr);
    probe.timer->setEnabled(true); // enabled at design, but no interval yet
    clock.advance(100000);
    QVERIFY(probe.ticks.isEmpty());
    QVERIFY(!probe.timer->isRunning());
    probe.timer->setInterval(500);
    clock.advance(500);
    QCOMPARE(probe.ticks, (QList<qint64>{100500}));
}

void TestWindowTimer::tiesTickInCreationOrder() {
    VirtualClock clock;
    Scheduler scheduler(clock);
    QObject owner;
    QStringList log;
    Probe first(scheduler, "first", &owner, &log);
    Probe second(scheduler, "second", &owner, &log);
    Probe third(scheduler, "third", &owner, &log);
    // Enabled in the opposite order: creation order still decides ties.
    for (Probe* probe : {&third, &second, &first}) {
        probe->timer->setInterval(1000);
        probe->timer->setEnabled(true);
    }
    clock.advance(2000);
    QCOMPARE(log, (QStringList{"first", "second", "third", "first", "second", "third"}));
}

void TestWindowTimer::ticksDuringAWaitCollapseIntoOneAfterIt() {
    VirtualClock clock;
    Scheduler scheduler(clock);
    QObject owner;
    QList<qint64> fast;
    bool tickedDuringWait = false;
    WindowTimer* fastTimer = scheduler.createTimer("fast", &owner);
    fastTimer->setHandler([&] {
        tickedDuringWait |= scheduler.isWaiting();
        fast.append(scheduler.now());
    });
    WindowTimer* blocking = scheduler.createTimer("blocking", &owner);
    int blockingRuns = 0;
    blocking->setHandler([&] {
        ++blockingRuns;
        blocking->setEnabled(false);
        scheduler.sleep(3500); // like a query cycle
    });
    fastTimer->setInterval(1000);
    fastTimer->setEnabled(true);
    blocking->setInterval(1500);
    blocking->setEnabled(true);

    clock.advance(6000);
    QCOMPARE(blockingRuns, 1);
    QVERIFY(!tickedDuringWait);
    // 1000 on time; the blocking handler waits from 1500 to 5000; the ticks
    // due at 2000..5000 come once, at 5000; then every second from there.
    QCOMPARE(fast, (QList<qint64>{1000, 5000, 6000}));
}

void TestWindowTimer::aHandlerDisablingItselfTicksNoMore() {
    VirtualClock clock;
    Scheduler scheduler(clock);
    QObject owner;
    int runs = 0;
    WindowTimer* once = scheduler.createTimer("once", &owner);
    once->setHandler([&] {
        ++runs;
        scheduler.sleep(7000); // longer than its own interval
        once->setEnabled(false);
    });
    once->setInterval(1000);
    once->setEnabled(true);
    clock.advance(30000);
    QCOMPARE(runs, 1);
}

void TestWindowTimer::stopAllEndsEveryTick() {
    VirtualClock clock;
    Scheduler scheduler(clock);
    QObject owner;
    QStringList log;
    Probe closing(scheduler, "closing", &owner, &log);
    Probe other(scheduler, "other", &owner, &log);
    closing.timer->setHandler([&] {
        log.append("closing");
        scheduler.stopAll(); // the window closed inside this tick
    });
    for (Probe* probe : {&closing, &other}) {
        probe->timer->setInterval(1000);
        probe->timer->setEnabled(true);
    }
    clock.advance(10000);
    QCOMPARE(log, (QStringList{"closing"}));
    QVERIFY(!clock.pendingWake());
}

void TestWindowTimer::timersTickInsideAModalWindowsLoop() {
    tw::platform::RealClock clock;
    Scheduler scheduler(clock);
    QDialog dialog;
    int ticks = 0;
    WindowTimer* timer = scheduler.createTimer("T", &dialog);
    timer->setHandler([&] {
        if (++ticks == 3)
            dialog.accept();
    });
    timer->setInterval(20);
    timer->setEnabled(true);
    QTimer guard; // ends the test if ticks never come
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &dialog, &QDialog::reject);
    guard.start(5000);
    const int result = dialog.exec();
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(ticks, 3);
}

void TestWindowTimer::realWaitKeepsPaintingAndHoldsInput() {
    tw::platform::RealClock clock;
    Scheduler scheduler(clock);
    QWidget window;
    window.resize(200, 120);
    auto* counter = new PaintCounter;
    counter->setParent(&window);
    counter->setGeometry(0, 0, 200, 60);
    auto* button = new QPushButton("B", &window);
    button->setGeometry(0, 60, 200, 60);
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();

    const int paintsBefore = counter->paints;
    counter->update();
    // A click arrives from the window system in the middle of the wait.
    QTimer::singleShot(50, [&] {
        QWindow* handle = window.windowHandle();
        const QPointF local = button->mapTo(&window, QPointF(10, 10));
        const QPointF global = window.mapToGlobal(local);
        QWindowSystemInterface::handleMouseEvent(handle, local, global, Qt::LeftButton,
                                                 Qt::LeftButton, QEvent::MouseButtonPress);
        QWindowSystemInterface::handleMouseEvent(handle, local, global, Qt::NoButton,
                                                 Qt::LeftButton, QEvent::MouseButtonRelease);
    });
    scheduler.sleep(300);
    QVERIFY2(counter->paints > paintsBefore, "the window did not repaint during the wait");
    QCOMPARE(clicks, 0);
    QTRY_COMPARE_WITH_TIMEOUT(clicks, 1, 5000);
}

QTEST_MAIN(TestWindowTimer)
#include "tst_windowtimer.moc"
