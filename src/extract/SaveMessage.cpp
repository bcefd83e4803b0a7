#include <optional>
#include <string_view>

#include "app/QuilloryApp.h"
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

// Asks for the destination; nothing when the user cancelled or there is no dialog to ask with.
std::optional<std::string> AskDestination(ISaveDialog* pDialog, const listaf& entry, const std::string& strSaveDir)
{
    if (!pDialog)
        return std::nullopt;
    SaveDialogRequest request;
    request.strInitialName = entry.m_strName;
    request.strInitialDir = strSaveDir;
    return pDialog->AskSavePath(request);
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
    const std::optional<std::string> destination = AskDestination(m_pSaveDialog, *pEntry, m_strSaveDir);
    if (!destination)
        return 0;
    m_strSaveDir = DirectoryPart(*destination);
    CFile source;
    if (!source.Open(m_strCurrentDir, CFile::modeRead | CFile::typeBinary)) {
        ShowMessage(Format("Error on opening file %s", m_strCurrentDir));
        return 0;
    }
    // A folder message remembers the directory before its destination is opened.
    WriteSetting("SaveDir", m_strSaveDir);
    Report(*this, SaveChainAs(source, pEntry->m_nDataOffset, *destination), m_strCurrentDir, *destination);
    return 0;
}

std::int32_t CQuilloryApp::SaveMessageFile(listaf* pEntry)
{
    if (!pEntry)
        return 0;
    const std::optional<std::string> destination = AskDestination(m_pSaveDialog, *pEntry, m_strSaveDir);
    if (!destination)
        return 0;
    m_strSaveDir = DirectoryPart(*destination);
    CFile source;
    if (!source.Open(pEntry->m_strPath, CFile::modeRead | CFile::typeBinary)) {
        ShowMessage(Format("Error on opening file %s", pEntry->m_strPath));
        return 0;
    }
    AtomicFileWriter writer;
    if (!OpenCopyDestination(writer, *destination, source.Identity())) {
        ShowMessage(Format("Error on opening file %s", *destination));
        return 0;
    }
    // A message file remembers the directory only once its destination could be opened.
    WriteSetting("SaveDir", m_strSaveDir);
    Report(*this, CopyFileTo(source, writer), pEntry->m_strPath, *destination);
    return 0;
}
