// The monitoring parts as the program's composition wires them, from the
// store's settings: the metrics file and endpoint after a real query cycle
// (over the fakes), and an alert posted to a webhook (a real local HTTP
// receiver).

#include "fleet/MetricsServer.h"
#include "health/AlertSettings.h"
#include "tests/support/TestRig.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using tw::health::AlertSettings;

namespace {

const QString Folder = "/node/";

// One G-B-C cycle whose client answers `answer` (nothing: no log).
void blockCount(tw::test::TestRig& rig, const QByteArray& answer) {
    rig.starter.onBatch = [&rig, answer](const QString& path) {
        if (!answer.isEmpty())
            rig.files.put(path.chopped(3) + "LOG", answer);
    };
    QTest::mouseClick(rig.button("GETBLOCKCOUNT_BUTTON"), Qt::LeftButton);
    rig.advance(10000);
}

} // namespace

class TestMonitoring : public QObject {
    Q_OBJECT

private slots:
    void metricsFromTheSettings() {
        tw::test::TestRig rig("TW-CLI-UI-BTC");
        rig.storeQueryPaths(Folder);
        rig.store(AlertSettings::MetricsFolderKey, "/prom");
        rig.store(AlertSettings::MetricsListenKey, "127.0.0.1:0");
        rig.start();
        rig.leaveQueryButtonsToThePolls();
        blockCount(rig, "840123\r\n");
        QByteArray file; // "/prom" and the name joined by the system's separator
        for (auto it = rig.files.files.cbegin(); it != rig.files.files.cend(); ++it)
            if (it.key().startsWith("/prom") && it.key().endsWith("TW-CLI-UI-BTC.prom"))
                file = it.value();
        QVERIFY2(file.contains("\ntwcliui_block_count{node=\"TW-CLI-UI-BTC\"} 840123\n"),
                 file.constData());

        auto& server = rig.panel().metricsServer();
        QVERIFY(server.isListening());
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, server.port());
        QVERIFY(client.waitForConnected(2000));
        client.write("GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n");
        QByteArray answer;
        QTRY_VERIFY_WITH_TIMEOUT(
            (answer += client.readAll(), client.state() == QAbstractSocket::UnconnectedState),
            5000);
        answer += client.readAll();
        QVERIFY2(answer.startsWith("HTTP/1.1 200"), answer.left(200).constData());
        QVERIFY(answer.contains("\ntwcliui_block_count{node=\"TW-CLI-UI-BTC\"} 840123\n"));
    }

    void alertToTheWebhook() {
        QTcpServer receiver;
        QVERIFY(receiver.listen(QHostAddress::LocalHost));
        QByteArray posted;
        connect(&receiver, &QTcpServer::newConnection, &receiver, [&] {
            QTcpSocket* socket = receiver.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [&posted, socket] {
                posted += socket->readAll();
                if (posted.contains("\"state\"")) {
                    socket->write("HTTP/1.1 204 No Content\r\nContent-Length: 0\r\nConnection: "
                                  "close\r\n\r\n");
                    socket->disconnectFromHost();
                }
            });
        });
        tw::test::TestRig rig("TW-CLI-UI-BTC");
        rig.storeQueryPaths(Folder);
        rig.store(AlertSettings::FailureCountKey, "1");
        rig.store(AlertSettings::WebhookKey,
                  QString("http://127.0.0.1:%1/hook").arg(receiver.serverPort()));
        rig.start();
        rig.leaveQueryButtonsToThePolls();
        blockCount(rig, ""); // no log: the query fails, the alert is raised
        QTRY_VERIFY_WITH_TIMEOUT(posted.contains("\"state\""), 5000);
        QVERIFY2(posted.startsWith("POST /hook "), posted.left(200).constData());
        QVERIFY(posted.contains("\"alert\":\"not_answering\"") ||
                posted.contains("\"alert\": \"not_answering\""));
        QVERIFY(posted.contains("firing"));
    }
};

QTEST_MAIN(TestMonitoring)
#include "tst_monitoring.moc"
