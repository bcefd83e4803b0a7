#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>

#include "cli/CliOutput.h"
#include "cli/Commands.h"
#include "export/ExportRun.h"

namespace {

constexpr std::string_view kUsage =
    "usage: quillory-cli export SOURCE OUTDIR [--format mbox|maildir|eml] [--recursive]\n"
    "                           [--into-existing] [--recover]\n";

std::atomic<bool> g_cancel{false};

// Ctrl-C ends the export at the next message, with every file written whole and flushed; a
// second one ends the process at once.
void OnInterrupt(int) { g_cancel.store(true); }

void ShowProgress(const ExportProgress& progress)
{
    char left[32] = "";
    const double seconds = progress.SecondsLeft();
    if (seconds >= 0)
        std::snprintf(left, sizeof left, ", about %.0f s left", seconds);
    char line[160];
    std::snprintf(line, sizeof line, "\r%zu/%zu folders, %llu messages, %.1f MB%s", progress.nFoldersDone,
                  progress.nFolders, static_cast<unsigned long long>(progress.nMessages),
                  static_cast<double>(progress.nBytes) / 1e6, left);
    // Padded, so that a shorter line covers a longer one before it.
    std::fprintf(stderr, "%-72s", line);
    std::fflush(stderr);
}

} // namespace

int RunExport(int argc, char** argv)
{
    ExportRequest request;
    int nPositional = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--format") {
            if (++i >= argc)
                return WrongUsage("--format needs a format: mbox, maildir or eml", kUsage);
            const std::string format = argv[i];
            if (format == "mbox")
                request.format = ExportFormat::Mbox;
            else if (format == "maildir")
                request.format = ExportFormat::Maildir;
            else if (format == "eml")
                request.format = ExportFormat::Eml;
            else
                return WrongUsage("no format " + format + ": mbox, maildir or eml", kUsage);
        } else if (arg == "--recursive") {
            request.bRecursive = true;
        } else if (arg == "--into-existing") {
            request.bIntoExisting = true;
        } else if (arg == "--recover") {
            request.bRecover = true;
        } else if (arg.rfind("--", 0) == 0) {
            return WrongUsage("export has no option " + arg, kUsage);
        } else if (nPositional == 2) {
            return WrongUsage("export takes a SOURCE and an OUTDIR", kUsage);
        } else {
            (nPositional++ == 0 ? request.strSource : request.strDestination) = arg;
        }
    }
    if (nPositional != 2)
        return WrongUsage("export needs a SOURCE and an OUTDIR", kUsage);

    ExportControl control;
    control.pCancel = &g_cancel;
    const bool bTerminal = ::isatty(STDERR_FILENO) == 1;
    if (bTerminal)
        control.onProgress = ShowProgress;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    struct sigaction old {};
    ::sigaction(SIGINT, &action, &old);
    const ExportSummary summary = ExportMail(request, control);
    ::sigaction(SIGINT, &old, nullptr);
    if (bTerminal)
        std::fprintf(stderr, "\r%72s\r", "");

    for (const std::string& problem : summary.problems)
        std::cerr << kCliName << ": " << problem << '\n';
    for (const FolderReport& folder : summary.folders)
        for (const std::string& problem : folder.problems)
            std::cerr << kCliName << ": " << problem << '\n';
    StdoutWriter output;
    for (const std::string& line : ExportSummaryLines(summary, request))
        output.Write(line + '\n');
    const bool bWritten = output.Finish();
    return summary.Complete() && bWritten ? 0 : 1;
}
