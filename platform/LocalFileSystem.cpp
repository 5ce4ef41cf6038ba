#include "platform/Posix.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace tw::platform {

FileRead LocalFileSystem::readFile(const QString& path, qint64 maxBytes) {
    FileRead read;
    QFile file(path);
    if (path.isEmpty() || !file.exists()) {
        read.result = Result::failure(QStringLiteral("log file missing: %1").arg(path));
        return read;
    }
    if (QFileInfo(file).isDir()) {
        read.result = Result::failure(QStringLiteral("cannot read %1: it is a folder").arg(path));
        return read;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        read.result =
            Result::failure(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        return read;
    }
    read.fullSize = file.size();
    const qint64 cap = qMax<qint64>(0, maxBytes);
    read.bytes = file.read(cap);
    if (file.error() != QFileDevice::NoError) {
        read.result =
            Result::failure(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        read.bytes.clear();
        return read;
    }
    // A file that grew between size() and read() is still cut at the cap.
    read.truncated = read.fullSize > cap;
    return read;
}

Result LocalFileSystem::replaceFile(const QString& path, const QByteArray& bytes) {
    if (path.isEmpty())
        return Result::failure(QStringLiteral("cannot write file: empty path"));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Result::failure(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return Result::failure(QStringLiteral("cannot write %1: %2").arg(path, why));
    }
    if (!file.commit())
        return Result::failure(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    return Result::success();
}

QString LocalFileSystem::decodeLocal(const QByteArray& bytes) const {
    return QString::fromLocal8Bit(bytes);
}

QByteArray LocalFileSystem::encodeLocal(const QString& text) const {
    return text.toLocal8Bit();
}

} // namespace tw::platform
