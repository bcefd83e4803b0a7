#pragma once
// Walks the chain of data blocks that holds one stored message. The chain ends cleanly at a next
// offset of 0. It ends as damaged when a block header does not lie wholly inside the file, when it
// comes back to a block it already passed, or when it has more blocks than the file could hold
// (real blocks never overlap, so a file of n bytes holds at most n / 16 of them).
//
// Loops are found with Brent's method: constant memory whatever the chain's length, so copying a
// message of a million blocks costs no more memory than copying one of a single block.

#include <cstdint>

#include "dbx/DbxLayout.h"
#include "dbx/DbxSource.h"

class DbxBlockChain {
public:
    DbxBlockChain(DbxSource& source, std::uint32_t nFirstBlock);

    // Moves to the first block, then to each next one. Returns false when the chain has ended;
    // Damaged() then says whether it ended because of damage.
    [[nodiscard]] bool Next();

    [[nodiscard]] std::uint64_t BlockOffset() const { return m_nOffset; }
    // Where the current block's message bytes start, and how many the header claims. The bytes
    // themselves may still run past the end of the file: read them with a bounded read.
    [[nodiscard]] std::uint64_t DataOffset() const { return m_nOffset + DBX_BLOCK_HEADER_SIZE; }
    [[nodiscard]] std::uint32_t Count() const { return m_block.nCount; }
    [[nodiscard]] bool Damaged() const { return m_bDamaged; }
    [[nodiscard]] std::uint64_t BlocksVisited() const { return m_nVisited; }

private:
    bool Fail();

    DbxSource& m_source;
    std::uint32_t m_nFirst;
    std::uint64_t m_nOffset = 0;
    DbxBlockHeader m_block;
    bool m_bStarted = false;
    bool m_bEnded = false;
    bool m_bDamaged = false;
    std::uint64_t m_nVisited = 0;
    std::uint64_t m_nMaxBlocks;
    // Brent's cycle finding: a remembered block, and the steps taken since it was remembered.
    std::uint64_t m_nMarked = 0;
    std::uint64_t m_nPower = 1;
    std::uint64_t m_nSteps = 0;
};
