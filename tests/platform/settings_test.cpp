#include <gtest/gtest.h>

#include "TempDir.h"
#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "platform/SettingsStore.h"

namespace {
const char* const kNoAccess = "No registry access. \nRegistration impossible!!!";
const char* const kNoWrite = "Unable to write register. \nRegistration impossible!!!";
} // namespace

class SettingsTest : public ::testing::Test {
protected:
    SettingsTest() : store(dir.Sub("config/Quillory"))
    {
        app.m_pSettings = &store;
        app.m_pMessageBox = &messages;
    }

    TempDir dir;
    SettingsStore store;
    RecordingMessageBox messages;
    CQuilloryApp app;
};

TEST_F(SettingsTest, FirstRunCreatesTheKeyAndReadsNothing)
{
    EXPECT_FALSE(store.KeyExists());
    EXPECT_EQ(app.ReadSettings(), 0);
    EXPECT_TRUE(store.KeyExists());
    EXPECT_EQ(app.m_strCurrentDir, "");
    EXPECT_EQ(app.m_strSaveDir, "");
    EXPECT_EQ(app.ReadSettings(), 1);  // the key exists now, still without values
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(SettingsTest, ValuesRoundTripThroughANewObject)
{
    app.ReadSettings();
    const std::string odd = "/home/a/Mail \"old\" & <new>\n\\x\xE9\xFF";
    EXPECT_EQ(app.WriteSetting("LastDir", odd), 1);
    EXPECT_EQ(app.WriteSetting("SaveDir", "/tmp/saves"), 1);

    CQuilloryApp again;
    SettingsStore sameKey(dir.Sub("config/Quillory"));
    again.m_pSettings = &sameKey;
    EXPECT_EQ(again.ReadSettings(), 1);
    EXPECT_EQ(again.m_strCurrentDir, odd);
    EXPECT_EQ(again.m_strSaveDir, "/tmp/saves");
}

// The two switches of the listing: recovered messages, and decoded header cells (which need the
// raw header lines kept while on).
TEST_F(SettingsTest, SwitchesAreOffUntilTurnedOnAndThenRemembered)
{
    struct Switch {
        const char* name;
        std::int32_t (CQuilloryApp::*set)(bool);
        bool CQuilloryApp::*member;
    };
    const Switch switches[] = {
        {"ShowRecovered", &CQuilloryApp::SetShowRecovered, &CQuilloryApp::m_bShowRecovered},
        {"DecodedHeaders", &CQuilloryApp::SetDecodedHeaders, &CQuilloryApp::m_bDecodedHeaders},
    };
    for (const Switch& s : switches) {
        SCOPED_TRACE(s.name);
        CQuilloryApp fresh;
        fresh.m_pSettings = &store;
        fresh.ReadSettings();
        EXPECT_FALSE(fresh.*s.member);
        EXPECT_EQ((fresh.*s.set)(true), 1);
        EXPECT_EQ(store.QueryValue(s.name), "1");

        struct Case {
            const char* stored;
            bool bOn;
        };
        // Only the two values the program writes count; anything else leaves the default.
        const Case cases[] = {{"1", true}, {"0", false}, {"yes", false}, {"", false}, {"10", false}};
        for (const Case& c : cases) {
            SCOPED_TRACE(c.stored);
            ASSERT_TRUE(store.SetValue(s.name, c.stored));
            CQuilloryApp again;
            again.m_pSettings = &store;
            EXPECT_EQ(again.ReadSettings(), 1);
            EXPECT_EQ(again.*s.member, c.bOn);
            if (s.member == &CQuilloryApp::m_bDecodedHeaders) {
                EXPECT_EQ(again.m_bKeepRawHeaders, c.bOn);
            }
        }
        EXPECT_EQ((fresh.*s.set)(false), 1);
        EXPECT_EQ(store.QueryValue(s.name), "0");
    }
    EXPECT_TRUE(messages.messages.empty());
}

TEST(RecoveredStatusTextTest, SaysHowManyWereFoundOutsideTheIndex)
{
    EXPECT_EQ(RecoveredStatusText(-1), "");
    EXPECT_EQ(RecoveredStatusText(0), "No message found outside the index");
    EXPECT_EQ(RecoveredStatusText(1), "1 message found outside the index");
    EXPECT_EQ(RecoveredStatusText(12), "12 messages found outside the index");
}

TEST_F(SettingsTest, SizeLimitsOfReadAndWrite)
{
    app.ReadSettings();
    ASSERT_EQ(app.WriteSetting("LastDir", "/old"), 1);
    // Too long to be stored whole: not stored cut short; the old value stays and stderr says so.
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(app.WriteSetting("LastDir", std::string(500, 'a')), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Quillory: LastDir keeps its previous value: " + std::string(500, 'a') +
                  " is 500 bytes long, longer than the 499 bytes a setting can hold.\n");
    EXPECT_EQ(store.QueryValue("LastDir"), "/old");
    EXPECT_EQ(app.WriteSetting("LastDir", std::string(499, 'a')), 1);
    EXPECT_EQ(store.QueryValue("LastDir"), std::string(499, 'a'));
    EXPECT_TRUE(messages.messages.empty());

    // Written by someone else, longer than the read buffer holds: absent.
    ASSERT_TRUE(store.SetValue("SaveDir", std::string(512, 's')));
    ASSERT_TRUE(store.SetValue("LastDir", std::string(511, 'l')));
    app.m_strSaveDir = "kept";
    EXPECT_EQ(app.ReadSettings(), 1);
    EXPECT_EQ(app.m_strSaveDir, "kept");
    EXPECT_EQ(app.m_strCurrentDir, std::string(511, 'l'));
}

TEST_F(SettingsTest, DeletedKeyIsReportedAndNeverRecreatedByWrites)
{
    app.ReadSettings();
    std::filesystem::remove(store.FilePath());
    EXPECT_EQ(app.WriteSetting("LastDir", "/x"), 0);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, kNoAccess);
    EXPECT_EQ(messages.messages[0].caption, "Quillory");
    EXPECT_FALSE(store.KeyExists());
}

TEST_F(SettingsTest, UnwritableKeyReportsAndKeepsTheOldFile)
{
    app.ReadSettings();
    app.WriteSetting("LastDir", "/before");
    const std::string before = ReadAll(store.FilePath());
    // A directory where the temporary file should go cannot take it: replace the folder's
    // write permission with nothing (root ignores modes, so block with a file-as-directory).
    const std::string folder = dir.Sub("config/Quillory");
    std::filesystem::rename(folder, dir.Sub("moved"));
    std::filesystem::create_directories(folder);
    std::filesystem::create_directories(folder + "/settings");  // the key "exists" but is not a file
    EXPECT_EQ(app.WriteSetting("LastDir", "/after"), 0);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, kNoWrite);
    EXPECT_EQ(ReadAll(dir.Sub("moved/settings")), before);
}

TEST_F(SettingsTest, GarbledFilesReadAsAbsentAndAreReplacedOnWrite)
{
    using namespace std::string_literals;
    app.ReadSettings();
    const std::string cases[] = {
        "",                                         // empty
        "garbage\x01\x02\x03 no header at all",      // not ours
        "QuilloryKey 1\nLastDir=/trunc",            // torn last line
        "QuilloryKey 1\nLastDir=bad\\q\n",          // bad escape
        "QuilloryKey 1\nLastDir=a\0b\n"s,           // a zero byte
        std::string(SettingsStore::kMaxFileSize + 10, 'x'),  // huge
    };
    for (const std::string& garbage : cases) {
        dir.Write("config/Quillory/settings", garbage);
        app.m_strCurrentDir = "unchanged";
        EXPECT_EQ(app.ReadSettings(), 1);
        EXPECT_EQ(app.m_strCurrentDir, "unchanged");
        EXPECT_EQ(app.WriteSetting("SaveDir", "/s"), 1);
        EXPECT_EQ(store.QueryValue("SaveDir"), "/s");
    }
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(SettingsTest, PartlyGarbledFilesKeepTheirGoodLinesAndABackup)
{
    using namespace std::string_literals;
    struct Case {
        const char* what;
        std::string file;
        std::optional<std::string> lastDir, saveDir;
    };
    const Case cases[] = {
        {"a torn last line", "QuilloryKey 1\nLastDir=/l\nSaveDir=/tor", "/l", std::nullopt},
        {"a garbage line between good ones", "QuilloryKey 1\nLastDir=/l\n\x01\x02 garbage\nSaveDir=/s\n", "/l", "/s"},
        {"a line with a zero byte", "QuilloryKey 1\nLastDir=/l\nX=a\0b\nSaveDir=/s\n"s, "/l", "/s"},
        {"a bad escape", "QuilloryKey 1\nLastDir=bad\\q\nSaveDir=/s\n", std::nullopt, "/s"},
        {"no first line of ours", "LastDir=/l\nSaveDir=/s\n", "/l", "/s"},
    };
    app.ReadSettings();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(store.BackupPath());
        dir.Write("config/Quillory/settings", c.file);
        EXPECT_EQ(store.QueryValue("LastDir"), c.lastDir);
        EXPECT_EQ(store.QueryValue("SaveDir"), c.saveDir);

        EXPECT_EQ(app.WriteSetting("Other", "/o"), 1);
        EXPECT_EQ(ReadAll(store.BackupPath()), c.file);
        std::string expected = "QuilloryKey 1\n";
        if (c.lastDir)
            expected += "LastDir=" + *c.lastDir + "\n";
        expected += "Other=/o\n";
        if (c.saveDir)
            expected += "SaveDir=" + *c.saveDir + "\n";
        EXPECT_EQ(ReadAll(store.FilePath()), expected);
    }
    // A file that parses whole needs no backup.
    std::filesystem::remove(store.BackupPath());
    EXPECT_EQ(app.WriteSetting("Other", "/p"), 1);
    EXPECT_FALSE(std::filesystem::exists(store.BackupPath()));
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(SettingsTest, ALinkedSettingsFileIsWrittenThroughAndStaysALink)
{
    const std::string real = dir.MakeDir("dotfiles") + "/quillory-settings";
    std::filesystem::create_directories(dir.Sub("config/Quillory"));
    std::filesystem::create_symlink("../../dotfiles/quillory-settings", store.FilePath());
    // The link names a file that does not exist yet: the first run creates it there.
    EXPECT_EQ(app.ReadSettings(), 0);
    EXPECT_EQ(app.WriteSetting("LastDir", "/l"), 1);
    EXPECT_EQ(app.WriteSetting("SaveDir", "/s"), 1);
    EXPECT_TRUE(std::filesystem::is_symlink(store.FilePath()));
    EXPECT_EQ(ReadAll(real), "QuilloryKey 1\nLastDir=/l\nSaveDir=/s\n");
    EXPECT_EQ(app.ReadSettings(), 1);
    EXPECT_EQ(app.m_strCurrentDir, "/l");
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(SettingsTest, WithoutAStoreNothingIsWrittenOrShown)
{
    CQuilloryApp cli;
    cli.m_pMessageBox = &messages;
    EXPECT_EQ(cli.ReadSettings(), 0);
    EXPECT_EQ(cli.WriteSetting("LastDir", "/x"), 1);
    EXPECT_TRUE(messages.messages.empty());
}
