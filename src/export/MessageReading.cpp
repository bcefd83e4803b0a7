#include "export/MessageReading.h"

#include <algorithm>

#include "dbx/DbxRecord.h"

namespace {

// Pieces of a streamed message: large enough for few calls, small enough to stop soon on cancel.
constexpr std::size_t kStreamPiece = 1u << 20;

bool Cancelled(const std::atomic<bool>* pCancel) { return pCancel && pCancel->load(std::memory_order_relaxed); }

// The sink's word on a message it was given whole.
CopyResult Ended(MessageSink& sink)
{
    switch (sink.End()) {
    case MessageWritten::Written:
        return CopyResult::Written;
    case MessageWritten::Kept:
        return CopyResult::Kept;
    case MessageWritten::Failed:
        break;
    }
    return CopyResult::Failed;
}

CopyResult Hand(MessageSink& sink, std::string_view message, const std::string& name)
{
    if (!sink.Begin(message, name)) {
        sink.Drop();
        return CopyResult::Failed;
    }
    return Ended(sink);
}

} // namespace

FolderMessageReader::FolderMessageReader(const CFile& folder) : m_source(folder), m_passed(m_source.Size()) {}

CopyResult FolderMessageReader::Copy(std::uint32_t nFirstBlock, const ListedMessage* listed, MessageSink& sink,
                                     const std::string& name, const std::atomic<bool>* pCancel)
{
    m_nLastSize = 0;
    // A recovered message has no record; a partial one is followed as the scan followed it,
    // through blocks that lost their own offset, and no further than it was listed.
    const bool bRecovered = listed && listed->recovery != MessageRecovery::None;
    const bool bPartial = listed && listed->recovery == MessageRecovery::Partial;
    DbxBlockChain chain(m_source, nFirstBlock, m_passed, bPartial ? DbxChainBlocks::AlsoLostOffset : DbxChainBlocks::Verified);
    if (bPartial)
        chain.StopAfter(listed->nSize);
    std::size_t used = 0;
    std::uint64_t total = 0;
    bool bShort = false;
    while (chain.Next()) {
        const std::uint32_t count = chain.Count();
        total += count;
        if (total > kWholeMessage || bShort)
            continue;  // too large to hold: only measured now, streamed below
        if (m_buffer.size() < used + count)
            m_buffer.resize(std::max<std::size_t>(used + count, std::min<std::size_t>(2 * m_buffer.size(), kWholeMessage)));
        if (m_source.ReadSome(chain.DataOffset(), m_buffer.data() + used, count) < count)
            bShort = true;  // the file shrank while it was read
        used += count;
    }
    m_nLastSize = total;
    if (listed) {
        // The record is read after the chain, which it follows in the file, so that both come
        // from one read.
        std::uint32_t nNamed = 0;
        const bool bRecordNamesIt =
            bRecovered ||
            (ReadMessageRecord(m_source, listed->nRecord, nNamed) == DbxRecordKind::Message && nNamed == nFirstBlock);
        switch (JudgeListedWalk(*listed, {bRecordNamesIt, bShort, chain.Damaged(), total})) {
        case ListedState::Changed:
            return CopyResult::Changed;
        case ListedState::Damaged:
            return CopyResult::Damaged;
        case ListedState::AsListed:
            break;
        }
    } else if (bShort || chain.Damaged()) {
        return CopyResult::Damaged;
    }
    if (total > kWholeMessage)
        return Stream(nFirstBlock, total, bPartial, sink, name, pCancel);
    return Hand(sink, std::string_view(m_buffer.data(), used), name);
}

CopyResult FolderMessageReader::Stream(std::uint32_t nFirstBlock, std::uint64_t nSize, bool bPartial, MessageSink& sink,
                                       const std::string& name, const std::atomic<bool>* pCancel)
{
    m_buffer.resize(std::max(m_buffer.size(), kStreamPiece));
    DbxBlockChain chain(m_source, nFirstBlock, m_passed, bPartial ? DbxChainBlocks::AlsoLostOffset : DbxChainBlocks::Verified);
    if (bPartial)
        chain.StopAfter(nSize);
    bool bBegun = false;
    std::uint64_t handed = 0;
    std::size_t used = 0;
    // Hands over what is buffered; the first piece begins the message.
    const auto handOver = [&]() {
        const std::string_view piece(m_buffer.data(), used);
        used = 0;
        handed += piece.size();
        if (!bBegun) {
            bBegun = true;
            return sink.Begin(piece, name);
        }
        return sink.Append(piece);
    };
    while (chain.Next()) {
        std::uint64_t pos = chain.DataOffset();
        std::uint32_t remaining = chain.Count();
        while (remaining > 0) {
            if (Cancelled(pCancel)) {
                sink.Drop();
                return CopyResult::Cancelled;
            }
            const std::size_t piece = std::min<std::size_t>(remaining, m_buffer.size() - used);
            if (m_source.ReadSome(pos, m_buffer.data() + used, piece) < piece) {
                sink.Drop();
                return CopyResult::Changed;
            }
            used += piece;
            pos += piece;
            remaining -= static_cast<std::uint32_t>(piece);
            if (used == m_buffer.size() && !handOver()) {
                sink.Drop();
                return CopyResult::Failed;
            }
        }
    }
    // The chain was as listed a moment ago: anything else now means the file changed meanwhile.
    if ((chain.Damaged() && !bPartial) || handed + used != nSize) {
        sink.Drop();
        return CopyResult::Changed;
    }
    if (used > 0 && !handOver()) {
        sink.Drop();
        return CopyResult::Failed;
    }
    return Ended(sink);
}

CopyResult CopyMessageFile(CFile& source, MessageSink& sink, const std::string& name, std::vector<char>& buffer,
                           const std::atomic<bool>* pCancel)
{
    const std::uint64_t length = source.GetLength();
    if (length <= kWholeMessage) {
        buffer.resize(std::max<std::size_t>(buffer.size(), static_cast<std::size_t>(length) + 1));
        std::size_t used = 0;
        // One byte more than the length is asked for: a file that grew is not copied cut short.
        for (std::size_t got; (got = source.Read(buffer.data() + used, buffer.size() - used)) != 0;) {
            used += got;
            if (used == buffer.size())
                break;
        }
        if (used != length)
            return CopyResult::Damaged;
        return Hand(sink, std::string_view(buffer.data(), used), name);
    }
    buffer.resize(std::max(buffer.size(), kStreamPiece));
    bool bBegun = false;
    std::uint64_t copied = 0;
    for (std::size_t got; (got = source.Read(buffer.data(), kStreamPiece)) != 0; copied += got) {
        if (Cancelled(pCancel)) {
            sink.Drop();
            return CopyResult::Cancelled;
        }
        const std::string_view piece(buffer.data(), got);
        if (!(bBegun ? sink.Append(piece) : sink.Begin(piece, name))) {
            sink.Drop();
            return CopyResult::Failed;
        }
        bBegun = true;
    }
    // A read error also ends the loop; only a copy as long as the file is a whole one.
    if (copied != length) {
        if (bBegun)
            sink.Drop();
        return CopyResult::Damaged;
    }
    return Ended(sink);
}
