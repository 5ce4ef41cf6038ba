// The settings file as a person and the program see it: hand-edited and
// damaged files, the earlier version's files, the program's own values, the
// .bak of the previous run, and a store that cannot be read at start.

#include "platform/posix/IniFile.h"
#include "platform/posix/Posix.h"
#include "tests/support/FileBytes.h"
#include "tests/support/FullDisk.h"
#include "tests/support/TestRig.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using tw::test::readAll;
using tw::test::writeAll;
using namespace tw::platform;
using State = SettingRead::State;

namespace {

const QString App = QStringLiteral("TW-CLI-UI");
const QString Missing = QStringLiteral("<missing>");

QString shown(const SettingRead& read) {
    return read.state == State::Found ? read.value : Missing;
}

} // namespace

class TestIniStore : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    QString file_;
    int run_ = 0;

private slots:
    void init() {
        QVERIFY(tmp_.isValid());
        // A folder of its own for each test and data row.
        file_ = tmp_.filePath(QStringLiteral("%1/TW-CLI-UI.ini").arg(++run_));
        QDir().mkpath(QFileInfo(file_).absolutePath());
    }

    // What each key of a hand-edited file reads, and whether a write leaves
    // the file as it was (it does not parse whole) or keeps the untouched
    // sections' bytes.
    void handEditedFiles_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("rewritable");
        QTest::addColumn<QByteArray>("kept"); // bytes a rewrite must keep as they are

        const QByteArray quote = "[A]\nK=\"abc\n[B]\nK=b\n";
        QTest::newRow("unbalanced quote: the value") << quote << "A"
                                                     << "K"
                                                     << "\"abc" << true << QByteArray("[B]\nK=b\n");
        QTest::newRow("unbalanced quote: later section")
            << quote << "B"
            << "K"
            << "b" << true << QByteArray("[A]\nK=\"abc\n");

        const QByteArray stray = "[A]\nK=a\n\x01\x02\x7f garbage\n[B]\nK=b\n";
        QTest::newRow("stray bytes: before") << stray << "A"
                                             << "K"
                                             << "a" << false << stray;
        QTest::newRow("stray bytes: after") << stray << "B"
                                            << "K"
                                            << "b" << false << stray;

        const QByteArray nul = QByteArray("[A]\nK=a\0b\n[B]\nK=b\n", 18);
        QTest::newRow("NUL: its key") << nul << "A"
                                      << "K" << Missing << false << nul;
        QTest::newRow("NUL: next section") << nul << "B"
                                           << "K"
                                           << "b" << false << nul;

        const QByteArray utf8 = "[A]\nK=\xff\xfe\nL=l\n[B]\nK=b\n";
        QTest::newRow("invalid UTF-8: its key") << utf8 << "A"
                                                << "K" << Missing << false << utf8;
        QTest::newRow("invalid UTF-8: next key") << utf8 << "A"
                                                 << "L"
                                                 << "l" << false << utf8;

        const QByteArray noEquals = "[A]\nK=a\nJUST SOME TEXT\n[B]\nK=b\n";
        QTest::newRow("line with no =") << noEquals << "B"
                                        << "K"
                                        << "b" << false << noEquals;
        const QByteArray openSection = "[A\nK=a\n";
        QTest::newRow("unclosed section") << openSection << "A"
                                          << "K" << Missing << false << openSection;
        const QByteArray badEscape = "[A]\nK%=100%\n";
        QTest::newRow("broken escape") << badEscape << "A"
                                       << "K" << Missing << false << badEscape;

        const QByteArray crlf = "[A]\r\nK=a\r\n[B]\r\nK=b\r\n";
        QTest::newRow("CR LF line ends") << crlf << "A"
                                         << "K"
                                         << "a" << true << crlf;
        const QByteArray loneCr = "[A]\nK=a\rL=b\n";
        QTest::newRow("CR inside a line") << loneCr << "A"
                                          << "K" << Missing << false << loneCr;

        // An earlier version's file (no marker): values typed by hand read
        // literally; only what that version itself wrote reads its way.
        const QByteArray typed = "[A]\nK=C:\\dir\\x;y,a,b \"q\"\nP=C:\\dir\\x\nS=x;y\nC=a,b\n"
                                 "Q=\"q\"\n[B]\nK=b\n";
        QTest::newRow("typed: \\ ; , \" together")
            << typed << "A"
            << "K"
            << "C:\\dir\\x;y,a,b \"q\"" << true << QByteArray("[B]\nK=b\n");
        QTest::newRow("typed: backslashes") << typed << "A"
                                            << "P"
                                            << "C:\\dir\\x" << true << QByteArray("P=C:\\dir\\x\n");
        QTest::newRow("typed: semicolon") << typed << "A"
                                          << "S"
                                          << "x;y" << true << QByteArray("S=x;y\n");
        QTest::newRow("typed: comma") << typed << "A"
                                      << "C"
                                      << "a,b" << true << QByteArray("C=a,b\n");
        QTest::newRow("typed: quotes") << typed << "A"
                                       << "Q"
                                       << "\"q\"" << true << QByteArray("Q=\"q\"\n");
        QTest::newRow("earlier version's escapes")
            << QByteArray("[A]\nK=\"C:\\\\dir, \\\"x\\\"\"\n") << "A"
            << "K"
            << "C:\\dir, \"x\"" << true << QByteArray("[A]\n");

        // This version's files: literal to the end of the line.
        const QByteArray marked = ini::Marker + "\n[A]\nK= lead and trail \nE=\nL=\\\"q\\\";#\n"
                                                "N%=1%0D%0A2%25\n; comment\n[B]\nK=b\n";
        QTest::newRow("marked: blanks kept") << marked << "A"
                                             << "K"
                                             << " lead and trail " << true << marked;
        QTest::newRow("marked: empty value") << marked << "A"
                                             << "E"
                                             << "" << true << marked;
        QTest::newRow("marked: escapes are text") << marked << "A"
                                                  << "L"
                                                  << "\\\"q\\\";#" << true << marked;
        QTest::newRow("marked: line breaks") << marked << "A"
                                             << "N"
                                             << "1\r\n2%" << true << marked;
        QTest::newRow("marked: absent key") << marked << "B"
                                            << "X" << Missing << true << marked;
    }
    void handEditedFiles() {
        QFETCH(QByteArray, text);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QFETCH(bool, rewritable);
        QFETCH(QByteArray, kept);
        QVERIFY(writeAll(file_, text));

        IniSettingsBackend store(file_);
        const SettingRead read = store.read(App, section, key);
        QCOMPARE(shown(read), expected);
        QCOMPARE(read.problem.isEmpty(), rewritable);
        if (!rewritable)
            QVERIFY2(read.problem.contains(QStringLiteral("line ")), qPrintable(read.problem));

        const Result written = store.write(App, QStringLiteral("Z"), QStringLiteral("NEW"), "v");
        QCOMPARE(written.ok, rewritable);
        const QByteArray after = readAll(file_);
        QVERIFY2(after.contains(kept), after.constData());
        if (!rewritable) {
            QCOMPARE(after, text);
            QVERIFY2(written.error.contains(QStringLiteral("line ")), qPrintable(written.error));
            return;
        }
        // The new value is there, and what was read before reads the same.
        QCOMPARE(shown(IniSettingsBackend(file_).read(App, "Z", "NEW")), QString("v"));
        QCOMPARE(shown(IniSettingsBackend(file_).read(App, section, key)), expected);
    }

    // The section is the program's file name, less a trailing ".exe" in any
    // letter case (the same on both systems); other dots stay.
    void sectionFromProgramName_data() {
        QTest::addColumn<QByteArray>("argv0");
        QTest::addColumn<QString>("section");
        QTest::newRow("path") << QByteArray("/usr/bin/TW-CLI-UI") << "TW-CLI-UI";
        QTest::newRow(".exe") << QByteArray("./BTC-A.exe") << "BTC-A";
        QTest::newRow(".EXE") << QByteArray("BTC-A.EXE") << "BTC-A";
        QTest::newRow("other dots") << QByteArray("node.v2.exe") << "node.v2";
        QTest::newRow("only .exe") << QByteArray("/x/.exe") << ".exe";
        QTest::newRow("exe inside") << QByteArray("my.exe.ltc") << "my.exe.ltc";
        QTest::newRow("empty") << QByteArray("") << "TW-CLI-UI";
    }
    void sectionFromProgramName() {
        QFETCH(QByteArray, argv0);
        QFETCH(QString, section);
        QCOMPARE(executableNameFromArgv0(argv0.constData()), section);
    }

    // The program's own values come back exactly, and plain ones stand in
    // the file as they were typed.
    void ownValuesRoundTrip_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("line"); // how it stands in the file; empty: not checked
        QTest::newRow("empty") << "" << QByteArray("K=\n");
        QTest::newRow("windows path")
            << "C:\\Program Files\\x;y,\"z\"" << QByteArray("K=C:\\Program Files\\x;y,\"z\"\n");
        QTest::newRow("blanks") << "  both  " << QByteArray("K=  both  \n");
        QTest::newRow("comment signs")
            << "; not a comment #" << QByteArray("K=; not a comment #\n");
        QTest::newRow("percent, at") << "@Variant(%25)" << QByteArray("K=@Variant(%25)\n");
        QTest::newRow("line breaks, NUL")
            << QString("a\r\nb") + QChar(0) + "%" << QByteArray("K%=a%0D%0Ab%00%25\n");
        QTest::newRow("non-ASCII")
            << "Grüße 日本 🙂" << QString("K=Grüße 日本 🙂\n").toUtf8();
        QTest::newRow("long") << QString(100000, u'x') << QByteArray();
    }
    void ownValuesRoundTrip() {
        QFETCH(QString, value);
        QFETCH(QByteArray, line);
        QVERIFY(IniSettingsBackend(file_).write(App, "S", "K", value).ok);
        QVERIFY(IniSettingsBackend(file_).write(App, "S", "L", "after").ok);
        const QByteArray text = readAll(file_);
        QVERIFY(text.startsWith(ini::Marker));
        if (!line.isEmpty())
            QVERIFY2(text.contains("\n" + line), text.constData());
        QCOMPARE(shown(IniSettingsBackend(file_).read(App, "S", "K")), value);
        QCOMPARE(shown(IniSettingsBackend(file_).read(App, "S", "L")), QString("after"));
    }

    // A store written by the earlier version (QSettings' own INI escapes)
    // keeps working: each value reads as it was written, before and after
    // this version's first write, which turns it into literal text.
    void earlierVersionsValues_data() {
        QTest::addColumn<QString>("value");
        const QString values[] = {"plain",
                                  "C:\\dir\\x",
                                  "\\\\server\\share",
                                  "x;y",
                                  "a,b",
                                  "\"q\"",
                                  " lead",
                                  "trail ",
                                  "a=b",
                                  "@at",
                                  "@@2",
                                  "tab\there",
                                  QString("nul") + QChar(0) + "1",
                                  "\x01x",
                                  "é €",
                                  ""};
        for (const QString& value : values)
            QTest::newRow(qPrintable(value.toUtf8().toPercentEncoding(" @\\;,\"="))) << value;
    }
    void earlierVersionsValues() {
        QFETCH(QString, value);
        {
            QSettings earlier(file_, QSettings::IniFormat);
            earlier.setValue("TW-CLI-UI/K", value);
            earlier.setValue("Other node/K", "other");
        }
        QCOMPARE(shown(IniSettingsBackend(file_).read(App, "TW-CLI-UI", "K")), value);
        QCOMPARE(shown(IniSettingsBackend(file_).read(App, "Other node", "K")), QString("other"));
        QVERIFY(IniSettingsBackend(file_).write(App, "TW-CLI-UI", "MainLeft", "1200").ok);
        QVERIFY(readAll(file_).startsWith(ini::Marker));
        QCOMPARE(shown(IniSettingsBackend(file_).read(App, "TW-CLI-UI", "K")), value);
        QCOMPARE(shown(IniSettingsBackend(file_).read(App, "Other node", "K")), QString("other"));
    }

    void unchangedValueLeavesFileAlone() {
        QVERIFY(IniSettingsBackend(file_).write(App, "S", "K", "v").ok);
        const QByteArray before = readAll(file_);
        QVERIFY(writeAll(file_, before + "; a note of the user's\n"));
        QVERIFY(IniSettingsBackend(file_).write(App, "S", "K", "v").ok);
        QCOMPARE(readAll(file_), before + "; a note of the user's\n");
        QVERIFY(!QFile::exists(file_ + ".bak")); // nothing written, nothing kept
    }

    // The previous file is kept once per run, replaced (not piled up) by
    // the next run.
    void previousFileKeptOncePerRun() {
        const QByteArray original = "[S]\nK=0\n";
        QVERIFY(writeAll(file_, original));
        {
            IniSettingsBackend run(file_);
            QVERIFY(run.write(App, "S", "K", "1").ok);
            QVERIFY(run.write(App, "S", "K", "2").ok);
            QCOMPARE(readAll(file_ + ".bak"), original);
        }
        const QByteArray afterFirstRun = readAll(file_);
        IniSettingsBackend second(file_);
        QVERIFY(second.write(App, "S", "K", "3").ok);
        QCOMPARE(readAll(file_ + ".bak"), afterFirstRun);
        QCOMPARE(QDir(QFileInfo(file_).absolutePath())
                     .entryList({"*.bak*"}, QDir::Files | QDir::Hidden)
                     .size(),
                 1);
    }

    // A disk that fills up at any byte of the .bak or of the new file leaves
    // the settings file byte for byte as it was (and the .bak, where there is
    // one, a true copy of it), and the write says why.
    void aFullDiskLeavesTheFileAsItWas() {
        const QByteArray original = ini::Marker +
                                    "\n[TW-CLI-UI-BTC]\nMainLeft=1000\n"
                                    "CLI_NAME_TEXTBOX=bitcoin-cli\n\n[TW-CLI-UI-LTC]\n"
                                    "MainLeft=2000\n\n[TW-CLI-UI-DASH]\nMainTop=300\n";
        QVERIFY(writeAll(file_, original));
        const SettingValues close = {{"MainLeft", "1230"},
                                     {"MainTop", "4560"},
                                     {"AUTOSTART_TICKBOX", "1"},
                                     {"P4P_TICKBOX", "0"}};
        int failed = 0;
        for (qint64 room = 0;; ++room) {
            IniSettingsBackend store(file_);
            store.setWriteSteps(tw::test::diskFullAfter(room));
            const Result result = store.writeValues(App, "TW-CLI-UI-LTC", close);
            if (result.ok)
                break;
            ++failed;
            QVERIFY2(result.error.contains("No space left on device"), qPrintable(result.error));
            QCOMPARE(readAll(file_), original);
            QVERIFY(!QFile::exists(file_ + ".bak") || readAll(file_ + ".bak") == original);
            QVERIFY(room < 4 * original.size()); // it does end
        }
        // Every byte of the .bak and of the new file was a point of failure.
        QVERIFY2(failed >= 2 * original.size(), qPrintable(QString::number(failed)));
        QCOMPARE(shown(IniSettingsBackend(file_).read(App, "TW-CLI-UI-LTC", "MainTop")),
                 QString("4560"));
        QCOMPARE(shown(IniSettingsBackend(file_).read(App, "TW-CLI-UI-BTC", "CLI_NAME_TEXTBOX")),
                 QString("bitcoin-cli"));

        // A flush that fails keeps the file too.
        const QByteArray now = readAll(file_);
        IniSettingsBackend store(file_);
        store.setWriteSteps(tw::test::flushFails());
        QVERIFY(!store.write(App, "TW-CLI-UI-DASH", "MainTop", "999").ok);
        QCOMPARE(readAll(file_), now);
    }

    // All the values of one occasion in one write; a write that would take
    // the file past what a read accepts is refused and the file kept.
    void oneWriteAndItsLimit() {
        IniSettingsBackend store(file_);
        QVERIFY(store.writeValues(App, "S", {{"A", "1"}, {"B", "2"}, {"A", "3"}}).ok);
        QCOMPARE(shown(store.read(App, "S", "A")), QString("3"));
        QCOMPARE(shown(store.read(App, "S", "B")), QString("2"));
        const QByteArray before = readAll(file_);
        const Result big = store.write(App, "S", "RUN_COMMAND_TEXTBOX", QString(1024 * 1024, u'x'));
        QVERIFY(!big.ok);
        QVERIFY2(big.error.contains("past the 1048576 bytes"), qPrintable(big.error));
        QCOMPARE(readAll(file_), before);
        // Just below the limit is still a settings file, and reads back.
        const QString most(1024 * 1024 - before.size() - 64, u'y');
        QVERIFY(store.write(App, "S", "RUN_COMMAND_TEXTBOX", most).ok);
        QCOMPARE(shown(IniSettingsBackend(file_).read(App, "S", "RUN_COMMAND_TEXTBOX")), most);
    }

    // The .bak is as private as the file it copies.
    void backupKeepsTheFilesMode_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("oldBackup"); // a .bak of an earlier run, 0644, is there
        QTest::newRow("0600") << 0600 << false;
        QTest::newRow("0600 over an old 0644 .bak") << 0600 << true;
        QTest::newRow("0640") << 0640 << false;
    }
    void backupKeepsTheFilesMode() {
        QFETCH(int, mode);
        QFETCH(bool, oldBackup);
        QVERIFY(writeAll(file_, "[S]\nK=0\n"));
        QVERIFY(QFile::setPermissions(file_, QFile::Permissions()));
        QVERIFY(::chmod(QFile::encodeName(file_).constData(), mode_t(mode)) == 0);
        if (oldBackup) {
            QVERIFY(writeAll(file_ + ".bak", "old"));
            QVERIFY(::chmod(QFile::encodeName(file_ + ".bak").constData(), 0644) == 0);
        }
        QVERIFY(IniSettingsBackend(file_).write(App, "S", "K", "1").ok);
        struct stat backup {};
        QVERIFY(::stat(QFile::encodeName(file_ + ".bak").constData(), &backup) == 0);
        QCOMPARE(int(backup.st_mode & 07777), mode);
        QCOMPARE(readAll(file_ + ".bak"), QByteArray("[S]\nK=0\n"));
    }

    // A configuration named "general" in any letter case is a section of its
    // own, not the keys outside every section: it reads back, and a second
    // write finds its section instead of adding another. One written by an
    // earlier version under a plain [general] header is still read.
    void sectionNamedGeneral_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QByteArray>("header");
        QTest::newRow("general") << "general" << QByteArray("[%67eneral]");
        QTest::newRow("GENERAL") << "GENERAL" << QByteArray("[%47ENERAL]");
        QTest::newRow("gEnErAl") << "gEnErAl" << QByteArray("[%67EnErAl]");
        QTest::newRow("General") << "General" << QByteArray("[%General]");
        QTest::newRow("generally (no match)") << "generally" << QByteArray("[generally]");
    }
    void sectionNamedGeneral() {
        QFETCH(QString, section);
        QFETCH(QByteArray, header);
        const QByteArray earlier = ini::Marker + "\nTOP=outside\n[Other]\nK=other\n[" +
                                   section.toUtf8() + "]\nK=earlier\n";
        QVERIFY(writeAll(file_, earlier));
        const bool plainHeaderIsGeneral =
            section.compare("general", Qt::CaseInsensitive) == 0 && section != "General";
        if (plainHeaderIsGeneral)
            QCOMPARE(shown(IniSettingsBackend(file_).read(App, section, "K")), QString("earlier"));
        for (int round = 0; round < 3; ++round)
            QVERIFY(
                IniSettingsBackend(file_)
                    .writeValues(App, section, {{"MainLeft", QString::number(round)}, {"K", "new"}})
                    .ok);
        const QByteArray text = readAll(file_);
        QCOMPARE(text.count(header), 1);
        QCOMPARE(shown(IniSettingsBackend(file_).read(App, section, "MainLeft")), QString("2"));
        QCOMPARE(shown(IniSettingsBackend(file_).read(App, section, "K")), QString("new"));
        QCOMPARE(shown(IniSettingsBackend(file_).read(App, "Other", "K")), QString("other"));
        QVERIFY2(text.contains("TOP=outside\n"), text.constData());
    }

    // "No such key" and "cannot read the store" are different answers.
    void unreadableStore_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("a folder") << "folder";
        QTest::newRow("a FIFO") << "fifo";
        QTest::newRow("a path through a file") << "through";
    }
    void unreadableStore() {
        QFETCH(QString, kind);
        QString path = file_;
        if (kind == "folder")
            QVERIFY(QDir().mkpath(file_));
        else if (kind == "fifo")
            QCOMPARE(QProcess::execute("mkfifo", {file_}), 0);
        else if (writeAll(file_, "[S]\nK=1\n"))
            path = file_ + "/inner.ini";
        IniSettingsBackend store(path);
        const SettingRead read = store.read(App, "S", "K"); // must not block on the FIFO
        QCOMPARE(int(read.state), int(State::Unreadable));
        QVERIFY(!read.problem.isEmpty());
        QVERIFY(!store.write(App, "S", "K", "2").ok);
    }

    // The store cannot be read when the panel starts, and can again by its
    // close: the close must not write its defaults over the user's values,
    // and says what it did not save.
    void unreadableAtStartNotWrittenAtClose() {
        QVERIFY(QDir().mkpath(file_)); // unreadable: a folder stands in its place
        IniSettingsBackend settings(file_);
        tw::test::TestRig rig(App, {.settings = &settings});
        tw::app::MainWindow& window = rig.start();
        tw::app::Diagnostics& diagnostics = rig.diagnostics;
        QVERIFY(!window.storeWasRead());
        QVERIFY(diagnostics.isReported(tw::app::SettingsStore::ReadFailure));
        QVERIFY(window.APP_EXE_NAME_LABEL->toolTip().contains("cannot be read"));

        const QByteArray users = "[TW-CLI-UI]\nMainLeft=3000\nAUTOSTART_TICKBOX=1\n";
        QVERIFY(QDir().rmdir(file_));
        QVERIFY(writeAll(file_, users));
        window.close();
        QCOMPARE(readAll(file_), users);
        QVERIFY(!QFile::exists(file_ + ".bak"));
        QVERIFY2(diagnostics.lastFailure().contains("MainLeft") &&
                     diagnostics.lastFailure().contains("AUTOSTART_TICKBOX"),
                 qPrintable(diagnostics.lastFailure()));
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TestIniStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ini_store.moc"
