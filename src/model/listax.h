#pragma once
// The self-linking entry list. A node's constructor appends it at the tail of the list whose head
// it is given; its destructor unlinks it. A node is in its list exactly as long as it exists, so
// deleting is the only way out and emptying the list means deleting every node.
//
// Invariants: the head is null or a node whose m_pPrev is null; each node's m_pNext->m_pPrev is the
// node; every node's m_ppHead is its list's head. The list keeps no tail and no count.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

inline constexpr std::int32_t KIND_OTHER = 0;
inline constexpr std::int32_t KIND_MESSAGE_FILE = 1;     // ".eml", ".msg"
inline constexpr std::int32_t KIND_MAIL_FOLDER = 2;      // ".dbx"
inline constexpr std::int32_t KIND_FOLDER_MESSAGE = 3;   // a message inside a mail-folder file
inline constexpr std::int32_t KIND_DIRECTORY = 4;

// The kind a directory entry's extension (".eml", with its dot) makes a file: a message file, a
// mail folder, or KIND_OTHER.
[[nodiscard]] std::int32_t KindFromExtension(const std::string& ext);

class listax {
public:
    // Appends at the tail of *ppHead. Walking from the head at every append would make building a
    // long list quadratic, so the list code remembers each list's last node on the side (kept
    // right by the constructor and destructor, checked before use since sorting re-links nodes);
    // nothing observable about the list changes.
    explicit listax(listax** ppHead);
    virtual ~listax();
    listax(const listax&) = delete;
    listax& operator=(const listax&) = delete;

    // Number of nodes in the list headed by *ppHead.
    [[nodiscard]] static std::int32_t Count(listax* const* ppHead);

    listax* m_pNext = nullptr;
    listax* m_pPrev = nullptr;
    listax** m_ppHead = nullptr;
};

// A node with one untyped payload; kept for the family's completeness.
class listav : public listax {
public:
    explicit listav(listax** ppHead) : listax(ppHead) {}
    void* m_pData = nullptr;
};

// How a folder message was found: through the folder's index, or by scanning the file for the
// messages the index does not reach.
enum class MessageRecovery : std::uint8_t {
    None,      // listed through the index
    Complete,  // found by the scan, its chain followed from its start to its end
    Partial,   // found by the scan, but not the whole chain could be followed: part of a message
};

// The four header lines of a message as found in it: not trimmed, not escaped, codes not replaced.
// An empty string where the line was not found.
struct RawHeaderLines {
    std::string strFrom;
    std::string strTo;
    std::string strSubject;
    std::string strDate;
};

// One row of the listing: a directory, a file, or a message inside a mail-folder file.
class listaf : public listax {
public:
    // Appends at the tail of *ppHead and takes the next serial: ++nNextSerial.
    listaf(listax** ppHead, std::int32_t& nNextSerial);

    [[nodiscard]] listaf* Next() const { return static_cast<listaf*>(m_pNext); }
    [[nodiscard]] listaf* Prev() const { return static_cast<listaf*>(m_pPrev); }
    [[nodiscard]] std::uint64_t Size() const { return (std::uint64_t{m_nSizeHigh} << 32) | m_nSizeLow; }
    void SetSize(std::uint64_t size)
    {
        m_nSizeLow = static_cast<std::uint32_t>(size);
        m_nSizeHigh = static_cast<std::uint32_t>(size >> 32);
    }

    std::string m_strName;
    std::string m_strPath;
    std::string m_strExt;
    std::string m_strFrom;
    std::string m_strTo;
    std::string m_strSubject;
    std::string m_strDate;
    std::string m_strHeader;
    std::int32_t m_nSerial = 0;
    std::uint32_t m_nSizeLow = 0;
    std::uint32_t m_nSizeHigh = 0;
    std::int32_t m_bValid = 1;
    std::int32_t m_nKind = KIND_OTHER;
    // The gathered beginning of a folder message, followed by two zero bytes, while the reader
    // takes its header lines from it; empty otherwise and afterwards.
    std::vector<unsigned char> m_hText;
    std::uint32_t m_nRecordOffset = 0;  // 0 for a recovered message: no record names it
    std::uint32_t m_nDataOffset = 0;
    MessageRecovery m_recovery = MessageRecovery::None;
    // The four header cells hold decoded text in UTF-8 (DecodeEntryHeaders) rather than the
    // message's bytes, which the page shows one byte a character.
    bool m_bDecodedHeaders = false;
    // Only when the application keeps raw header lines (m_bKeepRawHeaders), and for a folder
    // message only when it has no header block (else its lines are found again in m_strHeader): a
    // listing of many messages should not pay for a second copy of every line it never shows.
    std::unique_ptr<RawHeaderLines> m_pRawLines;
};
