#pragma once
// Finds the messages of a mail-folder file without its index. One pass over the whole file looks
// for data blocks wherever they lie, links them into chains and keeps the chains that start like a
// message header. Chains that the index reaches are left to it; the others are the messages it
// lost: records taken out of it, an index damaged or zeroed, messages deleted but never compacted
// away.
//
// A block is recognised by its own words: it names its own offset, its count is at most its
// capacity (which is not 0), and its next offset is 0 or leaves room for a block header inside the
// file. The blocks of a deleted message have lost their own-offset word; they are recognised by the
// usual capacity instead (IsLostOffsetBlock). Found blocks never overlap: where two would, a block
// that the index reaches wins over any other, one that names its own offset over a lost-offset
// one, and otherwise the earlier one.
//
// A chain starts at a block that no other found block names as its next. Each block is used once,
// so loops and shared tails are cut where they come back, and a next offset that names no found
// block (the middle of another block, say) ends the chain. A chain is complete when it starts at
// such a head, passes only blocks that name their own offset, holds all its data inside the file
// and ends at a next offset of 0, and its first line is a header field; every other recovered
// chain is partial. A block that something names but that no chain reached (a loop with no way
// in) starts a partial chain when its own first line is a header field.
//
// Memory: 16 bytes for each block found, a 132 KB read buffer and the candidates found in it
// (under 1.2 MB however they crowd), and the result. The file is read once, front to back, in
// pieces that stay in the processor's cache; the only other reads are of the first bytes of the
// few chain heads that the pass could not judge.

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "dbx/DbxBlockChain.h"
#include "platform/File.h"

struct DbxRecoveredChain {
    std::uint32_t nFirstBlock = 0;
    std::uint64_t nSize = 0;  // message bytes along the chain, as far as the scan followed it
    bool bComplete = false;
};

struct DbxScanOptions {
    // The blocks that the indexed messages' chains pass; never part of a recovered chain. May be null.
    const DbxBlockSet* pIndexed = nullptr;
    // Called after every 16 MB scanned with the bytes scanned and the bytes to scan; returning
    // false cancels the scan.
    std::function<bool(std::uint64_t nDone, std::uint64_t nTotal)> progress;
};

struct DbxScanResult {
    std::vector<DbxRecoveredChain> chains;  // in file order of their first blocks
    std::uint64_t nBlocks = 0;              // blocks found, and kept after overlaps were settled
    std::uint64_t nPeakBytes = 0;           // memory the scan filled at most, its read buffer included
    bool bCancelled = false;                // no chains then
    bool bShortRead = false;                // the file came up short: it shrank while it was read
};

// Scans the open file. Never fails otherwise: a file that holds nothing gives no chains.
[[nodiscard]] DbxScanResult ScanForMessages(const CFile& file, const DbxScanOptions& options = {});

// The blocks that the chains starting at firstBlocks pass: what a scan must leave to the indexed
// messages (DbxScanOptions::pIndexed). No more blocks are walked than the file could hold.
[[nodiscard]] DbxBlockSet ChainBlocks(DbxSource& source, const std::vector<std::uint32_t>& firstBlocks);

// How the first bytes of a chain begin.
enum class DbxMessageStart {
    Header,   // the first line is a header field: a name, a colon, and text up to the line's end
    Later,    // a line within the first 256 bytes starts with a well-known header field
    Unknown,  // more bytes would tell
    No,
};

// Judges text, the first bytes of a chain (at most the first 512 are looked at). bAll says that no
// more bytes follow, or that none would be looked at; only then can the answer not be Unknown.
[[nodiscard]] DbxMessageStart JudgeMessageStart(std::string_view text, bool bAll);
