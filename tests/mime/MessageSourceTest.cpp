// Reading a message's bytes for the reader, from a file or from a mail-folder file.

#include <gtest/gtest.h>

#include <string>

#include "TempDir.h"
#include "core/QuilloryApp.h"
#include "dbxgen/DbxGen.h"
#include "mime/MessageSource.h"
#include "model/listax.h"

class MessageSourceTest : public ::testing::Test {
protected:
    TempDir dir;

    // Lists the folder at path as the window does; the first message's listing.
    static ListedMessage ListFirst(const std::string& path)
    {
        CQuilloryApp app;
        listaf* folder = app.AppendEntry();
        folder->m_strPath = path;
        folder->m_nKind = KIND_MAIL_FOLDER;
        app.m_pCurrentEntry = folder;
        app.m_strCurrentDir = path;
        app.ListMailFolder();
        const listaf* first = app.FirstEntry();
        EXPECT_NE(first, nullptr);
        return first ? ListedMessage{first->m_nRecordOffset, first->m_nDataOffset, first->Size()} : ListedMessage{};
    }
};

TEST_F(MessageSourceTest, ReadsAFolderMessageWholeAcrossItsBlocks)
{
    dbxgen::Message message;
    message.text = "From: a@example.org\r\nSubject: blocks\r\n\r\n" + std::string(1500, 'z') + "\r\nend";
    message.nBlockSize = 100;
    dbxgen::Message other;
    other.text = "From: b@example.org\r\n\r\nsecond";
    const std::string path = dir.Sub("f.dbx");
    ASSERT_TRUE(dbxgen::WriteFile(path, dbxgen::BuildFolder({message, other})));

    const ListedMessage listed = ListFirst(path);
    CFile folder;
    ASSERT_TRUE(folder.Open(path, CFile::modeRead | CFile::typeBinary));
    LoadedMessage loaded;
    std::string error;
    ASSERT_TRUE(LoadFolderMessage(folder, path, listed, loaded, error)) << error;
    EXPECT_EQ(loaded.strBytes, message.text);
    EXPECT_EQ(loaded.strNote, "");

    // A listing that no longer fits the file (the chain is now longer than listed) reads nothing.
    ListedMessage stale = listed;
    stale.nSize += 1;
    EXPECT_FALSE(LoadFolderMessage(folder, path, stale, loaded, error));
    EXPECT_NE(error.find("has changed since it was listed"), std::string::npos);
    EXPECT_EQ(loaded.strBytes, "");

    // Nor does one whose first block is gone: the chain is damaged now, but at another place than
    // the listing found, so the file changed (a save and an extract say so too).
    dbxgen::Builder changed;
    changed.Bytes() = dbxgen::BuildFolder({message, other});
    changed.Put32(listed.nFirstBlock, 0);
    ASSERT_TRUE(dbxgen::WriteFile(path, changed.Bytes()));  // rewritten in place, as the file held open
    EXPECT_FALSE(LoadFolderMessage(folder, path, listed, loaded, error));
    EXPECT_NE(error.find("has changed since it was listed"), std::string::npos);
}

// Messages the index lost are read as the scan found them: no record to check, and a deleted one
// through blocks that lost their own offsets, with a note that it was found only in part.
TEST_F(MessageSourceTest, ReadsRecoveredMessagesAsTheScanFoundThem)
{
    dbxgen::Message indexed;
    indexed.text = "Subject: A\r\n\r\n" + std::string(700, 'a');
    dbxgen::Message lost;
    lost.text = "Subject: B\r\n\r\n" + std::string(700, 'b');
    lost.bUnindexed = true;
    dbxgen::Message deleted;
    deleted.text = "Subject: C\r\n\r\n" + std::string(700, 'c');
    deleted.bUnindexed = true;
    deleted.nLostOwnOffset = 0xFFFFFFFF;
    const std::string path = dir.Sub("f.dbx");
    ASSERT_TRUE(dbxgen::WriteFile(path, dbxgen::BuildFolder({indexed, lost, deleted})));

    CQuilloryApp app;
    app.m_bShowRecovered = true;
    listaf* folderEntry = app.AppendEntry();
    folderEntry->m_strPath = path;
    folderEntry->m_nKind = KIND_MAIL_FOLDER;
    app.m_pCurrentEntry = folderEntry;
    app.ListMailFolder();
    std::vector<const listaf*> recovered;
    for (const listaf* e = app.FirstEntry(); e; e = e->Next())
        if (e->m_recovery != MessageRecovery::None)
            recovered.push_back(e);
    ASSERT_EQ(recovered.size(), 2u);
    ASSERT_EQ(recovered[0]->m_recovery, MessageRecovery::Complete);
    ASSERT_EQ(recovered[1]->m_recovery, MessageRecovery::Partial);

    CFile folder;
    ASSERT_TRUE(folder.Open(path, CFile::modeRead | CFile::typeBinary));
    const struct {
        const listaf* entry;
        const std::string& text;
        bool bNote;
    } cases[] = {{recovered[0], lost.text, false}, {recovered[1], deleted.text, true}};
    for (const auto& c : cases) {
        LoadedMessage loaded;
        std::string error;
        ASSERT_TRUE(LoadFolderMessage(folder, path, ListedMessageOf(*c.entry), loaded, error)) << error;
        EXPECT_EQ(loaded.strBytes, c.text);
        EXPECT_EQ(loaded.strNote.find("only in part") != std::string::npos, c.bNote) << loaded.strNote;
    }
}

TEST_F(MessageSourceTest, ReadsAMessageFileAndSaysWhenItCannot)
{
    LoadedMessage loaded;
    std::string error;
    ASSERT_TRUE(LoadMessageFile(dir.Write("m.eml", "From: a\r\n\r\nbody"), loaded, error));
    EXPECT_EQ(loaded.strBytes, "From: a\r\n\r\nbody");
    EXPECT_FALSE(LoadMessageFile(dir.Sub("missing.eml"), loaded, error));
    EXPECT_EQ(error, "Error on opening file " + dir.Sub("missing.eml"));
}
