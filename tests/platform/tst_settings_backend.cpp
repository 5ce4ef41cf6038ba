// The INI store against real files in a temporary XDG_CONFIG_HOME, and a
// second process (this binary in a helper mode) on the same file.

#include "platform/Posix.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <optional>

#include <unistd.h>

using tw::platform::IniSettingsBackend;

namespace {

const QString App = QStringLiteral("TW-CLI-UI");

// Helper modes of this binary, run as a separate process by the tests:
//   --print-setting FILE SECTION KEY   prints the value (exit 3 when absent)
//   --save-setting FILE SECTION KEY VALUE
int helperMain(int argc, char** argv) {
    const auto arg = [&](int i) { return QString::fromLocal8Bit(argv[i]); };
    IniSettingsBackend store(arg(2));
    if (std::strcmp(argv[1], "--print-setting") == 0 && argc == 5) {
        const auto value = store.read(App, arg(3), arg(4));
        if (!value)
            return 3;
        const QByteArray bytes = value->toUtf8();
        std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
        return 0;
    }
    if (std::strcmp(argv[1], "--save-setting") == 0 && argc == 6)
        return store.write(App, arg(3), arg(4), arg(5)) ? 0 : 4;
    return 2;
}

} // namespace

class TestIniSettingsBackend : public QObject {
    Q_OBJECT

private:
    QTemporaryDir tmp_;
    QString file(const QString& name) const { return tmp_.filePath(name); }

    QString runHelper(const QStringList& args, int expectedExit) {
        QProcess helper;
        helper.start(QCoreApplication::applicationFilePath(), args);
        if (!helper.waitForFinished(20000))
            return QStringLiteral("<helper did not finish>");
        if (helper.exitStatus() != QProcess::NormalExit || helper.exitCode() != expectedExit)
            return QStringLiteral("<helper exit %1>").arg(helper.exitCode());
        return QString::fromUtf8(helper.readAllStandardOutput());
    }

private slots:
    void initTestCase() { QVERIFY(tmp_.isValid()); }

    void defaultPathFollowsXdg_data() {
        QTest::addColumn<QByteArray>("xdg");
        QTest::addColumn<bool>("set");
        QTest::addColumn<QString>("expected");
        const QString home = QStringLiteral("/home/tester");
        const QString underHome = home + QStringLiteral("/.config/TW-CLI-UI/TW-CLI-UI.ini");
        QTest::newRow("absolute") << QByteArray("/srv/conf") << true
                                  << QStringLiteral("/srv/conf/TW-CLI-UI/TW-CLI-UI.ini");
        QTest::newRow("trailing slash") << QByteArray("/srv/conf/") << true
                                        << QStringLiteral("/srv/conf/TW-CLI-UI/TW-CLI-UI.ini");
        QTest::newRow("empty") << QByteArray() << true << underHome;
        QTest::newRow("unset") << QByteArray() << false << underHome;
        QTest::newRow("relative is ignored") << QByteArray("conf") << true << underHome;
    }
    void defaultPathFollowsXdg() {
        QFETCH(QByteArray, xdg);
        QFETCH(bool, set);
        QFETCH(QString, expected);
        const QByteArray oldHome = qgetenv("HOME");
        const QByteArray oldXdg = qgetenv("XDG_CONFIG_HOME");
        qputenv("HOME", "/home/tester");
        if (set)
            qputenv("XDG_CONFIG_HOME", xdg);
        else
            qunsetenv("XDG_CONFIG_HOME");
        const QString path = IniSettingsBackend::defaultPath();
        const QString location = IniSettingsBackend().location();
        qputenv("HOME", oldHome);
        qputenv("XDG_CONFIG_HOME", oldXdg);
        QCOMPARE(path, expected);
        QCOMPARE(location, expected);
    }

    void defaultConstructorWritesUnderXdgConfigHome() {
        QTemporaryDir config;
        QVERIFY(config.isValid());
        const QByteArray oldXdg = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        IniSettingsBackend store;
        qputenv("XDG_CONFIG_HOME", oldXdg);

        const QString expectedFile = config.path() + QStringLiteral("/TW-CLI-UI/TW-CLI-UI.ini");
        QVERIFY(!QFile::exists(expectedFile));
        const auto first =
            store.write(App, QStringLiteral("TW-CLI-UI"), QStringLiteral("CLI_NAME_TEXTBOX"),
                        QStringLiteral("bitcoin-cli"));
        QVERIFY2(first.ok, qPrintable(first.error));
        QVERIFY(QFile::exists(expectedFile)); // folder and file created at the write
        const auto second = store.write(App, QStringLiteral("TW-CLI-UI-LTC"),
                                        QStringLiteral("MainLeft"), QStringLiteral("1000"));
        QVERIFY2(second.ok, qPrintable(second.error));
        // One INI group per executable name, the keys as they are.
        QFile ini(expectedFile);
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray text = ini.readAll();
        QVERIFY2(text.contains("[TW-CLI-UI]\nCLI_NAME_TEXTBOX=bitcoin-cli\n"), text.constData());
        QVERIFY2(text.contains("[TW-CLI-UI-LTC]\nMainLeft=1000\n"), text.constData());
        QCOMPARE(store.read(App, QStringLiteral("TW-CLI-UI"), QStringLiteral("CLI_NAME_TEXTBOX")),
                 std::optional<QString>(QStringLiteral("bitcoin-cli")));
    }

    void absentReadsAsNothing_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::newRow("key absent in known section") << "known"
                                                     << "OTHER_KEY";
        QTest::newRow("section absent") << "unknown"
                                        << "KEY";
        QTest::newRow("key spelled in other case") << "known"
                                                   << "key";
        QTest::newRow("section spelled in other case") << "KNOWN"
                                                       << "KEY";
    }
    void absentReadsAsNothing() {
        QFETCH(QString, section);
        QFETCH(QString, key);
        IniSettingsBackend missingFile(file(QStringLiteral("never-written.ini")));
        QCOMPARE(missingFile.read(App, section, key), std::nullopt);
        QVERIFY(!QFile::exists(file(QStringLiteral("never-written.ini")))); // reads create nothing

        IniSettingsBackend store(file(QStringLiteral("absent.ini")));
        QVERIFY(store.write(App, QStringLiteral("known"), QStringLiteral("KEY"), "1").ok);
        QCOMPARE(store.read(App, section, key), std::nullopt);
        QCOMPARE(
            store.read(QStringLiteral("Other-App"), QStringLiteral("known"), QStringLiteral("KEY")),
            std::nullopt);
    }

    void emptyTextIsStoredAsEmpty() {
        IniSettingsBackend store(file(QStringLiteral("empty.ini")));
        QVERIFY(store
                    .write(App, QStringLiteral("s"), QStringLiteral("RUN_COMMAND_TEXTBOX"),
                           QStringLiteral("something"))
                    .ok);
        QVERIFY(
            store.write(App, QStringLiteral("s"), QStringLiteral("RUN_COMMAND_TEXTBOX"), QString())
                .ok);
        const auto value =
            store.read(App, QStringLiteral("s"), QStringLiteral("RUN_COMMAND_TEXTBOX"));
        QVERIFY(value.has_value());
        QCOMPARE(*value, QString());
        QVERIFY(value->isEmpty());
    }

    void awkwardValuesRoundTrip_data() {
        QTest::addColumn<QString>("value");
        QTest::newRow("plain") << QStringLiteral("bitcoin-cli");
        QTest::newRow("commas") << QStringLiteral("a, b,c ,");
        QTest::newRow("lone comma") << QStringLiteral(",");
        QTest::newRow("double quotes") << QStringLiteral("say \"hi\" \"");
        QTest::newRow("single quote") << QStringLiteral("it's");
        QTest::newRow("variant marker") << QStringLiteral("@Variant(\\0\\0\\0\\x7f)");
        QTest::newRow("bytearray marker") << QStringLiteral("@ByteArray(x)");
        QTest::newRow("leading at") << QStringLiteral("@home");
        QTest::newRow("double at") << QStringLiteral("@@");
        QTest::newRow("newlines") << QStringLiteral("line 1\nline 2\r\nline 3\n");
        QTest::newRow("tab") << QStringLiteral("a\tb");
        QTest::newRow("backslashes") << QStringLiteral("C:\\Program Files\\Bitcoin\\");
        QTest::newRow("semicolon and hash") << QStringLiteral("; not a comment # either");
        QTest::newRow("equals and brackets") << QStringLiteral("[section]=value");
        QTest::newRow("percent escapes") << QStringLiteral("%2F%25%U00e4");
        QTest::newRow("non-ASCII") << QStringLiteral("Grüße, Ærø, 日本語, 🙂");
        QTest::newRow("leading and trailing blanks") << QStringLiteral("  padded  ");
        QTest::newRow("only blanks") << QStringLiteral("   ");
        QTest::newRow("looks like a number") << QStringLiteral("0012.50");
        QTest::newRow("looks like a bool") << QStringLiteral("true");
        QTest::newRow("shell command")
            << QStringLiteral("notify-send \"Block $(cat /tmp/x)\" && echo 'done' > ~/f");
        QTest::newRow("very long") << QString(100000, QLatin1Char('x')) + QStringLiteral("end");
    }
    void awkwardValuesRoundTrip() {
        QFETCH(QString, value);
        const QString path = file(QStringLiteral("awkward.ini"));
        IniSettingsBackend writer(path);
        QVERIFY(writer.write(App, QStringLiteral("TW-CLI-UI"), QStringLiteral("VALUE"), value).ok);
        // A second key after it must not be swallowed by the value's text.
        QVERIFY(writer
                    .write(App, QStringLiteral("TW-CLI-UI"), QStringLiteral("ZZ_AFTER"),
                           QStringLiteral("after"))
                    .ok);
        IniSettingsBackend reader(path);
        QCOMPARE(reader.read(App, QStringLiteral("TW-CLI-UI"), QStringLiteral("VALUE")),
                 std::optional<QString>(value));
        QCOMPARE(reader.read(App, QStringLiteral("TW-CLI-UI"), QStringLiteral("ZZ_AFTER")),
                 std::optional<QString>(QStringLiteral("after")));
    }

    void sectionsAndKeysKeptApart_data() {
        QTest::addColumn<QString>("sectionA");
        QTest::addColumn<QString>("keyA");
        QTest::addColumn<QString>("sectionB");
        QTest::addColumn<QString>("keyB");
        const QString k = QStringLiteral("CLI_NAME_TEXTBOX");
        QTest::newRow("two names") << "TW-CLI-UI" << k << "TW-CLI-UI-ETH" << k;
        QTest::newRow("letter case") << "TW-CLI-UI" << k << "tw-cli-ui" << k;
        QTest::newRow("blanks") << "my node" << k << "my  node" << k;
        QTest::newRow("blank vs none") << "mynode" << k << "my node" << k;
        QTest::newRow("trailing blank") << "node" << k << "node " << k;
        QTest::newRow("quotes") << "\"node\"" << k << "node" << k;
        QTest::newRow("single quotes") << "'node'" << k << "node" << k;
        QTest::newRow("brackets") << "[node]" << k << "node" << k;
        QTest::newRow("ini header lookalike") << "a]\n[b" << k << "b" << k;
        QTest::newRow("slash") << "a/b" << k << "a" << k;
        QTest::newRow("slash vs backslash") << "a/b" << k << "a\\b" << k;
        QTest::newRow("backslash vs nested") << "a\\b" << k << "a"
                                             << "b\\" + k;
        QTest::newRow("slash vs nested key") << "a/b" << k << "a"
                                             << "b/" + k;
        QTest::newRow("double slash") << "a//b" << k << "a/b" << k;
        QTest::newRow("leading slash") << "/a" << k << "a" << k;
        QTest::newRow("escape lookalike") << "a/b" << k << "a%2Fb" << k;
        QTest::newRow("percent") << "100%" << k << "100%25" << k;
        QTest::newRow("empty section") << "" << k << "%" << k;
        QTest::newRow("non-ASCII") << "Knoten-Ä" << k << "Knoten-ä" << k;
        QTest::newRow("non-ASCII vs escaped") << "Knoten-ä" << k << "Knoten-%U00e4" << k;
        QTest::newRow("section vs key in app") << "x" << k << "x/" + k << k;
        QTest::newRow("INI general section") << "General" << k << "%General" << k;
    }
    void sectionsAndKeysKeptApart() {
        QFETCH(QString, sectionA);
        QFETCH(QString, keyA);
        QFETCH(QString, sectionB);
        QFETCH(QString, keyB);
        const QString path = file(QStringLiteral("apart-%1.ini").arg(QTest::currentDataTag()));
        IniSettingsBackend store(path);
        QVERIFY(store.write(App, sectionA, keyA, QStringLiteral("value of A")).ok);
        QCOMPARE(store.read(App, sectionB, keyB), std::nullopt);
        QVERIFY(store.write(App, sectionB, keyB, QStringLiteral("value of B")).ok);
        IniSettingsBackend reader(path);
        QCOMPARE(reader.read(App, sectionA, keyA), std::optional<QString>("value of A"));
        QCOMPARE(reader.read(App, sectionB, keyB), std::optional<QString>("value of B"));
        // The same names under another application are yet another place.
        QCOMPARE(reader.read(QStringLiteral("TW-CLI-UI-2"), sectionA, keyA), std::nullopt);
    }

    void otherApplicationIsNotInThisFile() {
        const QString path = file(QStringLiteral("one-app.ini"));
        IniSettingsBackend store(path);
        QCOMPARE(store.location(), path);
        const auto result = store.write(QStringLiteral("Other-App"), QStringLiteral("TW-CLI-UI"),
                                        QStringLiteral("K"), QStringLiteral("v"));
        QVERIFY(!result.ok);
        QVERIFY2(result.error.contains(QStringLiteral("Other-App")), qPrintable(result.error));
        QVERIFY(!QFile::exists(path));
        QVERIFY(store.write(App, QStringLiteral("TW-CLI-UI"), QStringLiteral("K"), "v").ok);
        QCOMPARE(store.read(QStringLiteral("Other-App"), QStringLiteral("TW-CLI-UI"),
                            QStringLiteral("K")),
                 std::nullopt);
        // A store made for another application holds that one instead.
        IniSettingsBackend other(file(QStringLiteral("other-app.ini")),
                                 QStringLiteral("Other-App"));
        QVERIFY(other.write(QStringLiteral("Other-App"), QStringLiteral("s"), "K", "w").ok);
        QCOMPARE(other.read(QStringLiteral("Other-App"), QStringLiteral("s"), "K"),
                 std::optional<QString>("w"));
        QCOMPARE(other.read(App, QStringLiteral("s"), "K"), std::nullopt);
    }

    void laterWriteReplacesValue() {
        IniSettingsBackend store(file(QStringLiteral("replace.ini")));
        QVERIFY(store.write(App, QStringLiteral("s"), QStringLiteral("MainLeft"), "1000").ok);
        QVERIFY(store.write(App, QStringLiteral("s"), QStringLiteral("MainLeft"), "2715").ok);
        QCOMPARE(store.read(App, QStringLiteral("s"), QStringLiteral("MainLeft")),
                 std::optional<QString>("2715"));
    }

    void otherProcessReadsWhatWeSaved_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("value");
        QTest::newRow("plain") << "TW-CLI-UI"
                               << "bitcoin-cli";
        QTest::newRow("awkward") << "my node/ä [1]"
                                 << "a, \"b\"\nGrüße";
    }
    void otherProcessReadsWhatWeSaved() {
        QFETCH(QString, section);
        QFETCH(QString, value);
        const QString path = file(QStringLiteral("shared-%1.ini").arg(QTest::currentDataTag()));
        IniSettingsBackend store(path);
        QVERIFY(store.write(App, section, QStringLiteral("CLI_NAME_TEXTBOX"), value).ok);
        QCOMPARE(runHelper({QStringLiteral("--print-setting"), path, section,
                            QStringLiteral("CLI_NAME_TEXTBOX")},
                           0),
                 value);
        QCOMPARE(
            runHelper({QStringLiteral("--print-setting"), path, section, QStringLiteral("ABSENT")},
                      3),
            QString());
    }

    void weReadWhatOtherProcessSaved() {
        const QString path = file(QStringLiteral("from-other.ini"));
        IniSettingsBackend store(path);
        const QString section = QStringLiteral("TW-CLI-UI");
        const QString key = QStringLiteral("AUTOSTART_TICKBOX");
        QVERIFY(store.write(App, section, key, "0").ok);
        QCOMPARE(store.read(App, section, key), std::optional<QString>("0"));
        // Same length, so only a real re-read notices the change.
        QCOMPARE(runHelper({QStringLiteral("--save-setting"), path, section, key, "1"}, 0),
                 QString());
        QCOMPARE(store.read(App, section, key), std::optional<QString>("1"));
        QCOMPARE(runHelper({QStringLiteral("--save-setting"), path, section,
                            QStringLiteral("NEW_KEY"), "new"},
                           0),
                 QString());
        QCOMPARE(store.read(App, section, QStringLiteral("NEW_KEY")),
                 std::optional<QString>("new"));
    }

    void unwritableLocationFails_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("needsNonRoot");
        QFile plain(file(QStringLiteral("plain-file")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        QVERIFY(QDir(tmp_.path()).mkpath(QStringLiteral("a-folder.ini")));
        QTest::newRow("folder cannot be created")
            << file(QStringLiteral("plain-file/sub/TW-CLI-UI.ini")) << false;
        QTest::newRow("path is a folder") << file(QStringLiteral("a-folder.ini")) << false;
        QTest::newRow("empty path") << QString() << false;
        QTest::newRow("read-only file") << file(QStringLiteral("read-only.ini")) << true;
    }
    void unwritableLocationFails() {
        QFETCH(QString, path);
        QFETCH(bool, needsNonRoot);
        if (needsNonRoot) {
            if (::geteuid() == 0)
                QSKIP("root writes read-only files anyway");
            IniSettingsBackend first(path);
            QVERIFY(first.write(App, QStringLiteral("s"), QStringLiteral("K"), "old").ok);
            QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
        }
        IniSettingsBackend store(path);
        const auto result = store.write(App, QStringLiteral("s"), QStringLiteral("K"), "new");
        QVERIFY(!result.ok);
        QVERIFY(!bool(result));
        QVERIFY2(result.error.contains(path), qPrintable(result.error));
        QCOMPARE(store.read(App, QStringLiteral("s"), QStringLiteral("K")),
                 needsNonRoot ? std::optional<QString>("old") : std::nullopt);
    }
};

int main(int argc, char** argv) {
    if (argc >= 2 && std::strncmp(argv[1], "--", 2) == 0 &&
        (std::strcmp(argv[1], "--print-setting") == 0 ||
         std::strcmp(argv[1], "--save-setting") == 0)) {
        QCoreApplication app(argc, argv);
        return helperMain(argc, argv);
    }
    QCoreApplication app(argc, argv);
    TestIniSettingsBackend test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settings_backend.moc"
