#include "dbx/DbxScanner.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "dbx/DbxLayout.h"
#include "dbx/DbxSource.h"
#include "model/TextSearch.h"

namespace {

constexpr std::size_t kExamined = 512;     // the first bytes of a chain that tell how it starts
constexpr std::size_t kLaterWithin = 256;  // a well-known field must start a line within these
constexpr std::size_t kLongestName = 76;   // a longer first word is no field name
// Block positions examined per read: small enough that the read stays in the processor's cache
// while it is searched twice. Each read also takes what the last position needs after it: its
// header and the bytes judged after that.
constexpr std::uint64_t kChunk = 128 * 1024;
constexpr std::uint64_t kTail = DBX_BLOCK_HEADER_SIZE + kExamined;
constexpr std::uint64_t kProgressStep = 16 * 1024 * 1024;
// Offsets are 32-bit: no block lies past this, and no next offset names one there.
constexpr std::uint64_t kPositions = std::uint64_t{1} << 32;
constexpr std::size_t kNone = static_cast<std::size_t>(-1);

constexpr std::string_view kWellKnownFields[] = {"Return-Path", "Received", "From",         "To",
                                                 "Cc",          "Subject",  "Date",         "Message-ID",
                                                 "MIME-Version", "Content-Type", "Reply-To", "Sender"};

bool IsNameByte(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

// What a header line holds: tab, printable ASCII, and 8-bit text that old mail sent unencoded.
bool IsTextByte(unsigned char c) { return c == '\t' || (c >= 0x20 && c != 0x7F); }

bool StartsWithWellKnownField(std::string_view line)
{
    for (const std::string_view name : kWellKnownFields)
        if (line.size() > name.size() && line[name.size()] == ':' && CompareNoCase(line.substr(0, name.size()), name) == 0)
            return true;
    return false;
}

// The first line alone: cheap enough to judge in the pass, while the block's bytes are at hand,
// and enough for the head of nearly every real message.
DbxMessageStart JudgeFirstLine(std::string_view text, bool bAll)
{
    const auto* b = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n && i <= kLongestName && IsNameByte(b[i]))
        ++i;
    if (i == n)
        return bAll ? DbxMessageStart::No : DbxMessageStart::Unknown;
    if (i == 0 || i > kLongestName || b[i] != ':')
        return DbxMessageStart::Unknown;  // no field; a later line may still be one
    std::size_t j = i + 1;
    while (j < n && IsTextByte(b[j]))
        ++j;
    if (j == n)
        return bAll ? DbxMessageStart::Header : DbxMessageStart::Unknown;
    return b[j] == '\r' || b[j] == '\n' ? DbxMessageStart::Header : DbxMessageStart::No;
}

struct Block {
    std::uint32_t nOffset;
    std::uint32_t nCount;  // the data bytes the file holds
    std::uint32_t nNext;
    std::uint8_t nFlags;
};

enum : std::uint8_t {
    kLost = 1,        // its own-offset word was overwritten
    kTruncated = 2,   // its data runs past the end of the file
    kIndexed = 4,     // an indexed message's chain passes it
    kNamed = 8,       // another found block names it as next
    kUsed = 16,       // a recovered chain passed it
    kStartShift = 5,  // two bits: how its own data starts (DbxMessageStart)
    kUnjudged = 128,  // how its data starts was left to be read if ever needed
};

int Priority(std::uint8_t flags) { return (flags & kIndexed) ? 2 : (flags & kLost) ? 0 : 1; }

class Scanner {
public:
    Scanner(const CFile& file, const DbxScanOptions& options)
        : m_file(file), m_options(options), m_source(file), m_nSize(file.GetLength())
    {
    }

    DbxScanResult Run()
    {
        if (!Pass()) {
            m_result.bCancelled = true;
            return std::move(m_result);
        }
        m_result.nBlocks = m_blocks.size();
        Link();
        for (std::size_t i = 0; i < m_blocks.size(); ++i) {
            if (m_blocks[i].nFlags & (kNamed | kUsed | kIndexed))
                continue;
            DbxMessageStart start = StartOf(i);
            if (start == DbxMessageStart::Unknown)
                start = JudgeAlong(i);
            if (start == DbxMessageStart::Header || start == DbxMessageStart::Later)
                Follow(i, start == DbxMessageStart::Header);
        }
        // Whatever no chain reached: loops without a head, and the rest of chains whose head did
        // not start a message. Only a block that plainly starts a header begins a chain here.
        const std::size_t nFromHeads = m_result.chains.size();
        for (std::size_t i = 0; i < m_blocks.size(); ++i) {
            if (m_blocks[i].nFlags & (kUsed | kIndexed))
                continue;
            const DbxMessageStart start = (m_blocks[i].nFlags & kUnjudged) ? JudgeOwnFirstLine(i) : StartOf(i);
            if (start == DbxMessageStart::Header)
                Follow(i, false);
        }
        auto& chains = m_result.chains;
        std::inplace_merge(chains.begin(), chains.begin() + static_cast<std::ptrdiff_t>(nFromHeads), chains.end(),
                           [](const DbxRecoveredChain& a, const DbxRecoveredChain& b) { return a.nFirstBlock < b.nFirstBlock; });
        return std::move(m_result);
    }

private:
    // The one pass: every position of the file is looked at as a possible block header. A block
    // names its own offset, so the two high bytes of that word are fixed across each 64 KB of the
    // file: a byte search for one of them finds the few candidates. A block that lost that word is
    // found by its capacity, whose second byte (2) is one that message text hardly holds, and only
    // where no block that names its own offset lies, since there it could not be kept.
    bool Pass()
    {
        const std::uint64_t nPositions = std::min(m_nSize, kPositions);
        // Page-aligned: the copy out of the page cache, the pass's largest cost, runs faster so.
        constexpr std::size_t kPage = 4096;
        const auto storage = std::make_unique<unsigned char[]>(kChunk + kTail + kPage);
        unsigned char* const buffer = storage.get() + (kPage - reinterpret_cast<std::uintptr_t>(storage.get()) % kPage) % kPage;
        // Room for a block every 512 bytes, the usual block size: reserved, not touched, so that
        // the table neither moves nor takes up memory it does not fill.
        m_blocks.reserve(static_cast<std::size_t>(nPositions / DBX_USUAL_BLOCK_CAPACITY) + 1);
        std::vector<Block> verified;
        std::vector<Block> lost;
        std::uint64_t nReported = 0;
        for (std::uint64_t c0 = 0; c0 < nPositions && c0 + DBX_BLOCK_HEADER_SIZE <= m_nSize; c0 += kChunk) {
            const std::uint64_t c1 = std::min(c0 + kChunk, nPositions);
            const std::size_t want = static_cast<std::size_t>(std::min(m_nSize, c1 + kTail) - c0);
            const std::size_t got = m_file.ReadAt(c0, buffer, want);
            if (got < want) {
                m_result.bShortRead = true;
                m_nSize = c0 + got;  // scan what could be read, as if the file ended there
            }
            m_pBuffer = buffer;
            m_nBufferStart = c0;
            if (m_nSize >= c0 + DBX_BLOCK_HEADER_SIZE) {
                // Positions whose whole header lies inside the file.
                const std::uint64_t end = std::min(c1, m_nSize - DBX_BLOCK_HEADER_SIZE + 1);
                FindVerified(c0, end, verified);
                FindLost(c0, end, verified, lost);
                // Both lists are in file order; settle them into the table in that order.
                std::size_t v = 0;
                std::size_t l = 0;
                while (v < verified.size() || l < lost.size()) {
                    if (l == lost.size() || (v < verified.size() && verified[v].nOffset < lost[l].nOffset))
                        Keep(verified[v++]);
                    else
                        Keep(lost[l++]);
                }
            }
            // What the table has filled: the rest of its room is address space, not memory.
            m_result.nPeakBytes = std::max<std::uint64_t>(
                m_result.nPeakBytes, m_blocks.size() * sizeof(Block) + kPage + kChunk + kTail + kPage +
                                         (verified.capacity() + lost.capacity()) * sizeof(Block));
            if (m_result.bShortRead)
                break;
            if (m_options.progress && c1 / kProgressStep > nReported) {
                nReported = c1 / kProgressStep;
                if (!m_options.progress(c1, nPositions))
                    return false;
            }
        }
        m_pBuffer = nullptr;
        return true;
    }

    [[nodiscard]] const unsigned char* At(std::uint64_t offset) const { return m_pBuffer + (offset - m_nBufferStart); }

    // The pass decodes headers by the million: here, where the compiler sees through it.
    [[nodiscard]] static DbxBlockHeader HeaderAt(const unsigned char* p)
    {
        return DbxBlockHeader{LoadU32(p), LoadU32(p + 4), LoadU32(p + 8), LoadU32(p + 12)};
    }

    // A next offset either ends the chain or must leave room for a header inside the file.
    [[nodiscard]] bool NextMayBeBlock(std::uint32_t nNext, std::uint64_t offset) const
    {
        return nNext == 0 || (nNext != offset && std::uint64_t{nNext} + DBX_BLOCK_HEADER_SIZE <= m_nSize);
    }

    [[nodiscard]] Block MakeBlock(std::uint64_t offset, const DbxBlockHeader& header, std::uint8_t flags) const
    {
        const std::uint64_t room = m_nSize - offset - DBX_BLOCK_HEADER_SIZE;
        Block block{static_cast<std::uint32_t>(offset), header.nCount, header.nNext, flags};
        if (header.nCount > room) {
            block.nCount = static_cast<std::uint32_t>(room);
            block.nFlags |= kTruncated;
        }
        return block;
    }

    void FindVerified(std::uint64_t begin, std::uint64_t end, std::vector<Block>& found)
    {
        found.clear();
        bool bAfterBlock = false;
        for (std::uint64_t a = std::max(begin, m_nVerifiedFrom); a < end;) {
            const unsigned char* p = At(a);
            if (!(bAfterBlock && LoadU32(p) == a)) {
                // Sound chains lie block after block; anywhere else, search. Of the two fixed
                // bytes, the one message text holds less often: the highest when it is a control
                // byte that text does not use (0 fills index nodes), else the second.
                const std::uint64_t b = std::min(end, (a | 0xFFFF) + 1);
                const auto second = static_cast<unsigned char>(a >> 16);
                const auto third = static_cast<unsigned char>(a >> 24);
                const bool bThird = third != 0 && third < 0x20 && third != '\t' && third != '\n' && third != '\r';
                const unsigned char key = bThird ? third : second;
                const std::ptrdiff_t at = bThird ? 3 : 2;
                const auto* hit = static_cast<const unsigned char*>(std::memchr(p + at, key, static_cast<std::size_t>(b - a)));
                if (!hit) {
                    a = b;
                    bAfterBlock = false;
                    continue;
                }
                p = hit - at;
            }
            bAfterBlock = false;
            const std::uint64_t offset = m_nBufferStart + static_cast<std::uint64_t>(p - m_pBuffer);
            a = offset + 1;
            if (LoadU32(p) != offset)
                continue;
            const DbxBlockHeader header = HeaderAt(p);
            if (header.nCapacity == 0 || header.nCount > header.nCapacity || !NextMayBeBlock(header.nNext, offset))
                continue;
            found.push_back(MakeBlock(offset, header, 0));
            // Nothing that starts inside this block could be kept beside it, unless it is a block
            // an indexed message passes: where there is none, the search goes on after the block.
            const std::uint64_t blockEnd = offset + DBX_BLOCK_HEADER_SIZE + found.back().nCount;
            if (!m_options.pIndexed || m_options.pIndexed->Contains(offset) || !m_options.pIndexed->AnyIn(offset + 1, blockEnd)) {
                a = std::max(a, std::min(blockEnd, end));
                m_nVerifiedFrom = blockEnd;
                bAfterBlock = true;
            }
        }
    }

    // Lost-offset blocks between the blocks found that name their own offset (verified, in file
    // order); inside one of them a lost-offset block would never be kept.
    void FindLost(std::uint64_t begin, std::uint64_t end, const std::vector<Block>& verified, std::vector<Block>& found) const
    {
        found.clear();
        std::uint64_t gap = begin;
        for (const Block& block : verified) {
            if (block.nOffset > gap)
                FindLostIn(gap, std::min<std::uint64_t>(block.nOffset, end), found);
            gap = std::max<std::uint64_t>(gap, std::uint64_t{block.nOffset} + DBX_BLOCK_HEADER_SIZE + block.nCount);
        }
        if (gap < end)
            FindLostIn(gap, end, found);
    }

    void FindLostIn(std::uint64_t begin, std::uint64_t end, std::vector<Block>& found) const
    {
        constexpr unsigned char kMark = static_cast<unsigned char>(DBX_USUAL_BLOCK_CAPACITY >> 8);
        const unsigned char* from = At(begin) + 5;
        const unsigned char* const to = At(end) + 5;
        while (from < to) {
            const auto* hit = static_cast<const unsigned char*>(std::memchr(from, kMark, static_cast<std::size_t>(to - from)));
            if (!hit)
                break;
            from = hit + 1;
            const unsigned char* p = hit - 5;
            if (LoadU32(p + 4) != DBX_USUAL_BLOCK_CAPACITY)
                continue;
            const std::uint64_t offset = m_nBufferStart + static_cast<std::uint64_t>(p - m_pBuffer);
            const DbxBlockHeader header = HeaderAt(p);
            if (header.nOwnOffset == offset || !IsLostOffsetBlock(header) || !NextMayBeBlock(header.nNext, offset))
                continue;
            found.push_back(MakeBlock(offset, header, kLost));
        }
    }

    // Adds a block found in the current buffer, settling any overlap with the last block kept.
    // Kept blocks never overlap and arrive in file order, so the last one is the only one a new
    // block can overlap, and removing it leaves none that the new block overlaps.
    void Keep(Block block)
    {
        if (m_options.pIndexed && m_options.pIndexed->Contains(block.nOffset))
            block.nFlags |= kIndexed;
        if (!m_blocks.empty()) {
            const Block& last = m_blocks.back();
            if (block.nOffset < std::uint64_t{last.nOffset} + DBX_BLOCK_HEADER_SIZE + last.nCount) {
                if (Priority(block.nFlags) <= Priority(last.nFlags))
                    return;
                m_blocks.pop_back();
            }
        }
        DbxMessageStart start = DbxMessageStart::No;  // an indexed block never starts a recovered chain
        if (!(block.nFlags & kIndexed)) {
            if (!m_blocks.empty() && m_blocks.back().nNext == block.nOffset) {
                // The block before names it: the middle of a chain, nearly always, whose start is
                // never asked for. Should it be, it is read then.
                start = DbxMessageStart::Unknown;
                block.nFlags |= kUnjudged;
            } else {
                // Judged now, while its bytes are at hand.
                start = JudgeFirstLine(DataAt(block), DataIsAll(block));
            }
        }
        block.nFlags |= static_cast<std::uint8_t>(static_cast<unsigned>(start) << kStartShift);
        m_blocks.push_back(block);
    }

    // The bytes of its own data that a block is judged by, and whether no more would be looked at.
    [[nodiscard]] static std::size_t JudgedBytes(const Block& block) { return std::min<std::size_t>(block.nCount, kExamined); }
    [[nodiscard]] static bool DataIsAll(const Block& block)
    {
        return JudgedBytes(block) == kExamined || block.nNext == 0 || (block.nFlags & kTruncated);
    }
    [[nodiscard]] std::string_view DataAt(const Block& block) const
    {
        return {reinterpret_cast<const char*>(At(block.nOffset) + DBX_BLOCK_HEADER_SIZE), JudgedBytes(block)};
    }

    // The judgement Keep left to be read.
    DbxMessageStart JudgeOwnFirstLine(std::size_t i)
    {
        const Block& block = m_blocks[i];
        std::string text(JudgedBytes(block), '\0');
        text.resize(m_source.ReadSome(std::uint64_t{block.nOffset} + DBX_BLOCK_HEADER_SIZE, text.data(), text.size()));
        return JudgeFirstLine(text, DataIsAll(block) || text.size() < JudgedBytes(block));
    }

    [[nodiscard]] DbxMessageStart StartOf(std::size_t i) const
    {
        return static_cast<DbxMessageStart>((m_blocks[i].nFlags >> kStartShift) & 3);
    }

    // The found block at offset, looked for first just after block i, where a sound chain goes on.
    [[nodiscard]] std::size_t Find(std::uint32_t offset, std::size_t i) const
    {
        if (i + 1 < m_blocks.size() && m_blocks[i + 1].nOffset == offset)
            return i + 1;
        const auto it = std::lower_bound(m_blocks.begin(), m_blocks.end(), offset,
                                         [](const Block& b, std::uint32_t o) { return b.nOffset < o; });
        return it != m_blocks.end() && it->nOffset == offset ? static_cast<std::size_t>(it - m_blocks.begin()) : kNone;
    }

    void Link()
    {
        for (std::size_t i = 0; i < m_blocks.size(); ++i) {
            if (m_blocks[i].nNext == 0 || (m_blocks[i].nFlags & kTruncated))
                continue;
            const std::size_t next = Find(m_blocks[i].nNext, i);
            if (next != kNone)
                m_blocks[next].nFlags |= kNamed;
        }
    }

    // The block a chain goes on to after block i, or kNone where it ends.
    [[nodiscard]] std::size_t Successor(std::size_t i, bool& bCut) const
    {
        const Block& block = m_blocks[i];
        bCut = false;
        if (block.nNext == 0 || (block.nFlags & kTruncated))
            return kNone;
        const std::size_t next = Find(block.nNext, i);
        if (next == kNone || (m_blocks[next].nFlags & (kUsed | kIndexed))) {
            bCut = true;
            return kNone;
        }
        return next;
    }

    // Judges a head whose first block was too short to tell, from the first bytes of its chain.
    DbxMessageStart JudgeAlong(std::size_t i)
    {
        std::string text;
        bool bEnded = false;
        // Each block with data brings at least a byte; empty blocks (and loops of them) bring none,
        // so the walk is bounded apart from the bytes.
        for (std::size_t steps = 0; text.size() < kExamined && steps <= kExamined; ++steps) {
            const Block& block = m_blocks[i];
            const std::size_t want = std::min<std::size_t>(block.nCount, kExamined - text.size());
            const std::size_t old = text.size();
            text.resize(old + want);
            const std::size_t got = m_source.ReadSome(std::uint64_t{block.nOffset} + DBX_BLOCK_HEADER_SIZE, text.data() + old, want);
            text.resize(old + got);
            bool bCut = false;
            const std::size_t next = Successor(i, bCut);
            if (got < want || next == kNone) {
                bEnded = true;
                break;
            }
            i = next;
        }
        const DbxMessageStart start = JudgeMessageStart(text, bEnded);
        return start == DbxMessageStart::Unknown ? DbxMessageStart::No : start;
    }

    void Follow(std::size_t i, bool bMayBeComplete)
    {
        DbxRecoveredChain chain{m_blocks[i].nOffset, 0, bMayBeComplete};
        for (;;) {
            Block& block = m_blocks[i];
            block.nFlags |= kUsed;
            chain.nSize += block.nCount;
            if (block.nFlags & (kLost | kTruncated))
                chain.bComplete = false;
            bool bCut = false;
            const std::size_t next = Successor(i, bCut);
            if (bCut)
                chain.bComplete = false;
            if (next == kNone)
                break;
            i = next;
        }
        m_result.chains.push_back(chain);
    }

    const CFile& m_file;
    const DbxScanOptions& m_options;
    DbxSource m_source;
    std::uint64_t m_nSize;
    std::vector<Block> m_blocks;  // in file order
    const unsigned char* m_pBuffer = nullptr;
    std::uint64_t m_nBufferStart = 0;
    std::uint64_t m_nVerifiedFrom = 0;  // where the search goes on past a block found
    DbxScanResult m_result;
};

} // namespace

DbxMessageStart JudgeMessageStart(std::string_view text, bool bAll)
{
    if (text.size() >= kExamined) {
        text = text.substr(0, kExamined);
        bAll = true;
    }
    const DbxMessageStart first = JudgeFirstLine(text, bAll);
    if (first != DbxMessageStart::Unknown)
        return first;
    // Text that reads as lines, and a well-known field at the start of one of them: an envelope
    // line or a blank line before the header, say.
    const auto* b = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t k = 0; k < text.size(); ++k) {
        if (b[k] == '\n') {
            if (k + 1 >= kLaterWithin)
                return DbxMessageStart::No;
            if (StartsWithWellKnownField(text.substr(k + 1)))
                return DbxMessageStart::Later;
        } else if (b[k] != '\r' && !IsTextByte(b[k])) {
            return DbxMessageStart::No;
        }
    }
    return bAll ? DbxMessageStart::No : DbxMessageStart::Unknown;
}

DbxScanResult ScanForMessages(const CFile& file, const DbxScanOptions& options)
{
    return Scanner(file, options).Run();
}

DbxBlockSet ChainBlocks(DbxSource& source, const std::vector<std::uint32_t>& firstBlocks)
{
    DbxBlockSet blocks(source.Size());
    DbxBlockSet passed(source.Size());
    std::uint64_t nBudget = source.Size() / DBX_BLOCK_HEADER_SIZE + 1;
    for (const std::uint32_t first : firstBlocks) {
        DbxBlockChain chain(source, first, passed);
        for (; nBudget > 0 && chain.Next(); --nBudget)
            (void)blocks.Insert(chain.BlockOffset());
        if (nBudget == 0)
            break;
    }
    return blocks;
}
