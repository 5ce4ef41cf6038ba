// The metrics endpoint over real sockets on the loopback: good and bad
// requests, requests in pieces, headers beyond the bound, clients that
// never finish, more clients than it takes at once, the listen address's
// text, and an address whose port is taken until it is freed.

#include "app/Diagnostics.h"
#include "fleet/MetricsServer.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

using tw::fleet::MetricsServer;

namespace {

const QByteArray Body =
    "# HELP twcliui_up Up.\n# TYPE twcliui_up gauge\ntwcliui_up{node=\"a\"} 1\n";

// A client on a real socket that keeps everything it receives.
class Client {
public:
    explicit Client(quint16 port, const QHostAddress& host = QHostAddress::LocalHost) {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { received += socket.readAll(); });
        socket.connectToHost(host, port);
    }
    bool connected() const { return socket.state() == QAbstractSocket::ConnectedState; }
    bool closed() const { return socket.state() == QAbstractSocket::UnconnectedState; }
    void send(const QByteArray& bytes) {
        socket.write(bytes);
        socket.flush();
    }
    QTcpSocket socket;
    QByteArray received;
};

struct Response {
    int status = 0;
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
};

Response parse(const QByteArray& bytes) {
    Response r;
    const qsizetype end = bytes.indexOf("\r\n\r\n");
    if (end < 0)
        return r;
    const QList<QByteArray> lines = bytes.left(end).split('\n');
    const QList<QByteArray> first = lines.first().trimmed().split(' ');
    if (first.size() < 2 || first[0] != "HTTP/1.1")
        return r;
    r.status = first[1].toInt();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        r.headers.insert(line.left(colon).toLower(), line.mid(colon + 1).trimmed());
    }
    r.body = bytes.mid(end + 4);
    return r;
}

} // namespace

class TestMetricsServer : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void requests_data();
    void requests();
    void headersBeyondTheBound_data();
    void headersBeyondTheBound();
    void slowClientIsClosed_data();
    void slowClientIsClosed();
    void moreClientsThanItTakes();
    void listenAddress_data();
    void listenAddress();
    void invalidAddressReportedOnce();
    void portInUseUntilFreed();
    void offClosesTheEndpoint();

private:
    std::unique_ptr<tw::app::Diagnostics> diagnostics_;
    std::unique_ptr<MetricsServer> server_;
    int asked_ = 0;
};

void TestMetricsServer::init() {
    asked_ = 0;
    diagnostics_ = std::make_unique<tw::app::Diagnostics>(QString(), false);
    server_ = std::make_unique<MetricsServer>(*diagnostics_, [this] {
        ++asked_;
        return Body;
    });
    server_->setListen("127.0.0.1:0");
    QVERIFY(server_->isListening());
    QCOMPARE(server_->address(), QHostAddress(QHostAddress::LocalHost));
    QVERIFY(server_->port() != 0);
}

void TestMetricsServer::cleanup() {
    server_.reset();
    diagnostics_.reset();
}

// The request is sent in the pieces separated by '|', a moment apart.
void TestMetricsServer::requests_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("withBody"); // the metrics (200) or a short error text
    QTest::addColumn<int>("asked");     // how often the text was asked for

    QTest::newRow("GET") << QByteArray("GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n") << 200 << true
                         << 1;
    QTest::newRow("GET HTTP/1.0, no headers")
        << QByteArray("GET /metrics HTTP/1.0\r\n\r\n") << 200 << true << 1;
    QTest::newRow("HEAD: headers alone")
        << QByteArray("HEAD /metrics HTTP/1.1\r\nHost: x\r\n\r\n") << 200 << false << 1;
    QTest::newRow("query string") << QByteArray("GET /metrics?x=1 HTTP/1.1\r\n\r\n") << 200 << true
                                  << 1;
    QTest::newRow("in pieces") << QByteArray("GE|T /metr|ics HTTP/1.1\r\nHo|st: x\r\n|\r\n") << 200
                               << true << 1;
    QTest::newRow("bare LF line ends")
        << QByteArray("GET /metrics HTTP/1.1\nHost: x\n\n") << 200 << true << 1;
    QTest::newRow("Prometheus's headers")
        << QByteArray(
               "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: Prometheus/2.42.0\r\n"
               "Accept: application/openmetrics-text;version=1.0.0,text/plain;version=0.0.4;"
               "q=0.5,*/*;q=0.1\r\nAccept-Encoding: gzip\r\nX-Prometheus-Scrape-Timeout-"
               "Seconds: 10\r\n\r\n")
        << 200 << true << 1;
    QTest::newRow("root: 404") << QByteArray("GET / HTTP/1.1\r\n\r\n") << 404 << true << 0;
    QTest::newRow("other path: 404")
        << QByteArray("GET /metricsx HTTP/1.1\r\n\r\n") << 404 << true << 0;
    QTest::newRow("POST: 405") << QByteArray("POST /metrics HTTP/1.1\r\nContent-Length: 0\r\n\r\n")
                               << 405 << true << 0;
    QTest::newRow("DELETE: 405") << QByteArray("DELETE /metrics HTTP/1.1\r\n\r\n") << 405 << true
                                 << 0;
    QTest::newRow("no version: 400") << QByteArray("GET /metrics\r\n\r\n") << 400 << true << 0;
    QTest::newRow("HTTP/2.0: 400")
        << QByteArray("GET /metrics HTTP/2.0\r\n\r\n") << 400 << true << 0;
    QTest::newRow("target without slash: 400")
        << QByteArray("GET metrics HTTP/1.1\r\n\r\n") << 400 << true << 0;
    QTest::newRow("two spaces: 400")
        << QByteArray("GET  /metrics HTTP/1.1\r\n\r\n") << 400 << true << 0;
    QTest::newRow("header without colon: 400")
        << QByteArray("GET /metrics HTTP/1.1\r\nHost x\r\n\r\n") << 400 << true << 0;
    QTest::newRow("folded header: 400")
        << QByteArray("GET /metrics HTTP/1.1\r\nHost: x\r\n  y\r\n\r\n") << 400 << true << 0;
    QTest::newRow("binary: 400") << QByteArray("\x16\x03\x01\x02\x00\x01\r\n\r\n", 10) << 400
                                 << true << 0;
}

void TestMetricsServer::requests() {
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    QFETCH(bool, withBody);
    QFETCH(int, asked);

    Client client(server_->port());
    QTRY_VERIFY(client.connected());
    const QList<QByteArray> pieces = request.split('|');
    for (const QByteArray& piece : pieces) {
        client.send(piece);
        if (pieces.size() > 1)
            QTest::qWait(100);
    }
    QTRY_VERIFY_WITH_TIMEOUT(client.closed(), 5000);
    client.received += client.socket.readAll();

    const Response response = parse(client.received);
    QCOMPARE(response.status, status);
    QCOMPARE(response.headers.value("connection"), QByteArray("close"));
    QCOMPARE(asked_, asked);
    if (status == 200) {
        QCOMPARE(response.headers.value("content-type"),
                 QByteArray("text/plain; version=0.0.4; charset=utf-8"));
        QCOMPARE(response.headers.value("content-length"), QByteArray::number(Body.size()));
        QCOMPARE(response.body, withBody ? Body : QByteArray());
    } else {
        QCOMPARE(response.headers.value("content-length"),
                 QByteArray::number(response.body.size()));
        QVERIFY(!response.body.isEmpty());
    }
    QCOMPARE(response.headers.value("allow"),
             status == 405 ? QByteArray("GET, HEAD") : QByteArray());
    QTRY_COMPARE(server_->connectionCount(), 0);
}

void TestMetricsServer::headersBeyondTheBound_data() {
    QTest::addColumn<int>("headerBytes"); // one header line of about this size
    QTest::addColumn<bool>("answered");   // 200; otherwise 431 or closed without an answer
    QTest::newRow("just under 8 KiB") << 8 * 1024 - 200 << true;
    QTest::newRow("just over 8 KiB") << 8 * 1024 + 10 << false;
    QTest::newRow("1 MiB") << 1024 * 1024 << false;
}

void TestMetricsServer::headersBeyondTheBound() {
    QFETCH(int, headerBytes);
    QFETCH(bool, answered);
    Client client(server_->port());
    QTRY_VERIFY(client.connected());
    client.send("GET /metrics HTTP/1.1\r\nX-Big: " + QByteArray(headerBytes, 'a') + "\r\n\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(client.closed(), 5000);
    client.received += client.socket.readAll();
    const Response response = parse(client.received);
    if (answered) {
        QCOMPARE(response.status, 200);
        QCOMPARE(response.body, Body);
    } else {
        QVERIFY2(response.status == 431 || client.received.isEmpty(), client.received.left(200));
        QCOMPARE(asked_, 0);
    }
}

void TestMetricsServer::slowClientIsClosed_data() {
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("says nothing") << QByteArray();
    QTest::newRow("request line, no end") << QByteArray("GET /metrics HTTP/1.1\r\n");
    QTest::newRow("half a request line") << QByteArray("GET /met");
}

void TestMetricsServer::slowClientIsClosed() {
    QFETCH(QByteArray, sent);
    server_->setRequestTimeout(1000);
    QElapsedTimer elapsed;
    elapsed.start();
    Client client(server_->port());
    QTRY_VERIFY(client.connected());
    if (!sent.isEmpty())
        client.send(sent);
    QTest::qWait(500);
    QVERIFY(client.connected());
    QTRY_VERIFY_WITH_TIMEOUT(client.closed(), 5000);
    QVERIFY2(elapsed.elapsed() >= 900, qPrintable(QString::number(elapsed.elapsed())));
    QVERIFY(client.received.isEmpty());
    QTRY_COMPARE(server_->connectionCount(), 0);
}

void TestMetricsServer::moreClientsThanItTakes() {
    server_->setRequestTimeout(3000);
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 20; ++i)
        clients.push_back(std::make_unique<Client>(server_->port()));
    // The ones beyond the limit are closed at once, long before the bound.
    QElapsedTimer elapsed;
    elapsed.start();
    auto closedCount = [&] {
        return int(std::count_if(clients.begin(), clients.end(),
                                 [](const auto& c) { return c->closed(); }));
    };
    QTRY_COMPARE_WITH_TIMEOUT(closedCount(), 20 - MetricsServer::MaxConnections, 2500);
    QVERIFY(elapsed.elapsed() < 2500);
    QCOMPARE(server_->connectionCount(), MetricsServer::MaxConnections);
    QTest::qWait(200);
    QCOMPARE(closedCount(), 20 - MetricsServer::MaxConnections);

    // While they are held, one more is closed too.
    Client extra(server_->port());
    QTRY_VERIFY_WITH_TIMEOUT(extra.closed(), 2000);
    QVERIFY(extra.received.isEmpty());

    // The idle ones run out of time; then a good request is answered.
    QTRY_COMPARE_WITH_TIMEOUT(closedCount(), 20, 6000);
    QTRY_COMPARE(server_->connectionCount(), 0);
    Client good(server_->port());
    QTRY_VERIFY(good.connected());
    good.send("GET /metrics HTTP/1.1\r\n\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(good.closed(), 5000);
    good.received += good.socket.readAll();
    QCOMPARE(parse(good.received).status, 200);
    QCOMPARE(parse(good.received).body, Body);
}

void TestMetricsServer::listenAddress_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("listening");
    QTest::addColumn<QString>("address"); // bound; empty when not listening
    QTest::addColumn<bool>("reported");

    QTest::newRow("empty: off") << "" << false << "" << false;
    QTest::newRow("IPv4 loopback") << "127.0.0.1:0" << true << "127.0.0.1" << false;
    QTest::newRow("localhost is 127.0.0.1") << "localhost:0" << true << "127.0.0.1" << false;
    QTest::newRow("LOCALHOST, spaces around") << " LOCALHOST:0 " << true << "127.0.0.1" << false;
    QTest::newRow("no port") << "127.0.0.1" << false << "" << true;
    QTest::newRow("port too big") << "127.0.0.1:65536" << false << "" << true;
    QTest::newRow("port with sign") << "127.0.0.1:+80" << false << "" << true;
    QTest::newRow("port not a number") << "127.0.0.1:http" << false << "" << true;
    QTest::newRow("no host") << ":9101" << false << "" << true;
    QTest::newRow("IPv6 without brackets") << "::1:9101" << false << "" << true;
    QTest::newRow("brackets around IPv4") << "[127.0.0.1]:0" << false << "" << true;
    QTest::newRow("not a host name") << "a b:9101" << false << "" << true;
    QTest::newRow("address not here") << "192.0.2.1:0" << false << "" << true;
}

void TestMetricsServer::listenAddress() {
    QFETCH(QString, text);
    QFETCH(bool, listening);
    QFETCH(QString, address);
    QFETCH(bool, reported);
    server_->setRetryInterval(60000);
    server_->setListen(text);
    QCOMPARE(server_->isListening(), listening);
    QCOMPARE(diagnostics_->isReported(MetricsServer::FailureKey), reported);
    QCOMPARE(diagnostics_->failureCount(), reported ? 1 : 0);
    if (!listening)
        return;
    QCOMPARE(server_->address().toString(), address);
    // Only that address: another loopback address of the same machine is
    // refused.
    Client other(server_->port(), QHostAddress("127.0.0.2"));
    QTRY_VERIFY(other.closed());
    QCOMPARE(other.socket.error(), QAbstractSocket::ConnectionRefusedError);
    Client client(server_->port(), QHostAddress(address));
    QTRY_VERIFY(client.connected());
    client.send("GET /metrics HTTP/1.1\r\n\r\n");
    QTRY_VERIFY(client.closed());
    client.received += client.socket.readAll();
    QCOMPARE(parse(client.received).status, 200);
}

void TestMetricsServer::invalidAddressReportedOnce() {
    server_->setListen("nonsense");
    server_->setListen("nonsense");
    QCOMPARE(diagnostics_->failureCount(), 1);
    QVERIFY(diagnostics_->lastFailure().contains("nonsense"));
    QVERIFY(!server_->isListening());
    // A host name that does not resolve is reported once it has been
    // looked up, without waiting for the lookup.
    server_->setListen("no-such-host.invalid:9101");
    QVERIFY(!diagnostics_->isReported(MetricsServer::FailureKey));
    QTRY_VERIFY_WITH_TIMEOUT(diagnostics_->isReported(MetricsServer::FailureKey), 20000);
    QVERIFY(diagnostics_->lastFailure().contains("no-such-host.invalid"));
    QVERIFY(!server_->isListening());
    // Off clears it.
    server_->setListen("");
    QVERIFY(!diagnostics_->isReported(MetricsServer::FailureKey));
}

void TestMetricsServer::portInUseUntilFreed() {
    QTcpServer holder;
    QVERIFY(holder.listen(QHostAddress::LocalHost, 0));
    const quint16 port = holder.serverPort();
    server_->setRetryInterval(200);
    server_->setListen(QString("127.0.0.1:%1").arg(port));
    QVERIFY(!server_->isListening());
    QVERIFY(diagnostics_->isReported(MetricsServer::FailureKey));
    QCOMPARE(diagnostics_->failureCount(), 1);
    QVERIFY(diagnostics_->lastFailure().contains(QString::number(port)));
    // Tried again and again, said once.
    QTest::qWait(1100);
    QVERIFY(!server_->isListening());
    QCOMPARE(diagnostics_->failureCount(), 1);

    holder.close();
    QTRY_VERIFY_WITH_TIMEOUT(server_->isListening(), 3000);
    QCOMPARE(server_->port(), port);
    QVERIFY(!diagnostics_->isReported(MetricsServer::FailureKey));
    Client client(port);
    QTRY_VERIFY(client.connected());
    client.send("GET /metrics HTTP/1.1\r\n\r\n");
    QTRY_VERIFY(client.closed());
    client.received += client.socket.readAll();
    QCOMPARE(parse(client.received).body, Body);
}

void TestMetricsServer::offClosesTheEndpoint() {
    const quint16 port = server_->port();
    server_->setListen("");
    QVERIFY(!server_->isListening());
    Client client(port);
    QTRY_VERIFY(client.closed());
    QVERIFY(client.received.isEmpty());
    QCOMPARE(diagnostics_->failureCount(), 0);
}

QTEST_GUILESS_MAIN(TestMetricsServer)
#include "tst_metrics_server.moc"
