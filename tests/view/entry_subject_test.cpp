// "Copy subject": the subject of a listed message, decoded and without its label, from whatever
// the listing kept of it.
#include <gtest/gtest.h>

#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "view/EntrySubject.h"

namespace {

// "Привет" and "café au lait" in UTF-8.
const std::string kHello = "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82";
const std::string kCafe = "caf\xc3\xa9 au lait";

} // namespace

TEST(EntrySubjectTest, FindsTheLabelledLineWithItsContinuations)
{
    const struct {
        const char* block;
        const char* value;
    } cases[] = {
        {"From: a\r\nSubject: one\r\n two\r\nTo: b", " one\r\n two"},
        {"SUBJECT:x\nTo: b", "x"},
        {"X-Subject: no\rSubject: yes\r\tmore", " yes\r\tmore"},
        {"From: a\r\nSubject line: no", ""},
        {"From: a", ""},
        {"Subject:", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HeaderValueIn(c.block, "Subject"), c.value) << c.block;
}

TEST(EntrySubjectTest, DecodesWhatTheListingKeptOfTheSubject)
{
    struct Case {
        const char* what;
        std::string header;
        std::string rawLine;
        std::string cell;
        bool bDecodedCell;
        std::string subject;
    };
    const Case cases[] = {
        {"a folded line of the header block", "From: a\r\nSubject: =?utf-8?Q?caf=C3=A9?=\r\n =?utf-8?Q?_au_lait?=\r\nTo: b",
         "Subject: ignored", "Subject: ignored", false, kCafe},
        {"a header block without a subject", "From: a\r\nTo: b", "", "", false, ""},
        {"the raw line kept for decoding", "", "Subject: =?koi8-r?B?8NLJ18XU?=", "Subject: ignored", false, kHello},
        {"a raw cell, escaped for the page", "", "", "Subject: =?iso-8859-1?Q?caf=E9?= &lt;1&gt;", false,
         "caf\xc3\xa9 <1>"},
        {"a decoded cell is not decoded twice", "", "", "Subject:  a &lt;b&gt; =?utf-8?Q?x?= ", true,
         "a <b> =?utf-8?Q?x?="},
    };
    for (const Case& c : cases) {
        CQuilloryApp app;
        listaf* entry = app.AppendEntry();
        entry->m_nKind = KIND_FOLDER_MESSAGE;
        entry->m_strHeader = c.header;
        if (!c.rawLine.empty()) {
            entry->m_pRawLines = std::make_unique<RawHeaderLines>();
            entry->m_pRawLines->strSubject = c.rawLine;
        }
        entry->m_strSubject = c.cell;
        entry->m_bDecodedHeaders = c.bDecodedCell;
        EXPECT_EQ(EntrySubject(*entry), c.subject) << c.what;
    }
}
