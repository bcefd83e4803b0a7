#include "mime/MessageSource.h"

#include <algorithm>

#include "dbx/DbxBlockChain.h"
#include "dbx/DbxRecord.h"
#include "dbx/DbxSource.h"

namespace {

std::string CutNote(std::uint64_t nSize)
{
    return "The message has " + std::to_string(nSize) + " bytes; only the first " + std::to_string(kMaxMessageBytes) +
           " were read.";
}

} // namespace

bool LoadMessageFile(const std::string& strPath, LoadedMessage& message, std::string& strError)
{
    message = {};
    CFile file;
    if (!file.Open(strPath, CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary)) {
        strError = "Error on opening file " + strPath;
        return false;
    }
    const std::uint64_t length = file.GetLength();
    const std::uint64_t wanted = std::min(length, kMaxMessageBytes);
    message.strBytes.resize(static_cast<std::size_t>(wanted));
    std::size_t done = 0;
    while (done < wanted) {
        const std::size_t got = file.Read(message.strBytes.data() + done, static_cast<std::size_t>(wanted - done));
        if (got == 0)
            break;
        done += got;
    }
    message.strBytes.resize(done);
    if (done < wanted) {
        // The file shrank while it was read, or the read failed: what was read is still shown.
        message.strNote = "Only the first " + std::to_string(done) + " bytes of " + strPath + " could be read.";
    } else if (length > wanted) {
        message.strNote = CutNote(length);
    }
    return true;
}

bool LoadFolderMessage(const CFile& folder, const std::string& strFolderPath, const ListedMessage& listed,
                       LoadedMessage& message, std::string& strError)
{
    message = {};
    DbxSource source(folder);
    // A recovered message has no record to check; its chain is walked as the scan walked it (see
    // CopyChainTo), a partial one through blocks that lost their offset and only as far as listed.
    const bool bRecovered = listed.recovery != MessageRecovery::None;
    const bool bPartial = listed.recovery == MessageRecovery::Partial;
    std::uint32_t nNamed = 0;
    if (!bRecovered &&
        (ReadMessageRecord(source, listed.nRecord, nNamed) != DbxRecordKind::Message || nNamed != listed.nFirstBlock)) {
        strError = "The mail-folder file " + strFolderPath + " has changed since it was listed. Open it again to read this message.";
        return false;
    }
    // The listing measured the chain; a chain cannot hold more than the file does.
    message.strBytes.reserve(static_cast<std::size_t>(std::min({listed.nSize, source.Size(), kMaxMessageBytes})));
    DbxBlockSet passed(source.Size());
    DbxBlockChain chain(source, listed.nFirstBlock, passed,
                        bPartial ? DbxChainBlocks::AlsoLostOffset : DbxChainBlocks::Verified);
    if (bPartial)
        chain.StopAfter(listed.nSize);
    std::uint64_t total = 0;
    bool bShort = false;
    while (chain.Next()) {
        const std::uint64_t count = chain.Count();
        total += count;
        const std::uint64_t room = kMaxMessageBytes - std::min<std::uint64_t>(message.strBytes.size(), kMaxMessageBytes);
        const std::size_t take = static_cast<std::size_t>(std::min(count, room));
        if (take == 0)
            continue;
        const std::size_t at = message.strBytes.size();
        message.strBytes.resize(at + take);
        const std::size_t got = source.ReadSome(chain.DataOffset(), message.strBytes.data() + at, take);
        message.strBytes.resize(at + got);
        if (got < take) {
            bShort = true;
            break;
        }
    }
    // The record was checked before anything was read.
    const ListedState state = JudgeListedWalk(listed, {true, bShort, chain.Damaged(), total});
    if (state == ListedState::Changed) {
        strError = "The mail-folder file " + strFolderPath + " has changed since it was listed. Open it again to read this message.";
        message = {};
        return false;
    }
    if (bPartial)
        message.strNote = "The message was recovered from " + strFolderPath + " only in part: " +
                          std::to_string(message.strBytes.size()) + " bytes of it could be found.";
    else if (state == ListedState::Damaged)
        message.strNote = "The message is damaged in " + strFolderPath + ": only its first " +
                          std::to_string(message.strBytes.size()) + " bytes could be read.";
    else if (total > message.strBytes.size())
        message.strNote = CutNote(total);
    return true;
}
