#include <cstring>
#include <filesystem>
#include <memory>
#include <iostream>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "cli/CliOutput.h"
#include "cli/Commands.h"
#include "export/MessageReading.h"
#include "export/MessageSinks.h"
#include "extract/MessageCopy.h"
#include "platform/File.h"
#include "platform/Path.h"

namespace {

constexpr std::string_view kUsage = "usage: quillory-cli extract PATH OUTDIR [NAME ...] [--overwrite] [--recover]\n";

// "Msg00003" and "Msg00003.eml" name the same message (and "Rec00001" a recovered one).
std::string MessageName(std::string name)
{
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".eml") == 0)
        name.resize(name.size() - 4);
    return name;
}

void SayKept(const std::string& destination)
{
    std::cerr << "quillory-cli: " << destination << " exists, skipped (--overwrite replaces it)\n";
}

} // namespace

int RunExtract(int argc, char** argv)
{
    std::vector<std::string> positional;
    bool bOverwrite = false;
    bool bRecover = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--overwrite")
            bOverwrite = true;
        else if (arg == "--recover")
            bRecover = true;
        else if (arg.rfind("--", 0) == 0)
            return WrongUsage("extract has no option " + arg, kUsage);
        else
            positional.push_back(arg);
    }
    if (positional.size() < 2)
        return WrongUsage("extract needs a mail-folder file and an output directory", kUsage);
    const std::string path = positional[0];
    const std::string outDir = positional[1];
    const std::vector<std::string> names(positional.begin() + 2, positional.end());

    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        std::cerr << "quillory-cli: " << path << " is a directory, not a mail-folder file\n";
        return 1;
    }

    // Listed exactly as the window lists it, so the names are the ones the window shows.
    StderrMessageBox messages;
    CQuilloryApp app;
    app.m_pMessageBox = &messages;
    app.m_bShowRecovered = bRecover;
    ListMailFolderAt(app, path);
    bool bAllWritten = !messages.AnyShown();

    std::vector<const listaf*> wanted;
    if (names.empty()) {
        for (const listaf* e = app.FirstEntry(); e; e = e->Next())
            wanted.push_back(e);
    } else {
        std::set<std::string> seen;
        for (const std::string& given : names) {
            const std::string name = MessageName(given);
            if (!seen.insert(name).second)
                continue;
            const listaf* found = nullptr;
            for (const listaf* e = app.FirstEntry(); e && !found; e = e->Next())
                if (e->m_strName == name)
                    found = e;
            if (found) {
                wanted.push_back(found);
            } else {
                std::cerr << "quillory-cli: no message named " << given << " in " << path << "\n";
                bAllWritten = false;
            }
        }
    }
    // The output directory is made only once the folder could be read: a source that is missing
    // or not a mail folder leaves nothing behind.
    if (wanted.empty() && !bAllWritten)
        return 1;
    std::filesystem::create_directories(outDir, ec);
    if (!std::filesystem::is_directory(outDir, ec)) {
        std::cerr << "quillory-cli: cannot use " << outDir << " as the output directory\n";
        return 1;
    }
    if (wanted.empty())
        return 0;

    // One open of the folder for every message, one open of the output directory; each message is
    // read whole (a large one streams) and written with one call. The disk is kept at work on the
    // files while they are written; only the flush after the last one says they are durable.
    CFile source;
    if (!source.Open(path, CFile::modeRead | CFile::typeBinary)) {
        std::cerr << kCliName << ": Error on opening file " << path << "\n";
        return 1;
    }
    // Without --overwrite a file at the destination is kept, also one that appears during the copy.
    SinkOptions options;
    options.existing = bOverwrite ? ExistingFile::Replace : ExistingFile::Keep;
    options.source = source.Identity();
    AtomicDirectory directory;
    DurableBatch batch;
    std::string error;
    bool bKept = false;
    std::unique_ptr<MessageSink> sink;
    if (directory.Open(outDir))
        sink = OpenSink(ExportFormat::Eml, directory, "", batch, options, error, bKept);
    if (!sink) {
        std::cerr << "quillory-cli: cannot use " << outDir << " as the output directory\n";
        return 1;
    }
    batch.FlushAhead();
    StdoutWriter output;
    FolderMessageReader reader(source);
    for (const listaf* e : wanted) {
        const std::string name = e->m_strName + ".eml";
        const std::string destination = JoinPath(outDir, name);
        const ListedMessage listed = ListedMessageOf(*e);
        switch (reader.Copy(e->m_nDataOffset, &listed, *sink, name)) {
        case CopyResult::Written:
            output.Write(destination + '\n');
            continue;
        case CopyResult::Kept:
            SayKept(destination);
            break;
        case CopyResult::Damaged:
            std::cerr << kCliName << ": " << SaveFailureText(SaveResult::SourceIncomplete, path, destination) << '\n';
            break;
        case CopyResult::Changed:
            std::cerr << kCliName << ": " << SaveFailureText(SaveResult::SourceChanged, path, destination) << '\n';
            break;
        case CopyResult::Failed:
        case CopyResult::Cancelled:
            std::cerr << kCliName << ": " << sink->Error() << '\n';
            break;
        }
        bAllWritten = false;
    }
    if (const int err = batch.Flush(); err != 0) {
        std::cerr << "quillory-cli: the files written into " << outDir << " could not be flushed to the disk: "
                  << std::strerror(err) << '\n';
        bAllWritten = false;
    }
    if (!output.Finish())
        bAllWritten = false;
    return bAllWritten ? 0 : 1;
}
