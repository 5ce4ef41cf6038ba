// The batch runner, which needs no shell: how a line and a file are taken
// apart (tables), then real batch files run by the real starter: nothing in
// a path or an argument is expanded or run, one command line per file, the
// log opened by the rule of the files the panel writes, a query's client
// that never ends (and what it started, also in a session of its own) is
// ended by finishBatch, a query's output is capped, a stop command is left
// to finish and reaped once it has ended; and the user and alert commands,
// which are the user's own shell text, run once at a time, their output
// told once they have ended.
//
// The tests run in a temporary folder (the current folder too, so that a
// relative `touch pwned` would land there); a copy of sleep under a name of
// its own is counted in /proc to see what still runs.

#include "platform/BatchLine.h"
#include "platform/posix/Posix.h"
#include "tests/support/FileBytes.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <QRegularExpression>
#include <QScopeGuard>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using tw::test::readAll;
using tw::test::writeAll;
using namespace tw::platform;

namespace {

constexpr int Bound = 10000; // ms: the most a started process may take

// The state letter of /proc/PID/stat ('Z' a zombie), 0 when there is no such
// process.
char stateOf(qint64 pid) {
    const QByteArray stat = readAll(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype name = stat.lastIndexOf(')');
    return stat.startsWith('<') || name < 0 || name + 2 >= stat.size() ? 0 : stat[name + 2];
}

} // namespace

class TestRunner : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    QString sleeper_; // a copy of sleep, counted by its name
    ProcProcessTable table_;

    QString path(const QString& name) const { return tmp_.filePath(name); }
    // %T the temporary folder, %S the sleeper.
    QByteArray fill(QByteArray text) const {
        return text.replace("%T", QFile::encodeName(tmp_.path()))
            .replace("%S", QFile::encodeName(sleeper_));
    }
    int sleepers() { return table_.countByImageName(QFileInfo(sleeper_).fileName()).value_or(-1); }
    QStringList pwned() const { return QDir(tmp_.path()).entryList({"pwned*"}); }
    QString batch(const QString& name, const QByteArray& text) const {
        const QString file = path(name);
        return writeAll(file, fill(text)) ? file : QString();
    }
    QString filled(const QString& text) const {
        return QString::fromLocal8Bit(fill(text.toLocal8Bit()));
    }
    // The pid a client or command wrote into `file` in the temporary folder
    // (its sleeper left behind); 0 while there is none.
    qint64 leftPid(const QString& file) const { return readAll(path(file)).trimmed().toLongLong(); }
    // The parent of a process, from /proc/PID/stat.
    static qint64 parentOf(qint64 pid) {
        const QByteArray stat = readAll(QStringLiteral("/proc/%1/stat").arg(pid));
        return stat.mid(stat.lastIndexOf(')') + 4).split(' ').value(0).toLongLong();
    }

    // Where the tests' clients and commands write the pid of what they leave.
    static inline const QStringList PidFiles{"left.pid", "stop.pid", "cmd.pid", "bg.pid"};

private slots:
    void initTestCase() {
        QVERIFY(tmp_.isValid());
        QVERIFY(QDir::setCurrent(tmp_.path()));
        sleeper_ = path(QStringLiteral("tw-sleeper-%1").arg(QCoreApplication::applicationPid()));
        QVERIFY(QFile::copy(QStandardPaths::findExecutable("sleep"), sleeper_));
        QVERIFY(QFile::setPermissions(sleeper_, QFile::permissions(sleeper_) | QFile::ExeOwner));
    }

    void init() {
        for (const QString& file : PidFiles)
            QFile::remove(path(file));
    }

    void cleanup() {
        // A failed row may have left its sleeper: ended here, by its pid and
        // only when that pid still is the sleeper.
        for (const QString& file : PidFiles) {
            const qint64 pid = leftPid(file);
            if (pid > 0 && QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid)) ==
                               QFileInfo(sleeper_).canonicalFilePath())
                ::kill(pid_t(pid), SIGKILL);
        }
        QVERIFY2(pwned().isEmpty(), qPrintable(pwned().join(' ')));
    }

    // One line: the argument vector and the log path, or why it cannot run.
    void splitsLine_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("log");
        QTest::addColumn<QString>("error"); // part of the reason; empty: it splits
        const auto row = [](const char* name, const char* line, QStringList arguments,
                            const char* log, const char* error = "") {
            QTest::newRow(name) << QString::fromUtf8(line) << arguments << QString(log)
                                << QString(error);
        };
        row("as the settings window writes it",
            "call \"/usr/local/bin/bitcoin-cli\" -conf=/home/me/.bitcoin/bitcoin.conf "
            "getblockcount > /home/me/tw/CLI-UI-GBC.LOG",
            {"/usr/local/bin/bitcoin-cli", "-conf=/home/me/.bitcoin/bitcoin.conf", "getblockcount"},
            "/home/me/tw/CLI-UI-GBC.LOG");
        row("quotes group and go, blanks and tabs separate, \"\" is empty",
            "call \"/opt/my node/cli\" \"a  b\"  c\td \"\" e\"f g\"h > /l",
            {"/opt/my node/cli", "a  b", "c", "d", "", "ef gh"}, "/l");
        row("blanks in the log path, to the end of the line",
            "call /x -conf=c stop > /home/my folder/tw dir/CLI-UI-GBC.LOG ",
            {"/x", "-conf=c", "stop"}, "/home/my folder/tw dir/CLI-UI-GBC.LOG ");
        row("quoted log path", "call /x > \"/home/my folder/L.LOG\"", {"/x"},
            "/home/my folder/L.LOG");
        row("$() and backticks taken literally",
            "call \"/srv/$(touch x)/cli\" -conf=/h/`id`/c.conf > /t/$(rm -rf ~)",
            {"/srv/$(touch x)/cli", "-conf=/h/`id`/c.conf"}, "/t/$(rm -rf ~)");
        row("; & | * ~ % ^ < and a bare > taken literally",
            "call /x a;b c&d e|f * ~ %PATH% ^ < a>b 2>&1 > /l",
            {"/x", "a;b", "c&d", "e|f", "*", "~", "%PATH%", "^", "<", "a>b", "2>&1"}, "/l");
        row("backslashes are literal", "call C:\\bin\\cli.exe \"dir\\\" x > C:\\log",
            {"C:\\bin\\cli.exe", "dir\\", "x"}, "C:\\log");
        row("call in other letter case", "CaLl /x y > /l", {"/x", "y"}, "/l");
        row("no call", "/x y > /l", {"/x", "y"}, "/l");
        row("blanks before call, a tab after it", "  call\t/x", {"/x"}, "");
        row("call as part of a word is the program", "caller /x", {"caller", "/x"}, "");
        row("no log", "call /x y", {"/x", "y"}, "");
        row("\" > \" inside quotes is an argument", "call /x \"a > b\" > /l", {"/x", "a > b"},
            "/l");
        row("the last \" > \" outside quotes takes the log", "call /x a > b > /l c",
            {"/x", "a", ">", "b"}, "/l c");
        row("a quoted log path holding \" > \"", "call /x > \"/l > m\"", {"/x"}, "/l > m");
        row("unclosed quote", "call \"/x y > /l", {}, "", "not closed");
        row("unclosed quote in the log path", "call /x > \"/l", {}, "", "no closing quote");
        row("empty line", "", {}, "", "no command");
        row("blanks only", " \t ", {}, "", "no command");
        row("call alone", "call", {}, "", "no command");
        row("a log but no command", "call > /l", {}, "", "no command");
        row("nothing after the \" > \"", "call /x > ", {}, "", "no log path");
        row("empty program name", "\"\" x > /l", {}, "", "name is empty");
    }
    void splitsLine() {
        QFETCH(QString, line);
        QFETCH(QStringList, arguments);
        QFETCH(QString, log);
        QFETCH(QString, error);
        const BatchCommand command = splitBatchLine(line);
        QVERIFY2(error.isEmpty() ? command.ok() : command.error.contains(error),
                 qPrintable(command.error));
        QCOMPARE(command.arguments, error.isEmpty() ? arguments : QStringList());
        QCOMPARE(command.logPath, log);
    }

    // A whole file: line ends, blank lines, one command line only.
    void splitsFile_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("log");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("skipped");
        QTest::newRow("CR LF") << "call /x a > /l\r\n"
                               << QStringList{"/x", "a"} << "/l"
                               << ""
                               << "";
        QTest::newRow("no line end") << "call /x a > /l" << QStringList{"/x", "a"} << "/l"
                                     << ""
                                     << "";
        QTest::newRow("one CR dropped, not two") << "call /x > /l\r\r\n"
                                                 << QStringList{"/x"} << "/l\r"
                                                 << ""
                                                 << "";
        QTest::newRow("blank lines around the command") << "\r\n  \r\n\tcall /x\r\n\r\n \n"
                                                        << QStringList{"/x"} << ""
                                                        << ""
                                                        << "";
        QTest::newRow("further lines not run") << "call /x\r\ncall /y\r\n\r\ncall /z\r\n"
                                               << QStringList{"/x"} << ""
                                               << ""
                                               << "2 further lines not run (the first is line 2)";
        QTest::newRow("one further line after a blank one")
            << "\r\ncall /x > /l\r\n\r\nrm -rf ~" << QStringList{"/x"} << "/l"
            << ""
            << "1 further line not run (the first is line 4)";
        QTest::newRow("empty file") << "" << QStringList() << ""
                                    << "no command line in the file"
                                    << "";
        QTest::newRow("first line cannot be split") << "\r\ncall \"/x\r\n"
                                                    << QStringList() << ""
                                                    << "line 2: a double quote is not closed"
                                                    << "";
    }
    void splitsFile() {
        QFETCH(QString, text);
        QFETCH(QStringList, arguments);
        QFETCH(QString, log);
        QFETCH(QString, error);
        QFETCH(QString, skipped);
        const BatchCommand command = batchFileCommand(text);
        QVERIFY2(error.isEmpty() ? command.ok() : command.error == error,
                 qPrintable(command.error));
        QCOMPARE(command.arguments, arguments);
        QCOMPARE(command.logPath, log);
        QVERIFY2(skipped.isEmpty() ? command.skipped.isEmpty()
                                   : command.skipped.startsWith(skipped),
                 qPrintable(command.skipped));
    }

    // Real batch files through the real starter. `pwned*` files would mean
    // that something was run by a shell (checked after every row).
    void runsWithoutShell_data() {
        QTest::addColumn<QByteArray>("text");    // the batch file; null: there is none
        QTest::addColumn<QString>("log");        // in the temporary folder
        QTest::addColumn<QByteArray>("content"); // null: the log must not exist
        QTest::addColumn<QString>("error");      // part of the start's error; empty: it runs
        QTest::addColumn<QString>("skipped");    // part of what was not run
        const QString odd = "cli $(touch pwned1) `touch pwned2`";
        QVERIFY(QDir(tmp_.path()).mkpath(odd) && QDir(tmp_.path()).mkpath("log dir"));
        QVERIFY(QFile::copy(QStandardPaths::findExecutable("echo"), path(odd + "/echo")));
        QVERIFY(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600) == 0);

        QTest::newRow("$(), backticks, ; & | * ~ in the client's path, arguments and log")
            << QByteArray("call \"%T/cli $(touch pwned1) `touch pwned2`/echo\" \"$(touch pwned3)\" "
                          "`touch pwned4` ; touch pwned5 & touch pwned6 | touch pwned7 * ~ > "
                          "%T/out $(touch pwned8).log\r\n")
            << "out $(touch pwned8).log"
            << QByteArray("$(touch pwned3) `touch pwned4` ; touch pwned5 & touch pwned6 | touch "
                          "pwned7 * ~\n")
            << ""
            << "";
        QTest::newRow("quoted log path with blanks")
            << QByteArray("call \"/bin/echo\" a  \"b  c\" > \"%T/log dir/q.log\"\r\n")
            << "log dir/q.log" << QByteArray("a b  c\n") << ""
            << "";
        QVERIFY(writeAll(path("log dir/fake cli.sh"), "#!/bin/sh\nprintf '%s|' \"$@\"\necho\n"));
        QVERIFY(QFile::setPermissions(path("log dir/fake cli.sh"),
                                      QFile::permissions(path("log dir/fake cli.sh")) |
                                          QFile::ExeOwner));
        QTest::newRow("a client script in a folder with blanks, the log bare with blanks")
            << QByteArray("call \"%T/log dir/fake cli.sh\" -conf=x getblockcount > %T/log "
                          "dir/s.log\r\n")
            << "log dir/s.log" << QByteArray("-conf=x|getblockcount|\n") << ""
            << "";
        QTest::newRow("a bare program name is looked up in PATH")
            << QByteArray("CALL echo hi > %T/path.log\r\n") << "path.log" << QByteArray("hi\n")
            << ""
            << "";
        QTest::newRow("stdin on /dev/null, stdout into the log, stderr not")
            << QByteArray("call /bin/sh -c \"cat; echo err >&2; echo out\" > %T/std.log\r\n")
            << "std.log" << QByteArray("out\n") << ""
            << "";
        QTest::newRow("a second non-empty line is reported and not run")
            << QByteArray("call \"/bin/echo\" one > %T/one.log\r\n\r\n"
                          "call \"/bin/sh\" -c \"touch pwned9\" > %T/two.log\r\n")
            << "one.log" << QByteArray("one\n") << ""
            << "1 further line not run";
        QTest::newRow("unclosed quote: not run")
            << QByteArray("call \"/bin/sh -c \"touch pwned10\" > %T/u.log\r\n") << "u.log"
            << QByteArray() << "line 1: a double quote is not closed"
            << "";
        QTest::newRow("log that cannot be opened: not run")
            << QByteArray("call /bin/sh -c \"touch pwned11\" > %T/no folder/x.log\r\n")
            << "no folder/x.log" << QByteArray() << "cannot be opened"
            << "";
        QTest::newRow("log is a FIFO without a reader: not run, no hang")
            << QByteArray("call /bin/sh -c \"touch pwned12\" > %T/fifo\r\n") << "fifo"
            << QByteArray("<fifo>") << "cannot be opened"
            << "";
        QTest::newRow("program missing") << QByteArray("call \"%T/nothing\" > %T/m.log\r\n")
                                         << "m.log" << QByteArray("") << "cannot start"
                                         << "";
        QTest::newRow("no batch file")
            << QByteArray() << "none.log" << QByteArray() << "batch file missing"
            << "";
        QTest::newRow("batch file over 64 KiB")
            << QByteArray("call /bin/sh -c \"touch pwned13\" > %T/big.log\r\n") +
                   QByteArray(64 * 1024, ' ')
            << "big.log" << QByteArray() << "larger than 64 KiB"
            << "";
    }
    void runsWithoutShell() {
        QFETCH(QByteArray, text);
        QFETCH(QString, log);
        QFETCH(QByteArray, content);
        QFETCH(QString, error);
        QFETCH(QString, skipped);
        const QString file = text.isNull() ? path("none.BAT") : batch("run.BAT", text);
        QVERIFY(!file.isEmpty());
        PosixProcessStarter starter;
        const BatchStart start = starter.startBatchFile(file, BatchKind::Query);
        QVERIFY2(error.isEmpty() ? start.result.ok : start.result.error.contains(error),
                 qPrintable(start.result.error));
        QCOMPARE(start.id != 0, error.isEmpty());
        QVERIFY2(skipped.isEmpty() ? start.skipped.isEmpty() : start.skipped.contains(skipped),
                 qPrintable(start.skipped));
        if (content == "<fifo>")
            QVERIFY(QFileInfo(path(log)).isFile() == false);
        else if (content.isNull())
            QVERIFY(!QFile::exists(path(log)));
        else
            QTRY_COMPARE_WITH_TIMEOUT(readAll(path(log)), content, Bound);
        QVERIFY(!QFile::exists(path("two.log"))); // a second line never runs
        if (start.id)
            QTRY_COMPARE_WITH_TIMEOUT(stateOf(starter.processId(start.id)), 'Z', Bound);
    }

    // The log is written by the rule of every file the panel writes for
    // others: a symbolic link only when it is the user's own (another user's
    // link in a shared folder must not point the answer at a file of that
    // user's choice), nothing but a regular file, a FIFO or a new file. A
    // refused log is the batch's start failure and the client does not run.
    // "theirs" links belong to uid 65534: as root the test gives them away
    // with lchown (the decision itself is tested through writeFollowsLink).
    void logFollowsOnlyTrustedLinks_data() {
        QTest::addColumn<QString>("setup");     // what is at links/CLI-UI-GBC.LOG
        QTest::addColumn<QByteArray>("client"); // the batch line before " > "
        QTest::addColumn<QString>("error");     // the start's error (%L the log); empty: it runs
        QTest::addColumn<QString>("answerAt");  // where the answer lands; "fifo": the FIFO's reader
        const QByteArray intruder = "call /bin/sh -c \"touch %T/pwned-ran; echo 812345\"";
        const QByteArray echo = "call /bin/echo 812345";
        QTest::newRow("the user's own link: followed") << "mine:LOG -> links/mine.txt" << echo << ""
                                                       << "links/mine.txt";
        QTest::newRow("another user's link: refused, the client not run")
            << "theirs:LOG -> victim.txt" << intruder
            << "log file %L is a symbolic link owned by another user; not run"
            << "";
        QTest::newRow("the user's own link to another user's link: refused")
            << "mine:LOG -> links/other, theirs:other -> victim.txt" << intruder
            << "log file %L leads to %T/links/other, a symbolic link owned by another user; "
               "not run"
            << "";
        QTest::newRow("the user's own link to a device: refused")
            << "mine:LOG -> /dev/null" << intruder
            << "log file %L (by its links: /dev/null) is a character device, not a file; not run"
            << "";
        QTest::newRow("a folder: refused")
            << "folder" << intruder << "log file %L is a folder, not a file; not run"
            << "";
        QTest::newRow("the user's own link to no file yet: the file is made")
            << "mine:LOG -> links/new.txt" << echo << ""
            << "links/new.txt";
        QTest::newRow("a FIFO with a reader: written, as ever") << "fifo" << echo << ""
                                                                << "fifo";
        QTest::newRow("an old answer in a plain file: replaced") << "file" << echo << ""
                                                                 << "links/CLI-UI-GBC.LOG";
    }
    void logFollowsOnlyTrustedLinks() {
        QFETCH(QString, setup);
        QFETCH(QByteArray, client);
        QFETCH(QString, error);
        QFETCH(QString, answerAt);
        if (setup.contains("theirs") && ::geteuid() != 0)
            QSKIP("giving a link to another user needs root");
        QDir links(path("links"));
        QVERIFY(links.removeRecursively() && QDir(tmp_.path()).mkpath("links"));
        const QString log = path("links/CLI-UI-GBC.LOG");
        const QByteArray victim = "someone else's file\n";
        QVERIFY(writeAll(path("victim.txt"), victim));
        // "owner:name -> target": a link of the user's own ("mine") or of uid
        // 65534 ("theirs") in the links folder, LOG being the log itself.
        for (const QString& link : setup.split(", ")) {
            const QStringList parts = link.split(QRegularExpression(":| -> "));
            if (parts.size() != 3)
                continue;
            const QString at = parts[1] == "LOG" ? log : links.filePath(parts[1]);
            const QString to = parts[2].startsWith('/') ? parts[2] : path(parts[2]);
            QVERIFY(QFile::link(to, at));
            if (parts[0] == "theirs")
                QVERIFY(::lchown(QFile::encodeName(at).constData(), 65534, 65534) == 0);
        }
        if (setup == "folder")
            QVERIFY(links.mkdir("CLI-UI-GBC.LOG"));
        if (setup == "file")
            QVERIFY(writeAll(log, "700000\r\n and more than the answer"));
        int reader = -1;
        if (setup == "fifo") {
            QVERIFY(::mkfifo(QFile::encodeName(log).constData(), 0600) == 0);
            reader = ::open(QFile::encodeName(log).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            QVERIFY(reader >= 0);
        }
        const auto closeReader = qScopeGuard([reader] {
            if (reader >= 0)
                ::close(reader);
        });

        PosixProcessStarter starter;
        const BatchStart start = starter.startBatchFile(
            batch("GBC.BAT", client + " > " + QFile::encodeName(log) + "\r\n"), BatchKind::Query);
        const QString expected = QString(error).replace("%L", log).replace("%T", tmp_.path());
        QCOMPARE(start.result.error, expected);
        QCOMPARE(start.id != 0, error.isEmpty());
        if (start.id)
            QTRY_COMPARE_WITH_TIMEOUT(stateOf(starter.processId(start.id)), 'Z', Bound);
        if (answerAt == "fifo") {
            char answer[64] = {};
            QCOMPARE(::read(reader, answer, sizeof answer - 1), ssize_t(7));
            QCOMPARE(QByteArray(answer), QByteArray("812345\n"));
        } else if (!answerAt.isEmpty()) {
            QCOMPARE(readAll(path(answerAt)), QByteArray("812345\n"));
        }
        QCOMPARE(readAll(path("victim.txt")), victim);
        QCOMPARE(starter.finishBatch(start.id).ended, QString());
    }

    // A query's client that does not end by itself is ended by finishBatch,
    // with what it started; its process is reaped, and finishBatch says what
    // it had to end.
    void finishBatchEndsWhatStillRuns_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("sleepers"); // running before finishBatch
        QTest::addColumn<bool>("ended");   // the client itself ends before finishBatch
        QTest::addColumn<QString>("said"); // part of finishBatch's answer (%A our pid, %P the
                                           // client's); empty: nothing
        QTest::newRow("a client that never ends")
            << QByteArray("call \"%S\" 1000 > %T/e.log") << 1 << false
            << "sleeper-%A\" (pid %P) was still running: ended";
        QTest::newRow("a client that started a child of its own")
            << QByteArray("call \"/bin/sh\" -c \"%S 1000 & %S 1000; echo\" > %T/e.log") << 2
            << false << "\"/bin/sh\" (pid %P) and 2 processes it started were still running: ended";
        QTest::newRow("a client that ignores SIGTERM")
            << QByteArray("call /bin/sh -c \"trap '' TERM; %S 1000; echo\" > %T/e.log") << 1
            << false
            << "\"/bin/sh\" (pid %P) and 1 process it started were still running: "
               "killed (SIGTERM was not enough)";
        QTest::newRow("a child left behind by a client that has ended")
            << QByteArray("call /bin/sh -c \"%S 1000 &\" > %T/e.log") << 1 << true
            << "1 process that \"/bin/sh\" (pid %P) started was still running: ended";
        QTest::newRow("a client that has finished: nothing to say")
            << QByteArray("call /bin/echo done > %T/e.log") << 0 << true << "";
    }
    void finishBatchEndsWhatStillRuns() {
        QFETCH(QByteArray, line);
        QFETCH(int, sleepers);
        QFETCH(bool, ended);
        QFETCH(QString, said);
        PosixProcessStarter starter;
        const BatchStart start =
            starter.startBatchFile(batch("GBC.BAT", line + "\r\n"), BatchKind::Query);
        QVERIFY2(start.result.ok, qPrintable(start.result.error));
        const qint64 pid = starter.processId(start.id);
        QVERIFY(pid > 0);
        QTRY_COMPARE_WITH_TIMEOUT(this->sleepers(), sleepers, Bound);
        if (ended)
            QTRY_COMPARE_WITH_TIMEOUT(stateOf(pid), 'Z', Bound);
        else
            QVERIFY(stateOf(pid) != 'Z' && stateOf(pid) != 0);

        const QString answer = starter.finishBatch(start.id).ended;
        if (said.isEmpty())
            QCOMPARE(answer, QString());
        else
            QVERIFY2(answer.contains(
                         said.replace("%A", QString::number(QCoreApplication::applicationPid()))
                             .replace("%P", QString::number(pid))),
                     qPrintable(answer));
        QCOMPARE(this->sleepers(), 0);
        QCOMPARE(starter.processId(start.id), 0); // reaped: no zombie left
        QCOMPARE(stateOf(pid), char(0));
        QCOMPARE(starter.finishBatch(start.id).ended, QString()); // once only
    }

    // A stop command is never ended by the starter, but reaped once it has
    // ended by itself; endQueries and the destructor end the queries' clients.
    void stopBatchIsLeftToFinishAndReaped() {
        const QString go = path("go");
        auto starter = std::make_unique<PosixProcessStarter>();
        const BatchStart stop = starter->startBatchFile(
            batch("STOP.BAT", "call /bin/sh -c \"until [ -e %T/go ]; do sleep 0.02; done\" > "
                              "%T/stop.log\r\n"),
            BatchKind::Stop);
        const BatchStart query = starter->startBatchFile(
            batch("GBC.BAT", "call \"%S\" 1000 > %T/q.log\r\n"), BatchKind::Query);
        QVERIFY(stop.result.ok && query.result.ok && stop.id != query.id);
        const qint64 stopPid = starter->processId(stop.id), queryPid = starter->processId(query.id);
        QVERIFY(stopPid > 0 && queryPid > 0);
        QTRY_VERIFY_WITH_TIMEOUT(stateOf(queryPid) == 'S', Bound);

        QCOMPARE(starter->finishBatch(stop.id).ended, QString());
        starter->endQueries();
        QCOMPARE(stateOf(queryPid), char(0)); // ended and reaped
        QVERIFY(stateOf(stopPid) != 0 && stateOf(stopPid) != 'Z');

        // It ends by itself and is reaped (its pidfd says when, on the
        // event loop): no zombie stays.
        QVERIFY(writeAll(go, ""));
        QTRY_COMPARE_WITH_TIMEOUT(starter->processId(stop.id), 0, Bound);
        QCOMPARE(stateOf(stopPid), char(0));
        const BatchStart other = starter->startBatchFile(
            batch("GCC.BAT", "call \"%S\" 1000 > %T/q.log\r\n"), BatchKind::Query);
        QVERIFY(other.result.ok);

        // The destructor ends what the queries left.
        const qint64 otherPid = starter->processId(other.id);
        QTRY_COMPARE_WITH_TIMEOUT(sleepers(), 1, Bound);
        starter.reset();
        QCOMPARE(sleepers(), 0);
        QCOMPARE(stateOf(otherPid), char(0));
    }

    // What a query's client leaves behind outside its process group (a
    // session of its own, a double fork) re-parents to the panel, which is a
    // child subreaper, and is ended with the query, then reaped: it is no
    // longer left running after the panel, one more each cycle.
    void queryLeftoversAreEnded_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("endedBy"); // finishBatch, endQueries, the destructor
        QTest::addColumn<QString>("said");    // part of finishBatch's answer: %N the
                                              // sleeper's name, %L its pid, %P the client's
        const QByteArray setsid =
            "call /bin/sh -c \"setsid %S 1000 & echo $! > %T/left.pid\" > %T/e.log";
        const QString outside =
            "1 process left behind outside a query's process group (\"%N\" pid %L) was still "
            "running: ";
        QTest::newRow("a child in a session of its own")
            << setsid << "finishBatch" << outside + "ended";
        QTest::newRow("a double fork into a session of its own")
            << QByteArray("call /bin/sh -c \"(setsid %S 1000 & echo $! > %T/left.pid); echo\" > "
                          "%T/e.log")
            << "finishBatch" << outside + "ended";
        QTest::newRow("one in a session of its own that ignores SIGTERM")
            << QByteArray("call /bin/sh -c \"trap '' TERM; setsid %S 1000 & echo $! > "
                          "%T/left.pid\" > %T/e.log")
            << "finishBatch" << outside + "killed (SIGTERM was not enough)";
        QTest::newRow("a double fork that stays in the group: ended with it, no zombie left")
            << QByteArray("call /bin/sh -c \"(%S 1000 & echo $! > %T/left.pid); echo\" > %T/e.log")
            << "finishBatch"
            << "1 process that \"/bin/sh\" (pid %P) started was still running: ended";
        QTest::newRow("ended by endQueries when the panel closes") << setsid << "endQueries"
                                                                   << "";
        QTest::newRow("ended by the starter's end") << setsid << "the destructor"
                                                    << "";
    }
    void queryLeftoversAreEnded() {
        QFETCH(QByteArray, line);
        QFETCH(QString, endedBy);
        QFETCH(QString, said);
        auto starter = std::make_unique<PosixProcessStarter>();
        const BatchStart start =
            starter->startBatchFile(batch("GBC.BAT", line + "\r\n"), BatchKind::Query);
        QVERIFY2(start.result.ok, qPrintable(start.result.error));
        const qint64 client = starter->processId(start.id);
        QTRY_VERIFY_WITH_TIMEOUT(leftPid("left.pid") > 0, Bound);
        const qint64 left = leftPid("left.pid");
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(client), 'Z', Bound); // the client itself has ended
        QTRY_COMPARE_WITH_TIMEOUT(sleepers(), 1, Bound);

        QString answer;
        if (endedBy == "finishBatch")
            answer = starter->finishBatch(start.id).ended;
        else if (endedBy == "endQueries")
            starter->endQueries();
        else
            starter.reset();
        QVERIFY2(answer.contains(QString(said)
                                     .replace("%N", QFileInfo(sleeper_).fileName().left(15))
                                     .replace("%L", QString::number(left))
                                     .replace("%P", QString::number(client))),
                 qPrintable(answer));
        QCOMPARE(sleepers(), 0);
        QCOMPARE(stateOf(left), char(0)); // reaped: no zombie
        QCOMPARE(stateOf(client), char(0));
    }

    // A stop command's processes are left to finish, even in a session of
    // their own, and so are the user's command's: no query's end touches
    // them. Once they end, the starter's next call reaps them.
    void stopAndCommandLeftoversAreLeftAlone() {
        PosixProcessStarter starter;
        const BatchStart stop = starter.startBatchFile(
            batch("STOP.BAT",
                  "call /bin/sh -c \"setsid %S 1000 & echo $! > %T/stop.pid\" > %T/stop.log\r\n"),
            BatchKind::Stop);
        QVERIFY2(stop.result.ok, qPrintable(stop.result.error));
        const qint64 stopClient = starter.processId(stop.id);
        QVERIFY(starter
                    .startUserCommand(filled("setsid '%S' 1000 & echo $! > '%T/cmd.pid'"),
                                      "user command")
                    .ok);
        QTRY_VERIFY_WITH_TIMEOUT(leftPid("stop.pid") > 0 && leftPid("cmd.pid") > 0, Bound);
        const qint64 stopLeft = leftPid("stop.pid"), commandLeft = leftPid("cmd.pid");
        QTRY_COMPARE_WITH_TIMEOUT(starter.commandProcessId("user command"), 0, Bound);
        // The stop command's client has ended (a zombie, or reaped already).
        QTRY_VERIFY_WITH_TIMEOUT(stateOf(stopClient) == 'Z' || stateOf(stopClient) == 0, Bound);
        QTRY_COMPARE_WITH_TIMEOUT(sleepers(), 2, Bound);
        // Both re-parented to the panel, not to init.
        QCOMPARE(parentOf(stopLeft), qint64(QCoreApplication::applicationPid()));
        QCOMPARE(parentOf(commandLeft), qint64(QCoreApplication::applicationPid()));

        const BatchStart query = starter.startBatchFile(
            batch("GBC.BAT", "call /bin/echo 812345 > %T/q.log\r\n"), BatchKind::Query);
        QVERIFY(query.result.ok);
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(starter.processId(query.id)), 'Z', Bound);
        QCOMPARE(starter.finishBatch(query.id).ended, QString());
        starter.endQueries();
        QCOMPARE(sleepers(), 2);

        // They end (here: the test ends them): zombies of the panel's until
        // the starter's next call.
        QVERIFY(::kill(pid_t(stopLeft), SIGTERM) == 0 && ::kill(pid_t(commandLeft), SIGTERM) == 0);
        QTRY_VERIFY_WITH_TIMEOUT(stateOf(stopLeft) == 'Z' && stateOf(commandLeft) == 'Z', Bound);
        starter.endQueries();
        QCOMPARE(stateOf(stopLeft), char(0));
        QCOMPARE(stateOf(commandLeft), char(0));
    }

    // A query's client may write 1 MiB into a file (RLIMIT_FSIZE): one that
    // writes without end dies of SIGXFSZ, or gets EFBIG where it ignores
    // that signal; the log stays at 1 MiB, and finishBatch says so.
    void queryOutputIsCapped_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("a client that writes without end")
            << QByteArray("call \"" + QFile::encodeName(QStandardPaths::findExecutable("yes")) +
                          "\" > %T/yes.log");
        QTest::newRow("one that ignores SIGXFSZ and gets EFBIG")
            << QByteArray("call /bin/sh -c \"trap '' XFSZ; yes\" > %T/yes.log");
    }
    void queryOutputIsCapped() {
        QFETCH(QByteArray, line);
        constexpr qint64 Most = PosixProcessStarter::MaxQueryOutputBytes;
        PosixProcessStarter starter;
        const BatchStart start =
            starter.startBatchFile(batch("GBC.BAT", line + "\r\n"), BatchKind::Query);
        QVERIFY2(start.result.ok, qPrintable(start.result.error));
        const QString log = path("yes.log");
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(log).size() >= Most, Bound);
        const QString answer = starter.finishBatch(start.id).ended;
        QVERIFY2(answer.contains("reached 1 MiB, the most a query may write, and was cut"),
                 qPrintable(answer));
        QCOMPARE(QFileInfo(log).size(), Most);
        QVERIFY(readAll(log).startsWith("y\ny\n"));
    }

    // finishBatch says how the query's client ended: its exit status, or
    // the signal it died of (the one it had to be ended with), and the first
    // 4 KiB of what it wrote on stderr, which never holds the client up.
    void finishBatchTellsTheClientsEnd_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("before"); // "end": the client ends first; "sleeper": it runs one
        QTest::addColumn<int>("status");     // -1: none
        QTest::addColumn<QString>("signal");
        QTest::addColumn<QByteArray>("errors");
        QTest::addColumn<QString>("said"); // part of `ended`; empty: it is empty
        QTest::newRow("it says why and exits 1")
            << QByteArray("call /bin/sh -c \"echo 'error: Could not connect to the server "
                          "127.0.0.1:8332' >&2; echo 'error code: -1' >&2; exit 1\" > %T/e.log")
            << "end" << 1 << ""
            << QByteArray("error: Could not connect to the server 127.0.0.1:8332\n"
                          "error code: -1\n")
            << "";
        QTest::newRow("100 KiB on stderr: never blocks, the first 4 KiB kept")
            << QByteArray("call /bin/sh -c \"head -c 102400 /dev/zero | tr '\\000' e >&2; echo "
                          "done\" > %T/e.log")
            << "end" << 0 << "" << QByteArray(4096, 'e') << "";
        QTest::newRow("an answer and nothing on stderr")
            << QByteArray("call /bin/echo 812345 > %T/e.log") << "end" << 0 << "" << QByteArray()
            << "";
        QTest::newRow("still running: ended by finishBatch")
            << QByteArray("call /bin/sh -c \"echo going >&2; %S 1000; echo\" > %T/e.log")
            << "sleeper" << -1 << "SIGTERM" << QByteArray("going\n")
            << "and 1 process it started were still running: ended";
        QTest::newRow("ignores SIGTERM: killed")
            << QByteArray("call /bin/sh -c \"trap '' TERM; %S 1000; echo\" > %T/e.log") << "sleeper"
            << -1 << "SIGKILL" << QByteArray()
            << "were still running: killed (SIGTERM was not enough)";
        QTest::newRow("died of SIGXFSZ by itself at the file size limit")
            << QByteArray("call \"" + QFile::encodeName(QStandardPaths::findExecutable("yes")) +
                          "\" > %T/yes.log")
            << "end" << -1 << "SIGXFSZ" << QByteArray()
            << "reached 1 MiB, the most a query may write, and was cut";
    }
    void finishBatchTellsTheClientsEnd() {
        QFETCH(QByteArray, line);
        QFETCH(QString, before);
        QFETCH(int, status);
        QFETCH(QString, signal);
        QFETCH(QByteArray, errors);
        QFETCH(QString, said);
        PosixProcessStarter starter;
        const BatchStart start =
            starter.startBatchFile(batch("GBC.BAT", line + "\r\n"), BatchKind::Query);
        QVERIFY2(start.result.ok, qPrintable(start.result.error));
        const qint64 pid = starter.processId(start.id);
        if (before == "end")
            QTRY_COMPARE_WITH_TIMEOUT(stateOf(pid), 'Z', Bound);
        else
            QTRY_COMPARE_WITH_TIMEOUT(sleepers(), 1, Bound);
        const BatchEnd end = starter.finishBatch(start.id);
        QCOMPARE(end.exitStatus, status < 0 ? std::nullopt : std::optional<int>(status));
        QCOMPARE(end.signal, signal);
        QCOMPARE(end.errorOutput, errors);
        QVERIFY2(said.isEmpty() ? end.ended.isEmpty() : end.ended.contains(said),
                 qPrintable(end.ended));
        QCOMPARE(stateOf(pid), char(0));
        QCOMPARE(sleepers(), 0);
        // Asked once: a second answer has nothing.
        const BatchEnd again = starter.finishBatch(start.id);
        QVERIFY(!again.exitStatus && again.signal.isEmpty() && again.errorOutput.isEmpty());
    }

    // A stop batch is never finished by its caller: once it has ended, a
    // non-zero status, a signal or words on stderr are told to the output
    // handler, once, in one line.
    void stopBatchFailureIsTold_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("told"); // empty: nothing
        QTest::newRow("exits 1 and says why")
            << QByteArray("call /bin/sh -c \"echo 'error: Could not connect to the server "
                          "127.0.0.1:8332' >&2; exit 1\" > %T/stop.log")
            << "stop command \"/bin/sh\" exited with status 1 and said \"error: Could not "
               "connect to the server 127.0.0.1:8332\"";
        QTest::newRow("says something and exits 0: lines and control characters on one line")
            << QByteArray("call /bin/sh -c \"printf 'a\\tb\\007\\nc\\n' >&2\" > %T/stop.log")
            << "stop command \"/bin/sh\" exited with status 0 and said \"a b  | c\"";
        QTest::newRow("more than 4 KiB")
            << QByteArray("call /bin/sh -c \"head -c 10000 /dev/zero | tr '\\000' e >&2; exit 2\" "
                          "> %T/stop.log")
            << "stop command \"/bin/sh\" exited with status 2 and "
               "said \"" +
                   QString(4096, 'e') + "\" (5904 more bytes not kept)";
        QTest::newRow("dies of a signal, silent")
            << QByteArray("call /bin/sh -c \"kill -KILL $$\" > %T/stop.log")
            << "stop command \"/bin/sh\" died of SIGKILL";
        QTest::newRow("exits 0, silent: nothing to tell")
            << QByteArray("call /bin/echo stopping > %T/stop.log") << "";
    }
    void stopBatchFailureIsTold() {
        QFETCH(QByteArray, line);
        QFETCH(QString, told);
        PosixProcessStarter starter;
        QStringList lines;
        starter.setOutputHandler(
            [&lines](const QString& from, const QString& text) { lines << from + ": " + text; });
        const BatchStart stop =
            starter.startBatchFile(batch("STOP.BAT", line + "\r\n"), BatchKind::Stop);
        QVERIFY2(stop.result.ok, qPrintable(stop.result.error));
        const qint64 pid = starter.processId(stop.id);
        QTRY_COMPARE_WITH_TIMEOUT(starter.processId(stop.id), 0, Bound); // reaped once it ended
        QCOMPARE(stateOf(pid), char(0));
        const QStringList expected =
            told.isEmpty() ? QStringList() : QStringList{"stop command: " + told};
        QCOMPARE(lines, expected);
        starter.endQueries(); // a later call tells nothing more
        QCOMPARE(lines, expected);
        QCOMPARE(starter.finishBatch(stop.id).ended, QString()); // its caller never finishes it
    }

    // A program started directly: its arguments as given (no shell), a
    // bare name found in PATH, stdin empty, stdout and stderr read as they
    // come; ended (with what it started) after its time or once it has
    // written more than its maximum; `done` once, on the event loop.
    void runProgram_data() {
        QTest::addColumn<QString>("program"); // %S the sleeper, %T the temporary folder
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<qint64>("maxOutput");
        QTest::addColumn<QString>("error"); // part of the failure; empty: it succeeds
        QTest::addColumn<int>("status");    // -1: none
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QByteArray>("errors");
        QTest::addColumn<bool>("timedOut");
        QTest::addColumn<bool>("outputCut");
        QTest::addColumn<int>("mostMs"); // `done` comes within this time
        const QString sh = "/bin/sh";
        QTest::newRow("arguments as given, a bare name found in PATH")
            << "printf" << QStringList{"%s|", "a b", "$(touch pwned1)", "", "`touch pwned2`;*"}
            << 5000 << qint64(1000) << "" << 0
            << QByteArray("a b|$(touch pwned1)||`touch pwned2`;*|") << QByteArray() << false
            << false << 5000;
        QTest::newRow("stdin is empty") << "cat" << QStringList() << 5000 << qint64(1000) << "" << 0
                                        << QByteArray() << QByteArray() << false << false << 5000;
        QTest::newRow("non-zero exit, words on stderr")
            << sh << QStringList{"-c", "echo out; echo 'error: no such wallet' >&2; exit 3"} << 5000
            << qint64(1000) << "" << 3 << QByteArray("out\n")
            << QByteArray("error: no such wallet\n") << false << false << 5000;
        QTest::newRow("100 KiB on stderr: never blocks, the first 4 KiB kept")
            << sh << QStringList{"-c", "head -c 102400 /dev/zero | tr '\\000' e >&2; echo done"}
            << 5000 << qint64(1000) << "" << 0 << QByteArray("done\n") << QByteArray(4096, 'e')
            << false << false << 5000;
        QTest::newRow("output exactly the maximum")
            << "head" << QStringList{"-c", "1000", "/dev/zero"} << 5000 << qint64(1000) << "" << 0
            << QByteArray(1000, '\0') << QByteArray() << false << false << 5000;
        QTest::newRow("output over the maximum: ended, cut")
            << "yes" << QStringList() << 5000 << qint64(1000)
            << "\"yes\" wrote more than 1000 bytes on its standard output: ended" << -1
            << QByteArray("y\n").repeated(500) << QByteArray() << false << true << 3000;
        QTest::newRow("missing program (a path)")
            << "%T/nothing" << QStringList() << 5000 << qint64(1000)
            << "cannot start \"%T/nothing\": No such file or directory" << -1 << QByteArray()
            << QByteArray() << false << false << 1000;
        QTest::newRow("missing program (a bare name)")
            << "tw-no-such-program" << QStringList() << 5000 << qint64(1000)
            << "cannot start \"tw-no-such-program\"" << -1 << QByteArray() << QByteArray() << false
            << false << 1000;
        QTest::newRow("time up: ended") << "%S" << QStringList{"1000"} << 300 << qint64(1000)
                                        << "was still running after 300 ms: ended" << -1
                                        << QByteArray() << QByteArray() << true << false << 2000;
        QTest::newRow("time up, SIGTERM ignored: killed")
            << sh << QStringList{"-c", "trap '' TERM; echo going; %S 1000"} << 300 << qint64(1000)
            << "was still running after 300 ms: ended" << -1 << QByteArray("going\n")
            << QByteArray() << true << false << 2000;
        QTest::newRow("a sleeper it started keeps the pipe open: ended with it")
            << sh << QStringList{"-c", "%S 1000 & echo started"} << 5000 << qint64(1000) << "" << 0
            << QByteArray("started\n") << QByteArray() << false << false << 3000;
        QTest::newRow("a sleeper in a session of its own: found by its mark and ended")
            << sh
            << QStringList{"-c", "setsid %S 1000 & echo $! > %T/left.pid; sleep 0.2; echo "
                                 "started"}
            << 5000 << qint64(1000) << "" << 0 << QByteArray("started\n") << QByteArray() << false
            << false << 3000;
        QTest::newRow("dies of a signal") << sh << QStringList{"-c", "kill -SEGV $$"} << 5000
                                          << qint64(1000) << "\"/bin/sh\" died of SIGSEGV" << -1
                                          << QByteArray() << QByteArray() << false << false << 5000;
    }
    void runProgram() {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(int, timeoutMs);
        QFETCH(qint64, maxOutput);
        QFETCH(QString, error);
        QFETCH(int, status);
        QFETCH(QByteArray, output);
        QFETCH(QByteArray, errors);
        QFETCH(bool, timedOut);
        QFETCH(bool, outputCut);
        QFETCH(int, mostMs);
        for (QString& argument : arguments)
            argument = filled(argument);
        PosixProcessStarter starter;
        int calls = 0;
        ProgramRun run;
        qint64 took = -1;
        QElapsedTimer clock;
        clock.start();
        starter.runProgram(filled(program), arguments, timeoutMs, maxOutput,
                           [&](const ProgramRun& ran) {
                               ++calls;
                               run = ran;
                               took = clock.elapsed();
                           });
        QCOMPARE(calls, 0); // never from inside runProgram
        QTRY_COMPARE_WITH_TIMEOUT(calls, 1, Bound);
        QVERIFY2(took <= mostMs, qPrintable(QString::number(took)));
        if (timedOut)
            QVERIFY2(took >= timeoutMs, qPrintable(QString::number(took)));
        QVERIFY2(error.isEmpty() ? run.result.ok : run.result.error.contains(filled(error)),
                 qPrintable(run.result.error));
        QCOMPARE(run.exitStatus, status < 0 ? std::nullopt : std::optional<int>(status));
        QCOMPARE(run.output, output);
        QCOMPARE(run.errorOutput, errors);
        QCOMPARE(run.timedOut, timedOut);
        QCOMPARE(run.outputCut, outputCut);
        QCOMPARE(starter.programProcessIds(), QList<qint64>());
        // Nothing of it is left, and what re-parented to the panel is
        // reaped by the starter's next call.
        QCOMPARE(sleepers(), 0);
        starter.endQueries();
        if (const qint64 left = leftPid("left.pid"))
            QCOMPARE(stateOf(left), char(0));
        QTest::qWait(50);
        QCOMPARE(calls, 1); // once
    }

    // The starter goes while its programs run: they and what they started
    // are ended, and nobody is called. A query's end leaves a running
    // program's processes alone.
    void programsEndWithTheStarter() {
        auto starter = std::make_unique<PosixProcessStarter>();
        int calls = 0;
        starter->runProgram("/bin/sh",
                            {"-c", filled("setsid '%S' 1000 & echo $! > '%T/left.pid'; '%S' 1000")},
                            60000, 1000, [&calls](const ProgramRun&) { ++calls; });
        starter->runProgram(sleeper_, {"1000"}, 60000, 1000,
                            [&calls](const ProgramRun&) { ++calls; });
        QTRY_COMPARE_WITH_TIMEOUT(sleepers(), 3, Bound);
        const QList<qint64> pids = starter->programProcessIds();
        QCOMPARE(pids.size(), 2);
        const qint64 left = leftPid("left.pid");
        QVERIFY(left > 0);

        const BatchStart query = starter->startBatchFile(
            batch("GBC.BAT", "call /bin/echo 812345 > %T/q.log\r\n"), BatchKind::Query);
        QVERIFY(query.result.ok);
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(starter->processId(query.id)), 'Z', Bound);
        QCOMPARE(starter->finishBatch(query.id).ended, QString());
        starter->endQueries();
        QCOMPARE(sleepers(), 3);

        starter.reset();
        QCOMPARE(sleepers(), 0);
        for (const qint64 pid : pids)
            QCOMPARE(stateOf(pid), char(0));
        QCOMPARE(stateOf(left), char(0));
        QTest::qWait(100);
        QCOMPARE(calls, 0);
    }

    void userCommand_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("error");  // empty: it starts
        QTest::addColumn<QString>("marker"); // the file it fills
        QTest::newRow("empty") << QString(" \t") << "alert command is empty" << QString();
        QTest::newRow("the user's own shell text")
            << "printf ok > 'my marker' && printf '$HOME' >> 'my marker'"
            << ""
            << "my marker";
    }
    void userCommand() {
        QFETCH(QString, command);
        QFETCH(QString, error);
        QFETCH(QString, marker);
        PosixProcessStarter starter;
        const Result result = starter.startUserCommand(command, "alert command");
        QCOMPARE(result.error, error);
        if (result.ok)
            QTRY_COMPARE_WITH_TIMEOUT(readAll(this->path(marker)), QByteArray("ok$HOME"), Bound);
    }

    // A command of one purpose runs once at a time: the next start while it
    // still runs is refused, another purpose's is not, and a query's end
    // does not end it (it is the user's). Once it has ended (and been
    // reaped: no zombie) it starts again.
    void commandRunsOnceAtATime() {
        PosixProcessStarter starter;
        const QString go = path("go-commands");
        QVERIFY(!QFile::exists(go));
        const QString waits = filled("until [ -e '%T/go-commands' ]; do sleep 0.02; done");
        QVERIFY(starter.startUserCommand(waits, "user command").ok);
        const Result again = starter.startUserCommand(waits, "user command");
        const qint64 shell = starter.commandProcessId("user command");
        QCOMPARE(again.ok, false);
        QVERIFY(shell > 0);
        QCOMPARE(again.error,
                 QString("user command \"%1\" is still running from the last time (pid %2); not "
                         "started again")
                     .arg(waits)
                     .arg(shell));
        QVERIFY(starter.startUserCommand(waits, "alert command").ok);
        QCOMPARE(starter.startUserCommand(waits, "alert command").ok, false);

        const BatchStart query = starter.startBatchFile(
            batch("GBC.BAT", "call \"%S\" 1000 > %T/q.log\r\n"), BatchKind::Query);
        QVERIFY(query.result.ok);
        QVERIFY(!starter.finishBatch(query.id).ended.isEmpty());
        starter.endQueries();
        QVERIFY(stateOf(shell) != 0 && stateOf(shell) != 'Z');

        QVERIFY(writeAll(go, ""));
        QTRY_COMPARE_WITH_TIMEOUT(starter.commandProcessId("user command"), 0, Bound);
        QTRY_COMPARE_WITH_TIMEOUT(starter.commandProcessId("alert command"), 0, Bound);
        QCOMPARE(stateOf(shell), char(0));
        QVERIFY(starter.startUserCommand("true", "user command").ok);
    }

    // What a command writes (stdout and stderr through a pipe the panel
    // reads as it fills, so a chatty command never waits on it) is told once
    // the command has ended, in one line with its purpose: the first 4 KiB.
    void commandOutputIsTold_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("purpose");
        QTest::addColumn<QString>("told"); // %C the command; empty: nothing is told
        QTest::newRow("stdout, stderr and the exit status")
            << "echo out; echo err >&2; exit 3"
            << "user command"
            << "user command \"%C\" ended with exit status 3; it wrote: out | err";
        QTest::newRow("more than 4 KiB and more than a pipe holds: the first 4 KiB")
            << "head -c 200000 /dev/zero | tr '\\000' x"
            << "alert command"
            << "alert command \"%C\" ended; it wrote: " + QString(4096, 'x') +
                   " (195904 more bytes not kept)";
        QTest::newRow("ended by a signal") << "echo going; kill -KILL $$"
                                           << "user command"
                                           << "user command \"%C\" ended by signal 9 (Killed); "
                                              "it wrote: going";
        QTest::newRow("nothing written and exit status 0: nothing to tell") << "true"
                                                                            << "user command"
                                                                            << "";
        QTest::newRow("a background child keeps the pipe: the end is told all the same")
            << filled("'%S' 1000 & echo $! > '%T/bg.pid'; echo started") << "user command"
            << "user command \"%C\" ended; it wrote: started";
    }
    void commandOutputIsTold() {
        QFETCH(QString, command);
        QFETCH(QString, purpose);
        QFETCH(QString, told);
        PosixProcessStarter starter;
        QStringList lines;
        starter.setOutputHandler(
            [&lines](const QString& from, const QString& line) { lines << from + ": " + line; });
        QVERIFY(starter.startUserCommand(command, purpose).ok);
        const qint64 shell = starter.commandProcessId(purpose);
        const QStringList expected =
            told.isEmpty() ? QStringList()
                           : QStringList{purpose + ": " + QString(told).replace("%C", command)};
        if (!told.isEmpty())
            QTRY_COMPARE_WITH_TIMEOUT(lines, expected, Bound);
        QTRY_COMPARE_WITH_TIMEOUT(starter.commandProcessId(purpose), 0, Bound);
        QCOMPARE(lines, expected);
        QVERIFY(shell > 0);
        QCOMPARE(stateOf(shell), char(0)); // reaped: no zombie

        // What it left in the background is the user's; once it ends, the
        // starter's next call reaps it.
        if (const qint64 background = leftPid("bg.pid")) {
            QVERIFY(stateOf(background) != 0 && stateOf(background) != 'Z');
            QVERIFY(::kill(pid_t(background), SIGTERM) == 0);
            QTRY_COMPARE_WITH_TIMEOUT(stateOf(background), 'Z', Bound);
            starter.endQueries();
            QCOMPARE(stateOf(background), char(0));
        }
        QCOMPARE(lines.size(), told.isEmpty() ? 0 : 1); // told once
    }
};

QTEST_GUILESS_MAIN(TestRunner)
#include "tst_runner.moc"
