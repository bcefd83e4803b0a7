#pragma once
// One export run on a thread of its own, so that the window goes on while folders are written.
// The run reports on its own thread; the job hands each report over to the window's thread, where
// its signals are emitted. Deleting the job cancels the run and waits for its end.

#include <QObject>
#include <atomic>
#include <functional>
#include <thread>

#include "export/ExportRun.h"

class CExportJob : public QObject {
    Q_OBJECT
public:
    explicit CExportJob(ExportRequest request, QObject* parent = nullptr);
    ~CExportJob() override;
    CExportJob(const CExportJob&) = delete;
    CExportJob& operator=(const CExportJob&) = delete;

    // Called on the run's thread with each progress before the window hears of it: a test acts
    // there at a given point of a run. Set it before Start.
    void SetProbe(std::function<void(const ExportProgress&)> probe) { m_probe = std::move(probe); }

    void Start();
    // Asks the run to stop at its next message (it does within a second); cancelRequested is
    // emitted the first time.
    void Cancel();
    // Cancels, and returns once the run has ended; finished is then not emitted. For a window that
    // is closing.
    void CancelAndWait();

    [[nodiscard]] bool Running() const { return m_bRunning; }
    [[nodiscard]] bool CancelRequested() const { return m_cancel.load(); }
    [[nodiscard]] const ExportRequest& Request() const { return m_request; }
    // The latest progress that reached the window's thread.
    [[nodiscard]] const ExportProgress& Progress() const { return m_progress; }
    // The outcome; complete once finished was emitted, or after CancelAndWait.
    [[nodiscard]] const ExportSummary& Summary() const { return m_summary; }

signals:
    void progressed();
    void cancelRequested();
    void finished();

private:
    void Run();
    void OnRunEnded();

    const ExportRequest m_request;
    std::function<void(const ExportProgress&)> m_probe;
    std::atomic<bool> m_cancel{false};
    bool m_bRunning = false;
    ExportProgress m_progress;
    ExportSummary m_summary;  // written by the run's thread, read once it has been joined
    std::thread m_thread;
};
