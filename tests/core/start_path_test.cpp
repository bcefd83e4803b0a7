#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "AsNobody.h"
#include "TempDir.h"
#include "core/StartPath.h"

namespace {

const char* ActionName(StartAction action)
{
    switch (action) {
    case StartAction::ListDirectory: return "list directory";
    case StartAction::ListMailFolder: return "list mail folder";
    case StartAction::AskForFolder: return "ask";
    }
    return "?";
}

// The plan as one line, so that a table row states all of it and a failure shows all of it.
std::string Describe(const StartPlan& plan)
{
    return std::string(ActionName(plan.action)) + " | " + plan.strDirectory + " | " + plan.strMailFolder + " | " +
           plan.strSelectName + (plan.bMessageFile ? " (message)" : "") + " | " + plan.strMessage;
}

} // namespace

class StartPathTest : public ::testing::Test {
protected:
    StartPathTest()
    {
        root = dir.MakeDir("root");
        real = std::filesystem::canonical(root).string();
        dir.MakeDir("root/Mail");
        dir.MakeDir("root/deep/a/b");
        dir.MakeDir("root/elsewhere");
        dir.Write("root/Mail/Inbox.dbx", "any bytes: the reader decides");
        dir.Write("root/Mail/OLD.DBX", "x");
        dir.Write("root/Mail/recovered-0001", std::string("\xCF\xAD\x12\xFE\xC5\xFD\x74\x6F", 8));
        dir.Write("root/Mail/short.bin", std::string("\xCF\xAD\x12", 3));
        dir.Write("root/Mail/note.eml", "From: a\r\n\r\n");
        dir.Write("root/Mail/raw.msg", "From: a\r\n\r\n");
        dir.Write("root/Mail/NOTE.EML", "From: a\r\n\r\n");
        dir.Write("root/elsewhere/real.dbx", "x");
        std::filesystem::create_symlink("deep/a/b", root + "/lnk");
        std::filesystem::create_symlink("../elsewhere/real.dbx", root + "/Mail/alias.dbx");
        ::mkfifo((root + "/fifo").c_str(), 0600);
    }

    TempDir dir;
    std::string root;  // the tree, as the temporary directory names it
    std::string real;  // the same, with the links in the temporary directory's own path resolved
};

TEST_F(StartPathTest, EachKindOfPathGetsItsPlan)
{
    struct Case {
        std::string path;
        std::string expected;
    };
    const std::string R = real;
    const Case cases[] = {
        {root + "/Mail", "list directory | " + R + "/Mail |  |  | "},
        {"Mail/", "list directory | " + R + "/Mail |  |  | "},
        {"/", "list directory | / |  |  | "},
        // ".." after a link climbs from where the link leads, as the shell's cd -P and the kernel do.
        {"lnk/..", "list directory | " + R + "/deep/a |  |  | "},
        {"Mail/Inbox.dbx", "list mail folder | " + R + "/Mail | " + R + "/Mail/Inbox.dbx |  | "},
        {root + "//Mail/./OLD.DBX", "list mail folder | " + R + "/Mail | " + R + "/Mail/OLD.DBX |  | "},
        {"Mail/recovered-0001", "list mail folder | " + R + "/Mail | " + R + "/Mail/recovered-0001 |  | "},
        // A linked file stays where it was given, under its own name.
        {"Mail/alias.dbx", "list mail folder | " + R + "/Mail | " + R + "/Mail/alias.dbx |  | "},
        {"Mail/note.eml", "list directory | " + R + "/Mail |  | note.eml (message) | "},
        {"lnk/../../../Mail/raw.msg", "list directory | " + R + "/Mail |  | raw.msg (message) | "},
        // Listed as other files, as the listing calls them.
        {"Mail/NOTE.EML", "list directory | " + R + "/Mail |  | NOTE.EML | "},
        {"Mail/short.bin", "list directory | " + R + "/Mail |  | short.bin | "},
        {"", "ask |  |  |  | "},
        {"Mail/nothing.dbx", "ask |  |  |  | The path Mail/nothing.dbx cannot be opened: No such file or directory."},
        {"Mail/note.eml/", "ask |  |  |  | The path Mail/note.eml/ cannot be opened: Not a directory."},
        {"fifo", "ask |  |  |  | fifo is neither a directory nor a file: there is nothing in it to list."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(Describe(PlanStartPath(c.path, root)), c.expected);
    }
}

// Permission bits do not stop root, so the plans are made in a child that has dropped to an
// ordinary user (nobody) when the tests run as root; it reports them on a pipe.
TEST_F(StartPathTest, WhatCannotBeReadIsSaidAndTheChooserAsked)
{
    dir.MakeDir("root/locked");
    dir.MakeDir("root/passage");
    dir.Write("root/passage/note.eml", "From: a\r\n\r\n");
    dir.Write("root/passage/Inbox.dbx", "x");
    dir.Write("root/secret.dbx", "x");
    ::chmod((root + "/locked").c_str(), 0);
    ::chmod((root + "/passage").c_str(), 0711);  // its files can be reached, not listed
    ::chmod(dir.Path().c_str(), 0755);
    ::chmod(root.c_str(), 0755);
    ::chmod((root + "/Mail").c_str(), 0755);
    ::chmod((root + "/Mail/note.eml").c_str(), 0644);
    ::chmod((root + "/secret.dbx").c_str(), 0);
    ::chmod((root + "/passage/note.eml").c_str(), 0644);
    ::chmod((root + "/passage/Inbox.dbx").c_str(), 0644);

    const std::string paths[] = {"locked", "secret.dbx", "passage/note.eml", "passage/Inbox.dbx", "Mail/note.eml"};
    const std::optional<std::string> reported = SaidAsNobody([&] {
        std::string said;
        for (const std::string& path : paths)
            said += Describe(PlanStartPath(path, root)) + "\n";
        return said;
    });
    ASSERT_TRUE(reported);
    const std::string& said = *reported;
    const std::string R = real;
    EXPECT_EQ(said,
              "ask |  |  |  | The directory locked cannot be read: Permission denied.\n"
              "ask |  |  |  | The file secret.dbx cannot be read: Permission denied.\n"
              "ask |  |  |  | The directory " + R + "/passage cannot be read: Permission denied.\n"
              // A mail folder is listed from its own file: its directory is read only on the way up.
              "list mail folder | " + R + "/passage | " + R + "/passage/Inbox.dbx |  | \n"
              "list directory | " + R + "/Mail |  | note.eml (message) | \n");
    ::chmod((root + "/locked").c_str(), 0700);
    ::chmod((root + "/passage").c_str(), 0700);
}

TEST(StartPathArgumentTest, TheFirstArgumentThatIsNoOptionIsThePath)
{
    struct Case {
        std::vector<const char*> args;  // after the program's name
        const char* path;
    };
    const Case cases[] = {
        {{}, ""},
        {{"Inbox.dbx"}, "Inbox.dbx"},
        {{"--disable-gpu", "/home/a/Mail", "second"}, "/home/a/Mail"},
        {{"-x", "--flag=1"}, ""},
        {{"-"}, "-"},
        {{"--", "-odd name.dbx"}, "-odd name.dbx"},
        {{"--", "--"}, "--"},
        {{"a b/c d.eml", "--"}, "a b/c d.eml"},
        {{"", "x"}, "x"},
    };
    for (const Case& c : cases) {
        std::vector<const char*> argv{"quillory"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(StartPathArgument(static_cast<int>(argv.size()), argv.data()), c.path)
            << (c.args.empty() ? "(none)" : c.args.front());
    }
}
