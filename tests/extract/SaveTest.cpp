#include <filesystem>
#include <optional>
#include <unistd.h>

#include <gtest/gtest.h>

#include "TempDir.h"
#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "dbx/DbxFixture.h"
#include "dbxgen/DbxGen.h"
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

TEST_F(SaveTest, ADamagedChainIsReportedAndNothingIsReplaced)
{
    std::vector<dbxgen::Message> messages(2);
    messages[0].text = dbxgen::SampleMessage(0, 5000);
    messages[1].text = dbxgen::SampleMessage(1, 5000);
    auto entries = OpenFolder(messages);
    ASSERT_EQ(entries.size(), 2u);
    // Break the first chain so that it comes back to its own first block, and make the second
    // claim more bytes than the file holds; the listing (only 2.5 KB deep) does not notice.
    dbxgen::Builder b;
    b.Bytes().assign(folderBytes.begin(), folderBytes.end());
    const std::uint32_t first = entries[0]->m_nDataOffset;
    const std::uint32_t fifth = b.Get32(b.Get32(b.Get32(b.Get32(first + 12) + 12) + 12) + 12);
    b.Put32(fifth + 12, first);
    const std::uint32_t second = entries[1]->m_nDataOffset;
    std::uint32_t last = second;
    while (b.Get32(last + 12) != 0)
        last = b.Get32(last + 12);
    b.Put32(last + 8, 0x00FFFFFF);
    folderBytes = AsString(b.Bytes());
    dir.Write("Inbox.dbx", folderBytes);

    const std::string destination = dir.Write("out/keep.eml", "precious");
    for (listaf* entry : entries) {
        box.messages.clear();
        dialog.answer = destination;
        app.SaveFolderMessage(entry);
        EXPECT_EQ(Texts(), std::vector<std::string>{"Error on reading file " + folderPath +
                                                    ": the message is damaged and was not saved."});
        EXPECT_EQ(ReadAll(destination), "precious");
        EXPECT_EQ(FilesIn(out), std::vector<std::string>{"keep.eml"});
    }
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
