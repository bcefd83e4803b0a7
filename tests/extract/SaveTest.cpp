#include <filesystem>
#include <functional>
#include <optional>
#include <unistd.h>

#include <gtest/gtest.h>

#include "TempDir.h"
#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "dbx/DBXReader.h"
#include "dbx/DbxFixture.h"
#include "dbxgen/DbxGen.h"
#include "extract/MessageCopy.h"
#include "platform/AtomicFile.h"
#include "platform/SettingsStore.h"

namespace {

class FakeSaveDialog : public ISaveDialog {
public:
    std::optional<std::string> AskSavePath(const SaveDialogRequest& request) override
    {
        requests.push_back(request);
        return answer;
    }
    std::optional<std::string> answer;
    std::vector<SaveDialogRequest> requests;
};

std::string AsString(const std::vector<unsigned char>& bytes) { return std::string(bytes.begin(), bytes.end()); }

} // namespace

class SaveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        settings.emplace(dir.MakeDir("settings"));
        settings->CreateKey();
        app.m_pSettings = &*settings;
        app.m_pMessageBox = &box;
        app.m_pSaveDialog = &dialog;
        out = dir.MakeDir("out");
    }
    void TearDown() override { AtomicFileHooks() = AtomicFileTestHooks{}; }

    // Writes a folder of these messages and makes it the place being listed; returns the
    // entries for its messages, as the listing has them.
    std::vector<listaf*> OpenFolder(const std::vector<dbxgen::Message>& messages)
    {
        folderBytes = AsString(dbxgen::BuildFolder(messages));
        folderPath = dir.Write("Inbox.dbx", folderBytes);
        return ListFolderFile(app, folderPath);
    }
    [[nodiscard]] std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const auto& m : box.messages)
            texts.push_back(m.text);
        return texts;
    }
    [[nodiscard]] std::vector<std::string> FilesIn(const std::string& folder) const
    {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(folder))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dir;
    std::optional<SettingsStore> settings;
    RecordingMessageBox box;
    FakeSaveDialog dialog;
    CQuilloryApp app;
    std::string out;
    std::string folderBytes;
    std::string folderPath;
};

TEST_F(SaveTest, FolderMessagesAreSavedByteForByte)
{
    std::vector<dbxgen::Message> messages(5);
    messages[0].text = dbxgen::SampleMessage(0, 100);        // one block
    messages[0].nBlockSize = 4096;
    messages[1].text = dbxgen::SampleMessage(1, 20000);      // many blocks and pieces
    messages[2].text = dbxgen::SampleMessage(2, 3000);
    messages[2].bEmptyBlockAfterFirst = true;                // an empty block in the chain
    messages[3].text = dbxgen::SampleMessage(3, 9000);
    messages[3].nBlockSize = 7000;                           // a block larger than a piece
    messages[3].attr4 = dbxgen::Attr4::Indirect;
    messages[4].text = "";                                   // nothing at all
    const auto entries = OpenFolder(messages);
    ASSERT_EQ(entries.size(), messages.size());
    for (std::size_t i = 0; i < messages.size(); ++i) {
        SCOPED_TRACE(i);
        dialog.answer = out + "/" + entries[i]->m_strName + ".eml";
        EXPECT_EQ(app.SaveFolderMessage(entries[i]), 0);
        EXPECT_EQ(ReadAll(*dialog.answer), messages[i].text);
    }
    EXPECT_TRUE(box.messages.empty());
    EXPECT_EQ(ReadAll(folderPath), folderBytes);
    EXPECT_EQ(app.m_strSaveDir, out + "/");
    EXPECT_EQ(settings->QueryValue("SaveDir"), out + "/");
    EXPECT_EQ(FilesIn(out).size(), messages.size());  // no temporary file left behind

    // The dialog was asked as the window always asked it, starting where the last save went.
    ASSERT_EQ(dialog.requests.size(), messages.size());
    const SaveDialogRequest& last = dialog.requests.back();
    EXPECT_TRUE(last.bSave);
    EXPECT_EQ(last.strDefaultExt, "*.EML");
    EXPECT_EQ(last.strInitialName, "Msg00005");
    EXPECT_TRUE(last.bOverwritePrompt);
    EXPECT_EQ(last.strFilter, "Mail message (*.eml)|*.eml|Raw mail (*.msg)|*.msg|All Files (*.*)|*.*||");
    EXPECT_EQ(last.strInitialDir, out + "/");
    EXPECT_EQ(dialog.requests.front().strInitialDir, "");
}

TEST_F(SaveTest, CancellingWritesNothing)
{
    const auto entries = OpenFolder({dbxgen::Message{dbxgen::SampleMessage(0)}});
    const std::string file = dir.Write("note.eml", "From: a\r\n\r\nhello");
    app.m_strSaveDir = "/kept/";
    listaf* entry = app.AppendEntry();
    entry->m_strPath = file;
    entry->m_nKind = KIND_MESSAGE_FILE;
    dialog.answer.reset();
    EXPECT_EQ(app.SaveFolderMessage(entries[0]), 0);
    EXPECT_EQ(app.SaveMessageFile(entry), 0);
    app.m_pSaveDialog = nullptr;  // no dialog counts as cancelled too
    EXPECT_EQ(app.SaveFolderMessage(entries[0]), 0);
    EXPECT_EQ(app.m_strSaveDir, "/kept/");
    EXPECT_FALSE(settings->QueryValue("SaveDir").has_value());
    EXPECT_TRUE(FilesIn(out).empty());
    EXPECT_TRUE(box.messages.empty());
}

TEST_F(SaveTest, TheSourceItselfIsNeverTheDestination)
{
    const auto entries = OpenFolder({dbxgen::Message{dbxgen::SampleMessage(0)}});
    const std::string link = dir.Sub("same-folder.eml");
    ASSERT_EQ(::link(folderPath.c_str(), link.c_str()), 0);
    for (const std::string& destination : {folderPath, link}) {
        SCOPED_TRACE(destination);
        box.messages.clear();
        dialog.answer = destination;
        app.SaveFolderMessage(entries[0]);
        EXPECT_EQ(Texts(), std::vector<std::string>{"Error on opening file " + destination});
        EXPECT_EQ(ReadAll(folderPath), folderBytes);
    }
    // A folder message remembers the directory before it opens the destination.
    EXPECT_EQ(settings->QueryValue("SaveDir"), dir.Path() + "/");

    settings->SetValue("SaveDir", "/before/");
    const std::string body = "From: a\r\n\r\nthe only copy";
    const std::string file = dir.Write("note.eml", body);
    const std::string symlink = dir.Sub("note-link.eml");
    std::filesystem::create_symlink(file, symlink);
    listaf* entry = app.AppendEntry();
    entry->m_strPath = file;
    entry->m_nKind = KIND_MESSAGE_FILE;
    for (const std::string& destination : {file, symlink}) {
        SCOPED_TRACE(destination);
        box.messages.clear();
        dialog.answer = destination;
        app.SaveMessageFile(entry);
        EXPECT_EQ(Texts(), std::vector<std::string>{"Error on opening file " + destination});
        EXPECT_EQ(ReadAll(file), body);
    }
    // A message file remembers it only once the destination is open.
    EXPECT_EQ(settings->QueryValue("SaveDir"), "/before/");
    EXPECT_EQ(app.m_strSaveDir, dir.Path() + "/");
}

TEST_F(SaveTest, AnExistingFileIsReplacedWhole)
{
    const std::string text = dbxgen::SampleMessage(4, 50);
    const auto entries = OpenFolder({dbxgen::Message{text}});
    const std::string destination = dir.Write("out/old.eml", std::string(10000, 'x'));
    dialog.answer = destination;
    app.SaveFolderMessage(entries[0]);
    EXPECT_EQ(ReadAll(destination), text);
    EXPECT_TRUE(box.messages.empty());
}

TEST_F(SaveTest, OnlyAFileThatExistedWhenTheUserConfirmedIsReplaced)
{
    const std::string text = dbxgen::SampleMessage(4, 50);
    const auto entries = OpenFolder({dbxgen::Message{text}});
    const std::string body = "From: a\r\n\r\nthe file";
    listaf* file = app.AppendEntry();
    file->m_strPath = dir.Write("note.eml", body);
    file->m_nKind = KIND_MESSAGE_FILE;
    struct Case {
        const char* name;
        bool bFolderMessage;
        bool bExistedWhenConfirmed;
    };
    const Case cases[] = {
        {"a.eml", true, false},
        {"b.eml", false, false},
        {"c.eml", true, true},
        {"d.eml", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        box.messages.clear();
        const std::string destination = out + "/" + c.name;
        if (c.bExistedWhenConfirmed)
            dir.Write(std::string("out/") + c.name, "confirmed");
        // Another program writes the name while the copy runs.
        AtomicFileHooks().beforePlacement = [&](const std::string&) {
            dir.Write(std::string("out/") + c.name, "appeared");
        };
        dialog.answer = destination;
        if (c.bFolderMessage)
            app.SaveFolderMessage(entries[0]);
        else
            app.SaveMessageFile(file);
        if (c.bExistedWhenConfirmed) {
            EXPECT_EQ(ReadAll(destination), c.bFolderMessage ? text : body);
            EXPECT_TRUE(box.messages.empty());
        } else {
            EXPECT_EQ(ReadAll(destination), "appeared");
            EXPECT_EQ(Texts(), std::vector<std::string>{"Error on writing file " + destination +
                                                        ": another file of that name appeared while saving; it was "
                                                        "kept and the message was not saved."});
        }
    }
    EXPECT_EQ(FilesIn(out), (std::vector<std::string>{"a.eml", "b.eml", "c.eml", "d.eml"}));
}

namespace {

// A message of exactly length bytes, in 512-byte blocks: its size is known without the reader.
dbxgen::Message OfLength(std::size_t length, const std::string& subject)
{
    dbxgen::Message m;
    m.text = "From: a\r\nSubject: " + subject + "\r\n\r\n";
    m.text += std::string(length - m.text.size(), 'b');
    return m;
}

// The offset of the n-th block (from 0) of the chain that starts at first.
std::uint32_t NthBlock(const dbxgen::Builder& b, std::uint32_t first, int n)
{
    while (n-- > 0)
        first = b.Get32(first + 12);
    return first;
}

} // namespace

// A damaged chain is listed, with the bytes it holds up to the damage (each block once), the
// folder is reported damaged, and saving it writes nothing: no partial message, no file larger
// than the folder, and an existing destination left as it was.
TEST_F(SaveTest, DamagedChainsAreListedAsDamagedAndNeverSaved)
{
    struct Case {
        const char* what;
        std::function<void(dbxgen::Builder&, std::uint32_t first)> damage;
        std::function<std::uint64_t(std::uint64_t fileSize, std::uint32_t first)> size;
    };
    const auto blocks = [](std::uint64_t n) { return [n](std::uint64_t, std::uint32_t) { return 512 * n; }; };
    const Case cases[] = {
        {"a zeroed block header mid-chain",
         [](auto& b, auto first) { for (int i = 0; i < 16; i += 4) b.Put32(NthBlock(b, first, 2) + i, 0); }, blocks(2)},
        {"a count larger than the block's capacity",
         [](auto& b, auto first) { b.Put32(NthBlock(b, first, 2) + 8, 513); }, blocks(2)},
        {"a block that names itself as next",
         [](auto& b, auto first) { const auto third = NthBlock(b, first, 2); b.Put32(third + 12, third); }, blocks(3)},
        {"a chain that comes back to its first block",
         [](auto& b, auto first) { b.Put32(NthBlock(b, first, 4) + 12, first); }, blocks(5)},
        // Every 16 bytes a block that claims the rest of the file: followed through, the copy
        // would grow with the square of the file's size.
        {"overlapping blocks",
         [](auto& b, auto first) {
             const auto size = static_cast<std::uint32_t>(b.Bytes().size());
             for (std::uint32_t at = first; at < first + 16 * 8; at += 16) {
                 b.Put32(at, at);
                 b.Put32(at + 4, size - at - 16);
                 b.Put32(at + 8, size - at - 16);
                 b.Put32(at + 12, at + 16);
             }
         },
         [](std::uint64_t fileSize, std::uint32_t first) { return fileSize - first - 16; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dbxgen::Options options;
        options.nHeaderSize = 0x100;  // the first chain starts early, the file is mostly messages
        dbxgen::Builder b;
        b.Bytes() = dbxgen::BuildFolder({OfLength(5000, "damaged"), OfLength(3000, "sound")}, options);
        const std::uint32_t first = b.FirstBlockOf(b.Get32(b.Get32(0x30) + 24));
        c.damage(b, first);
        folderBytes = AsString(b.Bytes());
        folderPath = dir.Write("Inbox.dbx", folderBytes);
        box.messages.clear();
        const auto entries = ListFolderFile(app, folderPath);
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_EQ(Texts(), std::vector<std::string>{DamagedFolderText(folderPath)});
        EXPECT_EQ(entries[0]->Size(), c.size(folderBytes.size(), first));
        EXPECT_LE(entries[0]->Size(), folderBytes.size());
        EXPECT_EQ(entries[1]->Size(), 3000u);

        const std::string destination = dir.Write("out/keep.eml", "precious");
        box.messages.clear();
        dialog.answer = destination;
        app.SaveFolderMessage(entries[0]);
        EXPECT_EQ(Texts(), std::vector<std::string>{"Error on reading file " + folderPath +
                                                    ": the message is damaged and was not saved."});
        EXPECT_EQ(ReadAll(destination), "precious");
        EXPECT_EQ(FilesIn(out), std::vector<std::string>{"keep.eml"});
        app.DeleteAllEntries();
    }
}

// Offsets taken when the folder was listed must not make a save write other bytes once the file
// has changed: the user is told, and nothing is written.
TEST_F(SaveTest, AFolderChangedSinceListingIsNotSavedFrom)
{
    struct Case {
        const char* what;
        std::function<void(dbxgen::Builder&, const listaf& first, const listaf& second)> change;
    };
    const Case cases[] = {
        {"rewritten with other messages",
         [](auto& b, const listaf&, const listaf&) {
             b.Bytes() = dbxgen::BuildFolder({OfLength(7000, "new"), OfLength(5000, "listed")});
         }},
        {"the record names another chain",
         [](auto& b, const listaf& first, const listaf& second) {
             // The generator writes two other slots, then the direct data-block slot.
             b.Put32(first.m_nRecordOffset + 12 + 8, 0x84 | (second.m_nDataOffset << 8));
         }},
        {"the chain is shorter now",
         [](auto& b, const listaf& first, const listaf&) { b.Put32(NthBlock(b, first.m_nDataOffset, 9) + 8, 100); }},
        {"the first block is no longer there",
         [](auto& b, const listaf& first, const listaf&) { b.Put32(first.m_nDataOffset, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto entries = OpenFolder({OfLength(5000, "listed"), OfLength(3000, "other")});
        ASSERT_EQ(entries.size(), 2u);
        ASSERT_EQ(entries[0]->Size(), 5000u);
        dbxgen::Builder b;
        b.Bytes().assign(folderBytes.begin(), folderBytes.end());
        c.change(b, *entries[0], *entries[1]);
        dir.Write("Inbox.dbx", AsString(b.Bytes()));

        box.messages.clear();
        dialog.answer = out + "/listed.eml";
        app.SaveFolderMessage(entries[0]);
        EXPECT_EQ(Texts(), std::vector<std::string>{"The mail-folder file " + folderPath +
                                                    " has changed since it was listed. Open it again to save this message."});
        EXPECT_TRUE(FilesIn(out).empty());
        app.DeleteAllEntries();
    }
}

// Every way of reading a listed message again (save, extract, export, the reader) judges what its
// walk of the chain found by one rule.
TEST(ListedWalkTest, TheFileChangedUnlessRecordAndSizeHoldAndOnlyThenDamageIsDamage)
{
    const ListedMessage indexed{100, 200, 5000, MessageRecovery::None};
    const ListedMessage complete{0, 200, 5000, MessageRecovery::Complete};
    const ListedMessage partial{0, 200, 5000, MessageRecovery::Partial};
    struct Case {
        const char* what;
        ListedMessage listed;
        ListedWalk walk;
        ListedState state;
    };
    const Case cases[] = {
        {"as listed", indexed, {true, false, false, 5000}, ListedState::AsListed},
        {"the record names another chain", indexed, {false, false, false, 5000}, ListedState::Changed},
        {"longer now", indexed, {true, false, false, 5001}, ListedState::Changed},
        {"damaged where the listing met it", indexed, {true, false, true, 5000}, ListedState::Damaged},
        {"damaged elsewhere now: shorter than listed", indexed, {true, false, true, 0}, ListedState::Changed},
        {"the file shrank while read", indexed, {true, true, false, 4000}, ListedState::Damaged},
        {"a whole recovered message now damaged", complete, {true, false, true, 5000}, ListedState::Changed},
        {"a partial one ends in its damage", partial, {true, false, true, 5000}, ListedState::AsListed},
        {"a partial one of another size", partial, {true, false, true, 4000}, ListedState::Changed},
    };
    for (const Case& c : cases)
        EXPECT_EQ(JudgeListedWalk(c.listed, c.walk), c.state) << c.what;
}

TEST_F(SaveTest, ASourceThatCannotBeOpenedIsNamed)
{
    const auto entries = OpenFolder({dbxgen::Message{dbxgen::SampleMessage(0)}});
    app.m_strCurrentDir = dir.Sub("gone.dbx");
    dialog.answer = out + "/a.eml";
    app.SaveFolderMessage(entries[0]);
    listaf* entry = app.AppendEntry();
    entry->m_strPath = dir.Sub("gone.eml");
    app.SaveMessageFile(entry);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Error on opening file " + dir.Sub("gone.dbx"),
                                                 "Error on opening file " + dir.Sub("gone.eml")}));
    EXPECT_EQ(app.m_strSaveDir, out + "/");  // changed as soon as the dialog said OK
    EXPECT_FALSE(settings->QueryValue("SaveDir").has_value());
    EXPECT_TRUE(FilesIn(out).empty());
}

TEST_F(SaveTest, MessageFilesAreCopiedWhole)
{
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"empty.eml", ""},
        {"small.msg", "From: a\r\n\r\nbody"},
        {"pieces.eml", dbxgen::SampleMessage(9, 7000) + std::string(1, '\0') + "after a zero"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        listaf* entry = app.AppendEntry();
        entry->m_strPath = dir.Write(c.name, c.bytes);
        entry->m_strName = c.name;
        entry->m_nKind = KIND_MESSAGE_FILE;
        dialog.answer = out + "/copy-" + c.name;
        app.SaveMessageFile(entry);
        EXPECT_EQ(ReadAll(*dialog.answer), c.bytes);
        EXPECT_EQ(dialog.requests.back().strInitialName, c.name);
    }
    EXPECT_TRUE(box.messages.empty());
    EXPECT_EQ(settings->QueryValue("SaveDir"), out + "/");
}

// A recovered message is saved from the dialog like the others: the deleted one as far as it
// could be recovered, which here is the whole of it.
TEST_F(SaveTest, RecoveredMessagesAreSavedAsTheyWereFound)
{
    std::vector<dbxgen::Message> messages{OfLength(1200, "kept"), OfLength(3000, "deleted")};
    messages[1].bUnindexed = true;
    messages[1].nLostOwnOffset = 0x12345678;
    dbxgen::Options options;
    options.nCountWord = 0;  // says empty: the scan starts by itself
    folderBytes = AsString(dbxgen::BuildFolder(messages, options));
    folderPath = dir.Write("Inbox.dbx", folderBytes);
    const auto entries = ListFolderFile(app, folderPath);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1]->m_strName, "Rec00002");
    EXPECT_EQ(entries[1]->m_recovery, MessageRecovery::Partial);
    for (const listaf* entry : entries) {
        SCOPED_TRACE(entry->m_strName);
        dialog.answer = out + "/" + entry->m_strName + ".eml";
        app.SaveFolderMessage(const_cast<listaf*>(entry));
        EXPECT_EQ(dialog.requests.back().strInitialName, entry->m_strName);
    }
    EXPECT_EQ(ReadAll(out + "/Rec00001.eml"), messages[0].text);
    EXPECT_EQ(ReadAll(out + "/Rec00002.eml"), messages[1].text);
    EXPECT_TRUE(box.messages.empty());
}
