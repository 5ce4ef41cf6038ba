#include "platform/posix/IniFile.h"
#include "platform/posix/Posix.h"
#include "platform/posix/PosixFiles.h"
#include "platform/posix/XdgFolders.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>
#include <QThread>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tw::platform {

namespace {

// A settings file larger than this is not a settings file.
constexpr qint64 MaxFileBytes = 1024 * 1024;
// How long a write waits for other programs that hold the file's lock: each
// holds it for one read and one write of the file, so even dozens of panels
// closing together (a multi-node user logging out) get their turn well
// within this.
constexpr int LockWaitMs = 20000;

// Sections are executable file names and keys arbitrary text, while the
// file's names have always been escaped one level further: '%' '/' '\'
// become %25 %2F %5C first, and an empty name becomes a lone "%", which no
// escaped non-empty name can be. Files written before keep their names.
QString unescapeLevel(const QString& text);

QString escapeLevel(const QString& text) {
    if (text.isEmpty())
        return QStringLiteral("%");
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'%')
            out += QLatin1String("%25");
        else if (c == u'/')
            out += QLatin1String("%2F");
        else if (c == u'\\')
            out += QLatin1String("%5C");
        else
            out += c;
    }
    return out;
}

// escapeLevel's names back: "%" is the empty name; %25 %2F %5C are the
// characters; any other text is as it stands.
QString unescapeLevel(const QString& text) {
    if (text == QLatin1String("%"))
        return {};
    QString out = text;
    out.replace(QLatin1String("%2F"), QLatin1String("/"), Qt::CaseInsensitive);
    out.replace(QLatin1String("%5C"), QLatin1String("\\"), Qt::CaseInsensitive);
    out.replace(QLatin1String("%25"), QLatin1String("%"));
    return out;
}

// QLockFile::tryLock(timeout) sleeps twice as long after each refusal (100
// ms, 200 ms, ... up to 5 s), so among many panels closing together a
// waiter wakes too seldom to find the lock free and gives up while others
// get it again and again. Asking every few milliseconds, a little at random,
// gives every waiter its turn within the bound.
bool takeLock(QLockFile& lock) {
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (lock.tryLock(0))
            return true;
        if (lock.error() != QLockFile::LockFailedError || waited.elapsed() >= LockWaitMs)
            return false;
        QThread::msleep(2 + QRandomGenerator::global()->bounded(8));
    }
}

// What identifies one state of the file on disk.
struct Stamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    bool operator==(const Stamp& o) const {
        return device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
               changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
    }
};

Stamp stampOf(const struct stat& info) {
    return {info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

// The file as it is on disk now: absent (an empty document), its parsed
// text, or why it cannot be read. Never blocks on a FIFO or device.
struct Snapshot {
    bool exists = false;
    QString unreadable;
    QByteArray bytes;
    ini::Document document;
    Stamp stamp;
    mode_t mode = 0;
};

Snapshot snapshot(const QString& path) {
    Snapshot snap;
    const posix::RegularRead file =
        posix::readRegularFile(AT_FDCWD, QFile::encodeName(path).constData(), MaxFileBytes);
    if (file.error == ENOENT)
        return snap;
    if (file.error != 0) {
        snap.unreadable = posix::errnoText(file.error);
        return snap;
    }
    if (file.notRegular) {
        snap.unreadable =
            QStringLiteral("it is %1, not a regular file").arg(posix::kindOf(file.info.st_mode));
        return snap;
    }
    if (file.truncated) {
        snap.unreadable = QStringLiteral("it is larger than %1 bytes").arg(MaxFileBytes);
        return snap;
    }
    const QByteArray& bytes = file.bytes;
    const struct stat& info = file.info;
    snap.exists = true;
    snap.stamp = stampOf(info);
    snap.mode = info.st_mode;
    snap.bytes = bytes;
    snap.document = ini::Document::parse(bytes);
    return snap;
}

} // namespace

struct IniSettingsBackend::Cache {
    Snapshot file;
};

IniSettingsBackend::IniSettingsBackend(QString filePath, QString application)
    : path_(std::move(filePath)), application_(std::move(application)) {}

IniSettingsBackend::~IniSettingsBackend() = default;

QString IniSettingsBackend::defaultPath() {
    return xdgFolder("XDG_CONFIG_HOME", QStringLiteral(".config")) +
           QStringLiteral("/TW-CLI-UI/TW-CLI-UI.ini");
}

QStringList IniSettingsBackend::sections(const QString& application) {
    if (application != application_ || path_.isEmpty())
        return {};
    const Snapshot file = snapshot(path_);
    QStringList names;
    for (const QString& name : file.document.sections())
        names << unescapeLevel(name);
    return names;
}

SettingRead IniSettingsBackend::read(const QString& application, const QString& section,
                                     const QString& key) {
    if (application != application_ || path_.isEmpty())
        return SettingRead::missing();

    // Reuse the parsed file while the file on disk is the same one.
    const QByteArray name = QFile::encodeName(path_);
    struct stat info {};
    const bool same = cache_ && cache_->file.exists && ::stat(name.constData(), &info) == 0 &&
                      S_ISREG(info.st_mode) && stampOf(info) == cache_->file.stamp;
    if (!same)
        cache_ = std::make_unique<Cache>(Cache{snapshot(path_)});
    const Snapshot& file = cache_->file;

    if (!file.unreadable.isEmpty())
        return SettingRead::unreadable(
            QStringLiteral("cannot read settings file %1: %2").arg(path_, file.unreadable));
    SettingRead read;
    if (const auto value = file.document.value(escapeLevel(section), escapeLevel(key)))
        read = SettingRead::found(*value);
    if (!file.document.canRewrite())
        read.problem = QStringLiteral("settings file %1: %2; the file is kept as it is and "
                                      "nothing is saved to it until that line is mended")
                           .arg(path_, file.document.problem());
    return read;
}

Result IniSettingsBackend::writeValues(const QString& application, const QString& section,
                                       const SettingValues& values) {
    if (path_.isEmpty())
        return Result::failure(QStringLiteral("cannot write settings: no settings file"));
    if (application != application_)
        return Result::failure(QStringLiteral("cannot write settings of %1: %2 holds %3 only")
                                   .arg(application, path_, application_));
    const auto failed = [this](const QString& why) {
        return Result::failure(QStringLiteral("settings file %1 not written: %2").arg(path_, why));
    };

    const QFileInfo where(path_);
    if (!QDir().mkpath(where.absolutePath()))
        return failed(QStringLiteral("cannot create folder %1").arg(where.absolutePath()));
    // One lock, one read and one write for all the values of the occasion.
    QLockFile lock(path_ + QStringLiteral(".lock"));
    if (!takeLock(lock))
        return failed(lock.error() == QLockFile::LockFailedError
                          ? QStringLiteral("another program held its lock for %1 seconds")
                                .arg(LockWaitMs / 1000)
                          : QStringLiteral("cannot create its lock file"));

    // What is on disk now, under the lock, is what the change applies to.
    Snapshot file = snapshot(path_);
    cache_.reset();
    if (!file.unreadable.isEmpty())
        return failed(QStringLiteral("cannot read it first: %1").arg(file.unreadable));
    if (!file.document.canRewrite())
        return failed(QStringLiteral("%1; the file is kept as it is").arg(file.document.problem()));

    for (const auto& [key, value] : values)
        file.document.set(escapeLevel(section), escapeLevel(key), value);
    const QByteArray bytes = file.document.bytes();
    if (file.exists && bytes == file.bytes)
        return Result::success();
    // A file the next read would refuse is not written at all.
    if (bytes.size() > MaxFileBytes)
        return failed(QStringLiteral("it would grow to %1 bytes, past the %2 bytes a settings "
                                     "file may have; the file is kept as it is")
                          .arg(bytes.size())
                          .arg(MaxFileBytes));

    // The .bak holds what the file held, with the file's own permissions (a
    // private store keeps a private copy).
    if (!backupKept_ && file.exists) {
        const Result kept =
            writeFileWhole(path_ + QStringLiteral(".bak"), file.bytes, steps_, file.mode & 07777);
        if (!kept)
            return failed(QStringLiteral("cannot keep the previous file as %1.bak first: %2")
                              .arg(where.fileName(), kept.error));
    }
    backupKept_ = true;
    const Result written = writeFileWhole(path_, bytes, steps_);
    if (!written)
        return failed(written.error);
    return Result::success();
}

QString IniSettingsBackend::location() const {
    return path_;
}

} // namespace tw::platform
