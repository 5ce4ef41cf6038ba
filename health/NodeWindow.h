#pragma once
// The Node window: everything the node said about itself at its last
// answer, when that was, and the last failure with its cause, as text that
// can be selected and copied. Not modal; refreshed whenever the monitor's
// picture of the node changes.

#include <QWidget>

class QPlainTextEdit;

namespace tw::health {

class HealthMonitor;

class NodeWindow : public QWidget {
    Q_OBJECT
public:
    // `section` names the configuration in the title and the text.
    NodeWindow(HealthMonitor& monitor, QString section, QWidget* parent = nullptr);

    // The window's text, as it is now.
    QString text() const;
    // What the window shows for `monitor` (one field a line).
    static QString textFor(const HealthMonitor& monitor, const QString& section);

public slots:
    void refresh();

private:
    HealthMonitor& monitor_;
    QString section_;
    QPlainTextEdit* view_;
};

} // namespace tw::health
