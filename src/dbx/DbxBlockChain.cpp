#include "dbx/DbxBlockChain.h"

#include <algorithm>

namespace {

constexpr unsigned kGranuleShift = 4;   // one bit for each 16 bytes of the file
constexpr unsigned kChunkShift = 12;    // 4096 bits to a chunk
constexpr std::size_t kSpareChunks = 64;

} // namespace

DbxBlockSet::DbxBlockSet(std::uint64_t nFileSize)
    : m_chunks(static_cast<std::size_t>((nFileSize >> (kGranuleShift + kChunkShift)) + 1))
{
}

bool DbxBlockSet::Insert(std::uint64_t offset)
{
    const std::uint64_t granule = offset >> kGranuleShift;
    const std::size_t index = static_cast<std::size_t>(granule >> kChunkShift);
    if (index >= m_chunks.size())
        return false;  // not a place in this file: never a block the chain may pass
    std::unique_ptr<Chunk>& chunk = m_chunks[index];
    if (!chunk) {
        if (m_spare.empty()) {
            chunk = std::make_unique<Chunk>();
        } else {
            chunk = std::move(m_spare.back());
            m_spare.pop_back();
        }
        chunk->fill(0);
        m_touched.push_back(index);
    }
    const std::size_t bit = static_cast<std::size_t>(granule & ((1u << kChunkShift) - 1));
    std::uint64_t& word = (*chunk)[bit / 64];
    const std::uint64_t mask = std::uint64_t{1} << (bit % 64);
    if (word & mask)
        return false;
    word |= mask;
    return true;
}

bool DbxBlockSet::Contains(std::uint64_t offset) const
{
    const std::uint64_t granule = offset >> kGranuleShift;
    const std::size_t index = static_cast<std::size_t>(granule >> kChunkShift);
    if (index >= m_chunks.size() || !m_chunks[index])
        return false;
    const std::size_t bit = static_cast<std::size_t>(granule & ((1u << kChunkShift) - 1));
    return ((*m_chunks[index])[bit / 64] >> (bit % 64)) & 1;
}

bool DbxBlockSet::AnyIn(std::uint64_t begin, std::uint64_t end) const
{
    if (begin >= end)
        return false;
    const std::uint64_t first = begin >> kGranuleShift;
    const std::uint64_t last = std::min<std::uint64_t>((end - 1) >> kGranuleShift,
                                                       (std::uint64_t{m_chunks.size()} << kChunkShift) - 1);
    constexpr std::uint64_t kChunkBits = std::uint64_t{1} << kChunkShift;
    for (std::uint64_t granule = first; granule <= last;) {
        const std::size_t index = static_cast<std::size_t>(granule >> kChunkShift);
        if (!m_chunks[index]) {
            granule = (granule | (kChunkBits - 1)) + 1;  // nothing marked in this chunk
            continue;
        }
        const std::size_t bit = static_cast<std::size_t>(granule & (kChunkBits - 1));
        std::uint64_t word = (*m_chunks[index])[bit / 64] >> (bit % 64);
        const std::uint64_t span = std::min<std::uint64_t>(64 - bit % 64, last - granule + 1);
        if (span < 64)
            word &= (std::uint64_t{1} << span) - 1;
        if (word)
            return true;
        granule += span;
    }
    return false;
}

void DbxBlockSet::Clear()
{
    for (const std::size_t index : m_touched) {
        if (m_spare.size() < kSpareChunks)
            m_spare.push_back(std::move(m_chunks[index]));
        else
            m_chunks[index].reset();
    }
    m_touched.clear();
}

DbxBlockChain::DbxBlockChain(DbxSource& source, std::uint32_t nFirstBlock, DbxBlockSet& passed,
                             DbxChainBlocks accept)
    : m_source(source), m_passedBlocks(passed), m_nFirst(nFirstBlock), m_accept(accept)
{
    m_passedBlocks.Clear();
}

DbxBlockChain::DbxBlockChain(DbxSource& source, std::uint32_t nFirstBlock)
    : m_source(source), m_ownSet(std::in_place, source.Size()), m_passedBlocks(*m_ownSet), m_nFirst(nFirstBlock)
{
}

bool DbxBlockChain::Fail()
{
    m_bDamaged = true;
    m_bEnded = true;
    return false;
}

bool DbxBlockChain::Next()
{
    if (m_bEnded)
        return false;
    std::uint64_t offset = m_nFirst;
    if (m_bStarted) {
        if (m_nNext == 0 || m_nHanded >= m_nStopAfter) {
            m_bEnded = true;
            return false;
        }
        offset = m_nNext;
    }
    m_bStarted = true;
    unsigned char bytes[DBX_BLOCK_HEADER_SIZE];
    if (!m_source.ReadExact(offset, bytes, sizeof bytes))
        return Fail();
    const DbxBlockHeader header = ParseBlockHeader(bytes);
    const bool bLostOffset = header.nOwnOffset != offset;
    if (bLostOffset && !(m_accept == DbxChainBlocks::AlsoLostOffset && IsLostOffsetBlock(header)))
        return Fail();  // not a block
    if (header.nCount > header.nCapacity)
        return Fail();  // one that claims more than it has room for
    if (!m_passedBlocks.Insert(offset))
        return Fail();  // came back to a block already passed, or lies on top of one
    const std::uint64_t dataOffset = offset + DBX_BLOCK_HEADER_SIZE;
    const std::uint64_t held = std::min<std::uint64_t>(header.nCount, m_source.Size() - dataOffset);
    if (DBX_BLOCK_HEADER_SIZE + held > m_source.Size() - m_nPassed)
        return Fail();  // longer than the file: its blocks overlap
    m_nPassed += DBX_BLOCK_HEADER_SIZE + held;
    m_nHanded += held;
    m_nOffset = offset;
    m_nCount = static_cast<std::uint32_t>(held);
    m_nNext = header.nNext;
    if (held < header.nCount) {
        m_bDamaged = true;  // the data runs past the end of the file: the last block handed out
        m_bEnded = true;
    }
    return true;
}
