// The path byte conversion and the few file system questions the tool asks, answered with the C
// library so that a path reaches the system with exactly its own bytes.
#include "base/file_system.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ldweave {

namespace {

constexpr char16_t kEscapedByteBase = 0xDC00;

// The length of the valid UTF-8 sequence at bytes[i], or 0 when none starts there.
int validSequenceLength(const unsigned char *bytes, qsizetype size, qsizetype i)
{
    const unsigned char lead = bytes[i];
    int length = 0;
    uint32_t codePoint = 0;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > size)
        return 0;
    for (int k = 1; k < length; ++k) {
        if ((bytes[i + k] & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (bytes[i + k] & 0x3F);
    }
    const bool overlong = (length == 3 && codePoint < 0x800) || (length == 4 && codePoint < 0x10000);
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    if (overlong || surrogate || codePoint > 0x10FFFF)
        return 0;
    return length;
}

} // namespace

QString pathFromBytes(const QByteArray &bytes)
{
    QString path;
    path.reserve(bytes.size());
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype size = bytes.size();
    qsizetype i = 0;
    while (i < size) {
        const int length = validSequenceLength(data, size, i);
        if (length == 0) {
            path += QChar(char16_t(kEscapedByteBase + data[i]));
            ++i;
        } else {
            path += QString::fromUtf8(bytes.constData() + i, length);
            i += length;
        }
    }
    return path;
}

QByteArray pathToBytes(const QString &path)
{
    QByteArray bytes;
    bytes.reserve(path.size());
    qsizetype runStart = 0;
    const auto flush = [&](qsizetype end) {
        if (end > runStart)
            bytes += QStringView(path).sliced(runStart, end - runStart).toUtf8();
    };
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t unit = path.at(i).unicode();
        const bool escapedByte = unit >= kEscapedByteBase + 0x80 && unit <= kEscapedByteBase + 0xFF;
        // A low surrogate right after a high one is half of a real character.
        const bool paired = i > 0 && path.at(i - 1).isHighSurrogate();
        if (escapedByte && !paired) {
            flush(i);
            bytes += char(unit - kEscapedByteBase);
            runStart = i + 1;
        }
    }
    flush(path.size());
    return bytes;
}

QString systemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

FileKind fileKind(const QString &path, FileIdentity *identity)
{
    struct stat status;
    if (::stat(pathToBytes(path).constData(), &status) != 0)
        return FileKind::Missing;
    if (identity)
        *identity = FileIdentity{status.st_dev, status.st_ino};
    if (S_ISREG(status.st_mode))
        return FileKind::Regular;
    if (S_ISDIR(status.st_mode))
        return FileKind::Directory;
    return FileKind::Special;
}

std::optional<FileIdentity> fileIdentity(const QString &path)
{
    FileIdentity identity;
    if (fileKind(path, &identity) == FileKind::Missing)
        return std::nullopt;
    return identity;
}

QString followLinks(const QString &path)
{
    // Decision: links are followed by hand rather than by realpath(), which needs every step to
    // exist: a link to a file not yet written must lead to where that file is to be written.
    QByteArray current = pathToBytes(path);
    for (int step = 0; step < 40; ++step) {
        QByteArray target(4096, '\0');
        const ssize_t length = ::readlink(current.constData(), target.data(), target.size());
        if (length < 0 || length >= target.size())
            break;
        target.truncate(length);
        if (!target.startsWith('/')) {
            const qsizetype slash = current.lastIndexOf('/');
            if (slash >= 0)
                target.prepend(current.left(slash + 1));
        }
        current = target;
    }
    return pathFromBytes(current);
}

int64_t fileSize(const QString &path)
{
    struct stat status;
    if (::stat(pathToBytes(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return 0;
    return int64_t(status.st_size);
}

std::optional<int64_t> modificationTime(const QString &path)
{
    struct stat status;
    if (::stat(pathToBytes(path).constData(), &status) != 0)
        return std::nullopt;
    return int64_t(status.st_mtim.tv_sec) * 1000 + int64_t(status.st_mtim.tv_nsec) / 1000000;
}

bool isWritableFile(const QString &path)
{
    return ::access(pathToBytes(path).constData(), W_OK) == 0;
}

// Decision: only a regular file is read, opened without blocking and checked before the first
// read, as the XML loader does: a FIFO nobody writes cannot hang the run, and a device cannot
// feed it without end.
std::optional<QByteArray> readRegularFile(const QString &path, QString &failure)
{
    const int descriptor = ::open(pathToBytes(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        failure = systemErrorText(errno);
        return std::nullopt;
    }
    struct stat status;
    std::optional<QByteArray> content;
    if (::fstat(descriptor, &status) != 0) {
        failure = systemErrorText(errno);
    } else if (!S_ISREG(status.st_mode)) {
        failure = S_ISDIR(status.st_mode) ? systemErrorText(EISDIR)
                                          : QStringLiteral("not a regular file");
    } else {
        content.emplace();
        char chunk[65536];
        ssize_t count;
        while ((count = ::read(descriptor, chunk, sizeof chunk)) > 0)
            content->append(chunk, count);
        if (count < 0) {
            failure = systemErrorText(errno);
            content.reset();
        }
    }
    ::close(descriptor);
    return content;
}

bool fileBeginsWith(const QString &path, char prefix)
{
    const int descriptor = ::open(pathToBytes(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    struct stat status;
    char first = 0;
    const bool begins = ::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode)
                        && ::read(descriptor, &first, 1) == 1 && first == prefix;
    ::close(descriptor);
    return begins;
}

} // namespace ldweave
