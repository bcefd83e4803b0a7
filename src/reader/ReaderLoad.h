#pragma once
// What a reader window reads, done away from the window's thread: the message's bytes from its
// file or its mail folder, the parse, and the inline pictures the HTML text names, read ahead so
// that the page can be served without touching the document. Plain C++: no Qt here.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "extract/MessageCopy.h"

class MimeDocument;

// The message to read: a message file, or a message of a mail-folder file as the listing found it.
struct ReaderRequest {
    std::string strPath;       // the message file, or the mail-folder file
    bool bInFolder = false;
    ListedMessage listed;      // where the folder holds it, when bInFolder
    std::string strName;       // as the listing names it ("Msg00003", "letter.eml")
};

// A part the HTML text shows through a cid: link.
struct InlinePart {
    std::string strType;       // "image/png"
    std::string strBytes;      // decoded
};

struct ReaderMessage {
    // Null when the message could not be read; strError then says why.
    std::shared_ptr<const MimeDocument> document;
    std::string strError;
    // What could not be read as it claims, one sentence each: the reading, then the parse.
    std::vector<std::string> notes;
    // By Content-ID (without brackets): the pictures and style sheets the HTML text names.
    std::map<std::string, InlinePart, std::less<>> inlineParts;
};

// A part is read ahead only up to this size, and all of them up to kMaxInlineTotal: a message
// cannot make the reader hold more than that beside itself.
inline constexpr std::uint64_t kMaxInlinePart = 16ull * 1024 * 1024;
inline constexpr std::uint64_t kMaxInlineTotal = 64ull * 1024 * 1024;

// Reads and parses the message. Never fails outright: a message that cannot be read comes back
// without a document and with the reason.
[[nodiscard]] ReaderMessage ReadMessageForReader(const ReaderRequest& request);

// Whether a part of this type may be shown inside the HTML text: pictures and style sheets only.
[[nodiscard]] bool IsInlineType(const std::string& strType);
