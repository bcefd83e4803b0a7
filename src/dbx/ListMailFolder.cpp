#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "dbx/DBXReader.h"

std::int32_t CQuilloryApp::ListMailFolder()
{
    m_nRecoveredCount = -1;
    DBXReader reader(*this, m_pCurrentEntry);
    if (m_bShowRecovered)
        reader.KeepIndexedBlocks();
    std::int32_t result = 0;
    if (reader.Open()) {
        if (reader.m_nCount != 0)
            result = reader.ReadMessages();
        if (result == 0 && reader.ShouldRecover(m_bShowRecovered))
            m_nRecoveredCount = reader.RecoverMessages();
        reader.Close();
    }
    if (result == 1) {
        DeleteAllEntries();
        return 0;
    }
    if (reader.Damaged()) {
        // Said once for the whole listing, however many places were damaged.
        ShowMessage(DamagedFolderText(reader.m_strFilePath));
    }
    return 0;
}
