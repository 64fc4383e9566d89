// OutputFile: a file the tool writes whole, atomically and only when its content changes.
#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

namespace ldweave {

/// Opens a temporary file in the folder of the path at construction and, on commit, renames it
/// over the path only when the path does not already hold exactly the same bytes. A reader of
/// the path therefore sees the old file or the complete new one, never a partial one, and a file
/// that would not change keeps its modification time, so a build does not redo what depends on
/// it. The temporary file is removed when the object goes without a commit (an error passing).
class OutputFile
{
public:
    /// Throws HException "cannot open <path> for writing" when the temporary file cannot be
    /// created (a missing or read-only folder).
    explicit OutputFile(const QString &path);
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    /// Puts content at the path unless it is there already. Returns whether the file was
    /// replaced; throws HException "cannot write <path>" when the rename or a write fails.
    bool commit(const QByteArray &content);

private:
    QString m_path;
    QSaveFile m_file;
};

} // namespace ldweave
