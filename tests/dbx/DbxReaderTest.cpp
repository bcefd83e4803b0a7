#include <cstring>

#include "DbxFixture.h"
#include "dbx/DBXReader.h"
#include "dbx/DbxBlockChain.h"

using dbxgen::Attr4;
using dbxgen::BuildFolder;
using dbxgen::Message;

class DbxReaderTest : public DbxFixture {};

namespace {

// Points the record of message i at the chain that starts at block: its data-block slot holds
// the first block's offset in three bytes.
bool PointRecordAt(dbxgen::Builder& b, const dbxgen::FolderMap& map, std::size_t i, std::uint32_t block)
{
    const std::uint32_t from = map.firstBlocks[i];
    auto& bytes = b.Bytes();
    for (std::uint32_t k = map.records[i]; k + 3 < map.records[i] + 48; ++k) {
        if (bytes[k] == (from & 0xFF) && bytes[k + 1] == ((from >> 8) & 0xFF) && bytes[k + 2] == ((from >> 16) & 0xFF)) {
            bytes[k] = block & 0xFF;
            bytes[k + 1] = (block >> 8) & 0xFF;
            bytes[k + 2] = (block >> 16) & 0xFF;
            break;
        }
    }
    return b.FirstBlockOf(map.records[i]) == block;
}

} // namespace

TEST_F(DbxReaderTest, ListsEachMessageWithItsFieldsInIndexOrder)
{
    const std::string first =
        "Return-Path: <x@example.org>\r\nFrom: Ada <ada@example.org>\r\nTo: Bruno <b@example.net>\r\n"
        "Subject: Minutes\r\nDate: Mon, 2 Jan 2006 10:00:00 +0100\r\n\r\nBody\r\n";
    std::vector<Message> messages(3);
    messages[0].text = first;
    messages[1] = Small("second");
    messages[2] = Small("third");
    app.m_nItemCount = 99;
    std::vector<unsigned char> bytes = BuildFolder(messages);
    const auto entries = List(bytes);

    ASSERT_EQ(entries.size(), 3u);
    const listaf* e = entries[0];
    EXPECT_EQ(e->m_nKind, KIND_FOLDER_MESSAGE);
    EXPECT_EQ(e->m_strName, "Msg00001");
    EXPECT_EQ(e->m_strPath, path);
    EXPECT_EQ(e->m_strFrom, "From: Ada &lt;ada@example.org&gt;");
    EXPECT_EQ(e->m_strTo, "To: Bruno &lt;b@example.net&gt;");
    EXPECT_EQ(e->m_strSubject, "Subject: Minutes");
    EXPECT_EQ(e->m_strDate, "Date: Mon, 2 Jan 2006 10:00:00 +0100");
    EXPECT_EQ(e->m_strHeader, first.substr(0, first.find("\r\n\r\n")));
    EXPECT_EQ(e->Size(), first.size());
    EXPECT_TRUE(e->m_hText.empty());  // released once the header lines were taken
    // The record is at the offset the index names, and its attribute 4 names the first block.
    dbxgen::Builder view;
    view.Bytes() = bytes;
    EXPECT_EQ(e->m_nDataOffset, view.FirstBlockOf(e->m_nRecordOffset));
    EXPECT_EQ(view.Get32(e->m_nRecordOffset), e->m_nRecordOffset);

    EXPECT_EQ(Subjects(entries), (std::vector<std::string>{"Subject: Minutes", "Subject: second", "Subject: third"}));
    EXPECT_EQ(entries[2]->m_strName, "Msg00003");
    EXPECT_EQ(app.m_nItemCount, 3);
    EXPECT_EQ(status.texts, (std::vector<std::string>{"Reading 0", "Reading 1", "Reading 2"}));
    EXPECT_TRUE(box.messages.empty());
    EXPECT_EQ(app.m_pCurrentEntry, nullptr);
}

TEST_F(DbxReaderTest, CountWordZeroListsNothingAndLeavesTheCounterAlone)
{
    dbxgen::Options options;
    options.nCountWord = 0;
    app.m_nItemCount = 7;
    EXPECT_TRUE(List(BuildFolder({}, options)).empty());
    EXPECT_EQ(app.m_nItemCount, 7);
    EXPECT_EQ(app.m_nRecoveredCount, 0);  // the file was scanned, and holds no message
    EXPECT_TRUE(box.messages.empty());
    EXPECT_TRUE(status.texts.empty());
}

// The count word keeps the index from being read; the messages in the file are found by the scan.
TEST_F(DbxReaderTest, CountWordZeroListsTheMessagesTheFileHoldsAsRecovered)
{
    std::vector<Message> messages{Small("a"), Small("b")};
    dbxgen::Options options;
    options.nCountWord = 0;
    app.m_nItemCount = 7;
    const auto entries = List(BuildFolder(messages, options));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(Subjects(entries), (std::vector<std::string>{"Subject: a", "Subject: b"}));
    EXPECT_EQ(entries[0]->m_strName, "Rec00001");
    EXPECT_EQ(entries[1]->m_strName, "Rec00002");
    EXPECT_EQ(entries[1]->m_recovery, MessageRecovery::Complete);
    EXPECT_EQ(app.m_nItemCount, 2);
    EXPECT_EQ(app.m_nRecoveredCount, 2);
    EXPECT_TRUE(box.messages.empty());
    EXPECT_EQ(status.texts, (std::vector<std::string>{"Reading 0", "Reading 1"}));
}

TEST_F(DbxReaderTest, RecordsThatNameNoMessageAreLeftOutWithoutGapsInTheNames)
{
    std::vector<Message> messages{Small("a"), Small("dropped-own"), Small("b"), Small("dropped-slots"), Small("c")};
    messages[1].bWrongOwnOffset = true;
    messages[3].bNoSlots = true;
    const auto entries = List(BuildFolder(messages));
    const auto indexed = Indexed(entries);
    ASSERT_EQ(indexed.size(), 3u);
    EXPECT_EQ(Subjects(indexed), (std::vector<std::string>{"Subject: a", "Subject: b", "Subject: c"}));
    EXPECT_EQ(indexed[1]->m_strName, "Msg00002");
    EXPECT_EQ(indexed[2]->m_strName, "Msg00003");
    // The count word says 5: the two left out are missing messages, so the file is scanned, and
    // their chains, which no record names, are found after the others.
    EXPECT_EQ(Texts(), std::vector<std::string>{DamagedFolderText(path)});
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(Subjects(Recovered(entries)), (std::vector<std::string>{"Subject: dropped-own", "Subject: dropped-slots"}));
    EXPECT_EQ(entries[3]->m_strName, "Rec00001");
    EXPECT_EQ(entries[4]->m_strName, "Rec00002");
    EXPECT_EQ(app.m_nItemCount, 5);
}

TEST_F(DbxReaderTest, RecordsWithoutDataAttributeHideOnlyThemselves)
{
    struct Case {
        const char* what;
        std::vector<bool> missing;  // which records lack the data-block attribute
        std::vector<std::string> listed;
        bool bDamaged;              // else "No message in this place!"
    };
    const Case cases[] = {
        // Left out of the index, its chain is found by the scan that the damage starts.
        {"one among messages is left out as damage", {false, true, false}, {"Subject: 1", "Subject: 3", "Subject: 2"}, true},
        {"a folder of header records only holds no message", {true, true, true}, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Message> messages;
        for (std::size_t i = 0; i < c.missing.size(); ++i) {
            messages.push_back(Small(std::to_string(i + 1)));
            if (c.missing[i])
                messages.back().attr4 = Attr4::Missing;
        }
        box.messages.clear();
        app.m_nItemCount = 5;
        const auto entries = List(BuildFolder(messages));
        EXPECT_EQ(Subjects(entries), c.listed);
        EXPECT_EQ(app.m_nItemCount, static_cast<std::int32_t>(c.listed.size()));
        EXPECT_EQ(Texts(), std::vector<std::string>{c.bDamaged ? DamagedFolderText(path) : "No message in this place!"});
        ASSERT_FALSE(box.messages.empty());
        EXPECT_EQ(box.messages[0].caption, "Quillory");
        EXPECT_EQ(box.messages[0].flags, MB_OK);
    }
}

TEST_F(DbxReaderTest, ChainsAreGatheredAcrossBlocksWhateverTheAttributeForm)
{
    // Indirect attribute, a record whose data-block slot comes after others, a chain with an
    // empty block, and a message of a single block.
    std::vector<Message> messages{Small("indirect"), Small("late slot"), Small("empty block"), Small("one block")};
    messages[0].attr4 = Attr4::Indirect;
    messages[0].nBlockSize = 7;
    messages[1].nSlotsBefore = 5;
    messages[1].nBlockSize = 10;
    messages[2].bEmptyBlockAfterFirst = true;
    messages[2].nBlockSize = 3;
    messages[3].nBlockSize = 4096;
    const auto entries = List(BuildFolder(messages));
    ASSERT_EQ(entries.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(entries[i]->Size(), messages[i].text.size());
        EXPECT_EQ(entries[i]->m_strHeader, messages[i].text.substr(0, messages[i].text.find("\r\n\r\n")));
    }
    EXPECT_TRUE(box.messages.empty());
}

TEST_F(DbxReaderTest, TheSizeIsTheWholeMessageWhileOnlyItsBeginningIsSearched)
{
    // Each message is its length in bytes, and holds a Date line that ends just before the
    // gathering stops and a To line that starts right where it stops.
    struct Case {
        std::size_t length;
        std::uint32_t block;
        std::size_t gathered;
    };
    const Case cases[] = {
        {2500, 512, 2500},     // not past 2500: the whole message
        {3000, 512, 2560},     // the fifth block passes 2500
        {2000, 2000, 2000},    // a single short block
        {10000, 2000, 4000},   // the second block passes
        {10000, 2500, 5000},   // exactly 2500 is not past it
        {70000, 8000, 3000},   // a long block is read in pieces of 3000
        {2501, 2501, 2501},    // a single block just past the limit
    };
    std::vector<Message> messages;
    for (const Case& c : cases) {
        Message m;
        m.text = "X: 1";
        const std::string date = "\r\nDate: d\r";
        const std::string to = "\nTo: t\r\n";
        m.text += std::string(std::min(c.gathered, c.length - to.size()) - date.size() - m.text.size(), 'p');
        m.text += date;
        m.text += to;
        m.text += std::string(c.length - m.text.size(), 'q');
        m.nBlockSize = c.block;
        messages.push_back(m);
    }
    const auto entries = List(BuildFolder(messages));
    ASSERT_EQ(entries.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(messages[i].text.size(), cases[i].length);
        EXPECT_EQ(entries[i]->Size(), cases[i].length);
        EXPECT_EQ(entries[i]->m_strDate, cases[i].gathered <= 3000 ? "Date: d" : "");
        EXPECT_EQ(entries[i]->m_strTo, cases[i].gathered == cases[i].length ? "To: t" : "");
        EXPECT_TRUE(entries[i]->m_hText.empty());
    }
    EXPECT_TRUE(box.messages.empty());
}

TEST_F(DbxReaderTest, HeaderLinesFollowTheLabelRules)
{
    using namespace std::string_literals;
    struct Case {
        const char* what;
        std::string text;
        std::string from, to, subject, date, header;
    };
    const Case cases[] = {
        {"labels are found in any case and kept in the message's own",
         "X: 1\r\nFROM: Big\r\nsubject: small\r\nDaTe: today\r\n\r\n", "FROM: Big", "", "subject: small",
         "DaTe: today", "X: 1\r\nFROM: Big\r\nsubject: small\r\nDaTe: today"},
        {"only the first line of a folded header",
         "X: 1\r\nSubject: one\r\n two\r\n\r\n", "", "", "Subject: one", "", "X: 1\r\nSubject: one\r\n two"},
        {"a zero byte ends the searched text",
         "X: 1\r\nTo: t\r\n\0From: hidden\r\n\r\n"s, "", "To: t", "", "", ""},
        {"less-than, greater-than and quotes are escaped; the header block is not",
         "X: 1\r\nFrom: \"Ada\" <a@b>\r\n\r\n", "From: 'Ada' &lt;a@b&gt;", "", "", "", "X: 1\r\nFrom: \"Ada\" <a@b>"},
        {"codes are replaced in sender, recipient and date but not in the subject",
         "X: 1\r\nSubject: a=20b=2Ec\r\nFrom: a=20b=2Ec\r\nTo: x=2E=2Ey\r\nDate: 1=202\r\n\r\n", "From: a b.c",
         "To: x..y", "Subject: a=20b=2Ec", "Date: 1 2",
         "X: 1\r\nSubject: a=20b=2Ec\r\nFrom: a=20b=2Ec\r\nTo: x=2E=2Ey\r\nDate: 1=202"},
        {"no blank line, no header block", "X: 1\r\nTo: t\r\n", "", "To: t", "", "", ""},
        {"lines past the first 3000 bytes are not searched",
         "X: " + std::string(3100, 'p') + "\r\nDate: late\r\n\r\n", "", "", "", "", ""},
    };
    std::vector<Message> messages;
    for (const Case& c : cases) {
        Message m;
        m.text = c.text;
        m.nBlockSize = 4000;
        messages.push_back(m);
    }
    const auto entries = List(BuildFolder(messages));
    ASSERT_EQ(entries.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].what);
        EXPECT_EQ(entries[i]->m_strFrom, cases[i].from);
        EXPECT_EQ(entries[i]->m_strTo, cases[i].to);
        EXPECT_EQ(entries[i]->m_strSubject, cases[i].subject);
        EXPECT_EQ(entries[i]->m_strDate, cases[i].date);
        EXPECT_EQ(entries[i]->m_strHeader, cases[i].header);
    }
}

TEST_F(DbxReaderTest, AFileThatCannotBeOpenedListsNothing)
{
    EXPECT_TRUE(ListPath(dir.Sub("missing.dbx")).empty());
    EXPECT_TRUE(ListPath("").empty());
    EXPECT_TRUE(ListPath(dir.Path()).empty());  // a directory is no folder file
    EXPECT_EQ(Texts(), std::vector<std::string>(3, "Errore in apertura file"));
}

TEST_F(DbxReaderTest, NamesTakeSixDigitsFromTheHundredThousandthMessage)
{
    std::vector<Message> messages(100001);
    for (std::size_t i = 0; i < messages.size(); ++i)
        messages[i].text = "X\r\nSubject: " + std::to_string(i + 1) + "\r\n";
    const auto entries = List(BuildFolder(messages));
    ASSERT_EQ(entries.size(), messages.size());
    EXPECT_EQ(entries[99998]->m_strName, "Msg99999");
    EXPECT_EQ(entries[99999]->m_strName, "Msg100000");
    EXPECT_EQ(entries[100000]->m_strName, "Msg100001");
    EXPECT_EQ(entries[100000]->m_strSubject, "Subject: 100001");
    EXPECT_EQ(entries[54321]->m_strSubject, "Subject: 54322");
}

TEST_F(DbxReaderTest, WithoutHeaderLinesTheSameMessagesSizesAndDamageAreFound)
{
    // Forty records: every one names the first message's chain in the shared case, so the listing
    // gathers more bytes than the file holds, which only a file pointing many messages at one
    // chain does. In the cut case the fourth block of the first message is no block.
    constexpr std::size_t kMessages = 40;
    constexpr std::size_t kFirst = 20000;
    constexpr std::size_t kOther = 100;
    std::vector<Message> messages(kMessages);
    for (std::size_t i = 0; i < kMessages; ++i) {
        messages[i].text = "Subject: " + std::to_string(i + 1) + "\r\n\r\n";
        messages[i].text.resize(i == 0 ? kFirst : kOther, 'b');
        messages[i].nBlockSize = 4096;
    }
    dbxgen::FolderMap map;
    const std::vector<unsigned char> sound = BuildFolder(messages, {}, &map);
    dbxgen::Builder shared;
    shared.Bytes() = sound;
    for (std::size_t i = 1; i < kMessages; ++i)
        ASSERT_TRUE(PointRecordAt(shared, map, i, map.firstBlocks[0]));
    ASSERT_LT(shared.Bytes().size(), kMessages * 3000);
    dbxgen::Builder cut;
    cut.Bytes() = sound;
    cut.Put32(cut.ChainOf(map.firstBlocks[0])[3], 1);

    struct Case {
        const char* what;
        std::vector<unsigned char> bytes;
        std::uint64_t firstSize;
        std::uint64_t otherSize;
        const char* secondSubject;
        bool bDamaged;
    };
    const Case cases[] = {
        {"sound", sound, kFirst, kOther, "Subject: 2", false},
        {"shared chain", shared.Bytes(), kFirst, kFirst, "Subject: 1", true},
        {"cut chain", cut.Bytes(), 3 * 4096, kOther, "Subject: 2", true},
    };
    for (const Case& c : cases) {
        for (const bool bHeaderLines : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (bHeaderLines ? ", header lines" : ", without"));
            CQuilloryApp fresh;
            RecordingMessageBox messagesShown;
            fresh.m_pMessageBox = &messagesShown;
            fresh.m_bListHeaderLines = bHeaderLines;
            const std::string file = dir.Write("Shared.dbx", std::string(c.bytes.begin(), c.bytes.end()));
            // A damaged folder is also scanned: the shared case finds the 39 chains no record names.
            const auto entries = Indexed(ListFolderFile(fresh, file));
            ASSERT_EQ(entries.size(), kMessages);
            EXPECT_EQ(entries[0]->Size(), c.firstSize);
            EXPECT_EQ(entries[kMessages - 1]->Size(), c.otherSize);
            EXPECT_EQ(entries[kMessages - 1]->m_strName, "Msg00040");
            EXPECT_EQ(entries[kMessages - 1]->m_strPath, file);
            EXPECT_EQ(entries[1]->m_strSubject, bHeaderLines ? c.secondSubject : "");
            EXPECT_EQ(messagesShown.messages.size(), c.bDamaged ? 1u : 0u);
        }
    }
}

// A large folder is read by two walks at once, the second from the middle on; the listing must be
// the one a single walk in order gives, damage and spent budgets included.
TEST_F(DbxReaderTest, ALargeFolderListsAsOneWalkWouldListIt)
{
    constexpr std::size_t kMessages = 10000;
    constexpr std::size_t kHalf = kMessages / 2;
    constexpr std::size_t kSmall = 60;   // bytes of each small message, gathered whole
    constexpr std::size_t kPiece = 3000;  // what the listing gathers of the large first message
    std::vector<Message> messages(kMessages);
    for (std::size_t i = 0; i < kMessages; ++i) {
        messages[i].text = "Subject: " + std::to_string(i + 1) + "\r\n\r\n";
        messages[i].text.resize(i == 0 ? 8000 : kSmall, 'b');
        messages[i].nBlockSize = 4096;
    }
    dbxgen::FolderMap soundMap;
    const std::vector<unsigned char> sound = BuildFolder(messages, {}, &soundMap);

    // A chain of the second half, two blocks long, whose second block is none.
    constexpr std::size_t kCut = kHalf + kHalf / 2;
    messages[kCut].text.resize(5000, 'c');
    dbxgen::FolderMap cutMap;
    dbxgen::Builder cut;
    cut.Bytes() = BuildFolder(messages, {}, &cutMap);
    messages[kCut].text.resize(kSmall);
    cut.Put32(cut.ChainOf(cutMap.firstBlocks[kCut])[1], 1);

    // Records of the second half pointed at the first message's chain: the second half alone
    // gathers no more than the file holds, but the two halves together do, so only a walk that
    // has spent the first half's share runs out, and from there on every such message stays
    // without its lines.
    dbxgen::Builder shared;
    shared.Bytes() = sound;
    const std::size_t size = sound.size();
    const std::size_t secondAlone = kHalf * kSmall;
    const std::size_t redirected = (size - secondAlone) / (kPiece - kSmall);
    ASSERT_LT(redirected, kHalf);
    for (std::size_t r = 0; r < redirected; ++r)
        ASSERT_TRUE(PointRecordAt(shared, soundMap, kHalf + r * (kHalf / redirected), soundMap.firstBlocks[0]));
    const std::size_t firstHalf = kPiece + (kHalf - 1) * kSmall;
    ASSERT_GT(firstHalf + secondAlone + redirected * (kPiece - kSmall), size);
    const std::size_t lastRedirected = kHalf + (redirected - 1) * (kHalf / redirected);

    struct Case {
        const char* what;
        std::vector<unsigned char> bytes;
        std::size_t at;               // an entry to look at
        std::string subject;          // its subject
        std::uint64_t size;           // and size
        bool bDamaged;
    };
    const Case cases[] = {
        {"sound, last message", sound, kMessages - 1, "Subject: 10000", kSmall, false},
        {"sound, first of the second half", sound, kHalf, "Subject: 5001", kSmall, false},
        {"cut chain", cut.Bytes(), kCut, "Subject: " + std::to_string(kCut + 1), 4096, true},
        {"shared chain, first pointed at it", shared.Bytes(), kHalf, "Subject: 1", 8000, true},
        {"shared chain, last pointed at it", shared.Bytes(), lastRedirected, "", 8000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CQuilloryApp fresh;
        RecordingMessageBox shown;
        fresh.m_pMessageBox = &shown;
        const std::string file = dir.Write("Large.dbx", std::string(c.bytes.begin(), c.bytes.end()));
        const auto entries = Indexed(ListFolderFile(fresh, file));
        ASSERT_EQ(entries.size(), kMessages);
        EXPECT_EQ(entries[c.at]->m_strName, "Msg" + std::string(c.at + 1 < 10000 ? "0" : "") + std::to_string(c.at + 1));
        EXPECT_EQ(entries[c.at]->m_strSubject, c.subject);
        EXPECT_EQ(entries[c.at]->Size(), c.size);
        EXPECT_EQ(entries[kHalf - 1]->m_strSubject, "Subject: 5000");
        EXPECT_EQ(shown.messages.size(), c.bDamaged ? 1u : 0u);
        EXPECT_EQ(fresh.m_nItemCount, static_cast<std::int32_t>(kMessages) + (c.bDamaged ? fresh.m_nRecoveredCount : 0));
    }
}

TEST(DbxTextTest, CountUntilCountsToTheCharacterOrTheEnd)
{
    EXPECT_EQ(DBXReader::CountUntil("ab\rcd", 0, '\r'), 2);
    EXPECT_EQ(DBXReader::CountUntil("ab\rcd", 2, '\r'), 0);
    EXPECT_EQ(DBXReader::CountUntil("ab\rcd", 3, '\r'), 2);
    EXPECT_EQ(DBXReader::CountUntil("abc", 5, '\r'), 0);
}

TEST(DbxTextTest, ReplaceAllReplacesUntilNoneIsLeft)
{
    struct Case {
        std::string text, code, replacement, expected;
    };
    const Case cases[] = {
        {"a=20b=20c", "=20", " ", "a b c"},
        {"=20=20", "=20", " ", "  "},
        {"x==2E2E", "=2E", ".", "x=.2E"},
        {"aab", "ab", "b", "b"},          // each replacement makes the next occurrence
        {"ab", "ab", "xaby", "xaby"},     // would never end: replaced once
        {"none", "=20", " ", "none"},
    };
    for (const Case& c : cases) {
        std::string text = c.text;
        DBXReader::ReplaceAll(text, c.code, c.replacement);
        EXPECT_EQ(text, c.expected) << c.text;
    }
}
