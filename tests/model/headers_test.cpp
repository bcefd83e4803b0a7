#include <gtest/gtest.h>

#include "TempDir.h"
#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "model/TextSearch.h"

namespace {

struct HeaderCase {
    const char* what;
    std::string text;
    std::string from, to, subject, date, header;
};

} // namespace

class HeaderTest : public ::testing::Test {
protected:
    listaf* Read(const std::string& bytes)
    {
        listaf* e = app.AppendEntry();
        e->m_strPath = dir.Write("m" + std::to_string(e->m_nSerial) + ".eml", bytes);
        e->m_nKind = KIND_MESSAGE_FILE;
        EXPECT_EQ(app.ReadMessageHeaders(e), 0);
        return e;
    }
    TempDir dir;
    CQuilloryApp app;
};

TEST_F(HeaderTest, LinesAreFoundTrimmedAndEscaped)
{
    using namespace std::string_literals;
    const std::string longHeader = "X-Pad: " + std::string(3000, 'p') + "\r\nFrom: late\r\n\r\n";
    const HeaderCase cases[] = {
        {"plain CRLF message",
         "From: John Smith <john@example.com>\r\nTo: \"Mary\" <mary@example.org>\r\n"
         "Subject: Minutes\r\nDate: Mon, 1 Jan 2007 10:00:00 +0100\r\n\r\nBody: not a header\r\n",
         "From: John Smith &lt;john@example.com&gt;", "To: 'Mary' &lt;mary@example.org&gt;",
         "Subject: Minutes", "Date: Mon, 1 Jan 2007 10:00:00 +0100",
         "From: John Smith <john@example.com>\r\nTo: \"Mary\" <mary@example.org>\r\n"
         "Subject: Minutes\r\nDate: Mon, 1 Jan 2007 10:00:00 +0100"},
        {"labels keep the message's own case, ampersands stay",
         "FROM:  A & B  \r\nsubject: lower\r\n\r\n", "FROM:  A & B", "", "subject: lower", "", "FROM:  A & B  \r\nsubject: lower"},
        {"without a From line, To is searched from the start",
         "To: only\r\nSubject: s\r\n", "", "To: only", "Subject: s", "", ""},
        {"a folded header keeps its first line only",
         "Subject: part one\r\n  part two\r\n\r\n", "", "", "Subject: part one", "", "Subject: part one\r\n  part two"},
        {"encoded words and high bytes are stored as they are",
         "Subject: =?iso-8859-1?q?Caf=E9?= \xE9\xFF\r\n\r\n", "", "", "Subject: =?iso-8859-1?q?Caf=E9?= \xE9\xFF", "",
         "Subject: =?iso-8859-1?q?Caf=E9?= \xE9\xFF"},
        {"a zero byte hides everything after it",
         "Subject: seen\r\n\0From: hidden\r\n\r\n"s, "", "", "Subject: seen", "", ""},
        {"a header longer than the window has no block and no late labels", longHeader, "", "", "", "", ""},
        {"no labels at all", "just text\r\n\r\nmore", "", "", "", "", "just text"},
    };
    for (const HeaderCase& c : cases) {
        const listaf* e = Read(c.text);
        EXPECT_EQ(e->m_strFrom, c.from) << c.what;
        EXPECT_EQ(e->m_strTo, c.to) << c.what;
        EXPECT_EQ(e->m_strSubject, c.subject) << c.what;
        EXPECT_EQ(e->m_strDate, c.date) << c.what;
        EXPECT_EQ(e->m_strHeader, c.header) << c.what;
    }
}

TEST_F(HeaderTest, UnreadableFileLeavesTheEntryAlone)
{
    listaf* e = app.AppendEntry();
    e->m_strPath = dir.Sub("missing.eml");
    e->m_strFrom = "before";
    EXPECT_EQ(app.ReadMessageHeaders(e), 0);
    EXPECT_EQ(e->m_strFrom, "before");
    EXPECT_EQ(e->m_strHeader, "");
}

TEST(TextSearchTest, FindNoCaseAndEscape)
{
    EXPECT_EQ(FindNoCase("abc FROM: x", "from:", 0), 4);
    EXPECT_EQ(FindNoCase("abc FROM: x", "from:", 5), -1);
    EXPECT_EQ(FindNoCase("abc", "b", 3), -1);
    EXPECT_EQ(FindNoCase("abc", "b", 4), -1);
    EXPECT_EQ(FindNoCase("abc", "b", -1), -1);
    EXPECT_EQ(FindNoCase("\xC9t\xE9", "\xE9", 0), 2);  // no case folding beyond ASCII

    std::string s = "<<a>> \"q\" & </b>";
    EscapeForHtml(s);
    EXPECT_EQ(s, "&lt;&lt;a&gt;&gt; 'q' & &lt;/b&gt;");
    std::string big(100000, '<');
    EscapeForHtml(big);
    EXPECT_EQ(big.size(), 400000u);
}
