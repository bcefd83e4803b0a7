#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <sys/stat.h>

#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "cli/CliOutput.h"
#include "cli/Commands.h"
#include "platform/Path.h"

namespace {

constexpr std::string_view kUsage = "usage: quillory-cli list PATH [--sort entry|from|to|subject] [--recover]\n";

} // namespace

int RunList(int argc, char** argv)
{
    std::string path;
    bool bHavePath = false;
    int sortMode = 0;
    bool bRecover = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--recover") {
            bRecover = true;
        } else if (arg == "--sort") {
            if (++i >= argc)
                return WrongUsage("--sort needs an order: entry, from, to or subject", kUsage);
            const std::string mode = argv[i];
            if (mode == "entry") sortMode = 0;
            else if (mode == "from") sortMode = 1;
            else if (mode == "to") sortMode = 2;
            else if (mode == "subject") sortMode = 3;
            else return WrongUsage("no sort order " + mode + ": entry, from, to or subject", kUsage);
        } else if (arg.rfind("--", 0) == 0) {
            return WrongUsage("list has no option " + arg, kUsage);
        } else if (bHavePath) {
            return WrongUsage("list takes one PATH", kUsage);
        } else {
            path = arg;
            bHavePath = true;
        }
    }
    if (!bHavePath)
        return WrongUsage("list needs a PATH", kUsage);

    // No settings store: the command line never writes the user's settings.
    StderrMessageBox messages;
    CQuilloryApp app;
    app.m_pMessageBox = &messages;
    app.m_nSortMode = sortMode;
    app.m_bKeepRawHeaders = true;
    app.m_bShowRecovered = bRecover;

    struct stat st {};
    const bool bExists = ::stat(path.c_str(), &st) == 0;
    const std::string ext = SplitPath(path).ext;
    if (bExists && S_ISDIR(st.st_mode)) {
        app.m_strCurrentDir = path;
        app.ScanDirectory();
    } else if (bExists && KindFromExtension(ext) == KIND_MESSAGE_FILE) {
        // Read as a mail-folder file it would only be called damaged.
        app.ShowMessage("The file " + path + " is a single message, not a mail-folder file: list the directory that holds it.");
    } else {
        ListMailFolderAt(app, path);
    }
    app.SortEntries();

    StdoutWriter output;
    // One buffer for every line, written out a megabyte at a time.
    constexpr std::size_t kChunk = 1u << 20;
    std::string out;
    out.reserve(kChunk + 64 * 1024);
    for (const listaf* e = app.FirstEntry(); e; e = e->Next()) {
        AppendEntryJson(out, *e);
        out += '\n';
        if (out.size() > kChunk) {
            output.Write(out);
            out.clear();
        }
    }
    output.Write(out);
    const bool bWritten = output.Finish();
    return messages.AnyShown() || !bWritten ? 1 : 0;
}
