#include <gtest/gtest.h>

#include <grp.h>
#include <map>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "AsNobody.h"
#include "TempDir.h"
#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "platform/SettingsStore.h"

class ScanTest : public ::testing::Test {
protected:
    ScanTest() : store(dir.Sub("config"))
    {
        store.CreateKey();
        app.m_pSettings = &store;
        app.m_pMessageBox = &messages;
        app.m_pStatus = &status;
        root = dir.MakeDir("root");
    }

    std::map<std::string, const listaf*> ByName() const
    {
        std::map<std::string, const listaf*> byName;
        for (const listaf* e = app.FirstEntry(); e; e = e->Next())
            byName[e->m_strName] = e;
        return byName;
    }

    TempDir dir;
    SettingsStore store;
    RecordingMessageBox messages;
    RecordingStatus status;
    CQuilloryApp app;
    std::string root;
};

TEST_F(ScanTest, KindsExtensionsPathsAndSizes)
{
    dir.MakeDir("root/old.dbx");
    dir.MakeDir("root/Mail.2007");
    dir.Write("root/a.eml", "From: a\r\n\r\n");
    dir.Write("root/b.msg", "Subject: b\r\n\r\n");
    dir.Write("root/MAIL.EML", "From: caps\r\n\r\n");
    dir.Write("root/notes.tar.eml", "From: tar\r\n\r\n");
    dir.Write("root/Inbox.dbx", std::string(1234, '\0'));
    dir.Write("root/README", "x");
    dir.Write("root/.hidden.eml", "From: h\r\n\r\n");
    app.m_strCurrentDir = root;
    EXPECT_EQ(app.ScanDirectory(), 0);

    const auto e = ByName();
    ASSERT_EQ(e.size(), 9u);
    struct Expect {
        const char* name;
        std::int32_t kind;
        const char* ext;
        const char* from;
    };
    const Expect expected[] = {
        {"old.dbx", KIND_DIRECTORY, "", ""},
        {"Mail.2007", KIND_DIRECTORY, "", ""},
        {"a.eml", KIND_MESSAGE_FILE, ".eml", "From: a"},
        {"b.msg", KIND_MESSAGE_FILE, ".msg", ""},
        {"MAIL.EML", KIND_OTHER, ".EML", ""},
        {"notes.tar.eml", KIND_MESSAGE_FILE, ".eml", "From: tar"},
        {"Inbox.dbx", KIND_MAIL_FOLDER, ".dbx", ""},
        {"README", KIND_OTHER, "", ""},
        {".hidden.eml", KIND_MESSAGE_FILE, ".eml", "From: h"},
    };
    for (const Expect& x : expected) {
        ASSERT_TRUE(e.count(x.name)) << x.name;
        const listaf* entry = e.at(x.name);
        EXPECT_EQ(entry->m_nKind, x.kind) << x.name;
        EXPECT_EQ(entry->m_strExt, x.ext) << x.name;
        EXPECT_EQ(entry->m_strFrom, x.from) << x.name;
        EXPECT_EQ(entry->m_strPath, root + "/" + x.name);
    }
    EXPECT_EQ(e.at("Inbox.dbx")->Size(), 1234u);
    EXPECT_EQ(e.at("old.dbx")->Size(), 0u);
    EXPECT_EQ(app.m_nItemCount, 4);
    EXPECT_EQ(status.texts, (std::vector<std::string>{"Reading... 1", "Reading... 2", "Reading... 3", "Reading... 4"}));
    EXPECT_EQ(store.QueryValue("LastDir"), root);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(ScanTest, EmptyMissingAndRootDirectories)
{
    app.m_strCurrentDir = root;
    app.m_nItemCount = 9;
    app.ScanDirectory();
    EXPECT_EQ(app.m_pEntries, nullptr);
    EXPECT_EQ(app.m_nItemCount, 0);
    EXPECT_TRUE(status.texts.empty());
    EXPECT_EQ(store.QueryValue("LastDir"), root);

    // A directory that does not exist is said so, and not remembered for the next start.
    dir.Write("root/a.eml", "From: a\r\n\r\n");
    app.ScanDirectory();
    app.m_strCurrentDir = root + "/does-not-exist";
    app.ScanDirectory();
    EXPECT_EQ(app.m_pEntries, nullptr);
    EXPECT_EQ(app.m_nItemCount, 0);
    EXPECT_EQ(store.QueryValue("LastDir"), root);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text,
              "The directory " + root + "/does-not-exist cannot be read: No such file or directory.");

    app.m_strCurrentDir = "/";
    app.ScanDirectory();
    const auto e = ByName();
    ASSERT_TRUE(e.count("tmp"));
    EXPECT_EQ(e.at("tmp")->m_strPath, "/tmp");  // no doubled separator
    EXPECT_EQ(store.QueryValue("LastDir"), "/");
}

TEST_F(ScanTest, OddNamesAndSpecialFiles)
{
    const std::string names[] = {"with space.eml", "quote\"s.eml", "amp&<lt>.eml", "high\xE9\xFF.eml",
                                 std::string(251, 'n') + ".eml"};
    for (const std::string& name : names)
        dir.Write("root/" + name, "Subject: " + name + "\r\n\r\n");
    ASSERT_EQ(::mkfifo((root + "/pipe.eml").c_str(), 0600), 0);  // must not hang the scan
    app.m_strCurrentDir = root + "/";
    app.ScanDirectory();

    const auto e = ByName();
    ASSERT_EQ(e.size(), 6u);
    for (const std::string& name : names) {
        ASSERT_TRUE(e.count(name)) << name;
        EXPECT_EQ(e.at(name)->m_strPath, root + "/" + name);
        EXPECT_EQ(e.at(name)->m_nKind, KIND_MESSAGE_FILE);
        EXPECT_FALSE(e.at(name)->m_strSubject.empty());
    }
    EXPECT_EQ(e.at("high\xE9\xFF.eml")->m_strSubject, "Subject: high\xE9\xFF.eml");
    EXPECT_EQ(e.at("amp&<lt>.eml")->m_strSubject, "Subject: amp&&lt;lt&gt;.eml");
    // The FIFO is listed as a message file whose headers could not be read.
    EXPECT_EQ(e.at("pipe.eml")->m_nKind, KIND_MESSAGE_FILE);
    EXPECT_EQ(e.at("pipe.eml")->m_strSubject, "");
    EXPECT_EQ(app.m_nItemCount, 6);
}

TEST_F(ScanTest, RescanReplacesTheListAndAFailedSettingDoesNotStopIt)
{
    dir.Write("root/a.eml", "From: a\r\n\r\n");
    dir.Write("root/b.txt", "");
    app.m_strCurrentDir = root;
    app.ScanDirectory();
    const std::int32_t firstSerial = app.FirstEntry()->m_nSerial;
    std::filesystem::remove(store.FilePath());
    app.ScanDirectory();
    EXPECT_EQ(listax::Count(&app.m_pEntries), 2);
    EXPECT_GT(app.FirstEntry()->m_nSerial, firstSerial + 1);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "No registry access. \nRegistration impossible!!!");
}

// Permission bits do not stop root, so the scan runs in a child that has dropped to an ordinary
// user (nobody) when the tests run as root. The child reports what the user was told on a pipe.
TEST_F(ScanTest, AnUnreadableDirectoryIsReportedAndNotRemembered)
{
    const std::string locked = dir.MakeDir("root/locked");
    dir.Write("root/locked/a.eml", "From: a\r\n\r\n");
    ::chmod(locked.c_str(), 0);
    // The way down to it must stay open to the other user.
    ::chmod(dir.Path().c_str(), 0755);
    ::chmod(root.c_str(), 0755);
    app.m_strCurrentDir = root;
    app.ScanDirectory();
    messages.messages.clear();

    const std::optional<std::string> reported = SaidAsNobody([&] {
        // The store stays: written through it, LastDir would show in the file (or, as nobody, who
        // cannot reach root's settings, as a message).
        app.m_strCurrentDir = locked;
        app.ScanDirectory();
        std::string said = std::to_string(listax::Count(&app.m_pEntries)) + "|" + std::to_string(app.m_nItemCount);
        for (const RecordedMessage& m : messages.messages)
            said += "|" + m.text;
        return said;
    });
    ASSERT_TRUE(reported);
    const std::string& said = *reported;
    EXPECT_EQ(said, "0|0|The directory " + locked + " cannot be read: Permission denied.");
    EXPECT_EQ(store.QueryValue("LastDir"), root);
    ::chmod(locked.c_str(), 0700);
}
