#pragma once
// One message's MIME structure, read for a reader: decoded headers, the text bodies in UTF-8, and
// the other parts (attachments, inline images) with their decoded names, types and sizes. Plain
// standard-library types only; the MIME library behind it stays inside this folder.
//
// Parsing never fails. A message is untrusted bytes: whatever cannot be read as it claims to be is
// shown as best it can (a multipart without a usable boundary as text, bytes in an unknown charset
// by a guess) and said in a note. A document is used by one thread at a time.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The decoded header lines a reader shows, UTF-8, each on one line; "" when the message has none.
struct MimeHeaders {
    std::string strFrom;
    std::string strTo;
    std::string strCc;
    std::string strDate;
    std::string strSubject;
    bool bHasCc = false;
};

// A part that is not shown as the message's text.
struct MimeAttachment {
    std::string strName;       // decoded (UTF-8) as the message gives it, unsanitised; "" when it gives none
    std::string strType;       // "image/png", lower case
    std::string strContentId;  // without its angle brackets; "" when none
    std::uint64_t nSize = 0;   // decoded bytes
    bool bInline = false;      // meant to be shown in the text (inline disposition or a related part)
    bool bDamaged = false;     // its encoding did not decode cleanly; the size counts what did
};

struct MimeContent {
    MimeHeaders headers;
    std::optional<std::string> plain;  // the text/plain body in UTF-8, line ends as in the message
    std::optional<std::string> html;   // the text/html body in UTF-8
    std::vector<MimeAttachment> attachments;  // in message order
    std::vector<std::string> notes;    // one sentence for each thing that could not be read as it claimed
};

class MimeDocument {
public:
    // Parses the message held in bytes (header, empty line, body).
    [[nodiscard]] static std::unique_ptr<MimeDocument> Parse(std::string_view bytes);
    ~MimeDocument();
    MimeDocument(const MimeDocument&) = delete;
    MimeDocument& operator=(const MimeDocument&) = delete;

    [[nodiscard]] const MimeContent& Content() const;
    // The message's bytes as parsed, for a view of its source.
    [[nodiscard]] std::string_view Source() const;

    // Hands the decoded bytes of attachment index to sink, piece by piece, in bounded memory. Stops
    // when sink returns false. Returns false when index is out of range, sink refused a piece, or
    // the part's encoding did not decode cleanly (what did decode was handed on all the same).
    bool WriteAttachment(std::size_t index, const std::function<bool(const char* data, std::size_t size)>& sink) const;
    // The decoded bytes of attachment index, when they come to at most nLimit; for inline images.
    [[nodiscard]] std::optional<std::string> AttachmentBytes(std::size_t index, std::uint64_t nLimit) const;
    // The attachment whose Content-ID is contentId (angle brackets optional, as in a cid: link).
    [[nodiscard]] std::optional<std::size_t> FindContentId(std::string_view contentId) const;

private:
    struct Impl;
    explicit MimeDocument(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_pImpl;
};
