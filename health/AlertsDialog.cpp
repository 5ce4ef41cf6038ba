#include "health/AlertsDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace tw::health {

AlertsDialog::AlertsDialog(const AlertSettings& settings, const QString& section, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("ALERTS_DIALOG"));
    setWindowTitle(QStringLiteral("TW-CLI-UI – Alerts – %1").arg(section));

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
    auto* hint = new QLabel(tr("Started like the command of \u201cAlso Run Command When BlockCount "
                               "Changes\u201d.\nEmpty: no command."),
                            this);
    QFont small = hint->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    hint->setFont(small);

    auto* form = new QFormLayout;
    form->addRow(tr("Block count unchanged for"), stallMinutes_);
    form->addRow(tr("Failed queries in a row"), failureCount_);
    form->addRow(tr("Alert command"), command_);
    form->addRow(QString(), hint);

    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(enabled_);
    layout->addLayout(form);
    layout->addWidget(buttons_);

    connect(enabled_, &QCheckBox::toggled, this, &AlertsDialog::updateEnabled);
    updateEnabled();
}

void AlertsDialog::updateEnabled() {
    // With alerts off the limits keep their values, greyed: they do not act.
    const bool on = enabled_->isChecked();
    stallMinutes_->setEnabled(on);
    failureCount_->setEnabled(on);
    command_->setEnabled(on);
}

AlertSettings AlertsDialog::settings() const {
    AlertSettings settings;
    settings.enabled = enabled_->isChecked();
    settings.stallMinutes = stallMinutes_->value();
    settings.failureCount = failureCount_->value();
    settings.command = command_->text();
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
