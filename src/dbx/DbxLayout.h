#pragma once
// The mail-folder file layout as the reader relies on it: where the few fields it reads sit, and
// how to decode them from bytes. Decoding never overlays structs on the file's bytes: each field is
// assembled byte by byte, little-endian, so alignment and host byte order do not matter.
//
// Nothing here checks signatures or versions; the reader instead bounds every read by the file's
// size (see DbxSource), which is what keeps a damaged or hostile file harmless.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

inline constexpr std::uint64_t DBX_FIRST_NODE_OFFSET = 0x30;  // u32: the first index node
inline constexpr std::uint64_t DBX_COUNT_OFFSET = 0xC4;       // u32: number of stored messages
inline constexpr std::uint64_t DBX_ROOT_OFFSET = 0xE4;        // u32: root node of the index tree

inline constexpr std::uint32_t DBX_NODE_SIZE = 636;           // distance from one run node to the next
inline constexpr std::size_t DBX_NODE_HEADER_SIZE = 24;
inline constexpr std::size_t DBX_NODE_ENTRY_SIZE = 12;
inline constexpr std::size_t DBX_RECORD_FIXED_SIZE = 12;      // own offset, length, u16, N, u8
inline constexpr std::size_t DBX_SLOT_SIZE = 4;
inline constexpr std::size_t DBX_BLOCK_HEADER_SIZE = 16;
inline constexpr std::uint8_t DBX_ATTR_DATA_BLOCK = 4;        // the only attribute the reader uses
inline constexpr std::uint32_t DBX_USUAL_BLOCK_CAPACITY = 0x200;  // data bytes of the usual 0x210-byte block

[[nodiscard]] inline std::uint16_t LoadU16(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

[[nodiscard]] inline std::uint32_t LoadU24(const unsigned char* p)
{
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16);
}

[[nodiscard]] inline std::uint32_t LoadU32(const unsigned char* p)
{
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

struct DbxNodeHeader {
    std::uint32_t nOwnOffset = 0;     // 0: no node here
    std::uint32_t nLeftChild = 0;     // 0x08: the node of the entries before the first entry
    std::uint32_t nLink = 0;          // 0x0C: the index mark in the first node
    std::uint8_t nEntries = 0;        // 0x11
    std::uint32_t nMessagesUnder = 0; // 0x14: never trusted, only informative
};

struct DbxNodeEntry {
    std::uint32_t nRecord = 0;        // a message record
    std::uint32_t nChild = 0;         // the node of the entries after this one (0: none)
    std::uint32_t nMessagesUnder = 0; // never trusted
};

struct DbxBlockHeader {
    std::uint32_t nOwnOffset = 0;     // where the block itself lies in the file
    std::uint32_t nCapacity = 0;      // message bytes the block has room for after its header
    std::uint32_t nCount = 0;         // message bytes that follow the header
    std::uint32_t nNext = 0;          // next block of the chain; 0 ends it
};

struct DbxSlot {
    std::uint8_t nId = 0;             // bits 0-6
    bool bDirect = false;             // bit 7: the value is the attribute itself
    std::uint32_t nValue = 0;         // u24
};

// A block that no longer names its own offset (deleting a message without compacting the folder
// overwrites that word) but still reads as one: the usual capacity, some data, and full unless it
// is the last of its chain. Only such blocks are trusted without their own offset.
[[nodiscard]] inline bool IsLostOffsetBlock(const DbxBlockHeader& header)
{
    return header.nCapacity == DBX_USUAL_BLOCK_CAPACITY && header.nCount > 0 && header.nCount <= header.nCapacity &&
           (header.nNext == 0 || header.nCount == header.nCapacity);
}

[[nodiscard]] DbxNodeHeader ParseNodeHeader(std::span<const unsigned char, DBX_NODE_HEADER_SIZE> bytes);
[[nodiscard]] DbxNodeEntry ParseNodeEntry(std::span<const unsigned char, DBX_NODE_ENTRY_SIZE> bytes);
[[nodiscard]] DbxBlockHeader ParseBlockHeader(std::span<const unsigned char, DBX_BLOCK_HEADER_SIZE> bytes);
[[nodiscard]] DbxSlot ParseSlot(std::span<const unsigned char, DBX_SLOT_SIZE> bytes);
