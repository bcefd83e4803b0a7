#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "export/MboxFormat.h"

namespace {

// The message fed in the given pieces, then finished.
std::string Quoted(const std::vector<std::string>& pieces)
{
    MboxrdQuoter quoter;
    std::string out;
    for (const std::string& piece : pieces)
        quoter.Feed(piece, out);
    quoter.Finish(out);
    return out;
}

std::vector<std::string> Bytewise(const std::string& text)
{
    std::vector<std::string> pieces;
    for (const char c : text)
        pieces.emplace_back(1, c);
    return pieces;
}

} // namespace

TEST(MboxFormatTest, QuotesEveryLineThatMatchesTheFromPatternAndEndsTheMessage)
{
    struct Case {
        const char* what;
        std::string message;
        std::string expected;
    };
    const Case cases[] = {
        {"body From and >From lines", "Subject: a\n\nFrom here\n>From there\n>>From far\n",
         "Subject: a\n\n>From here\n>>From there\n>>>From far\n\n"},
        {"near misses stay", "From: x@y\nFrom\n>From:\n>Fro m\nFrom\tx\n x From y\n\n>\n",
         "From: x@y\nFrom\n>From:\n>Fro m\nFrom\tx\n x From y\n\n>\n\n"},
        {"an envelope line at the top", "From x@y Mon Jan  1 00:00:00 2001\nSubject: a\n\nb\n",
         ">From x@y Mon Jan  1 00:00:00 2001\nSubject: a\n\nb\n\n"},
        {"CR LF lines keep their ends", "Subject: a\r\n\r\nFrom b\r\nc\r\n", "Subject: a\r\n\r\n>From b\r\nc\r\n\n"},
        {"no final line end gets an LF", "Subject: a\r\n\r\nlast", "Subject: a\r\n\r\nlast\n\n"},
        {"a final From line without its end", "a\nFrom ", "a\n>From \n\n"},
        {"a final line that only starts like one", "a\n>>Fro", "a\n>>Fro\n\n"},
        {"a CR alone ends no line", "a\rFrom b\n", "a\rFrom b\n\n"},
        {"8-bit bytes pass", "Subject: \xe9t\xe9\n\n\xff\xfe From\n", "Subject: \xe9t\xe9\n\n\xff\xfe From\n\n"},
        {"an empty message", "", "\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Quoted({c.message}), c.expected) << c.what;
        // Cut anywhere, the message comes out the same.
        EXPECT_EQ(Quoted(Bytewise(c.message)), c.expected) << c.what << ", fed byte by byte";
    }
}

TEST(MboxFormatTest, OneQuoterWritesMessageAfterMessage)
{
    MboxrdQuoter quoter;
    std::string out;
    quoter.Feed("a\n>>F", out);
    quoter.Finish(out);
    quoter.Feed("From x\n", out);
    quoter.Finish(out);
    EXPECT_EQ(out, "a\n>>F\n\n>From x\n\n");
}

TEST(MboxFormatTest, TheSeparatorLineTakesSenderAndDateFromTheHeader)
{
    struct Case {
        const char* what;
        std::string header;
        std::string expected;
    };
    const Case cases[] = {
        {"Return-Path first, date to UTC", "From: Ann <ann@x.org>\r\nReturn-Path: <bounce@x.org>\r\nDate: Tue, 7 Mar 2006 09:05:00 +0100\r\n\r\n",
         "From bounce@x.org Tue Mar  7 08:05:00 2006"},
        {"From's address when there is no Return-Path", "Date: 1 Jan 2001 00:30 +0200\nFrom: \"Doe, Jo\" <jo@x.org>\n\n",
         "From jo@x.org Sun Dec 31 22:30:00 2000"},
        {"an empty Return-Path falls back to From", "Return-Path: <>\nFrom: jo@x.org (Jo)\nDate: Mon, 31 Dec 2001 23:59:59 -0500\n\n",
         "From jo@x.org Tue Jan  1 04:59:59 2002"},
        {"folded From and named zone", "From: Jo\n <jo@x.org>\nDate: Fri, 29 Feb 2008 10:00:00 EST\n\n",
         "From jo@x.org Fri Feb 29 15:00:00 2008"},
        {"two-digit year, no day name", "From: a@b\nDate: 5 Nov 99 12:00:00 GMT\n\n", "From a@b Fri Nov  5 12:00:00 1999"},
        {"neither sender nor date", "Subject: none\n\nFrom: not@header\nDate: 1 Jan 2001 00:00 +0000\n",
         "From MAILER-DAEMON Thu Jan  1 00:00:00 1970"},
        {"an impossible date", "From: a@b\nDate: Mon, 30 Feb 2004 10:00:00 +0000\n\n", "From a@b Thu Jan  1 00:00:00 1970"},
        {"an address with white space is unusable", "From: \"a b\"@c\nDate: garbage\n\n", "From MAILER-DAEMON Thu Jan  1 00:00:00 1970"},
        {"labels without case", "RETURN-PATH: <r@x>\ndate: Sat, 1 Jan 2000 00:00:00 +0000\n\n", "From r@x Sat Jan  1 00:00:00 2000"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MboxFromLine(c.header), c.expected) << c.what;
}
