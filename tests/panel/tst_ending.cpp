// A request to end (a signal, the session's end) over the program's
// composition: between handlers it closes the window at once; inside a
// handler's blocking wait the handler runs to its end first (no later wait
// of a query cycle sees a closed window), then the window closes. Either
// way the close handler writes the position, and a second request changes
// nothing.

#include "panel/Ending.h"
#include "tests/support/TestRig.h"

#include <QTest>

class TestEnding : public QObject {
    Q_OBJECT

private slots:
    void closesOutsideWaits_data() {
        QTest::addColumn<int>("atWait"); // -1: between handlers
        QTest::newRow("between handlers: at once") << -1;
        QTest::newRow("in a G-B-C cycle's first wait: after the cycle") << 0;
        QTest::newRow("in its last wait: after the cycle") << 4;
    }
    void closesOutsideWaits() {
        QFETCH(int, atWait);
        tw::test::TestRig rig("TW-CLI-UI-ENDING");
        rig.storeQueryPaths("/node/");
        rig.start(true);
        rig.leaveQueryButtonsToThePolls();
        tw::test::FakeEndRequests requests;
        tw::panel::Ending ending(rig.window(), rig.services, requests);
        QVERIFY(!rig.stored("MainLeft"));

        QList<bool> closedAtWaits;
        rig.clock.onWait = [&](qint64, int) {
            closedAtWaits << rig.window().hasClosed();
            if (closedAtWaits.size() - 1 == atWait) {
                requests.send("SIGTERM");
                requests.send("SIGINT");
            }
        };
        if (atWait < 0) {
            requests.send("SIGTERM");
            QVERIFY(rig.window().hasClosed());
        } else {
            QTest::mouseClick(rig.button("GETBLOCKCOUNT_BUTTON"), Qt::LeftButton);
            rig.advance(10000);
            QCOMPARE(closedAtWaits, QList<bool>(5, false)); // the cycle's five waits
            QVERIFY(!rig.window().hasClosed());
            QTRY_VERIFY(rig.window().hasClosed());
        }
        QVERIFY(rig.stored("MainLeft"));
        QVERIFY(rig.stored("MainTop"));
        requests.send("SIGHUP");
    }
};

QTEST_MAIN(TestEnding)
#include "tst_ending.moc"
