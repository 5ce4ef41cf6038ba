#pragma once
// A whole file's bytes for tests, read and written directly.

#include <QByteArray>
#include <QFile>
#include <QString>

namespace tw::test {

// "<missing>" when the file cannot be read.
inline QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace tw::test
