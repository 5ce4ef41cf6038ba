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
    void singleTimerRules_data();
    void singleTimerRules();
    void tiesTickInCreationOrder();
    void ticksDuringAWaitCollapseIntoOneAfterIt();
    void timersTickInsideAModalWindowsLoop();
    void realWaitKeepsPaintingAndHoldsInput();
};

void TestWindowTimer::singleTimerRules_data() {
    // Steps "TIME OP": i<ms> sets the interval, e enables, d disables.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<qint64>("until");
    QTest::addColumn<QList<qint64>>("ticks");
    QTest::newRow("enabling a stopped timer starts a full interval")
        << "0 i1000;300 e" << qint64(3300) << QList<qint64>{1300, 2300, 3300};
    QTest::newRow("disabling drops the pending tick; enabling starts afresh")
        << "0 i1000;0 e;900 d;5900 e" << qint64(6900) << QList<qint64>{6900};
    QTest::newRow("enabling an enabled timer changes nothing")
        << "0 i1000;0 e;600 e" << qint64(1000) << QList<qint64>{1000};
    QTest::newRow("setting the interval restarts it")
        << "0 i1000;0 e;600 i1000" << qint64(1600) << QList<qint64>{1600};
    QTest::newRow("enabled without an interval never ticks")
        << "0 e;100000 i500" << qint64(100500) << QList<qint64>{100500};
}

void TestWindowTimer::singleTimerRules() {
    QFETCH(QString, steps);
    QFETCH(qint64, until);
    QFETCH(QList<qint64>, ticks);
    VirtualClock clock;
    Scheduler scheduler(clock);
    QObject owner;
    Probe probe(scheduler, "T", &owner, nullptr);
    for (const QString& step : steps.split(';')) {
        const QStringList parts = step.split(' ');
        clock.advance(parts[0].toLongLong() - clock.now());
        const QChar op = parts[1][0];
        if (op == 'i')
            probe.timer->setInterval(parts[1].mid(1).toInt());
        else
            probe.timer->setEnabled(op == 'e');
    }
    clock.advance(until - clock.now() - 1);
    QCOMPARE(probe.ticks, ticks.mid(0, ticks.size() - 1)); // not a millisecond early
    clock.advance(1);
    QCOMPARE(probe.ticks, ticks);
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
        scheduler.sleep(3500);       // like a query cycle: longer than its own
        blocking->setEnabled(false); // interval, then it switches itself off
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
    QTimer::singleShot(5000, &dialog, &QDialog::reject); // if ticks never come
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
