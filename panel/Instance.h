#pragma once
// Which configurations have a panel running, and a way to bring one up.
// Each running panel listens on a local socket named after its
// configuration (and the user's home, so that two users never meet); a
// connection that says "raise" brings its window to the front. Nothing here
// waits: probes and requests answer through the event loop.

#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

namespace tw::panel {

class Instance : public QObject {
    Q_OBJECT
public:
    // The socket's name for a configuration.
    static QString socketName(const QString& section);

    // Starts listening for `section`. A socket left by a panel that died is
    // taken over; one of a running panel is left alone (listening() false).
    explicit Instance(const QString& section, QObject* parent = nullptr);
    ~Instance() override;
    bool listening() const;

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
