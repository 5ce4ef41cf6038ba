// Start at login as the desktop sees it, in a private XDG_CONFIG_HOME: the
// entry the program writes passes desktop-file-validate and GLib's launcher
// (the one GNOME's session starts autostart entries with) runs exactly the
// program file from it, whatever the path holds; an entry a desktop turned
// off reads as off; and tw-cli-ui-node, which writes the same file, agrees
// with the program both ways.

#include "platform/posix/Posix.h"
#include "tests/support/FileBytes.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using tw::platform::XdgAutostart;
using tw::test::readAll;
using tw::test::writeAll;

namespace {

constexpr int Bound = 15000;

struct Ran {
    int status = -1;
    QString output; // stdout and stderr
};

Ran run(const QString& program, const QStringList& arguments,
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(Bound))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAll())};
}

} // namespace

class TestAutostart : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    QString config_;
    int round_ = 0;
    QString round() const { return tmp_.filePath(QString::number(round_)); }

private slots:
    void initTestCase() {
        QVERIFY(tmp_.isValid());
        config_ = tmp_.filePath(QStringLiteral("config"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_));
    }
    void init() { QVERIFY(QDir().mkpath(tmp_.filePath(QString::number(++round_)))); }

    void entryRunsTheProgram_data() {
        QTest::addColumn<QString>("configuration");
        QTest::addColumn<QString>("folder"); // where the program file lies, below the test's folder
        QTest::addColumn<bool>("glibRuns");
        QTest::newRow("plain") << "TW-CLI-UI"
                               << "bin" << true;
        QTest::newRow("blanks") << "TW-CLI-UI-BTC A"
                                << "my programs" << true;
        QTest::newRow("shell signs") << "node $x"
                                     << "a\"b$c`d 'e' ;&|<>*?#()~" << true;
        QTest::newRow("backslashes") << "back\\slash"
                                     << "back\\slash\\" << true;
        QTest::newRow("non-ASCII and a line end") << "Knoten \u00fc"
                                                  << "\u00fc\nzwei" << true;
        QTest::newRow("leading blank") << " lead"
                                       << " lead" << true;
        // Written as the desktop entry rules say ("%%"); GLib checks the
        // program before it reads the field codes and cannot start it.
        QTest::newRow("percent") << "100%"
                                 << "100% sure" << false;
    }

    // The entry, written and taken away, in the autostart folder of
    // XDG_CONFIG_HOME; the desktop's tools read it as the program's start.
    void entryRunsTheProgram() {
        QFETCH(QString, configuration);
        QFETCH(QString, folder);
        QFETCH(bool, glibRuns);
        const QString marker = round() + QStringLiteral("/started");
        const QString program = round() + u'/' + folder + QStringLiteral("/TW-CLI-UI");
        QVERIFY(QDir().mkpath(QFileInfo(program).absolutePath()));
        QVERIFY(writeAll(program, "#!/bin/sh\nprintf '%s\\n' \"$0\" >>'" +
                                      QFile::encodeName(marker) + "'\n"));
        QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));

        XdgAutostart autostart(configuration, program);
        const QString entry = config_ + QStringLiteral("/autostart/io.github.tw_cli_ui.TWCLIUI-") +
                              configuration + QStringLiteral(".desktop");
        QCOMPARE(autostart.path(), entry);
        QVERIFY(!autostart.enabled());
        const tw::platform::Result on = autostart.setEnabled(true);
        QVERIFY2(on.ok, qPrintable(on.error));
        QVERIFY(autostart.enabled());

        const Ran validated = run(QStringLiteral("desktop-file-validate"), {entry});
        QVERIFY2(validated.status == 0 && validated.output.isEmpty(),
                 qPrintable(validated.output + QString::fromUtf8(readAll(entry))));
        if (glibRuns) {
            const Ran launched = run(QStringLiteral("gio"), {QStringLiteral("launch"), entry});
            QVERIFY2(launched.status == 0, qPrintable(launched.output));
            QTRY_COMPARE_WITH_TIMEOUT(QString::fromLocal8Bit(readAll(marker)), program + u'\n',
                                      Bound);
        }

        QVERIFY(autostart.setEnabled(false).ok);
        QVERIFY(!QFile::exists(entry));
        QVERIFY(!autostart.enabled());
        QVERIFY(autostart.setEnabled(false).ok); // nothing to take away
    }

    // An entry that is not the program's own text: desktops' settings turn
    // one off in it. The program and tw-cli-ui-node read it alike.
    void offAsDesktopsTurnItOff_data() {
        QTest::addColumn<QByteArray>("added"); // after the entry's text; "folder": a folder instead
        QTest::addColumn<bool>("on");
        QTest::newRow("as written") << QByteArray() << true;
        QTest::newRow("Hidden") << QByteArray("Hidden=true\n") << false;
        QTest::newRow("GNOME's switch off")
            << QByteArray("X-GNOME-Autostart-enabled=false\n") << false;
        QTest::newRow("GNOME's switch on")
            << QByteArray("X-GNOME-Autostart-enabled=true\n") << true;
        QTest::newRow("blanks and CR LF") << QByteArray("Hidden = true \r\n") << false;
        QTest::newRow("Hidden=false") << QByteArray("Hidden=false\n") << true;
        QTest::newRow("in another group")
            << QByteArray("[Desktop Action x]\nHidden=true\nX-GNOME-Autostart-enabled=false\n")
            << true;
        QTest::newRow("a folder in its place") << QByteArray("folder") << false;
    }
    void offAsDesktopsTurnItOff() {
        QFETCH(QByteArray, added);
        QFETCH(bool, on);
        const Tool tool(round());
        QVERIFY(tool.run({"add", "N"}).status == 0);
        XdgAutostart autostart(QStringLiteral("TW-CLI-UI-N"), tool.link("N"));
        if (added == "folder") {
            QVERIFY(QDir().mkpath(autostart.path()));
        } else {
            QVERIFY(autostart.setEnabled(true).ok);
            QVERIFY(writeAll(autostart.path(), readAll(autostart.path()) + added));
        }
        QCOMPARE(autostart.enabled(), on);
        QCOMPARE(tool.run({"list"}).output, QString(on ? "N (starts at login)\n" : "N\n"));
        // The next row starts without it.
        QVERIFY(added == "folder" ? QDir(autostart.path()).removeRecursively()
                                  : autostart.setEnabled(false).ok);
    }

    // One file for both: what tw-cli-ui-node writes is the program's own
    // entry byte for byte, for the program as the menu entry starts it (the
    // link's path) and as a shell finds it on PATH; and each sees what the
    // other switched.
    void toolAndProgramShareTheEntry_data() {
        QTest::addColumn<bool>("fromPath"); // argv[0] the bare name, found on PATH
        QTest::newRow("started by its menu entry") << false;
        QTest::newRow("started from PATH") << true;
    }
    void toolAndProgramShareTheEntry() {
        QFETCH(bool, fromPath);
        const Tool tool(round());
        QVERIFY(tool.run({"add", "BTC-A"}).status == 0);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(tool.bin()) + ':' + path);
        const QString argv0 = fromPath ? QStringLiteral("TW-CLI-UI-BTC-A") : tool.link("BTC-A");
        XdgAutostart autostart(tw::platform::executableNameFromArgv0(argv0.toLocal8Bit()),
                               tw::platform::programFileFromArgv0(argv0));
        qputenv("PATH", path);

        QCOMPARE(tool.run({"autostart", "BTC-A", "on"}).status, 0);
        QVERIFY(autostart.enabled());
        const QByteArray written = readAll(autostart.path());
        QVERIFY(autostart.setEnabled(true).ok);
        QCOMPARE(readAll(autostart.path()), written);

        QVERIFY(autostart.setEnabled(false).ok);
        QCOMPARE(tool.run({"list"}).output, QStringLiteral("BTC-A\n"));
        QVERIFY(autostart.setEnabled(true).ok);
        QCOMPARE(tool.run({"list"}).output, QStringLiteral("BTC-A (starts at login)\n"));
        QCOMPARE(tool.run({"autostart", "BTC-A", "off"}).status, 0);
        QVERIFY(!autostart.enabled());
        QVERIFY(autostart.setEnabled(true).ok);
        QCOMPARE(tool.run({"remove", "BTC-A"}).status, 0);
        QVERIFY(!autostart.enabled());
    }

private:
    // tw-cli-ui-node with a home of its own below `folder` (the links in a
    // folder whose name needs quoting), sharing the test's XDG_CONFIG_HOME.
    class Tool {
    public:
        explicit Tool(const QString& folder) : folder_(folder) {
            environment_.insert(QStringLiteral("HOME"), folder + QStringLiteral("/home"));
            environment_.insert(QStringLiteral("XDG_DATA_HOME"), folder + QStringLiteral("/share"));
            environment_.insert(QStringLiteral("TW_CLI_UI_BIN_DIR"), bin());
            environment_.insert(QStringLiteral("TW_CLI_UI_PROGRAM"),
                                QStringLiteral(TW_PANEL_PROGRAM));
        }
        QString bin() const { return folder_ + QStringLiteral("/my bin $HOME"); }
        QString link(const QString& name) const {
            return bin() + QStringLiteral("/TW-CLI-UI-") + name;
        }
        Ran run(const QStringList& arguments) const {
            return ::run(QStringLiteral(TW_NODE_COMMAND), arguments, environment_);
        }

    private:
        QString folder_;
        QProcessEnvironment environment_ = QProcessEnvironment::systemEnvironment();
    };
};

QTEST_GUILESS_MAIN(TestAutostart)
#include "tst_autostart.moc"
