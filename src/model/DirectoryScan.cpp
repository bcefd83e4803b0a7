#include <cstring>

#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "platform/DirectoryReader.h"
#include "platform/Path.h"

std::int32_t KindFromExtension(const std::string& ext)
{
    // Exact and case-sensitive: MAIL.EML is not a message file.
    if (ext == ".eml" || ext == ".msg")
        return KIND_MESSAGE_FILE;
    if (ext == ".dbx")
        return KIND_MAIL_FOLDER;
    return KIND_OTHER;
}

std::int32_t CQuilloryApp::ScanDirectory()
{
    if (m_pEntries)
        DeleteAllEntries();
    m_nRecoveredCount = -1;
    std::int32_t n = 0;

    DirectoryReader reader;
    if (!reader.Open(m_strCurrentDir)) {
        // Remembered, a directory that cannot be listed would greet the next start with this again.
        m_nItemCount = 0;
        ShowMessage("The directory " + m_strCurrentDir + " cannot be read: " + std::strerror(reader.Error()) + ".");
        return 0;
    }
    WriteSetting("LastDir", m_strCurrentDir);
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
    m_nItemCount = n;
    if (reader.Error() != 0)
        ShowMessage("The directory " + m_strCurrentDir + " could not be read to its end: " +
                    std::strerror(reader.Error()) + ". Only the items read before the error are listed.");
    return 0;
}
