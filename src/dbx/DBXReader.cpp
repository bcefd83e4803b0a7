#include "dbx/DBXReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "dbx/DbxBlockChain.h"
#include "dbx/DbxRecord.h"
#include "dbx/DbxSource.h"
#include "model/HeaderLines.h"
#include "model/TextSearch.h"

namespace {

constexpr std::size_t kPieceSize = 3000;     // largest piece read at once; largest text searched
constexpr std::size_t kGatherEnough = 2500;  // gathering ends with the piece that passes this
// A real message needs at least a 16-byte record (fixed part and one slot) and a 16-byte block
// header of its own, so no file holds more messages than this many bytes each.
constexpr std::uint64_t kSmallestMessage = DBX_RECORD_FIXED_SIZE + DBX_SLOT_SIZE + DBX_BLOCK_HEADER_SIZE;

// A found header line as the listing shows it: escaped, and for every field but the subject its
// quoted-printable codes replaced. Done on the line alone rather than on the whole searched text:
// the result is the same, since no label, code or line end contains a character that escaping or
// replacing writes or removes, and it spares rewriting 3000 bytes for every message.
std::string TakeLine(const std::optional<std::string_view>& found, bool bReplaceCodes)
{
    if (!found)
        return {};
    std::string line(*found);
    EscapeForHtml(line);
    if (bReplaceCodes) {
        DBXReader::ReplaceAll(line, "=2E", ".");
        DBXReader::ReplaceAll(line, "=20", " ");
    }
    return line;
}

} // namespace

std::string DamagedFolderText(const std::string& strPath)
{
    return "The mail-folder file " + strPath + " is damaged. Only the messages that could be read are listed.";
}

DBXReader::DBXReader(CQuilloryApp& app, const listaf* pCurrentEntry) : m_app(app)
{
    if (pCurrentEntry && !pCurrentEntry->m_strPath.empty())
        m_strFilePath = pCurrentEntry->m_strPath;
    m_app.DeleteAllEntries();
}

DBXReader::~DBXReader() = default;

bool DBXReader::Open()
{
    if (m_strFilePath.empty() || !m_file.Open(m_strFilePath, CFile::modeRead | CFile::typeBinary, &m_error)) {
        m_app.ShowMessage("Errore in apertura file");
        return false;
    }
    unsigned char count[4];
    if (m_file.ReadAt(DBX_COUNT_OFFSET, count, sizeof count) == sizeof count) {
        m_nCount = LoadU32(count);
    } else {
        // Too short to hold even the file header: nothing to list, but not an empty folder either.
        m_nCount = 0;
        m_bDamaged = true;
    }
    return true;
}

void DBXReader::Close() { m_file.Close(); }

std::int32_t DBXReader::ReadMessages()
{
    m_app.m_nItemCount = 0;
    DbxSource source(m_file);
    Prepare(source);

    // The run of consecutive nodes is the whole index only while the folder is small; a larger
    // folder's index is a tree spread over the file, and only the walk from its root finds every
    // message. The run's order is kept whenever it is complete.
    const bool bDamagedBefore = m_bDamaged;
    std::vector<std::uint32_t> records = CollectRun(source);
    if (records.size() < m_nCount) {
        const bool bRunDamaged = m_bDamaged;
        m_bDamaged = bDamagedBefore;
        std::vector<std::uint32_t> tree = CollectTree(source);
        if (tree.size() > records.size())
            records.swap(tree);
        else
            m_bDamaged = bRunDamaged;
    }

    struct Message {
        std::uint32_t nRecord;
        std::uint32_t nData;
    };
    std::vector<Message> messages;
    messages.reserve(std::min<std::uint64_t>(records.size(), source.Size() / kSmallestMessage + 1));
    bool bAnyBody = false;
    bool bAnyWithoutBody = false;
    for (const std::uint32_t nRecord : records) {
        std::uint32_t nData = 0;
        switch (ReadMessageRecord(source, nRecord, nData)) {
        case DbxRecordKind::Message:
            bAnyBody = true;
            if (messages.size() >= source.Size() / kSmallestMessage + 1) {
                m_bDamaged = true;  // more messages than the file has room for: entries repeat
                break;
            }
            messages.push_back({nRecord, nData});
            break;
        case DbxRecordKind::NotAMessage:
            break;
        case DbxRecordKind::Unreadable:
            m_bDamaged = true;
            break;
        case DbxRecordKind::NoDataBlock:
            bAnyWithoutBody = true;
            break;
        }
    }
    records.clear();
    records.shrink_to_fit();
    // A folder that keeps only header records holds no message to show. Among messages, a record
    // without a body is damage and must not hide the others.
    if (bAnyWithoutBody && !bAnyBody) {
        m_app.ShowMessage("No message in this place!");
        return 1;
    }
    // Whatever was left out, for whatever reason, is a message the folder says it holds.
    if (messages.size() < m_nCount)
        m_bDamaged = true;

    std::int32_t k = 0;
    for (const Message& message : messages) {
        listaf* entry = m_app.AppendEntry();
        entry->m_nKind = KIND_FOLDER_MESSAGE;
        entry->m_nRecordOffset = message.nRecord;
        entry->m_nDataOffset = message.nData;
        m_app.m_nItemCount = k + 1;
        m_app.ShowProgress("Reading", k);
        Gather(source, *entry);
        TakeHeaderLines(*entry, "Msg", k + 1);
        // Nothing reads the gathered text once its header lines are taken. Kept, it would cost
        // 2.5 to 5.5 KB a message: about 250 MB more at the peak of a 100,000-message listing.
        std::vector<unsigned char>().swap(entry->m_hText);
        ++k;
    }
    m_nListed = k;
    return 0;
}

void DBXReader::Prepare(DbxSource& source)
{
    if (m_passedBlocks)
        return;
    m_nEntryLimit = source.Size() / DBX_NODE_ENTRY_SIZE + 1;
    m_nGatherBudget = source.Size();
    m_nBlockBudget = source.Size() / DBX_BLOCK_HEADER_SIZE + 1;
    m_passedBlocks.emplace(source.Size());
    if (m_bKeepIndexed)
        m_indexedBlocks.emplace(source.Size());
}

bool DBXReader::ShouldRecover(bool bAsked) const
{
    return bAsked || m_bDamaged || (m_nListed == 0 && m_file.GetLength() > 0);
}

std::int32_t DBXReader::RecoverMessages()
{
    DbxSource source(m_file);
    Prepare(source);
    if (!m_indexedBlocks) {
        // Not kept while listing: walk the listed chains once more, within the same bounds.
        m_indexedBlocks.emplace(source.Size());
        std::uint64_t nBlocks = source.Size() / DBX_BLOCK_HEADER_SIZE + 1;
        for (const listaf* e = m_app.FirstEntry(); e && nBlocks > 0; e = e->Next()) {
            DbxBlockChain chain(source, e->m_nDataOffset, *m_passedBlocks);
            for (; nBlocks > 0 && chain.Next(); --nBlocks)
                (void)m_indexedBlocks->Insert(chain.BlockOffset());
        }
    }
    DbxScanOptions options;
    options.pIndexed = &*m_indexedBlocks;
    options.progress = [this](std::uint64_t nDone, std::uint64_t) {
        m_app.ShowProgress("Scanning", static_cast<std::int32_t>(nDone >> 20));  // megabytes
        return true;
    };
    const DbxScanResult scan = ScanForMessages(m_file, options);
    m_indexedBlocks.reset();
    if (scan.bShortRead)
        m_bDamaged = true;

    std::int32_t n = 0;
    for (const DbxRecoveredChain& found : scan.chains) {
        listaf* entry = m_app.AppendEntry();
        entry->m_nKind = KIND_FOLDER_MESSAGE;
        entry->m_nDataOffset = found.nFirstBlock;
        entry->m_recovery = found.bComplete ? MessageRecovery::Complete : MessageRecovery::Partial;
        m_app.m_nItemCount = m_nListed + n + 1;
        m_app.ShowProgress("Reading", m_nListed + n);
        Gather(source, *entry, &found);
        TakeHeaderLines(*entry, "Rec", n + 1);
        std::vector<unsigned char>().swap(entry->m_hText);
        ++n;
    }
    return n;
}

bool DBXReader::ReadNode(DbxSource& source, std::uint64_t offset, DbxNodeHeader& header,
                         std::vector<DbxNodeEntry>& entries)
{
    unsigned char bytes[DBX_NODE_HEADER_SIZE];
    if (!source.ReadExact(offset, bytes, sizeof bytes))
        return false;
    header = ParseNodeHeader(bytes);
    entries.clear();
    for (std::uint32_t i = 0; i < header.nEntries; ++i) {
        unsigned char entry[DBX_NODE_ENTRY_SIZE];
        if (!source.ReadExact(offset + DBX_NODE_HEADER_SIZE + std::uint64_t{i} * DBX_NODE_ENTRY_SIZE, entry,
                              sizeof entry))
            break;  // the caller decides whether this was a node at all
        entries.push_back(ParseNodeEntry(entry));
    }
    return true;
}

std::vector<std::uint32_t> DBXReader::CollectRun(DbxSource& source)
{
    std::vector<std::uint32_t> records;
    std::uint32_t nFirst = 0;
    DbxNodeHeader header;
    std::vector<DbxNodeEntry> entries;
    if (!source.ReadU32(DBX_FIRST_NODE_OFFSET, nFirst) || !ReadNode(source, nFirst, header, entries)) {
        m_bDamaged = true;
        return records;
    }
    m_nIndexMark = header.nLink;
    // A node that cannot be read whole fails the membership test like any other: it ends the run.
    for (std::uint64_t offset = nFirst; ReadNode(source, offset, header, entries); offset += DBX_NODE_SIZE) {
        const bool bMember = header.nOwnOffset != 0 &&
                             (header.nOwnOffset == m_nIndexMark || header.nLeftChild == m_nIndexMark ||
                              header.nLink == m_nIndexMark);
        if (!bMember)
            break;
        for (const DbxNodeEntry& entry : entries) {
            if (records.size() >= m_nEntryLimit) {
                m_bDamaged = true;
                return records;
            }
            records.push_back(entry.nRecord);
        }
        if (entries.size() < header.nEntries) {
            m_bDamaged = true;  // the node's entries run past the end of the file
            break;
        }
    }
    return records;
}

std::vector<std::uint32_t> DBXReader::CollectTree(DbxSource& source)
{
    std::vector<std::uint32_t> records;
    std::uint32_t nRoot = 0;
    if (!source.ReadU32(DBX_ROOT_OFFSET, nRoot) || nRoot == 0)
        return records;

    // Depth-first, in order: a node's left sub-tree, then each entry followed by its own sub-tree.
    // An explicit stack, since a hostile file can make the tree as deep as it has nodes; a node
    // met twice is not entered again, so the walk ends on any file.
    struct Frame {
        std::uint64_t nOffset;
        std::uint32_t nEntries;
        std::uint32_t nNext;
    };
    std::vector<Frame> stack;
    std::unordered_set<std::uint32_t> visited;
    const std::uint64_t nNodeLimit = source.Size() / DBX_NODE_SIZE + 1;
    DbxNodeHeader header;
    std::vector<DbxNodeEntry> entries;
    std::uint32_t nPending = nRoot;
    for (;;) {
        if (nPending != 0) {
            const std::uint32_t nNode = nPending;
            nPending = 0;
            // A node names its own offset; one that does not is not a node of this tree.
            if (visited.size() >= nNodeLimit || !visited.insert(nNode).second ||
                !ReadNode(source, nNode, header, entries) || header.nOwnOffset != nNode) {
                m_bDamaged = true;
                continue;
            }
            if (entries.size() < header.nEntries)
                m_bDamaged = true;
            stack.push_back({nNode, static_cast<std::uint32_t>(entries.size()), 0});
            nPending = header.nLeftChild;
            continue;
        }
        if (stack.empty())
            break;
        Frame& frame = stack.back();
        if (frame.nNext == frame.nEntries) {
            stack.pop_back();
            continue;
        }
        // Entries are read again when their turn comes, so the stack holds no entry lists.
        unsigned char bytes[DBX_NODE_ENTRY_SIZE];
        const std::uint64_t at = frame.nOffset + DBX_NODE_HEADER_SIZE + std::uint64_t{frame.nNext} * DBX_NODE_ENTRY_SIZE;
        ++frame.nNext;
        if (!source.ReadExact(at, bytes, sizeof bytes)) {
            m_bDamaged = true;
            continue;
        }
        const DbxNodeEntry entry = ParseNodeEntry(bytes);
        if (records.size() >= m_nEntryLimit) {
            m_bDamaged = true;
            break;
        }
        records.push_back(entry.nRecord);
        nPending = entry.nChild;
    }
    return records;
}

void DBXReader::Gather(DbxSource& source, listaf& entry, const DbxRecoveredChain* pRecovered)
{
    // Only the beginning of a message is read while listing: the pieces up to the first one that
    // takes the count past 2500 bytes. Of the rest of the chain only the block headers are read,
    // for the message's size and to see that the chain is whole. A recovered chain is walked as
    // the scan walked it, and its size is known: it is read no further than its beginning.
    std::vector<unsigned char>& text = m_gathered;
    text.clear();
    text.reserve(kGatherEnough + kPieceSize);
    const bool bPartial = pRecovered && !pRecovered->bComplete;
    DbxBlockChain chain(source, entry.m_nDataOffset, *m_passedBlocks,
                        bPartial ? DbxChainBlocks::AlsoLostOffset : DbxChainBlocks::Verified);
    if (pRecovered)
        chain.StopAfter(pRecovered->nSize);
    std::uint64_t total = 0;
    bool bGathering = true;
    while ((bGathering || !pRecovered) && chain.Next()) {
        if (m_indexedBlocks && !pRecovered)
            (void)m_indexedBlocks->Insert(chain.BlockOffset());
        // Real chains never share blocks, so a listing never passes more blocks or gathers more
        // bytes than the file holds; a file that makes it do so points many messages at one chain.
        if (m_nBlockBudget == 0) {
            m_bDamaged = true;
            break;
        }
        --m_nBlockBudget;
        total += chain.Count();
        std::uint64_t pos = chain.DataOffset();
        std::uint32_t remaining = chain.Count();
        while (bGathering && remaining > 0) {
            const std::size_t piece = std::min<std::size_t>(remaining, kPieceSize);
            if (piece > m_nGatherBudget) {
                m_bDamaged = true;
                bGathering = false;
                break;
            }
            const std::size_t old = text.size();
            text.resize(old + piece);
            const std::size_t got = source.ReadSome(pos, text.data() + old, piece);
            text.resize(old + got);
            m_nGatherBudget -= got;
            if (got < piece) {
                m_bDamaged = true;  // the file shrank while it was read
                bGathering = false;
                break;
            }
            remaining -= static_cast<std::uint32_t>(piece);
            pos += piece;
            if (text.size() > kGatherEnough)
                bGathering = false;
        }
    }
    if (pRecovered) {
        // The scan's own chain, in a file held open since: anything else means it changed.
        if (bGathering && total != pRecovered->nSize)
            m_bDamaged = true;
        total = pRecovered->nSize;
    } else if (chain.Damaged()) {
        m_bDamaged = true;
    }
    entry.SetSize(total);
    // Two zero bytes after the text, so that it always reads as a terminated string.
    entry.m_hText.reserve(text.size() + 2);
    entry.m_hText.assign(text.begin(), text.end());
    entry.m_hText.push_back(0);
    entry.m_hText.push_back(0);
}

void DBXReader::TakeHeaderLines(listaf& entry, const char* pszPrefix, std::int32_t nNumber)
{
    // The searched text is at most the first 3000 gathered bytes, and ends at the first zero byte
    // (the zeros after the gathered bytes end a shorter one).
    const std::size_t n = std::min(entry.m_hText.size(), kPieceSize);
    const char* bytes = reinterpret_cast<const char*>(entry.m_hText.data());
    const std::string_view raw(bytes, strnlen(bytes, n));
    const HeaderFields fields = FindHeaderFields(raw);

    // The subject keeps its quoted-printable codes; sender, recipient and date have them replaced.
    entry.m_strSubject = TakeLine(fields.subject, false);
    char name[32];
    std::snprintf(name, sizeof name, "%s%05ld", pszPrefix, static_cast<long>(nNumber));
    entry.m_strName = name;
    entry.m_strPath = m_strFilePath;
    entry.m_strFrom = TakeLine(fields.from, true);
    entry.m_strTo = TakeLine(fields.to, true);
    entry.m_strDate = TakeLine(fields.date, true);
    if (fields.block)
        entry.m_strHeader = std::string(*fields.block);
    if (m_app.m_bKeepRawHeaders)
        entry.m_pRawLines = MakeRawLines(fields);
}

std::uint32_t DBXReader::ChainLength(std::uint32_t nBlock)
{
    DbxSource source(m_file);
    DbxBlockChain chain(source, nBlock);
    std::uint32_t total = 0;
    while (chain.Next())
        total += chain.Count();
    if (chain.Damaged())
        m_bDamaged = true;
    return total;
}

std::int32_t DBXReader::CountUntil(std::string_view text, std::int32_t start, char c)
{
    if (start < 0 || static_cast<std::size_t>(start) > text.size())
        return 0;
    const auto pos = text.find(c, static_cast<std::size_t>(start));
    const std::size_t end = pos == std::string_view::npos ? text.size() : pos;
    return static_cast<std::int32_t>(end - static_cast<std::size_t>(start));
}

void DBXReader::ReplaceAll(std::string& text, std::string_view code, std::string_view replacement)
{
    if (code.empty())
        return;
    // Searching again from the start after each replacement finds the same leftmost occurrence as
    // searching from just before the replaced text: nothing earlier changed, and it held none.
    // A replacement that contains the code would make that search endless; such a replacement is
    // made once per original occurrence instead.
    const bool bEndless = replacement.find(code) != std::string_view::npos;
    std::size_t from = 0;
    for (std::size_t pos; (pos = text.find(code, from)) != std::string::npos;) {
        text.replace(pos, code.size(), replacement);
        from = bEndless ? pos + replacement.size() : pos - std::min(pos, code.size() - 1);
    }
}
