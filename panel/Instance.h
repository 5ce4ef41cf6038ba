#pragma once
// Which configurations have a panel running, and a way to bring one up.
// Each running panel listens on a local socket named after its
// configuration (and the user's home, so that two users never meet); a
// connection that says "raise" brings its window to the front. On Windows
// the socket is a named pipe. Probes and requests of the Nodes window
// answer through the event loop; only a start's own claim waits, bounded.

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QLocalServer;

namespace tw::platform {
class WindowSystem;
}

namespace tw::panel {

class Instance : public QObject {
    Q_OBJECT
public:
    // The socket's name for a configuration.
    static QString socketName(const QString& section);

    // Starts listening for `section`. A socket left by a panel that died is
    // taken over; one of a running panel is left alone (listening() false).
    // Starts of the same configuration take turns here (a lock file beside
    // the socket), so that of two at the same moment one listens and the
    // other finds it.
    explicit Instance(const QString& section, QObject* parent = nullptr);
    ~Instance() override;
    bool listening() const;

    // A start of `section`: its Instance, listening; or, when a panel of
    // the configuration runs already, that panel is asked to come to the
    // front and the answer is null: this start ends without a window. A
    // socket that nobody answers on never keeps a start from going on.
    // Waits a few seconds at most.
    static std::unique_ptr<Instance> claim(const QString& section, platform::WindowSystem& windows);

    // Whether a panel of `section` answers, told to `done` once (within
    // about half a second).
    static void probe(const QString& section, QObject* context,
                      std::function<void(bool running)> done);
    // Asks the running panel of `section` to come to the front; `done`
    // tells whether one took the request.
    static void raise(const QString& section, QObject* context,
                      std::function<void(bool raised)> done);

signals:
    void raiseRequested();

private:
    void answer();

    QLocalServer* server_;
};

} // namespace tw::panel
