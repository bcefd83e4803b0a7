#include <cstdio>
#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "TempDir.h"
#include "cli/CliOutput.h"
#include "cli/Commands.h"
#include "dbxgen/DbxGen.h"
#include "platform/AtomicFile.h"

namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

} // namespace

class ExtractCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (std::uint32_t i = 0; i < 4; ++i)
            messages.push_back(dbxgen::Message{dbxgen::SampleMessage(i, 1000 + 3000 * i)});
        messages[1].bWrongOwnOffset = true;  // not a message: the names close up over it
        dbxgen::Options options;
        options.nCountWord = 3;  // the folder says so too: nothing is missing
        const auto bytes = dbxgen::BuildFolder(messages, options);
        folder = dir.Write("Inbox.dbx", std::string(bytes.begin(), bytes.end()));
        out = dir.Sub("out");
    }
    void TearDown() override { AtomicFileHooks() = AtomicFileTestHooks{}; }

    Outcome Run(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"quillory-cli", "extract"});
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int status = RunExtract(static_cast<int>(argv.size()), argv.data());
        std::string o = testing::internal::GetCapturedStdout();
        std::string e = testing::internal::GetCapturedStderr();
        return {status, o, e};
    }

    TempDir dir;
    std::vector<dbxgen::Message> messages;
    std::string folder;
    std::string out;
};

TEST_F(ExtractCommandTest, ExtractsEveryListedMessageUnderItsName)
{
    const Outcome r = Run({folder, out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(ReadAll(out + "/Msg00001.eml"), messages[0].text);
    EXPECT_EQ(ReadAll(out + "/Msg00002.eml"), messages[2].text);
    EXPECT_EQ(ReadAll(out + "/Msg00003.eml"), messages[3].text);
    EXPECT_FALSE(std::filesystem::exists(out + "/Msg00004.eml"));
    EXPECT_EQ(r.out, out + "/Msg00001.eml\n" + out + "/Msg00002.eml\n" + out + "/Msg00003.eml\n");
}

TEST_F(ExtractCommandTest, OnlyTheNamedOnesAndUnknownNamesFail)
{
    Outcome r = Run({folder, out, "Msg00003", "Msg00003.eml"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadAll(out + "/Msg00003.eml"), messages[3].text);
    EXPECT_FALSE(std::filesystem::exists(out + "/Msg00001.eml"));

    r = Run({folder, out, "Msg00001", "Msg00009"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Msg00009"), std::string::npos);
    EXPECT_EQ(ReadAll(out + "/Msg00001.eml"), messages[0].text);
}

TEST_F(ExtractCommandTest, ExistingFilesAreKeptUnlessOverwriteIsGiven)
{
    std::filesystem::create_directories(out);
    dir.Write("out/Msg00002.eml", "mine");
    Outcome r = Run({folder, out});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Msg00002.eml exists"), std::string::npos);
    EXPECT_EQ(ReadAll(out + "/Msg00002.eml"), "mine");
    EXPECT_EQ(ReadAll(out + "/Msg00003.eml"), messages[3].text);  // the others are still written

    r = Run({"--overwrite", folder, out, "Msg00002"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadAll(out + "/Msg00002.eml"), messages[2].text);
}

TEST_F(ExtractCommandTest, AFileThatAppearsDuringTheCopyIsKeptUnlessOverwriteIsGiven)
{
    const std::string taken = out + "/Msg00002.eml";
    AtomicFileHooks().beforePlacement = [&](const std::string& destination) {
        if (destination == taken)
            dir.Write("out/Msg00002.eml", "appeared");
    };
    Outcome r = Run({folder, out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quillory-cli: " + taken + " exists, skipped (--overwrite replaces it)\n");
    EXPECT_EQ(r.out, out + "/Msg00001.eml\n" + out + "/Msg00003.eml\n");
    EXPECT_EQ(ReadAll(taken), "appeared");
    EXPECT_EQ(ReadAll(out + "/Msg00003.eml"), messages[3].text);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), {}), 3);  // nothing hidden beside them

    r = Run({"--overwrite", folder, out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadAll(taken), messages[2].text);
}

TEST_F(ExtractCommandTest, ManyMessagesAreToldInTheListingsOrderWhicheverWriterTookThem)
{
    // Enough messages for two writers, which take every other one: the kept files fall to both.
    // (One index node: its order is the messages' order.)
    std::vector<dbxgen::Message> many;
    for (std::uint32_t i = 0; i < 50; ++i)
        many.push_back(dbxgen::Message{dbxgen::SampleMessage(i, 300 + 7 * i)});
    const auto bytes = dbxgen::BuildFolder(many);
    const std::string big = dir.Write("Big.dbx", std::string(bytes.begin(), bytes.end()));
    std::filesystem::create_directories(out);
    const std::set<int> kept = {2, 31, 50};
    for (const int n : kept) {
        char name[32];
        std::snprintf(name, sizeof name, "out/Msg%05d.eml", n);
        dir.Write(name, "mine");
    }
    const Outcome r = Run({big, out});
    EXPECT_EQ(r.status, 1);
    std::string expectedOut;
    std::string expectedErr;
    for (int n = 1; n <= 50; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "/Msg%05d.eml", n);
        if (kept.count(n)) {
            expectedErr += "quillory-cli: " + out + name + " exists, skipped (--overwrite replaces it)\n";
            EXPECT_EQ(ReadAll(out + name), "mine");
        } else {
            expectedOut += out + name + "\n";
            EXPECT_EQ(ReadAll(out + name), many[n - 1].text) << name;
        }
    }
    EXPECT_EQ(r.out, expectedOut);
    EXPECT_EQ(r.err, expectedErr);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), {}), 50);  // nothing hidden beside them
}

TEST_F(ExtractCommandTest, AFailedCopyIsSaidAfterTheProgramsName)
{
    // Not a file: even --overwrite does not replace a directory.
    const std::string blocked = dir.MakeDir("out/Msg00002.eml");
    const Outcome r = Run({"--overwrite", folder, out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quillory-cli: Error on opening file " + blocked + "\n");
    EXPECT_TRUE(std::filesystem::is_directory(blocked));
    EXPECT_EQ(ReadAll(out + "/Msg00003.eml"), messages[3].text);
}

TEST_F(ExtractCommandTest, WrongUsageAndUnreadableFolders)
{
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {{}, 2, "usage: quillory-cli extract PATH OUTDIR [NAME ...] [--overwrite] [--recover]\n"},
        {{folder}, 2, "usage:"},
        {{folder, out, "--force"}, 2, "usage:"},
        {{dir.Path(), out}, 1, "is a directory"},
        {{dir.Sub("missing.dbx"), out}, 1, "Errore in apertura file"},
    };
    for (const Case& c : cases) {
        const Outcome r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(std::filesystem::exists(out)) << c.says;
    }
}

// The JSON strings of list: each escape wherever it falls among the steps of the scan, and strings
// that grow far past their own length, written after what the line already holds.
TEST(CliOutputTest, JsonStringsEscapeEveryByteThatNeedsIt)
{
    struct Case {
        std::string bytes;
        std::string json;
    };
    const Case cases[] = {
        {"", "\"\""},
        {"plain text of more than eight bytes", "\"plain text of more than eight bytes\""},
        {"1234567\"", "\"1234567\\\"\""},
        {"12345678\\", "\"12345678\\\\\""},
        {"line\r\nnext\tx", "\"line\\r\\nnext\\tx\""},
        {std::string("\x00\x1f\x20\x7e\x7f\x80\xff", 7), "\"\\u0000\\u001f ~\\u007f\\u0080\\u00ff\""},
        {"abcdefghijklmno\xe9", "\"abcdefghijklmno\\u00e9\""},
        {"0123456789abcdef\"", "\"0123456789abcdef\\\"\""},
        {"0123456789abcdefghijklmnopqrstu\n", "\"0123456789abcdefghijklmnopqrstu\\n\""},
        {std::string(40, '\x01') + "end", [] {
             std::string json = "\"";
             for (int i = 0; i < 40; ++i)
                 json += "\\u0001";
             return json + "end\"";
         }()},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(JsonBytes(c.bytes), c.json);
        std::string line = "{\"key\":";
        AppendJsonBytes(line, c.bytes);
        EXPECT_EQ(line, "{\"key\":" + c.json);
    }
}
