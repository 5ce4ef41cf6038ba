// The alerts dialog: settings in, edits through its real controls, settings
// out after OK; Cancel leaves the caller's settings as they were.

#include "health/AlertsDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

using tw::health::AlertsDialog;
using tw::health::AlertSettings;

Q_DECLARE_METATYPE(AlertSettings)
Q_DECLARE_METATYPE(std::optional<AlertSettings>)

namespace {

AlertSettings settings(bool enabled, int stall, int failures, const QString& command) {
    AlertSettings s;
    s.enabled = enabled;
    s.stallMinutes = stall;
    s.failureCount = failures;
    s.command = command;
    return s;
}

// Replaces what a line edit holds by typing, as a user would.
void retype(QLineEdit* edit, const QString& text) {
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

QLineEdit* editorOf(QSpinBox* spin) {
    return spin->findChild<QLineEdit*>();
}

} // namespace

class TestAlertsDialog : public QObject {
    Q_OBJECT

private slots:
    void edit_data();
    void edit();
    void titleLimitsAndGreying();
    void monitoringFields();
    void stopTheNodeAtTheSessionsEnd_data();
    void stopTheNodeAtTheSessionsEnd();
};

void TestAlertsDialog::edit_data() {
    QTest::addColumn<AlertSettings>("in");
    QTest::addColumn<QString>("stall");    // typed into the stall time; null: untouched
    QTest::addColumn<QString>("failures"); // typed into failures in a row; null: untouched
    QTest::addColumn<QString>("command");  // typed into the command; null: untouched
    QTest::addColumn<bool>("clickTick");   // after the typing
    QTest::addColumn<QString>("close");    // "ok", "cancel" or "escape"
    QTest::addColumn<std::optional<AlertSettings>>("out");

    const QString untouched;
    const QString command = "notify-send \"node\" 'stalled; again'";
    QTest::newRow("OK, nothing changed")
        << settings(true, 90, 3, "") << untouched << untouched << untouched << false << "ok"
        << std::optional(settings(true, 90, 3, ""));
    QTest::newRow("OK, every value edited")
        << settings(true, 90, 3, "") << "45"
        << "5" << command << false << "ok" << std::optional(settings(true, 45, 5, command));
    QTest::newRow("OK, alerts turned off keep their values")
        << settings(true, 30, 2, "x") << "31" << untouched << untouched << true << "ok"
        << std::optional(settings(false, 31, 2, "x"));
    QTest::newRow("OK, typing while off changes nothing")
        << settings(false, 90, 3, "y") << "5"
        << "7"
        << "z" << true << "ok" << std::optional(settings(true, 90, 3, "y"));
    QTest::newRow("OK, the largest values")
        << settings(true, 1, 1, "") << "10080"
        << "100" << untouched << false << "ok"
        << std::optional(
               settings(true, AlertSettings::MaxStallMinutes, AlertSettings::MaxFailureCount, ""));
    QTest::newRow("OK, command emptied")
        << settings(true, 90, 3, "old command") << untouched << untouched << "" << false << "ok"
        << std::optional(settings(true, 90, 3, ""));
    QTest::newRow("Cancel after edits")
        << settings(true, 90, 3, "a") << "12"
        << "9"
        << "b" << true << "cancel" << std::optional<AlertSettings>();
    QTest::newRow("Escape after edits")
        << settings(false, 60, 4, "") << untouched << untouched << untouched << true << "escape"
        << std::optional<AlertSettings>();
}

void TestAlertsDialog::edit() {
    QFETCH(AlertSettings, in);
    QFETCH(QString, stall);
    QFETCH(QString, failures);
    QFETCH(QString, command);
    QFETCH(bool, clickTick);
    QFETCH(QString, close);
    QFETCH(std::optional<AlertSettings>, out);

    bool handled = false;
    // The user at the dialog, once it is up and modal.
    QTimer::singleShot(0, this, [&] {
        auto* dialog = qobject_cast<AlertsDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        // It starts with the values it was given.
        QCOMPARE(dialog->settings(), in);
        auto* tick = dialog->findChild<QCheckBox*>("HEALTH_ALERTS_TICKBOX");
        auto* stallBox = dialog->findChild<QSpinBox*>("HEALTH_STALL_MINUTES");
        auto* failureBox = dialog->findChild<QSpinBox*>("HEALTH_FAILURE_COUNT");
        auto* commandEdit = dialog->findChild<QLineEdit*>("HEALTH_ALERT_COMMAND");
        QVERIFY(tick && stallBox && failureBox && commandEdit);
        if (!stall.isNull())
            retype(editorOf(stallBox), stall);
        if (!failures.isNull())
            retype(editorOf(failureBox), failures);
        if (!command.isNull())
            retype(commandEdit, command);
        if (clickTick)
            QTest::mouseClick(tick, Qt::LeftButton);
        auto* buttons = dialog->findChild<QDialogButtonBox*>();
        QVERIFY(buttons);
        if (close == "ok")
            QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
        else if (close == "cancel")
            QTest::mouseClick(buttons->button(QDialogButtonBox::Cancel), Qt::LeftButton);
        else
            QTest::keyClick(dialog, Qt::Key_Escape);
        handled = true;
    });
    const std::optional<AlertSettings> result = AlertsDialog::edit(in, "TW-CLI-UI-BTC");
    if (!handled) {
        // A failed check inside the user's part left the dialog open.
        QFAIL("the dialog was not handled");
    }
    QCOMPARE(result, out);
}

void TestAlertsDialog::titleLimitsAndGreying() {
    AlertsDialog dialog(settings(true, 90, 3, ""), "TW-CLI-UI-LTC");
    QCOMPARE(dialog.windowTitle(), QString("TW-CLI-UI – Alerts and monitoring – TW-CLI-UI-LTC"));
    auto* tick = dialog.findChild<QCheckBox*>("HEALTH_ALERTS_TICKBOX");
    QCOMPARE(tick->text(), QString("Alert me when the node stalls or its queries fail"));
    auto* stallBox = dialog.findChild<QSpinBox*>("HEALTH_STALL_MINUTES");
    auto* failureBox = dialog.findChild<QSpinBox*>("HEALTH_FAILURE_COUNT");
    auto* commandEdit = dialog.findChild<QLineEdit*>("HEALTH_ALERT_COMMAND");
    QCOMPARE(stallBox->minimum(), AlertSettings::MinStallMinutes);
    QCOMPARE(stallBox->maximum(), AlertSettings::MaxStallMinutes);
    QCOMPARE(failureBox->minimum(), AlertSettings::MinFailureCount);
    QCOMPARE(failureBox->maximum(), AlertSettings::MaxFailureCount);
    QVERIFY(stallBox->isEnabled() && failureBox->isEnabled() && commandEdit->isEnabled());
    tick->setChecked(false);
    QVERIFY(!stallBox->isEnabled() && !failureBox->isEnabled() && !commandEdit->isEnabled());
    // Pushed alerts follow the tick box; the metrics do not depend on it.
    const auto box = [&](const QString& name) { return dialog.findChild<QLineEdit*>(name); };
    QVERIFY(!box(AlertSettings::WebhookKey)->isEnabled() &&
            !box(AlertSettings::AlertmanagerUrlKey)->isEnabled());
    QVERIFY(box(AlertSettings::MetricsListenKey)->isEnabled() &&
            box(AlertSettings::MetricsFolderKey)->isEnabled());
}

// The monitoring fields: what is typed comes back, blanks around an
// address dropped; nothing typed leaves them off.
void TestAlertsDialog::monitoringFields() {
    AlertSettings in = settings(true, 90, 3, "");
    in.webhook = "https://old.example/hook";
    AlertsDialog dialog(in, "TW-CLI-UI-LTC");
    QCOMPARE(dialog.settings(), in);
    const auto type = [&](const QString& name, const QString& text) {
        auto* edit = dialog.findChild<QLineEdit*>(name);
        QVERIFY(edit);
        edit->clear();
        QTest::keyClicks(edit, text);
    };
    type(AlertSettings::MetricsListenKey, " 127.0.0.1:9333 ");
    type(AlertSettings::MetricsFolderKey, "/srv/text files");
    type(AlertSettings::WebhookKey, "");
    type(AlertSettings::AlertmanagerUrlKey, "http://127.0.0.1:9093");
    const AlertSettings out = dialog.settings();
    QCOMPARE(out.metricsListen, QString("127.0.0.1:9333"));
    QCOMPARE(out.metricsFolder, QString("/srv/text files"));
    QCOMPARE(out.webhook, QString());
    QCOMPARE(out.alertmanagerUrl, QString("http://127.0.0.1:9093"));
}

// "Stop the node when I log off or shut down": a click turns it around,
// whether alerts are on or off (it is no alert), and only it; its hint is
// what a screen reader says of it.
void TestAlertsDialog::stopTheNodeAtTheSessionsEnd_data() {
    QTest::addColumn<bool>("alerts");
    QTest::addColumn<bool>("before");
    QTest::newRow("alerts on, off -> on") << true << false;
    QTest::newRow("alerts off, off -> on") << false << false;
    QTest::newRow("alerts on, on -> off") << true << true;
}

void TestAlertsDialog::stopTheNodeAtTheSessionsEnd() {
    QFETCH(bool, alerts);
    QFETCH(bool, before);
    AlertSettings in = settings(alerts, 45, 4, "beep");
    in.stopNodeAtSessionEnd = before;
    AlertsDialog dialog(in, "TW-CLI-UI-LTC");
    dialog.show();
    auto* tick = dialog.findChild<QCheckBox*>(AlertSettings::StopNodeKey);
    QVERIFY(tick);
    QCOMPARE(tick->text(), QString("Stop the node when I log off or shut down"));
    QVERIFY(tick->isEnabled());
    QVERIFY(tick->accessibleDescription().contains("waits up to 10 minutes"));
    QCOMPARE(dialog.settings(), in);
    QTest::mouseClick(tick, Qt::LeftButton);
    AlertSettings out = in;
    out.stopNodeAtSessionEnd = !before;
    QCOMPARE(dialog.settings(), out);
}

QTEST_MAIN(TestAlertsDialog)
#include "tst_alerts_dialog.moc"
