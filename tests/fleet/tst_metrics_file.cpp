// The metrics file for node_exporter over real files in a temporary folder:
// its name from the configuration's, the text replaced whole, a folder that
// is missing or where a folder stands in the file's place (reported once,
// cleared by the next write that works), and off.

#include "app/Diagnostics.h"
#include "fleet/MetricsFile.h"
#include "platform/posix/Posix.h"
#include "tests/support/FileBytes.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using tw::fleet::MetricsFile;
using tw::test::readAll;

class TestMetricsFile : public QObject {
    Q_OBJECT
private slots:
    void fileName_data();
    void fileName();
    void replacedWhole();
    void failureReportedOnceUntilItWorks_data();
    void failureReportedOnceUntilItWorks();
    void off();
};

void TestMetricsFile::fileName_data() {
    QTest::addColumn<QString>("configuration");
    QTest::addColumn<QString>("file");
    QTest::newRow("plain") << "TW-CLI-UI"
                           << "TW-CLI-UI.prom";
    QTest::newRow("dots and underscores") << "btc_node.2"
                                          << "btc_node.2.prom";
    QTest::newRow("slash and spaces") << "a/b c"
                                      << "a_b_c.prom";
    QTest::newRow("up a folder") << ".."
                                 << "_...prom";
    QTest::newRow("hidden") << ".x"
                            << "_.x.prom";
    QTest::newRow("empty") << ""
                           << "_.prom";
    QTest::newRow("not ASCII") << QString::fromUtf8("Knoten-ü") << "Knoten-_.prom";
}

void TestMetricsFile::fileName() {
    QFETCH(QString, configuration);
    QFETCH(QString, file);
    QTemporaryDir dir;
    tw::platform::LocalFileSystem files;
    tw::app::Diagnostics diagnostics(QString(), false);
    MetricsFile metrics(files, diagnostics, configuration);
    metrics.setFolder(dir.path());
    QCOMPARE(metrics.path(), dir.path() + "/" + file);
    QVERIFY(metrics.write("x 1\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{file});
    QCOMPARE(readAll(dir.filePath(file)), QByteArray("x 1\n"));
}

void TestMetricsFile::replacedWhole() {
    QTemporaryDir dir;
    tw::platform::LocalFileSystem files;
    tw::app::Diagnostics diagnostics(QString(), false);
    MetricsFile metrics(files, diagnostics, "BTC");
    metrics.setFolder(dir.path() + "/");
    QCOMPARE(metrics.path(), dir.path() + "/BTC.prom");
    const QByteArray longer = QByteArray("twcliui_up{node=\"BTC\"} 1\n").repeated(100);
    QVERIFY(metrics.write(longer));
    QVERIFY(metrics.write("twcliui_up{node=\"BTC\"} 0\n"));
    QCOMPARE(readAll(dir.path() + "/BTC.prom"), QByteArray("twcliui_up{node=\"BTC\"} 0\n"));
    // No temporary file is left beside it for node_exporter to find.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"BTC.prom"});
    QCOMPARE(diagnostics.failureCount(), 0);
}

void TestMetricsFile::failureReportedOnceUntilItWorks_data() {
    QTest::addColumn<QString>("problem");
    QTest::newRow("folder missing") << "missing";
    QTest::newRow("a folder in the file's place") << "folder";
}

void TestMetricsFile::failureReportedOnceUntilItWorks() {
    QFETCH(QString, problem);
    QTemporaryDir dir;
    const QString folder = dir.path() + "/textfile";
    if (problem == "folder")
        QVERIFY(QDir().mkpath(folder + "/BTC.prom"));
    tw::platform::LocalFileSystem files;
    tw::app::Diagnostics diagnostics(QString(), false);
    MetricsFile metrics(files, diagnostics, "BTC");
    metrics.setFolder(folder);
    for (int i = 0; i < 3; ++i)
        QVERIFY(!metrics.write("x 1\n"));
    QCOMPARE(diagnostics.failureCount(), 1);
    QVERIFY(diagnostics.isReported(MetricsFile::FailureKey));
    QVERIFY2(diagnostics.lastFailure().contains(folder + "/BTC.prom"),
             qPrintable(diagnostics.lastFailure()));

    if (problem == "folder")
        QVERIFY(QDir(folder + "/BTC.prom").removeRecursively());
    else
        QVERIFY(QDir().mkpath(folder));
    QVERIFY(metrics.write("x 2\n"));
    QVERIFY(!diagnostics.isReported(MetricsFile::FailureKey));
    QCOMPARE(readAll(folder + "/BTC.prom"), QByteArray("x 2\n"));

    // A new failure after that is said again.
    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(!metrics.write("x 3\n"));
    QCOMPARE(diagnostics.failureCount(), 2);
}

void TestMetricsFile::off() {
    QTemporaryDir dir;
    tw::platform::LocalFileSystem files;
    tw::app::Diagnostics diagnostics(QString(), false);
    MetricsFile metrics(files, diagnostics, "BTC");
    QVERIFY(metrics.path().isEmpty());
    QVERIFY(metrics.write("x 1\n"));
    metrics.setFolder(dir.path() + "/missing");
    QVERIFY(!metrics.write("x 1\n"));
    QVERIFY(diagnostics.isReported(MetricsFile::FailureKey));
    // Turned off: the report goes, nothing is written anywhere.
    metrics.setFolder(QString());
    QVERIFY(!diagnostics.isReported(MetricsFile::FailureKey));
    QVERIFY(metrics.write("x 1\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

QTEST_GUILESS_MAIN(TestMetricsFile)
#include "tst_metrics_file.moc"
