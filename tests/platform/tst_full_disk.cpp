// The settings file on a real, nearly full file system: a small tmpfs
// mounted by the test in a mount namespace of its own (a user namespace too
// when the test does not run as root), filled to the last block. The panel
// moves its window and closes; the settings file keeps every byte, the
// failure shows on the configuration's name, and once there is room again
// the next close saves.

#include "app/MainWindow.h"
#include "platform/posix/Posix.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TestRig.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

using tw::test::readAll;
using tw::test::writeAll;

namespace {

// Why no file system could be mounted here; empty when one can be.
QString mountRefused;

bool writeText(const char* path, const QByteArray& text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, text.constData(), size_t(text.size())) == text.size();
    return ::close(fd) == 0 && ok;
}

// A mount namespace of our own, so that the test's mounts vanish with it;
// as an ordinary user inside a user namespace where we are root. Must run
// before any thread starts.
void enterOwnMountNamespace() {
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    const int flags = uid == 0 ? CLONE_NEWNS : CLONE_NEWNS | CLONE_NEWUSER;
    if (::unshare(flags) != 0) {
        mountRefused = QStringLiteral("no mount namespace: %1").arg(std::strerror(errno));
        return;
    }
    if (uid != 0 && (!writeText("/proc/self/setgroups", "deny") ||
                     !writeText("/proc/self/uid_map", "0 " + QByteArray::number(uid) + " 1") ||
                     !writeText("/proc/self/gid_map", "0 " + QByteArray::number(gid) + " 1"))) {
        mountRefused = QStringLiteral("no user namespace mapping");
        return;
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        mountRefused =
            QStringLiteral("cannot make the mounts private: %1").arg(std::strerror(errno));
}

// Fills the file system that holds `folder` to its last byte, then gives
// `room` bytes back.
bool fill(const QString& folder, qint64 room) {
    QFile ballast(folder + "/ballast");
    if (!ballast.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray block(512, 'b');
    while (ballast.write(block) == block.size()) {
    }
    // Whatever is left, byte by byte.
    while (ballast.write("b", 1) == 1) {
    }
    return ballast.resize(qMax<qint64>(0, ballast.size() - room));
}

} // namespace

class TestFullDisk : public QObject {
    Q_OBJECT
    QTemporaryDir mountPoint_;
    QString folder_;

private slots:
    void initTestCase() {
        if (!mountRefused.isEmpty())
            QSKIP(qPrintable(mountRefused));
        QVERIFY(mountPoint_.isValid());
        if (::mount("tw-test", QFile::encodeName(mountPoint_.path()).constData(), "tmpfs", 0,
                    "size=64k,mode=0755") != 0)
            QSKIP(qPrintable(QStringLiteral("cannot mount a tmpfs: %1").arg(std::strerror(errno))));
        folder_ = mountPoint_.path() + "/TW-CLI-UI";
        QVERIFY(QDir().mkpath(folder_));
    }
    void cleanupTestCase() {
        if (!folder_.isEmpty())
            ::umount2(QFile::encodeName(mountPoint_.path()).constData(), MNT_DETACH);
    }

    void closingOnAFullDiskKeepsEveryNodesSettings_data() {
        QTest::addColumn<int>("room");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no room at all") << 0 << "cannot create its lock file";
        QTest::newRow("room for the lock file only") << 4096 << "No space left on device";
    }
    void closingOnAFullDiskKeepsEveryNodesSettings() {
        QFETCH(int, room);
        QFETCH(QString, reason);
        const QString file = folder_ + "/TW-CLI-UI.ini";
        QFile::remove(file + ".bak");
        const QByteArray users = "[TW-CLI-UI-BTC]\nMainLeft=3000\nMainTop=1500\n"
                                 "AUTOSTART_TICKBOX=1\nCLI_NAME_TEXTBOX=bitcoin-cli\n\n"
                                 "[TW-CLI-UI-LTC]\nMainLeft=6000\nCLI_NAME_TEXTBOX=litecoin-cli\n\n"
                                 "[TW-CLI-UI]\nMainLeft=1000\nAUTOSTART_TICKBOX=0\n";
        QVERIFY(writeAll(file, users));
        QVERIFY(fill(folder_, room));

        {
            tw::platform::IniSettingsBackend settings(file);
            tw::test::TestRig rig("TW-CLI-UI", {.settings = &settings});
            tw::app::MainWindow& window = rig.start(true);
            QVERIFY(window.storeWasRead());
            window.move(window.x() + 150, window.y() + 40);
            rig.tick("CLI_GBC_BAT_TICKBOX")->setChecked(true);
            window.close();
            QCOMPARE(readAll(file), users);
            QVERIFY(!QFile::exists(file + ".bak") || readAll(file + ".bak") == users);
            QVERIFY(rig.diagnostics.isReported(tw::app::SettingsStore::WriteFailure));
            const QString said = window.APP_EXE_NAME_LABEL->toolTip();
            QVERIFY2(said.contains(reason) && said.contains("MainLeft") && !said.contains("3000"),
                     qPrintable(said));
        }
        QCOMPARE(QDir(folder_).entryList({"*.tw-*"}, QDir::Files | QDir::Hidden), QStringList());

        // Room again: the next close saves, the other nodes' values with it.
        QVERIFY(QFile::remove(folder_ + "/ballast"));
        {
            tw::platform::IniSettingsBackend settings(file);
            tw::test::TestRig rig("TW-CLI-UI", {.settings = &settings});
            tw::app::MainWindow& window = rig.start(true);
            rig.tick("CLI_GBC_BAT_TICKBOX")->setChecked(true);
            window.close();
            QVERIFY(!rig.diagnostics.isReported(tw::app::SettingsStore::WriteFailure));
        }
        tw::platform::IniSettingsBackend after(file);
        const auto value = [&](const char* section, const char* key) {
            return after.read("TW-CLI-UI", section, key).value;
        };
        QCOMPARE(value("TW-CLI-UI", "CLI_GBC_BAT_TICKBOX"), QString("1"));
        QCOMPARE(value("TW-CLI-UI-BTC", "CLI_NAME_TEXTBOX"), QString("bitcoin-cli"));
        QCOMPARE(value("TW-CLI-UI-LTC", "MainLeft"), QString("6000"));
        QCOMPARE(readAll(file + ".bak"), users);
    }
};

int main(int argc, char** argv) {
    enterOwnMountNamespace();
    QApplication app(argc, argv);
    TestFullDisk test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_full_disk.moc"
