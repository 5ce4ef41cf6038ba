// The alerts delivered over real HTTP: a receiver in this test on a local
// port (plain or TLS) records each request and answers as each case says,
// and a real Alertmanager started on a private port takes the alerts and
// shows them through its own API.
//
// The delivery cases are plans: one step per request the delivery makes,
// "200", "500", ... (the receiver answers with that status), "refused" (the
// receiver does not listen), "hang" (it takes the request and never answers)
// or "big" (200 with a body far beyond what is read). The next step is set up
// when the delivery says it finished an attempt.

#include "app/Diagnostics.h"
#include "fleet/AlertDelivery.h"
#include "health/HealthMonitor.h"
#include "tests/support/TestRig.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QProcess>
#include <QScopeGuard>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using tw::fleet::AlertDelivery;
using Alert = AlertDelivery::Alert;
using Target = AlertDelivery::Target;

namespace {

// 2026-12-07T05:30:00.250Z
constexpr qint64 WallStart = 1796621400250;

struct Request {
    QByteArray method;
    QByteArray path;
    QByteArray contentType;
    QByteArray body;
    int answered = 0; // the status the receiver gave; 0: none
};

// A small HTTP/1.1 server: one request per connection, answered with
// `status` (0: never answered) and closed.
class Receiver : public QObject {
public:
    explicit Receiver(bool tls = false, QSslConfiguration ssl = {}) : tls_(tls), ssl_(ssl) {}

    bool listen() {
        if (tls_) {
            auto server = std::make_unique<QSslServer>();
            server->setSslConfiguration(ssl_);
            server_ = std::move(server);
        } else {
            server_ = std::make_unique<QTcpServer>();
        }
        connect(server_.get(), &QTcpServer::pendingConnectionAvailable, this, [this] {
            while (QTcpSocket* socket = server_->nextPendingConnection())
                accept(socket);
        });
        if (!server_->listen(QHostAddress::LocalHost, port_))
            return false;
        port_ = server_->serverPort();
        return true;
    }
    void close() { server_.reset(); }
    bool listening() const { return server_ && server_->isListening(); }
    quint16 port() const { return port_; }
    QString url(const QString& path) const {
        return QStringLiteral("%1://127.0.0.1:%2%3")
            .arg(tls_ ? "https" : "http")
            .arg(port_)
            .arg(path);
    }

    int status = 200;
    bool big = false;
    QByteArray failBody = "Bad \x1b[1mtopic\x01\n  second line\n";
    QList<Request> requests;
    int closedConnections = 0;

private:
    void accept(QTcpSocket* socket) {
        socket->setParent(this);
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            ++closedConnections;
            socket->deleteLater();
        });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
            buffer->append(socket->readAll());
            const qsizetype end = buffer->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            Request request;
            const QList<QByteArray> lines = buffer->left(end).split('\n');
            const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
            request.method = first.value(0);
            request.path = first.value(1);
            qsizetype length = 0;
            for (const QByteArray& line : lines.mid(1)) {
                const qsizetype colon = line.indexOf(':');
                const QByteArray name = line.left(colon).trimmed().toLower();
                const QByteArray value = line.mid(colon + 1).trimmed();
                if (name == "content-length")
                    length = value.toLongLong();
                else if (name == "content-type")
                    request.contentType = value;
            }
            if (buffer->size() < end + 4 + length)
                return;
            request.body = buffer->mid(end + 4, length);
            buffer->clear();
            request.answered = status;
            requests.append(request);
            if (status == 0)
                return;
            const QByteArray body = big                 ? QByteArray(1 << 20, 'x')
                                    : status / 100 == 2 ? QByteArray("answer body")
                                                        : failBody;
            socket->write("HTTP/1.1 " + QByteArray::number(status) + " Status\r\n" +
                          "Content-Type: text/plain\r\nConnection: close\r\n" +
                          (status == 302 ? "Location: /elsewhere\r\n" : "") +
                          "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
            socket->disconnectFromHost();
        });
    }

    bool tls_;
    QSslConfiguration ssl_;
    std::unique_ptr<QTcpServer> server_;
    quint16 port_ = 0;
};

struct Attempt {
    Target target;
    bool delivered;
    QString error;
    qint64 at; // ms since the case began
    bool reported;
};

Alert alertNamed(const QString& name) {
    if (name == "stalled")
        return Alert::Stalled;
    if (name == "not_answering")
        return Alert::NotAnswering;
    return Alert::Warning;
}

// "stalled+ warning-": the monitor's announcements, in order.
void announce(AlertDelivery& delivery, const QString& events) {
    for (const QString& event : events.split(' ', Qt::SkipEmptyParts)) {
        const bool active = event.endsWith('+');
        const QString name = event.chopped(1);
        delivery.alertChanged(alertNamed(name), active,
                              QStringLiteral("%1 %2").arg(name, active ? "raised" : "over"),
                              QStringLiteral("About %1").arg(name));
    }
}

QJsonObject object(const QByteArray& body) {
    return QJsonDocument::fromJson(body).object();
}

// Alertmanager's /api/v2/alerts (active ones), read with a bound.
QJsonArray fetchAlerts(QNetworkAccessManager& network, quint16 port) {
    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1/api/v2/alerts").arg(port)));
    request.setTransferTimeout(5000);
    QNetworkReply* reply = network.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    reply->deleteLater();
    return QJsonDocument::fromJson(reply->readAll()).array();
}

QJsonObject findAlert(const QJsonArray& alerts, const QString& name) {
    for (const QJsonValue& alert : alerts) {
        if (alert["labels"]["alertname"].toString() == name)
            return alert.toObject();
    }
    return {};
}

qint64 msOf(const QJsonValue& time) {
    return QDateTime::fromString(time.toString(), Qt::ISODateWithMs).toMSecsSinceEpoch();
}

} // namespace

class TestAlertDelivery : public QObject {
    Q_OBJECT

private:
    // Runs `plan` against a receiver on the webhook, announcing the groups
    // of `events` ("a+ b+ | a-": the first at once, the next after the
    // first attempt, ...). Returns the attempts seen.
    QList<Attempt> runPlan(const QString& plan, const QString& events, Receiver& receiver,
                           tw::app::Diagnostics& diagnostics, AlertDelivery& delivery);

    QTemporaryDir certDir_;
    QString certFile_;
    QString keyFile_;

private slots:
    void initTestCase();

    void webhookEvent_data();
    void webhookEvent();
    void fromTheHealthMonitor();
    void webhookFailures_data();
    void webhookFailures();
    void allClearKeptInOrder_data();
    void allClearKeptInOrder();
    void heldWhileDown_data();
    void heldWhileDown();
    void invalidUrl_data();
    void invalidUrl();
    void abortedOnDestruction_data();
    void abortedOnDestruction();
    void tlsBackend();
    void https_data();
    void https();
    void alertmanagerRequests_data();
    void alertmanagerRequests();
    void alertmanagerDown();
    void realAlertmanager();
};

void TestAlertDelivery::initTestCase() {
    // A self-signed certificate for 127.0.0.1, for the TLS receiver.
    const QString openssl = QStandardPaths::findExecutable("openssl");
    if (openssl.isEmpty() || !certDir_.isValid())
        return;
    certFile_ = certDir_.filePath("cert.pem");
    keyFile_ = certDir_.filePath("key.pem");
    QProcess process;
    process.start(openssl, {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", keyFile_,
                            "-out", certFile_, "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
                            "subjectAltName=IP:127.0.0.1"});
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        qWarning() << "openssl req failed:" << process.readAllStandardError();
        certFile_.clear();
    }
}

void TestAlertDelivery::webhookEvent_data() {
    QTest::addColumn<QString>("alert");
    QTest::addColumn<bool>("active");
    QTest::addColumn<qint64>("blockCount"); // -1: unknown
    QTest::addColumn<QString>("state");

    QTest::newRow("stalled, firing") << "stalled" << true << qint64(812345) << "firing";
    QTest::newRow("stalled, resolved") << "stalled" << false << qint64(812346) << "resolved";
    QTest::newRow("not answering, firing, count unknown")
        << "not_answering" << true << qint64(-1) << "firing";
    QTest::newRow("not answering, resolved")
        << "not_answering" << false << qint64(17) << "resolved";
    QTest::newRow("warning, firing, count zero") << "warning" << true << qint64(0) << "firing";
    QTest::newRow("warning, resolved, count unknown")
        << "warning" << false << qint64(-1) << "resolved";
}

void TestAlertDelivery::webhookEvent() {
    QFETCH(QString, alert);
    QFETCH(bool, active);
    QFETCH(qint64, blockCount);
    QFETCH(QString, state);

    Receiver receiver;
    QVERIFY(receiver.listen());
    tw::app::Diagnostics diagnostics(QString(), false);
    qint64 wall = WallStart;
    AlertDelivery delivery(diagnostics, "TW-CLI-UI-BTC", [&wall] { return wall; });
    delivery.setBlockCountSource([blockCount]() -> std::optional<qint64> {
        if (blockCount < 0)
            return std::nullopt;
        return blockCount;
    });
    delivery.setWebhook(receiver.url("/hook/abc?token=s3cret"));
    delivery.alertChanged(alertNamed(alert), active, "Node in trouble", "Line one\nLine \"two\" ü");

    QTRY_COMPARE(receiver.requests.size(), 1);
    const Request& request = receiver.requests.first();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.path, QByteArray("/hook/abc?token=s3cret"));
    QCOMPARE(request.contentType, QByteArray("application/json"));
    const QJsonObject json = object(request.body);
    QStringList keys = {"node", "alert", "state", "summary", "description", "time"};
    if (blockCount >= 0)
        keys << "block_count";
    keys.sort();
    QCOMPARE(json.keys(), keys);
    QCOMPARE(json["node"].toString(), QString("TW-CLI-UI-BTC"));
    QCOMPARE(json["alert"].toString(), alert);
    QCOMPARE(json["state"].toString(), state);
    QCOMPARE(json["summary"].toString(), QString("Node in trouble"));
    QCOMPARE(json["description"].toString(), QString("Line one\nLine \"two\" ü"));
    QCOMPARE(json["time"].toString(), QString("2026-12-07T05:30:00.250Z"));
    if (blockCount >= 0)
        QCOMPARE(json["block_count"].toInteger(), blockCount);
    QTRY_COMPARE(delivery.pending(Target::Webhook), 0);
    QCOMPARE(diagnostics.failureCount(), 0);
}

// Wired as the panel does: the monitor's alerts over the fakes' queries, its
// block count in the message.
void TestAlertDelivery::fromTheHealthMonitor() {
    tw::test::TestRig rig;
    const auto wall = [&rig] { return WallStart + rig.clock.now(); };
    tw::health::HealthMonitor monitor(rig.services, wall);
    QStringList said;
    connect(&monitor, &tw::health::HealthMonitor::alertRaised, this,
            [&said](const QString& title, const QString& text) { said << title << text; });
    connect(&monitor, &tw::health::HealthMonitor::alertCleared, this,
            [&said](const QString& title, const QString& text) { said << title << text; });
    Receiver receiver;
    QVERIFY(receiver.listen());
    AlertDelivery delivery(rig.diagnostics, "TW-CLI-UI", wall);
    delivery.setBlockCountSource([&monitor] { return monitor.blockCount(); });
    connect(&monitor, &tw::health::HealthMonitor::alertChanged, &delivery,
            &AlertDelivery::alertChanged);
    delivery.setWebhook(receiver.url("/hook"));

    monitor.queryStarted(true);
    monitor.queryAnswered(true, "812345\r\n");
    for (int i = 0; i < tw::health::AlertSettings::DefaultFailureCount; ++i) {
        rig.advance(60'000);
        monitor.queryStarted(true);
        monitor.queryFailed(true, "log missing");
    }
    // The query cycles come back to the event loop in between.
    QTRY_COMPARE(receiver.requests.size(), 1);
    rig.advance(60'000);
    monitor.queryStarted(true);
    monitor.queryAnswered(true, "812346\r\n");
    QCOMPARE(said.size(), 4);

    QTRY_COMPARE(receiver.requests.size(), 2);
    const QJsonObject firing = object(receiver.requests[0].body);
    const QJsonObject resolved = object(receiver.requests[1].body);
    QCOMPARE(firing["alert"].toString(), QString("not_answering"));
    QCOMPARE(firing["state"].toString(), QString("firing"));
    QCOMPARE(firing["summary"].toString(), said[0]);
    QCOMPARE(firing["description"].toString(), said[1]);
    QCOMPARE(firing["block_count"].toInteger(), 812345);
    QCOMPARE(firing["time"].toString(), QString("2026-12-07T05:33:00.250Z"));
    QCOMPARE(resolved["alert"].toString(), QString("not_answering"));
    QCOMPARE(resolved["state"].toString(), QString("resolved"));
    QCOMPARE(resolved["summary"].toString(), said[2]);
    QCOMPARE(resolved["block_count"].toInteger(), 812346);
    QCOMPARE(resolved["time"].toString(), QString("2026-12-07T05:34:00.250Z"));
}

QList<Attempt> TestAlertDelivery::runPlan(const QString& plan, const QString& events,
                                          Receiver& receiver, tw::app::Diagnostics& diagnostics,
                                          AlertDelivery& delivery) {
    const QStringList steps = plan.split(' ', Qt::SkipEmptyParts);
    const QStringList groups = events.split('|');
    auto setUp = [&](int step) {
        const QString what = steps.value(step, "200");
        if (what == "refused") {
            receiver.close();
            return;
        }
        if (!receiver.listening() && !receiver.listen())
            qWarning() << "the receiver could not listen again on its port";
        receiver.big = what == "big";
        receiver.status = what == "hang" ? 0 : what == "big" ? 200 : what.toInt();
    };

    QList<Attempt> attempts;
    QElapsedTimer clock;
    clock.start();
    if (!receiver.listen())
        qWarning() << "the receiver could not listen";
    setUp(0);
    connect(&delivery, &AlertDelivery::attempted, this,
            [&](Target target, bool delivered, const QString& error) {
                attempts.append({target, delivered, error, clock.elapsed(),
                                 diagnostics.isReported(AlertDelivery::WebhookFailureKey)});
                setUp(static_cast<int>(attempts.size()));
                announce(delivery, groups.value(attempts.size()));
            });
    delivery.setWebhook(receiver.url("/hook"));
    announce(delivery, groups.value(0));
    [&] {
        QTRY_VERIFY_WITH_TIMEOUT(
            attempts.size() >= steps.size() && delivery.pending(Target::Webhook) == 0, 20000);
    }();
    disconnect(&delivery, &AlertDelivery::attempted, this, nullptr);
    return attempts;
}

void TestAlertDelivery::webhookFailures_data() {
    QTest::addColumn<QString>("plan");

    QTest::newRow("delivered at once") << "200";
    QTest::newRow("server errors, then delivered") << "500 503 500 200";
    QTest::newRow("connection refused, then delivered") << "refused refused refused 201";
    QTest::newRow("the delay stops growing at its cap") << "500 500 500 500 500 204";
    QTest::newRow("a redirect is not a delivery") << "302 200";
    QTest::newRow("no answer in time") << "hang 200";
    QTest::newRow("client error, refused, server error") << "404 refused 500 200";
    QTest::newRow("a huge answer is cut, still delivered") << "big";
}

void TestAlertDelivery::webhookFailures() {
    QFETCH(QString, plan);
    const QStringList steps = plan.split(' ');

    Receiver receiver;
    tw::app::Diagnostics diagnostics(QString(), false);
    qint64 wall = WallStart;
    AlertDelivery delivery(diagnostics, "node", [&wall] { return wall; });
    AlertDelivery::Timing timing;
    timing.firstRetryMs = 100;
    timing.maxRetryMs = 400;
    timing.requestTimeoutMs = 600;
    delivery.setTiming(timing);

    const QList<Attempt> attempts = runPlan(plan, "stalled+", receiver, diagnostics, delivery);
    QCOMPARE(attempts.size(), steps.size());

    bool anyFailure = false;
    int run = 0; // failures in a row before this attempt
    for (int i = 0; i < steps.size(); ++i) {
        const QString& step = steps[i];
        const bool ok = step == "big" || step.toInt() / 100 == 2;
        const Attempt& attempt = attempts[i];
        QCOMPARE(attempt.target, Target::Webhook);
        QCOMPARE(attempt.delivered, ok);
        // Reported from the first failure on, cleared by the delivery.
        QCOMPARE(attempt.reported, !ok);
        if (step == "refused")
            QVERIFY2(attempt.error.contains("refused", Qt::CaseInsensitive),
                     qPrintable(attempt.error));
        else if (step == "hang")
            QVERIFY2(attempt.error.contains("no answer within 0.6 s"), qPrintable(attempt.error));
        else if (!ok)
            QCOMPARE(attempt.error, "HTTP status " + step + " (Bad ?[1mtopic? second line)");
        if (i > 0) {
            // The wait before a retry: 100, 200, 400, 400 ms ...; the
            // attempt's own time adds to it.
            const qint64 delay = std::min(100 << (run - 1), 400);
            const qint64 gap = attempt.at - attempts[i - 1].at;
            const qint64 took = step == "hang" ? 600 : 0;
            // Below the next doubling, where the cap holds.
            const qint64 bound = std::max(2 * delay - 20, delay + 350) + took;
            QVERIFY2(gap >= delay - 2 && gap < bound,
                     qPrintable(QString("attempt %1: %2 ms after the one before, the wait is %3 ms")
                                    .arg(i)
                                    .arg(gap)
                                    .arg(delay)));
        }
        run = ok ? 0 : run + 1;
        anyFailure = anyFailure || !ok;
    }
    // Each request the receiver took is the same alert, sent again.
    QCOMPARE(receiver.requests.size(), steps.size() - steps.count("refused"));
    for (const Request& request : receiver.requests)
        QCOMPARE(request.body, receiver.requests.first().body);
    QCOMPARE(object(receiver.requests.first().body)["state"].toString(), QString("firing"));
    // One report for the whole run of failures, none left.
    QCOMPARE(diagnostics.failureCount(), anyFailure ? 1 : 0);
    if (anyFailure) {
        QVERIFY2(diagnostics.lastFailure().contains("http://127.0.0.1:"),
                 qPrintable(diagnostics.lastFailure()));
        QVERIFY2(!diagnostics.lastFailure().contains("/hook"),
                 qPrintable(diagnostics.lastFailure()));
    }
    QVERIFY(!diagnostics.isReported(AlertDelivery::WebhookFailureKey));
    QCOMPARE(delivery.pending(Target::Webhook), 0);
    QCOMPARE(delivery.failedAttempts(Target::Webhook), 0);
}

void TestAlertDelivery::allClearKeptInOrder_data() {
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("plan");
    QTest::addColumn<QString>("delivered");

    QTest::newRow("the all-clear waits behind its failing alert")
        << "stalled+ stalled-"
        << "500 500 200 200"
        << "stalled firing, stalled resolved";
    QTest::newRow("the all-clear retried across a new episode")
        << "stalled+ | stalled- | | stalled+ warning+"
        << "200 500 refused 200 200 200"
        << "stalled firing, stalled resolved, stalled firing, warning firing";
    QTest::newRow("two alerts, all-clears in the order they came")
        << "not_answering+ warning+ | warning- not_answering-"
        << "500 200 200 200 200"
        << "not_answering firing, warning firing, warning resolved, not_answering resolved";
    QTest::newRow("an all-clear that keeps failing outlasts the next alert")
        << "warning+ | warning- | | warning+ | warning-"
        << "200 503 503 refused 503 200 200 200"
        << "warning firing, warning resolved, warning firing, warning resolved";
}

void TestAlertDelivery::allClearKeptInOrder() {
    QFETCH(QString, events);
    QFETCH(QString, plan);
    QFETCH(QString, delivered);

    Receiver receiver;
    tw::app::Diagnostics diagnostics(QString(), false);
    qint64 wall = WallStart;
    AlertDelivery delivery(diagnostics, "node", [&wall] { return wall; });
    AlertDelivery::Timing timing;
    timing.firstRetryMs = 50;
    timing.maxRetryMs = 100;
    delivery.setTiming(timing);

    QCOMPARE(runPlan(plan, events, receiver, diagnostics, delivery).size(), plan.split(' ').size());

    QStringList seen;
    for (const Request& request : receiver.requests) {
        if (request.answered / 100 != 2)
            continue;
        const QJsonObject json = object(request.body);
        seen << json["alert"].toString() + ' ' + json["state"].toString();
    }
    QCOMPARE(seen.join(", "), delivered);
    QCOMPARE(delivery.pending(Target::Webhook), 0);
    QVERIFY(!diagnostics.isReported(AlertDelivery::WebhookFailureKey));
}

void TestAlertDelivery::heldWhileDown_data() {
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("finally"); // each alert's last state
    const QString episodes = QString("warning+ warning- ").repeated(100);
    const QString retold = QString("warning+ ").repeated(100);

    QTest::newRow("a hundred episodes over while the receiver is down")
        << "stalled+ | stalled- " + episodes + "not_answering+"
        << "not_answering+ stalled- warning-";
    QTest::newRow("a warning told again and again, then over")
        << "warning+ | " + retold + "warning-"
        << "warning-";
    QTest::newRow("a warning told again, over, behind a hundred episodes")
        << "stalled+ warning+ | | stalled- warning+ warning- " +
               QString(episodes).replace("warning", "not_answering")
        << "stalled- warning- not_answering-";
    QTest::newRow("a hundred episodes, the last one going on")
        << "stalled+ | " + episodes + "stalled- warning+"
        << "stalled- warning+";
}

void TestAlertDelivery::heldWhileDown() {
    QFETCH(QString, events);
    QFETCH(QString, finally);

    Receiver receiver;
    tw::app::Diagnostics diagnostics(QString(), false);
    AlertDelivery delivery(diagnostics, "node", [] { return WallStart; });
    AlertDelivery::Timing timing;
    timing.firstRetryMs = 20;
    timing.maxRetryMs = 40;
    delivery.setTiming(timing);
    int most = 0;
    connect(&delivery, &AlertDelivery::attempted, this,
            [&] { most = std::max(most, delivery.pending(Target::Webhook)); });

    // The first alerts go through, then the receiver is down for a while.
    runPlan("200 200 refused 503 refused 500", events, receiver, diagnostics, delivery);
    QVERIFY(most <= AlertDelivery::MaxQueued);
    QVERIFY(receiver.requests.size() <= AlertDelivery::MaxQueued + 6);

    // What the receiver heard adds up: no all-clear without its alert
    // before it, each alert's last word as it ended.
    QHash<QString, bool> open;
    QStringList heard;
    for (const Request& request : receiver.requests) {
        if (request.answered / 100 != 2)
            continue;
        const QJsonObject json = object(request.body);
        const QString alert = json["alert"].toString();
        const bool firing = json["state"].toString() == "firing";
        QVERIFY2(firing || open.value(alert), qPrintable(alert + " over before it began"));
        open[alert] = firing;
        heard << alert + (firing ? '+' : '-');
    }
    QCOMPARE(heard.mid(0, 1), QStringList{events.section(' ', 0, 0)});
    QStringList last;
    for (auto it = open.cbegin(); it != open.cend(); ++it)
        last << it.key() + (it.value() ? '+' : '-');
    last.sort();
    QStringList expected = finally.split(' ');
    expected.sort();
    QCOMPARE(last, expected);
    QVERIFY(!diagnostics.isReported(AlertDelivery::WebhookFailureKey));
}

void TestAlertDelivery::invalidUrl_data() {
    QTest::addColumn<bool>("alertmanager");
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("reported");

    QTest::newRow("webhook: words") << false << "not a url" << true;
    QTest::newRow("webhook: ftp") << false << "ftp://127.0.0.1/hook" << true;
    QTest::newRow("webhook: no host") << false << "https:///hook" << true;
    QTest::newRow("webhook: blank is off") << false << "   " << false;
    QTest::newRow("alertmanager: no scheme") << true << "127.0.0.1:9093" << true;
    QTest::newRow("alertmanager: bad port") << true << "http://127.0.0.1:99999" << true;
    QTest::newRow("alertmanager: empty is off") << true << "" << false;
}

void TestAlertDelivery::invalidUrl() {
    QFETCH(bool, alertmanager);
    QFETCH(QString, url);
    QFETCH(bool, reported);

    tw::app::Diagnostics diagnostics(QString(), false);
    AlertDelivery delivery(diagnostics, "node", [] { return WallStart; });
    const Target target = alertmanager ? Target::Alertmanager : Target::Webhook;
    const QString key =
        alertmanager ? AlertDelivery::AlertmanagerFailureKey : AlertDelivery::WebhookFailureKey;
    auto set = [&](const QString& value) {
        if (alertmanager)
            delivery.setAlertmanager(value);
        else
            delivery.setWebhook(value);
    };
    set(url);
    set(url);
    announce(delivery, "stalled+ warning+ stalled-");
    QCOMPARE(diagnostics.failureCount(), reported ? 1 : 0);
    QCOMPARE(diagnostics.isReported(key), reported);
    if (reported)
        QVERIFY2(diagnostics.lastFailure().contains(url.trimmed()),
                 qPrintable(diagnostics.lastFailure()));
    QCOMPARE(delivery.pending(target), 0);

    // A usable URL takes the report away. Past events are not sent to a
    // webhook; Alertmanager gets the alert still going on.
    Receiver receiver;
    QVERIFY(receiver.listen());
    set(receiver.url(""));
    QVERIFY(!diagnostics.isReported(key));
    QCOMPARE(delivery.pending(target), alertmanager ? 1 : 0);
    if (alertmanager) {
        QTRY_COMPARE(receiver.requests.size(), 1);
        const QJsonArray sent = QJsonDocument::fromJson(receiver.requests.first().body).array();
        QCOMPARE(sent.first()["labels"]["alertname"].toString(), QString("TwCliUiNodeWarning"));
    }
}

void TestAlertDelivery::abortedOnDestruction_data() {
    QTest::addColumn<bool>("sharedManager");
    QTest::newRow("its own network access manager") << false;
    QTest::newRow("a manager that outlives it") << true;
}

void TestAlertDelivery::abortedOnDestruction() {
    QFETCH(bool, sharedManager);

    Receiver receiver;
    QVERIFY(receiver.listen());
    receiver.status = 0;
    tw::app::Diagnostics diagnostics(QString(), false);
    QNetworkAccessManager manager;
    auto* delivery = new AlertDelivery(
        diagnostics, "node", [] { return WallStart; }, sharedManager ? &manager : nullptr);
    delivery->setWebhook(receiver.url("/hook"));
    delivery->setAlertmanager(receiver.url(""));
    announce(*delivery, "stalled+");
    QTRY_COMPARE(receiver.requests.size(), 2);
    delete delivery;
    // Both requests were given up: the connections close, nothing calls
    // back into the deleted object (the sanitizer build would tell).
    QTRY_COMPARE(receiver.closedConnections, 2);
    QCOMPARE(diagnostics.failureCount(), 0);
}

// https webhooks need a TLS backend in the build: OpenSSL on Linux, the
// Schannel backend imported into the static Windows build (not a test
// skip: its absence is a broken build).
void TestAlertDelivery::tlsBackend() {
    QVERIFY2(QSslSocket::supportsSsl(), qPrintable(QSslSocket::availableBackends().join(',')));
#ifdef Q_OS_WIN
    QCOMPARE(QSslSocket::activeBackend(), QString("schannel"));
#else
    QCOMPARE(QSslSocket::activeBackend(), QString("openssl"));
#endif
}

void TestAlertDelivery::https_data() {
    QTest::addColumn<bool>("trusted");
    QTest::newRow("the receiver's certificate trusted") << true;
    QTest::newRow("a self-signed certificate, not trusted") << false;
}

void TestAlertDelivery::https() {
    QFETCH(bool, trusted);
    if (!QSslSocket::supportsSsl())
        QSKIP("Qt has no TLS backend here");
    if (certFile_.isEmpty())
        QSKIP("no openssl program to make the test certificate");

    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(certFile_);
    QCOMPARE(certificates.size(), 1);
    QFile keyFile(keyFile_);
    QVERIFY(keyFile.open(QIODevice::ReadOnly));
    QSslConfiguration serverSsl = QSslConfiguration::defaultConfiguration();
    serverSsl.setLocalCertificate(certificates.first());
    serverSsl.setPrivateKey(QSslKey(&keyFile, QSsl::Rsa));
    Receiver receiver(true, serverSsl);
    QVERIFY(receiver.listen());

    tw::app::Diagnostics diagnostics(QString(), false);
    AlertDelivery delivery(diagnostics, "node", [] { return WallStart; });
    if (trusted) {
        QSslConfiguration clientSsl = QSslConfiguration::defaultConfiguration();
        clientSsl.addCaCertificates(certificates);
        delivery.setSslConfiguration(clientSsl);
    }
    QList<Attempt> attempts;
    connect(&delivery, &AlertDelivery::attempted, this,
            [&](Target target, bool delivered, const QString& error) {
                attempts.append({target, delivered, error, 0, false});
            });
    delivery.setWebhook(receiver.url("/tls-hook"));
    announce(delivery, "warning+");
    QTRY_VERIFY(!attempts.isEmpty());

    QCOMPARE(attempts.first().delivered, trusted);
    if (trusted) {
        QCOMPARE(receiver.requests.size(), 1);
        QCOMPARE(receiver.requests.first().path, QByteArray("/tls-hook"));
        QCOMPARE(object(receiver.requests.first().body)["alert"].toString(), QString("warning"));
        QCOMPARE(diagnostics.failureCount(), 0);
    } else {
        QCOMPARE(receiver.requests.size(), 0);
        QVERIFY(diagnostics.isReported(AlertDelivery::WebhookFailureKey));
        QVERIFY2(diagnostics.lastFailure().contains("SSL", Qt::CaseInsensitive) &&
                     diagnostics.lastFailure().contains("self-signed", Qt::CaseInsensitive),
                 qPrintable(diagnostics.lastFailure()));
    }
}

void TestAlertDelivery::alertmanagerRequests_data() {
    QTest::addColumn<QString>("alert");
    QTest::addColumn<QString>("alertname");
    QTest::addColumn<QString>("severity");

    QTest::newRow("stalled") << "stalled"
                             << "TwCliUiNodeStalled"
                             << "critical";
    QTest::newRow("not answering") << "not_answering"
                                   << "TwCliUiNodeNotAnswering"
                                   << "critical";
    QTest::newRow("warning") << "warning"
                             << "TwCliUiNodeWarning"
                             << "warning";
}

void TestAlertDelivery::alertmanagerRequests() {
    QFETCH(QString, alert);
    QFETCH(QString, alertname);
    QFETCH(QString, severity);

    Receiver receiver;
    QVERIFY(receiver.listen());
    tw::app::Diagnostics diagnostics(QString(), false);
    qint64 wall = WallStart;
    AlertDelivery delivery(diagnostics, "TW-CLI-UI-LTC", [&wall] { return wall; });
    AlertDelivery::Timing timing;
    timing.resendMs = 150;
    delivery.setTiming(timing);
    // Behind a path prefix, written with a slash at its end.
    delivery.setAlertmanager(receiver.url("/am/"));

    delivery.alertChanged(alertNamed(alert), true, "Trouble", "What went wrong");
    wall += 90'000;
    // The alert and re-sends of it, each with the episode's start.
    QTRY_VERIFY(receiver.requests.size() >= 3);
    delivery.alertChanged(alertNamed(alert), false, "Over", "It is over");
    QTRY_VERIFY(!receiver.requests.isEmpty() && receiver.requests.last().body.contains("endsAt"));
    QTRY_COMPARE(delivery.pending(Target::Alertmanager), 0);
    // The last request is the all-clear; the ones before, the alert.
    const int firing = static_cast<int>(receiver.requests.size()) - 1;

    for (int i = 0; i <= firing; ++i) {
        const Request& request = receiver.requests[i];
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.path, QByteArray("/am/api/v2/alerts"));
        QCOMPARE(request.contentType, QByteArray("application/json"));
        const QJsonArray array = QJsonDocument::fromJson(request.body).array();
        QCOMPARE(array.size(), 1);
        const QJsonObject sent = array.first().toObject();
        const QJsonObject labels = sent["labels"].toObject();
        QCOMPARE(labels.keys(), QStringList({"alertname", "node", "severity"}));
        QCOMPARE(labels["alertname"].toString(), alertname);
        QCOMPARE(labels["node"].toString(), QString("TW-CLI-UI-LTC"));
        QCOMPARE(labels["severity"].toString(), severity);
        QCOMPARE(sent["startsAt"].toString(), QString("2026-12-07T05:30:00.250Z"));
        const bool resolved = i == firing;
        QCOMPARE(sent["annotations"]["summary"].toString(), QString(resolved ? "Over" : "Trouble"));
        QCOMPARE(sent["annotations"]["description"].toString(),
                 QString(resolved ? "It is over" : "What went wrong"));
        QCOMPARE(sent.contains("endsAt"), resolved);
        if (resolved)
            QCOMPARE(sent["endsAt"].toString(), QString("2026-12-07T05:31:30.250Z"));
    }

    // Over: no more re-sends of it. Another alert's re-sends come without it.
    const QString other = alert == "warning" ? "stalled" : "warning";
    announce(delivery, other + "+");
    QTRY_VERIFY(receiver.requests.size() >= firing + 4);
    for (qsizetype i = firing + 1; i < receiver.requests.size(); ++i) {
        const QJsonArray array = QJsonDocument::fromJson(receiver.requests[i].body).array();
        QVERIFY(array.first()["labels"]["alertname"].toString() != alertname);
    }
    QCOMPARE(diagnostics.failureCount(), 0);
}

void TestAlertDelivery::alertmanagerDown() {
    // Alertmanager is not there yet: the re-sends due meanwhile do not pile
    // up behind the alert, which goes once it is.
    Receiver receiver;
    QVERIFY(receiver.listen());
    const QString url = receiver.url("");
    receiver.close();
    tw::app::Diagnostics diagnostics(QString(), false);
    qint64 wall = WallStart;
    AlertDelivery delivery(diagnostics, "node", [&wall] { return wall; });
    AlertDelivery::Timing timing;
    timing.resendMs = 40;
    timing.firstRetryMs = 400;
    timing.maxRetryMs = 400;
    delivery.setTiming(timing);
    delivery.setAlertmanager(url);
    int failures = 0;
    connect(&delivery, &AlertDelivery::attempted, this,
            [&](Target, bool delivered) { failures += delivered ? 0 : 1; });
    announce(delivery, "stalled+");
    QTRY_COMPARE(failures, 2);
    QCOMPARE(delivery.pending(Target::Alertmanager), 1);
    QVERIFY(diagnostics.isReported(AlertDelivery::AlertmanagerFailureKey));
    QVERIFY(diagnostics.lastFailure().startsWith("The Alertmanager at " + url));

    QVERIFY(receiver.listen());
    QTRY_VERIFY(!receiver.requests.isEmpty());
    QTRY_VERIFY(!diagnostics.isReported(AlertDelivery::AlertmanagerFailureKey));
    QCOMPARE(diagnostics.failureCount(), 1);
}

void TestAlertDelivery::realAlertmanager() {
    const QString program = QStandardPaths::findExecutable("prometheus-alertmanager").isEmpty()
                                ? QStandardPaths::findExecutable("alertmanager")
                                : QStandardPaths::findExecutable("prometheus-alertmanager");
    if (program.isEmpty())
        QSKIP("no Alertmanager here (prometheus-alertmanager or alertmanager on the PATH)");

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Alerts not re-sent end after two seconds.
    QFile config(dir.filePath("alertmanager.yml"));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("global:\n  resolve_timeout: 2s\n"
                 "route:\n  receiver: nowhere\n  group_wait: 1s\n"
                 "receivers:\n  - name: nowhere\n");
    config.close();
    quint16 port = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }
    QProcess alertmanager;
    alertmanager.setProcessChannelMode(QProcess::MergedChannels);
    alertmanager.start(program, {"--config.file=" + config.fileName(),
                                 "--storage.path=" + dir.filePath("data"),
                                 QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(port),
                                 "--cluster.listen-address="});
    QVERIFY2(alertmanager.waitForStarted(), qPrintable(alertmanager.errorString()));
    auto stop = qScopeGuard([&] {
        alertmanager.terminate();
        if (!alertmanager.waitForFinished(10000))
            alertmanager.kill();
        alertmanager.waitForFinished(5000);
    });

    QNetworkAccessManager network;
    auto ready = [&] {
        QNetworkReply* reply = network.get(
            QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/-/ready").arg(port))));
        QEventLoop loop;
        connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        reply->deleteLater();
        return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
    };
    QTRY_VERIFY2_WITH_TIMEOUT(ready(), qPrintable(QString::fromLocal8Bit(alertmanager.readAll())),
                              30000);

    tw::app::Diagnostics diagnostics(QString(), false);
    AlertDelivery delivery(diagnostics, "TW-CLI-UI-BTC",
                           [] { return QDateTime::currentMSecsSinceEpoch(); });
    AlertDelivery::Timing timing;
    timing.resendMs = 500;
    delivery.setTiming(timing);
    delivery.setAlertmanager(QStringLiteral("http://127.0.0.1:%1").arg(port));
    const qint64 start = QDateTime::currentMSecsSinceEpoch();
    delivery.alertChanged(Alert::Stalled, true, "Node stalled", "No new block for 30 minutes");

    QJsonObject shown;
    QTRY_VERIFY_WITH_TIMEOUT(
        !(shown = findAlert(fetchAlerts(network, port), "TwCliUiNodeStalled")).isEmpty(), 15000);
    QCOMPARE(shown.value("labels")["node"].toString(), QString("TW-CLI-UI-BTC"));
    QCOMPARE(shown.value("labels")["severity"].toString(), QString("critical"));
    QCOMPARE(shown.value("annotations")["summary"].toString(), QString("Node stalled"));
    QCOMPARE(shown.value("annotations")["description"].toString(),
             QString("No new block for 30 minutes"));
    QCOMPARE(shown.value("status")["state"].toString(), QString("active"));
    const qint64 startsAt = msOf(shown.value("startsAt"));
    QVERIFY2(startsAt >= start - 1 && startsAt <= start + 1000,
             qPrintable(shown.value("startsAt").toString()));
    const qint64 firstEnd = msOf(shown.value("endsAt"));

    // Re-sent, it stays well past the end Alertmanager gave it at first,
    // with its first start.
    bool vanished = false;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            const QJsonObject now = findAlert(fetchAlerts(network, port), "TwCliUiNodeStalled");
            vanished = vanished || now.isEmpty();
            return !now.isEmpty() && msOf(now["endsAt"]) > firstEnd + 3000 &&
                   msOf(now["startsAt"]) == startsAt;
        }(),
        20000);
    QVERIFY(!vanished);

    // The all-clear: no longer active.
    delivery.alertChanged(Alert::Stalled, false, "Node moving again", "Block 812,346");
    QTRY_VERIFY_WITH_TIMEOUT(findAlert(fetchAlerts(network, port), "TwCliUiNodeStalled").isEmpty(),
                             15000);

    // A warning now, re-sent: the stalled alert does not come back with it.
    delivery.alertChanged(Alert::Warning, true, "Node warning", "Unknown rules activated");
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            const QJsonObject warning = findAlert(fetchAlerts(network, port), "TwCliUiNodeWarning");
            return !warning.isEmpty() && msOf(warning["endsAt"]) > msOf(warning["startsAt"]) + 3000;
        }(),
        20000);
    const QJsonArray last = fetchAlerts(network, port);
    QCOMPARE(findAlert(last, "TwCliUiNodeWarning").value("labels")["severity"].toString(),
             QString("warning"));
    QVERIFY(findAlert(last, "TwCliUiNodeStalled").isEmpty());
    QCOMPARE(diagnostics.failureCount(), 0);
}

QTEST_MAIN(TestAlertDelivery)
#include "tst_alert_delivery.moc"
