#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "platform/DirectoryReader.h"
#include "platform/Path.h"

namespace {

std::int32_t KindFromExtension(const std::string& ext)
{
    // Exact and case-sensitive: MAIL.EML is not a message file.
    if (ext == ".eml" || ext == ".msg")
        return KIND_MESSAGE_FILE;
    if (ext == ".dbx")
        return KIND_MAIL_FOLDER;
    return KIND_OTHER;
}

} // namespace

std::int32_t CQuilloryApp::ScanDirectory()
{
    if (m_pEntries)
        DeleteAllEntries();
    std::int32_t n = 0;
    WriteSetting("LastDir", m_strCurrentDir);

    DirectoryReader reader;
    if (reader.Open(m_strCurrentDir)) {
        DirectoryItem item;
        while (reader.Next(item)) {
            listaf* entry = AppendEntry();
            entry->m_strName = item.strName;
            entry->m_strPath = JoinPath(m_strCurrentDir, item.strName);
            entry->SetSize(item.nSize);
            if (item.bDirectory) {
                entry->m_nKind = KIND_DIRECTORY;
                continue;
            }
            entry->m_strExt = SplitPath(entry->m_strPath).ext;
            entry->m_nKind = KindFromExtension(entry->m_strExt);
            if (entry->m_nKind == KIND_MESSAGE_FILE) {
                ReadMessageHeaders(entry);
                m_nItemCount = ++n;
                ShowProgress("Reading...", n);
            }
        }
    }
    m_nItemCount = n;
    return 0;
}
