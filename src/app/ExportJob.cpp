#include "app/ExportJob.h"

#include <exception>

CExportJob::CExportJob(ExportRequest request, QObject* parent)
    : QObject(parent), m_request(std::move(request))
{
}

CExportJob::~CExportJob()
{
    // What the run still posts goes with this object, unread; no one is told of the cancel.
    m_cancel = true;
    if (m_thread.joinable())
        m_thread.join();
}

void CExportJob::Start()
{
    if (m_bRunning || m_thread.joinable())
        return;
    m_bRunning = true;
    m_thread = std::thread([this] { Run(); });
}

void CExportJob::Run()
{
    ExportControl control;
    control.pCancel = &m_cancel;
    control.onProgress = [this](const ExportProgress& progress) {
        if (m_probe)
            m_probe(progress);
        QMetaObject::invokeMethod(
            this,
            [this, progress] {
                m_progress = progress;
                emit progressed();
            },
            Qt::QueuedConnection);
    };
    try {
        m_summary = ExportMail(m_request, control);
    } catch (const std::exception& error) {
        // Out of memory, most likely: what was written stays, and the user is told.
        m_summary.problems.push_back(std::string("The export stopped: ") + error.what() + ".");
    }
    QMetaObject::invokeMethod(this, [this] { OnRunEnded(); }, Qt::QueuedConnection);
}

void CExportJob::OnRunEnded()
{
    if (!m_bRunning)
        return;  // CancelAndWait has ended it already
    if (m_thread.joinable())
        m_thread.join();
    m_bRunning = false;
    emit finished();
}

void CExportJob::Cancel()
{
    if (!m_bRunning || m_cancel.exchange(true))
        return;
    emit cancelRequested();
}

void CExportJob::CancelAndWait()
{
    Cancel();
    if (m_thread.joinable())
        m_thread.join();
    m_bRunning = false;
}
