// All nodes in one view: a configuration's line from its history, the
// running panels found through their local sockets (real ones), and the
// Nodes window over the fakes.

#include "health/HealthPanel.h"
#include "health/HistoryFile.h"
#include "health/Tray.h"
#include "panel/Instance.h"
#include "panel/NodesWindow.h"
#include "tests/support/TestRig.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QUuid>

using tw::panel::Instance;
using tw::panel::NodeLine;

namespace {

constexpr qint64 NowMs = 1'700'000'000'000;

// "blocks V h=H in=I out=O tip=MIN ibd=1 @-MIN" or "failed blocks WHY @-MIN", one row per ';'.
QList<tw::health::HistoryRow> rowsOf(const QString& text) {
    QList<tw::health::HistoryRow> rows;
    for (QString line : text.split(';', Qt::SkipEmptyParts)) {
        line = line.trimmed();
        tw::health::HistoryRow row;
        for (const QString& word : line.split(' ', Qt::SkipEmptyParts)) {
            const QString key = word.section('=', 0, 0);
            const qint64 n = word.section('=', 1).toLongLong();
            if (word.startsWith('@'))
                row.timeMs = NowMs + word.mid(1).toLongLong() * 60000;
            else if (word == "connections")
                row.kind = tw::health::HistoryRow::Kind::Connections;
            else if (word == "failed" || word == "blocks")
                row.kind = tw::health::HistoryRow::Kind::Blocks;
            else if (key == "h")
                row.headers = n;
            else if (key == "in")
                row.peersIn = n;
            else if (key == "out")
                row.peersOut = n;
            else if (key == "tip")
                row.tipTime = NowMs / 1000 - n * 60;
            else if (key == "ibd")
                row.initialDownload = n != 0;
            else if (line.startsWith("failed"))
                row.failure += (row.failure.isEmpty() ? "" : " ") + word;
            else
                row.value = word.toLongLong();
        }
        rows << row;
    }
    return rows;
}

QString lineOf(const NodeLine& l) {
    const auto n = [](const std::optional<qint64>& v) {
        return v ? QString::number(*v) : QString("-");
    };
    return QStringList{n(l.blocks), n(l.headers), n(l.peers), n(l.tipAgeSeconds), l.stateText}.join(
        ' ');
}

} // namespace

class TestNodes : public QObject {
    Q_OBJECT

private slots:
    void openedFromTheMenus();
    void summarize_data() {
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("line"); // blocks headers peers tip-age state
        QTest::newRow("nothing yet") << ""
                                     << "- - - - no answers yet";
        QTest::newRow("answering") << "blocks 100 h=100 in=3 out=5 tip=4 @-1"
                                   << "100 100 8 240 answering";
        QTest::newRow("the last answer counts, connection rows do not")
            << "blocks 99 tip=20 @-20; blocks 100 h=100 tip=4 @-2; connections 8 @-1"
            << "100 100 - 240 answering";
        QTest::newRow("syncing: headers ahead") << "blocks 500 h=900 tip=9000 @-1"
                                                << "500 900 - 540000 syncing";
        QTest::newRow("syncing: initial download") << "blocks 500 ibd=1 tip=9000 @-1"
                                                   << "500 - - 540000 syncing";
        QTest::newRow("stalled by the tip's age") << "blocks 100 h=100 tip=200 @-1"
                                                  << "100 100 - 12000 stalled 3 h";
        QTest::newRow("stalled without a tip: the count unchanged since")
            << "blocks 100 @-200; blocks 100 @-100; blocks 100 @-1"
            << "100 - - - stalled 3 h";
        QTest::newRow("failing: the last block-count query failed")
            << "blocks 100 tip=4 @-3; failed log missing @-1"
            << "100 - - 240 failing: log missing";
    }
    void summarize() {
        QFETCH(QString, rows);
        QFETCH(QString, line);
        QCOMPARE(lineOf(tw::panel::summarize("BTC", rowsOf(rows), 90, NowMs)), line);
    }

    // A panel's socket answers probes and raise requests; a configuration
    // without a panel answers nothing; a socket left behind is taken over.
    void instances() {
        const QString section = "TW-CLI-UI-TEST-" + QUuid::createUuid().toString(QUuid::Id128);
        const auto ask = [](const QString& name, bool raise) {
            std::optional<bool> answer;
            QObject context;
            if (raise)
                Instance::raise(name, &context, [&](bool yes) { answer = yes; });
            else
                Instance::probe(name, &context, [&](bool yes) { answer = yes; });
            if (!QTest::qWaitFor([&] { return answer.has_value(); }, 2000))
                qFatal("no answer within 2 s");
            return *answer;
        };
        QCOMPARE(ask(section, false), false);
        {
            Instance running(section);
            QVERIFY(running.listening());
            QSignalSpy raised(&running, &Instance::raiseRequested);
            QCOMPARE(ask(section, false), true);
            QCOMPARE(ask(section, true), true);
            QTRY_COMPARE(raised.count(), 1);
            // A second panel of the same configuration leaves the first's socket alone.
            Instance second(section);
            QVERIFY(!second.listening());
            QCOMPARE(ask(section, false), true);
        }
        QCOMPARE(ask(section, false), false);
        QCOMPARE(ask(section + "-OTHER", false), false);
    }

    // The window over the fakes: every configuration of the store (and this
    // panel's own), its line from its history, whether its panel runs; a
    // double click on a configuration without a program says so.
    void window() {
        tw::test::TestRig rig("TW-CLI-UI-BTC");
        const QString other = "TW-CLI-UI-LTC-" + QUuid::createUuid().toString(QUuid::Id128);
        rig.settings.set(other, "CLI_NAME_TEXTBOX", "litecoin-cli");
        rig.settings.set(other, "HEALTH_STALL_MINUTES", "5");
        rig.files.put(
            "/" + other + ".history.csv",
            "time,kind,value,failure,headers,progress,ibd,tip_time,peers_in,peers_out,mempool_tx\n"
            "2023-11-14T22:10:00.000Z,blocks,2500000,,2500000,0.99999,0,1699999400,2,6,10\n");
        Instance running(other);
        tw::panel::NodesWindow nodes(rig.platform, "TW-CLI-UI-BTC", "/nowhere/TW-CLI-UI-BTC",
                                     [] { return NowMs; });
        nodes.show();
        QTableWidget* table = nodes.table();
        QCOMPARE(table->rowCount(), 2);
        const auto cell = [&](int row, int column) { return table->item(row, column)->text(); };
        QCOMPARE(cell(0, 0), QString("TW-CLI-UI-BTC"));
        QCOMPARE(cell(0, 5), QString("no answers yet"));
        QCOMPARE(cell(0, 6), QString("this panel"));
        QCOMPARE(cell(1, 0), other);
        QCOMPARE(cell(1, 1), QLocale().toString(2500000));
        QCOMPARE(cell(1, 3), QString("8"));
        QCOMPARE(cell(1, 4), QString("10 min"));
        QCOMPARE(cell(1, 5), QString("stalled 10 min")); // its own stall time, 5 minutes
        QTRY_COMPARE(cell(1, 6), QString("running"));

        QSignalSpy own(&nodes, &tw::panel::NodesWindow::showOwnPanel);
        nodes.open("TW-CLI-UI-BTC");
        QCOMPARE(own.count(), 1);
        QSignalSpy raised(&running, &Instance::raiseRequested);
        nodes.open(other);
        QTRY_COMPARE(raised.count(), 1);
        QTRY_VERIFY(nodes.status().contains("brought to the front"));
        const QString missing = "TW-CLI-UI-NONE-" + QUuid::createUuid().toString(QUuid::Id128);
        nodes.open(missing);
        QTRY_VERIFY(nodes.status().contains("No program named " + missing));
    }
};

// Through the program's composition: the status boxes' Nodes… entry and
// the tray's open the same one window.
void TestNodes::openedFromTheMenus() {
    tw::test::TestRig rig;
    rig.start();
    std::unique_ptr<QMenu> menu(
        rig.panel().health().statusMenu(rig.window().CURRENT_BLOCK_TEXTBOX));
    const QList<QAction*> actions = menu->actions();
    const auto nodes = std::find_if(actions.cbegin(), actions.cend(),
                                    [](QAction* a) { return a->text() == "Nodes…"; });
    QVERIFY(nodes != actions.cend());
    (*nodes)->trigger();
    rig.panel().health().tray().nodesAction()->trigger();
    int shown = 0;
    for (QWidget* top : QApplication::topLevelWidgets())
        shown += qobject_cast<tw::panel::NodesWindow*>(top) && top->isVisible();
    QCOMPARE(shown, 1);
}

QTEST_MAIN(TestNodes)
#include "tst_nodes.moc"
