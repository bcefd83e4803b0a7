#include <algorithm>
#include <functional>

#include "DbxFixture.h"
#include "dbx/DBXReader.h"
#include "dbx/DbxScanner.h"
#include "extract/MessageCopy.h"
#include "platform/File.h"

using dbxgen::Builder;
using dbxgen::BuildFolder;
using dbxgen::FolderMap;
using dbxgen::Message;

namespace {

// A message of exactly length bytes whose subject line is "Subject: <label>": in 512-byte blocks,
// every block but the last is full.
Message OfLength(std::size_t length, const std::string& label)
{
    Message m;
    m.text = "From: a@example.org\r\nSubject: " + label + "\r\n\r\n";
    for (char c = 'a'; m.text.size() < length; c = c == 'z' ? 'a' : static_cast<char>(c + 1))
        m.text += c;
    return m;
}

// The message's subject line as the generator wrote it, up to its line end.
std::string SubjectLineOf(const std::string& text)
{
    const std::size_t at = text.find("\r\nSubject: ") + 2;
    return text.substr(at, text.find("\r\n", at) - at);
}

} // namespace

class DbxRecoveryTest : public DbxFixture {
protected:
    // Saves a listed entry as the window and the command line do; returns the file's bytes, or
    // "(not saved)".
    std::string Save(const listaf& entry)
    {
        CFile folder;
        if (!folder.Open(path, CFile::modeRead | CFile::typeBinary))
            return "(folder not opened)";
        const std::string out = dir.Sub("saved-" + entry.m_strName + ".eml");
        if (SaveChainAs(folder, ListedMessageOf(entry), out) != SaveResult::Saved)
            return "(not saved)";
        return ReadAll(out);
    }
};

// Without its index a folder still shows every message, named in file order, each saved whole.
TEST_F(DbxRecoveryTest, AFolderWithoutItsIndexShowsEveryMessage)
{
    std::vector<Message> messages;
    for (std::uint32_t i = 0; i < 40; ++i) {
        messages.push_back(Message{dbxgen::SampleMessage(i, 100 + 150 * i)});
        messages.back().nBlockSize = i % 3 == 0 ? 512 : 100 + 7 * i;
    }
    messages[5].bEmptyBlockAfterFirst = true;
    messages[7].nBlockSize = 5;      // the first block alone cannot tell how the message starts
    messages[9].nBlockSize = 8000;   // one block, longer than the first bytes looked at
    messages[11].attr4 = dbxgen::Attr4::Indirect;

    struct Case {
        const char* what;
        dbxgen::Layout layout;
        std::function<void(Builder&, const FolderMap&)> damage;
        bool bSaysDamaged;
    };
    const Case cases[] = {
        {"every index node zeroed, packed", dbxgen::Layout::Packed,
         [](Builder& b, const FolderMap& map) {
             for (const std::uint32_t node : map.nodes)
                 std::fill_n(b.Bytes().begin() + node, 636, 0);
         },
         true},
        {"every index node zeroed, scattered", dbxgen::Layout::Scattered,
         [](Builder& b, const FolderMap& map) {
             for (const std::uint32_t node : map.nodes)
                 std::fill_n(b.Bytes().begin() + node, 636, 0);
         },
         true},
        // The folder says it is empty: its index is never read, and nothing is damaged.
        {"count word and root 0", dbxgen::Layout::Scattered,
         [](Builder& b, const FolderMap&) {
             b.SetCount(0);
             b.SetRoot(0);
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dbxgen::Options options;
        options.layout = c.layout;
        options.nEntriesPerNode = 6;  // a tree of three levels
        FolderMap map;
        Builder b;
        b.Bytes() = BuildFolder(messages, options, &map);
        c.damage(b, map);
        box.messages.clear();
        const auto entries = List(b.Bytes());
        ASSERT_EQ(entries.size(), messages.size());
        for (std::size_t i = 0; i < messages.size(); ++i) {
            SCOPED_TRACE(i);
            char name[32];
            std::snprintf(name, sizeof name, "Rec%05zu", i + 1);
            EXPECT_EQ(entries[i]->m_strName, name);
            EXPECT_EQ(entries[i]->m_recovery, MessageRecovery::Complete);
            EXPECT_EQ(entries[i]->m_nRecordOffset, 0u);
            EXPECT_EQ(entries[i]->m_nDataOffset, map.firstBlocks[i]);
            EXPECT_EQ(entries[i]->Size(), messages[i].text.size());
            EXPECT_EQ(entries[i]->m_strSubject, SubjectLineOf(messages[i].text));
            EXPECT_EQ(Save(*entries[i]), messages[i].text);
        }
        EXPECT_EQ(app.m_nItemCount, 40);
        EXPECT_EQ(app.m_nRecoveredCount, 40);
        EXPECT_EQ(Texts(), c.bSaysDamaged ? std::vector<std::string>{DamagedFolderText(path)} : std::vector<std::string>{});
    }
}

// Records taken out of the index leave their chains in the file: asked for, they are listed after
// the indexed messages, and no message is listed twice.
TEST_F(DbxRecoveryTest, ChainsNoRecordNamesAreListedAfterTheIndexedOnesWhenAsked)
{
    std::vector<Message> messages;
    for (int i = 0; i < 12; ++i) {
        messages.push_back(OfLength(700 + 300 * i, std::to_string(i + 1)));
        messages.back().bUnindexed = i % 4 == 1;
    }
    dbxgen::Options options;
    options.layout = dbxgen::Layout::Scattered;
    options.nEntriesPerNode = 3;
    const std::vector<unsigned char> bytes = BuildFolder(messages, options);

    // Not asked, the sound index is all there is.
    auto entries = List(bytes);
    EXPECT_EQ(entries.size(), 9u);
    EXPECT_EQ(app.m_nRecoveredCount, -1);
    EXPECT_TRUE(Recovered(entries).empty());

    app.m_bShowRecovered = true;
    status.texts.clear();
    entries = List(bytes);
    ASSERT_EQ(entries.size(), 12u);
    EXPECT_EQ(Subjects(Indexed(entries)),
              (std::vector<std::string>{"Subject: 1", "Subject: 3", "Subject: 4", "Subject: 5", "Subject: 7",
                                        "Subject: 8", "Subject: 9", "Subject: 11", "Subject: 12"}));
    const auto recovered = Recovered(entries);
    EXPECT_EQ(Subjects(recovered), (std::vector<std::string>{"Subject: 2", "Subject: 6", "Subject: 10"}));
    for (std::size_t i = 0; i < recovered.size(); ++i) {
        EXPECT_EQ(recovered[i]->m_strName, "Rec0000" + std::to_string(i + 1));
        EXPECT_EQ(recovered[i]->m_recovery, MessageRecovery::Complete);
        EXPECT_EQ(Save(*recovered[i]), messages[1 + 4 * i].text);
    }
    EXPECT_EQ(entries[8]->m_strName, "Msg00009");
    EXPECT_EQ(app.m_nItemCount, 12);
    EXPECT_EQ(app.m_nRecoveredCount, 3);
    EXPECT_EQ(status.texts.back(), "Reading 11");
    EXPECT_TRUE(box.messages.empty());
}

// Damaged and deleted chains outside the index: what can be followed is recovered, each block
// once, and marked partial where the chain could not be followed from its start to its end.
TEST_F(DbxRecoveryTest, ChainsAreFollowedAsFarAsTheyHoldTogether)
{
    // A is indexed; B and C are not. Each is five blocks: four full, then 52 bytes.
    const std::vector<Message> messages{OfLength(2100, "A"), OfLength(2100, "B"), OfLength(2100, "C")};
    struct Found {
        std::string label;
        MessageRecovery recovery;
        std::size_t bytes;  // of its text, from the start
    };
    struct Case {
        const char* what;
        std::function<void(Builder&, const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b,
                           const std::vector<std::uint32_t>& c)>
            damage;
        std::vector<Found> found;
    };
    const auto complete = [](const char* label) { return Found{label, MessageRecovery::Complete, 2100}; };
    const auto partial = [](const char* label, std::size_t n) { return Found{label, MessageRecovery::Partial, n}; };
    const auto lose = [](Builder& b, std::uint32_t block) { b.Put32(block, 0xFFFFFFFF); };
    // A block of its own, "N", written at the given place over whatever was there.
    const std::string planted = "Subject: N\r\n\r\n" + std::string(36, 'n');
    const auto plant = [&](Builder& b, std::uint32_t at) {
        const std::uint32_t words[] = {at, 512, static_cast<std::uint32_t>(planted.size()), 0};
        for (int w = 0; w < 4; ++w)
            b.Put32(at + 4 * w, words[w]);
        std::copy(planted.begin(), planted.end(), b.Bytes().begin() + at + 16);
    };
    const Case cases[] = {
        {"sound", [](auto&, auto&, auto&, auto&) {}, {complete("B"), complete("C")}},
        {"the last block names the second as next",
         [](Builder& b, auto&, auto&, auto& c) { b.Put32(c[4] + 12, c[1]); }, {complete("B"), partial("C", 2100)}},
        {"the last block names the first: a loop with no way in",
         [](Builder& b, auto&, auto&, auto& c) { b.Put32(c[4] + 12, c[0]); }, {complete("B"), partial("C", 2100)}},
        {"a block names the next of another chain: the earlier keeps the shared tail",
         [](Builder& b, auto&, auto& bb, auto& c) { b.Put32(c[1] + 12, bb[2]); }, {complete("B"), partial("C", 1024)}},
        {"a block names a place inside another block",
         [](Builder& b, auto&, auto& bb, auto& c) { b.Put32(c[1] + 12, bb[1] + 100); }, {complete("B"), partial("C", 1024)}},
        {"a block claims more than its capacity",
         [](Builder& b, auto&, auto&, auto& c) { b.Put32(c[2] + 8, 513); }, {complete("B"), partial("C", 1024)}},
        {"a block names a block of an indexed message",
         [](Builder& b, auto& a, auto&, auto& c) { b.Put32(c[1] + 12, a[2]); }, {complete("B"), partial("C", 1024)}},
        {"a deleted message: every own-offset word overwritten",
         [&](Builder& b, auto&, auto&, auto& c) { for (const auto block : c) lose(b, block); },
         {complete("B"), partial("C", 2100)}},
        {"one block in the middle lost its own offset",
         [&](Builder& b, auto&, auto&, auto& c) { lose(b, c[2]); }, {complete("B"), partial("C", 2100)}},
        // Without its own offset a block must be full unless it is the last: this one is not.
        {"a deleted block that is neither full nor last ends the chain",
         [&](Builder& b, auto&, auto&, auto& c) {
             for (const auto block : c)
                 lose(b, block);
             b.Put32(c[1] + 8, 100);
         },
         {complete("B"), partial("C", 512)}},
        {"a deleted first block",
         [&](Builder& b, auto&, auto& bb, auto&) { lose(b, bb[0]); }, {partial("B", 2100), complete("C")}},
        // Nothing names C's first block but the end of a chain that starts no message.
        {"a chain that starts no message names one that does",
         [](Builder& b, auto&, auto& bb, auto& c) {
             b.Put32(bb[0] + 16, 0x01010101);
             b.Put32(bb[4] + 12, c[0]);
         },
         {partial("C", 2100)}},
        // Where blocks overlap, one that names its own offset wins over a deleted one, whatever
        // comes first; the deleted chain then ends before it.
        {"a block written into a deleted block",
         [&](Builder& b, auto&, auto&, auto& c) {
             for (const auto block : c)
                 lose(b, block);
             plant(b, c[1] + 100);
         },
         {complete("B"), partial("C", 512), Found{"N", MessageRecovery::Complete, 50}}},
        // And a block an indexed message passes wins over any other: one just before it, whose
        // count takes in the indexed block, is no message of its own.
        {"a block that claims an indexed message's first block",
         [&](Builder& b, auto& a, auto&, auto&) {
             const std::uint32_t at = a[0] - 20;
             const std::uint32_t words[] = {at, 512, 300, 0};
             for (int w = 0; w < 4; ++w)
                 b.Put32(at + 4 * w, words[w]);
             b.Put32(at + 16, 0x0A313A58);  // "X:1\n"
         },
         {complete("B"), complete("C")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Message> laid = messages;
        laid[1].bUnindexed = true;
        laid[2].bUnindexed = true;
        FolderMap map;
        Builder b;
        b.Bytes() = BuildFolder(laid, {}, &map);
        const auto chainA = b.ChainOf(map.firstBlocks[0]);
        const auto chainB = b.ChainOf(map.firstBlocks[1]);
        const auto chainC = b.ChainOf(map.firstBlocks[2]);
        ASSERT_EQ(chainC.size(), 5u);
        c.damage(b, chainA, chainB, chainC);
        app.m_bShowRecovered = true;
        box.messages.clear();
        const auto entries = List(b.Bytes());
        ASSERT_FALSE(entries.empty());
        EXPECT_EQ(entries[0]->m_strSubject, "Subject: A");
        EXPECT_EQ(entries[0]->Size(), 2100u);
        EXPECT_EQ(Indexed(entries).size(), 1u);
        const auto recovered = Recovered(entries);
        EXPECT_EQ(recovered.size(), c.found.size());
        if (recovered.size() != c.found.size())
            continue;
        for (std::size_t i = 0; i < recovered.size(); ++i) {
            const Found& f = c.found[i];
            SCOPED_TRACE(f.label);
            const std::string& text = f.label == "N" ? planted : messages[f.label == "B" ? 1 : 2].text;
            EXPECT_EQ(recovered[i]->m_strSubject, "Subject: " + f.label);
            EXPECT_EQ(recovered[i]->m_recovery, f.recovery);
            EXPECT_EQ(recovered[i]->Size(), f.bytes);
            EXPECT_EQ(Save(*recovered[i]), text.substr(0, f.bytes));
        }
        EXPECT_EQ(Save(*entries[0]), messages[0].text);
        EXPECT_TRUE(box.messages.empty());
    }
}

// A file of noise holding one block that is plausible in every word: only a block whose data
// starts like a header is taken for a message.
TEST_F(DbxRecoveryTest, APlausibleBlockInNoiseIsAMessageOnlyIfItStartsLikeOne)
{
    std::vector<unsigned char> noise(64 * 1024);
    std::uint32_t state = 12345;
    for (auto& byte : noise) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<unsigned char>(state >> 24);
    }
    const auto plant = [&](std::vector<unsigned char>& bytes, const std::string& data) {
        const std::uint32_t at = 0x4000;
        const std::uint32_t words[] = {at, 512, 300, 0};
        for (int w = 0; w < 4; ++w)
            for (int i = 0; i < 4; ++i)
                bytes[at + 4 * w + i] = static_cast<unsigned char>(words[w] >> (8 * i));
        std::copy(data.begin(), data.end(), bytes.begin() + at + 16);
    };
    app.m_bShowRecovered = true;
    std::vector<unsigned char> bytes = noise;
    plant(bytes, "");
    EXPECT_TRUE(Recovered(List(bytes)).empty());
    EXPECT_EQ(app.m_nRecoveredCount, 0);

    bytes = noise;
    plant(bytes, "Subject: planted\r\n\r\nhello");
    const auto recovered = Recovered(List(bytes));
    ASSERT_EQ(recovered.size(), 1u);
    EXPECT_EQ(recovered[0]->m_strName, "Rec00001");
    EXPECT_EQ(recovered[0]->m_strSubject, "Subject: planted");
    EXPECT_EQ(recovered[0]->Size(), 300u);
    EXPECT_EQ(recovered[0]->m_recovery, MessageRecovery::Complete);
}

// The save checks a recovered message against the file as it checks an indexed one.
TEST_F(DbxRecoveryTest, ARecoveredMessageIsNotSavedFromAFileThatChanged)
{
    std::vector<Message> messages{OfLength(1500, "kept"), OfLength(1500, "orphan")};
    messages[1].bUnindexed = true;
    FolderMap map;
    Builder b;
    b.Bytes() = BuildFolder(messages, {}, &map);
    app.m_bShowRecovered = true;
    const auto entries = List(b.Bytes());
    ASSERT_EQ(entries.size(), 2u);
    ASSERT_EQ(entries[1]->m_recovery, MessageRecovery::Complete);
    const std::vector<std::function<void(Builder&)>> changes{
        [&](Builder& c) { c.Put32(map.firstBlocks[1], 0); },                       // no longer a block
        [&](Builder& c) { c.Put32(c.ChainOf(map.firstBlocks[1])[1] + 8, 100); },  // a shorter chain
        [&](Builder& c) { c.Put32(c.ChainOf(map.firstBlocks[1])[2] + 12, map.firstBlocks[0]); },  // a longer one
    };
    for (std::size_t i = 0; i < changes.size(); ++i) {
        SCOPED_TRACE(i);
        Builder changed;
        changed.Bytes() = b.Bytes();
        changes[i](changed);
        dir.Write("Inbox.dbx", std::string(changed.Bytes().begin(), changed.Bytes().end()));
        EXPECT_EQ(Save(*entries[1]), "(not saved)");
    }
}

TEST(DbxMessageStartTest, JudgesTheFirstBytesOfAChain)
{
    using S = DbxMessageStart;
    struct Case {
        const char* what;
        std::string text;
        bool bAll;
        S expected;
    };
    const std::string longLine = "Received: " + std::string(600, 'r');
    const Case cases[] = {
        {"a field on the first line", "Return-Path: <a@b>\r\nTo: x\r\n", true, S::Header},
        {"a field ending in a bare line feed", "X-Flag:1\nbody", true, S::Header},
        {"a one-line message", "Subject: only", true, S::Header},
        {"a first line longer than what is looked at", longLine, false, S::Header},
        {"a field still running when the bytes end", "Subject: par", false, S::Unknown},
        {"a name still running when the bytes end", "Receiv", false, S::Unknown},
        {"a name alone", "Received", true, S::No},
        {"nothing", "", true, S::No},
        {"nothing yet", "", false, S::Unknown},
        {"a space before the colon", "Subject : x\r\n", true, S::No},
        {"a control byte in the field", std::string("Subject: a\x01" "b\r\n", 14), true, S::No},
        {"8-bit text in the field", "Subject: caf\xE9\r\n", true, S::Header},
        {"an envelope line before the header", "From a@b Mon Jan  2 10:00:00 2006\r\nSubject: x\r\n", true, S::Later},
        {"a blank line before the header", "\r\nfrom: a\r\n", true, S::Later},
        {"a field name nobody knows on a later line", "hello there\r\nX-Odd: 1\r\n", true, S::No},
        {"a known field past the first 256 bytes", std::string(300, 'p') + "\r\nSubject: x\r\n", true, S::No},
        {"body text", "Please find the notes below.\r\nThanks.\r\n", true, S::No},
        {"body text that may go on", "Please find the notes", false, S::Unknown},
        {"binary bytes", std::string("\x89PNG\r\n\x1a\n", 8), true, S::No},
    };
    for (const Case& c : cases)
        EXPECT_EQ(JudgeMessageStart(c.text, c.bAll), c.expected) << c.what;
}

// The scan's memory: a little for each block it found, and its read buffer.
TEST_F(DbxRecoveryTest, TheScanHoldsLittleMemoryForEachBlockFound)
{
    std::vector<Message> messages;
    for (std::uint32_t i = 0; i < 2000; ++i)
        messages.push_back(Message{dbxgen::SampleMessage(i, 1200)});
    dbxgen::Options options;
    options.bZeroIndex = true;
    path = dir.Write("big.dbx", [&] {
        const auto bytes = BuildFolder(messages, options);
        return std::string(bytes.begin(), bytes.end());
    }());
    CFile file;
    ASSERT_TRUE(file.Open(path, CFile::modeRead | CFile::typeBinary));
    const DbxScanResult scan = ScanForMessages(file);
    EXPECT_EQ(scan.chains.size(), 2000u);
    EXPECT_GE(scan.nBlocks, 2000u * 4);  // about 1,700 bytes a message: four blocks each
    EXPECT_LE(scan.nPeakBytes, 64 * scan.nBlocks + 140 * 1024);  // and the read buffer
    EXPECT_FALSE(scan.bCancelled);
    EXPECT_FALSE(scan.bShortRead);
}

TEST_F(DbxRecoveryTest, TheScanReportsProgressAndCanBeCancelled)
{
    path = dir.Write("large.dbx", std::string(17 * 1024 * 1024, '\0'));
    CFile file;
    ASSERT_TRUE(file.Open(path, CFile::modeRead | CFile::typeBinary));
    std::vector<std::pair<std::uint64_t, std::uint64_t>> calls;
    DbxScanOptions options;
    options.progress = [&](std::uint64_t nDone, std::uint64_t nTotal) {
        calls.emplace_back(nDone, nTotal);
        return false;
    };
    const DbxScanResult scan = ScanForMessages(file, options);
    EXPECT_TRUE(scan.bCancelled);
    EXPECT_TRUE(scan.chains.empty());
    EXPECT_EQ(calls, (std::vector<std::pair<std::uint64_t, std::uint64_t>>{{16u << 20, 17u << 20}}));
}

TEST(DbxBlockSetTest, AnyInFindsAMarkedBlockInARangeAcrossWordsAndChunks)
{
    DbxBlockSet set(0x30000);
    for (const std::uint64_t offset : {0x10u, 0x4000u, 0x10000u})
        ASSERT_TRUE(set.Insert(offset));
    struct Case {
        std::uint64_t begin, end;
        bool bAny;
    };
    const Case cases[] = {
        {0x0, 0x10, false},      {0x11, 0x20, true},       {0x20, 0x4000, false},  {0x20, 0x4001, true},
        {0x4010, 0x10000, false}, {0x4010, 0x10001, true}, {0x10010, 0x30000, false}, {0x20000, 0x50000, false},
        {0x30, 0x30, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(set.AnyIn(c.begin, c.end), c.bAny) << std::hex << c.begin << "-" << c.end;
}
