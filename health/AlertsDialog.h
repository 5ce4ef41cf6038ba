#pragma once
// The alerts' settings: whether the panel raises an alert when the node
// stalls or its queries keep failing, the limits, and the command it runs;
// the monitoring's; and whether the node is stopped before the session or
// the machine ends.

#include "health/AlertSettings.h"

#include <QDialog>

#include <optional>

class QCheckBox;
class QDialogButtonBox;
class QLineEdit;
class QSpinBox;

namespace tw::health {

class AlertsDialog : public QDialog {
    Q_OBJECT
public:
    // section names the configuration in the title.
    AlertsDialog(const AlertSettings& settings, const QString& section, QWidget* parent = nullptr);

    // What the controls hold now.
    AlertSettings settings() const;

    // Shows the dialog modally: the edited settings after OK, nullopt after
    // Cancel (the caller keeps what it had).
    static std::optional<AlertSettings> edit(const AlertSettings& settings, const QString& section,
                                             QWidget* parent = nullptr);

private:
    void updateEnabled();

    QCheckBox* enabled_;
    QSpinBox* stallMinutes_;
    QSpinBox* failureCount_;
    QLineEdit* command_;
    QLineEdit* metricsListen_;
    QLineEdit* metricsFolder_;
    QLineEdit* webhook_;
    QLineEdit* alertmanagerUrl_;
    QCheckBox* stopNode_;
    QDialogButtonBox* buttons_;
};

} // namespace tw::health
