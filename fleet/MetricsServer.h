#pragma once
// The metrics endpoint: GET /metrics (and HEAD) over plain HTTP/1.1 for
// Prometheus to scrape.
//
// A small server of its own on QTcpServer: Qt's HTTP server module is
// neither in Debian 12's Qt 6.4 nor in the static Qt of the Windows build,
// and one read-only path needs little of HTTP. Each request gets one
// response and the connection is closed (Connection: close). Bounded so
// that no client can hold the panel up: 8 KiB of request headers, a few
// seconds for the whole exchange, a few connections at once (more are
// closed at once). Nothing waits: everything runs from the event loop.

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTimer>

#include <functional>
#include <optional>

namespace tw::app {
class Diagnostics;
}

namespace tw::fleet {

// Where to listen, read from "host:port" ("127.0.0.1:9101",
// "[::1]:9101", "localhost:9101", "panel.lan:9101"). The host is required
// (0.0.0.0 or [::] for every address); port 0 takes any free port.
struct ListenAddress {
    QString host; // as given, without brackets
    quint16 port = 0;
};
// nullopt with `error` set when the text is no such address.
std::optional<ListenAddress> parseListen(const QString& text, QString* error);

class MetricsServer : public QObject {
    Q_OBJECT
public:
    // Diagnostics key of an address that is no address, a host name that
    // does not resolve, or an address that cannot be bound.
    static const QString FailureKey;
    static constexpr int MaxConnections = 8;
    static constexpr qsizetype MaxRequestBytes = 8 * 1024;
    static constexpr int DefaultRequestTimeoutMs = 5000;
    static constexpr int DefaultRetryIntervalMs = 30000;

    using Body = std::function<QByteArray()>;

    // `body` gives the exposition text; it is asked once per GET or HEAD
    // of /metrics. Off until setListen.
    MetricsServer(app::Diagnostics& diagnostics, Body body, QObject* parent = nullptr);
    ~MetricsServer() override;

    // "host:port" to listen on, only there; empty turns the endpoint off.
    // Text that is no address is reported (once) and leaves it off; a host
    // name is resolved once, here ("localhost" is 127.0.0.1). An address
    // that cannot be bound (a port in use) is reported once and tried again
    // every retry interval until it binds, which clears the report. The
    // same text again changes nothing.
    void setListen(const QString& listen);
    const QString& listenText() const { return listenText_; }

    bool isListening() const { return server_.isListening(); }
    // The address and port bound (the port chosen when 0 was asked for);
    // null and 0 while not listening.
    QHostAddress address() const { return server_.serverAddress(); }
    quint16 port() const { return server_.serverPort(); }
    // Connections open now.
    int connectionCount() const { return open_; }

    // The time a connection has for its request and the response (and is
    // then closed); the time between tries of an address that would not
    // bind. For the tests; the defaults above otherwise.
    void setRequestTimeout(int ms) { requestTimeoutMs_ = ms; }
    void setRetryInterval(int ms);

signals:
    // Began or stopped listening.
    void listeningChanged(bool listening);

private:
    void bindNow();
    void stop();
    void accept();
    void report(const QString& message);

    app::Diagnostics& diagnostics_;
    Body body_;
    QTcpServer server_;
    QTimer retry_;
    QString listenText_;
    std::optional<QHostAddress> address_; // resolved
    quint16 port_ = 0;
    int lookupId_ = -1;  // the host name lookup under way
    int generation_ = 0; // counts setListen calls; a lookup answer of an older one is dropped
    int open_ = 0;
    int requestTimeoutMs_ = DefaultRequestTimeoutMs;
};

} // namespace tw::fleet
