// The frame's part in listing recovered messages: the Show menu's check item, which lists the mail
// folder shown again, and the status bar's word on what the scan found.

#include <QLabel>
#include <QStatusBar>

#include "app/FrameIds.h"
#include "app/MainFrame.h"
#include "app/QtSeams.h"
#include "app/StringTable.h"
#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "platform/Path.h"

void CMainFrame::OnShowRecovered()
{
    m_app.SetShowRecovered(!m_app.m_bShowRecovered);
    UpdateCommandStates();
    // Only a mail folder's listing changes. A rebuild already under way reads the setting itself,
    // and relisting in the middle of it would drop the click that started it.
    if (m_nListedKind == KIND_MAIL_FOLDER && m_app.m_bPageReady && !m_app.m_bRebuildPending)
        ListMailFolderFile();
}

void CMainFrame::ListMailFolderFile()
{
    listaf* pEntry = m_app.AppendEntry();
    pEntry->m_strPath = m_app.m_strCurrentDir;
    const PathParts parts = SplitPath(m_app.m_strCurrentDir);
    pEntry->m_strName = parts.fname + parts.ext;
    pEntry->m_nKind = KIND_MAIL_FOLDER;
    m_app.m_pCurrentEntry = pEntry;
    GoToFolder(false);
}

void CMainFrame::ShowListingStatus()
{
    m_strListingStatus = TextFromBytes(RecoveredStatusText(m_app.m_nRecoveredCount));
    if (m_strListingStatus.isEmpty())
        return;
    // The fill's own progress text, still waiting to be painted, must not cover it.
    m_bProgressFlushPending = false;
    if (!statusBar()->currentMessage().isEmpty())
        statusBar()->clearMessage();
    m_pMessagePane->setText(m_strListingStatus);
}

QString CMainFrame::IdleText() const
{
    return m_strListingStatus.isEmpty() ? LoadString(AFX_IDS_IDLEMESSAGE) : m_strListingStatus;
}
