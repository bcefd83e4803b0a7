#pragma once
// Reads one mail-folder file into the application's entry list: one entry per stored message, in
// index order, each with its header lines, a default name and the first bytes of its text. The
// reader lives for one listing.
//
// The file is untrusted. Every read is bounded by the file's size, every walk (index nodes, record
// slots, block chains) ends, and nothing is allocated from a field that was not checked first.
// Whatever could not be read is left out and remembered as damage; the caller tells the user once.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dbx/DbxBlockChain.h"
#include "dbx/DbxLayout.h"
#include "dbx/DbxScanner.h"
#include "platform/File.h"

class CQuilloryApp;
class DbxSource;
class listaf;

class DBXReader {
public:
    // Takes the path from pCurrentEntry (null or an empty path gives ""), then empties the entry
    // list: the current entry is one of the entries, so the path is copied first.
    DBXReader(CQuilloryApp& app, const listaf* pCurrentEntry);
    ~DBXReader();
    DBXReader(const DBXReader&) = delete;
    DBXReader& operator=(const DBXReader&) = delete;

    // Opens the file for reading, held exclusively, and reads the count word. Returns false after
    // telling the user ("Errore in apertura file").
    bool Open();
    // Builds the entries. Returns 0 when done, 1 when the folder holds records but no message
    // bodies: records with slots and none of them a data-block attribute (the user has been told;
    // the caller empties the list). Such records among messages are left out as damage.
    std::int32_t ReadMessages();
    // Keeps the blocks that the listed messages' chains pass while ReadMessages gathers them, so
    // that RecoverMessages need not walk them again. Call before ReadMessages.
    void KeepIndexedBlocks() { m_bKeepIndexed = true; }
    // True when the messages outside the index are to be listed too: bAsked, or the index is
    // damaged, or it listed no message of a file that is not empty.
    [[nodiscard]] bool ShouldRecover(bool bAsked) const;
    // Scans the open file for the messages that the index does not reach and appends them after
    // the listed ones, named Rec00001... in file order and marked as recovered. Returns how many.
    std::int32_t RecoverMessages();
    void Close();

    // Sum of the byte counts along the chain that starts at nBlock, modulo 2^32, as far as the
    // chain can be followed; a damaged chain counts up to the damage, each block once.
    [[nodiscard]] std::uint32_t ChainLength(std::uint32_t nBlock);
    // Characters from start to the first c at or after it, or to the end of text when none
    // follows; 0 when start lies outside the text.
    [[nodiscard]] static std::int32_t CountUntil(std::string_view text, std::int32_t start, char c);
    // Replaces every occurrence of code by replacement until none is left, the leftmost first.
    static void ReplaceAll(std::string& text, std::string_view code, std::string_view replacement);

    // True once something that the file's own fields point at could not be read as laid out, or
    // the folder lists fewer messages than its count word says it holds.
    [[nodiscard]] bool Damaged() const { return m_bDamaged || m_lane.bDamaged; }

    std::string m_strFilePath;
    std::uint32_t m_nCount = 0;      // the count word; only ever tested against 0
    std::uint32_t m_nIndexMark = 0;
    CFile m_file;
    FileError m_error;               // why an open failed; never shown

private:
    // Sets the walks' bounds from the file's size, once.
    void Prepare(DbxSource& source);
    // What one gathering walk works with and spends.
    struct Lane {
        std::vector<unsigned char> gathered;  // one message's beginning, before it goes to its entry
        std::optional<DbxBlockSet> passedBlocks;  // one chain's blocks, reused from chain to chain
        std::uint64_t nGatherBudget = 0;   // message bytes the file could hold at most
        std::uint64_t nBlockBudget = 0;    // blocks the file could hold at most
        bool bDamaged = false;
    };
    // Gathers the beginning of the message into the entry's text and sets its size: the bytes of
    // its whole chain, from the block headers, or for a recovered one the bytes the scan found.
    void Gather(DbxSource& source, Lane& lane, listaf& entry, const DbxRecoveredChain* pRecovered = nullptr);
    void Gather(DbxSource& source, listaf& entry, const DbxRecoveredChain* pRecovered = nullptr)
    {
        Gather(source, m_lane, entry, pRecovered);
    }
    // Gathers the indexed message of entry, the k-th, takes its header lines and gives the buffer
    // back to lane.
    void ReadEntry(DbxSource& source, Lane& lane, listaf& entry, std::size_t k);
    // Reads entries [from, to) with this reader's own lane, telling the progress of each.
    void ReadEntries(DbxSource& source, const std::vector<listaf*>& entries, std::size_t from, std::size_t to);
    // Reads a large folder's entries with two walks at once. False, with nothing read, when no
    // second thread could be had.
    bool ReadInTwoWalks(DbxSource& source, const std::vector<listaf*>& entries);
    // Takes the header lines and names the entry: the prefix and its number in five digits or more.
    void TakeHeaderLines(listaf& entry, const char* pszPrefix, std::int32_t nNumber);

    CQuilloryApp& m_app;
    Lane m_lane;
    bool m_bDamaged = false;
    bool m_bKeepIndexed = false;
    std::optional<DbxBlockSet> m_indexedBlocks;  // every block the listed messages' chains pass
    std::int32_t m_nListed = 0;                  // messages listed through the index
};

// The note shown once when a listing met damage.
[[nodiscard]] std::string DamagedFolderText(const std::string& strPath);
