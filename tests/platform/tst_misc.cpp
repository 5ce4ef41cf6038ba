// The section name from argv[0] and the per-user state folder.

#include "platform/Posix.h"

#include <QTest>

class TestPosixMisc : public QObject {
    Q_OBJECT

private slots:
    void executableName_data() {
        QTest::addColumn<QByteArray>("argv0");
        QTest::addColumn<bool>("null");
        QTest::addColumn<QString>("expected");
        QTest::newRow("bare name") << QByteArray("TW-CLI-UI") << false << "TW-CLI-UI";
        QTest::newRow("relative path") << QByteArray("./build/TW-CLI-UI") << false << "TW-CLI-UI";
        QTest::newRow("copy under another name")
            << QByteArray("/opt/nodes/TW-CLI-UI-LTC") << false << "TW-CLI-UI-LTC";
        QTest::newRow("extension kept")
            << QByteArray("/x/TW-CLI-UI.bin") << false << "TW-CLI-UI.bin";
        QTest::newRow("blanks") << QByteArray("/home/u/my nodes/TW CLI UI") << false << "TW CLI UI";
        QTest::newRow("non-ASCII") << QByteArray("/x/Knoten-Grüße") << false << "Knoten-Grüße";
        QTest::newRow("empty") << QByteArray("") << false << "TW-CLI-UI";
        QTest::newRow("folder only") << QByteArray("/x/") << false << "TW-CLI-UI";
        QTest::newRow("null") << QByteArray() << true << "TW-CLI-UI";
    }
    void executableName() {
        QFETCH(QByteArray, argv0);
        QFETCH(bool, null);
        QFETCH(QString, expected);
        QCOMPARE(tw::platform::executableNameFromArgv0(null ? nullptr : argv0.constData()),
                 expected);
    }

    void stateFolder_data() {
        QTest::addColumn<QByteArray>("xdg");
        QTest::addColumn<bool>("set");
        QTest::addColumn<QString>("expected");
        QTest::newRow("absolute") << QByteArray("/var/state") << true
                                  << QStringLiteral("/var/state/TW-CLI-UI");
        QTest::newRow("empty") << QByteArray() << true
                               << QStringLiteral("/home/tester/.local/state/TW-CLI-UI");
        QTest::newRow("unset") << QByteArray() << false
                               << QStringLiteral("/home/tester/.local/state/TW-CLI-UI");
        QTest::newRow("relative is ignored")
            << QByteArray("state") << true << QStringLiteral("/home/tester/.local/state/TW-CLI-UI");
    }
    void stateFolder() {
        QFETCH(QByteArray, xdg);
        QFETCH(bool, set);
        QFETCH(QString, expected);
        const QByteArray oldHome = qgetenv("HOME");
        const QByteArray oldXdg = qgetenv("XDG_STATE_HOME");
        qputenv("HOME", "/home/tester");
        if (set)
            qputenv("XDG_STATE_HOME", xdg);
        else
            qunsetenv("XDG_STATE_HOME");
        const QString folder = tw::platform::defaultStateFolder();
        qputenv("HOME", oldHome);
        qputenv("XDG_STATE_HOME", oldXdg);
        QCOMPARE(folder, expected);
    }
};

QTEST_GUILESS_MAIN(TestPosixMisc)
#include "tst_misc.moc"
