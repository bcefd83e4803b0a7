#pragma once
// Export: one mail-folder file, or every mail-folder file and message file of a directory (and,
// asked to, of the directories below it), written as mbox files, Maildirs or message files into a
// destination directory that mirrors the source tree.
//
// Nothing is lost or overwritten: the destination must be new or empty, unless the request allows
// an existing one, into which nothing is written over an existing file; nothing is written into
// the source tree; a file is there under its final name only once it is whole; a folder that
// cannot be read or written is reported and the run goes on with the next. Files are not flushed
// one by one: the run flushes everything it wrote once, at its end, before it reports.
//
// The run reports through data: progress through a callback, the outcome as a summary. It shows
// nothing itself, so the window and the command line each say it in their own way.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "export/MessageSinks.h"

struct ExportRequest {
    std::string strSource;         // a mail-folder file or a directory
    std::string strDestination;    // a new or empty directory
    ExportFormat format = ExportFormat::Mbox;
    bool bRecursive = false;       // a directory: the directories below it too
    bool bIntoExisting = false;    // the destination may hold files already; none is replaced
    // The messages a scan finds outside each folder's index too (a folder whose index is damaged or
    // names no message is scanned without it), after the indexed ones, named Rec00001.eml ...
    bool bRecover = false;
};

struct ExportProgress {
    std::uint64_t nMessages = 0;     // written so far
    std::uint64_t nBytes = 0;        // their bytes, as stored
    std::size_t nFoldersDone = 0;
    std::size_t nFolders = 0;        // mail folders, and directories of message files, to export
    std::uint64_t nSourceDone = 0;   // bytes of the source files read so far (roughly)
    std::uint64_t nSourceTotal = 0;  // bytes of all the source files
    double dSeconds = 0;             // since the run began
    std::string strCurrent;          // the folder being read

    // Seconds still to go, from the share of the source read so far; negative while unknown.
    [[nodiscard]] double SecondsLeft() const;
};

struct ExportControl {
    // Called at the start of each folder, now and then during one (at most ten times a second),
    // and once at the end; on the thread that runs the export.
    std::function<void(const ExportProgress&)> onProgress;
    // Raised from anywhere (another thread, a signal handler), it ends the run at the next
    // message, or the next megabyte of a large one: the file being written is removed, files
    // already whole stay, and they are flushed.
    const std::atomic<bool>* pCancel = nullptr;
};

// What became of one mail-folder file, or of the message files of one directory.
struct FolderReport {
    std::string strSource;         // the mail-folder file, or the directory of the message files
    std::string strDestination;    // the mbox, Maildir or directory written to
    std::uint64_t nMessages = 0;   // messages written
    std::uint64_t nBytes = 0;      // their bytes, as stored
    std::uint64_t nSkipped = 0;    // messages not written: damaged, unreadable, or a file kept
    bool bDamaged = false;         // the folder is damaged: not every message it holds could be read
    bool bFailed = false;          // it could not be read or written: nothing, or not all, of it is there
    // The cancel came while it was written: an mbox is not there; a Maildir or directory holds only
    // the messages written before, whole.
    bool bCancelled = false;
    std::vector<std::string> problems;  // what the user is told about it, a line each
};

struct ExportSummary {
    bool bStarted = false;         // the request was accepted and the destination made
    bool bCancelled = false;
    bool bFlushed = false;         // everything written is on the disk
    std::vector<FolderReport> folders;
    std::vector<std::string> problems;  // about the run as a whole, a line each
    double dSeconds = 0;

    [[nodiscard]] std::uint64_t Messages() const;
    [[nodiscard]] std::uint64_t Bytes() const;
    [[nodiscard]] std::uint64_t Skipped() const;
    [[nodiscard]] std::size_t DamagedFolders() const;
    [[nodiscard]] std::size_t FailedFolders() const;
    // True when everything was exported: nothing skipped, damaged, failed or cancelled, and flushed.
    [[nodiscard]] bool Complete() const;
};

// Runs the export. Every failure is in the summary; nothing is shown.
[[nodiscard]] ExportSummary ExportMail(const ExportRequest& request, const ExportControl& control = {});

// The summary as the user reads it at the end: a line of totals, then what was skipped, damaged
// or failed, folder by folder.
[[nodiscard]] std::vector<std::string> ExportSummaryLines(const ExportSummary& summary, const ExportRequest& request);

[[nodiscard]] const char* ExportFormatName(ExportFormat format);
