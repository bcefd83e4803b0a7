#include "reader/ReaderLoad.h"

#include "mime/MessageSource.h"
#include "mime/MimeDocument.h"
#include "model/TextSearch.h"
#include "platform/File.h"

namespace {

// Whether the HTML text names the Content-ID in a cid: link (letter case aside: links are written
// by hand as often as by the program that made the message).
bool NamesContentId(const std::string& html, const std::string& contentId)
{
    return FindNoCase(html, "cid:" + contentId, 0) >= 0;
}

} // namespace

bool IsInlineType(const std::string& strType)
{
    return strType.rfind("image/", 0) == 0 || strType == "text/css";
}

ReaderMessage ReadMessageForReader(const ReaderRequest& request)
{
    ReaderMessage result;
    LoadedMessage loaded;
    if (request.bInFolder) {
        CFile folder;
        if (!folder.Open(request.strPath, CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary)) {
            result.strError = "Error on opening file " + request.strPath;
            return result;
        }
        if (!LoadFolderMessage(folder, request.strPath, request.listed, loaded, result.strError))
            return result;
    } else if (!LoadMessageFile(request.strPath, loaded, result.strError)) {
        return result;
    }
    if (!loaded.strNote.empty())
        result.notes.push_back(loaded.strNote);

    std::shared_ptr<const MimeDocument> document = MimeDocument::Parse(loaded.strBytes);
    std::string().swap(loaded.strBytes);  // the document holds its own copy
    const MimeContent& content = document->Content();
    result.notes.insert(result.notes.end(), content.notes.begin(), content.notes.end());

    if (content.html && FindNoCase(*content.html, "cid:", 0) >= 0) {
        std::uint64_t total = 0;
        for (std::size_t i = 0; i < content.attachments.size(); ++i) {
            const MimeAttachment& part = content.attachments[i];
            if (part.strContentId.empty() || !IsInlineType(part.strType) || part.nSize > kMaxInlinePart ||
                total + part.nSize > kMaxInlineTotal || result.inlineParts.count(part.strContentId) ||
                !NamesContentId(*content.html, part.strContentId))
                continue;
            if (std::optional<std::string> bytes = document->AttachmentBytes(i, kMaxInlinePart)) {
                total += bytes->size();
                result.inlineParts.emplace(part.strContentId, InlinePart{part.strType, std::move(*bytes)});
            }
        }
    }
    result.document = std::move(document);
    return result;
}
