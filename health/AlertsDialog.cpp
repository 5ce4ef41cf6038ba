#include "health/AlertsDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpacerItem>
#include <QSpinBox>
#include <QVBoxLayout>

namespace tw::health {

AlertsDialog::AlertsDialog(const AlertSettings& settings, const QString& section, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("ALERTS_DIALOG"));
    setWindowTitle(tr("TW-CLI-UI – Alerts and monitoring – %1").arg(section));

    enabled_ = new QCheckBox(tr("Alert me when the node stalls or its queries fail"), this);
    enabled_->setObjectName(QStringLiteral("HEALTH_ALERTS_TICKBOX"));
    enabled_->setChecked(settings.enabled);

    stallMinutes_ = new QSpinBox(this);
    stallMinutes_->setObjectName(QStringLiteral("HEALTH_STALL_MINUTES"));
    stallMinutes_->setRange(AlertSettings::MinStallMinutes, AlertSettings::MaxStallMinutes);
    stallMinutes_->setSuffix(tr(" min"));
    stallMinutes_->setValue(settings.stallMinutes);

    failureCount_ = new QSpinBox(this);
    failureCount_->setObjectName(QStringLiteral("HEALTH_FAILURE_COUNT"));
    failureCount_->setRange(AlertSettings::MinFailureCount, AlertSettings::MaxFailureCount);
    failureCount_->setValue(settings.failureCount);

    command_ = new QLineEdit(settings.command, this);
    command_->setObjectName(QStringLiteral("HEALTH_ALERT_COMMAND"));
    command_->setPlaceholderText(tr("none"));
    command_->setMinimumWidth(320);
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    const auto hint = [this, &small](const QString& text) {
        auto* label = new QLabel(text, this);
        label->setFont(small);
        label->setWordWrap(true);
        return label;
    };
    const auto field = [this](const QString& name, const QString& value,
                              const QString& placeholder) {
        auto* box = new QLineEdit(value, this);
        box->setObjectName(name);
        box->setPlaceholderText(placeholder);
        box->setMinimumWidth(320);
        return box;
    };
    metricsListen_ = field(AlertSettings::MetricsListenKey, settings.metricsListen,
                           tr("off, e.g. 127.0.0.1:9333"));
    metricsFolder_ = field(AlertSettings::MetricsFolderKey, settings.metricsFolder,
                           tr("off, e.g. /var/lib/prometheus/node-exporter"));
    webhook_ = field(AlertSettings::WebhookKey, settings.webhook,
                     tr("off, e.g. https://ntfy.sh/my-node-alerts"));
    alertmanagerUrl_ = field(AlertSettings::AlertmanagerUrlKey, settings.alertmanagerUrl,
                             tr("off, e.g. http://127.0.0.1:9093"));

    auto* form = new QFormLayout;
    form->addRow(tr("Block count unchanged for"), stallMinutes_);
    form->addRow(
        QString(),
        hint(tr("Not while the node is catching up (headers ahead, or its initial download).")));
    form->addRow(tr("Failed queries in a row"), failureCount_);
    form->addRow(tr("Alert command"), command_);
    form->addRow(QString(), hint(tr("Started like the command of “Also Run Command When BlockCount "
                                    "Changes”. Empty: no command.")));
    form->addRow(tr("Alert webhook"), webhook_);
    form->addRow(
        QString(),
        hint(tr("Each alert and all-clear is posted there as JSON (http or https): a phone push "
                "service or a chat relay. Empty: off.")));
    form->addRow(tr("Alertmanager"), alertmanagerUrl_);
    form->addRow(
        QString(),
        hint(tr("Alertmanager's address: alerts are sent to its /api/v2/alerts and re-sent "
                "every minute while they last. Empty: off.")));

    // One form, so that both parts' fields line up.
    auto* monitoringTitle =
        new QLabel(tr("<b>Monitoring</b> (whether or not alerts are on)"), this);
    form->addItem(new QSpacerItem(0, 8));
    form->addRow(monitoringTitle);
    QFormLayout* monitoring = form;
    monitoring->addRow(tr("Metrics endpoint"), metricsListen_);
    monitoring->addRow(
        QString(),
        hint(tr("host:port where Prometheus scrapes /metrics; each configuration needs a "
                "port of its own. Empty: off.")));
    monitoring->addRow(tr("Metrics file folder"), metricsFolder_);
    monitoring->addRow(
        QString(),
        hint(tr("After each answer the panel writes <name>.prom there, for node_exporter's "
                "textfile collector. Empty: off.")));

    // Not an alert: greyed by nothing above.
    stopNode_ = new QCheckBox(tr("Stop the node when I log off or shut down"), this);
    stopNode_->setObjectName(AlertSettings::StopNodeKey);
    stopNode_->setChecked(settings.stopNodeAtSessionEnd);
    auto* sessionTitle = new QLabel(tr("<b>When the session ends</b>"), this);
    form->addItem(new QSpacerItem(0, 8));
    form->addRow(sessionTitle);
    form->addRow(stopNode_);
    form->addRow(QString(),
                 hint(tr("Runs the stop batch file, then waits up to 10 minutes for the wallet "
                         "and the daemon named in the settings to exit before the session or "
                         "the machine ends. Not when the machine goes to sleep.")));

    // The form's labels name their fields; each hint describes the field
    // (or tick box) above it.
    QWidget* described = nullptr;
    for (int row = 0; row < form->rowCount(); ++row) {
        const QLayoutItem* label = form->itemAt(row, QFormLayout::LabelRole);
        const QLayoutItem* field = form->itemAt(row, QFormLayout::FieldRole);
        QWidget* widget = field ? field->widget() : nullptr;
        const QLayoutItem* spanning = form->itemAt(row, QFormLayout::SpanningRole);
        if (label && label->widget())
            described = widget;
        else if (auto* box = spanning ? qobject_cast<QCheckBox*>(spanning->widget()) : nullptr)
            described = box;
        else if (auto* hint = qobject_cast<QLabel*>(widget); hint && described)
            described->setAccessibleDescription(hint->text());
    }

    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(enabled_);
    layout->addLayout(form);
    layout->addWidget(buttons_);
    // The window takes the height its wrapped hints need at their width
    // (without this a hint of three lines got the room of two).
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(enabled_, &QCheckBox::toggled, this, &AlertsDialog::updateEnabled);
    updateEnabled();
}

void AlertsDialog::updateEnabled() {
    // With alerts off the limits keep their values, greyed: they do not act.
    const bool on = enabled_->isChecked();
    stallMinutes_->setEnabled(on);
    failureCount_->setEnabled(on);
    command_->setEnabled(on);
    webhook_->setEnabled(on);
    alertmanagerUrl_->setEnabled(on);
}

AlertSettings AlertsDialog::settings() const {
    AlertSettings settings;
    settings.enabled = enabled_->isChecked();
    settings.stallMinutes = stallMinutes_->value();
    settings.failureCount = failureCount_->value();
    settings.command = command_->text();
    settings.metricsListen = metricsListen_->text().trimmed();
    settings.metricsFolder = metricsFolder_->text();
    settings.webhook = webhook_->text().trimmed();
    settings.alertmanagerUrl = alertmanagerUrl_->text().trimmed();
    settings.stopNodeAtSessionEnd = stopNode_->isChecked();
    return settings;
}

std::optional<AlertSettings> AlertsDialog::edit(const AlertSettings& settings,
                                                const QString& section, QWidget* parent) {
    AlertsDialog dialog(settings, section, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.settings();
}

} // namespace tw::health
