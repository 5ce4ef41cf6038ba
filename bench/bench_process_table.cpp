// Timing of the process table on the real /proc.
//
//   bench_process_table [NAME]    200 scans with the POSIX scanner and 200
//                                 with a QDir/QFile scanner for comparison;
//                                 prints microseconds per scan
//   bench_process_table --once NAME
//                                 one scan; prints the count, exit code 0
//                                 when found, 1 when not, 2 when /proc
//                                 cannot be read (to time the whole process
//                                 against `pgrep -x -i NAME`)

#include "platform/Posix.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

// The same rule written with Qt's file classes, only to compare speed.
int qtCount(const QString& name) {
    int count = 0;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool numeric = false;
        entry.toInt(&numeric);
        if (!numeric)
            continue;
        const QString base = QStringLiteral("/proc/") + entry;
        QString image = QFileInfo(base + QStringLiteral("/exe")).symLinkTarget();
        image.remove(QStringLiteral(" (deleted)"));
        image = QFileInfo(image).fileName();
        if (image.isEmpty()) {
            QFile cmdline(base + QStringLiteral("/cmdline"));
            if (cmdline.open(QIODevice::ReadOnly)) {
                const QByteArray bytes = cmdline.readAll();
                image =
                    QFileInfo(QString::fromLocal8Bit(bytes.left(bytes.indexOf('\0')))).fileName();
            }
        }
        if (image.isEmpty()) {
            QFile comm(base + QStringLiteral("/comm"));
            if (comm.open(QIODevice::ReadOnly))
                image = QString::fromLocal8Bit(comm.readAll()).trimmed();
        }
        if (QString::compare(image, name, Qt::CaseInsensitive) == 0)
            ++count;
    }
    return count;
}

template <typename F> double microsecondsPerCall(int calls, F&& f) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i)
        f();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    return std::chrono::duration<double, std::micro>(elapsed).count() / calls;
}

} // namespace

int main(int argc, char** argv) {
    tw::platform::ProcProcessTable table;
    if (argc == 3 && std::strcmp(argv[1], "--once") == 0) {
        const auto count = table.countByImageName(QString::fromLocal8Bit(argv[2]));
        if (!count)
            return 2;
        std::printf("%d\n", *count);
        return *count > 0 ? 0 : 1;
    }

    const QString name =
        argc >= 2 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("bitcoin-cli");
    constexpr int calls = 200;
    const int processes = QDir(QStringLiteral("/proc"))
                              .entryList(QDir::Dirs)
                              .filter(QRegularExpression(QStringLiteral("^[0-9]+$")))
                              .size();
    int found = 0;
    const double posix = microsecondsPerCall(calls, [&] { found = *table.countByImageName(name); });
    int foundQt = 0;
    const double qt = microsecondsPerCall(calls, [&] { foundQt = qtCount(name); });
    std::printf("processes in /proc: %d, name: %s\n", processes, qPrintable(name));
    std::printf("ProcProcessTable:   %8.1f us per call (%d calls, count %d)\n", posix, calls,
                found);
    std::printf("QDir/QFile variant: %8.1f us per call (%d calls, count %d)\n", qt, calls, foundQt);
    return 0;
}
