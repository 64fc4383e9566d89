// The temporary file, the compare-while-writing and the rename of OutputFile, with the C
// library, so that every write, the flush to disk and the rename are checked one by one.
#include "ldscript/output_file.h"

#include "base/file_system.h"
#include "base/hexception.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ldweave {

namespace {

[[noreturn]] void throwOpenError(const QString &path, int error)
{
    throw HException(QStringLiteral("cannot open ") + path + " for writing",
                     path + QStringLiteral(": ") + systemErrorText(error));
}

// Writes all bytes; false with errno set when the system refuses.
bool writeAll(int descriptor, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t written = ::write(descriptor, data, size_t(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

// The permissions a new file gets: those of the file it replaces, else what the process's mask
// allows of read and write for everyone.
mode_t permissionsFor(int existing)
{
    struct stat status;
    if (existing >= 0 && ::fstat(existing, &status) == 0)
        return status.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

OutputFile::OutputFile(const QString &path)
    : m_path(path)
{
    if (path.isEmpty())
        throwOpenError(path, ENOENT);
    const FileKind kind = fileKind(path);
    if (kind == FileKind::Directory)
        throwOpenError(path, EISDIR);
    if (kind == FileKind::Special) {
        // Decision: a device, FIFO or socket is written in place and never replaced or removed:
        // it is not ours to replace. It is opened without blocking, so a FIFO nobody reads
        // fails at once instead of hanging the build, and written blocking afterwards.
        m_target = pathToBytes(path);
        m_descriptor
            = ::open(m_target.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (m_descriptor < 0)
            throwOpenError(path, errno);
        ::fcntl(m_descriptor, F_SETFL, ::fcntl(m_descriptor, F_GETFL) & ~O_NONBLOCK);
    } else {
        // Decision: a symbolic link is followed, so the file it points to is replaced and the
        // link stays in place.
        m_target = pathToBytes(followLinks(path));
        const qsizetype slash = m_target.lastIndexOf('/');
        const QByteArray folder = slash < 0 ? QByteArray(".") : m_target.left(slash + 1);
        QByteArray pattern = folder + (folder.endsWith('/') ? "" : "/") + ".ldweave-XXXXXX";
        m_descriptor = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (m_descriptor < 0)
            throwOpenError(path, errno);
        m_temporaryPath = pattern;
        if (kind == FileKind::Regular) {
            m_existing = ::open(m_target.constData(), O_RDONLY | O_CLOEXEC);
            m_sameSoFar = m_existing >= 0;
        }
    }
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

OutputFile::~OutputFile()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    if (m_existing >= 0)
        ::close(m_existing);
    if (!m_temporaryPath.isEmpty())
        ::unlink(m_temporaryPath.constData());
}

qint64 OutputFile::writeData(const char *data, qint64 size)
{
    // After a failure the bytes are dropped rather than refused: a refused write would stay in
    // the text stream's buffer and grow it until the writer stops.
    if (m_error != 0)
        return size;
    if (!writeAll(m_descriptor, data, size)) {
        m_error = errno;
        return size;
    }
    if (m_sameSoFar)
        compareWithExisting(data, size);
    return size;
}

void OutputFile::compareWithExisting(const char *data, qint64 size)
{
    m_compared.resize(size);
    qint64 read = 0;
    while (read < size) {
        const ssize_t got = ::read(m_existing, m_compared.data() + read, size_t(size - read));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        read += got;
    }
    m_sameSoFar = read == size && std::memcmp(m_compared.constData(), data, size_t(size)) == 0;
}

void OutputFile::checkWrites() const
{
    if (m_error != 0)
        throwWriteError();
}

void OutputFile::throwWriteError() const
{
    throw HException(QStringLiteral("cannot write ") + m_path,
                     m_path + QStringLiteral(": ") + systemErrorText(m_error));
}

bool OutputFile::commit()
{
    close();
    checkWrites();
    if (m_temporaryPath.isEmpty()) {
        const int descriptor = std::exchange(m_descriptor, -1);
        if (::close(descriptor) != 0 && errno != EINTR) {
            m_error = errno;
            throwWriteError();
        }
        return true;
    }

    // Whatever the existing file holds beyond what was written makes it differ as well.
    char extra = 0;
    const bool unchanged = m_sameSoFar && ::read(m_existing, &extra, 1) == 0;
    const mode_t permissions = permissionsFor(m_existing);
    if (m_existing >= 0)
        ::close(std::exchange(m_existing, -1));
    if (unchanged)
        return false; // the destructor removes the temporary file and leaves the path alone

    const int descriptor = std::exchange(m_descriptor, -1);
    const bool complete = ::fchmod(descriptor, permissions) == 0 && ::fsync(descriptor) == 0;
    if (!complete)
        m_error = errno;
    if (::close(descriptor) != 0 && m_error == 0 && errno != EINTR)
        m_error = errno;
    if (m_error == 0 && ::rename(m_temporaryPath.constData(), m_target.constData()) != 0)
        m_error = errno;
    checkWrites();
    m_temporaryPath.clear();
    return true;
}

bool OutputFile::commit(const QByteArray &content)
{
    write(content);
    return commit();
}

} // namespace ldweave
