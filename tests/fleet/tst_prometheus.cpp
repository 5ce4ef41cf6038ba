// The metrics as the real Prometheus sees them, both ways: the panel-like
// fixture (metrics_fixture) serves its endpoint and writes its textfile;
// the real node_exporter reads the textfile; the real Prometheus scrapes
// both every second. Passes when Prometheus's query API gives the
// fixture's block count for both jobs, with the node's label, and the
// scrapes of both are up. Skips only when Prometheus or node_exporter is
// not installed (Debian: prometheus, prometheus-node-exporter).

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

#include <memory>

namespace {

constexpr qint64 Blocks = 424242;
const QString Node = "fixture \"node\"";

// A port that was free a moment ago on the loopback.
quint16 freePort() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// A child process that is killed at the end of the test.
struct Child {
    explicit Child(const QString& label) : name(label) {
        process.setProcessChannelMode(QProcess::SeparateChannels);
    }
    ~Child() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    QString said() {
        return name + " said:\n" +
               QString::fromLocal8Bit(process.readAllStandardError().right(3000));
    }
    QString name;
    QProcess process;
};

} // namespace

class TestPrometheus : public QObject {
    Q_OBJECT
private slots:
    void scrapedBothWays();

private:
    // The samples of `promql` now: job -> (value, labels).
    QMap<QString, QPair<QString, QJsonObject>> query(quint16 port, const QString& promql);
    QNetworkAccessManager network_;
};

QMap<QString, QPair<QString, QJsonObject>> TestPrometheus::query(quint16 port,
                                                                 const QString& promql) {
    QMap<QString, QPair<QString, QJsonObject>> out;
    QUrl url(QString("http://127.0.0.1:%1/api/v1/query").arg(port));
    QUrlQuery q;
    q.addQueryItem("query", promql);
    url.setQuery(q);
    std::unique_ptr<QNetworkReply> reply(network_.get(QNetworkRequest(url)));
    QElapsedTimer waited;
    waited.start();
    while (!reply->isFinished() && waited.elapsed() < 5000)
        QTest::qWait(20);
    if (!reply->isFinished() || reply->error() != QNetworkReply::NoError)
        return out;
    const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
    for (const QJsonValue& result : answer["data"].toObject()["result"].toArray()) {
        const QJsonObject metric = result["metric"].toObject();
        out.insert(metric["job"].toString(), {result["value"].toArray().at(1).toString(), metric});
    }
    return out;
}

void TestPrometheus::scrapedBothWays() {
    const QString prometheus = QStandardPaths::findExecutable("prometheus");
    QString nodeExporter = QStandardPaths::findExecutable("prometheus-node-exporter");
    if (nodeExporter.isEmpty())
        nodeExporter = QStandardPaths::findExecutable("node_exporter");
    if (prometheus.isEmpty() || nodeExporter.isEmpty())
        QSKIP("prometheus or prometheus-node-exporter is not installed (scripts/install-deps.sh "
              "installs them)");

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString textfiles = dir.filePath("textfile");
    QVERIFY(QDir().mkpath(textfiles));

    Child fixture("metrics_fixture");
    fixture.process.start(TW_METRICS_FIXTURE, {"--blocks", QString::number(Blocks), "--folder",
                                               textfiles, "--name", Node});
    QTRY_VERIFY2_WITH_TIMEOUT(fixture.process.canReadLine(), qPrintable(fixture.said()), 10000);
    const QByteArray line = fixture.process.readLine().trimmed();
    QVERIFY2(line.startsWith("port "), line.constData());
    const quint16 panelPort = line.mid(5).toUShort();
    QVERIFY(panelPort != 0);
    // The fixture's name has no characters a file name cannot hold but a
    // space and quotes: they become '_'.
    QTRY_VERIFY(QFile::exists(textfiles + "/fixture__node_.prom"));

    const quint16 exporterPort = freePort();
    Child exporter("node_exporter");
    exporter.process.start(nodeExporter,
                           {"--collector.disable-defaults", "--collector.textfile",
                            "--collector.textfile.directory=" + textfiles,
                            QString("--web.listen-address=127.0.0.1:%1").arg(exporterPort)});
    QVERIFY2(exporter.process.waitForStarted(10000), qPrintable(exporter.process.errorString()));

    const quint16 prometheusPort = freePort();
    const QString config = dir.filePath("prometheus.yml");
    QFile yml(config);
    QVERIFY(yml.open(QIODevice::WriteOnly));
    yml.write(QString("global:\n"
                      "  scrape_interval: 1s\n"
                      "  scrape_timeout: 1s\n"
                      "  evaluation_interval: 1s\n"
                      "scrape_configs:\n"
                      "  - job_name: panel\n"
                      "    static_configs:\n"
                      "      - targets: ['127.0.0.1:%1']\n"
                      "  - job_name: textfile\n"
                      "    static_configs:\n"
                      "      - targets: ['127.0.0.1:%2']\n")
                  .arg(panelPort)
                  .arg(exporterPort)
                  .toUtf8());
    yml.close();
    Child server("prometheus");
    server.process.start(prometheus,
                         {"--config.file=" + config, "--storage.tsdb.path=" + dir.filePath("tsdb"),
                          QString("--web.listen-address=127.0.0.1:%1").arg(prometheusPort),
                          "--log.level=warn"});
    QVERIFY2(server.process.waitForStarted(10000), qPrintable(server.process.errorString()));

    // Both jobs give the block count, within a minute.
    QMap<QString, QPair<QString, QJsonObject>> blocks;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 60000) {
        blocks = query(prometheusPort, "twcliui_block_count");
        if (blocks.contains("panel") && blocks.contains("textfile"))
            break;
        QVERIFY2(fixture.process.state() == QProcess::Running, qPrintable(fixture.said()));
        QVERIFY2(exporter.process.state() == QProcess::Running, qPrintable(exporter.said()));
        QVERIFY2(server.process.state() == QProcess::Running, qPrintable(server.said()));
        QTest::qWait(500);
    }
    QVERIFY2(blocks.contains("panel") && blocks.contains("textfile"),
             qPrintable(QStringList(blocks.keys()).join(',') + "\n" + server.said() + "\n" +
                        exporter.said() + "\n" + fixture.said()));
    for (const QString job : {"panel", "textfile"}) {
        QCOMPARE(blocks[job].first, QString::number(Blocks));
        QCOMPARE(blocks[job].second["node"].toString(), Node);
    }

    // Every scrape of both worked (no parse errors on either side), and the
    // other families made it too.
    const auto up = query(prometheusPort, "up");
    QCOMPARE(up.value("panel").first, QString("1"));
    QCOMPARE(up.value("textfile").first, QString("1"));
    const auto errors = query(prometheusPort, "node_textfile_scrape_error");
    QCOMPARE(errors.value("textfile").first, QString("0"));
    const auto peers = query(prometheusPort, "twcliui_connections");
    QCOMPARE(peers.value("panel").first, QString("10"));
    QCOMPARE(peers.value("textfile").first, QString("10"));
    const auto failures = query(prometheusPort, "twcliui_query_failures_total{query=\"blocks\"}");
    QCOMPARE(failures.value("panel").first, QString("0"));
    const auto alerts = query(prometheusPort, "sum by (job) (twcliui_alert_active)");
    QCOMPARE(alerts.value("panel").first, QString("0"));
    QCOMPARE(alerts.value("textfile").first, QString("0"));
    const auto tipAge = query(prometheusPort, "time() - twcliui_tip_timestamp_seconds");
    QVERIFY(tipAge.contains("panel"));
    QVERIFY2(tipAge["panel"].first.toDouble() > 30 && tipAge["panel"].first.toDouble() < 600,
             qPrintable(tipAge["panel"].first));
}

QTEST_GUILESS_MAIN(TestPrometheus)
#include "tst_prometheus.moc"
