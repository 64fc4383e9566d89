// OutputFile: a file the tool writes whole, atomically and only when its content changes.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

namespace ldweave {

/// A write-only device for one output of the run. For a regular file (or none yet) it streams
/// into a temporary file in the same folder and, on commit, renames it over the path only when
/// the path does not already hold exactly the same bytes: a reader sees the old file or the
/// complete new one, and an unchanged file keeps its modification time, so a build does not redo
/// what depends on it. A symbolic link at the path is followed and stays a link. A device, FIFO
/// or socket is written in place and never replaced. Every write is checked; after the first
/// failure nothing more is written, and the temporary file is removed when the object goes
/// without a successful commit.
class OutputFile final : public QIODevice
{
public:
    /// Throws HException "cannot open <path> for writing" when the file cannot be opened (a
    /// missing or read-only folder, a FIFO nobody reads); its detail names the system's reason.
    explicit OutputFile(const QString &path);
    ~OutputFile() override;

    /// Whether a write has failed; everything written after the first failure is dropped.
    bool hasFailed() const { return m_error != 0; }
    /// Throws HException "cannot write <path>" when a write has failed.
    void checkWrites() const;

    /// Puts what was written at the path unless it is there already. Returns whether the file
    /// was replaced or written; throws HException "cannot write <path>" when a write, the flush
    /// to disk or the rename failed, and then leaves the path as it was.
    bool commit();
    /// Writes content and commits it.
    bool commit(const QByteArray &content);

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    [[noreturn]] void throwWriteError() const;
    void compareWithExisting(const char *data, qint64 size);

    QString m_path;             ///< as given; named in messages
    QByteArray m_target;        ///< the file written or replaced: the path with links followed
    QByteArray m_temporaryPath; ///< the temporary file; empty when writing in place
    int m_descriptor = -1;      ///< the temporary file, or the special file written in place
    int m_existing = -1;        ///< the regular file at the target, read alongside; -1 for none
    bool m_sameSoFar = false;   ///< everything written so far equals the existing file's start
    int m_error = 0;            ///< the system's error number of the first failed write
    QByteArray m_compared;      ///< scratch space for the existing file's bytes
};

/// A write-only device that keeps nothing: where a check lays out a script it does not write.
class DiscardingDevice final : public QIODevice
{
public:
    DiscardingDevice() { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64 size) override { return size; }
};

} // namespace ldweave
