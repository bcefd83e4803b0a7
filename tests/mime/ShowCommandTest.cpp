// quillory-cli show, run as a program: which message it finds, what it prints, its exit status.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/wait.h>

#include "CliRun.h"
#include "TempDir.h"
#include "dbxgen/DbxGen.h"

namespace {

CliRun Show(const std::string& args, const TempDir& dir) { return RunCli("show " + args, dir); }

} // namespace

class ShowCommandTest : public ::testing::Test {
protected:
    TempDir dir;

    std::string Folder()
    {
        dbxgen::Message first;
        first.text = "From: a@example.org\r\nSubject: first\r\n\r\nfirst body\r\n";
        dbxgen::Message second;
        second.text = "From: =?utf-8?q?Z=C3=B6e?= <z@example.org>\r\nTo: b@example.org\r\nSubject: =?koi8-r?B?8NLJ18XU?=\r\n"
                      "Date: Thu, 4 Jan 2001 10:00:00 +0000\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
                      "--b\r\nContent-Type: text/plain\r\n\r\nsecond body\r\n"
                      "--b\r\nContent-Type: application/octet-stream; name=\"../x.bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n"
                      "AAH/\r\n--b--\r\n";
        second.nBlockSize = 64;
        const std::string path = dir.Sub("folder.dbx");
        EXPECT_TRUE(dbxgen::WriteFile(path, dbxgen::BuildFolder({first, second})));
        return path;
    }
};

TEST_F(ShowCommandTest, ShowsAFolderMessageByNameAndSavesItsAttachments)
{
    const std::string folder = Folder();
    const std::string out = dir.Sub("out");
    const CliRun run = Show("'" + folder + "' Msg00002.eml --attachments '" + out + "'", dir);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "From: Z\xC3\xB6" "e <z@example.org>\nTo: b@example.org\nDate: Thu, 4 Jan 2001 10:00:00 +0000\n"
                       "Subject: \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\n\nsecond body\n" + out + "/_x.bin\n");
    EXPECT_EQ(ReadAll(out + "/_x.bin"), std::string("\x00\x01\xFF", 3));
}

TEST_F(ShowCommandTest, ExitStatusTellsUsageFromFailure)
{
    const std::string folder = Folder();
    const std::string message = dir.Write("m.eml", "From: a\r\nSubject: s\r\n\r\nhello");
    struct StatusCase {
        std::string args;
        int status;
        std::string errHas;
    };
    const StatusCase cases[] = {
        {"'" + message + "'", 0, ""},
        {"", 2, "usage"},
        {"'" + message + "' --bogus", 2, "usage"},
        {"'" + message + "' --attachments", 2, "usage"},
        {"'" + folder + "'", 2, "name the message"},
        {"'" + folder + "' Msg00009", 1, "no message named Msg00009"},
        {"'" + dir.Sub("missing.eml") + "'", 1, "Error on opening file"},
        {"'" + dir.Path() + "'", 1, "is a directory"},
        {"'" + message + "' --html", 1, "no HTML part"},
    };
    for (const StatusCase& c : cases) {
        const CliRun run = Show(c.args, dir);
        EXPECT_EQ(run.status, c.status) << c.args << ": " << run.err;
        EXPECT_NE(run.err.find(c.errHas), std::string::npos) << c.args << ": " << run.err;
    }
}

TEST_F(ShowCommandTest, NothingFromTheMessageSteersTheTerminal)
{
    // An escape sequence, a carriage return that would overwrite the line, and a C1 control (CSI).
    const std::string message = dir.Write("m.eml", "From: a\r\nSubject: =?utf-8?q?x=1B]0;title=07?=\r\n"
                                                   "Content-Type: text/plain; charset=utf-8\r\n\r\n"
                                                   "safe\x1B[2Jtext\rover \xC2\x9B" "31m\r\n");
    const CliRun run = Show("'" + message + "'", dir);
    EXPECT_EQ(run.out.find('\x1B'), std::string::npos);
    EXPECT_EQ(run.out.find("\xC2\x9B"), std::string::npos);
    EXPECT_NE(run.out.find("Subject: x ]0;title\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("safe\xEF\xBF\xBD[2Jtext\nover \xEF\xBF\xBD" "31m\n"), std::string::npos) << run.out;
}
