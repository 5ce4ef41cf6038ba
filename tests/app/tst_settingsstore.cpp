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
    void defaultsEmptyTextAndSections();
    void typedReads_data();
    void typedReads();
    void failuresAreReportedOnceWithWhatWasNotSaved();
    void anOccasionIsOneWrite();
};

// A damaged store is reported once; an unreadable one is counted, so a
// window can tell defaults from the user's values; the writes of one
// occasion are reported together, by the keys that were not saved (never
// their values, which may be private).
void TestSettingsStore::failuresAreReportedOnceWithWhatWasNotSaved() {
    FakeSettingsBackend backend;
    tw::app::Diagnostics diagnostics(QString(), false);
    SettingsStore store(backend, "S", &diagnostics);
    backend.set("S", "K", "v");

    backend.damaged = "line 7 is neither a section, a key nor a comment";
    QCOMPARE(store.GetSetting("K", "d"), QString("v")); // what can be read is read
    QCOMPARE(store.GetSetting("K", "d"), QString("v"));
    QCOMPARE(diagnostics.failureCount(), 1);
    QVERIFY(diagnostics.lastFailure().contains("line 7"));
    backend.damaged.clear();

    backend.unreadable = "permission denied";
    const quint64 before = store.unreadableReads();
    QCOMPARE(store.GetSetting("K", "d"), QString("d"));
    QCOMPARE(store.unreadableReads(), before + 1);
    QVERIFY(diagnostics.isReported(SettingsStore::ReadFailure));
    backend.unreadable.clear();
    {
        const SettingsStore::Batch close(store, "the close", false);
        store.SaveSetting("K", "default");
        store.saveTickState("T", true);
    }
    QCOMPARE(backend.writtenKeys, QStringList());
    QCOMPARE(backend.writeCalls, 0);
    QVERIFY2(diagnostics.lastFailure().endsWith(": K, T"), qPrintable(diagnostics.lastFailure()));

    backend.failWrites = true;
    const int failures = diagnostics.failureCount();
    {
        SettingsStore::Batch save(store, "Save To Registry");
        store.SaveSetting("A", "secret-1");
        store.SaveSetting("B", "secret-2");
        store.SaveSetting("A", "secret-3");
        QVERIFY(!save.commit());
    }
    QCOMPARE(diagnostics.failureCount(), failures + 1); // one report for the occasion
    const QString said = diagnostics.lastFailure();
    QVERIFY2(said.endsWith(": A, B") && !said.contains("secret"), qPrintable(said));
    QVERIFY(said.contains("store is read-only"));
    backend.failWrites = false;
    {
        SettingsStore::Batch save(store, "Save To Registry");
        store.SaveSetting("A", "1");
        QVERIFY(save.commit());
    }
    QVERIFY(!diagnostics.isReported(SettingsStore::WriteFailure));
    QCOMPARE(backend.get("S", "A"), std::optional<QString>("1"));
}

// The values of one occasion reach the store in one write, in their order
// (a later value of a key wins), at commit or when the occasion ends; a value
// saved outside an occasion is written at once.
void TestSettingsStore::anOccasionIsOneWrite() {
    FakeSettingsBackend backend;
    SettingsStore store(backend, "S");
    {
        SettingsStore::Batch close(store, "the close");
        store.saveGeometry("MainLeft", 1200);
        store.saveTickState("P4P_TICKBOX", true);
        store.saveTickState("P4P_TICKBOX", false);
        QCOMPARE(backend.writeCalls, 0);
        QVERIFY(close.commit());
        QCOMPARE(backend.writeCalls, 1);
        store.SaveSetting("LATE", "x");
    }
    QCOMPARE(backend.writeCalls, 2);
    QCOMPARE(backend.writtenKeys, QStringList({"MainLeft", "P4P_TICKBOX", "P4P_TICKBOX", "LATE"}));
    QCOMPARE(backend.get("S", "P4P_TICKBOX"), std::optional<QString>("0"));
    store.SaveSetting("NOW", "y");
    QCOMPARE(backend.writeCalls, 3);
}

void TestSettingsStore::defaultsEmptyTextAndSections() {
    FakeSettingsBackend backend;
    SettingsStore first(backend, "BTC-A");
    SettingsStore second(backend, "BTC-B");
    QCOMPARE(first.GetSetting("MainLeft", "1000"), QString("1000")); // absent: the default
    first.SaveSetting("RUN_COMMAND_TEXTBOX", "");
    QCOMPARE(first.GetSetting("RUN_COMMAND_TEXTBOX", "fallback"), QString("")); // not the default
    first.SaveSetting("CLI_NAME_TEXTBOX", "bitcoin-cli");
    QCOMPARE(second.GetSetting("CLI_NAME_TEXTBOX", "none"), QString("none"));
    // Renamed back: the earlier configuration is still there.
    QCOMPARE(SettingsStore(backend, "BTC-A").GetSetting("CLI_NAME_TEXTBOX", ""),
             QString("bitcoin-cli"));
}

void TestSettingsStore::typedReads_data() {
    // A tick state other than 0 or 1, or geometry that is no number, reads
    // as the key's default.
    QTest::addColumn<bool>("tick");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<double>("defaultValue");
    QTest::addColumn<double>("expected");
    QTest::newRow("tick 0") << true << "0" << 1.0 << 0.0;
    QTest::newRow("tick 1") << true << "1" << 0.0 << 1.0;
    QTest::newRow("tick 2") << true << "2" << 0.0 << 0.0;
    QTest::newRow("tick text") << true << "yes" << 0.0 << 0.0;
    QTest::newRow("tick empty") << true << "" << 1.0 << 1.0;
    QTest::newRow("tick binary") << true << QString::fromLatin1("\x01\xff") << 1.0 << 1.0;
    QTest::newRow("geometry whole") << false << "2400" << 1000.0 << 2400.0;
    QTest::newRow("geometry fraction") << false << "1234.5" << 1000.0 << 1234.5;
    QTest::newRow("geometry garbage") << false << "left" << 1000.0 << 1000.0;
    QTest::newRow("geometry infinite") << false << "inf" << 1000.0 << 1000.0;
}

void TestSettingsStore::typedReads() {
    QFETCH(bool, tick);
    QFETCH(QString, stored);
    QFETCH(double, defaultValue);
    QFETCH(double, expected);
    FakeSettingsBackend backend;
    backend.set("S", "KEY", stored);
    SettingsStore store(backend, "S");
    if (tick)
        QCOMPARE(store.tickState("KEY", int(defaultValue)), int(expected));
    else
        QCOMPARE(store.geometry("KEY", defaultValue), expected);
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
