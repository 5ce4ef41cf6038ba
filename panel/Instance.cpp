#include "panel/Instance.h"

#include "platform/Platform.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QTimer>

namespace tw::panel {

namespace {

constexpr int AnswerWithinMs = 500;
constexpr qint64 MaxRequestBytes = 64;
// A running panel says this once it has taken a raise request.
constexpr char Taken[] = "ok\n";
// How long a start waits for its turn at a configuration's socket: those
// before it each take a moment (one connection attempt and a listen).
constexpr int TurnWithinMs = 5000;

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

enum class Raised { Yes, NoPanel, NoAnswer };

// Asks the panel of `section` to come to the front and waits for its word.
Raised raiseNow(const QString& section, platform::WindowSystem& windows) {
    QLocalSocket socket;
    socket.connectToServer(Instance::socketName(section));
    if (!socket.waitForConnected(AnswerWithinMs))
        return Raised::NoPanel;
    // This start is what the user just did: the panel it asks may take the
    // foreground from it.
    windows.allowForegroundTo(socket.socketDescriptor());
    socket.write("raise\n");
    QByteArray said;
    while (!said.contains('\n') && socket.waitForReadyRead(AnswerWithinMs * 4))
        said += socket.read(MaxRequestBytes);
    if (said.startsWith(Taken))
        return Raised::Yes;
    // Let go without a word: that panel was closing. Still connected but
    // silent: it runs and does not answer in time.
    return socket.state() == QLocalSocket::ConnectedState ? Raised::NoAnswer : Raised::NoPanel;
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
    // One start at a time looks and listens. The lock of a start that died
    // is taken over (QLockFile knows its process is gone); one that cannot
    // be had in time (a file of another user's in its place) is gone
    // without: a start is never kept from going on.
    QLockFile turn(QDir(QDir::tempPath()).filePath(name + QStringLiteral(".lock")));
    turn.tryLock(TurnWithinMs);
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
            if (line.startsWith("raise")) {
                emit raiseRequested();
                socket->write(Taken);
            }
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

std::unique_ptr<Instance> Instance::claim(const QString& section, platform::WindowSystem& windows) {
    // Twice: a panel that was closing when this start asked has let its
    // name go by the second look.
    std::unique_ptr<Instance> instance;
    for (int look = 0; look < 2; ++look) {
        instance = std::make_unique<Instance>(section);
        if (instance->listening())
            return instance;
        switch (raiseNow(section, windows)) {
        case Raised::Yes:
            return nullptr;
        case Raised::NoAnswer:
            qWarning("A panel of %s runs but did not answer in time; not starting a second one.",
                     qUtf8Printable(section));
            return nullptr;
        case Raised::NoPanel:
            break;
        }
    }
    // The name cannot be had (a file of another user's in its place): this
    // panel runs without answering others.
    return instance;
}

void Instance::probe(const QString& section, QObject* context, std::function<void(bool)> done) {
    ask(section, {}, context, std::move(done));
}

void Instance::raise(const QString& section, QObject* context, std::function<void(bool)> done) {
    ask(section, QByteArrayLiteral("raise\n"), context, std::move(done));
}

} // namespace tw::panel
