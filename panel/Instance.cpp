#include "panel/Instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>

namespace tw::panel {

namespace {

constexpr int AnswerWithinMs = 500;
constexpr qint64 MaxRequestBytes = 64;

// Connects to `section`'s panel, writes `request` (may be empty) and tells
// `done` whether the connection was taken; at most once, within the bound.
void ask(const QString& section, const QByteArray& request, QObject* context,
         std::function<void(bool)> done) {
    auto* socket = new QLocalSocket(context);
    auto told = std::make_shared<bool>(false);
    const auto tell = [socket, told, done](bool yes) {
        if (*told)
            return;
        *told = true;
        socket->abort();
        socket->deleteLater();
        done(yes);
    };
    QObject::connect(socket, &QLocalSocket::connected, socket, [socket, request, tell] {
        if (request.isEmpty())
            return tell(true);
        socket->write(request);
        QObject::connect(socket, &QLocalSocket::bytesWritten, socket, [tell] { tell(true); });
    });
    QObject::connect(socket, &QLocalSocket::errorOccurred, socket, [tell] { tell(false); });
    QTimer::singleShot(AnswerWithinMs, socket, [tell] { tell(false); });
    socket->connectToServer(Instance::socketName(section));
}

} // namespace

QString Instance::socketName(const QString& section) {
    const QByteArray key = (QDir::homePath() + QLatin1Char('\n') + section).toUtf8();
    return QStringLiteral("tw-cli-ui-") +
           QString::fromLatin1(
               QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(24));
}

Instance::Instance(const QString& section, QObject* parent)
    : QObject(parent), server_(new QLocalServer(this)) {
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    server_->setMaxPendingConnections(4);
    connect(server_, &QLocalServer::newConnection, this, &Instance::answer);
    const QString name = socketName(section);
    // A socket that answers belongs to a running panel of this
    // configuration: left alone (listen would take its name away). One left
    // by a panel that died answers nobody and is taken over. A local
    // connection is taken or refused at once, so this does not wait.
    QLocalSocket other;
    other.connectToServer(name);
    if (other.waitForConnected(100)) {
        other.abort();
        return;
    }
    QLocalServer::removeServer(name);
    server_->listen(name);
}

void Instance::answer() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
            const QByteArray line = socket->read(MaxRequestBytes);
            if (line.startsWith("raise"))
                emit raiseRequested();
            socket->disconnectFromServer();
        });
        // A peer that says nothing is let go.
        QTimer::singleShot(AnswerWithinMs * 4, socket, [socket] { socket->abort(); });
    }
}

Instance::~Instance() = default;

bool Instance::listening() const {
    return server_->isListening();
}

void Instance::probe(const QString& section, QObject* context, std::function<void(bool)> done) {
    ask(section, {}, context, std::move(done));
}

void Instance::raise(const QString& section, QObject* context, std::function<void(bool)> done) {
    ask(section, QByteArrayLiteral("raise\n"), context, std::move(done));
}

} // namespace tw::panel
