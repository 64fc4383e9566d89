// The compare-while-writing and rename of OutputFile; QSaveFile supplies the temporary file and
// the rename.
#include "ldscript/output_file.h"

#include "base/hexception.h"

#include <QFileInfo>

#include <cstring>

namespace ldweave {

OutputFile::OutputFile(const QString &path)
    : m_path(path)
    , m_file(path)
    , m_existing(path)
{
    // Decision: without direct-write fallback a folder where no temporary file can be made
    // fails the open, rather than writing the path in place where a reader could see it half
    // written.
    m_file.setDirectWriteFallback(false);
    if (!m_file.open(QIODevice::WriteOnly))
        throw HException(QStringLiteral("cannot open ") + path + " for writing");
    m_sameSoFar = QFileInfo(path).isFile() && m_existing.open(QIODevice::ReadOnly);
    open(QIODevice::WriteOnly);
}

qint64 OutputFile::writeData(const char *data, qint64 size)
{
    if (m_file.write(data, size) != size) {
        m_writeFailed = true;
        return -1;
    }
    if (m_sameSoFar) {
        m_compared.resize(size);
        m_sameSoFar = m_existing.read(m_compared.data(), size) == size
                      && std::memcmp(m_compared.constData(), data, size) == 0;
    }
    return size;
}

bool OutputFile::commit()
{
    // Whatever the existing file holds beyond what was written makes it differ as well.
    const bool unchanged = m_sameSoFar && m_existing.atEnd();
    m_existing.close();
    m_compared = QByteArray();
    close();
    if (unchanged && !m_writeFailed) {
        m_file.cancelWriting();
        m_file.commit(); // discards the temporary file and leaves the path alone
        return false;
    }
    if (m_writeFailed || !m_file.commit())
        throw HException(QStringLiteral("cannot write ") + m_path);
    return true;
}

bool OutputFile::commit(const QByteArray &content)
{
    write(content);
    return commit();
}

} // namespace ldweave
