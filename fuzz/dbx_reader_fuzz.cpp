// libFuzzer target: any bytes, listed as a mail-folder file, then every listed message's chain
// measured and the first one saved; then scanned for the messages outside the index, listed with
// them, and the first one found saved. Nothing may crash, hang, leak or read out of bounds, and
// what is listed, found and saved must hold together (CheckEntry, CheckScan). Built as a plain
// program too (replay_main.cpp), which the tests run over the seeds in corpus/.

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "dbx/DBXReader.h"
#include "dbx/DbxScanner.h"
#include "extract/MessageCopy.h"
#include "model/TextSearch.h"
#include "platform/File.h"

namespace {

// The input goes into one in-memory file, reopened by path each run as the program opens folders.
int InputFile()
{
    static const int fd = ::memfd_create("quillory-fuzz.dbx", 0);
    return fd;
}

std::string InputPath() { return "/proc/self/fd/" + std::to_string(InputFile()); }

std::string OutputPath()
{
    static const std::string path = "/dev/shm/quillory-fuzz-" + std::to_string(::getpid()) + ".eml";
    return path;
}

// What every listed message must satisfy, whatever the bytes: its size is what a save writes and
// cannot exceed the file; each header field is one escaped line that starts with its own label; the
// header block stops before the first empty line; the gathered text is gone once the fields are taken.
bool StartsWithNoCase(const std::string& text, std::string_view label)
{
    return text.size() >= label.size() && CompareNoCase(std::string_view(text).substr(0, label.size()), label) == 0;
}

void CheckEntry(const listaf& e, std::uint64_t nFileSize)
{
    if (e.Size() > nFileSize || !e.m_hText.empty())
        __builtin_trap();
    const std::pair<const std::string*, std::string_view> fields[] = {
        {&e.m_strFrom, "From:"}, {&e.m_strTo, "To:"}, {&e.m_strSubject, "Subject:"}, {&e.m_strDate, "Date:"}};
    for (const auto& [value, label] : fields) {
        if (value->find_first_of("<>\"\r\n") != std::string::npos)
            __builtin_trap();
        if (!value->empty() && !StartsWithNoCase(*value, label))
            __builtin_trap();
    }
    if (e.m_strHeader.find("\r\n\r\n") != std::string::npos || e.m_strHeader.find("\n\n") != std::string::npos)
        __builtin_trap();
}

// Lists the input as the window does after a click on it, recovered messages shown or not.
void ListInput(CQuilloryApp& app, bool bRecovered)
{
    app.DeleteAllEntries();
    listaf* folder = app.AppendEntry();
    folder->m_strPath = InputPath();
    folder->m_nKind = KIND_MAIL_FOLDER;
    app.m_pCurrentEntry = folder;
    app.m_strCurrentDir = folder->m_strPath;
    app.m_bShowRecovered = bRecovered;
    app.ListMailFolder();
}

// Saves one message as it was listed; a save that succeeds writes exactly the size listed.
// Returns whether it was saved.
bool SaveAndMeasure(const std::string& strFolder, const ListedMessage& message)
{
    CFile source;
    bool bSaved = false;
    if (source.Open(strFolder, CFile::modeRead | CFile::typeBinary) &&
        SaveChainAs(source, message, OutputPath()) == SaveResult::Saved) {
        bSaved = true;
        struct stat st {};
        if (::stat(OutputPath().c_str(), &st) != 0 || static_cast<std::uint64_t>(st.st_size) != message.nSize)
            __builtin_trap();
    }
    ::unlink(OutputPath().c_str());
    return bSaved;
}

// What the scan finds: chains in file order, each block used once, so that together they hold no
// more bytes than the file; memory within its bound; and a found chain saves as the scan found it.
void CheckScan(const std::string& strFolder, std::uint64_t nFileSize)
{
    CFile file;
    if (!file.Open(strFolder, CFile::modeRead | CFile::typeBinary))
        return;
    const DbxScanResult scan = ScanForMessages(file);
    file.Close();
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < scan.chains.size(); ++i) {
        if (i > 0 && scan.chains[i].nFirstBlock <= scan.chains[i - 1].nFirstBlock)
            __builtin_trap();
        total += scan.chains[i].nSize;
    }
    // Besides its table, the scan holds one read of 132 KB and the candidates found in it: at most
    // one every 4 bytes of each kind, 16 bytes each.
    if (total > nFileSize || scan.nPeakBytes > 64 * scan.nBlocks + 1280 * 1024)
        __builtin_trap();
    if (!scan.chains.empty()) {
        const DbxRecoveredChain& first = scan.chains.front();
        const ListedMessage listed{0, first.nFirstBlock, first.nSize,
                                   first.bComplete ? MessageRecovery::Complete : MessageRecovery::Partial};
        if (!SaveAndMeasure(strFolder, listed))
            __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const int fd = InputFile();
    if (fd < 0 || ::ftruncate(fd, 0) != 0)
        return 0;
    if (size && ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        return 0;

    RecordingMessageBox box;
    RecordingStatus status;
    CQuilloryApp app;
    app.m_pMessageBox = &box;
    app.m_pStatus = &status;
    ListInput(app, false);

    // The listing never follows whole chains; follow them here, as measuring and saving do. A save
    // that succeeds writes exactly the size the listing showed.
    const std::uint64_t nFileSize = size;
    std::vector<std::pair<std::uint32_t, std::uint64_t>> chains;
    // A damaged folder lists what the scan found too: those are checked below, with the scan.
    for (const listaf* e = app.FirstEntry(); e && chains.size() < 64; e = e->Next()) {
        CheckEntry(*e, nFileSize);
        if (e->m_recovery == MessageRecovery::None)
            chains.emplace_back(e->m_nDataOffset, e->Size());
    }
    listaf* current = app.AppendEntry();
    current->m_strPath = app.m_strCurrentDir;
    DBXReader reader(app, current);
    if (reader.Open()) {
        for (const auto& chain : chains)
            (void)reader.ChainLength(chain.first);
        reader.Close();
    }
    if (!chains.empty()) {
        CFile source;
        if (source.Open(app.m_strCurrentDir, CFile::modeRead | CFile::typeBinary) &&
            SaveChainAs(source, chains.front().first, OutputPath()) == SaveResult::Saved) {
            struct stat st {};
            if (::stat(OutputPath().c_str(), &st) != 0 || static_cast<std::uint64_t>(st.st_size) != chains.front().second)
                __builtin_trap();
        }
        ::unlink(OutputPath().c_str());
    }

    // With the messages outside the index: the indexed ones come first and as before, the others
    // are named in order, hold together like any listed message, and save as listed.
    CheckScan(app.m_strCurrentDir, nFileSize);
    const std::size_t nIndexed = chains.size();
    ListInput(app, true);
    std::size_t k = 0;
    std::int32_t nRecovered = 0;
    const listaf* firstRecovered = nullptr;
    for (const listaf* e = app.FirstEntry(); e; e = e->Next(), ++k) {
        CheckEntry(*e, nFileSize);
        if (e->m_recovery == MessageRecovery::None) {
            if (nRecovered > 0 || (k < nIndexed && e->m_nDataOffset != chains[k].first))
                __builtin_trap();
            continue;
        }
        char name[32];
        std::snprintf(name, sizeof name, "Rec%05d", static_cast<int>(++nRecovered));
        if (e->m_strName != name || e->m_nRecordOffset != 0)
            __builtin_trap();
        if (!firstRecovered)
            firstRecovered = e;
    }
    if (nRecovered != std::max(app.m_nRecoveredCount, 0))  // -1: no scan, when no index was read
        __builtin_trap();
    if (firstRecovered && !SaveAndMeasure(app.m_strCurrentDir, ListedMessageOf(*firstRecovered)))
        __builtin_trap();
    return 0;
}
