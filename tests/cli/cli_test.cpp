#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sys/wait.h>
#include <vector>

#include "CliRun.h"
#include "TempDir.h"
#include "dbxgen/DbxGen.h"

namespace {

// Decodes the JSON string that starts at text[pos] (the opening quote) into bytes, each \u00XX
// escape giving one byte; advances pos past the closing quote.
std::string DecodeString(const std::string& text, std::size_t& pos)
{
    std::string bytes;
    for (++pos; pos < text.size() && text[pos] != '"'; ++pos) {
        if (text[pos] != '\\') {
            bytes += text[pos];
            continue;
        }
        const char c = text[++pos];
        switch (c) {
        case 'n': bytes += '\n'; break;
        case 'r': bytes += '\r'; break;
        case 't': bytes += '\t'; break;
        case 'u': {
            const unsigned code = std::stoul(text.substr(pos + 1, 4), nullptr, 16);
            EXPECT_LT(code, 0x100u) << "a byte is one code point below U+0100";
            bytes += static_cast<char>(code);
            pos += 4;
            break;
        }
        default: bytes += c;
        }
    }
    ++pos;
    return bytes;
}

// A flat JSON object of strings and integers, values as text.
std::map<std::string, std::string> ParseLine(const std::string& line)
{
    std::map<std::string, std::string> fields;
    std::size_t pos = 1;
    while (pos < line.size() && line[pos] == '"') {
        const std::string key = DecodeString(line, pos);
        ++pos;  // ':'
        if (line[pos] == '"') {
            fields[key] = DecodeString(line, pos);
        } else {
            const std::size_t end = line.find_first_of(",}", pos);
            fields[key] = line.substr(pos, end - pos);
            pos = end;
        }
        if (line[pos] == ',')
            ++pos;
    }
    return fields;
}

std::vector<std::map<std::string, std::string>> ParseLines(const std::string& out)
{
    std::vector<std::map<std::string, std::string>> rows;
    std::size_t start = 0;
    while (start < out.size()) {
        const std::size_t end = out.find('\n', start);
        rows.push_back(ParseLine(out.substr(start, end - start)));
        start = end + 1;
    }
    return rows;
}

} // namespace

class CliTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(CliTest, ListsADirectoryAsSortedJsonLinesWithEveryByte)
{
    const std::string root = dir.MakeDir("root");
    dir.MakeDir("root/Sub dir");
    const std::string name = "caf\xE9 \"&<x>.eml";
    dir.Write("root/" + name, "From: Zo\xEB <z@x> \r\nSubject: \x01tab\there\r\n\r\nbody");
    dir.Write("root/a.eml", "From: Adam\r\nTo: Eve\r\n\r\n");
    dir.Write("root/notes.txt", "n");

    const CliRun run = RunCli("list '" + root + "' --sort from", dir);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const auto rows = ParseLines(run.out);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].at("name"), "Sub dir");
    EXPECT_EQ(rows[0].at("kind"), "4");
    EXPECT_EQ(rows[1].at("name"), "a.eml");
    EXPECT_EQ(rows[2].at("name"), name);
    EXPECT_EQ(rows[2].at("path"), root + "/" + name);
    EXPECT_EQ(rows[2].at("ext"), ".eml");
    EXPECT_EQ(rows[2].at("from"), "From: Zo\xEB &lt;z@x&gt;");
    EXPECT_EQ(rows[2].at("subject"), "Subject: \x01tab\there");
    EXPECT_EQ(rows[2].at("header"), "From: Zo\xEB <z@x> \r\nSubject: \x01tab\there");
    // The raw lines as the file holds them: not escaped, not trimmed.
    EXPECT_EQ(rows[2].at("from_raw"), "From: Zo\xEB <z@x> ");
    EXPECT_EQ(rows[2].at("subject_raw"), "Subject: \x01tab\there");
    EXPECT_EQ(rows[2].at("to_raw"), "");
    EXPECT_EQ(rows[1].at("to_raw"), "To: Eve");
    EXPECT_EQ(rows[2].at("size"), std::to_string(std::filesystem::file_size(root + "/" + name)));
    EXPECT_EQ(rows[3].at("name"), "notes.txt");
    for (const auto& row : rows) {
        EXPECT_EQ(row.size(), 17u);
        EXPECT_EQ(row.at("record_offset"), "0");
        EXPECT_EQ(row.at("data_offset"), "0");
    }
    // The command line never touches the user's settings.
    EXPECT_FALSE(std::filesystem::exists(dir.Sub("config")));
}

TEST_F(CliTest, HelpVersionAndWrongUsage)
{
    const std::string all = "usage: quillory-cli list PATH [--sort entry|from|to|subject] [--recover]\n"
                            "       quillory-cli extract PATH OUTDIR [NAME ...] [--overwrite] [--recover]\n"
                            "       quillory-cli show PATH [MSGNAME] [--html] [--attachments OUTDIR]\n"
                            "       quillory-cli export SOURCE OUTDIR [--format mbox|maildir|eml] [--recursive]\n"
                            "                           [--into-existing] [--recover]\n"
                            "       quillory-cli --help | --version\n";
    const std::string list = "usage: quillory-cli list PATH [--sort entry|from|to|subject] [--recover]\n";
    const std::string extract = "usage: quillory-cli extract PATH OUTDIR [NAME ...] [--overwrite] [--recover]\n";
    struct Case {
        std::string args;
        int status;
        std::string out;
        std::string err;
    };
    const Case cases[] = {
        {"", 2, "", all},
        {"--version", 0, "quillory-cli " QUILLORY_VERSION "\n", ""},
        {"frobnicate", 2, "", "quillory-cli: no command frobnicate\n" + all},
        {"list", 2, "", "quillory-cli: list needs a PATH\n" + list},
        {"list a b", 2, "", "quillory-cli: list takes one PATH\n" + list},
        {"list . --sort", 2, "", "quillory-cli: --sort needs an order: entry, from, to or subject\n" + list},
        {"list . --sort size", 2, "", "quillory-cli: no sort order size: entry, from, to or subject\n" + list},
        {"list . --all", 2, "", "quillory-cli: list has no option --all\n" + list},
        {"extract x.dbx", 2, "", "quillory-cli: extract needs a mail-folder file and an output directory\n" + extract},
        {"extract x.dbx out --force", 2, "", "quillory-cli: extract has no option --force\n" + extract},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const CliRun run = RunCli(c.args, dir);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.Sub("out")));

    // The help goes to stdout and names every command.
    const CliRun help = RunCli("--help", dir);
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    for (const char* command : {"quillory-cli list PATH", "quillory-cli extract PATH OUTDIR", "--version"})
        EXPECT_NE(help.out.find(command), std::string::npos) << command;
}

TEST_F(CliTest, MessagesStartWithTheProgramsName)
{
    // Not a directory: read as a mail-folder file, which cannot be opened here.
    const CliRun missing = RunCli("list '" + dir.Sub("missing.dbx") + "'", dir);
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "quillory-cli: Errore in apertura file\n");

    // A message file is not a mail-folder file, and not a damaged one either.
    const std::string eml = dir.Write("note.eml", "From: a\r\n\r\nbody\r\n");
    const CliRun message = RunCli("list '" + eml + "'", dir);
    EXPECT_EQ(message.status, 1);
    EXPECT_EQ(message.out, "");
    EXPECT_EQ(message.err, "quillory-cli: The file " + eml + " is a single message, not a mail-folder file: list the directory that holds it.\n");
}

TEST_F(CliTest, FolderMessagesCarryTheirRawHeaderLines)
{
    dbxgen::Message m;
    m.text = "From: \"A=20B\" <a@b>  \r\nTo: x=2Ey\r\nSubject: <b>=20</b>\r\nDate: 1=202\r\n\r\nbody\r\n";
    const std::vector<unsigned char> bytes = dbxgen::BuildFolder({m});
    const std::string folder = dir.Write("Inbox.dbx", std::string(bytes.begin(), bytes.end()));

    const CliRun run = RunCli("list '" + folder + "'", dir);
    EXPECT_EQ(run.status, 0) << run.err;
    const auto rows = ParseLines(run.out);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].at("from"), "From: 'A B' &lt;a@b&gt;  ");
    EXPECT_EQ(rows[0].at("from_raw"), "From: \"A=20B\" <a@b>  ");
    EXPECT_EQ(rows[0].at("to"), "To: x.y");
    EXPECT_EQ(rows[0].at("to_raw"), "To: x=2Ey");
    EXPECT_EQ(rows[0].at("subject"), "Subject: &lt;b&gt;=20&lt;/b&gt;");
    EXPECT_EQ(rows[0].at("subject_raw"), "Subject: <b>=20</b>");
    EXPECT_EQ(rows[0].at("date"), "Date: 1 2");
    EXPECT_EQ(rows[0].at("date_raw"), "Date: 1=202");
}

TEST_F(CliTest, RecoverListsAndExtractsTheMessagesOutsideTheIndex)
{
    std::vector<dbxgen::Message> messages;
    for (std::uint32_t i = 0; i < 3; ++i)
        messages.push_back(dbxgen::Message{dbxgen::SampleMessage(i, 1500)});
    messages[1].bUnindexed = true;       // its record taken out of the index
    messages[2].bUnindexed = true;       // deleted: its blocks lost their own offsets
    messages[2].nLostOwnOffset = 0;
    dbxgen::Options options;
    options.nCountWord = 1;              // nothing missing: the index alone is sound
    const std::vector<unsigned char> bytes = dbxgen::BuildFolder(messages, options);
    const std::string folder = dir.Write("Inbox.dbx", std::string(bytes.begin(), bytes.end()));

    CliRun run = RunCli("list '" + folder + "'", dir);
    EXPECT_EQ(run.status, 0) << run.err;
    auto rows = ParseLines(run.out);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].size(), 19u);
    EXPECT_EQ(rows[0].at("recovered"), "false");
    EXPECT_EQ(rows[0].at("complete"), "true");

    run = RunCli("list '" + folder + "' --recover --sort subject", dir);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    rows = ParseLines(run.out);
    ASSERT_EQ(rows.size(), 3u);
    // Sorted by subject: "Invoice 0412 for March #3", "Minutes of the Tuesday meeting #1", "Re: garden club seed order #2".
    EXPECT_EQ(rows[0].at("name"), "Rec00002");
    EXPECT_EQ(rows[0].at("recovered"), "true");
    EXPECT_EQ(rows[0].at("complete"), "false");
    EXPECT_EQ(rows[0].at("record_offset"), "0");
    EXPECT_EQ(rows[1].at("name"), "Msg00001");
    EXPECT_EQ(rows[1].at("recovered"), "false");
    EXPECT_EQ(rows[2].at("name"), "Rec00001");
    EXPECT_EQ(rows[2].at("recovered"), "true");
    EXPECT_EQ(rows[2].at("complete"), "true");
    EXPECT_EQ(rows[2].at("size"), std::to_string(messages[1].text.size()));

    const std::string out = dir.Sub("out");
    run = RunCli("extract '" + folder + "' '" + out + "' --recover", dir);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, out + "/Msg00001.eml\n" + out + "/Rec00001.eml\n" + out + "/Rec00002.eml\n");
    EXPECT_EQ(ReadAll(out + "/Msg00001.eml"), messages[0].text);
    EXPECT_EQ(ReadAll(out + "/Rec00001.eml"), messages[1].text);
    EXPECT_EQ(ReadAll(out + "/Rec00002.eml"), messages[2].text);

    // Without --recover a sound folder has no Rec names.
    run = RunCli("extract '" + folder + "' '" + dir.Sub("out2") + "' Rec00001", dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("no message named Rec00001"), std::string::npos);
}

TEST_F(CliTest, AFullStandardOutputIsAnError)
{
    const std::string root = dir.MakeDir("root");
    dir.Write("root/a.eml", "From: Adam\r\n\r\n");
    const auto folder = dbxgen::BuildFolder({dbxgen::Message{dbxgen::SampleMessage(0, 500)}});
    const std::string dbx = dir.Write("Inbox.dbx", std::string(folder.begin(), folder.end()));
    const std::string errPath = dir.Sub("stderr.txt");
    for (const std::string& args : {"list '" + root + "'", "extract '" + dbx + "' '" + dir.Sub("out") + "'"}) {
        SCOPED_TRACE(args);
        const std::string command = std::string(QUILLORY_CLI) + " " + args + " >/dev/full 2>'" + errPath + "'";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1);
        EXPECT_EQ(ReadAll(errPath), "quillory-cli: cannot write to standard output: No space left on device\n");
    }
    // The files are written all the same.
    EXPECT_EQ(ReadAll(dir.Sub("out/Msg00001.eml")), dbxgen::SampleMessage(0, 500));
}

TEST(CliExportTest, StatusSaysWhetherEverythingWasExported)
{
    TempDir dir;
    const std::string first = dbxgen::SampleMessage(0);
    const std::string second = dbxgen::SampleMessage(1);
    const auto bytes = dbxgen::BuildFolder({dbxgen::Message{first}, dbxgen::Message{second}});
    char amount[32];
    std::snprintf(amount, sizeof amount, "(%.1f KB)", static_cast<double>(first.size() + second.size()) / 1000);
    dir.MakeDir("mail");
    dir.Write("mail/Inbox.dbx", std::string(bytes.begin(), bytes.end()));
    dir.Write("mail/Broken.dbx", "too short");
    dir.MakeDir("full");
    dir.Write("full/x", "x");
    const std::string folder = dir.Sub("mail/Inbox.dbx");
    struct Case {
        std::string args;
        int status;
        std::string out;  // the summary's first line, up to its time
        const char* err;  // part of stderr
    };
    const Case cases[] = {
        {"export " + folder + " " + dir.Sub("a"), 0,
         "Exported 1 folder, 2 messages " + std::string(amount) + " as mbox into " + dir.Sub("a"), ""},
        {"export " + folder + " " + dir.Sub("b") + " --format maildir", 0,
         "Exported 1 folder, 2 messages " + std::string(amount) + " as maildir into " + dir.Sub("b"), ""},
        {"export " + dir.Sub("mail") + " " + dir.Sub("c") + " --format eml --recursive", 1,
         "Exported 2 folders, 2 messages " + std::string(amount) + " as eml into " + dir.Sub("c"), "Broken.dbx is damaged"},
        {"export " + folder + " " + dir.Sub("full"), 1, "Nothing was exported.", "is not empty"},
        {"export " + folder, 2, "", "usage: quillory-cli export SOURCE OUTDIR"},
        {"export " + folder + " " + dir.Sub("d") + " --format mbox2", 2, "", "usage:"},
        {"export " + folder + " " + dir.Sub("d") + " --into", 2, "", "usage:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const CliRun run = RunCli(c.args, dir);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_EQ(run.out.substr(0, c.out.size()), c.out);
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find('\r'), std::string::npos);  // no progress line when stderr is no terminal
    }
}
