// Many panels closing at once (a multi-node user logging out): twenty
// processes, each with a section of its own in one settings file, write
// their close values at the same moment, fifty rounds, on a disk whose
// fsync takes 25 ms; not one value may be lost, and no close may give up on
// the lock.

#include "platform/posix/Posix.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

namespace {
constexpr int Panels = 20;
constexpr int Rounds = 50;
constexpr int SlowSyncMs = 25;
const QStringList Keys = {"MainLeft",
                          "MainTop",
                          "CLI_GBC_BAT_TICKBOX",
                          "CLI_GCC_BAT_TICKBOX",
                          "CLI_STOP_BAT_TICKBOX",
                          "AUTOSTART_TICKBOX",
                          "AUTOCLOSE_TIMER_TICKBOX",
                          "P4P_TICKBOX"};
} // namespace

class TestStoreConcurrency : public QObject {
    Q_OBJECT

private slots:
    void twentyPanelsCloseTogetherAndLoseNothing() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString file = dir.filePath("TW-CLI-UI/TW-CLI-UI.ini");
        const QString closer = QCoreApplication::applicationDirPath() + "/store_closer";
        std::vector<std::unique_ptr<QProcess>> panels;
        for (int i = 0; i < Panels; ++i) {
            auto panel = std::make_unique<QProcess>();
            panel->setProgram(closer);
            panel->setArguments(
                {file, QStringLiteral("TW-CLI-UI-NODE%1").arg(i), QString::number(SlowSyncMs)});
            panel->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            panel->start();
            QVERIFY2(panel->waitForStarted(10000), qPrintable(panel->errorString()));
            panels.push_back(std::move(panel));
        }

        QElapsedTimer took;
        took.start();
        QStringList failures;
        for (int round = 1; round <= Rounds; ++round) {
            const QByteArray line = QByteArray::number(round) + '\n';
            for (auto& panel : panels)
                panel->write(line);
            for (auto& panel : panels) {
                while (!panel->canReadLine())
                    QVERIFY2(panel->waitForReadyRead(60000), "a panel did not answer");
                const QByteArray answer = panel->readLine().trimmed();
                if (answer != "saved " + QByteArray::number(round))
                    failures << QString::fromLocal8Bit(answer);
            }
            tw::platform::IniSettingsBackend store(file);
            for (int i = 0; i < Panels; ++i)
                for (const QString& key : Keys) {
                    const auto read =
                        store.read("TW-CLI-UI", QStringLiteral("TW-CLI-UI-NODE%1").arg(i), key);
                    if (read.value != QString::number(round))
                        failures << QStringLiteral("round %1: NODE%2 %3=%4")
                                        .arg(round)
                                        .arg(i)
                                        .arg(key, read.value);
                }
        }
        for (auto& panel : panels) {
            panel->closeWriteChannel();
            QVERIFY(panel->waitForFinished(10000));
            QCOMPARE(panel->exitCode(), 0);
        }
        qInfo("%d panels x %d rounds: %lld ms, %lld failures", Panels, Rounds, took.elapsed(),
              qint64(failures.size()));
        QVERIFY2(failures.isEmpty(), qPrintable(failures.mid(0, 5).join("\n")));
        QCOMPARE(QDir(dir.filePath("TW-CLI-UI")).entryList({"*.tw-*"}, QDir::Files | QDir::Hidden),
                 QStringList());
    }
};

QTEST_GUILESS_MAIN(TestStoreConcurrency)
#include "tst_store_concurrency.moc"
