#include "platform/posix/Posix.h"
#include "platform/posix/PosixWriteTarget.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tw::platform {

namespace {

// The folder descriptor only names the folder for the *at calls; O_PATH
// needs no read permission on it.
#ifdef O_PATH
constexpr int FolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int FolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

using posix::Descriptor;
using posix::errnoText;
using posix::kindOf;
using posix::readRegularFile;
using posix::RegularRead;
using posix::WriteTarget;

qint64 nanoseconds(const timespec& time) {
    return qint64(time.tv_sec) * 1000000000 + time.tv_nsec;
}

FileStamp stampOf(const struct stat& st) {
    return FileStamp::of(quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
                         nanoseconds(st.st_mtim), nanoseconds(st.st_ctim));
}

Result cannotRead(const QString& path, int error) {
    if (error == ENOENT || error == ENOTDIR)
        return Result::failure(QStringLiteral("log file missing: %1").arg(path));
    return Result::failure(QStringLiteral("cannot read %1: %2").arg(path, errnoText(error)));
}

Result notALogFile(const QString& path, mode_t mode) {
    return Result::failure(QStringLiteral("%1 is %2, not a log file").arg(path, kindOf(mode)));
}

Result cannotWrite(const QString& path, int error) {
    return Result::failure(QStringLiteral("cannot write %1: %2").arg(path, errnoText(error)));
}

Result changedMeanwhile(const QString& path) {
    return Result::failure(
        QStringLiteral("%1 was changed by someone else while it was written; not written")
            .arg(path));
}

// Write all of bytes at offset 0: one write, more only if the system takes
// less at once. False with errno set when a write fails.
bool writeWhole(int fd, const QByteArray& bytes, const WriteSteps& steps) {
    qint64 done = 0;
    while (done < bytes.size()) {
        const void* data = bytes.constData() + done;
        const size_t size = size_t(bytes.size() - done);
        const ssize_t n = steps.write ? steps.write(fd, data, size, off_t(done))
                                      : ::pwrite(fd, data, size, off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        done += n;
    }
    return true;
}

bool syncFile(int fd, const WriteSteps& steps) {
    for (;;) {
        const int status = steps.sync ? steps.sync(fd) : ::fsync(fd);
        if (status == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

// A new, empty file beside `name` in the folder, created with 0666 less the
// umask (the mode of any new file). Returns 0 or the errno of the creation.
int createTemporary(int folder, const QByteArray& name, Descriptor& file, QByteArray& tempName) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        tempName = '.' + name.left(64) + ".tw-" +
                   QByteArray::number(QRandomGenerator::global()->generate64(), 36);
        const int fd = ::openat(folder, tempName.constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            file.reset(fd);
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

// The whole content into the temporary file, the old file's owner (where
// this user may give it) and mode, then renamed over the name: a reader
// opens the old file or the new one, never half of one. Nothing is renamed
// before every write, the fsync and the close have worked, so a full disk
// leaves the old file as it was.
Result replace(const QString& path, int folder, const QByteArray& name, Descriptor& temp,
               const QByteArray& tempName, const struct stat* old, const QByteArray& bytes,
               const WriteSteps& steps, std::optional<unsigned> mode) {
    const auto fail = [&](int error) {
        temp.reset();
        ::unlinkat(folder, tempName.constData(), 0);
        return cannotWrite(path, error);
    };
    if (!writeWhole(temp.get(), bytes, steps))
        return fail(errno);
    if (old && ::fchown(temp.get(), old->st_uid, old->st_gid) != 0) {
        // Only root may give a file away: it stays the user's own.
    }
    if (mode || old) {
        if (::fchmod(temp.get(), mode ? mode_t(*mode) : (old->st_mode & 07777)) != 0)
            return fail(errno);
    }
    if (!syncFile(temp.get(), steps) || !temp.close())
        return fail(errno);
    // renameat replaces whatever entry holds the name now; a symbolic link
    // planted there meanwhile is replaced itself, never written through.
    if (::renameat(folder, tempName.constData(), folder, name.constData()) != 0)
        return fail(errno);
    // The rename itself on disk, where the folder can be synced.
    const Descriptor entries(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (entries)
        ::fsync(entries.get());
    return Result::success();
}

// The old content, to be put back if the new one cannot be written whole;
// nullopt when it cannot be read (or is too large to hold).
std::optional<QByteArray> oldContent(int fd, off_t size) {
    constexpr off_t MostKept = 16 * 1024 * 1024;
    if (size > MostKept)
        return std::nullopt;
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    qsizetype got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + got, size_t(bytes.size() - got), off_t(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return std::nullopt;
        got += n;
    }
    return bytes;
}

// The file itself rewritten: its whole content at offset 0 in one write,
// then cut to its length, so that a reader never sees half a line for longer
// than one write. Every hard link sees the new content. The new length is
// reserved first, so that a full disk is found before anything changes; a
// write that fails all the same puts the old bytes back.
Result rewriteInPlace(const QString& path, int folder, const QByteArray& name,
                      const struct stat& seen, const QByteArray& bytes, const WriteSteps& steps,
                      std::optional<unsigned> mode) {
    // O_NOFOLLOW and O_NONBLOCK: a link or FIFO swapped in since the look
    // is neither followed nor waited on.
    Descriptor file(::openat(folder, name.constData(),
                             O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file && (errno == EACCES || errno == EPERM))
        file.reset(::openat(folder, name.constData(),
                            O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file)
        return errno == ELOOP ? changedMeanwhile(path) : cannotWrite(path, errno);
    struct stat st;
    if (::fstat(file.get(), &st) != 0)
        return cannotWrite(path, errno);
    if (!S_ISREG(st.st_mode) || st.st_dev != seen.st_dev || st.st_ino != seen.st_ino)
        return changedMeanwhile(path);
    if (off_t(bytes.size()) > st.st_size &&
        ::fallocate(file.get(), 0, 0, off_t(bytes.size())) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS) {
        const int error = errno;
        if (::ftruncate(file.get(), st.st_size) != 0) {
            // The old length could not be set back; the error that counts is the first.
        }
        return cannotWrite(path, error);
    }
    const std::optional<QByteArray> old = oldContent(file.get(), st.st_size);
    if (!writeWhole(file.get(), bytes, steps) ||
        ::ftruncate(file.get(), off_t(bytes.size())) != 0 || !syncFile(file.get(), steps)) {
        const int error = errno;
        if (old && writeWhole(file.get(), *old, WriteSteps{}) &&
            ::ftruncate(file.get(), st.st_size) == 0)
            ::fsync(file.get());
        return cannotWrite(path, error);
    }
    if (mode && ::fchmod(file.get(), mode_t(*mode)) != 0)
        return cannotWrite(path, errno);
    if (!file.close())
        return cannotWrite(path, errno);
    return Result::success();
}

Result writeThrough(const QString& given, const QByteArray& bytes, const WriteSteps& steps,
                    std::optional<unsigned> mode) {
    if (given.isEmpty())
        return Result::failure(QStringLiteral("cannot write file: empty path"));
    // The folder's descriptor, the name in it and what is there now, after
    // the links that may be followed.
    const WriteTarget target(given);
    const QString& path = target.path;
    switch (target.problem) {
    case WriteTarget::Problem::None:
        break;
    case WriteTarget::Problem::NotAName:
        return Result::failure(QStringLiteral("cannot write %1: not a file name").arg(path));
    case WriteTarget::Problem::Error:
        return cannotWrite(path, target.error);
    case WriteTarget::Problem::ForeignLink:
        return Result::failure(
            QStringLiteral("%1 is a symbolic link owned by another user; not written").arg(path));
    case WriteTarget::Problem::TooManyLinks:
        return Result::failure(
            QStringLiteral("cannot write %1: too many symbolic links").arg(path));
    case WriteTarget::Problem::ChangedMeanwhile:
        return changedMeanwhile(path);
    }
    const bool exists = target.exists;
    const struct stat& st = target.entry;
    const auto& folder = target.folder;
    const QByteArray& name = target.name;
    if (exists && !S_ISREG(st.st_mode))
        return Result::failure(QStringLiteral("%1 is %2, not a regular file; not written")
                                   .arg(path, kindOf(st.st_mode)));

    // A file with other names is rewritten in place (replacing it would
    // leave them the old value); otherwise a temporary file is tried first.
    const unsigned links = exists ? unsigned(st.st_nlink) : 0U;
    WriteWay way = chooseWriteWay(exists, links, false);
    Descriptor temp;
    QByteArray tempName;
    if (way == WriteWay::Replace) {
        const int error = createTemporary(folder.get(), name, temp, tempName);
        const bool refused = error == EACCES || error == EPERM || error == EROFS;
        if (error != 0 && !refused)
            return cannotWrite(path, error);
        if (refused)
            way = chooseWriteWay(exists, links, true);
        if (way == WriteWay::Refuse)
            return cannotWrite(path, error);
    }
    if (way == WriteWay::InPlace)
        return rewriteInPlace(path, folder.get(), name, st, bytes, steps, mode);
    return replace(path, folder.get(), name, temp, tempName, exists ? &st : nullptr, bytes, steps,
                   mode);
}

} // namespace

bool writeFollowsLink(const LinkSeen& link) {
    const auto [linkOwner, user, folderOwner, folderMode] = link;
    if (linkOwner == user)
        return true;
    return linkOwner == 0 && folderOwner == 0 && (folderMode & (S_IWGRP | S_IWOTH)) == 0;
}

namespace posix {

namespace {

// The links at the last name followed one by one; see WriteTarget.
void lookUp(WriteTarget& t) {
    QString& path = t.path;
    QString& folderPath = t.folderPath;
    QByteArray& name = t.name;
    auto& folder = t.folder;
    struct stat& entry = t.entry;
    for (int hops = 0;; ++hops) {
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        folderPath = slash < 0    ? QStringLiteral(".")
                     : slash == 0 ? QStringLiteral("/")
                                  : path.left(slash);
        name = QFile::encodeName(path.mid(slash + 1));
        const auto fail = [&t](WriteTarget::Problem why, int code = 0) {
            t.problem = why;
            t.error = code;
        };
        if (name.isEmpty() || name == "." || name == "..")
            return fail(WriteTarget::Problem::NotAName);

        // Everything below is relative to the folder's descriptor, so the
        // folder cannot be swapped under the checks.
        if (folder.fd >= 0)
            ::close(folder.fd);
        folder.fd = ::open(QFile::encodeName(folderPath).constData(), FolderFlags);
        if (folder.fd < 0 || ::fstat(folder.fd, &t.folderInfo) != 0)
            return fail(WriteTarget::Problem::Error, errno);
        t.exists = true;
        if (::fstatat(folder.fd, name.constData(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                return fail(WriteTarget::Problem::Error, errno);
            t.exists = false;
        }
        if (!t.exists || !S_ISLNK(entry.st_mode))
            return;

        if (!writeFollowsLink(
                {entry.st_uid, ::geteuid(), t.folderInfo.st_uid, t.folderInfo.st_mode}))
            return fail(WriteTarget::Problem::ForeignLink);
        if (hops >= WriteTarget::MaxLinkHops)
            return fail(WriteTarget::Problem::TooManyLinks);
        char target[PATH_MAX];
        const ssize_t length = ::readlinkat(folder.fd, name.constData(), target, sizeof target);
        if (length < 0)
            return fail(WriteTarget::Problem::Error, errno);
        if (size_t(length) >= sizeof target)
            return fail(WriteTarget::Problem::Error, ENAMETOOLONG);
        // A link's text never changes; a different link under the name now
        // means that someone swapped it after the owner was checked.
        struct stat again;
        if (::fstatat(folder.fd, name.constData(), &again, AT_SYMLINK_NOFOLLOW) != 0 ||
            again.st_ino != entry.st_ino || again.st_dev != entry.st_dev ||
            again.st_uid != entry.st_uid)
            return fail(WriteTarget::Problem::ChangedMeanwhile);
        QString next = QFile::decodeName(QByteArray(target, qsizetype(length)));
        if (!next.startsWith(QLatin1Char('/')))
            next = folderPath + QLatin1Char('/') + next;
        // The target under the same rules: its folder, its own links.
        path = next;
    }
}

} // namespace

WriteTarget::WriteTarget(const QString& given) : path(given) {
    lookUp(*this);
}

WriteTarget::~WriteTarget() {
    if (folder.fd >= 0)
        ::close(folder.fd);
}

} // namespace posix

WriteWay chooseWriteWay(bool exists, unsigned links, bool folderRefusesNewFile) {
    if (exists && links > 1)
        return WriteWay::InPlace;
    if (!folderRefusesNewFile)
        return WriteWay::Replace;
    return exists ? WriteWay::InPlace : WriteWay::Refuse;
}

FileRead LocalFileSystem::readFile(const QString& path, qint64 maxBytes) {
    FileRead read;
    if (path.isEmpty()) {
        read.result = cannotRead(path, ENOENT);
        return read;
    }
    const RegularRead file =
        readRegularFile(AT_FDCWD, QFile::encodeName(path).constData(), maxBytes);
    if (file.error != 0) {
        read.result = cannotRead(path, file.error);
        return read;
    }
    if (file.notRegular) {
        read.result = notALogFile(path, file.info.st_mode);
        return read;
    }
    read.stamp = stampOf(file.info);
    read.fullSize = qint64(file.info.st_size);
    read.bytes = file.bytes;
    // A file that grew between the fstat and the read is still cut at the cap.
    read.truncated = file.truncated;
    return read;
}

FileStamp LocalFileSystem::stamp(const QString& path) {
    struct stat st;
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return stampOf(st);
}

Result writeFileWhole(const QString& path, const QByteArray& bytes, const WriteSteps& steps,
                      std::optional<unsigned> mode) {
    return writeThrough(path, bytes, steps, mode);
}

Result LocalFileSystem::writeFile(const QString& path, const QByteArray& bytes) {
    return writeFileWhole(path, bytes, steps_);
}

Result LocalFileSystem::appendFile(const QString& path, const QByteArray& bytes) {
    if (path.isEmpty())
        return Result::failure(QStringLiteral("cannot write file: empty path"));
    // O_NONBLOCK: a FIFO without a reader fails at once (ENXIO), one with a
    // reader is refused by the fstat below; neither is waited on.
    const Descriptor file(::open(QFile::encodeName(path).constData(),
                                 O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                                 0666));
    if (!file)
        return cannotWrite(path, errno == ENXIO ? EPIPE : errno);
    struct stat st;
    if (::fstat(file.get(), &st) != 0)
        return cannotWrite(path, errno);
    if (!S_ISREG(st.st_mode))
        return Result::failure(QStringLiteral("%1 is %2, not a regular file; not written")
                                   .arg(path, kindOf(st.st_mode)));
    qint64 done = 0;
    while (done < bytes.size()) {
        const void* data = bytes.constData() + done;
        const size_t size = size_t(bytes.size() - done);
        const ssize_t n = steps_.write ? steps_.write(file.get(), data, size, st.st_size + done)
                                       : ::write(file.get(), data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n == 0 ? EIO : errno;
            // Half a line taken back.
            if (::ftruncate(file.get(), st.st_size) != 0) {
                // The first error is the one that counts.
            }
            return cannotWrite(path, error);
        }
        done += n;
    }
    return Result::success();
}

QString LocalFileSystem::decodeLocal(const QByteArray& bytes) const {
    return QString::fromLocal8Bit(bytes);
}

QByteArray LocalFileSystem::encodeLocal(const QString& text) const {
    return text.toLocal8Bit();
}

} // namespace tw::platform
