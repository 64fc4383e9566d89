// Paths and files as the operating system sees them. A path keeps the exact bytes it was given:
// bytes that are no part of valid UTF-8 travel inside a QString as the code units U+DC80 to
// U+DCFF and turn back into themselves on the way to the file system, so a file whose name is
// not UTF-8 is still found, and an output is written under the name that was asked for.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <sys/types.h>

namespace ldweave {

/// A path's bytes as a QString: valid UTF-8 decoded, every other byte kept as U+DC80 + byte.
QString pathFromBytes(const QByteArray &bytes);
/// The bytes of a QString made by pathFromBytes (or of any text): U+DC80 to U+DCFF become the
/// byte they stand for, everything else is UTF-8.
QByteArray pathToBytes(const QString &path);

/// The operating system's text for an error number ("No space left on device").
QString systemErrorText(int error);

/// What a path names, links followed.
enum class FileKind {
    Missing,   ///< nothing, or a dangling link
    Regular,   ///< a regular file
    Directory, ///< a folder
    Special,   ///< a device, FIFO or socket
};

/// The device and inode of a file, links followed: two paths name the same file when these are
/// equal.
struct FileIdentity
{
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity &other) const
    {
        return device == other.device && inode == other.inode;
    }
};

/// The kind of what path names; `identity`, when given, receives the file's identity.
FileKind fileKind(const QString &path, FileIdentity *identity = nullptr);
/// The identity of the file path names, links followed; none when nothing is there.
std::optional<FileIdentity> fileIdentity(const QString &path);

/// The path with its symbolic links followed, as far as they lead: the path a write should
/// replace so that a link at the given path stays a link. A path that is no link is returned
/// as it is; a link cycle ends after 40 steps at the last name reached.
QString followLinks(const QString &path);

/// The size in bytes of the regular file at path, links followed; 0 for anything else.
int64_t fileSize(const QString &path);

/// When the file at path, links followed, was last modified, in milliseconds since 1970-01-01
/// UTC; none when nothing is there. Read without Qt's date types, so asking costs no time-zone
/// set-up.
std::optional<int64_t> modificationTime(const QString &path);

/// Whether the file at path can be written by this process.
bool isWritableFile(const QString &path);

/// The whole content of the regular file at path (links followed); none when it cannot be read,
/// with failure set to the system's reason ("No such file or directory", "Is a directory") or
/// "not a regular file".
std::optional<QByteArray> readRegularFile(const QString &path, QString &failure);

/// Whether the regular file at path begins with `prefix`; false when it cannot be read.
bool fileBeginsWith(const QString &path, char prefix);

} // namespace ldweave
