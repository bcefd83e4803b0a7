#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <gmime/gmime.h>
#include <sys/resource.h>

#include "TempDir.h"
#include "dbxgen/DbxGen.h"
#include "export/ExportRun.h"

namespace fs = std::filesystem;

namespace {

// The cases every reader must get back exactly.
const std::vector<std::string>& Stored()
{
    static const std::vector<std::string> messages = {
        "Return-Path: <ann@example.org>\r\nFrom: Ann <ann@example.org>\r\nDate: Tue, 7 Mar 2006 09:05:00 +0100\r\n"
        "Subject: lines that look like separators\r\n\r\nFrom the start of a line\r\n>From a quoted one\r\n"
        ">>From deeper\r\nFrom: not a header here\r\n",
        "From: bo@example.net\nSubject: no final line end\n\nlast line without its end",
        "Subject: no date and no sender\n\nFrom nobody\n",
        "From: c@example.com\nDate: 1 Jan 2001 00:30 +0200\nSubject: 8-bit\nContent-Type: text/plain; charset=latin1\n\n"
        "Gr\xfc\xdf\x65 aus K\xf6ln, \xe9t\xe9 \xff\n",
        "From x@example.com Mon Jan  1 00:00:00 2001\r\nFrom: x@example.com\r\nSubject: a stored envelope line\r\n\r\nbody\r\n",
    };
    return messages;
}

// One '>' less on every line that matches ^>+From , as mboxrd readers undo the quoting.
std::string Unquote(const std::string& text)
{
    std::string out;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t nl = text.find('\n', pos);
        const std::size_t end = nl == std::string::npos ? text.size() : nl + 1;
        std::string line = text.substr(pos, end - pos);
        const std::size_t quotes = line.find_first_not_of('>');
        if (quotes != 0 && quotes != std::string::npos && line.compare(quotes, 5, "From ") == 0)
            line.erase(0, 1);
        out += line;
        pos = end;
    }
    return out;
}

struct MboxMessage {
    std::string marker;   // the separator line
    std::string bytes;    // the message as the file holds it, up to the next separator
    std::string subject;  // as GMime decodes it
};

// The mbox as GMime's own mbox parser takes it apart.
std::vector<MboxMessage> ParseMbox(const std::string& path)
{
    static const bool bInit = [] {
        g_mime_init();
        return true;
    }();
    (void)bInit;
    const std::string bytes = ReadAll(path);
    std::vector<MboxMessage> messages;
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size());
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    g_mime_parser_set_format(parser, GMIME_FORMAT_MBOX);
    while (!g_mime_parser_eos(parser)) {
        GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
        if (!message)
            break;
        MboxMessage m;
        char* marker = g_mime_parser_get_mbox_marker(parser);
        m.marker = marker ? marker : "";
        g_free(marker);
        const auto begin = static_cast<std::size_t>(g_mime_parser_get_headers_begin(parser));
        const auto end = static_cast<std::size_t>(g_mime_parser_tell(parser));
        m.bytes = bytes.substr(begin, end - begin);
        const char* subject = g_mime_message_get_subject(message);
        m.subject = subject ? subject : "";
        messages.push_back(std::move(m));
        g_object_unref(message);
    }
    g_object_unref(parser);
    g_object_unref(stream);
    return messages;
}

// Every file below root, as "relative/path", sorted.
std::vector<std::string> Tree(const std::string& root)
{
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(root))
        names.push_back(fs::relative(e.path(), root).string() + (e.is_directory() ? "/" : ""));
    std::sort(names.begin(), names.end());
    return names;
}

std::string Folder(const std::vector<std::string>& texts, bool bDamaged = false)
{
    std::vector<dbxgen::Message> messages;
    for (const std::string& text : texts) {
        dbxgen::Message m;
        m.text = text;
        m.nBlockSize = 64;  // several blocks a message
        messages.push_back(m);
    }
    std::vector<unsigned char> bytes = dbxgen::BuildFolder(messages);
    if (bDamaged) {
        // The second message's first block names itself as the next one: its chain loops. Its
        // blocks follow the first message's chain and record, at the next block header.
        dbxgen::Builder folder;
        folder.Bytes() = bytes;
        std::uint32_t at = 0x24BC;
        while (folder.Get32(at + 12) != 0)
            at = folder.Get32(at + 12);
        for (at += 16; !(folder.Get32(at) == at && folder.Get32(at + 4) == 64); ++at) {
        }
        folder.Put32(at + 12, at);
        bytes = folder.Bytes();
    }
    return std::string(bytes.begin(), bytes.end());
}

} // namespace

class ExportTest : public ::testing::Test {
protected:
    ExportSummary Export(const std::string& source, ExportFormat format, bool bRecursive = false,
                         bool bIntoExisting = false, const ExportControl& control = {})
    {
        request = ExportRequest{source, out, format, bRecursive, bIntoExisting};
        return ExportMail(request, control);
    }

    TempDir dir;
    std::string out = dir.Sub("out");
    ExportRequest request;
};

TEST_F(ExportTest, GMimeReadsTheMboxBackMessageForMessage)
{
    const std::string folder = dir.Write("Inbox.dbx", Folder(Stored()));
    const ExportSummary summary = Export(folder, ExportFormat::Mbox);
    ASSERT_TRUE(summary.Complete()) << ExportSummaryLines(summary, request).front();
    EXPECT_EQ(summary.Messages(), Stored().size());

    const std::vector<MboxMessage> read = ParseMbox(out + "/Inbox.mbox");
    ASSERT_EQ(read.size(), Stored().size());
    const char* const markers[] = {
        "From ann@example.org Tue Mar  7 08:05:00 2006",
        "From bo@example.net Thu Jan  1 00:00:00 1970",
        "From MAILER-DAEMON Thu Jan  1 00:00:00 1970",
        "From c@example.com Sun Dec 31 22:30:00 2000",
        "From x@example.com Thu Jan  1 00:00:00 1970",
    };
    const char* const subjects[] = {"lines that look like separators", "no final line end", "no date and no sender",
                                    "8-bit", "a stored envelope line"};
    for (std::size_t i = 0; i < read.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(read[i].marker, markers[i]);
        EXPECT_EQ(read[i].subject, subjects[i]);
        // The empty line between messages ends each one; a message that had no line end at its
        // end has one more.
        std::string expected = Stored()[i];
        if (expected.back() != '\n')
            expected += '\n';
        EXPECT_EQ(Unquote(read[i].bytes), expected + "\n");
    }
}

TEST_F(ExportTest, MaildirAndMessageFilesHoldTheStoredBytes)
{
    const std::string folder = dir.Write("Inbox.dbx", Folder(Stored()));
    ASSERT_TRUE(Export(folder, ExportFormat::Maildir).Complete());
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(out + "/Inbox/cur"))
        names.push_back(e.path().string());
    // Named by delivery: in the folder's order once sorted by their count (Q1, Q2, ...).
    const auto count = [](const std::string& path) {
        const std::string name = fs::path(path).filename().string();
        return std::stoull(name.substr(name.find('Q') + 1));
    };
    std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) { return count(a) < count(b); });
    ASSERT_EQ(names.size(), Stored().size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(ReadAll(names[i]), Stored()[i]);
        EXPECT_TRUE(names[i].ends_with(":2,")) << names[i];
    }
    EXPECT_TRUE(fs::is_empty(out + "/Inbox/new"));
    EXPECT_TRUE(fs::is_empty(out + "/Inbox/tmp"));

    fs::remove_all(out);
    ASSERT_TRUE(Export(folder, ExportFormat::Eml).Complete());
    for (std::size_t i = 0; i < Stored().size(); ++i)
        EXPECT_EQ(ReadAll(out + "/Inbox/Msg0000" + std::to_string(i + 1) + ".eml"), Stored()[i]);
}

TEST_F(ExportTest, ATreeIsMirroredWithItsMessageFilesAndNoNameTwice)
{
    dir.MakeDir("src/Archive/2004");
    dir.MakeDir("src/Inbox");  // a directory named as a folder's output would be
    dir.Write("src/Inbox.dbx", Folder({Stored()[1]}));
    dir.Write("src/src.dbx", Folder({Stored()[2]}));  // named as the directory's own messages' mbox
    dir.Write("src/a.eml", Stored()[0]);
    dir.Write("src/b.msg", Stored()[2]);
    dir.Write("src/notes.txt", "not mail");
    dir.Write("src/Archive/2004/Old.dbx", Folder({Stored()[3], Stored()[4]}));
    dir.Write("src/Inbox/c.eml", Stored()[3]);
    fs::create_directory_symlink(dir.Sub("src"), dir.Sub("src/Archive/loop"));
    const std::string src = dir.Sub("src");

    struct Case {
        ExportFormat format;
        bool bRecursive;
        std::vector<std::string> tree;
    };
    const Case cases[] = {
        {ExportFormat::Mbox, true,
         {"Archive/", "Archive/2004/", "Archive/2004/Old.mbox", "Inbox.mbox", "Inbox/", "Inbox/Inbox.mbox",
          "src (2).mbox", "src.mbox"}},
        {ExportFormat::Mbox, false, {"Inbox.mbox", "src (2).mbox", "src.mbox"}},
        {ExportFormat::Eml, true,
         {"Archive/", "Archive/2004/", "Archive/2004/Old/", "Archive/2004/Old/Msg00001.eml",
          "Archive/2004/Old/Msg00002.eml", "Inbox (2)/", "Inbox (2)/Msg00001.eml", "Inbox/", "Inbox/c.eml", "a.eml",
          "b.msg", "src/", "src/Msg00001.eml"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(ExportFormatName(c.format)) + (c.bRecursive ? " recursive" : ""));
        fs::remove_all(out);
        const ExportSummary summary = Export(src, c.format, c.bRecursive);
        EXPECT_TRUE(summary.Complete());
        EXPECT_EQ(Tree(out), c.tree);
        EXPECT_EQ(summary.Messages(), c.bRecursive ? 7u : 4u);
    }
    // The directory's own messages, in name order, in the mbox named after it.
    fs::remove_all(out);
    ASSERT_TRUE(Export(src, ExportFormat::Mbox).Complete());
    const std::vector<MboxMessage> read = ParseMbox(out + "/src (2).mbox");
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].subject, "lines that look like separators");
    EXPECT_EQ(read[1].subject, "no date and no sender");
}

TEST_F(ExportTest, TheDestinationMustBeNewOrEmptyAndNotInTheSource)
{
    dir.MakeDir("src");
    const std::string folder = dir.Write("src/Inbox.dbx", Folder({Stored()[0]}));
    dir.MakeDir("full");
    dir.Write("full/keep.txt", "mine");
    dir.MakeDir("empty");
    struct Case {
        std::string source;
        std::string destination;
        bool bIntoExisting;
        bool bAccepted;
        const char* says;
    };
    const Case cases[] = {
        {folder, dir.Sub("full"), false, false, "is not empty"},
        {folder, dir.Sub("full"), true, true, ""},
        {folder, dir.Sub("empty"), false, true, ""},
        {folder, dir.Sub("new/deeper"), false, true, ""},
        {folder, dir.Sub("src"), true, false, "beside the file being exported"},
        {folder, dir.Sub("src/new"), false, true, ""},
        {dir.Sub("src"), dir.Sub("src/new"), false, false, "inside the directory being exported"},
        {dir.Sub("src"), dir.Sub("src"), true, false, "inside the directory being exported"},
        {dir.Sub("missing.dbx"), dir.Sub("x"), false, false, "Error on opening file"},
        {folder, dir.Sub("full/keep.txt"), true, false, "is not a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.destination);
        const ExportSummary summary = ExportMail({c.source, c.destination, ExportFormat::Mbox, true, c.bIntoExisting});
        EXPECT_EQ(summary.bStarted, c.bAccepted);
        if (!c.bAccepted) {
            ASSERT_EQ(summary.problems.size(), 1u);
            EXPECT_NE(summary.problems[0].find(c.says), std::string::npos) << summary.problems[0];
        }
    }
    EXPECT_EQ(ReadAll(dir.Sub("full/keep.txt")), "mine");
    EXPECT_FALSE(fs::exists(dir.Sub("x")));
    EXPECT_EQ(Tree(dir.Sub("src")), (std::vector<std::string>{"Inbox.dbx", "new/", "new/Inbox.mbox"}));
}

TEST_F(ExportTest, IntoAnExistingDirectoryNothingIsReplaced)
{
    const std::string folder = dir.Write("Inbox.dbx", Folder({Stored()[0], Stored()[1]}));
    dir.MakeDir("out/Inbox");
    dir.Write("out/Inbox.mbox", "an older export");
    dir.Write("out/Inbox/Msg00002.eml", "mine");

    ExportSummary summary = Export(folder, ExportFormat::Mbox, false, true);
    EXPECT_FALSE(summary.Complete());
    EXPECT_EQ(ReadAll(out + "/Inbox.mbox"), "an older export");
    ASSERT_EQ(summary.folders.size(), 1u);
    EXPECT_TRUE(summary.folders[0].bFailed);

    summary = Export(folder, ExportFormat::Eml, false, true);
    EXPECT_FALSE(summary.Complete());
    EXPECT_EQ(summary.Messages(), 1u);
    EXPECT_EQ(summary.Skipped(), 1u);
    EXPECT_EQ(ReadAll(out + "/Inbox/Msg00001.eml"), Stored()[0]);
    EXPECT_EQ(ReadAll(out + "/Inbox/Msg00002.eml"), "mine");
    EXPECT_EQ(Tree(out), (std::vector<std::string>{"Inbox.mbox", "Inbox/", "Inbox/Msg00001.eml", "Inbox/Msg00002.eml"}));
}

TEST_F(ExportTest, ADamagedFolderIsReportedAndTheOthersGoOn)
{
    dir.MakeDir("src");
    dir.Write("src/A.dbx", Folder({Stored()[0], Stored()[1], Stored()[2]}, true));
    dir.Write("src/B.dbx", "far too short to be a mail-folder file");
    dir.Write("src/C.dbx", Folder({Stored()[3]}));
    const ExportSummary summary = Export(dir.Sub("src"), ExportFormat::Mbox);
    EXPECT_FALSE(summary.Complete());
    ASSERT_EQ(summary.folders.size(), 3u);
    EXPECT_TRUE(summary.folders[0].bDamaged);
    EXPECT_EQ(summary.folders[0].nMessages, 2u);
    EXPECT_EQ(summary.folders[0].nSkipped, 1u);
    ASSERT_EQ(summary.folders[0].problems.size(), 1u);
    EXPECT_EQ(summary.folders[0].problems[0],
              "The mail-folder file " + dir.Sub("src/A.dbx") + " is damaged. Only the messages that could be read were exported.");
    EXPECT_TRUE(summary.folders[1].bDamaged);
    EXPECT_EQ(summary.folders[2].nMessages, 1u);
    EXPECT_EQ(summary.DamagedFolders(), 2u);
    const std::vector<MboxMessage> a = ParseMbox(out + "/A.mbox");
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(a[1].subject, "no date and no sender");  // the damaged second message left out whole
    EXPECT_EQ(ReadAll(out + "/B.mbox"), "");
    EXPECT_EQ(ParseMbox(out + "/C.mbox").size(), 1u);
}

TEST_F(ExportTest, AFullDiskLeavesNoPartialFileAndTheNextFolderGoesOn)
{
    std::vector<std::string> many(200, Stored()[0]);
    dir.MakeDir("src");
    dir.Write("src/A.dbx", Folder(many));
    dir.Write("src/B.dbx", Folder({Stored()[1]}));
    for (const ExportFormat format : {ExportFormat::Mbox, ExportFormat::Maildir}) {
        SCOPED_TRACE(ExportFormatName(format));
        fs::remove_all(out);
        // A file-size limit fails writes past it for every user, root included, as a full disk would.
        rlimit old {};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old;
        small.rlim_cur = format == ExportFormat::Mbox ? 20000 : 100;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        const ExportSummary summary = Export(dir.Sub("src"), format);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);

        ASSERT_EQ(summary.folders.size(), 2u);
        EXPECT_TRUE(summary.folders[0].bFailed);
        ASSERT_FALSE(summary.folders[0].problems.empty());
        EXPECT_NE(summary.folders[0].problems[0].find("Error on writing file"), std::string::npos);
        EXPECT_FALSE(summary.folders[1].bFailed);
        EXPECT_EQ(summary.folders[1].nMessages, 1u);
        if (format == ExportFormat::Mbox) {
            EXPECT_EQ(Tree(out), (std::vector<std::string>{"B.mbox"}));
        } else {
            // Messages written before the failure are whole; none is cut short.
            for (const auto& e : fs::directory_iterator(out + "/A/cur"))
                EXPECT_EQ(ReadAll(e.path().string()), Stored()[0]);
            EXPECT_EQ(std::distance(fs::directory_iterator(out + "/B/cur"), {}), 1);
        }
    }
}

TEST_F(ExportTest, CancelStopsAtTheNextMessageAndKeepsOnlyWholeFiles)
{
    dir.MakeDir("src");
    dir.Write("src/A.dbx", Folder({Stored()[0], Stored()[1]}));
    dir.Write("src/B.dbx", Folder({Stored()[2], Stored()[3]}));
    dir.Write("src/C.dbx", Folder({Stored()[4]}));
    for (const ExportFormat format : {ExportFormat::Mbox, ExportFormat::Eml}) {
        SCOPED_TRACE(ExportFormatName(format));
        fs::remove_all(out);
        std::atomic<bool> cancel{false};
        ExportControl control;
        control.pCancel = &cancel;
        std::vector<std::string> seen;
        control.onProgress = [&](const ExportProgress& progress) {
            // Raised as the second folder begins: it is left out, the first stays whole.
            if (progress.strCurrent == dir.Sub("src/B.dbx"))
                cancel = true;
            seen.push_back(progress.strCurrent);
        };
        const ExportSummary summary = Export(dir.Sub("src"), format, false, false, control);
        EXPECT_TRUE(summary.bCancelled);
        EXPECT_TRUE(summary.bFlushed);
        EXPECT_EQ(summary.Messages(), 2u);
        EXPECT_EQ(ExportSummaryLines(summary, {}).front().rfind("Cancelled after exporting 1 folder, 2 messages", 0), 0u);
        EXPECT_EQ(seen.back(), "");  // the last report comes at the end
        if (format == ExportFormat::Mbox) {
            EXPECT_EQ(Tree(out), (std::vector<std::string>{"A.mbox"}));
            EXPECT_EQ(ParseMbox(out + "/A.mbox").size(), 2u);
        } else {
            EXPECT_EQ(Tree(out), (std::vector<std::string>{"A/", "A/Msg00001.eml", "A/Msg00002.eml"}));
        }
    }
}

// Messages the index left out are exported only when asked, after the indexed ones and named as
// the listing names them; the indexed ones are not exported twice.
TEST_F(ExportTest, RecoveredMessagesFollowTheIndexedOnesWhenAsked)
{
    std::vector<dbxgen::Message> messages(3);
    for (std::size_t i = 0; i < messages.size(); ++i)
        messages[i].text = "From: m" + std::to_string(i) + "@example.org\r\nSubject: " + std::to_string(i) + "\r\n\r\nbody\r\n";
    messages[1].bUnindexed = true;
    const std::vector<unsigned char> bytes = dbxgen::BuildFolder(messages);
    const std::string folder = dir.Write("Inbox.dbx", std::string(bytes.begin(), bytes.end()));

    ASSERT_TRUE(Export(folder, ExportFormat::Eml).Complete());
    EXPECT_EQ(ReadAll(out + "/Inbox/Msg00001.eml"), messages[0].text);
    EXPECT_EQ(ReadAll(out + "/Inbox/Msg00002.eml"), messages[2].text);
    EXPECT_FALSE(fs::exists(out + "/Inbox/Rec00001.eml"));

    fs::remove_all(out);
    request = ExportRequest{folder, out, ExportFormat::Eml};
    request.bRecover = true;
    const ExportSummary summary = ExportMail(request, {});
    ASSERT_TRUE(summary.Complete());
    EXPECT_EQ(summary.Messages(), 3u);
    EXPECT_EQ(ReadAll(out + "/Inbox/Rec00001.eml"), messages[1].text);
    EXPECT_FALSE(fs::exists(out + "/Inbox/Rec00002.eml"));
}
