#pragma once
// A message's bytes, read whole into memory for the reader: from a message file, or from a message
// inside a mail-folder file as the listing found it. Reading is bounded: a message past
// kMaxMessageBytes is read up to there and the rest left, with a note, so a huge or endless file
// can neither exhaust memory nor stall the reader.

#include <cstdint>
#include <string>

#include "extract/MessageCopy.h"
#include "platform/File.h"

inline constexpr std::uint64_t kMaxMessageBytes = 256ull * 1024 * 1024;

struct LoadedMessage {
    std::string strBytes;
    std::string strNote;  // "" or one sentence: what of the message could not be read
};

// Reads the file at strPath. Returns false, with strError set to the text for the user, when it
// cannot be opened or read.
[[nodiscard]] bool LoadMessageFile(const std::string& strPath, LoadedMessage& message, std::string& strError);

// Reads the listed message of the open mail-folder file folder (strFolderPath names it in texts).
// The folder must still hold the message where the listing found it (see SaveChainAs); a chain
// damaged on the way gives what could be read, with a note. Returns false, with strError set, when
// the folder has changed since it was listed.
[[nodiscard]] bool LoadFolderMessage(const CFile& folder, const std::string& strFolderPath, const ListedMessage& listed,
                                     LoadedMessage& message, std::string& strError);
