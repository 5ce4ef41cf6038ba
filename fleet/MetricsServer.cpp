#include "fleet/MetricsServer.h"

#include "app/Diagnostics.h"
#include "fleet/Metrics.h"

#include <QHostInfo>
#include <QList>
#include <QTcpSocket>

#include <algorithm>
#include <memory>

namespace tw::fleet {

const QString MetricsServer::FailureKey = QStringLiteral("metrics-endpoint");

std::optional<ListenAddress> parseListen(const QString& text, QString* error) {
    auto fail = [&](const QString& why) -> std::optional<ListenAddress> {
        if (error)
            *error =
                QStringLiteral("The metrics address \"%1\" is not host:port: %2").arg(text, why);
        return std::nullopt;
    };
    const QString trimmed = text.trimmed();
    QString host;
    QString port;
    if (trimmed.startsWith(u'[')) {
        const qsizetype close = trimmed.indexOf(u']');
        if (close < 0 || trimmed.mid(close + 1, 1) != QStringLiteral(":"))
            return fail(QStringLiteral("an IPv6 address is written [address]:port"));
        host = trimmed.mid(1, close - 1);
        port = trimmed.mid(close + 2);
        QHostAddress literal;
        if (!literal.setAddress(host) || literal.protocol() != QAbstractSocket::IPv6Protocol)
            return fail(QStringLiteral("\"%1\" is no IPv6 address").arg(host));
    } else {
        const qsizetype colon = trimmed.lastIndexOf(u':');
        if (colon < 0)
            return fail(QStringLiteral("the port is missing"));
        host = trimmed.left(colon);
        port = trimmed.mid(colon + 1);
        if (host.contains(u':'))
            return fail(QStringLiteral("an IPv6 address is written [address]:port"));
    }
    if (host.isEmpty())
        return fail(QStringLiteral("the host is missing (0.0.0.0 listens on every address)"));
    for (const QChar c : host) {
        const bool allowed =
            c.isLetterOrNumber() || c == u'.' || c == u'-' || c == u'_' || c == u':' || c == u'%';
        if (!allowed || c.unicode() > 0x7f)
            return fail(QStringLiteral("\"%1\" is no host name").arg(host));
    }
    bool ok = false;
    const uint number = port.toUInt(&ok, 10);
    // toUInt takes a sign and spaces; the port is digits only.
    const bool digits = !port.isEmpty() &&
                        std::all_of(port.begin(), port.end(), [](QChar c) { return c.isDigit(); });
    if (!ok || !digits || number > 65535)
        return fail(QStringLiteral("\"%1\" is no port (0 to 65535)").arg(port));
    return ListenAddress{host, quint16(number)};
}

namespace {

const QByteArray Allowed = "GET, HEAD";

QByteArray reasonOf(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 431:
        return "Request Header Fields Too Large";
    }
    return "Error";
}

QByteArray response(int status, const QByteArray& contentType, const QByteArray& body,
                    bool withBody) {
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonOf(status) + "\r\n";
    out += "Content-Type: " + contentType + "\r\n";
    out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    out += "Connection: close\r\n";
    if (status == 405)
        out += "Allow: " + Allowed + "\r\n";
    out += "\r\n";
    if (withBody)
        out += body;
    return out;
}

QByteArray errorResponse(int status) {
    return response(status, "text/plain; charset=utf-8", reasonOf(status) + '\n', true);
}

// A token of HTTP (a method, a header's name).
bool isToken(const QByteArray& text) {
    if (text.isEmpty())
        return false;
    static const QByteArray Marks = "!#$%&'*+-.^_`|~";
    for (const char c : text) {
        const bool alnum =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alnum && !Marks.contains(c))
            return false;
    }
    return true;
}

// Where the request's header block ends (after its blank line), or -1.
qsizetype headerEnd(const QByteArray& buffer) {
    const qsizetype crlf = buffer.indexOf("\r\n\r\n");
    const qsizetype lf = buffer.indexOf("\n\n");
    if (crlf >= 0 && (lf < 0 || crlf + 2 <= lf))
        return crlf + 4;
    return lf >= 0 ? lf + 2 : -1;
}

// The response to a complete header block.
QByteArray answer(const QByteArray& head, const MetricsServer::Body& body) {
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    if (lines.isEmpty())
        return errorResponse(400);
    const QList<QByteArray> parts = lines.first().split(' ');
    if (parts.size() != 3 || !isToken(parts[0]) || !parts[1].startsWith('/') ||
        (parts[2] != "HTTP/1.1" && parts[2] != "HTTP/1.0"))
        return errorResponse(400);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || !isToken(line.left(colon)))
            return errorResponse(400);
    }
    const QByteArray& method = parts[0];
    const qsizetype query = parts[1].indexOf('?');
    const QByteArray path = query < 0 ? parts[1] : parts[1].first(query);
    if (path != "/metrics")
        return errorResponse(404);
    if (method != "GET" && method != "HEAD")
        return errorResponse(405);
    return response(200, ExpositionContentType, body ? body() : QByteArray(), method == "GET");
}

} // namespace

MetricsServer::MetricsServer(app::Diagnostics& diagnostics, Body body, QObject* parent)
    : QObject(parent), diagnostics_(diagnostics), body_(std::move(body)) {
    retry_.setInterval(DefaultRetryIntervalMs);
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &MetricsServer::bindNow);
    connect(&server_, &QTcpServer::newConnection, this, &MetricsServer::accept);
    // Connections beyond the limit are taken and closed at once rather than
    // left waiting in the queue.
    server_.setMaxPendingConnections(64);
}

MetricsServer::~MetricsServer() {
    if (lookupId_ >= 0)
        QHostInfo::abortHostLookup(lookupId_);
    // The open connections go first, while the count they keep still exists.
    for (QTcpSocket* socket : findChildren<QTcpSocket*>(Qt::FindDirectChildrenOnly)) {
        socket->disconnect(this);
        delete socket;
    }
}

void MetricsServer::setRetryInterval(int ms) {
    retry_.setInterval(ms);
}

void MetricsServer::report(const QString& message) {
    diagnostics_.report(FailureKey, QString(), message);
}

void MetricsServer::stop() {
    retry_.stop();
    if (lookupId_ >= 0) {
        QHostInfo::abortHostLookup(lookupId_);
        lookupId_ = -1;
    }
    address_.reset();
    if (server_.isListening()) {
        server_.close();
        emit listeningChanged(false);
    }
}

void MetricsServer::setListen(const QString& listen) {
    if (listen == listenText_)
        return;
    listenText_ = listen;
    ++generation_;
    stop();
    // What was said of the old address does not hold for the new one.
    diagnostics_.clear(FailureKey);
    if (listen.trimmed().isEmpty())
        return;
    QString error;
    const std::optional<ListenAddress> parsed = parseListen(listen, &error);
    if (!parsed) {
        report(error);
        return;
    }
    port_ = parsed->port;
    QHostAddress literal;
    if (parsed->host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0) {
        address_ = QHostAddress(QHostAddress::LocalHost);
    } else if (literal.setAddress(parsed->host)) {
        address_ = literal;
    } else {
        const int generation = generation_;
        const QString host = parsed->host;
        lookupId_ =
            QHostInfo::lookupHost(host, this, [this, generation, host](const QHostInfo& info) {
                if (generation != generation_)
                    return;
                lookupId_ = -1;
                if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
                    report(QStringLiteral("The metrics endpoint's host %1 was not found: %2")
                               .arg(host, info.errorString()));
                    return;
                }
                address_ = info.addresses().first();
                bindNow();
            });
        return;
    }
    bindNow();
}

void MetricsServer::bindNow() {
    if (!address_ || server_.isListening())
        return;
    if (!server_.listen(*address_, port_)) {
        report(
            QStringLiteral("The metrics endpoint cannot listen on %1: %2 (tried again every %3 s)")
                .arg(listenText_, server_.errorString())
                .arg(retry_.interval() / 1000));
        retry_.start();
        return;
    }
    diagnostics_.clear(FailureKey);
    emit listeningChanged(true);
}

void MetricsServer::accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        socket->setParent(this);
        if (open_ >= MaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++open_;
        connect(socket, &QObject::destroyed, this, [this] { --open_; });
        // What arrives beyond the bound is not taken in.
        socket->setReadBufferSize(MaxRequestBytes + 1);

        auto* deadline = new QTimer(socket);
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        deadline->start(requestTimeoutMs_);

        auto buffer = std::make_shared<QByteArray>();
        auto answered = std::make_shared<bool>(false);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::errorOccurred, socket, [socket] { socket->deleteLater(); });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer, answered] {
            if (*answered) {
                socket->readAll();
                return;
            }
            *buffer += socket->readAll();
            const qsizetype end = headerEnd(*buffer);
            QByteArray reply;
            if (end < 0 ? buffer->size() > MaxRequestBytes : end > MaxRequestBytes)
                reply = errorResponse(431);
            else if (end >= 0)
                reply = answer(buffer->left(end), body_);
            else
                return;
            *answered = true;
            buffer->clear();
            socket->write(reply);
            // Closes once the response is written; the deadline still holds
            // for a client that does not take it.
            socket->disconnectFromHost();
        });
    }
}

} // namespace tw::fleet
