#include "extract/MessageCopy.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>
#include <vector>

#include "dbx/DbxBlockChain.h"
#include "dbx/DbxRecord.h"
#include "dbx/DbxSource.h"

namespace {

constexpr std::size_t kPieceSize = 3000;
// Two spare zero bytes after the largest piece, as every staging buffer of the program keeps.
using StagingBuffer = std::array<unsigned char, kPieceSize + 2>;
// Pieces are gathered into writes of up to this many bytes: a message is written with one call,
// or a few for a large one, whatever the size of its blocks.
constexpr std::size_t kWriteSize = 64 * 1024;

SaveResult Finish(AtomicFileWriter& writer, SaveResult result)
{
    if (result != SaveResult::Saved) {
        writer.Abandon();
        return result;
    }
    if (writer.Commit())
        return SaveResult::Saved;
    return writer.DestinationTaken() ? SaveResult::DestinationTaken : SaveResult::WriteFailed;
}

} // namespace

std::string SaveFailureText(SaveResult result, const std::string& strSource, const std::string& strDestination)
{
    switch (result) {
    case SaveResult::Saved:
        break;
    case SaveResult::DestinationRefused:
        return "Error on opening file " + strDestination;
    case SaveResult::SourceIncomplete:
        return "Error on reading file " + strSource + ": the message is damaged and was not saved.";
    case SaveResult::WriteFailed:
        return "Error on writing file " + strDestination;
    case SaveResult::DestinationTaken:
        return "Error on writing file " + strDestination +
               ": another file of that name appeared while saving; it was kept and the message was not saved.";
    case SaveResult::SourceChanged:
        return "The mail-folder file " + strSource + " has changed since it was listed. Open it again to save this message.";
    }
    return {};
}

ListedMessage ListedMessageOf(const listaf& entry)
{
    return ListedMessage{entry.m_nRecordOffset, entry.m_nDataOffset, entry.Size(), entry.m_recovery};
}

bool MayWriteCopyTo(const std::string& strDestination, const FileIdentity& source)
{
    std::error_code ec;
    const auto status = std::filesystem::status(strDestination, ec);
    if (status.type() == std::filesystem::file_type::not_found)
        return true;
    if (ec || status.type() != std::filesystem::file_type::regular)
        return false;
    FileIdentity identity;
    if (!IdentityOf(strDestination, identity))
        return false;
    return !(identity == source) && !IsHeldExclusively(identity);
}

bool OpenCopyDestination(AtomicFileWriter& writer, const std::string& strDestination, const FileIdentity& source,
                         AtomicWriteOptions options)
{
    return MayWriteCopyTo(strDestination, source) && writer.Open(strDestination, options);
}

SaveResult SaveChainAs(const CFile& folder, const ListedMessage& message, const std::string& strDestination,
                       AtomicWriteOptions options)
{
    AtomicFileWriter writer;
    if (!OpenCopyDestination(writer, strDestination, folder.Identity(), options))
        return SaveResult::DestinationRefused;
    return CopyChainTo(folder, message.nFirstBlock, writer, &message);
}

SaveResult SaveChainAs(const CFile& folder, std::uint32_t nFirstBlock, const std::string& strDestination,
                       AtomicWriteOptions options)
{
    AtomicFileWriter writer;
    if (!OpenCopyDestination(writer, strDestination, folder.Identity(), options))
        return SaveResult::DestinationRefused;
    return CopyChainTo(folder, nFirstBlock, writer);
}

ListedState JudgeListedWalk(const ListedMessage& listed, const ListedWalk& walk)
{
    if (!walk.bRecordNamesIt)
        return ListedState::Changed;
    if (walk.bShort)
        return ListedState::Damaged;
    if (walk.nBytes != listed.nSize)
        return ListedState::Changed;
    // A partial message was listed as what could be recovered, damage included.
    if (walk.bDamaged && listed.recovery != MessageRecovery::Partial)
        return listed.recovery == MessageRecovery::None ? ListedState::Damaged : ListedState::Changed;
    return ListedState::AsListed;
}

SaveResult CopyChainTo(const CFile& folder, std::uint32_t nFirstBlock, AtomicFileWriter& writer,
                       const ListedMessage* listed)
{
    StagingBuffer buffer{};
    DbxSource source(folder);
    // Offsets taken when the folder was listed name another message's bytes, or none, once the
    // file has been rewritten: nothing is written unless the record still names the same chain.
    const bool bRecovered = listed && listed->recovery != MessageRecovery::None;
    const bool bPartial = listed && listed->recovery == MessageRecovery::Partial;
    if (listed && !bRecovered) {
        std::uint32_t nNamed = 0;
        if (ReadMessageRecord(source, listed->nRecord, nNamed) != DbxRecordKind::Message || nNamed != nFirstBlock)
            return Finish(writer, SaveResult::SourceChanged);
    }
    DbxBlockSet passed(source.Size());
    DbxBlockChain chain(source, nFirstBlock, passed, bPartial ? DbxChainBlocks::AlsoLostOffset : DbxChainBlocks::Verified);
    if (bPartial)
        chain.StopAfter(listed->nSize);
    std::uint64_t copied = 0;
    std::vector<unsigned char> pending;
    pending.reserve(kWriteSize);
    while (chain.Next()) {
        // More than the listing found is another message's bytes, or a chain that changed since.
        if (listed && copied + chain.Count() > listed->nSize)
            return Finish(writer, SaveResult::SourceChanged);
        std::uint64_t pos = chain.DataOffset();
        std::uint32_t remaining = chain.Count();
        while (remaining > 0) {
            const std::size_t piece = std::min<std::size_t>(remaining, kPieceSize);
            const std::size_t got = source.ReadSome(pos, buffer.data(), piece);
            if (got < piece)
                return Finish(writer, SaveResult::SourceIncomplete);
            if (pending.size() + got > kWriteSize) {
                if (!writer.Write(pending.data(), pending.size()))
                    return Finish(writer, SaveResult::WriteFailed);
                pending.clear();
            }
            pending.insert(pending.end(), buffer.data(), buffer.data() + got);
            remaining -= static_cast<std::uint32_t>(got);
            pos += got;
            copied += got;
        }
    }
    if (!pending.empty() && !writer.Write(pending.data(), pending.size()))
        return Finish(writer, SaveResult::WriteFailed);
    if (!listed)
        return Finish(writer, chain.Damaged() ? SaveResult::SourceIncomplete : SaveResult::Saved);
    // The record was checked before anything was written.
    switch (JudgeListedWalk(*listed, {true, false, chain.Damaged(), copied})) {
    case ListedState::Changed:
        return Finish(writer, SaveResult::SourceChanged);
    case ListedState::Damaged:
        return Finish(writer, SaveResult::SourceIncomplete);
    case ListedState::AsListed:
        break;
    }
    return Finish(writer, SaveResult::Saved);
}

SaveResult CopyFileTo(CFile& source, AtomicFileWriter& writer)
{
    StagingBuffer buffer{};
    const std::uint64_t length = source.GetLength();
    std::uint64_t copied = 0;
    for (std::size_t got; (got = source.Read(buffer.data(), kPieceSize)) != 0; copied += got)
        if (!writer.Write(buffer.data(), got))
            return Finish(writer, SaveResult::WriteFailed);
    // A read error also ends the loop; only a copy as long as the file is a whole one.
    return Finish(writer, copied == length ? SaveResult::Saved : SaveResult::SourceIncomplete);
}
