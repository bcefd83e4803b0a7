#pragma once
// Writes mail-folder files for tests, benchmarks, the fuzzer's seeds and the demo samples: the
// layout the reader relies on, with switches for every case worth testing (records that name no
// message, an indirect or missing data-block attribute, empty blocks in a chain, index trees of
// any depth laid out packed or scattered between the messages, messages the index does not name or
// that were deleted, a zeroed index, damaged variants by patching).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dbxgen {

enum class Attr4 {
    Direct,    // the slot holds the first block's offset (falls back to Indirect past 2^24 - 1)
    Indirect,  // the slot points into the record's data area, where the offset is stored
    Missing,   // the record has slots, none of them id 4
};

struct Message {
    std::string text;                   // the stored message, header lines and body
    std::uint32_t nBlockSize = 512;     // message bytes per data block (the last may hold fewer)
    Attr4 attr4 = Attr4::Direct;
    std::uint8_t nSlotsBefore = 2;      // slots with other ids before the data-block slot
    bool bWrongOwnOffset = false;       // the record's first word is not its offset
    bool bNoSlots = false;              // the record has no slots at all
    bool bEmptyBlockAfterFirst = false; // a block of 0 bytes follows the first block
    bool bUnindexed = false;            // written with its record, but the index does not name it
    // Every block's own-offset word holds this instead, as deleting a message leaves its blocks.
    std::optional<std::uint32_t> nLostOwnOffset = std::nullopt;
};

struct NodeEntry {
    std::uint32_t nRecord = 0;
    std::uint32_t nChild = 0;           // node of the entries after this one
    std::uint32_t nMessagesUnder = 0;
};

struct Node {
    std::optional<std::uint32_t> nOwnOffset;  // default: where the node is written
    std::uint32_t nLeftChild = 0;             // 0x08
    std::uint32_t nLink = 0;                  // 0x0C: the parent, in real folders
    std::uint32_t nMessagesUnder = 0;         // 0x14
    std::vector<NodeEntry> entries;
    std::optional<std::uint8_t> nEntryCount;  // default: entries.size()
};

// Low-level: appends pieces to a file image and patches fields. Offsets are file offsets.
class Builder {
public:
    // A file header of nHeaderSize bytes (at least 0xE8, the fields read), all zero but for a
    // made-up signature; real folders have 0x24BC.
    explicit Builder(std::uint32_t nHeaderSize = 0x24BC);

    [[nodiscard]] std::uint32_t Tell() const { return static_cast<std::uint32_t>(m_bytes.size()); }
    // Appends the message's blocks and then its record; returns the record's offset.
    std::uint32_t AddMessage(const Message& message, std::uint32_t nIndex = 0);
    // Appends a 636-byte node; returns its offset.
    std::uint32_t AddNode(const Node& node);
    // Rewrites the node at offset (the 636 bytes there).
    void SetNode(std::uint32_t offset, const Node& node);
    void AppendRaw(const std::string& bytes);
    void Put32(std::uint32_t offset, std::uint32_t value);
    void Put8(std::uint32_t offset, std::uint8_t value);
    [[nodiscard]] std::uint32_t Get32(std::uint32_t offset) const;
    void SetFirstNode(std::uint32_t offset) { Put32(0x30, offset); }
    void SetCount(std::uint32_t count) { Put32(0xC4, count); }
    void SetRoot(std::uint32_t offset) { Put32(0xE4, offset); }
    // The first data block of the message whose record is at nRecord (follows attribute 4).
    [[nodiscard]] std::uint32_t FirstBlockOf(std::uint32_t nRecord) const;
    // The blocks of the chain that starts at nFirst, by their next words, until a next of 0, a
    // block outside the image or one met before.
    [[nodiscard]] std::vector<std::uint32_t> ChainOf(std::uint32_t nFirst) const;

    [[nodiscard]] std::vector<unsigned char>& Bytes() { return m_bytes; }
    [[nodiscard]] const std::vector<unsigned char>& Bytes() const { return m_bytes; }

private:
    std::vector<unsigned char> m_bytes;
};

enum class Layout {
    Packed,     // messages first, then every node: leaves left to right, then each level above
    Scattered,  // each node right after the messages it lists, as a growing folder leaves them
};

struct Options {
    Layout layout = Layout::Packed;
    std::uint32_t nEntriesPerNode = 51;       // the most a 636-byte node holds
    std::optional<std::uint32_t> nCountWord;  // default: the number of messages
    std::uint32_t nHeaderSize = 0x24BC;       // smaller makes small seeds for the fuzzer
    bool bZeroIndex = false;                  // every index node zeroed once written
};

// Where BuildFolder put things, in the order of the messages given.
struct FolderMap {
    std::vector<std::uint32_t> records;
    std::vector<std::uint32_t> firstBlocks;
    std::vector<std::uint32_t> nodes;  // in the order they were written
};

// A whole folder whose index tree lists the messages in order. The first node (header 0x30) is the
// leftmost leaf and each node's 0x0C names its parent, as in real folders, so a packed folder of
// two levels is one run of nodes, and a deeper or scattered one is not.
// Messages marked bUnindexed are written in their place among the others but left out of the tree.
[[nodiscard]] std::vector<unsigned char> BuildFolder(const std::vector<Message>& messages, const Options& options = {},
                                                     FolderMap* map = nullptr);

// A made-up, realistic message (no real people): header lines after a Return-Path line, a blank
// line, and a body padded to about nBodyBytes.
[[nodiscard]] std::string SampleMessage(std::uint32_t nIndex, std::size_t nBodyBytes = 600);

// Writes bytes to path; false on failure.
bool WriteFile(const std::string& path, const std::vector<unsigned char>& bytes);

} // namespace dbxgen
