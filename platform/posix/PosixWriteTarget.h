#pragma once
// Inside the POSIX platform only: where a write to a path lands. The files
// the program writes for others (LocalFileSystem) and the log a batch line
// sends its client's output to (PosixProcessStarter) follow symbolic links
// by this one rule, writeFollowsLink.

#include "platform/posix/PosixFiles.h"

#include <QByteArray>
#include <QString>

#include <sys/stat.h>

namespace tw::platform::posix {

// The entry that a write to `path` reaches once the symbolic links at its
// last name have been followed, each only when writeFollowsLink allows it.
// Every look is relative to the folder's own descriptor (O_PATH), so that
// the folder cannot be swapped under the checks; whoever then opens `name`
// in `folder` passes O_NOFOLLOW, so that a link planted after the look is
// never followed.
class WriteTarget {
public:
    enum class Problem {
        None,
        NotAName,         // the last name is empty, "." or ".."
        Error,            // `error` holds the errno (no such folder, refused, ...)
        ForeignLink,      // a link that the rule does not follow
        TooManyLinks,     // more than MaxLinkHops links in a row
        ChangedMeanwhile, // a link was swapped while it was looked at
    };
    static constexpr int MaxLinkHops = 8;

    explicit WriteTarget(const QString& path);
    ~WriteTarget();
    WriteTarget(const WriteTarget&) = delete;
    WriteTarget& operator=(const WriteTarget&) = delete;

    Problem problem = Problem::None;
    int error = 0;
    // The path the last look was made at: the one written when there is no
    // problem (after the links), otherwise where the problem was met.
    QString path;
    QString folderPath;
    QByteArray name; // the last name, in the file system's encoding
    struct Folder {
        int fd = -1; // the folder's descriptor, closed with this object
        int get() const { return fd; }
    } folder;
    bool exists = false;
    struct stat entry {}; // the entry under `name` (never a link) when it exists
    struct stat folderInfo {};
};

} // namespace tw::platform::posix
