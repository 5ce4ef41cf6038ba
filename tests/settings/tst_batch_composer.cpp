// The command-line composer and Save To .BAT Files.

#include "app/Diagnostics.h"
#include "app/WindowTimer.h"
#include "settings/BatchComposer.h"
#include "tests/settings/SettingsFixture.h"

using tw::settings::BatchComposer;
using tw::settings::SettingsWindow;
using tw::test::TestRig;

namespace {

struct Fields {
    QString separator, client, name, conf, folder;
};

void fill(SettingsWindow& w, const Fields& f) {
    w.BACKSLASH_TEXTBOX->setText(f.separator);
    w.CLI_LOCATION_TEXTBOX->setText(f.client);
    w.CLI_NAME_TEXTBOX->setText(f.name);
    w.CONF_LOCATION_TEXTBOX->setText(f.conf);
    w.TW_CLI_UI_LOCATION_TEXTBOX->setText(f.folder);
}

void setDaemon(SettingsWindow& w, const QString& option) {
    if (option != QLatin1String("none"))
        QTest::mouseClick(w.DASH_DAEMON_TICKBOX, Qt::LeftButton);
    if (option == QLatin1String("off"))
        QTest::mouseClick(w.DISABLE_DAEMON_TICKBOX, Qt::LeftButton);
}

const Fields WindowsExample = {"\\", "C:\\Program Files\\Bitcoin\\Daemon", "bitcoin-cli.exe",
                               "C:\\BC-CONF\\BTC\\bitcoin.conf", "C:\\TARN-WICK\\TW-CLI-UI\\BTC"};
const Fields PosixExample = {"/", "/opt/Bitcoin Core/bin", "bitcoin-cli",
                             "/home/ann/.bitcoin/bitcoin.conf", "/home/ann/TW-CLI-UI/BTC"};

const QString FileName = QStringLiteral("_TEXTBOX");

} // namespace

class TestBatchComposer : public QObject {
    Q_OBJECT

private slots:
    void exampleLines_data();
    void exampleLines();
    void piecesWithBlanksAndDoubledSeparators_data();
    void piecesWithBlanksAndDoubledSeparators();
    void anEditShowsWithinOneTick_data();
    void anEditShowsWithinOneTick();
    void anEditedFixedPieceIsForgottenAtTheNextOpening_data();
    void anEditedFixedPieceIsForgottenAtTheNextOpening();
    void theDisplayIsLockedAndKeepsASelection();
    void batchFileTargets_data();
    void batchFileTargets();
    void eachBatchFileIsOneLineAndCrLf();
    void aFileThatCannotBeWrittenIsReportedTheOthersAreWritten_data();
    void aFileThatCannotBeWrittenIsReportedTheOthersAreWritten();
};

void TestBatchComposer::exampleLines_data() {
    QTest::addColumn<QString>("example"); // "windows", "posix" or "empty"
    QTest::addColumn<QString>("daemon");  // none, on, off
    QTest::addColumn<QString>("stop");
    QTest::addColumn<QString>("gbc");
    QTest::addColumn<QString>("gcc");

    QTest::newRow("windows example")
        << "windows"
        << "none"
        << R"(call "C:\Program Files\Bitcoin\Daemon\bitcoin-cli.exe" -conf=C:\BC-CONF\BTC\bitcoin.conf stop)"
        << R"(call "C:\Program Files\Bitcoin\Daemon\bitcoin-cli.exe" -conf=C:\BC-CONF\BTC\bitcoin.conf getblockcount > C:\TARN-WICK\TW-CLI-UI\BTC\CLI-UI-GBC.LOG)"
        << R"(call "C:\Program Files\Bitcoin\Daemon\bitcoin-cli.exe" -conf=C:\BC-CONF\BTC\bitcoin.conf getconnectioncount > C:\TARN-WICK\TW-CLI-UI\BTC\CLI-UI-GCC.LOG)";
    QTest::newRow("windows example, Daemon")
        << "windows"
        << "on"
        << R"(call "C:\Program Files\Bitcoin\Daemon\bitcoin-cli.exe" -conf=C:\BC-CONF\BTC\bitcoin.conf -daemon=1 stop)"
        << R"(call "C:\Program Files\Bitcoin\Daemon\bitcoin-cli.exe" -conf=C:\BC-CONF\BTC\bitcoin.conf -daemon=1 getblockcount > C:\TARN-WICK\TW-CLI-UI\BTC\CLI-UI-GBC.LOG)"
        << R"(call "C:\Program Files\Bitcoin\Daemon\bitcoin-cli.exe" -conf=C:\BC-CONF\BTC\bitcoin.conf -daemon=1 getconnectioncount > C:\TARN-WICK\TW-CLI-UI\BTC\CLI-UI-GCC.LOG)";
    QTest::newRow("windows example, Daemon Disabled")
        << "windows"
        << "off"
        << R"(call "C:\Program Files\Bitcoin\Daemon\bitcoin-cli.exe" -conf=C:\BC-CONF\BTC\bitcoin.conf -daemon=0 stop)"
        << R"(call "C:\Program Files\Bitcoin\Daemon\bitcoin-cli.exe" -conf=C:\BC-CONF\BTC\bitcoin.conf -daemon=0 getblockcount > C:\TARN-WICK\TW-CLI-UI\BTC\CLI-UI-GBC.LOG)"
        << R"(call "C:\Program Files\Bitcoin\Daemon\bitcoin-cli.exe" -conf=C:\BC-CONF\BTC\bitcoin.conf -daemon=0 getconnectioncount > C:\TARN-WICK\TW-CLI-UI\BTC\CLI-UI-GCC.LOG)";
    QTest::newRow("posix example")
        << "posix"
        << "none"
        << R"(call "/opt/Bitcoin Core/bin/bitcoin-cli" -conf=/home/ann/.bitcoin/bitcoin.conf stop)"
        << R"(call "/opt/Bitcoin Core/bin/bitcoin-cli" -conf=/home/ann/.bitcoin/bitcoin.conf getblockcount > /home/ann/TW-CLI-UI/BTC/CLI-UI-GBC.LOG)"
        << R"(call "/opt/Bitcoin Core/bin/bitcoin-cli" -conf=/home/ann/.bitcoin/bitcoin.conf getconnectioncount > /home/ann/TW-CLI-UI/BTC/CLI-UI-GCC.LOG)";
    QTest::newRow("posix example, Daemon Disabled")
        << "posix"
        << "off"
        << R"(call "/opt/Bitcoin Core/bin/bitcoin-cli" -conf=/home/ann/.bitcoin/bitcoin.conf -daemon=0 stop)"
        << R"(call "/opt/Bitcoin Core/bin/bitcoin-cli" -conf=/home/ann/.bitcoin/bitcoin.conf -daemon=0 getblockcount > /home/ann/TW-CLI-UI/BTC/CLI-UI-GBC.LOG)"
        << R"(call "/opt/Bitcoin Core/bin/bitcoin-cli" -conf=/home/ann/.bitcoin/bitcoin.conf -daemon=0 getconnectioncount > /home/ann/TW-CLI-UI/BTC/CLI-UI-GCC.LOG)";
    // Every field empty: the fixed pieces alone (this platform's separator).
    const QString s = tw::platform::pathSeparator();
    QTest::newRow("all empty") << "empty"
                               << "none" << QString("call \"" + s + "\" -conf= stop")
                               << QString("call \"" + s + "\" -conf= getblockcount > " + s +
                                          "CLI-UI-GBC.LOG")
                               << QString("call \"" + s + "\" -conf= getconnectioncount > " + s +
                                          "CLI-UI-GCC.LOG");
    QTest::newRow("all empty, backslash")
        << "empty \\"
        << "none"
        << R"(call "\" -conf= stop)"
        << R"(call "\" -conf= getblockcount > \CLI-UI-GBC.LOG)"
        << R"(call "\" -conf= getconnectioncount > \CLI-UI-GCC.LOG)";
}

void TestBatchComposer::exampleLines() {
    QFETCH(QString, example);
    QFETCH(QString, daemon);
    QFETCH(QString, stop);
    QFETCH(QString, gbc);
    QFETCH(QString, gcc);

    TestRig rig;
    rig.start();
    const auto window = tw::test::openSettings(rig);
    if (example == "windows")
        fill(*window, WindowsExample);
    else if (example == "posix")
        fill(*window, PosixExample);
    else if (example == "empty \\")
        window->BACKSLASH_TEXTBOX->setText(QStringLiteral("\\"));
    setDaemon(*window, daemon);
    rig.advance(1000);
    QCOMPARE(tw::test::stopLine(*window), stop);
    QCOMPARE(tw::test::blockCountLine(*window), gbc);
    QCOMPARE(tw::test::connectionCountLine(*window), gcc);
}

void TestBatchComposer::piecesWithBlanksAndDoubledSeparators_data() {
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("client");
    QTest::addColumn<QString>("conf");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("gbc");

    QTest::newRow("folder ends in a backslash")
        << "\\"
        << "C:\\BTC\\"
        << "C:\\b.conf"
        << "C:\\N\\"
        << R"(call "C:\BTC\\cli.exe" -conf=C:\b.conf getblockcount > C:\N\\CLI-UI-GBC.LOG)";
    QTest::newRow("folder ends in a slash")
        << "/"
        << "/usr/bin/"
        << "/b.conf"
        << "/srv/n/"
        << R"(call "/usr/bin//cli.exe" -conf=/b.conf getblockcount > /srv/n//CLI-UI-GBC.LOG)";
    QTest::newRow("blanks: client quoted, the rest bare")
        << "/"
        << "/opt/my node"
        << "/etc/my node/b.conf"
        << "/srv/my panel"
        << R"(call "/opt/my node/cli.exe" -conf=/etc/my node/b.conf getblockcount > /srv/my panel/CLI-UI-GBC.LOG)";
    QTest::newRow("nothing trimmed")
        << "\\"
        << " C:\\X "
        << " c "
        << " F "
        << R"(call " C:\X \cli.exe" -conf= c  getblockcount >  F \CLI-UI-GBC.LOG)";
}

void TestBatchComposer::piecesWithBlanksAndDoubledSeparators() {
    QFETCH(QString, separator);
    QFETCH(QString, client);
    QFETCH(QString, conf);
    QFETCH(QString, folder);
    QFETCH(QString, gbc);

    TestRig rig;
    rig.start();
    const auto window = tw::test::openSettings(rig);
    fill(*window, {separator, client, QStringLiteral("cli.exe"), conf, folder});
    rig.advance(1000);
    QCOMPARE(tw::test::blockCountLine(*window), gbc);
}

void TestBatchComposer::anEditShowsWithinOneTick_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("stop"); // the lines' texts after the edit, in the posix example
    QTest::addColumn<QString>("gbc");

    QTest::newRow("client folder")
        << "CLI_LOCATION_TEXTBOX"
        << "/usr/local/bin"
        << R"(call "/usr/local/bin/bitcoin-cli" -conf=/home/ann/.bitcoin/bitcoin.conf stop)"
        << R"(call "/usr/local/bin/bitcoin-cli" -conf=/home/ann/.bitcoin/bitcoin.conf getblockcount > /home/ann/TW-CLI-UI/BTC/CLI-UI-GBC.LOG)";
    QTest::newRow("client name")
        << "CLI_NAME_TEXTBOX"
        << "litecoin-cli"
        << R"(call "/opt/Bitcoin Core/bin/litecoin-cli" -conf=/home/ann/.bitcoin/bitcoin.conf stop)"
        << R"(call "/opt/Bitcoin Core/bin/litecoin-cli" -conf=/home/ann/.bitcoin/bitcoin.conf getblockcount > /home/ann/TW-CLI-UI/BTC/CLI-UI-GBC.LOG)";
    QTest::newRow("configuration")
        << "CONF_LOCATION_TEXTBOX"
        << "/c.conf"
        << R"(call "/opt/Bitcoin Core/bin/bitcoin-cli" -conf=/c.conf stop)"
        << R"(call "/opt/Bitcoin Core/bin/bitcoin-cli" -conf=/c.conf getblockcount > /home/ann/TW-CLI-UI/BTC/CLI-UI-GBC.LOG)";
    QTest::newRow("folder")
        << "TW_CLI_UI_LOCATION_TEXTBOX"
        << "/tmp/w"
        << R"(call "/opt/Bitcoin Core/bin/bitcoin-cli" -conf=/home/ann/.bitcoin/bitcoin.conf stop)"
        << R"(call "/opt/Bitcoin Core/bin/bitcoin-cli" -conf=/home/ann/.bitcoin/bitcoin.conf getblockcount > /tmp/w/CLI-UI-GBC.LOG)";
    QTest::newRow("separator piece")
        << "BACKSLASH_TEXTBOX"
        << "\\"
        << R"(call "/opt/Bitcoin Core/bin\bitcoin-cli" -conf=/home/ann/.bitcoin/bitcoin.conf stop)"
        << R"(call "/opt/Bitcoin Core/bin\bitcoin-cli" -conf=/home/ann/.bitcoin/bitcoin.conf getblockcount > /home/ann/TW-CLI-UI/BTC\CLI-UI-GBC.LOG)";
    QTest::newRow("call piece")
        << "CALL_COMMAND_TEXTBOX"
        << "exec "
        << R"(exec "/opt/Bitcoin Core/bin/bitcoin-cli" -conf=/home/ann/.bitcoin/bitcoin.conf stop)"
        << R"(exec "/opt/Bitcoin Core/bin/bitcoin-cli" -conf=/home/ann/.bitcoin/bitcoin.conf getblockcount > /home/ann/TW-CLI-UI/BTC/CLI-UI-GBC.LOG)";
    QTest::newRow("quote piece")
        << "SM_TB"
        << "'"
        << R"(call '/opt/Bitcoin Core/bin/bitcoin-cli' -conf=/home/ann/.bitcoin/bitcoin.conf stop)"
        << R"(call '/opt/Bitcoin Core/bin/bitcoin-cli' -conf=/home/ann/.bitcoin/bitcoin.conf getblockcount > /home/ann/TW-CLI-UI/BTC/CLI-UI-GBC.LOG)";
    QTest::newRow("stop piece")
        << "STOP_CMD_TEXTBOX"
        << " stop now"
        << R"(call "/opt/Bitcoin Core/bin/bitcoin-cli" -conf=/home/ann/.bitcoin/bitcoin.conf stop now)"
        << R"(call "/opt/Bitcoin Core/bin/bitcoin-cli" -conf=/home/ann/.bitcoin/bitcoin.conf getblockcount > /home/ann/TW-CLI-UI/BTC/CLI-UI-GBC.LOG)";
    QTest::newRow("log name")
        << "CLI_UI_GBC_LOG_TEXTBOX"
        << "blocks.txt"
        << R"(call "/opt/Bitcoin Core/bin/bitcoin-cli" -conf=/home/ann/.bitcoin/bitcoin.conf stop)"
        << R"(call "/opt/Bitcoin Core/bin/bitcoin-cli" -conf=/home/ann/.bitcoin/bitcoin.conf getblockcount > /home/ann/TW-CLI-UI/BTC/blocks.txt)";
    QTest::newRow("daemon option typed in")
        << "DASH_DISABLE_DAEMON_EQUALS_TEXTBOX"
        << " -testnet"
        << R"(call "/opt/Bitcoin Core/bin/bitcoin-cli" -conf=/home/ann/.bitcoin/bitcoin.conf -testnet stop)"
        << R"(call "/opt/Bitcoin Core/bin/bitcoin-cli" -conf=/home/ann/.bitcoin/bitcoin.conf -testnet getblockcount > /home/ann/TW-CLI-UI/BTC/CLI-UI-GBC.LOG)";
}

void TestBatchComposer::anEditShowsWithinOneTick() {
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, stop);
    QFETCH(QString, gbc);

    TestRig rig;
    rig.start();
    const auto window = tw::test::openSettings(rig);
    fill(*window, PosixExample);
    rig.advance(1000);
    const QString stopBefore = tw::test::stopLine(*window);
    const QString gbcBefore = tw::test::blockCountLine(*window);

    // Half-way between two ticks.
    rig.advance(400);
    window->findChild<QLineEdit*>(field)->setText(text);
    // The lines are the composer's: they change at its next tick.
    QCOMPARE(tw::test::stopLine(*window), stopBefore);
    QCOMPARE(tw::test::blockCountLine(*window), gbcBefore);
    rig.advance(600);
    QCOMPARE(tw::test::stopLine(*window), stop);
    QCOMPARE(tw::test::blockCountLine(*window), gbc);
    // Nothing was written by a tick.
    QCOMPARE(rig.files.writes, QStringList());
}

void TestBatchComposer::anEditedFixedPieceIsForgottenAtTheNextOpening_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("initial");

    QTest::newRow("call") << "CALL_COMMAND_TEXTBOX"
                          << "CALL "
                          << "call ";
    QTest::newRow("conf") << "DASH_CONF_TEXTBOX"
                          << "--conf="
                          << "-conf=";
    QTest::newRow("separator") << "BACKSLASH_TEXTBOX"
                               << "\\\\" << tw::platform::pathSeparator();
    QTest::newRow("gcc arrow") << "GCC_ARROW_TEXTBOX"
                               << " getpeerinfo > "
                               << " getconnectioncount > ";
    QTest::newRow("gcc log") << "CLI_UI_GCC_LOG_TEXTBOX"
                             << "peers.log"
                             << "CLI-UI-GCC.LOG";
}

void TestBatchComposer::anEditedFixedPieceIsForgottenAtTheNextOpening() {
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, initial);

    TestRig rig;
    rig.start();
    QString during;
    QVERIFY(tw::test::throughSettingsButton(rig, [&](SettingsWindow& w) {
        w.findChild<QLineEdit*>(field)->setText(text);
        rig.advance(1000);
        during = tw::test::connectionCountLine(w);
        // Saving keeps it for this opening only: fixed pieces are not stored.
        w.SAVE_REGISTRY_BUTTON->click();
        w.CLOSE_BUTTON->click();
    }));
    QVERIFY2(during.contains(text), qPrintable(during));
    QVERIFY(!rig.stored(field));

    QString piece, after;
    QVERIFY(tw::test::throughSettingsButton(rig, [&](SettingsWindow& w) {
        piece = w.findChild<QLineEdit*>(field)->text();
        rig.advance(1000);
        after = tw::test::connectionCountLine(w);
        w.CLOSE_BUTTON->click();
    }));
    QCOMPARE(piece, initial);
    QVERIFY2(after.contains(initial), qPrintable(after));
    QVERIFY2(!after.contains(text), qPrintable(after));
}

void TestBatchComposer::theDisplayIsLockedAndKeepsASelection() {
    TestRig rig;
    rig.start();
    const auto window = tw::test::openSettings(rig);
    fill(*window, PosixExample);
    rig.advance(1000);
    QPlainTextEdit* display = window->TWCLI_GBC_COMMAND_TEXTBOX;
    const QString line = display->toPlainText();
    display->setFocus();
    QTest::keyClicks(display, QStringLiteral("xyz"));
    QCOMPARE(display->toPlainText(), line);
    display->selectAll();
    rig.advance(3000);
    // An unchanged line is not put back, so the user's selection stays for
    // copying.
    QCOMPARE(display->textCursor().selectedText(), line);
}

void TestBatchComposer::batchFileTargets_data() {
    QTest::addColumn<QString>("mainPaths");    // the main window's three batch paths, stored
    QTest::addColumn<QString>("folder");       // the settings window's folder field
    QTest::addColumn<QString>("before");       // "", "save" or "save, new folder" or "typed"
    QTest::addColumn<QStringList>("expected"); // written, in order

    QTest::newRow("not saved: where the main window runs them")
        << "/run/a"
        << "/srv/b"
        << ""
        << QStringList{"/run/a/CLI-UI-STOP.BAT", "/run/a/CLI-UI-GBC.BAT", "/run/a/CLI-UI-GCC.BAT"};
    QTest::newRow("not saved, main window empty: composed from the folder")
        << ""
        << "/srv/b"
        << ""
        << QStringList{"/srv/b/CLI-UI-STOP.BAT", "/srv/b/CLI-UI-GBC.BAT", "/srv/b/CLI-UI-GCC.BAT"};
    QTest::newRow("saved: the composed paths")
        << "/run/a"
        << "/srv/b"
        << "save"
        << QStringList{"/srv/b/CLI-UI-STOP.BAT", "/srv/b/CLI-UI-GBC.BAT", "/srv/b/CLI-UI-GCC.BAT"};
    QTest::newRow("saved, then a new folder: the paths of that save")
        << "/run/a"
        << "/srv/b"
        << "save, new folder"
        << QStringList{"/srv/b/CLI-UI-STOP.BAT", "/srv/b/CLI-UI-GBC.BAT", "/srv/b/CLI-UI-GCC.BAT"};
    QTest::newRow("a full path typed in the lower band")
        << "/run/a"
        << "/srv/b"
        << "typed"
        << QStringList{"/home/ann/stop.sh", "/run/a/CLI-UI-GBC.BAT", "/run/a/CLI-UI-GCC.BAT"};
}

void TestBatchComposer::batchFileTargets() {
    QFETCH(QString, mainPaths);
    QFETCH(QString, folder);
    QFETCH(QString, before);
    QFETCH(QStringList, expected);

    TestRig rig;
    if (!mainPaths.isEmpty()) {
        rig.store("CLI_STOP_BAT_FULL_LOCATION_TEXTBOX", mainPaths + "/CLI-UI-STOP.BAT");
        rig.store("CLI_GBC_FULL_BAT_LOCATION_TEXTBOX", mainPaths + "/CLI-UI-GBC.BAT");
        rig.store("CLI_GCC_FULL_BAT_LOCATION_TEXTBOX", mainPaths + "/CLI-UI-GCC.BAT");
    }
    rig.start();
    const auto window = tw::test::openSettings(rig);
    window->TW_CLI_UI_LOCATION_TEXTBOX->setText(folder);
    if (before.startsWith("save"))
        window->SAVE_REGISTRY_BUTTON->click();
    if (before == "save, new folder")
        window->TW_CLI_UI_LOCATION_TEXTBOX->setText(QStringLiteral("/srv/c"));
    if (before == "typed") {
        window->CLI_STOP_BAT_FULL_LOCATION_TEXTBOX->selectAll();
        QTest::keyClicks(window->CLI_STOP_BAT_FULL_LOCATION_TEXTBOX,
                         QStringLiteral("/home/ann/stop.sh"));
    }
    rig.advance(1000);
    window->SAVE_BATS_BUTTON->click();

    QCOMPARE(rig.files.writes, expected);
    for (const QString& path : rig.files.writes)
        QVERIFY2(!path.contains(FileName), qPrintable(path));
    QCOMPARE(window->CLOSE_BUTTON->text(), QStringLiteral("Close"));
    // The lines always name the log in the folder field of the moment.
    const QString gbc = QString::fromLocal8Bit(rig.files.files.value(expected.at(1)));
    QVERIFY2(gbc.contains(window->TW_CLI_UI_LOCATION_TEXTBOX->text() + "/CLI-UI-GBC.LOG"),
             qPrintable(gbc));
    // Writing the batch files stores nothing.
    QVERIFY(!rig.settings.writtenKeys.contains(QStringLiteral("TWCLI_GBC_COMMAND_TEXTBOX")));
    if (before.isEmpty() || before == "typed")
        QCOMPARE(rig.settings.writtenKeys, QStringList());
}

void TestBatchComposer::eachBatchFileIsOneLineAndCrLf() {
    TestRig rig;
    rig.start();
    const auto window = tw::test::openSettings(rig);
    fill(*window, PosixExample);
    window->TW_CLI_UI_LOCATION_TEXTBOX->setText(QStringLiteral("/srv/Zürich"));
    window->SAVE_REGISTRY_BUTTON->click();
    // An earlier, longer content is replaced whole.
    rig.files.files.insert(QStringLiteral("/srv/Zürich/CLI-UI-GBC.BAT"), QByteArray(4096, 'x'));
    rig.advance(1000);
    window->SAVE_BATS_BUTTON->click();

    const QList<QPair<QString, QPlainTextEdit*>> files = {
        {"/srv/Zürich/CLI-UI-STOP.BAT", window->TWCLI_STOP_COMMAND_TEXTBOX},
        {"/srv/Zürich/CLI-UI-GBC.BAT", window->TWCLI_GBC_COMMAND_TEXTBOX},
        {"/srv/Zürich/CLI-UI-GCC.BAT", window->TWCLI_GCC_COMMAND_TEXTBOX},
    };
    for (const auto& [path, display] : files) {
        QVERIFY2(rig.files.files.contains(path), qPrintable(path));
        const QByteArray bytes = rig.files.files.value(path);
        QVERIFY(bytes.endsWith("\r\n"));
        QCOMPARE(bytes.count("\r\n"), 1);
        QCOMPARE(bytes.count('\n'), 1);
        QCOMPARE(bytes.count('\r'), 1);
        QCOMPARE(bytes, display->toPlainText().toLocal8Bit() + "\r\n");
    }
    QCOMPARE(
        rig.files.files.value("/srv/Zürich/CLI-UI-GBC.BAT"),
        QByteArray(
            R"(call "/opt/Bitcoin Core/bin/bitcoin-cli" -conf=/home/ann/.bitcoin/bitcoin.conf getblockcount > /srv/Zürich/CLI-UI-GBC.LOG)"
            "\r\n"));
}

void TestBatchComposer::aFileThatCannotBeWrittenIsReportedTheOthersAreWritten_data() {
    QTest::addColumn<QString>("unwritable"); // file name in the folder, or "" for no folder
    QTest::addColumn<QStringList>("written");
    QTest::addColumn<QStringList>("reported");

    QTest::newRow("stop") << "CLI-UI-STOP.BAT"
                          << QStringList{"/w/CLI-UI-GBC.BAT", "/w/CLI-UI-GCC.BAT"}
                          << QStringList{BatchComposer::StopBatchFailure};
    QTest::newRow("block count") << "CLI-UI-GBC.BAT"
                                 << QStringList{"/w/CLI-UI-STOP.BAT", "/w/CLI-UI-GCC.BAT"}
                                 << QStringList{BatchComposer::BlockCountBatchFailure};
    QTest::newRow("connection count")
        << "CLI-UI-GCC.BAT" << QStringList{"/w/CLI-UI-STOP.BAT", "/w/CLI-UI-GBC.BAT"}
        << QStringList{BatchComposer::ConnectionCountBatchFailure};
    QTest::newRow("no path at all")
        << "" << QStringList{}
        << QStringList{BatchComposer::StopBatchFailure, BatchComposer::BlockCountBatchFailure,
                       BatchComposer::ConnectionCountBatchFailure};
}

void TestBatchComposer::aFileThatCannotBeWrittenIsReportedTheOthersAreWritten() {
    QFETCH(QString, unwritable);
    QFETCH(QStringList, written);
    QFETCH(QStringList, reported);

    TestRig rig;
    rig.start();
    const auto window = tw::test::openSettings(rig);
    fill(*window, PosixExample);
    window->TW_CLI_UI_LOCATION_TEXTBOX->setText(unwritable.isEmpty() ? QString()
                                                                     : QStringLiteral("/w"));
    if (!unwritable.isEmpty())
        rig.files.unwritable.insert("/w/" + unwritable);
    rig.advance(1000);
    window->SAVE_BATS_BUTTON->click();

    QCOMPARE(rig.files.writes, written);
    const QStringList keys = {BatchComposer::StopBatchFailure,
                              BatchComposer::BlockCountBatchFailure,
                              BatchComposer::ConnectionCountBatchFailure};
    for (const QString& key : keys)
        QCOMPARE(rig.diagnostics.isReported(key), reported.contains(key));
    // The button tells what this click could not write; the window goes on.
    const QString tip = window->SAVE_BATS_BUTTON->toolTip();
    QVERIFY2(tip.contains(unwritable.isEmpty() ? QStringLiteral("no path") : unwritable),
             qPrintable(tip));
    QCOMPARE(tip.count(QLatin1Char('\n')), reported.size() - 1);
    QCOMPARE(window->CLOSE_BUTTON->text(), QStringLiteral("Close"));
    QVERIFY(window->isVisible());

    // Once the files can be written, the reports are cleared.
    rig.files.unwritable.clear();
    window->TW_CLI_UI_LOCATION_TEXTBOX->setText(QStringLiteral("/w"));
    rig.advance(1000);
    window->SAVE_BATS_BUTTON->click();
    for (const QString& key : keys)
        QVERIFY(!rig.diagnostics.isReported(key));
    QCOMPARE(window->SAVE_BATS_BUTTON->toolTip(), QString());
}

QTEST_MAIN(TestBatchComposer)
#include "tst_batch_composer.moc"
