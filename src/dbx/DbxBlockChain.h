#pragma once
// Walks the chain of data blocks that holds one stored message, trusting nothing a block says
// until it has been checked. The chain ends cleanly at a next offset of 0. It ends as damaged at a
// block whose header does not lie wholly inside the file, whose own-offset word is not where it
// lies, whose count exceeds its capacity, that the chain has already passed, or that would take
// the chain's headers and data past the file's size (real blocks never overlap, so no chain of a
// sound file is longer than its file; blocks that overlap could make it any length).
//
// A block whose data runs past the end of the file is still handed out, for the bytes the file
// holds, and then ends the chain as damaged.
//
// A chain that the recovery scan found may also pass blocks that lost their own-offset word (see
// IsLostOffsetBlock), and may have been cut by the scan before its end: such a walk is told to
// accept them and where to stop.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "dbx/DbxLayout.h"
#include "dbx/DbxSource.h"

// The blocks a chain has passed, as one bit per 16 bytes of the file. The blocks of a sound chain
// lie at least a block header apart, so no two share a bit: a bit met twice is a block met twice,
// or two blocks whose headers overlap, and both are damage. Memory grows only where the chain
// goes, by 512 bytes for each 64 KB of the file touched, so never beyond a 128th of the file.
class DbxBlockSet {
public:
    explicit DbxBlockSet(std::uint64_t nFileSize);

    // Marks the block at offset (inside the file). False when its bit was already marked.
    [[nodiscard]] bool Insert(std::uint64_t offset);
    // True when a block whose header shares offset's 16 bytes of the file was marked.
    [[nodiscard]] bool Contains(std::uint64_t offset) const;
    // True when a block was marked whose header starts in [begin, end), or shares the 16 bytes of
    // the file that begin or end - 1 lie in.
    [[nodiscard]] bool AnyIn(std::uint64_t begin, std::uint64_t end) const;
    // Forgets every block, for the next chain; costs what the last chain touched.
    void Clear();

private:
    static constexpr std::size_t kWordsPerChunk = 64;  // 4096 bits: 64 KB of the file
    using Chunk = std::array<std::uint64_t, kWordsPerChunk>;

    std::vector<std::unique_ptr<Chunk>> m_chunks;
    std::vector<std::size_t> m_touched;            // chunks in use, to clear them
    std::vector<std::unique_ptr<Chunk>> m_spare;   // cleared chunks kept for the next chain
};

// Which blocks a chain may pass: only those that name their own offset, or also lost-offset ones.
enum class DbxChainBlocks { Verified, AlsoLostOffset };

class DbxBlockChain {
public:
    // A chain that records the blocks it passes in passed, which it clears first; passed must be
    // made for this file. Reusing one set spares a walk of many short chains its allocations.
    DbxBlockChain(DbxSource& source, std::uint32_t nFirstBlock, DbxBlockSet& passed,
                  DbxChainBlocks accept = DbxChainBlocks::Verified);
    // The same, with a set of its own.
    DbxBlockChain(DbxSource& source, std::uint32_t nFirstBlock);
    DbxBlockChain(const DbxBlockChain&) = delete;
    DbxBlockChain& operator=(const DbxBlockChain&) = delete;

    // Ends the chain, undamaged, once blocks holding this many message bytes have been handed out.
    void StopAfter(std::uint64_t nBytes) { m_nStopAfter = nBytes; }

    // Moves to the first block, then to each next one. Returns false when the chain has ended;
    // Damaged() then says whether it ended because of damage.
    [[nodiscard]] bool Next();

    [[nodiscard]] std::uint64_t BlockOffset() const { return m_nOffset; }
    // Where the current block's message bytes start, and how many of them the file holds: the
    // header's count, or less when the data runs past the end of the file.
    [[nodiscard]] std::uint64_t DataOffset() const { return m_nOffset + DBX_BLOCK_HEADER_SIZE; }
    [[nodiscard]] std::uint32_t Count() const { return m_nCount; }
    [[nodiscard]] bool Damaged() const { return m_bDamaged; }

private:
    bool Fail();

    DbxSource& m_source;
    std::optional<DbxBlockSet> m_ownSet;
    DbxBlockSet& m_passedBlocks;
    std::uint32_t m_nFirst;
    DbxChainBlocks m_accept = DbxChainBlocks::Verified;
    std::uint64_t m_nPassed = 0;         // headers and data of the blocks handed out
    std::uint64_t m_nHanded = 0;         // message bytes handed out
    std::uint64_t m_nStopAfter = UINT64_MAX;
    std::uint64_t m_nOffset = 0;
    std::uint32_t m_nCount = 0;
    std::uint32_t m_nNext = 0;
    bool m_bStarted = false;
    bool m_bEnded = false;
    bool m_bDamaged = false;
};
