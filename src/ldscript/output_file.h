// OutputFile: a file the tool writes whole, atomically and only when its content changes.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <QSaveFile>
#include <QString>

namespace ldweave {

/// A write-only device that streams into a temporary file in the folder of the path and, on
/// commit, renames it over the path only when the path does not already hold exactly the same
/// bytes. A reader of the path therefore sees the old file or the complete new one, never a
/// partial one, and a file that would not change keeps its modification time, so a build does
/// not redo what depends on it. The existing file is compared while the content is written, so
/// nothing is held in memory whole. The temporary file is removed when the object goes without a
/// commit (an error passing).
class OutputFile final : public QIODevice
{
public:
    /// Throws HException "cannot open <path> for writing" when the temporary file cannot be
    /// created (a missing or read-only folder).
    explicit OutputFile(const QString &path);

    /// Puts what was written at the path unless it is there already. Returns whether the file
    /// was replaced; throws HException "cannot write <path>" when a write or the rename fails.
    bool commit();
    /// Writes content and commits it.
    bool commit(const QByteArray &content);

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    QString m_path;
    QSaveFile m_file;
    QFile m_existing;       ///< the file at the path, read alongside what is written
    bool m_sameSoFar;       ///< everything written so far equals the existing file's start
    bool m_writeFailed = false;
    QByteArray m_compared;  ///< scratch space for the existing file's bytes
};

} // namespace ldweave
