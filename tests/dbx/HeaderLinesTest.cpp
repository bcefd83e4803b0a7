// The header-line rules shared by message files and folder messages: each case is read both ways
// and must give the same columns and header block.

#include "DbxFixture.h"

namespace {

struct HeaderCase {
    const char* what;
    std::string text;
    std::string from, to, subject, date;  // the columns, escaped
    std::string header;                   // the tooltip, as found
};

const HeaderCase kCases[] = {
    {"Reply-To, In-Reply-To and X-Original-To never fill To; a To line before From is found",
     "Reply-To: r@x\r\nIn-Reply-To: <i@x>\r\nX-Original-To: o@x\r\nTo: t@x\r\nFrom: f@x\r\nSubject: s\r\n"
     "Date: d\r\n\r\nbody\r\n",
     "From: f@x", "To: t@x", "Subject: s", "Date: d",
     "Reply-To: r@x\r\nIn-Reply-To: <i@x>\r\nX-Original-To: o@x\r\nTo: t@x\r\nFrom: f@x\r\nSubject: s\r\nDate: d"},
    {"LF-only lines keep their last character; the first line counts; the block ends at the blank line",
     "From: abc\nTo: def\nSubject: xyz\nDate: 1 Jan\n\nbody\n", "From: abc", "To: def", "Subject: xyz",
     "Date: 1 Jan", "From: abc\nTo: def\nSubject: xyz\nDate: 1 Jan"},
    {"CR-only lines end at each CR; the blank line ends the header",
     "From: abc\rTo: def\rSubject: xyz\r\rDate: in the body\r", "From: abc", "To: def", "Subject: xyz", "",
     "From: abc\rTo: def\rSubject: xyz"},
    {"labels after the first empty line are body text",
     "X: 1\r\n\r\nFrom: body\r\nTo: body\r\nSubject: body\r\nDate: body\r\n", "", "", "", "", "X: 1"},
    {"labels after an LF-only empty line are body text", "X: 1\n\nSubject: body\n", "", "", "", "", "X: 1"},
    {"an LF-only empty line ends a CR LF header", "To: t\r\n\nSubject: body\r\n", "", "To: t", "", "", "To: t"},
    {"a line without a line end in the bytes read stays empty", "To: t\r\nSubject: cut short", "", "To: t", "",
     "", ""},
    {"a label word inside a value does not count",
     "X-Note: sent from: home\r\nSubject: a to: b date: c\r\n\r\n", "", "", "Subject: a to: b date: c", "",
     "X-Note: sent from: home\r\nSubject: a to: b date: c"},
    {"labels in any letter case; LF, CR and CR LF ends in one header; quotes and angle brackets escaped",
     "fROM: \"Ann\" <a@x>\nTO: <b@x>\rSUBJECT: x > y\r\nDATE: d\n\nbody", "fROM: 'Ann' &lt;a@x&gt;", "TO: &lt;b@x&gt;",
     "SUBJECT: x &gt; y", "DATE: d", "fROM: \"Ann\" <a@x>\nTO: <b@x>\rSUBJECT: x > y\r\nDATE: d"},
    {"a CR before each CR LF is a line end, not an empty line", "X: 1\r\r\nTo: t\r\r\nDate: d\r\r\n", "", "To: t", "",
     "Date: d", ""},
};

} // namespace

class HeaderLinesTest : public DbxFixture {};

TEST_F(HeaderLinesTest, MessageFilesAndFolderMessagesFollowOneRule)
{
    std::vector<dbxgen::Message> messages;
    for (const HeaderCase& c : kCases) {
        dbxgen::Message m;
        m.text = c.text;
        messages.push_back(m);
    }
    const auto folder = List(dbxgen::BuildFolder(messages));
    ASSERT_EQ(folder.size(), std::size(kCases));

    for (std::size_t i = 0; i < std::size(kCases); ++i) {
        const HeaderCase& c = kCases[i];
        listaf* file = app.AppendEntry();
        file->m_strPath = dir.Write("m" + std::to_string(i) + ".eml", c.text);
        app.ReadMessageHeaders(file);
        for (const listaf* e : {static_cast<const listaf*>(file), static_cast<const listaf*>(folder[i])}) {
            SCOPED_TRACE(std::string(c.what) + (e == file ? " (message file)" : " (folder message)"));
            EXPECT_EQ(e->m_strFrom, c.from);
            EXPECT_EQ(e->m_strTo, c.to);
            EXPECT_EQ(e->m_strSubject, c.subject);
            EXPECT_EQ(e->m_strDate, c.date);
            EXPECT_EQ(e->m_strHeader, c.header);  // stored as found, not escaped
        }
    }
}
