#include <gtest/gtest.h>

#include <sys/stat.h>

#include "TempDir.h"
#include "platform/AtomicFile.h"
#include "platform/File.h"

class FileTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(FileTest, ReadsReportWhatTheyRead)
{
    const std::string path = dir.Write("a.bin", std::string("0123456789", 10));
    CFile file;
    ASSERT_TRUE(file.Open(path, CFile::modeRead | CFile::typeBinary));
    EXPECT_EQ(file.GetLength(), 10u);
    char buffer[16] = {};
    EXPECT_EQ(file.Seek(7), 7);
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 3u);
    EXPECT_EQ(std::string(buffer, 3), "789");
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 0u);
    EXPECT_EQ(file.ReadAt(2, buffer, 2), 2u);
    EXPECT_EQ(std::string(buffer, 2), "23");
    EXPECT_EQ(file.ReadAt(100, buffer, 2), 0u);
}

TEST_F(FileTest, ExclusiveReaderBlocksWritersButNotAfterClose)
{
    const std::string path = dir.Write("held.eml", "keep me");
    CFile source;
    ASSERT_TRUE(source.Open(path, CFile::modeRead | CFile::typeBinary));  // no share flag: exclusive

    CFile dest;
    FileError error;
    EXPECT_FALSE(dest.Open(path, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive, &error));
    EXPECT_TRUE(error.sharingViolation);
    EXPECT_EQ(ReadAll(path), "keep me");  // refused before anything was truncated

    CFile second;
    EXPECT_FALSE(second.Open(path, CFile::modeRead | CFile::typeBinary));
    EXPECT_TRUE(second.Open(path, CFile::modeRead | CFile::shareDenyNone));

    source.Close();
    second.Close();
    EXPECT_TRUE(dest.Open(path, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive));
    EXPECT_EQ(dest.GetLength(), 0u);
}

TEST_F(FileTest, SpecialFilesAreRefusedWithoutBlocking)
{
    const std::string fifo = dir.Sub("pipe.eml");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    CFile file;
    FileError error;
    EXPECT_FALSE(file.Open(fifo, CFile::modeRead));  // would block forever if opened for reading plainly
    EXPECT_FALSE(file.Open(dir.Path(), CFile::modeRead, &error));
    EXPECT_TRUE(error.notRegular);
    EXPECT_FALSE(file.Open(dir.Sub("missing"), CFile::modeRead));
}

TEST_F(FileTest, AtomicWriterKeepsTheOldFileUntilCommit)
{
    const std::string path = dir.Write("out.eml", "old contents");
    {
        AtomicFileWriter writer;
        ASSERT_TRUE(writer.Open(path));
        ASSERT_TRUE(writer.Write("new", 3));
        EXPECT_EQ(ReadAll(path), "old contents");
        // Destroyed without Commit: the old file stays, the temporary file goes.
    }
    EXPECT_EQ(ReadAll(path), "old contents");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

    AtomicFileWriter writer;
    ASSERT_TRUE(writer.Open(path));
    ASSERT_TRUE(writer.Write("new", 3));
    ASSERT_TRUE(writer.Commit());
    EXPECT_EQ(ReadAll(path), "new");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST_F(FileTest, AtomicWriterFailsCleanlyInAMissingDirectory)
{
    AtomicFileWriter writer;
    EXPECT_FALSE(writer.Open(dir.Sub("no/such/dir/file.eml")));
    EXPECT_FALSE(writer.Write("x", 1));
    EXPECT_FALSE(writer.Commit());
}
