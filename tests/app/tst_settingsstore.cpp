// GetSetting/SaveSetting and the typed reads over the store.

#include "app/Diagnostics.h"
#include "app/SettingsStore.h"
#include "tests/support/Fakes.h"

#include <QTest>

using tw::app::SettingsStore;
using tw::test::FakeSettingsBackend;

class TestSettingsStore : public QObject {
    Q_OBJECT

private slots:
    void absentKeyGivesTheDefault();
    void emptyTextIsNotTheDefault();
    void sectionsAreSeparate();
    void tickStates_data();
    void tickStates();
    void geometry_data();
    void geometry();
    void geometryIsWrittenAsAWholeNumber();
    void failedWriteIsReportedOnceAndTheProgramGoesOn();
};

void TestSettingsStore::absentKeyGivesTheDefault() {
    FakeSettingsBackend backend;
    SettingsStore store(backend, "never-used");
    QCOMPARE(store.GetSetting("MainLeft", "1000"), QString("1000"));
    QCOMPARE(store.tickState("AlwaysOnTopTimer_TICKBOX", 1), 1);
    QCOMPARE(store.tickState("CLI_GBC_BAT_TICKBOX", 0), 0);
    QCOMPARE(store.GetSetting("CLI_NAME_TEXTBOX", ""), QString());
}

void TestSettingsStore::emptyTextIsNotTheDefault() {
    FakeSettingsBackend backend;
    SettingsStore store(backend, "TW-CLI-UI");
    store.SaveSetting("RUN_COMMAND_TEXTBOX", "");
    QCOMPARE(store.GetSetting("RUN_COMMAND_TEXTBOX", "fallback"), QString(""));
}

void TestSettingsStore::sectionsAreSeparate() {
    FakeSettingsBackend backend;
    SettingsStore first(backend, "BTC-A");
    SettingsStore second(backend, "BTC-B");
    first.SaveSetting("CLI_NAME_TEXTBOX", "bitcoin-cli");
    QCOMPARE(second.GetSetting("CLI_NAME_TEXTBOX", "none"), QString("none"));
    second.SaveSetting("CLI_NAME_TEXTBOX", "litecoin-cli");
    QCOMPARE(first.GetSetting("CLI_NAME_TEXTBOX", ""), QString("bitcoin-cli"));
    // Renamed back: the earlier configuration is still there.
    SettingsStore again(backend, "BTC-A");
    QCOMPARE(again.GetSetting("CLI_NAME_TEXTBOX", ""), QString("bitcoin-cli"));
}

void TestSettingsStore::tickStates_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("defaultState");
    QTest::addColumn<int>("expected");
    QTest::newRow("0") << "0" << 1 << 0;
    QTest::newRow("1") << "1" << 0 << 1;
    QTest::newRow("2 reads as default 0") << "2" << 0 << 0;
    QTest::newRow("-1 reads as default 1") << "-1" << 1 << 1;
    QTest::newRow("text") << "yes" << 0 << 0;
    QTest::newRow("empty") << "" << 1 << 1;
    QTest::newRow("huge") << "99999999999999999999" << 0 << 0;
    QTest::newRow("binary") << QString::fromLatin1("\x01\x02\xff") << 1 << 1;
    QTest::newRow("blank around 1") << " 1 " << 0 << 1;
}

void TestSettingsStore::tickStates() {
    QFETCH(QString, stored);
    QFETCH(int, defaultState);
    QFETCH(int, expected);
    FakeSettingsBackend backend;
    backend.set("S", "KEY", stored);
    SettingsStore store(backend, "S");
    QCOMPARE(store.tickState("KEY", defaultState), expected);
}

void TestSettingsStore::geometry_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<double>("expected");
    QTest::newRow("whole") << "2400" << 2400.0;
    QTest::newRow("fraction") << "1234.5" << 1234.5;
    QTest::newRow("negative") << "-300" << -300.0;
    QTest::newRow("garbage") << "left" << 1000.0;
    QTest::newRow("empty") << "" << 1000.0;
    QTest::newRow("infinite") << "inf" << 1000.0;
    QTest::newRow("nan") << "nan" << 1000.0;
}

void TestSettingsStore::geometry() {
    QFETCH(QString, stored);
    QFETCH(double, expected);
    FakeSettingsBackend backend;
    backend.set("S", "MainLeft", stored);
    SettingsStore store(backend, "S");
    QCOMPARE(store.geometry("MainLeft", 1000), expected);
}

void TestSettingsStore::geometryIsWrittenAsAWholeNumber() {
    FakeSettingsBackend backend;
    SettingsStore store(backend, "S");
    store.saveGeometry("MainLeft", 3000);
    store.saveGeometry("MainTop", 1507.5);
    QCOMPARE(backend.get("S", "MainLeft"), std::optional<QString>("3000"));
    QCOMPARE(backend.get("S", "MainTop"), std::optional<QString>("1507.5"));
}

void TestSettingsStore::failedWriteIsReportedOnceAndTheProgramGoesOn() {
    FakeSettingsBackend backend;
    backend.failWrites = true;
    tw::app::Diagnostics diagnostics(QString(), false);
    SettingsStore store(backend, "S", &diagnostics);
    store.SaveSetting("MainLeft", "1");
    store.SaveSetting("MainLeft", "1");
    QCOMPARE(diagnostics.failureCount(), 1);
    QVERIFY(diagnostics.lastFailure().contains("MainLeft"));
    backend.failWrites = false;
    store.SaveSetting("MainLeft", "2");
    QVERIFY(!diagnostics.isReported("store"));
    QCOMPARE(store.GetSetting("MainLeft", ""), QString("2"));
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
