#include "base/hexception.h"
#include "ldscript/output_file.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ldweave {
namespace {

class OutputFileTest : public ::testing::Test
{
protected:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QStringList entries() const { return QDir(m_dir.path()).entryList(QDir::Files); }
    QByteArray content(const QString &name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }
    void write(const QString &name, const QByteArray &bytes, const QDateTime &modified)
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        ASSERT_TRUE(file.flush());
        ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
    }

    QTemporaryDir m_dir;
    // A fixed time in the past, so "kept" and "replaced" do not depend on the clock's resolution.
    const QDateTime m_old = QDateTime::fromSecsSinceEpoch(1000000000);
};

TEST_F(OutputFileTest, ReplacesOnlyWhatDiffers)
{
    struct Row
    {
        const char *before; // nullptr: no file before
        const char *after;
        bool replaced;
    };
    const Row rows[] = {
        {nullptr, "new\n", true}, {"same\n", "same\n", false},
        {"old\n", "new\n", true}, {"prefix\n", "prefix\nlonger\n", true},
        {"abc\n", "abd\n", true}, // same size, different bytes
        {"prefix\nlonger\n", "prefix\n", true}, // the old file goes on beyond the new one
        {"", "", false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.after);
        QFile::remove(path("out.ld"));
        if (row.before)
            write("out.ld", row.before, m_old);
        {
            OutputFile file(path("out.ld"));
            EXPECT_EQ(file.commit(row.after), row.replaced);
        }
        EXPECT_EQ(content("out.ld"), QByteArray(row.after));
        const QDateTime modified = QFileInfo(path("out.ld")).lastModified();
        if (row.before) {
            EXPECT_EQ(modified == m_old, !row.replaced);
        }
        EXPECT_EQ(entries(), QStringList{"out.ld"}); // no temporary file stays behind
    }
}

TEST_F(OutputFileTest, AbandonedWriteLeavesTheOldFileAndNoTemporary)
{
    write("out.ld", "old\n", m_old);
    {
        OutputFile file(path("out.ld"));
    }
    EXPECT_EQ(content("out.ld"), QByteArray("old\n"));
    EXPECT_EQ(entries(), QStringList{"out.ld"});
}

TEST_F(OutputFileTest, MissingFolderCannotBeOpened)
{
    const QString missing = path("no/such/out.ld");
    try {
        OutputFile file(missing);
        FAIL() << "opened a file in a missing folder";
    } catch (const HException &error) {
        EXPECT_EQ(error.message(), ("cannot open " + missing + " for writing").toStdString());
    }
}

} // namespace
} // namespace ldweave
