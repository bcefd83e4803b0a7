// The MIME layer through its model: what a reader gets from a message's bytes. Expected texts are
// UTF-8 written out by hand (the encoded words' bytes were taken from the charsets' tables).

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "mime/MimeDocument.h"

namespace {

// "Привет" in UTF-8.
const std::string kPrivet = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";

std::unique_ptr<MimeDocument> Parse(const std::string& bytes) { return MimeDocument::Parse(bytes); }

std::string Message(const std::string& headers, const std::string& body)
{
    return "From: a@example.org\r\n" + headers + "\r\n" + body;
}

} // namespace

struct HeaderCase {
    const char* name;
    std::string subjectLine;  // as it stands in the message, label included
    std::string bodyHeaders;  // more header lines (the body's charset for raw 8-bit subjects)
    std::string expected;
};

TEST(MimeDocumentTest, DecodesSubjectsWhateverTheirEncoding)
{
    const HeaderCase cases[] = {
        {"B koi8-r", "Subject: =?koi8-r?B?8NLJ18XU?=", "", kPrivet},
        {"Q koi8-r", "Subject: =?KOI8-R?Q?=F0=D2=C9=D7=C5=D4?=", "", kPrivet},
        {"B windows-1251", "Subject: =?windows-1251?B?z/Do4uXy?=", "", kPrivet},
        {"Q windows-1251", "Subject: =?windows-1251?q?=CF=F0=E8=E2=E5=F2?=", "", kPrivet},
        {"B iso-8859-1", "Subject: =?iso-8859-1?B?R3L832U=?=", "", "Gr\xC3\xBC\xC3\x9F" "e"},
        {"Q iso-8859-1", "Subject: =?ISO-8859-1?Q?Gr=FC=DFe?=", "", "Gr\xC3\xBC\xC3\x9F" "e"},
        {"B utf-8", "Subject: =?utf-8?B?Y2Fmw6kg4piV?=", "", "caf\xC3\xA9 \xE2\x98\x95"},
        {"Q utf-8, underscore is a space", "Subject: =?UTF-8?Q?caf=C3=A9_=E2=98=95?=", "", "caf\xC3\xA9 \xE2\x98\x95"},
        {"white space between encoded words vanishes", "Subject: =?utf-8?q?ab?= =?utf-8?q?cd?=", "", "abcd"},
        {"plain text around an encoded word stays", "Subject: Re: =?utf-8?q?caf=C3=A9?= now", "", "Re: caf\xC3\xA9 now"},
        {"folded over two lines", "Subject: =?utf-8?q?one?=\r\n =?utf-8?q?_two?=", "", "one two"},
        {"raw 8-bit UTF-8", "Subject: caf\xC3\xA9", "", "caf\xC3\xA9"},
        {"raw 8-bit Latin-1 reads as windows-1252", "Subject: Gr\xFC\xDF" "e \x80", "", "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC"},
        {"raw 8-bit in the body's charset", "Subject: \xF0\xD2\xC9\xD7\xC5\xD4",
         "Content-Type: text/plain; charset=koi8-r\r\n", kPrivet},
        {"malformed encoded word shown as it stands", "Subject: =?utf-8?Q?broken", "", "=?utf-8?Q?broken"},
        {"control characters from an encoded word become spaces", "Subject: =?utf-8?Q?a=0D=0Ab=1B?=", "", "a  b"},
    };
    for (const HeaderCase& c : cases) {
        const auto document = Parse(Message(c.subjectLine + "\r\n" + c.bodyHeaders, "text\r\n"));
        EXPECT_EQ(document->Content().headers.strSubject, c.expected) << c.name;
    }
}

TEST(MimeDocumentTest, DecodesAddressHeadersAndTellsWhetherCcIsThere)
{
    const auto document = Parse(
        "From: =?iso-8859-1?Q?J=F6rg?= <j@example.de>\r\nTo: =?koi8-r?B?8NLJ18XU?= <p@example.ru>, b@example.org\r\n"
        "Cc: \r\nDate: Mon, 1 Jan 2001 10:00:00 +0000\r\n\r\nx\r\n");
    const MimeHeaders& h = document->Content().headers;
    EXPECT_EQ(h.strFrom, "J\xC3\xB6rg <j@example.de>");
    EXPECT_EQ(h.strTo, kPrivet + " <p@example.ru>, b@example.org");
    EXPECT_TRUE(h.bHasCc);
    EXPECT_EQ(h.strCc, "");
    EXPECT_EQ(h.strDate, "Mon, 1 Jan 2001 10:00:00 +0000");
    EXPECT_FALSE(Parse("From: x\r\n\r\nbody")->Content().headers.bHasCc);
}

TEST(MimeDocumentTest, ReadsBodiesInTheirCharsetAndTransferEncoding)
{
    struct BodyCase {
        const char* name;
        std::string headers;
        std::string body;
        std::string expected;
    };
    const BodyCase cases[] = {
        {"quoted-printable soft breaks join lines", "Content-Transfer-Encoding: quoted-printable\r\n",
         "one =\r\ntwo=3D2 =\r\nthree\r\n", "one two=2 three\r\n"},
        {"quoted-printable in iso-8859-1",
         "Content-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: quoted-printable\r\n",
         "Gr=FC=DFe\r\n", "Gr\xC3\xBC\xC3\x9F" "e\r\n"},
        {"base64 in koi8-r", "Content-Type: text/plain; charset=\"koi8-r\"\r\nContent-Transfer-Encoding: base64\r\n",
         "8NLJ18XU\r\n", kPrivet},
        {"8bit windows-1251", "Content-Type: text/plain; charset=windows-1251\r\n", "\xCF\xF0\xE8\xE2\xE5\xF2", kPrivet},
    };
    for (const BodyCase& c : cases) {
        const auto document = Parse(Message(c.headers, c.body));
        ASSERT_TRUE(document->Content().plain.has_value()) << c.name;
        EXPECT_EQ(*document->Content().plain, c.expected) << c.name;
        EXPECT_TRUE(document->Content().notes.empty()) << c.name;
    }
}

TEST(MimeDocumentTest, AlternativeGivesBothTextsAndNoAttachment)
{
    const auto document = Parse(Message(
        "Content-Type: multipart/alternative; boundary=\"alt\"\r\n",
        "--alt\r\nContent-Type: text/plain; charset=utf-8\r\n\r\nplain words\r\n"
        "--alt\r\nContent-Type: text/html; charset=iso-8859-1\r\n\r\n<p>caf\xE9</p>\r\n--alt--\r\n"));
    const MimeContent& content = document->Content();
    ASSERT_TRUE(content.plain && content.html);
    EXPECT_EQ(*content.plain, "plain words");
    EXPECT_EQ(*content.html, "<p>caf\xC3\xA9</p>");
    EXPECT_TRUE(content.attachments.empty());
}

TEST(MimeDocumentTest, NestedMixedWithInlineImageFoundByContentId)
{
    // "GIF89a" and four bytes that are no text, in base64.
    const auto document = Parse(Message(
        "Content-Type: multipart/mixed; boundary=\"outer\"\r\n",
        "--outer\r\nContent-Type: multipart/related; boundary=\"inner\"\r\n\r\n"
        "--inner\r\nContent-Type: text/html\r\n\r\n<img src=\"cid:logo@x\">\r\n"
        "--inner\r\nContent-Type: image/gif\r\nContent-ID: <logo@x>\r\nContent-Transfer-Encoding: base64\r\n\r\n"
        "R0lGODlhAP8AAQ==\r\n--inner--\r\n"
        "--outer\r\nContent-Type: application/pdf; name=\"report.pdf\"\r\nContent-Disposition: attachment\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\nJVBERi0=\r\n--outer--\r\n"));
    const MimeContent& content = document->Content();
    ASSERT_TRUE(content.html);
    EXPECT_EQ(*content.html, "<img src=\"cid:logo@x\">");
    ASSERT_EQ(content.attachments.size(), 2u);
    EXPECT_EQ(content.attachments[0].strType, "image/gif");
    EXPECT_EQ(content.attachments[0].strContentId, "logo@x");
    EXPECT_TRUE(content.attachments[0].bInline);
    EXPECT_EQ(content.attachments[0].nSize, 10u);
    EXPECT_EQ(content.attachments[1].strName, "report.pdf");
    EXPECT_FALSE(content.attachments[1].bInline);
    EXPECT_EQ(content.attachments[1].nSize, 5u);

    EXPECT_EQ(document->FindContentId("<logo@x>"), std::optional<std::size_t>(0));
    EXPECT_EQ(document->FindContentId("logo@x"), std::optional<std::size_t>(0));
    EXPECT_EQ(document->FindContentId("other@x"), std::nullopt);
    EXPECT_EQ(document->AttachmentBytes(0, 100), std::string("GIF89a\x00\xFF\x00\x01", 10));
    EXPECT_EQ(document->AttachmentBytes(0, 9), std::nullopt) << "over the limit";
    EXPECT_EQ(document->AttachmentBytes(1, 100), std::string("%PDF-"));
}

TEST(MimeDocumentTest, AttachmentNamesInEveryEncoding)
{
    struct NameCase {
        const char* name;
        std::string disposition;
        std::string expected;
    };
    const NameCase cases[] = {
        {"RFC 2231 with a charset", "attachment; filename*=utf-8''na%C3%AFve%20plan.txt", "na\xC3\xAFve plan.txt"},
        {"RFC 2231 in iso-8859-1", "attachment; filename*=iso-8859-1'de'Gr%FC%DFe.txt", "Gr\xC3\xBC\xC3\x9F" "e.txt"},
        {"RFC 2231 continuations", "attachment;\r\n filename*0*=utf-8''caf%C3%A9;\r\n filename*1=\"-menu.pdf\"",
         "caf\xC3\xA9-menu.pdf"},
        {"an encoded word in quotes", "attachment; filename=\"=?koi8-r?B?8NLJ18XU?=.doc\"", kPrivet + ".doc"},
        {"plain", "attachment; filename=plain.bin", "plain.bin"},
    };
    for (const NameCase& c : cases) {
        const auto document = Parse(Message("Content-Type: multipart/mixed; boundary=b\r\n",
                                            "--b\r\n\r\nbody\r\n--b\r\nContent-Type: application/octet-stream\r\n"
                                            "Content-Disposition: " + c.disposition + "\r\n\r\ndata\r\n--b--\r\n"));
        ASSERT_EQ(document->Content().attachments.size(), 1u) << c.name;
        EXPECT_EQ(document->Content().attachments[0].strName, c.expected) << c.name;
    }
}

// Bad input: every case shows what it can, and says so where something could not be read.
TEST(MimeDocumentTest, BadInputShowsWhatItCan)
{
    std::string nested = "Content-Type: multipart/mixed; boundary=\"b0\"\r\n\r\n";
    for (int i = 0; i < 200; ++i)
        nested += "--b" + std::to_string(i) + "\r\nContent-Type: multipart/mixed; boundary=\"b" + std::to_string(i + 1) + "\"\r\n\r\n";
    nested += "--b200\r\nContent-Type: text/plain\r\n\r\ndeep leaf\r\n--b200--\r\n";
    for (int i = 199; i >= 0; --i)
        nested += "--b" + std::to_string(i) + "--\r\n";
    const std::string longBoundary(65536, 'q');

    struct BadCase {
        const char* name;
        std::string message;
        std::string textHas;  // what the plain text shows ("" when it shows none)
        bool bNote;           // whether something is said
    };
    const BadCase cases[] = {
        {"empty file", "", "", true},
        {"only headers", "From: a\r\nSubject: s\r\n", "", false},
        {"no header at all", "just words\r\n", "just words", true},
        {"multipart without boundary", "Content-Type: multipart/mixed\r\n\r\nloose text\r\n", "loose text", true},
        {"boundary never met", "Content-Type: multipart/mixed; boundary=zz\r\n\r\n--yy\r\n\r\nstray\r\n", "stray", true},
        {"64 KB boundary", "Content-Type: multipart/mixed; boundary=\"" + longBoundary + "\"\r\n\r\n--" + longBoundary +
                               "\r\n\r\nbig boundary text\r\n--" + longBoundary + "--\r\n", "big boundary text", true},
        {"truncated multipart", "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\ncut here", "cut here", true},
        {"repeated boundaries", "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n--b\r\n\r\nafter\r\n--b--\r\n--b--\r\n", "after", false},
        {"200 levels deep", nested, "deep leaf", false},
        {"invalid base64", "Content-Transfer-Encoding: base64\r\n\r\n!!aGk=!!\r\n", "hi", false},
        {"invalid quoted-printable", "Content-Transfer-Encoding: quoted-printable\r\n\r\na=ZZb=\r\n", "a=ZZb", false},
        {"unknown charset", "Content-Type: text/plain; charset=x-martian\r\n\r\ncaf\xE9\r\n", "caf\xC3\xA9", true},
        {"lying charset", "Content-Type: text/plain; charset=utf-8\r\n\r\ncaf\xE9\r\n", "caf\xC3\xA9", true},
        {"NUL in a header", std::string("Subject: a") + '\0' + "b\r\n\r\nbody after nul\r\n", "body after nul", false},
        {"encoded word split across lines", "Subject: =?utf-8?Q?ab\r\n c?=\r\n\r\nsplit\r\n", "split", false},
    };
    for (const BadCase& c : cases) {
        const auto document = Parse(c.message);
        const MimeContent& content = document->Content();
        if (c.textHas.empty())
            EXPECT_FALSE(content.plain && !content.plain->empty()) << c.name;
        else
            EXPECT_NE(content.plain.value_or("").find(c.textHas), std::string::npos) << c.name << ": " << content.plain.value_or("(none)");
        EXPECT_EQ(!content.notes.empty(), c.bNote) << c.name;
    }
}

TEST(MimeDocumentTest, HugeBase64AttachmentIsSizedAndStreamed)
{
    // 100 MB of base64 (75 MB decoded), in lines of 76 characters.
    const std::string line = std::string(76, 'A') + "\r\n";
    std::string message = "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\ntext\r\n"
                          "--b\r\nContent-Type: application/octet-stream; name=big.bin\r\nContent-Transfer-Encoding: base64\r\n\r\n";
    const std::size_t lines = 100 * 1000 * 1000 / line.size();
    message.reserve(message.size() + lines * line.size() + 16);
    for (std::size_t i = 0; i < lines; ++i)
        message += line;
    message += "--b--\r\n";
    const auto document = Parse(message);
    message.clear();
    ASSERT_EQ(document->Content().attachments.size(), 1u);
    EXPECT_EQ(document->Content().attachments[0].nSize, lines * 57);
    std::size_t largestPiece = 0;
    std::uint64_t total = 0;
    bool bAllZero = true;
    EXPECT_TRUE(document->WriteAttachment(0, [&](const char* data, std::size_t n) {
        largestPiece = std::max(largestPiece, n);
        total += n;
        for (std::size_t i = 0; i < n && bAllZero; ++i)
            bAllZero = data[i] == 0;
        return true;
    }));
    EXPECT_EQ(total, lines * 57);
    EXPECT_TRUE(bAllZero);
    EXPECT_LE(largestPiece, 1u << 20) << "handed on in pieces, not whole";
}
