#include "dbx/DbxMessageList.h"

#include <algorithm>
#include <unordered_set>

#include "dbx/DbxLayout.h"
#include "dbx/DbxRecord.h"

namespace {

// A real message needs at least a 16-byte record (fixed part and one slot) and a 16-byte block
// header of its own, so no file holds more messages than this many bytes each.
constexpr std::uint64_t kSmallestMessage = DBX_RECORD_FIXED_SIZE + DBX_SLOT_SIZE + DBX_BLOCK_HEADER_SIZE;

// The two ways to the records an index lists: the run of consecutive nodes after the first one,
// and the walk of the whole tree from its root.
class IndexWalk {
public:
    explicit IndexWalk(DbxSource& source) : m_source(source), m_nEntryLimit(source.Size() / DBX_NODE_ENTRY_SIZE + 1) {}

    // Entry record offsets of the run of consecutive index nodes, and of the whole index tree.
    [[nodiscard]] std::vector<std::uint32_t> CollectRun();
    [[nodiscard]] std::vector<std::uint32_t> CollectTree();

    bool m_bDamaged = false;
    std::uint32_t m_nIndexMark = 0;

private:
    // Reads a node's header and as many of its entries as the file holds; false when the header
    // is not wholly in the file.
    bool ReadNode(std::uint64_t offset, DbxNodeHeader& header, std::vector<DbxNodeEntry>& entries);

    DbxSource& m_source;
    std::uint64_t m_nEntryLimit;  // entries the file could hold at most
};

bool IndexWalk::ReadNode(std::uint64_t offset, DbxNodeHeader& header, std::vector<DbxNodeEntry>& entries)
{
    unsigned char bytes[DBX_NODE_HEADER_SIZE];
    if (!m_source.ReadExact(offset, bytes, sizeof bytes))
        return false;
    header = ParseNodeHeader(bytes);
    entries.clear();
    for (std::uint32_t i = 0; i < header.nEntries; ++i) {
        unsigned char entry[DBX_NODE_ENTRY_SIZE];
        if (!m_source.ReadExact(offset + DBX_NODE_HEADER_SIZE + std::uint64_t{i} * DBX_NODE_ENTRY_SIZE, entry,
                                sizeof entry))
            break;  // the caller decides whether this was a node at all
        entries.push_back(ParseNodeEntry(entry));
    }
    return true;
}

std::vector<std::uint32_t> IndexWalk::CollectRun()
{
    std::vector<std::uint32_t> records;
    std::uint32_t nFirst = 0;
    DbxNodeHeader header;
    std::vector<DbxNodeEntry> entries;
    if (!m_source.ReadU32(DBX_FIRST_NODE_OFFSET, nFirst) || !ReadNode(nFirst, header, entries)) {
        m_bDamaged = true;
        return records;
    }
    m_nIndexMark = header.nLink;
    // A node that cannot be read whole fails the membership test like any other: it ends the run.
    for (std::uint64_t offset = nFirst; ReadNode(offset, header, entries); offset += DBX_NODE_SIZE) {
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

std::vector<std::uint32_t> IndexWalk::CollectTree()
{
    std::vector<std::uint32_t> records;
    std::uint32_t nRoot = 0;
    if (!m_source.ReadU32(DBX_ROOT_OFFSET, nRoot) || nRoot == 0)
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
    const std::uint64_t nNodeLimit = m_source.Size() / DBX_NODE_SIZE + 1;
    DbxNodeHeader header;
    std::vector<DbxNodeEntry> entries;
    std::uint32_t nPending = nRoot;
    for (;;) {
        if (nPending != 0) {
            const std::uint32_t nNode = nPending;
            nPending = 0;
            // A node names its own offset; one that does not is not a node of this tree.
            if (visited.size() >= nNodeLimit || !visited.insert(nNode).second ||
                !ReadNode(nNode, header, entries) || header.nOwnOffset != nNode) {
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
        if (!m_source.ReadExact(at, bytes, sizeof bytes)) {
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

} // namespace

bool ReadCountWord(DbxSource& source, std::uint32_t& nCount)
{
    nCount = 0;
    return source.ReadU32(DBX_COUNT_OFFSET, nCount);
}

DbxMessageList FindFolderMessages(DbxSource& source, std::uint32_t nCount)
{
    DbxMessageList list;
    // The run of consecutive nodes is the whole index only while the folder is small; a larger
    // folder's index is a tree spread over the file, and only the walk from its root finds every
    // message. The run's order is kept whenever it is complete.
    IndexWalk run(source);
    std::vector<std::uint32_t> records = run.CollectRun();
    list.nIndexMark = run.m_nIndexMark;
    list.bDamaged = run.m_bDamaged;
    if (records.size() < nCount) {
        IndexWalk tree(source);
        std::vector<std::uint32_t> treeRecords = tree.CollectTree();
        if (treeRecords.size() > records.size()) {
            records.swap(treeRecords);
            list.bDamaged = tree.m_bDamaged;
        }
    }

    const std::uint64_t nMostMessages = source.Size() / kSmallestMessage + 1;
    list.messages.reserve(std::min<std::uint64_t>(records.size(), nMostMessages));
    bool bAnyBody = false;
    bool bAnyWithoutBody = false;
    for (const std::uint32_t nRecord : records) {
        std::uint32_t nData = 0;
        switch (ReadMessageRecord(source, nRecord, nData)) {
        case DbxRecordKind::Message:
            bAnyBody = true;
            if (list.messages.size() >= nMostMessages) {
                list.bDamaged = true;  // more messages than the file has room for: entries repeat
                break;
            }
            list.messages.push_back({nRecord, nData});
            break;
        case DbxRecordKind::NotAMessage:
            break;
        case DbxRecordKind::Unreadable:
            list.bDamaged = true;
            break;
        case DbxRecordKind::NoDataBlock:
            bAnyWithoutBody = true;
            break;
        }
    }
    // A folder that keeps only header records holds no message. Among messages, a record without
    // a body is damage and must not hide the others.
    list.bHeadersOnly = bAnyWithoutBody && !bAnyBody;
    // Whatever was left out, for whatever reason, is a message the folder says it holds.
    if (list.messages.size() < nCount)
        list.bDamaged = true;
    return list;
}
