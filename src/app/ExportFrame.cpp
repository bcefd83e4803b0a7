// The frame's part in an export: the question, the run on its own thread with the progress dialog
// and its Cancel, the summary at the end, and the settings that remember where and how.

#include "app/ExportDialogs.h"
#include "app/ExportJob.h"
#include "app/MainFrame.h"
#include "app/QtSeams.h"
#include "core/QuilloryApp.h"

void CMainFrame::StartExport(const std::string& strSource)
{
    if (ExportRunning() || strSource.empty())
        return;
    if (!m_pExportAsker) {
        if (!m_pDialogAsker)
            m_pDialogAsker = std::make_unique<CExportAsker>(m_chooser);
        m_pExportAsker = m_pDialogAsker.get();
    }
    ExportQuestion question;
    question.strSource = strSource;
    question.strLastDir = m_app.m_strExportDir;
    question.strLastFormat = m_app.m_strExportFormat;
    question.bRecover = m_app.m_bShowRecovered;
    std::optional<ExportRequest> request = m_pExportAsker->AskExport(question, this);
    if (!request)
        return;

    // The next export starts beside this one, in the same format.
    m_app.m_strExportDir = CQuilloryApp::ParentPath(request->strDestination);
    m_app.m_strExportFormat = ExportFormatName(request->format);
    m_app.WriteSetting("ExportDir", m_app.m_strExportDir);
    m_app.WriteSetting("ExportFormat", m_app.m_strExportFormat);

    auto* job = new CExportJob(*request, this);
    job->SetProbe(m_exportProbe);
    m_pExportJob = job;
    auto* progress = new CExportProgressDialog(job->Request(), this);
    m_pExportProgress = progress;
    connect(job, &CExportJob::progressed, progress, [job, progress] { progress->ShowProgress(job->Progress()); });
    connect(progress, &CExportProgressDialog::cancelClicked, job, &CExportJob::Cancel);
    connect(job, &CExportJob::cancelRequested, progress, &CExportProgressDialog::ShowCancelling);
    connect(job, &CExportJob::finished, this, &CMainFrame::OnExportFinished);
    progress->show();
    UpdateCommandStates();
    job->Start();
}

void CMainFrame::OnExportFinished()
{
    CExportJob* job = m_pExportJob;
    if (!job)
        return;
    m_pExportJob = nullptr;
    if (m_pExportProgress) {
        // Not closed: closing asks the run to stop, and the run is over.
        m_pExportProgress->hide();
        m_pExportProgress->deleteLater();
        m_pExportProgress = nullptr;
    }
    const ExportSummary& summary = job->Summary();
    const QString title = summary.bCancelled ? QStringLiteral("Export cancelled")
                          : summary.Complete() ? QStringLiteral("Export done")
                                               : QStringLiteral("Export finished with problems");
    auto* dialog = new CExportSummaryDialog(title, ExportReportLines(summary, job->Request()), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_pExportSummary = dialog;
    dialog->show();
    job->deleteLater();
    UpdateCommandStates();
}
