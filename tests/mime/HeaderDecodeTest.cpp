// The listing's decoder: one raw header line in, its label and decoded text out; and the listing's
// cells made from it.

#include <gtest/gtest.h>

#include <string>

#include "core/QuilloryApp.h"
#include "mime/HeaderDecode.h"
#include "mime/ListingDecode.h"
#include "model/listax.h"

TEST(HeaderDecodeTest, DecodesTheValueAndKeepsTheLabelAsSpelled)
{
    struct LineCase {
        std::string line;
        std::string expected;
    };
    const LineCase cases[] = {
        {"Subject: =?koi8-r?B?8NLJ18XU?=", "Subject: \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
        {"SUBJECT:=?utf-8?q?caf=C3=A9?=", "SUBJECT:caf\xC3\xA9"},
        {"From:\t=?iso-8859-1?q?J=F6rg?= <j@example.de>", "From: J\xC3\xB6rg <j@example.de>"},
        {"To: plain <p@example.org>  ", "To: plain <p@example.org>"},
        {"Date: Mon, 1 Jan 2001 10:00:00 +0000", "Date: Mon, 1 Jan 2001 10:00:00 +0000"},
        {"Subject: caf\xE9", "Subject: caf\xC3\xA9"},
        {"Subject: a\tb", "Subject: a b"},
        {"Subject: =?utf-8?q?x=0Ay?=", "Subject: x y"},
        {"Subject:", "Subject:"},
        {"no label =?utf-8?q?=C3=A9?=", "no label \xC3\xA9"},
        {"", ""},
    };
    for (const LineCase& c : cases)
        EXPECT_EQ(DecodeHeaderLine(c.line), c.expected) << c.line;
}

// The common case has a decoder of its own, for the listing's speed; the MIME library's decoder is
// the reference it must match.
TEST(HeaderDecodeTest, FastDecoderAgreesWithTheLibrary)
{
    const std::string values[] = {
        "=?utf-8?B?w6k=?=",
        "=?utf-8?q?=E2=98?= =?utf-8?q?=95?=",  // one character split over two words
        "=?koi8-r?B?8NLJ?=  =?windows-1251?B?4uXy?=",
        "=?iso-8859-1?q?caf=E9?= au =?ISO-8859-1?Q?lait_=80?=",
        "a =?utf-8?q?b?= c",
        "=?utf-8?q?a?=\t=?utf-8?q?b?=   tail",
        "=?UTF8?Q?x?=",
        "=?us-ascii?q?plain?=",
        "=?utf-8?q?=c3=a9?=",
        "=?x-unknown?q?abc?=",
        "=?utf-8?q?bad=ZZ?=",
        "=?utf-8?b?w6?=",
        "=?utf-8?q?" "?=",
        "word=?utf-8?q?glued?=",
        "\"=?utf-8?q?quoted?=\" <q@example.org>",
        "=?utf-8*en?q?lang?=",
        "=?utf-8?q?a?b?=",
        "=?utf-8?q?=FF?=",
    };
    for (const std::string& value : values)
        EXPECT_EQ(DecodeHeaderValue(value), DecodeHeaderValueThoroughly(value)) << value;
    // Split over two base64 words the library loses the character ("??"); joining the words' bytes
    // keeps it, as other mail readers do.
    EXPECT_EQ(DecodeHeaderValue("=?utf-8?B?4pg=?= =?utf-8?B?lQ==?="), "\xE2\x98\x95");
    // A NUL byte in a word ends the library's text; the rest is still shown.
    EXPECT_EQ(DecodeHeaderValue("=?utf-8?q?a=00b?= c"), "a b c");
}

TEST(HeaderDecodeTest, RawBytesFollowTheHintBeforeWindows1252)
{
    const std::string koi8 = "\xF0\xD2\xC9\xD7\xC5\xD4";
    EXPECT_EQ(DecodeHeaderValue(koi8, "koi8-r"), "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
    // Without the hint the same bytes are windows-1252: "ðÒÉ×ÅÔ".
    EXPECT_EQ(DecodeHeaderValue(koi8), "\xC3\xB0\xC3\x92\xC3\x89\xC3\x97\xC3\x85\xC3\x94");
    EXPECT_EQ(DecodeHeaderValue("caf\xC3\xA9", "koi8-r"), "caf\xC3\xA9") << "valid UTF-8 stays UTF-8";
}

TEST(ListingDecodeTest, CellsShowDecodedLinesEscapedAfterDecoding)
{
    CQuilloryApp app;
    listaf* entry = app.AppendEntry();
    entry->m_nKind = KIND_FOLDER_MESSAGE;
    entry->m_strSubject = "Subject: =?utf-8?q?=3Cb=3E?=";
    entry->m_pRawLines = std::make_unique<RawHeaderLines>();
    entry->m_pRawLines->strSubject = "Subject: =?utf-8?q?=3Cb=3E_=22q=22?=";
    entry->m_pRawLines->strFrom = "From: =?koi8-r?B?8NLJ18XU?= <p@example.ru>";
    listaf* bare = app.AppendEntry();
    bare->m_strSubject = "Subject: kept";

    EXPECT_EQ(DecodeListingHeaders(app), 1);
    // An encoded "<" must not reach the page as markup: decoded first, then escaped.
    EXPECT_EQ(entry->m_strSubject, "Subject: &lt;b&gt; 'q'");
    EXPECT_EQ(entry->m_strFrom, "From: \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 &lt;p@example.ru&gt;");
    EXPECT_EQ(entry->m_strTo, "");
    EXPECT_EQ(bare->m_strSubject, "Subject: kept");
    EXPECT_FALSE(DecodeEntryHeaders(*bare));
}
