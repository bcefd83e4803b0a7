#include "mime/AttachmentSave.h"

#include <filesystem>
#include <system_error>

#include "mime/AttachmentNames.h"
#include "mime/MimeDocument.h"
#include "platform/Path.h"

namespace {

// Numbers tried before giving up on a name: far more than any directory holds copies of one file.
constexpr unsigned kMaxNumber = 10000;

enum class Written { Done, Taken, Failed, Cancelled };

// Writes the attachment through writer, opened on strPath. bDamaged tells whether the part's
// encoding decoded cleanly; a damaged part is still saved (it may be all there is of it).
Written WriteTo(const MimeDocument& document, std::size_t nIndex, const std::string& strPath, ExistingFile existing,
                const SaveBytesProgress& written, bool& bDamaged)
{
    AtomicFileWriter writer;
    if (!writer.Open(strPath, AtomicWriteOptions{existing}))
        return Written::Failed;
    bool bWriteFailed = false;
    bool bCancelled = false;
    std::uint64_t nWritten = 0;
    bDamaged = !document.WriteAttachment(nIndex, [&](const char* data, std::size_t size) {
        if (!writer.Write(data, size)) {
            bWriteFailed = true;
            return false;
        }
        nWritten += size;
        if (written && !written(nWritten)) {
            bCancelled = true;
            return false;
        }
        return true;
    });
    if (bWriteFailed || bCancelled) {
        writer.Abandon();
        return bCancelled ? Written::Cancelled : Written::Failed;
    }
    if (writer.Commit())
        return Written::Done;
    return writer.DestinationTaken() ? Written::Taken : Written::Failed;
}

std::string DamagedText(const std::string& strPath)
{
    return "The attachment saved as " + strPath + " is damaged in the message: the file may be incomplete.";
}

} // namespace

SavedAttachment SaveAttachmentAs(const MimeDocument& document, std::size_t nIndex, const std::string& strPath,
                                 ExistingFile existing, const SaveBytesProgress& written)
{
    SavedAttachment result;
    result.nIndex = nIndex;
    if (nIndex >= document.Content().attachments.size()) {
        result.strProblem = "The message has no such attachment.";
        return result;
    }
    bool bDamaged = false;
    switch (WriteTo(document, nIndex, strPath, existing, written, bDamaged)) {
    case Written::Done:
        result.strPath = strPath;
        if (bDamaged)
            result.strProblem = DamagedText(strPath);
        break;
    case Written::Taken:
        result.strProblem = "Error on writing file " + strPath + ": a file of that name appeared while saving; it was kept.";
        break;
    case Written::Failed:
        result.strProblem = "Error on writing file " + strPath;
        break;
    case Written::Cancelled:
        result.bCancelled = true;
        break;
    }
    return result;
}

SavedAttachment SaveAttachmentInto(const MimeDocument& document, std::size_t nIndex, const std::string& strDirectory,
                                   const SaveBytesProgress& written)
{
    SavedAttachment result;
    result.nIndex = nIndex;
    const auto& attachments = document.Content().attachments;
    if (nIndex >= attachments.size()) {
        result.strProblem = "The message has no such attachment.";
        return result;
    }
    const std::string name = SanitizeAttachmentName(attachments[nIndex].strName, attachments[nIndex].strType);
    for (unsigned n = 1; n <= kMaxNumber; ++n) {
        const std::string path = JoinPath(strDirectory, NumberedName(name, n));
        // A name that is taken now is passed over; one taken while writing makes the commit fail
        // without touching it, and the next number is tried.
        std::error_code ec;
        if (std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found)
            continue;
        bool bDamaged = false;
        const Written outcome = WriteTo(document, nIndex, path, ExistingFile::Keep, written, bDamaged);
        if (outcome == Written::Taken)
            continue;
        if (outcome == Written::Cancelled) {
            result.bCancelled = true;
            return result;
        }
        if (outcome == Written::Failed) {
            result.strProblem = "Error on writing file " + path;
            return result;
        }
        result.strPath = path;
        if (bDamaged)
            result.strProblem = DamagedText(path);
        return result;
    }
    result.strProblem = "Error on writing file " + JoinPath(strDirectory, name) + ": every numbered name is taken.";
    return result;
}

std::vector<SavedAttachment> SaveAllAttachments(const MimeDocument& document, const std::string& strDirectory,
                                                const std::function<bool(std::size_t, std::size_t)>& progress,
                                                const SaveBytesProgress& written)
{
    std::vector<SavedAttachment> results;
    const std::size_t total = document.Content().attachments.size();
    for (std::size_t i = 0; i < total; ++i) {
        if (progress && !progress(i, total))
            break;
        results.push_back(SaveAttachmentInto(document, i, strDirectory, written));
        if (results.back().bCancelled)
            break;
    }
    return results;
}
