#include "dbxgen/DbxGen.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <set>

namespace dbxgen {

namespace {

constexpr std::uint32_t kNodeSize = 636;

void Append32(std::vector<unsigned char>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

} // namespace

Builder::Builder(std::uint32_t nHeaderSize) : m_bytes(std::max<std::uint32_t>(nHeaderSize, 0xE8), 0)
{
    const char signature[] = "QUILLORY-TEST-FOLDER";
    std::copy(signature, signature + sizeof signature - 1, m_bytes.begin());
}

void Builder::Put32(std::uint32_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        m_bytes.at(offset + i) = static_cast<unsigned char>(value >> (8 * i));
}

void Builder::Put8(std::uint32_t offset, std::uint8_t value) { m_bytes.at(offset) = value; }

std::uint32_t Builder::Get32(std::uint32_t offset) const
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | m_bytes.at(offset + i);
    return v;
}

void Builder::AppendRaw(const std::string& bytes) { m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end()); }

std::uint32_t Builder::AddMessage(const Message& message, std::uint32_t nIndex)
{
    // The blocks, each pointing at the next one written after it.
    std::vector<std::uint32_t> counts;
    const std::uint32_t size = std::max<std::uint32_t>(message.nBlockSize, 1);
    for (std::size_t at = 0; at < message.text.size(); at += size)
        counts.push_back(static_cast<std::uint32_t>(std::min<std::size_t>(size, message.text.size() - at)));
    if (counts.empty())
        counts.push_back(0);
    if (message.bEmptyBlockAfterFirst)
        counts.insert(counts.begin() + 1, 0);
    const std::uint32_t firstBlock = Tell();
    std::size_t taken = 0;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        const std::uint32_t here = Tell();
        const std::uint32_t next = i + 1 < counts.size() ? here + 16 + counts[i] : 0;
        Append32(m_bytes, message.nLostOwnOffset.value_or(here));
        Append32(m_bytes, size);  // capacity: the data bytes the block has room for
        Append32(m_bytes, counts[i]);
        Append32(m_bytes, next);
        m_bytes.insert(m_bytes.end(), message.text.begin() + static_cast<std::ptrdiff_t>(taken),
                       message.text.begin() + static_cast<std::ptrdiff_t>(taken + counts[i]));
        taken += counts[i];
    }

    // The record: fixed part, slot table, data area.
    const std::uint32_t record = Tell();
    const bool indirect = message.attr4 == Attr4::Indirect ||
                          (message.attr4 == Attr4::Direct && firstBlock > 0xFFFFFF);
    std::vector<unsigned char> slots;
    std::vector<unsigned char> data;
    auto slot = [&slots](std::uint8_t first, std::uint32_t value) {
        slots.push_back(first);
        slots.push_back(static_cast<unsigned char>(value));
        slots.push_back(static_cast<unsigned char>(value >> 8));
        slots.push_back(static_cast<unsigned char>(value >> 16));
    };
    if (!message.bNoSlots) {
        for (std::uint8_t i = 0; i < message.nSlotsBefore; ++i)
            slot(static_cast<std::uint8_t>(0x80 | (i < 4 ? i : i + 1)), i == 0 ? nIndex & 0xFFFFFF : 0x81);
        if (message.attr4 == Attr4::Missing) {
            slot(0x80 | 0x05, 0x1234);
        } else if (indirect) {
            Append32(data, 0x5EED0000 | (nIndex & 0xFFFF));  // something else first in the data area
            slot(0x04, static_cast<std::uint32_t>(data.size()));
            Append32(data, firstBlock);
        } else {
            slot(0x80 | 0x04, firstBlock);
        }
        slot(0x80 | 0x07, nIndex & 0xFFFFFF);
    }
    Append32(m_bytes, message.bWrongOwnOffset ? record + 1 : record);
    Append32(m_bytes, static_cast<std::uint32_t>(slots.size() + data.size()));
    m_bytes.push_back(0);
    m_bytes.push_back(0);
    m_bytes.push_back(static_cast<unsigned char>(slots.size() / 4));
    m_bytes.push_back(0);
    m_bytes.insert(m_bytes.end(), slots.begin(), slots.end());
    m_bytes.insert(m_bytes.end(), data.begin(), data.end());
    return record;
}

std::uint32_t Builder::FirstBlockOf(std::uint32_t nRecord) const
{
    const std::uint32_t n = m_bytes.at(nRecord + 10);
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t at = nRecord + 12 + 4 * i;
        if ((m_bytes.at(at) & 0x7F) != 4)
            continue;
        const std::uint32_t value = m_bytes.at(at + 1) | (m_bytes.at(at + 2) << 8) | (m_bytes.at(at + 3) << 16);
        return (m_bytes.at(at) & 0x80) ? value : Get32(nRecord + 12 + 4 * n + value);
    }
    return 0;
}

std::vector<std::uint32_t> Builder::ChainOf(std::uint32_t nFirst) const
{
    std::vector<std::uint32_t> blocks;
    std::set<std::uint32_t> seen;
    for (std::uint32_t at = nFirst; at != 0 && std::uint64_t{at} + 16 <= m_bytes.size() && seen.insert(at).second;
         at = Get32(at + 12))
        blocks.push_back(at);
    return blocks;
}

std::uint32_t Builder::AddNode(const Node& node)
{
    const std::uint32_t offset = Tell();
    m_bytes.resize(m_bytes.size() + kNodeSize, 0);
    SetNode(offset, node);
    return offset;
}

void Builder::SetNode(std::uint32_t offset, const Node& node)
{
    std::fill(m_bytes.begin() + offset, m_bytes.begin() + offset + kNodeSize, 0);
    Put32(offset, node.nOwnOffset.value_or(offset));
    Put32(offset + 0x08, node.nLeftChild);
    Put32(offset + 0x0C, node.nLink);
    Put8(offset + 0x11, node.nEntryCount.value_or(static_cast<std::uint8_t>(node.entries.size())));
    Put32(offset + 0x14, node.nMessagesUnder);
    // A node holds 51 entries; a test may claim more, but only 51 are written inside the node.
    for (std::size_t i = 0; i < node.entries.size() && i < 51; ++i) {
        const std::uint32_t at = offset + 24 + static_cast<std::uint32_t>(i) * 12;
        Put32(at, node.entries[i].nRecord);
        Put32(at + 4, node.entries[i].nChild);
        Put32(at + 8, node.entries[i].nMessagesUnder);
    }
}

namespace {

// The index as a tree of message positions, before it has offsets.
struct Plan {
    std::vector<std::uint32_t> messages;               // positions, in order
    std::vector<std::unique_ptr<Plan>> children;       // empty for a leaf, else messages.size() + 1
    std::uint32_t total = 0;                           // messages in the whole sub-tree
    std::uint32_t offset = 0;                          // where the node is written
    Plan* parent = nullptr;
};

std::uint64_t Capacity(std::uint32_t height, std::uint32_t perNode)
{
    std::uint64_t cap = perNode;
    for (std::uint32_t h = 1; h < height; ++h)
        cap = perNode + std::uint64_t{perNode + 1} * cap;
    return cap;
}

std::unique_ptr<Plan> MakePlan(std::uint32_t first, std::uint32_t count, std::uint32_t height, std::uint32_t perNode)
{
    auto plan = std::make_unique<Plan>();
    plan->total = count;
    if (height <= 1 || count <= perNode) {
        for (std::uint32_t i = 0; i < count; ++i)
            plan->messages.push_back(first + i);
        return plan;
    }
    const std::uint64_t below = Capacity(height - 1, perNode);
    std::uint32_t children = static_cast<std::uint32_t>((count + 1 + below) / (below + 1));
    children = std::clamp<std::uint32_t>(children, 2, perNode + 1);
    const std::uint32_t rest = count - (children - 1);
    std::uint32_t at = first;
    for (std::uint32_t c = 0; c < children; ++c) {
        const std::uint32_t size = rest / children + (c < rest % children ? 1 : 0);
        plan->children.push_back(MakePlan(at, size, height - 1, perNode));
        plan->children.back()->parent = plan.get();
        at += size;
        if (c + 1 < children)
            plan->messages.push_back(at++);
    }
    return plan;
}

Node NodeOf(const Plan& plan, const std::vector<std::uint32_t>& records)
{
    Node node;
    node.nOwnOffset = plan.offset;
    node.nLink = plan.parent ? plan.parent->offset : 0;
    node.nMessagesUnder = plan.total;
    const auto childOffset = [](const std::unique_ptr<Plan>& child) { return child->total ? child->offset : 0; };
    if (!plan.children.empty())
        node.nLeftChild = childOffset(plan.children[0]);
    for (std::size_t i = 0; i < plan.messages.size(); ++i) {
        NodeEntry entry;
        entry.nRecord = records[plan.messages[i]];
        if (!plan.children.empty()) {
            entry.nChild = childOffset(plan.children[i + 1]);
            entry.nMessagesUnder = plan.children[i + 1]->total;
        }
        node.entries.push_back(entry);
    }
    return node;
}

} // namespace

std::vector<unsigned char> BuildFolder(const std::vector<Message>& messages, const Options& options, FolderMap* map)
{
    Builder builder(options.nHeaderSize);
    // The tree's positions are those of the indexed messages alone.
    std::vector<std::uint32_t> indexed;
    for (std::uint32_t i = 0; i < messages.size(); ++i)
        if (!messages[i].bUnindexed)
            indexed.push_back(i);
    const std::uint32_t count = static_cast<std::uint32_t>(indexed.size());
    const std::uint32_t perNode = std::clamp<std::uint32_t>(options.nEntriesPerNode, 1, 51);
    std::uint32_t height = 1;
    while (Capacity(height, perNode) < count)
        ++height;
    std::unique_ptr<Plan> root = MakePlan(0, count, height, perNode);
    std::vector<std::uint32_t> records(count, 0);
    FolderMap where;
    where.records.resize(messages.size());
    where.firstBlocks.resize(messages.size());
    // Writes message i, after the messages left out of the index that come before it.
    std::uint32_t nextToWrite = 0;
    const auto writeUpTo = [&](std::uint32_t i) {
        for (; nextToWrite <= i && nextToWrite < messages.size(); ++nextToWrite) {
            where.records[nextToWrite] = builder.AddMessage(messages[nextToWrite], nextToWrite);
            where.firstBlocks[nextToWrite] = builder.FirstBlockOf(where.records[nextToWrite]);
        }
        return where.records[i];
    };

    std::vector<Plan*> written;  // nodes, in the order they were written
    if (options.layout == Layout::Packed) {
        for (std::uint32_t i = 0; i < count; ++i)
            records[i] = writeUpTo(indexed[i]);
        if (!messages.empty())
            writeUpTo(static_cast<std::uint32_t>(messages.size() - 1));
        // Level by level from the leaves up; within a level left to right.
        std::vector<std::vector<Plan*>> levels(height);
        std::function<void(Plan*, std::uint32_t)> collect = [&](Plan* p, std::uint32_t depth) {
            if (p->total == 0 && p != root.get())
                return;
            for (auto& child : p->children)
                collect(child.get(), depth + 1);
            levels[height - 1 - depth].push_back(p);
        };
        collect(root.get(), 0);
        for (auto& level : levels)
            written.insert(written.end(), level.begin(), level.end());
        const std::uint32_t base = builder.Tell();
        for (std::size_t i = 0; i < written.size(); ++i)
            written[i]->offset = base + static_cast<std::uint32_t>(i) * kNodeSize;
        for (Plan* p : written)
            builder.AddNode(NodeOf(*p, records));
    } else {
        // In order: the left sub-tree, then each message followed by its own sub-tree, and the node
        // once everything under it is written; parents are patched in when they are known.
        std::function<void(Plan*)> write = [&](Plan* p) {
            if (p->total == 0 && p != root.get())
                return;
            if (!p->children.empty())
                write(p->children[0].get());
            for (std::size_t i = 0; i < p->messages.size(); ++i) {
                records[p->messages[i]] = writeUpTo(indexed[p->messages[i]]);
                if (!p->children.empty())
                    write(p->children[i + 1].get());
            }
            p->offset = builder.AddNode(Node{});
            written.push_back(p);
        };
        write(root.get());
        if (!messages.empty())
            writeUpTo(static_cast<std::uint32_t>(messages.size() - 1));
        for (Plan* p : written)
            builder.SetNode(p->offset, NodeOf(*p, records));
    }
    Plan* leftmost = root.get();
    while (!leftmost->children.empty() && leftmost->children[0]->total)
        leftmost = leftmost->children[0].get();
    builder.SetFirstNode(leftmost->offset);
    builder.SetRoot(root->offset);
    builder.SetCount(options.nCountWord.value_or(count));
    for (const Plan* p : written) {
        where.nodes.push_back(p->offset);
        if (options.bZeroIndex)
            std::fill_n(builder.Bytes().begin() + p->offset, kNodeSize, 0);
    }
    if (map)
        *map = std::move(where);
    return std::move(builder.Bytes());
}

std::string SampleMessage(std::uint32_t nIndex, std::size_t nBodyBytes)
{
    static const char* const people[] = {"Ada Fenwick <ada.fenwick@example.org>",
                                         "Bruno Calloway <bruno@example.net>",
                                         "Chiara Lindqvist <chiara.l@example.com>",
                                         "Dmitri Okafor <d.okafor@example.org>",
                                         "Elena Marsh <elena.marsh@example.net>",
                                         "Farid Holloway <farid@example.com>"};
    static const char* const subjects[] = {"Minutes of the Tuesday meeting", "Re: garden club seed order",
                                           "Invoice 0412 for March", "Trip photos, part 2",
                                           "Quarterly report draft", "Lunch on Friday?",
                                           "Fwd: new parking rules", "Library books due"};
    static const char* const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::uint32_t n = nIndex;
    char date[64];
    std::snprintf(date, sizeof date, "%s, %u %s 2006 %02u:%02u:%02u +0100", days[n % 7], 1 + n % 28,
                  months[(n / 28) % 12], 8 + n % 10, (n * 7) % 60, (n * 13) % 60);
    std::string text;
    text += "Return-Path: <" + std::string("list-") + std::to_string(n % 5) + "@example.org>\r\n";
    text += "Received: from mail.example.org by mx.example.net; " + std::string(date) + "\r\n";
    text += "From: " + std::string(people[n % 6]) + "\r\n";
    text += "To: " + std::string(people[(n + 1 + n / 6) % 6]) + "\r\n";
    text += "Subject: " + std::string(subjects[n % 8]) + " #" + std::to_string(n + 1) + "\r\n";
    text += "Date: " + std::string(date) + "\r\n";
    text += "Message-ID: <" + std::to_string(100000 + n) + ".quillory@example.org>\r\n";
    text += "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n";
    static const char* const lines[] = {
        "Hello all,\r\n", "Please find the notes below; corrections are welcome.\r\n",
        "The next meeting is on the first Tuesday of the month, in the usual room.\r\n",
        "Thanks to everyone who brought seeds and cuttings last week.\r\n",
        "The totals are in the attached table; nothing has changed since the draft.\r\n",
        "Best regards,\r\n"};
    std::size_t line = n;
    while (nBodyBytes > 0) {
        const std::string next = lines[line++ % 6];
        text += next.substr(0, std::min(next.size(), nBodyBytes));
        nBodyBytes -= std::min(next.size(), nBodyBytes);
    }
    return text;
}

bool WriteFile(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace dbxgen
