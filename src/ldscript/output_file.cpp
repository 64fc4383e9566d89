// The compare-then-rename of OutputFile; QSaveFile supplies the temporary file and the rename.
#include "ldscript/output_file.h"

#include "xml/hexception.h"

#include <QFile>
#include <QFileInfo>

namespace ldweave {

namespace {

bool holdsExactly(const QString &path, const QByteArray &content)
{
    QFile existing(path);
    const QFileInfo info(path);
    // The size is compared first, so a differing file is usually not read at all.
    if (!info.isFile() || info.size() != content.size() || !existing.open(QIODevice::ReadOnly))
        return false;
    return existing.readAll() == content;
}

} // namespace

OutputFile::OutputFile(const QString &path)
    : m_path(path)
    , m_file(path)
{
    // Decision: without direct-write fallback a folder where no temporary file can be made
    // fails the open, rather than writing the path in place where a reader could see it half
    // written.
    m_file.setDirectWriteFallback(false);
    if (!m_file.open(QIODevice::WriteOnly))
        throw HException(QStringLiteral("cannot open ") + path + " for writing");
}

bool OutputFile::commit(const QByteArray &content)
{
    if (holdsExactly(m_path, content)) {
        m_file.cancelWriting();
        m_file.commit(); // discards the temporary file and leaves the path alone
        return false;
    }
    if (m_file.write(content) != content.size() || !m_file.commit())
        throw HException(QStringLiteral("cannot write ") + m_path);
    return true;
}

} // namespace ldweave
