#pragma once
// Reads stored messages and hands them to a sink: a folder message from its chain of data blocks,
// a message file from its file. A message of up to kWholeMessage bytes is read whole first and
// handed over in one piece, so the sink writes it with one call, and a damaged one is left out
// before anything of it is written. A larger one is checked whole first (its block headers) and
// then streamed in pieces, so memory stays small for a message of any size.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "dbx/DbxBlockChain.h"
#include "dbx/DbxSource.h"
#include "export/MessageSinks.h"
#include "extract/MessageCopy.h"
#include "platform/File.h"

inline constexpr std::size_t kWholeMessage = 16u << 20;

enum class CopyResult {
    Written,
    Kept,       // a message file of that name was there and was kept
    Damaged,    // the message could not be read whole; nothing of it was written
    Changed,    // the folder no longer holds the listed message where it was listed
    Failed,     // it could not be written (the sink's Error() says why)
    Cancelled,  // the cancel flag was raised while a large message was copied
};

class FolderMessageReader {
public:
    // folder must stay open for the life of the reader.
    explicit FolderMessageReader(const CFile& folder);
    FolderMessageReader(const FolderMessageReader&) = delete;
    FolderMessageReader& operator=(const FolderMessageReader&) = delete;

    [[nodiscard]] DbxSource& Source() { return m_source; }

    // Copies the message whose chain starts at nFirstBlock into sink, as the message file name.
    // With listed, nothing is written unless the file still holds the listed message there (the
    // same record naming the same chain, of the same size).
    CopyResult Copy(std::uint32_t nFirstBlock, const ListedMessage* listed, MessageSink& sink, const std::string& name,
                    const std::atomic<bool>* pCancel = nullptr);
    // The size of the message last copied (or found damaged: as far as it could be read).
    [[nodiscard]] std::uint64_t LastSize() const { return m_nLastSize; }

private:
    CopyResult Stream(std::uint32_t nFirstBlock, std::uint64_t nSize, bool bPartial, MessageSink& sink,
                      const std::string& name, const std::atomic<bool>* pCancel);

    DbxSource m_source;
    DbxBlockSet m_passed;
    std::vector<char> m_buffer;
    std::uint64_t m_nLastSize = 0;
};

// Copies the open message file source, from its start, into sink as the message file name.
// Damaged when it could not be read to its end.
CopyResult CopyMessageFile(CFile& source, MessageSink& sink, const std::string& name, std::vector<char>& buffer,
                           const std::atomic<bool>* pCancel = nullptr);
