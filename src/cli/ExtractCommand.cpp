#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
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

// A second writer pays for itself from a few dozen messages on.
constexpr std::size_t kTwoWritersFrom = 32;
// How often a writer says how far it has come: often enough for the telling to follow, seldom
// enough that waking the teller costs nothing next to the writing.
constexpr std::size_t kTellEvery = 64;

void SayKept(const std::string& destination)
{
    std::cerr << kCliName << ": " << destination << " exists, skipped (--overwrite replaces it)\n";
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
        std::cerr << kCliName << ": " << path << " is a directory, not a mail-folder file\n";
        return 1;
    }

    // Listed as the window lists it, so the names are the ones the window shows, but without the
    // header lines: nothing here shows them.
    StderrMessageBox messages;
    CQuilloryApp app;
    app.m_pMessageBox = &messages;
    app.m_bShowRecovered = bRecover;
    app.m_bListHeaderLines = false;
    ListMailFolderAt(app, path);
    bool bAllWritten = !messages.AnyShown();

    std::vector<const listaf*> wanted;
    if (names.empty()) {
        for (const listaf* e = app.FirstEntry(); e; e = e->Next())
            wanted.push_back(e);
    } else {
        std::set<std::string> seen;
        for (const std::string& given : names) {
            if (!seen.insert(FolderMessageName(given)).second)
                continue;
            if (const listaf* found = FindFolderMessage(app, given)) {
                wanted.push_back(found);
            } else {
                std::cerr << kCliName << ": no message named " << given << " in " << path << "\n";
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
        std::cerr << kCliName << ": cannot use " << outDir << " as the output directory\n";
        return 1;
    }
    if (wanted.empty())
        return 0;

    // One open of the folder for every message, one open of the output directory; each message is
    // read whole (a large one streams) and written with one call. Two writers share the messages,
    // every other one each: creating a file is most of the cost, and two threads create files in
    // one directory nearly twice as fast as one. What became of each message is told in the
    // listing's order. The disk is kept at work on the files while they are written; only the
    // flush after the last one says they are durable.
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
    const std::size_t nWriters = wanted.size() >= kTwoWritersFrom ? 2 : 1;
    std::vector<std::unique_ptr<MessageSink>> sinks;
    if (directory.Open(outDir)) {
        for (std::size_t k = 0; k < nWriters; ++k) {
            std::string error;
            bool bKept = false;
            if (auto sink = OpenSink(ExportFormat::Eml, directory, "", batch, options, error, bKept))
                sinks.push_back(std::move(sink));
        }
    }
    if (sinks.size() != nWriters) {
        std::cerr << kCliName << ": cannot use " << outDir << " as the output directory\n";
        return 1;
    }
    batch.FlushAhead();

    struct Outcome {
        CopyResult result = CopyResult::Failed;
        std::string error;  // the sink's word on a failure
    };
    std::vector<Outcome> outcomes(wanted.size());
    std::mutex mutex;
    std::condition_variable progressed;
    std::vector<std::size_t> done(nWriters, 0);  // messages settled by each writer, in its order
    auto write = [&](std::size_t k) {
        std::size_t n = 0;
        try {
            FolderMessageReader reader(source);
            for (std::size_t i = k; i < wanted.size(); i += nWriters, ++n) {
                const listaf& e = *wanted[i];
                const ListedMessage listed = ListedMessageOf(e);
                Outcome& outcome = outcomes[i];
                outcome.result = reader.Copy(e.m_nDataOffset, &listed, *sinks[k], e.m_strName + ".eml");
                if (outcome.result == CopyResult::Failed || outcome.result == CopyResult::Cancelled)
                    outcome.error = sinks[k]->Error();
                if ((n + 1) % kTellEvery == 0) {
                    const std::lock_guard lock(mutex);
                    done[k] = n + 1;
                    progressed.notify_one();
                }
            }
        } catch (const std::exception& failure) {
            // Out of memory: this writer's messages from here on are not written, and say so.
            for (std::size_t i = k + n * nWriters; i < wanted.size(); i += nWriters, ++n)
                outcomes[i] = {CopyResult::Failed, std::string("The copy stopped: ") + failure.what()};
        }
        const std::lock_guard lock(mutex);
        done[k] = n;
        progressed.notify_one();
    };
    std::vector<std::thread> writers;
    // Joined however this function is left: a thread still joinable at its end would end the process.
    struct Joiner {
        std::vector<std::thread>& threads;
        ~Joiner()
        {
            for (std::thread& thread : threads)
                if (thread.joinable())
                    thread.join();
        }
    } joiner{writers};
    std::vector<std::size_t> unstarted;  // shares whose thread could not be had: this one writes them
    for (std::size_t k = 1; k < nWriters; ++k) {
        try {
            writers.emplace_back(write, k);
        } catch (const std::system_error&) {
            unstarted.push_back(k);
        }
    }

    StdoutWriter output;
    auto tell = [&](std::size_t i) {
        const std::string destination = JoinPath(outDir, wanted[i]->m_strName + ".eml");
        switch (outcomes[i].result) {
        case CopyResult::Written:
            output.Write(destination + '\n');
            return;
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
            std::cerr << kCliName << ": " << outcomes[i].error << '\n';
            break;
        }
        bAllWritten = false;
    };
    // This thread writes the first share, then tells every message's outcome in order, waiting for
    // the other writer where it is behind.
    write(0);
    for (const std::size_t k : unstarted)
        write(k);
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        std::unique_lock lock(mutex);
        progressed.wait(lock, [&] { return done[i % nWriters] > i / nWriters; });
        lock.unlock();
        tell(i);
    }
    for (std::thread& writer : writers)
        writer.join();  // the flush below must come after its last file
    if (const int err = batch.Flush(); err != 0) {
        std::cerr << kCliName << ": the files written into " << outDir << " could not be flushed to the disk: "
                  << std::strerror(err) << '\n';
        bAllWritten = false;
    }
    if (!output.Finish())
        bAllWritten = false;
    return bAllWritten ? 0 : 1;
}
