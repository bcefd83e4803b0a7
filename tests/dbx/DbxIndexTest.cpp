#include <algorithm>
#include <cstdio>
#include <functional>

#include "DbxFixture.h"
#include "dbx/DBXReader.h"
#include "dbx/DbxBlockChain.h"
#include "dbx/DbxSource.h"

using dbxgen::Builder;
using dbxgen::BuildFolder;
using dbxgen::Layout;
using dbxgen::Message;
using dbxgen::Node;
using dbxgen::NodeEntry;

namespace {

std::vector<Message> Numbered(std::size_t n)
{
    std::vector<Message> messages;
    for (std::size_t i = 0; i < n; ++i)
        messages.push_back(DbxFixture::Small(std::to_string(i + 1)));
    return messages;
}

std::vector<std::string> Expected(std::initializer_list<int> numbers)
{
    std::vector<std::string> subjects;
    for (const int n : numbers)
        subjects.push_back("Subject: " + std::to_string(n));
    return subjects;
}

std::vector<std::string> Range(int first, int last)
{
    std::vector<std::string> subjects;
    for (int n = first; n <= last; ++n)
        subjects.push_back("Subject: " + std::to_string(n));
    return subjects;
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

class DbxIndexTest : public DbxFixture {};

// The run of nodes, built by hand: which consecutive nodes belong to the index.
TEST_F(DbxIndexTest, TheRunEndsAtTheFirstNodeThatFailsTheMembershipTest)
{
    constexpr std::uint32_t kMark = 0x00ABCDEF;
    struct Case {
        const char* what;
        std::vector<Node> after;  // nodes after the first, each with one entry unless emptied
        std::vector<std::string> listed;
    };
    const auto node = [](std::optional<std::uint32_t> own, std::uint32_t left, std::uint32_t link) {
        Node n;
        n.nOwnOffset = own;
        n.nLeftChild = left;
        n.nLink = link;
        n.entries.resize(1);
        return n;
    };
    const Case cases[] = {
        {"own offset, left link or link may carry the mark",
         {node(kMark, 0, 0), node(std::nullopt, kMark, 0), node(std::nullopt, 0, kMark)}, Range(1, 4)},
        {"an own offset of 0 ends the run, whatever follows",
         {node(std::nullopt, 0, kMark), node(0u, kMark, kMark), node(std::nullopt, 0, kMark)}, Range(1, 2)},
        {"a node without the mark ends the run",
         {node(std::nullopt, 1, 2), node(std::nullopt, 0, kMark)}, Range(1, 1)},
        {"a node of no entries is still a member",
         {[&] { Node n = node(std::nullopt, 0, kMark); n.entries.clear(); return n; }(), node(std::nullopt, 0, kMark)}, Expected({1, 3})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Builder b;
        std::vector<std::uint32_t> records;
        for (std::size_t i = 0; i <= c.after.size(); ++i)
            records.push_back(b.AddMessage(Small(std::to_string(i + 1)), static_cast<std::uint32_t>(i)));
        // The first node's own offset need not be its position; only its link sets the mark.
        Node first = node(0x7777u, 0, kMark);
        first.entries[0].nRecord = records[0];
        b.SetFirstNode(b.AddNode(first));
        for (std::size_t i = 0; i < c.after.size(); ++i) {
            Node n = c.after[i];
            n.entries = c.after[i].entries.empty() ? std::vector<NodeEntry>{} : std::vector<NodeEntry>{{records[i + 1], 0, 0}};
            b.AddNode(n);
        }
        // As many as the run should hold: more would be missing messages. There is no tree (root
        // 0) to walk instead.
        b.SetCount(static_cast<std::uint32_t>(c.listed.size()));
        box.messages.clear();
        EXPECT_EQ(Subjects(List(b.Bytes())), c.listed);
        EXPECT_TRUE(box.messages.empty());
    }
}

TEST_F(DbxIndexTest, ACompleteRunIsListedInRunOrder)
{
    // Two levels, packed: the run holds both leaves and then the root, so the root's message
    // comes last, although it lies between the leaves in the tree.
    const auto entries = List(BuildFolder(Numbered(60)));
    EXPECT_EQ(Subjects(entries), Concat(Concat(Range(1, 30), Range(32, 60)), Expected({31})));
    EXPECT_TRUE(box.messages.empty());
}

TEST_F(DbxIndexTest, AnIncompleteRunGivesWayToTheWholeTreeInOrder)
{
    struct Case {
        const char* what;
        Layout layout;
        std::uint32_t perNode;
        std::size_t count;
    };
    const Case cases[] = {
        {"three levels, packed", Layout::Packed, 3, 40},
        {"two levels, scattered between the messages", Layout::Scattered, 51, 300},
        {"three levels, scattered", Layout::Scattered, 51, 3000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dbxgen::Options options;
        options.layout = c.layout;
        options.nEntriesPerNode = c.perNode;
        const auto entries = List(BuildFolder(Numbered(c.count), options));
        EXPECT_EQ(Subjects(entries), Range(1, static_cast<int>(c.count)));
        char name[16];
        std::snprintf(name, sizeof name, "Msg%05zu", c.count);
        EXPECT_EQ(entries.back()->m_strName, name);
        EXPECT_TRUE(box.messages.empty());
    }
}

TEST_F(DbxIndexTest, TheRunIsKeptWhenItHoldsAsManyAsTheCountWordSays)
{
    dbxgen::Options options;
    options.layout = Layout::Scattered;
    options.nCountWord = 5;  // the first leaf alone holds more than that
    const auto entries = List(BuildFolder(Numbered(300), options));
    ASSERT_FALSE(entries.empty());
    EXPECT_LT(entries.size(), 300u);
    EXPECT_EQ(entries.front()->m_strSubject, "Subject: 1");
}

// Damaged files: whatever is wrong, listing ends, lists what can be read and says so once. The
// damage starts a scan, which finds the chains the index no longer reaches.
TEST_F(DbxIndexTest, DamagedFilesListWhatCanBeReadAndSaySoOnce)
{
    const std::vector<unsigned char> good = BuildFolder(Numbered(4));
    Builder view;
    view.Bytes() = good;
    const std::uint32_t firstNode = view.Get32(0x30);
    const std::uint32_t record2 = view.Get32(firstNode + 24 + 12);
    const std::uint32_t block2 = view.FirstBlockOf(record2);
    const std::uint32_t record4 = view.Get32(firstNode + 24 + 36);
    const std::uint32_t block4 = view.FirstBlockOf(record4);

    struct Case {
        const char* what;
        std::function<void(std::vector<unsigned char>&)> damage;
        std::size_t listed;
        std::size_t recovered;
    };
    const auto put32 = [](std::vector<unsigned char>& b, std::uint32_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    const Case cases[] = {
        {"shorter than the file header", [](auto& b) { b.resize(100); }, 0, 0},
        {"empty file", [](auto& b) { b.clear(); }, 0, 0},
        {"first node and root past the end", [&](auto& b) { put32(b, 0x30, 0xFFFFFF00); put32(b, 0xE4, 0xFFFFFF00); }, 0, 4},
        {"node claims more entries than the file holds",
         [&](auto& b) { b[firstNode + 0x11] = 255; b.resize(firstNode + 24 + 12 * 10); }, 4, 0},
        {"record offset past the end", [&](auto& b) { put32(b, firstNode + 24 + 12, 0x7FFFFFF0); }, 3, 1},
        // The block's only data is gone: nothing to find.
        {"block chain loops back to itself",
         [&](auto& b) { put32(b, block2 + 8, 0); put32(b, block2 + 12, block2); }, 4, 0},
        {"block chain leaves the file", [&](auto& b) { put32(b, block2 + 12, 0xFFFFFFF0); }, 4, 0},
        // The record names no block: listed empty, while its chain is found outside the index.
        {"data attribute past the end", [&](auto& b) { b[record2 + 12 + 8] = 0x84; b[record2 + 12 + 9] = 0xFF;
                                                       b[record2 + 12 + 10] = 0xFF; b[record2 + 12 + 11] = 0xFF; }, 4, 1},
        {"block count runs past the end", [&](auto& b) { put32(b, block4 + 8, 0x7FFFFFFF); }, 4, 0},
        {"file cut inside the index", [&](auto& b) { b.resize(firstNode + 24 + 12 * 2 + 5); }, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<unsigned char> bytes = good;
        c.damage(bytes);
        box.messages.clear();
        const auto entries = List(bytes);
        EXPECT_EQ(Indexed(entries).size(), c.listed);
        EXPECT_EQ(Recovered(entries).size(), c.recovered);
        EXPECT_EQ(Texts(), std::vector<std::string>{DamagedFolderText(path)});
    }
}

// A folder whose index lists fewer messages than its count word says is damaged, however the walk
// ended; the scan finds the rest, and nothing twice.
TEST_F(DbxIndexTest, AnIndexThatLosesMessagesIsReportedAsDamaged)
{
    dbxgen::Options options;
    options.layout = Layout::Scattered;
    options.nEntriesPerNode = 10;  // three levels for 300 messages
    const std::vector<unsigned char> good = BuildFolder(Numbered(300), options);
    Builder view;
    view.Bytes() = good;
    const std::uint32_t root = view.Get32(0xE4);
    const std::uint32_t middle = view.Get32(root + 0x08);  // the root's first child, not a leaf
    ASSERT_NE(view.Get32(middle + 0x08), 0u);

    struct Case {
        const char* what;
        std::function<void(std::vector<unsigned char>&)> damage;
    };
    const Case cases[] = {
        {"cut short by one node", [](auto& b) { b.resize(b.size() - 636); }},
        {"an inner node's header zeroed", [&](auto& b) { std::fill_n(b.begin() + middle, 24, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<unsigned char> bytes = good;
        c.damage(bytes);
        box.messages.clear();
        const auto entries = List(bytes);
        EXPECT_GT(Indexed(entries).size(), 0u);
        EXPECT_LT(Indexed(entries).size(), 300u);
        EXPECT_EQ(Texts(), std::vector<std::string>{DamagedFolderText(path)});
        std::vector<std::string> subjects = Subjects(entries);
        std::sort(subjects.begin(), subjects.end());
        std::vector<std::string> all = Range(1, 300);
        std::sort(all.begin(), all.end());
        EXPECT_EQ(subjects, all);
    }
}

TEST_F(DbxIndexTest, ALoopingOrBrokenTreeEndsAndKeepsWhatItFound)
{
    dbxgen::Options options;
    options.layout = Layout::Scattered;
    options.nEntriesPerNode = 3;
    const std::vector<unsigned char> good = BuildFolder(Numbered(30), options);
    Builder view;
    view.Bytes() = good;
    const std::uint32_t root = view.Get32(0xE4);
    const std::uint32_t lastChild = view.Get32(root + 24 + 12 * (view.Bytes()[root + 0x11] - 1) + 4);

    // The last sub-tree points back at the root: the walk must not enter it again.
    std::vector<unsigned char> looping = good;
    Builder patch;
    patch.Bytes() = looping;
    patch.Put32(root + 24 + 12 * (patch.Bytes()[root + 0x11] - 1) + 4, root);
    auto entries = List(patch.Bytes());
    EXPECT_GT(Indexed(entries).size(), 1u);
    EXPECT_LT(Indexed(entries).size(), 30u);
    EXPECT_EQ(entries.size(), 30u);  // the scan finds the others
    EXPECT_EQ(Texts(), std::vector<std::string>{DamagedFolderText(path)});
    ASSERT_NE(lastChild, 0u);

    // A child offset outside the file: the rest of the tree is still listed.
    box.messages.clear();
    patch.Bytes() = good;
    patch.Put32(root + 0x08, 0xFFFFFF00);
    entries = List(patch.Bytes());
    const auto indexed = Indexed(entries);
    EXPECT_GT(indexed.size(), 1u);
    EXPECT_LT(indexed.size(), 30u);
    EXPECT_EQ(indexed.back()->m_strSubject, "Subject: 30");
    EXPECT_EQ(entries.size(), 30u);
    EXPECT_EQ(Texts(), std::vector<std::string>{DamagedFolderText(path)});
}

TEST_F(DbxIndexTest, ChainLengthSumsTheChainAndEndsOnALoop)
{
    Builder b;
    Message m = Small("chain");
    m.nBlockSize = 5;
    m.bEmptyBlockAfterFirst = true;
    const std::uint32_t record = b.AddMessage(m);
    const std::uint32_t first = b.FirstBlockOf(record);
    path = dir.Write("chain.dbx", std::string(b.Bytes().begin(), b.Bytes().end()));
    listaf* folder = app.AppendEntry();
    folder->m_strPath = path;
    DBXReader reader(app, folder);
    ASSERT_TRUE(reader.Open());
    EXPECT_EQ(reader.ChainLength(first), m.text.size());
    EXPECT_FALSE(reader.Damaged());
    reader.Close();

    // The third block points back at the second: the count stops, the reader knows.
    const std::uint32_t second = b.Get32(first + 12);
    const std::uint32_t third = b.Get32(second + 12);
    b.Put32(third + 12, second);
    path = dir.Write("loop.dbx", std::string(b.Bytes().begin(), b.Bytes().end()));
    folder = app.AppendEntry();
    folder->m_strPath = path;
    DBXReader looping(app, folder);
    ASSERT_TRUE(looping.Open());
    // Five bytes, the empty block, five bytes, and the empty block again: counted once.
    EXPECT_EQ(looping.ChainLength(first), 10u);
    EXPECT_TRUE(looping.Damaged());
}
