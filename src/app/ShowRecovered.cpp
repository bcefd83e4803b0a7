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
    MarkCurrentPlace(KIND_MAIL_FOLDER);
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
