#include "export/ExportRun.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "dbx/DbxMessageList.h"
#include "dbx/DbxScanner.h"
#include "export/MessageReading.h"
#include "model/listax.h"
#include "platform/Path.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// One thing to export: a mail-folder file, or the message files of one directory.
struct Job {
    bool bFolder = true;
    std::string strSource;           // the mail-folder file, or the directory of the message files
    std::vector<std::string> files;  // the message files' names in that directory
    std::string strOutDir;           // where the output goes, relative to the destination ("" itself)
    std::string strOutName;          // its name there (without ".mbox"); "" for message files put there as they are
    std::uint64_t nBytes = 0;        // the source's bytes, for the estimate
};

// By the listing's rule, so that an export takes what the listing shows.
bool IsMessageFileName(const std::string& name) { return KindFromExtension(SplitPath(name).ext) == KIND_MESSAGE_FILE; }

bool IsFolderFileName(const std::string& name) { return KindFromExtension(SplitPath(name).ext) == KIND_MAIL_FOLDER; }

// The name base + ext, or "base (2)" + ext and so on when the run already uses it in that place.
std::string Unique(std::set<std::string>& used, const std::string& base, const std::string& ext)
{
    std::string name = base + ext;
    for (int n = 2; !used.insert(name).second; ++n)
        name = base + " (" + std::to_string(n) + ")" + ext;
    return name;
}

struct Identity {
    dev_t device;
    ino_t inode;
    friend bool operator<(const Identity& a, const Identity& b)
    {
        return a.device != b.device ? a.device < b.device : a.inode < b.inode;
    }
};

bool IdentityAt(const std::string& path, Identity& identity)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return false;
    identity = {st.st_dev, st.st_ino};
    return true;
}

// The file's name without its extension, or the directory's last name.
std::string BaseName(const std::string& path)
{
    const fs::path normal = fs::path(path).lexically_normal();
    std::string name = normal.filename().string();
    if (name.empty() || name == ".") {
        std::error_code ec;
        name = fs::absolute(normal, ec).lexically_normal().parent_path().filename().string();
    }
    return name;
}

std::string Stem(const std::string& fileName)
{
    const PathParts parts = SplitPath(fileName);
    return parts.fname.empty() ? fileName : parts.fname;
}

class Exporter {
public:
    Exporter(const ExportRequest& request, const ExportControl& control)
        : m_request(request), m_control(control), m_start(Clock::now())
    {
    }

    ExportSummary Run();

private:
    bool Check();
    void PlanDirectory(const std::string& dir, const std::string& rel, const std::string& baseName);
    void RunJob(const Job& job);
    void CopyFolder(const Job& job, const CFile& folder, MessageSink& sink, FolderReport& report);
    // Counts how a message's copy ended into report and the progress. False when the folder
    // cannot go on (its sink failed, or the run was cancelled).
    bool Count(CopyResult result, std::uint64_t nSize, MessageSink& sink, FolderReport& report, const std::string& strWhat);
    void CopyFiles(const Job& job, MessageSink& sink, FolderReport& report);
    bool OpenOutDir(const std::string& rel, AtomicDirectory& dir, FolderReport& report);
    bool CancelRequested() const { return m_control.pCancel && m_control.pCancel->load(std::memory_order_relaxed); }
    void Progress(bool bNow);
    std::string Problem(const std::string& text);

    const ExportRequest& m_request;
    const ExportControl& m_control;
    ExportSummary m_summary;
    ExportProgress m_progress;
    Clock::time_point m_start;
    Clock::time_point m_lastProgress;
    std::vector<Job> m_jobs;
    std::map<std::string, std::set<std::string>> m_usedNames;  // per output directory
    std::set<Identity> m_sourceDirs;  // never written into
    AtomicDirectory m_root;
    DurableBatch m_batch;
    std::vector<char> m_fileBuffer;
    std::uint64_t m_nSourceBefore = 0;  // source bytes of the jobs done
};

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

void Exporter::Progress(bool bNow)
{
    if (!m_control.onProgress)
        return;
    const Clock::time_point now = Clock::now();
    if (!bNow && now - m_lastProgress < std::chrono::milliseconds(100))
        return;
    m_lastProgress = now;
    m_progress.dSeconds = Seconds(m_start);
    m_control.onProgress(m_progress);
}

bool Exporter::Check()
{
    const std::string& source = m_request.strSource;
    const std::string& dest = m_request.strDestination;
    struct stat st {};
    if (source.empty() || ::stat(source.c_str(), &st) != 0) {
        m_summary.problems.push_back("Error on opening file " + source + (source.empty() ? "" : std::string(": ") + std::strerror(errno)));
        return false;
    }
    const bool bDirectory = S_ISDIR(st.st_mode);
    if (!bDirectory && !S_ISREG(st.st_mode)) {
        m_summary.problems.push_back("The file " + source + " is neither a mail-folder file nor a directory.");
        return false;
    }
    if (dest.empty()) {
        m_summary.problems.push_back("No destination directory was given.");
        return false;
    }
    // The source tree's directories, and the directory of a single file, are never written into.
    Identity sourceDir {};
    const std::string sourceDirPath = bDirectory ? source : (SplitPath(source).dir.empty() ? "." : SplitPath(source).dir);
    if (IdentityAt(sourceDirPath, sourceDir))
        m_sourceDirs.insert(sourceDir);

    std::error_code ec;
    // The destination, or the directory nearest to it that exists, must not lie in the source
    // tree (for a single file: must not be the file's own directory).
    fs::path probe = fs::absolute(dest, ec).lexically_normal();
    const bool bDestExists = fs::exists(probe, ec);
    while (!probe.empty() && !fs::exists(probe, ec) && probe.has_parent_path() && probe.parent_path() != probe)
        probe = probe.parent_path();
    for (fs::path up = probe; bDirectory || bDestExists; up = up.parent_path()) {
        Identity identity {};
        if (IdentityAt(up.string(), identity) && m_sourceDirs.count(identity)) {
            m_summary.problems.push_back("The destination " + dest + " lies " +
                                         (bDirectory ? "inside the directory being exported, " + source
                                                     : "beside the file being exported, " + source) +
                                         ". Choose a directory outside it.");
            return false;
        }
        if (!bDirectory || !up.has_parent_path() || up.parent_path() == up)
            break;
    }

    const fs::file_status destStatus = fs::status(dest, ec);
    if (fs::exists(destStatus)) {
        if (!fs::is_directory(destStatus)) {
            m_summary.problems.push_back("The destination " + dest + " is not a directory.");
            return false;
        }
        if (!m_request.bIntoExisting && !fs::is_empty(dest, ec)) {
            m_summary.problems.push_back("The directory " + dest +
                                         " is not empty. Export into a new or empty directory, or allow adding to this "
                                         "one (no file in it is replaced).");
            return false;
        }
    }
    if (bDirectory) {
        PlanDirectory(source, "", BaseName(source));
    } else {
        Job job;
        const PathParts parts = SplitPath(source);
        const std::string fileName = parts.fname + parts.ext;
        job.bFolder = !IsMessageFileName(fileName);
        job.nBytes = static_cast<std::uint64_t>(st.st_size);
        if (job.bFolder) {
            job.strSource = source;
        } else {
            job.strSource = sourceDirPath;
            job.files.push_back(fileName);
        }
        if (job.bFolder || m_request.format != ExportFormat::Eml)
            job.strOutName = Stem(fileName);
        m_jobs.push_back(std::move(job));
    }
    if (m_jobs.empty() && m_summary.problems.empty()) {
        m_summary.problems.push_back("No mail-folder file and no message file was found in " + source + ".");
        return false;
    }
    if (m_jobs.empty())
        return false;
    fs::create_directories(dest, ec);
    if (!m_root.Open(dest)) {
        m_summary.problems.push_back("Error on opening directory " + dest + ": " + std::strerror(errno));
        return false;
    }
    return true;
}

void Exporter::PlanDirectory(const std::string& dir, const std::string& rel, const std::string& baseName)
{
    Identity identity {};
    if (IdentityAt(dir, identity) && !m_sourceDirs.insert(identity).second && !rel.empty())
        return;  // reached again through another path: already planned
    std::vector<std::string> folders;
    std::vector<std::string> files;
    std::vector<std::string> subdirs;
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const fs::file_status linkStatus = it->symlink_status(ec);
        if (ec)
            break;
        // Links to directories are not followed: a tree that links into itself would not end.
        if (fs::is_directory(linkStatus)) {
            subdirs.push_back(name);
            continue;
        }
        if (!fs::is_regular_file(it->status(ec)) || ec) {
            ec.clear();
            continue;
        }
        if (IsFolderFileName(name))
            folders.push_back(name);
        else if (IsMessageFileName(name))
            files.push_back(name);
    }
    if (ec) {
        m_summary.problems.push_back("The directory " + dir + " cannot be read: " + ec.message() + ".");
        if (folders.empty() && files.empty() && subdirs.empty())
            return;
    }
    std::sort(folders.begin(), folders.end());
    std::sort(files.begin(), files.end());
    std::sort(subdirs.begin(), subdirs.end());

    std::set<std::string>& used = m_usedNames[rel];
    if (m_request.bRecursive)
        used.insert(subdirs.begin(), subdirs.end());
    for (const std::string& name : folders) {
        Job job;
        job.strSource = JoinPath(dir, name);
        job.strOutDir = rel;
        job.strOutName = Unique(used, Stem(name), m_request.format == ExportFormat::Mbox ? ".mbox" : "");
        if (m_request.format == ExportFormat::Mbox)
            job.strOutName.resize(job.strOutName.size() - 5);
        struct stat st {};
        if (::stat(job.strSource.c_str(), &st) == 0)
            job.nBytes = static_cast<std::uint64_t>(st.st_size);
        m_jobs.push_back(std::move(job));
    }
    if (!files.empty()) {
        Job job;
        job.bFolder = false;
        job.strSource = dir;
        job.strOutDir = rel;
        for (const std::string& name : files) {
            struct stat st {};
            if (::stat(JoinPath(dir, name).c_str(), &st) == 0)
                job.nBytes += static_cast<std::uint64_t>(st.st_size);
        }
        // Message files go into the mbox or Maildir of their directory, named after it, or stay
        // files of their own in the mirrored directory.
        if (m_request.format == ExportFormat::Eml) {
            used.insert(files.begin(), files.end());
        } else {
            const std::string base = baseName.empty() ? "Messages" : baseName;
            job.strOutName = Unique(used, base, m_request.format == ExportFormat::Mbox ? ".mbox" : "");
            if (m_request.format == ExportFormat::Mbox)
                job.strOutName.resize(job.strOutName.size() - 5);
        }
        job.files = std::move(files);
        m_jobs.push_back(std::move(job));
    }
    if (!m_request.bRecursive)
        return;
    for (const std::string& name : subdirs)
        PlanDirectory(JoinPath(dir, name), rel.empty() ? name : rel + "/" + name, name);
}

// The Maildir or directory name made in dir, if it holds nothing; rmdir leaves anything with
// files in it alone.
void RemoveEmptyOutput(const AtomicDirectory& dir, const std::string& name)
{
    for (const char* sub : {"/cur", "/new", "/tmp"})
        ::unlinkat(dir.Fd(), (name + sub).c_str(), AT_REMOVEDIR);
    ::unlinkat(dir.Fd(), name.c_str(), AT_REMOVEDIR);
}

bool Exporter::OpenOutDir(const std::string& rel, AtomicDirectory& dir, FolderReport& report)
{
    const std::string path = rel.empty() ? m_root.Path() : JoinPath(m_root.Path(), rel);
    std::error_code ec;
    if (!rel.empty())
        fs::create_directories(path, ec);
    if (!dir.Open(path)) {
        report.problems.push_back("Error on opening directory " + path + ": " + std::strerror(errno));
        return false;
    }
    // A link in an existing destination could lead back into the source tree.
    struct stat st {};
    if (::fstat(dir.Fd(), &st) == 0 && m_sourceDirs.count(Identity{st.st_dev, st.st_ino})) {
        report.problems.push_back("The directory " + path + " is part of the source tree; nothing was written into it.");
        return false;
    }
    return true;
}

void Exporter::RunJob(const Job& job)
{
    FolderReport report;
    report.strSource = job.strSource;
    m_progress.strCurrent = job.strSource;
    Progress(true);
    AtomicDirectory outDir;
    if (!OpenOutDir(job.strOutDir, outDir, report)) {
        report.bFailed = true;
        m_summary.folders.push_back(std::move(report));
        return;
    }
    CFile folder;
    if (job.bFolder && !folder.Open(job.strSource, CFile::modeRead | CFile::typeBinary)) {
        report.bFailed = true;
        report.problems.push_back("Error on opening file " + job.strSource);
        m_summary.folders.push_back(std::move(report));
        return;
    }
    SinkOptions options;
    if (folder.IsOpen())
        options.source = folder.Identity();
    // A directory this run makes for the folder and then fills with nothing is taken away again.
    struct stat before {};
    const bool bOutNew = !job.strOutName.empty() &&
                         ::fstatat(outDir.Fd(), job.strOutName.c_str(), &before, AT_SYMLINK_NOFOLLOW) != 0 &&
                         errno == ENOENT;
    std::string error;
    bool bKept = false;
    std::unique_ptr<MessageSink> sink =
        OpenSink(m_request.format, outDir, job.strOutName, m_batch, options, error, bKept);
    if (!sink) {
        report.bFailed = true;
        report.problems.push_back(error);
        m_summary.folders.push_back(std::move(report));
        return;
    }
    report.strDestination = sink->Destination();
    if (job.bFolder)
        CopyFolder(job, folder, *sink, report);
    else
        CopyFiles(job, *sink, report);
    if (m_summary.bCancelled || report.bFailed) {
        sink->Abandon();
        report.bCancelled = m_summary.bCancelled && !report.bFailed;
        if (report.bCancelled && bOutNew && report.nMessages == 0 && m_request.format != ExportFormat::Mbox)
            RemoveEmptyOutput(outDir, job.strOutName);
    } else if (!sink->Finish()) {
        report.bFailed = true;
        report.problems.push_back(sink->Error());
    }
    // An mbox that is not in place holds none of the messages counted into it.
    if ((report.bFailed || report.bCancelled) && m_request.format == ExportFormat::Mbox) {
        report.nSkipped += report.nMessages;
        report.nMessages = 0;
        report.nBytes = 0;
    }
    m_summary.folders.push_back(std::move(report));
}

bool Exporter::Count(CopyResult result, std::uint64_t nSize, MessageSink& sink, FolderReport& report,
                     const std::string& strWhat)
{
    switch (result) {
    case CopyResult::Written:
        ++report.nMessages;
        report.nBytes += nSize;
        ++m_progress.nMessages;
        m_progress.nBytes += nSize;
        break;
    case CopyResult::Kept:
        ++report.nSkipped;
        report.problems.push_back("The file " + sink.KeptPath() + " exists already. It was kept, and " + strWhat +
                                  " was not exported.");
        break;
    case CopyResult::Damaged:
        ++report.nSkipped;
        report.bDamaged = true;
        break;
    case CopyResult::Changed:
        ++report.nSkipped;
        report.problems.push_back("The file " + report.strSource + " changed while it was read, and " + strWhat +
                                  " was not exported.");
        break;
    case CopyResult::Failed:
        ++report.nSkipped;
        report.bFailed = true;
        report.problems.push_back(sink.Error());
        return false;
    case CopyResult::Cancelled:
        m_summary.bCancelled = true;
        return false;
    }
    if (sink.Broken()) {
        report.bFailed = true;
        report.problems.push_back(sink.Error());
        return false;
    }
    return true;
}

void Exporter::CopyFolder(const Job& job, const CFile& folder, MessageSink& sink, FolderReport& report)
{
    FolderMessageReader reader(folder);
    std::uint32_t nCount = 0;
    DbxMessageList list;
    if (!ReadCountWord(reader.Source(), nCount))
        list.bDamaged = true;  // too short to be a mail-folder file at all
    else if (nCount != 0)
        list = FindFolderMessages(reader.Source(), nCount);
    if (list.bHeadersOnly) {
        report.problems.push_back("The mail-folder file " + job.strSource +
                                  " keeps only message headers, no messages; nothing of it was exported.");
        return;
    }
    std::uint64_t nRead = 0;
    std::size_t nPosition = 0;
    for (const DbxMessageRef& message : list.messages) {
        // Named as the listing names them: by position among the messages the index lists.
        char name[32];
        std::snprintf(name, sizeof name, "Msg%05zu.eml", ++nPosition);
        if (CancelRequested()) {
            m_summary.bCancelled = true;
            return;
        }
        const CopyResult result = reader.Copy(message.nFirstBlock, nullptr, sink, name, m_control.pCancel);
        if (!Count(result, reader.LastSize(), sink, report, std::string("message ") + std::to_string(nPosition)))
            return;
        nRead += reader.LastSize();
        m_progress.nSourceDone = m_nSourceBefore + std::min(nRead, job.nBytes);
        Progress(false);
    }
    // What the index lost, after the indexed messages and named as the listing names them: when
    // asked, or by itself when the index is damaged or names no message of a file that is not empty.
    const bool bDamaged = list.bDamaged || report.bDamaged;
    if (m_request.bRecover || bDamaged || (list.messages.empty() && reader.Source().Size() > 0)) {
        std::vector<std::uint32_t> firstBlocks;
        firstBlocks.reserve(list.messages.size());
        for (const DbxMessageRef& message : list.messages)
            firstBlocks.push_back(message.nFirstBlock);
        const DbxBlockSet indexed = ChainBlocks(reader.Source(), firstBlocks);
        DbxScanOptions options;
        options.pIndexed = &indexed;
        options.progress = [this](std::uint64_t, std::uint64_t) { return !CancelRequested(); };
        const DbxScanResult scan = ScanForMessages(folder, options);
        if (scan.bCancelled) {
            m_summary.bCancelled = true;
            return;
        }
        std::size_t nRecovered = 0;
        for (const DbxRecoveredChain& found : scan.chains) {
            char name[32];
            std::snprintf(name, sizeof name, "Rec%05zu.eml", ++nRecovered);
            if (CancelRequested()) {
                m_summary.bCancelled = true;
                return;
            }
            ListedMessage listed;
            listed.nFirstBlock = found.nFirstBlock;
            listed.nSize = found.nSize;
            listed.recovery = found.bComplete ? MessageRecovery::Complete : MessageRecovery::Partial;
            const CopyResult result = reader.Copy(found.nFirstBlock, &listed, sink, name, m_control.pCancel);
            if (!Count(result, reader.LastSize(), sink, report, std::string("recovered message ") + std::to_string(nRecovered)))
                return;
        }
    }
    if (bDamaged || report.bDamaged) {
        report.bDamaged = true;
        report.problems.push_back("The mail-folder file " + job.strSource +
                                  " is damaged. Only the messages that could be read were exported.");
    }
}

void Exporter::CopyFiles(const Job& job, MessageSink& sink, FolderReport& report)
{
    std::uint64_t nRead = 0;
    for (const std::string& name : job.files) {
        if (CancelRequested()) {
            m_summary.bCancelled = true;
            return;
        }
        const std::string path = JoinPath(job.strSource, name);
        CFile file;
        if (!file.Open(path, CFile::modeRead | CFile::typeBinary)) {
            ++report.nSkipped;
            report.problems.push_back("Error on opening file " + path);
            continue;
        }
        const CopyResult result = CopyMessageFile(file, sink, name, m_fileBuffer, m_control.pCancel);
        if (result == CopyResult::Damaged) {
            ++report.nSkipped;
            report.problems.push_back("Error on reading file " + path + ": it could not be read to its end and was not exported.");
            continue;
        }
        if (!Count(result, file.GetLength(), sink, report, "the message " + path))
            return;
        nRead += file.GetLength();
        m_progress.nSourceDone = m_nSourceBefore + std::min(nRead, job.nBytes);
        Progress(false);
    }
}

ExportSummary Exporter::Run()
{
    if (!Check()) {
        m_summary.dSeconds = Seconds(m_start);
        return m_summary;
    }
    m_summary.bStarted = true;
    m_batch.Add(m_root);
    // A file per message leaves the disk much to do at the end; an mbox hands its writing to the
    // disk as it grows already.
    if (m_request.format != ExportFormat::Mbox)
        m_batch.FlushAhead();
    m_progress.nFolders = m_jobs.size();
    for (const Job& job : m_jobs)
        m_progress.nSourceTotal += job.nBytes;
    for (const Job& job : m_jobs) {
        if (CancelRequested()) {
            m_summary.bCancelled = true;
            break;
        }
        RunJob(job);
        m_nSourceBefore += job.nBytes;
        m_progress.nSourceDone = m_nSourceBefore;
        ++m_progress.nFoldersDone;
        if (m_summary.bCancelled)
            break;
    }
    // Whatever was written, also before a cancel, is flushed before the run says it is done.
    const int err = m_batch.Flush();
    m_summary.bFlushed = err == 0;
    if (err != 0)
        m_summary.problems.push_back(std::string("The exported files could not be flushed to the disk: ") +
                                     std::strerror(err) + ". Some of them may be incomplete after a crash.");
    m_progress.strCurrent.clear();
    Progress(true);
    m_summary.dSeconds = Seconds(m_start);
    return m_summary;
}

} // namespace

double ExportProgress::SecondsLeft() const
{
    if (nSourceTotal == 0 || nSourceDone == 0 || dSeconds <= 0)
        return -1;
    const double share = static_cast<double>(std::min(nSourceDone, nSourceTotal)) / static_cast<double>(nSourceTotal);
    return dSeconds / share - dSeconds;
}

std::uint64_t ExportSummary::Messages() const
{
    std::uint64_t n = 0;
    for (const FolderReport& f : folders)
        n += f.nMessages;
    return n;
}

std::uint64_t ExportSummary::Bytes() const
{
    std::uint64_t n = 0;
    for (const FolderReport& f : folders)
        n += f.nBytes;
    return n;
}

std::uint64_t ExportSummary::Skipped() const
{
    std::uint64_t n = 0;
    for (const FolderReport& f : folders)
        n += f.nSkipped;
    return n;
}

std::size_t ExportSummary::DamagedFolders() const
{
    return static_cast<std::size_t>(std::count_if(folders.begin(), folders.end(), [](const FolderReport& f) { return f.bDamaged; }));
}

std::size_t ExportSummary::FailedFolders() const
{
    return static_cast<std::size_t>(std::count_if(folders.begin(), folders.end(), [](const FolderReport& f) { return f.bFailed; }));
}

bool ExportSummary::Complete() const
{
    if (!bStarted || bCancelled || !bFlushed || !problems.empty())
        return false;
    return std::all_of(folders.begin(), folders.end(), [](const FolderReport& f) {
        return !f.bFailed && !f.bDamaged && f.nSkipped == 0 && f.problems.empty();
    });
}

ExportSummary ExportMail(const ExportRequest& request, const ExportControl& control)
{
    Exporter exporter(request, control);
    return exporter.Run();
}

namespace {

std::string Amount(std::uint64_t bytes)
{
    char text[32];
    if (bytes < 1000)
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    else if (bytes < 1000000)
        std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1e3);
    else if (bytes < 1000000000)
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    else
        std::snprintf(text, sizeof text, "%.2f GB", static_cast<double>(bytes) / 1e9);
    return text;
}

std::string Plural(std::uint64_t n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

std::vector<std::string> ExportSummaryLines(const ExportSummary& summary, const ExportRequest& request)
{
    std::vector<std::string> lines;
    if (!summary.bStarted) {
        lines.push_back("Nothing was exported.");
        return lines;
    }
    const std::size_t nWritten = static_cast<std::size_t>(std::count_if(
        summary.folders.begin(), summary.folders.end(), [](const FolderReport& f) { return !f.bFailed && !f.bCancelled; }));
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", summary.dSeconds);
    lines.push_back(std::string(summary.bCancelled ? "Cancelled after exporting " : "Exported ") +
                    Plural(nWritten, "folder", "folders") + ", " + Plural(summary.Messages(), "message", "messages") +
                    " (" + Amount(summary.Bytes()) + ") as " + ExportFormatName(request.format) + " into " +
                    request.strDestination + " in " + seconds + ".");
    if (summary.Skipped() != 0)
        lines.push_back("Skipped: " + Plural(summary.Skipped(), "message", "messages") + ".");
    if (summary.DamagedFolders() != 0)
        lines.push_back("Damaged folders: " + std::to_string(summary.DamagedFolders()) + ".");
    if (summary.FailedFolders() != 0)
        lines.push_back("Folders not exported: " + std::to_string(summary.FailedFolders()) + ".");
    if (summary.bCancelled)
        lines.push_back(request.format == ExportFormat::Mbox
                            ? "Every file written is complete; the folder that was being written when the export "
                              "was cancelled was left out."
                            : "Every file written is complete; the folder that was being written when the export "
                              "was cancelled holds only the messages written before.");
    if (!summary.bFlushed)
        lines.push_back("The files were not all flushed to the disk.");
    return lines;
}

const char* ExportFormatName(ExportFormat format)
{
    switch (format) {
    case ExportFormat::Mbox:
        return "mbox";
    case ExportFormat::Maildir:
        return "maildir";
    case ExportFormat::Eml:
        return "eml";
    }
    return "";
}
