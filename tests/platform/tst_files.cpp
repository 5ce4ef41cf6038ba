// LocalFileSystem against the real file system: what is read as a log (only
// regular files, never waiting on a FIFO), what a file's stamp tells about a
// write, how files are written (symbolic links by their owner, FIFOs and
// devices refused, hard links and folders that take no new file rewritten in
// place, the mode kept) and the two rules behind the writes as tables.
//
// Some cases need root (another user's link, a folder that refuses root a
// new file); run as another user they skip, and the rule tables still cover
// the decisions.

#include "app/Diagnostics.h"
#include "platform/posix/Posix.h"
#include "tests/support/FullDisk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace tw::platform;

Q_DECLARE_METATYPE(tw::platform::WriteWay)

namespace {

const QByteArray Answer = "840123\r\n", Old = "839999\r\n", New = "840124\r\n";
// Another user than the one running the tests: nobody, for root.
uid_t anotherUser() {
    return ::geteuid() == 65534 ? 65533 : 65534;
}

// The content of a regular file (a FIFO is never opened here: it would wait).
QByteArray contentOf(const QString& path) {
    QFile file(path);
    if (!QFileInfo(path).isFile())
        return "<not a file>";
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool put(const QString& path, const QByteArray& bytes, int mode = 0644) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() &&
           ::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0;
}

struct stat statOf(const QString& path, bool follow = true) {
    struct stat st;
    std::memset(&st, 0, sizeof st);
    const QByteArray name = QFile::encodeName(path);
    if ((follow ? ::stat(name.constData(), &st) : ::lstat(name.constData(), &st)) != 0)
        st.st_ino = 0;
    return st;
}

// The file's content last changed an hour ago, as a log of an earlier run.
bool backdate(const QString& path) {
    timespec times[2];
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = ::time(nullptr) - 3600;
    times[1].tv_nsec = 123456789;
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

bool symlinkTo(const QString& target, const QString& path) {
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()) ==
           0;
}

// Temporary files a write left behind in the folder.
QStringList leftovers(const QString& folder) {
    return QDir(folder).entryList({"*.tw-*"}, QDir::AllEntries | QDir::Hidden | QDir::System);
}

int umaskNow() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return int(mask);
}

// A folder in which creating a file fails, whoever runs the test: read-only
// for a user; immutable for root (the file system's "i" attribute), as root
// may write any folder whatever its mode. Undone when it goes.
class LockedFolder {
public:
    explicit LockedFolder(QString path) : path_(std::move(path)) {
        if (::geteuid() != 0) {
            locked_ = ::chmod(QFile::encodeName(path_).constData(), 0555) == 0;
        } else {
            locked_ = setImmutable(true);
        }
    }
    ~LockedFolder() {
        if (!locked_)
            return;
        if (::geteuid() != 0)
            ::chmod(QFile::encodeName(path_).constData(), 0755);
        else
            setImmutable(false);
    }
    LockedFolder(const LockedFolder&) = delete;
    LockedFolder& operator=(const LockedFolder&) = delete;
    // Whether the folder really refuses a new file now.
    bool refusesNewFiles() const {
        if (!locked_)
            return false;
        QFile probe(path_ + "/probe");
        if (!probe.open(QIODevice::WriteOnly))
            return true;
        probe.remove();
        return false;
    }

private:
    bool setImmutable(bool on) const {
        const int fd = ::open(QFile::encodeName(path_).constData(), O_RDONLY | O_DIRECTORY);
        if (fd < 0)
            return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (done) {
            flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
            done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return done;
    }

    QString path_;
    bool locked_ = false;
};

} // namespace

class TestFiles : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;

private slots:
    void initTestCase() { QVERIFY(tmp_.isValid()); }

    // Each row makes `log` in a fresh folder and reads it.
    void onlyRegularFilesAreReadAsLogs_data() {
        QTest::addColumn<QString>("log");    // what the path is, or an absolute path
        QTest::addColumn<QString>("reason"); // what the failure says; empty: read
        QTest::newRow("regular file") << "regular"
                                      << "";
        QTest::newRow("the user's link to a regular file") << "link"
                                                           << "";
        QTest::newRow("FIFO with no writer") << "fifo"
                                             << "is a FIFO, not a log file";
        QTest::newRow("link to a FIFO") << "fifo-link"
                                        << "is a FIFO, not a log file";
        QTest::newRow("folder") << "folder"
                                << "is a folder, not a log file";
        QTest::newRow("socket") << "socket"
                                << "is a socket, not a log file";
        QTest::newRow("/dev/zero") << "/dev/zero"
                                   << "is a character device, not a log file";
        QTest::newRow("/dev/null") << "/dev/null"
                                   << "is a character device, not a log file";
        QTest::newRow("missing") << "missing"
                                 << "log file missing";
        QTest::newRow("dangling link") << "dangling"
                                       << "log file missing";
    }
    void onlyRegularFilesAreReadAsLogs() {
        QFETCH(QString, log);
        QFETCH(QString, reason);
        QTemporaryDir dir(tmp_.filePath("read-XXXXXX"));
        const QString path = log.startsWith('/') ? log : dir.filePath("CLI-UI-GBC.LOG");
        const QByteArray name = QFile::encodeName(path);
        int socket = -1;
        if (log == "regular")
            QVERIFY(put(path, Answer));
        if (log == "link")
            QVERIFY(put(dir.filePath("real.log"), Answer) &&
                    symlinkTo(dir.filePath("real.log"), path));
        if (log == "fifo")
            QVERIFY(::mkfifo(name.constData(), 0644) == 0);
        if (log == "fifo-link")
            QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("pipe")).constData(), 0644) == 0 &&
                    symlinkTo("pipe", path));
        if (log == "folder")
            QVERIFY(QDir().mkdir(path));
        if (log == "dangling")
            QVERIFY(symlinkTo(dir.filePath("gone.log"), path));
        if (log == "socket") {
            socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            QVERIFY(socket >= 0 && size_t(name.size()) < sizeof address.sun_path);
            std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
            QVERIFY(::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
        }
        LocalFileSystem files;
        const FileRead read = files.readFile(path, 32767);
        if (socket >= 0)
            ::close(socket);
        const bool ok = reason.isEmpty();
        QCOMPARE(read.result.ok, ok);
        QVERIFY2(read.result.error.contains(reason) && (ok || read.result.error.contains(path)),
                 qPrintable(read.result.error));
        QCOMPARE(read.bytes, ok ? Answer : QByteArray());
        QCOMPARE(read.fullSize, ok ? Answer.size() : 0);
        QCOMPARE(read.stamp.exists(), ok);
        QCOMPARE(files.stamp(path).exists(), log != "missing" && log != "dangling");
    }

    // The stamp of a log of an hour ago is taken, something happens, the log
    // is read: the read's stamp differs exactly when something wrote it.
    void stampTellsWhetherTheFileWasWritten_data() {
        QTest::addColumn<bool>("before"); // the log exists before
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<bool>("written");
        QTest::newRow("nothing") << true << "" << false;
        QTest::newRow("only read") << true << "read" << false;
        QTest::newRow("the same answer written again") << true << "rewrite" << true;
        QTest::newRow("emptied, nothing written") << true << "truncate" << true;
        QTest::newRow("replaced by a twin of the same time") << true << "replace" << true;
        QTest::newRow("created") << false << "rewrite" << true;
    }
    void stampTellsWhetherTheFileWasWritten() {
        QFETCH(bool, before);
        QFETCH(QString, meanwhile);
        QFETCH(bool, written);
        QTemporaryDir dir(tmp_.filePath("stamp-XXXXXX"));
        const QString path = dir.filePath("CLI-UI-GBC.LOG"), twin = dir.filePath("twin");
        QVERIFY(!before || (put(path, Answer) && backdate(path)));
        LocalFileSystem files;
        const FileStamp stamp = files.stamp(path);
        QCOMPARE(stamp.exists(), before);
        QFile file(path);
        if (meanwhile == "read")
            QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll() == Answer);
        if (meanwhile == "rewrite")
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(Answer) == Answer.size());
        if (meanwhile == "truncate")
            QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        if (meanwhile == "replace") {
            const struct stat old = statOf(path);
            const timespec times[2] = {old.st_atim, old.st_mtim};
            QVERIFY(put(twin, Answer) &&
                    ::utimensat(AT_FDCWD, QFile::encodeName(twin).constData(), times, 0) == 0);
            QVERIFY(::rename(QFile::encodeName(twin).constData(),
                             QFile::encodeName(path).constData()) == 0);
        }
        const FileRead read = files.readFile(path, 32767);
        QVERIFY(read.result);
        QCOMPARE(read.stamp == stamp, !written);
        QVERIFY(read.stamp == files.stamp(path));
    }

    // Each row builds a scene in a fresh folder and writes New to `path`.
    // `target` is the file the write is for (where a link points); a second
    // hard link, where there is one, must see what the target sees.
    void filesAreWrittenByTheRules_data() {
        QTest::addColumn<QString>("scene");
        QTest::addColumn<QString>("reason"); // what the failure says; empty: written
        QTest::addColumn<QString>("way");    // created, replaced, in place; empty: nothing
        const QString foreign = "is a symbolic link owned by another user; not written";
        QTest::newRow("new file") << "new"
                                  << ""
                                  << "created";
        QTest::newRow("file in a writable folder") << "file"
                                                   << ""
                                                   << "replaced";
        QTest::newRow("the user's own link") << "own-link"
                                             << ""
                                             << "replaced";
        QTest::newRow("another user's link in a sticky folder") << "foreign-link" << foreign << "";
        QTest::newRow("the user's link to another user's link") << "link-chain" << foreign << "";
        QTest::newRow("file with a second hard link") << "hard-link"
                                                      << ""
                                                      << "in place";
        QTest::newRow("writable file, folder takes no new file") << "locked"
                                                                 << ""
                                                                 << "in place";
        QTest::newRow("no file, folder takes no new file") << "locked-new"
                                                           << "cannot write"
                                                           << "";
        QTest::newRow("FIFO with no reader") << "fifo"
                                             << "is a FIFO, not a regular file"
                                             << "";
        QTest::newRow("/dev/null") << "/dev/null"
                                   << "is a character device, not a regular file"
                                   << "";
        QTest::newRow("folder") << "folder"
                                << "is a folder, not a regular file"
                                << "";
        QTest::newRow("missing folder") << "missing-folder"
                                        << "No such file or directory"
                                        << "";
    }
    void filesAreWrittenByTheRules() {
        QFETCH(QString, scene);
        QFETCH(QString, reason);
        QFETCH(QString, way);
        QTemporaryDir dir(tmp_.filePath("write-XXXXXX"));
        const QString shared = dir.filePath("shared"), own = dir.filePath("own");
        QVERIFY(QDir().mkdir(shared) && QDir().mkdir(own));
        QVERIFY(::chmod(QFile::encodeName(shared).constData(), 01777) == 0);
        QString path = own + "/height.txt", target = path, second;
        QString named; // the path a failure names, when not `path`
        std::unique_ptr<LockedFolder> locked;
        if (scene.startsWith('/'))
            path = target = scene;
        if (scene == "file" || scene == "hard-link" || scene == "locked")
            QVERIFY(put(target, Old, 0640));
        if (scene == "own-link") {
            target = own + "/real.txt";
            QVERIFY(put(target, Old, 0640) && symlinkTo("real.txt", path));
        }
        if (scene == "foreign-link" || scene == "link-chain") {
            // Someone else's link in the shared folder, to the user's file.
            target = own + "/mine.txt";
            const QString planted = shared + "/height.txt";
            QVERIFY(put(target, Old, 0640) && symlinkTo(target, planted));
            if (::lchown(QFile::encodeName(planted).constData(), anotherUser(), anotherUser()) != 0)
                QSKIP("giving a link to another user needs root");
            path = scene == "foreign-link" ? planted : own + "/via.txt";
            QVERIFY(scene == "foreign-link" || symlinkTo(planted, path));
            named = planted;
        }
        if (scene == "hard-link") {
            second = own + "/second.txt";
            QVERIFY(::link(QFile::encodeName(target).constData(),
                           QFile::encodeName(second).constData()) == 0);
        }
        if (scene == "locked" || scene == "locked-new") {
            locked = std::make_unique<LockedFolder>(own);
            if (!locked->refusesNewFiles())
                QSKIP("no way here to make a folder refuse a new file (the rule table covers it)");
        }
        if (scene == "fifo")
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0644) == 0);
        if (scene == "folder")
            QVERIFY(QDir().mkdir(path));
        if (scene == "missing-folder")
            path = target = dir.filePath("gone/height.txt");
        const struct stat before = statOf(target);
        const QByteArray had = contentOf(target);

        LocalFileSystem files;
        const Result result = files.writeFile(path, New);

        const struct stat after = statOf(target);
        QCOMPARE(result.ok, reason.isEmpty());
        QVERIFY2(result.error.contains(reason), qPrintable(result.error));
        QVERIFY2(result.ok || result.error.contains(named.isEmpty() ? path : named),
                 qPrintable(result.error));
        if (scene.startsWith('/'))
            QCOMPARE(statOf(path).st_rdev, before.st_rdev);
        else if (scene != "fifo" && scene != "folder")
            QCOMPARE(contentOf(target), way.isEmpty() ? had : New);
        if (!second.isEmpty())
            QCOMPARE(contentOf(second), New);
        if (way == "in place" || way.isEmpty())
            QCOMPARE(after.st_ino, before.st_ino);
        if (way == "replaced")
            QVERIFY(after.st_ino != before.st_ino);
        if (way.isEmpty() && S_ISREG(before.st_mode)) { // untouched: owner, mode, time
            QCOMPARE(after.st_uid, before.st_uid);
            QCOMPARE(after.st_mode, before.st_mode);
            QCOMPARE(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
        }
        if (scene == "own-link" || scene == "foreign-link" || scene == "link-chain")
            QVERIFY(S_ISLNK(statOf(path, false).st_mode));
        locked.reset();
        QCOMPARE(leftovers(own) + leftovers(shared) + leftovers("/dev"), QStringList());
    }

    // A disk that fills up at any byte of the new content, or a flush that
    // fails, leaves the old file exactly as it was (every name of it), no
    // temporary file behind, and says why.
    void aFullDiskLeavesTheOldFile_data() {
        QTest::addColumn<QString>("scene");
        QTest::newRow("replaced") << "file";
        QTest::newRow("rewritten in place (a second hard link)") << "hard-link";
        QTest::newRow("new file") << "new";
    }
    void aFullDiskLeavesTheOldFile() {
        QFETCH(QString, scene);
        QTemporaryDir dir(tmp_.filePath("full-XXXXXX"));
        const QString path = dir.filePath("settings.txt"), second = dir.filePath("second.txt");
        QByteArray longer;
        for (int i = 0; longer.size() < 300; ++i)
            longer += "line " + QByteArray::number(i) + "\r\n";
        const QByteArray old = scene == "new" ? QByteArray("<not a file>") : Old + "tail\r\n";
        if (scene != "new")
            QVERIFY(put(path, old, 0640));
        if (scene == "hard-link")
            QVERIFY(::link(QFile::encodeName(path).constData(),
                           QFile::encodeName(second).constData()) == 0);
        const ino_t inode = statOf(path).st_ino;

        for (qint64 room = 0; room <= longer.size(); ++room) {
            const bool flush = room == longer.size(); // every byte fits, the flush fails
            LocalFileSystem files(flush ? tw::test::flushFails() : tw::test::diskFullAfter(room));
            const Result result = files.writeFile(path, longer);
            QVERIFY2(!result.ok, qPrintable(QString::number(room)));
            QVERIFY2(
                result.error.contains(path) &&
                    result.error.contains(flush ? "Input/output error" : "No space left on device"),
                qPrintable(result.error));
            QCOMPARE(contentOf(path), old);
            QCOMPARE(statOf(path).st_ino, inode);
            if (scene == "hard-link")
                QCOMPARE(contentOf(second), old);
            QCOMPARE(leftovers(dir.path()), QStringList());
        }
        // The same disk with room: written.
        QVERIFY(LocalFileSystem().writeFile(path, longer));
        QCOMPARE(contentOf(path), longer);
    }

    // Appends (the diagnostics log) go to regular files only, never wait on
    // a FIFO, and a failed write is taken back whole.
    void appendsGoToRegularFilesOnly_data() {
        QTest::addColumn<QString>("scene");
        QTest::addColumn<QString>("reason"); // empty: appended
        QTest::newRow("new file") << "new"
                                  << "";
        QTest::newRow("existing file") << "file"
                                       << "";
        QTest::newRow("FIFO with no reader") << "fifo"
                                             << "cannot write";
        QTest::newRow("FIFO with a reader") << "fifo-read"
                                            << "is a FIFO, not a regular file";
        QTest::newRow("folder") << "folder"
                                << "cannot write";
        QTest::newRow("disk full at the third byte") << "full"
                                                     << "No space left on device";
    }
    void appendsGoToRegularFilesOnly() {
        QFETCH(QString, scene);
        QFETCH(QString, reason);
        QTemporaryDir dir(tmp_.filePath("append-XXXXXX"));
        const QString path = dir.filePath("node.log");
        if (scene == "file" || scene == "full")
            QVERIFY(put(path, Old));
        if (scene.startsWith("fifo"))
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0644) == 0);
        const int reader = scene == "fifo-read"
                               ? ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK)
                               : -1;
        const auto closeReader = qScopeGuard([reader] {
            if (reader >= 0)
                ::close(reader);
        });
        if (scene == "folder")
            QVERIFY(QDir().mkdir(path));
        LocalFileSystem files(scene == "full" ? tw::test::diskFullAfter(2) : WriteSteps{});
        const Result result = files.appendFile(path, New);
        QCOMPARE(result.ok, reason.isEmpty());
        QVERIFY2(result.error.contains(reason), qPrintable(result.error));
        if (scene == "new")
            QCOMPARE(contentOf(path), New);
        if (scene == "file")
            QCOMPARE(contentOf(path), Old + New);
        if (scene == "full")
            QCOMPARE(contentOf(path), Old);
    }

    // The diagnostics log with a FIFO in its place: a failure is still
    // reported at once (on stderr and the control), never blocking.
    void diagnosticsLogAsAFifoDoesNotBlock() {
        QTemporaryDir dir(tmp_.filePath("diag-XXXXXX"));
        const QString path = dir.filePath("TW-CLI-UI.log");
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0644) == 0);
        LocalFileSystem files;
        tw::app::Diagnostics diagnostics(path, false, &files);
        diagnostics.report("gbc-batch", "CURRENT_BLOCK_TEXTBOX", "batch file missing: x");
        diagnostics.note("limit", "a note");
        QVERIFY(diagnostics.isReported("gbc-batch"));
        // And to a real log file it writes.
        const QString real = dir.filePath("real.log");
        tw::app::Diagnostics logged(real, false, &files);
        logged.report("k", "", "batch file missing: y");
        QVERIFY2(contentOf(real).contains("FAILED batch file missing: y"),
                 contentOf(real).constData());
    }

    void replacedFileKeepsItsMode_data() {
        QTest::addColumn<int>("mode"); // the old file's; -1: no old file
        QTest::newRow("0640") << 0640;
        QTest::newRow("0600") << 0600;
        QTest::newRow("0604") << 0604;
        QTest::newRow("0755") << 0755;
        QTest::newRow("new file: 0666 less the umask") << -1;
    }
    void replacedFileKeepsItsMode() {
        QFETCH(int, mode);
        QTemporaryDir dir(tmp_.filePath("mode-XXXXXX"));
        const QString path = dir.filePath("height.txt");
        QVERIFY(mode < 0 || put(path, Old, mode));
        QVERIFY(LocalFileSystem().writeFile(path, New));
        QCOMPARE(contentOf(path), New);
        QCOMPARE(int(statOf(path).st_mode & 07777), mode < 0 ? 0666 & ~umaskNow() : mode);
    }

    // Whose symbolic link a write follows.
    void linkRule_data() {
        QTest::addColumn<uint>("linkOwner");
        QTest::addColumn<uint>("user");
        QTest::addColumn<uint>("folderOwner");
        QTest::addColumn<uint>("folderMode");
        QTest::addColumn<bool>("follows");
        QTest::newRow("the user's own link") << 1000u << 1000u << 1000u << 0755u << true;
        QTest::newRow("the user's own link, shared folder")
            << 1000u << 1000u << 0u << 01777u << true;
        QTest::newRow("another user's link, shared folder")
            << 1001u << 1000u << 0u << 01777u << false;
        QTest::newRow("another user's link, user's folder")
            << 1001u << 1000u << 1000u << 0755u << false;
        QTest::newRow("root's link, folder only root writes") << 0u << 1000u << 0u << 0755u << true;
        QTest::newRow("root's link, shared folder") << 0u << 1000u << 0u << 01777u << false;
        QTest::newRow("root's link, group-writable folder") << 0u << 1000u << 0u << 0775u << false;
        QTest::newRow("root's link, other-writable folder") << 0u << 1000u << 0u << 0757u << false;
        QTest::newRow("root's link, a user's folder") << 0u << 1000u << 1000u << 0755u << false;
        QTest::newRow("root running: nobody's link") << 65534u << 0u << 0u << 01777u << false;
        QTest::newRow("root running: root's link") << 0u << 0u << 0u << 01777u << true;
    }
    void linkRule() {
        QFETCH(uint, linkOwner);
        QFETCH(uint, user);
        QFETCH(uint, folderOwner);
        QFETCH(uint, folderMode);
        QFETCH(bool, follows);
        QCOMPARE(writeFollowsLink({linkOwner, user, folderOwner, folderMode}), follows);
    }

    // Replaced whole or rewritten in place.
    void writeWay_data() {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<uint>("links");
        QTest::addColumn<bool>("folderRefuses");
        QTest::addColumn<WriteWay>("way");
        QTest::newRow("no file") << false << 0u << false << WriteWay::Replace;
        QTest::newRow("no file, folder takes none") << false << 0u << true << WriteWay::Refuse;
        QTest::newRow("one name") << true << 1u << false << WriteWay::Replace;
        QTest::newRow("one name, folder takes none") << true << 1u << true << WriteWay::InPlace;
        QTest::newRow("two names") << true << 2u << false << WriteWay::InPlace;
        QTest::newRow("two names, folder takes none") << true << 2u << true << WriteWay::InPlace;
    }
    void writeWay() {
        QFETCH(bool, exists);
        QFETCH(uint, links);
        QFETCH(bool, folderRefuses);
        QFETCH(WriteWay, way);
        QCOMPARE(chooseWriteWay(exists, links, folderRefuses), way);
    }
};

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
