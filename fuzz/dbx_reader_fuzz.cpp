// libFuzzer target: any bytes, listed as a mail-folder file, then every listed message's chain
// measured and the first one saved. Nothing may crash, hang, leak or read out of bounds, and what
// is listed and saved must hold together (CheckEntry). Built as a plain program too
// (replay_main.cpp), which the tests run over the seeds in corpus/.

#include <algorithm>
#include <cstddef>
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
    listaf* folder = app.AppendEntry();
    folder->m_strPath = InputPath();
    folder->m_nKind = KIND_MAIL_FOLDER;
    app.m_pCurrentEntry = folder;
    app.m_strCurrentDir = folder->m_strPath;
    app.ListMailFolder();

    // The listing never follows whole chains; follow them here, as measuring and saving do. A save
    // that succeeds writes exactly the size the listing showed.
    const std::uint64_t nFileSize = size;
    std::vector<std::pair<std::uint32_t, std::uint64_t>> chains;
    for (const listaf* e = app.FirstEntry(); e && chains.size() < 64; e = e->Next()) {
        CheckEntry(*e, nFileSize);
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
    return 0;
}
