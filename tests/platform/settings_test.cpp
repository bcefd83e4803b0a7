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

TEST_F(SettingsTest, SizeLimitsOfReadAndWrite)
{
    app.ReadSettings();
    EXPECT_EQ(app.WriteSetting("LastDir", std::string(600, 'a')), 1);
    EXPECT_EQ(store.QueryValue("LastDir"), std::string(499, 'a'));

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

TEST_F(SettingsTest, WithoutAStoreNothingIsWrittenOrShown)
{
    CQuilloryApp cli;
    cli.m_pMessageBox = &messages;
    EXPECT_EQ(cli.ReadSettings(), 0);
    EXPECT_EQ(cli.WriteSetting("LastDir", "/x"), 1);
    EXPECT_TRUE(messages.messages.empty());
}
