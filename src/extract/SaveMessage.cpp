#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>

#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "extract/MessageCopy.h"

namespace {

// The message's "%s" replaced by the path (which may itself hold a "%").
std::string Format(std::string_view format, const std::string& path)
{
    const auto at = format.find("%s");
    std::string text(format.substr(0, at));
    text += path;
    text += format.substr(at + 2);
    return text;
}

// The beginning both saves share: asks for the destination, remembers its directory and opens
// the source. Returns the destination, or nothing when the user cancelled (or there is no dialog
// to ask with) or has been told that the source could not be opened. options say how to put the
// file in place: the dialog asks before it returns a file that exists, so only a file that
// existed then may be replaced; one that appears later is another program's and is kept. A save
// of one message by hand is worth making durable.
std::optional<std::string> BeginSave(CQuilloryApp& app, const listaf& entry, const std::string& strSource,
                                     CFile& source, AtomicWriteOptions& options)
{
    if (!app.m_pSaveDialog)
        return std::nullopt;
    SaveDialogRequest request;
    request.strInitialName = entry.m_strName;
    request.strInitialDir = app.m_strSaveDir;
    std::optional<std::string> destination = app.m_pSaveDialog->AskSavePath(request);
    if (!destination)
        return std::nullopt;
    std::error_code ec;
    const auto type = std::filesystem::symlink_status(*destination, ec).type();
    const bool bConfirmed = !ec && type != std::filesystem::file_type::not_found;
    options.existing = bConfirmed ? ExistingFile::Replace : ExistingFile::Keep;
    options.bSyncDirectory = true;
    app.m_strSaveDir = CQuilloryApp::DirectoryPart(*destination);
    if (!source.Open(strSource, CFile::modeRead | CFile::typeBinary)) {
        app.ShowMessage(Format("Error on opening file %s", strSource));
        return std::nullopt;
    }
    return destination;
}

// Tells the user how a save ended; a save that worked says nothing.
void Report(CQuilloryApp& app, SaveResult result, const std::string& strSource, const std::string& strDestination)
{
    if (result != SaveResult::Saved)
        app.ShowMessage(SaveFailureText(result, strSource, strDestination));
}

} // namespace

std::int32_t CQuilloryApp::SaveFolderMessage(listaf* pEntry)
{
    if (!pEntry)
        return 0;
    CFile source;
    AtomicWriteOptions options;
    const std::optional<std::string> destination = BeginSave(*this, *pEntry, m_strCurrentDir, source, options);
    if (!destination)
        return 0;
    // A folder message remembers the directory before its destination is opened.
    WriteSetting("SaveDir", m_strSaveDir);
    Report(*this, SaveChainAs(source, ListedMessageOf(*pEntry), *destination, options), m_strCurrentDir, *destination);
    return 0;
}

std::int32_t CQuilloryApp::SaveMessageFile(listaf* pEntry)
{
    if (!pEntry)
        return 0;
    CFile source;
    AtomicWriteOptions options;
    const std::optional<std::string> destination = BeginSave(*this, *pEntry, pEntry->m_strPath, source, options);
    if (!destination)
        return 0;
    AtomicFileWriter writer;
    if (!OpenCopyDestination(writer, *destination, source.Identity(), options)) {
        ShowMessage(Format("Error on opening file %s", *destination));
        return 0;
    }
    // A message file remembers the directory only once its destination could be opened.
    WriteSetting("SaveDir", m_strSaveDir);
    Report(*this, CopyFileTo(source, writer), pEntry->m_strPath, *destination);
    return 0;
}
