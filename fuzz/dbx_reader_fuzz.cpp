// libFuzzer target: any bytes, listed as a mail-folder file, then every listed message's chain
// measured and the first one saved. Nothing may crash, hang, leak or read out of bounds.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "app/QuilloryApp.h"
#include "dbx/DBXReader.h"
#include "extract/MessageCopy.h"
#include "model/HeaderLines.h"
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

// The header field named by label ("\nSubject:", "\nFrom:", "\nTo:" or "\nDate:") found in the
// whole searched text, escaped (and for all but the subject code-replaced) as a whole. The reader
// escapes and replaces only each line it found; both must agree on any text.
std::string LiteralLine(const std::string& text, const char* label)
{
    const HeaderFields fields = FindHeaderFields(text);
    const std::string_view name(label);
    const std::optional<std::string_view>& line = name == "\nSubject:" ? fields.subject
                                                  : name == "\nFrom:"  ? fields.from
                                                  : name == "\nTo:"    ? fields.to
                                                                       : fields.date;
    return std::string(line.value_or(std::string_view()));
}

void CheckFields(const listaf& e)
{
    const std::size_t n = std::min<std::size_t>(e.Size(), 3000);
    if (e.m_hText.size() != e.Size() + 2 || e.m_hText[e.Size()] != 0 || e.m_hText[e.Size() + 1] != 0)
        __builtin_trap();
    std::string text(reinterpret_cast<const char*>(e.m_hText.data()), strnlen(reinterpret_cast<const char*>(e.m_hText.data()), n));
    EscapeForHtml(text);
    const std::string subject = LiteralLine(text, "\nSubject:");
    DBXReader::ReplaceAll(text, "=2E", ".");
    DBXReader::ReplaceAll(text, "=20", " ");
    if (subject != e.m_strSubject || LiteralLine(text, "\nFrom:") != e.m_strFrom ||
        LiteralLine(text, "\nTo:") != e.m_strTo || LiteralLine(text, "\nDate:") != e.m_strDate)
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

    // The listing never follows whole chains; follow them here, as measuring and saving do.
    std::vector<std::uint32_t> chains;
    for (const listaf* e = app.FirstEntry(); e && chains.size() < 64; e = e->Next()) {
        CheckFields(*e);
        chains.push_back(e->m_nDataOffset);
    }
    listaf* current = app.AppendEntry();
    current->m_strPath = app.m_strCurrentDir;
    DBXReader reader(app, current);
    if (reader.Open()) {
        for (const std::uint32_t first : chains)
            (void)reader.ChainLength(first);
        reader.Close();
    }
    if (!chains.empty()) {
        CFile source;
        if (source.Open(app.m_strCurrentDir, CFile::modeRead | CFile::typeBinary))
            (void)SaveChainAs(source, chains.front(), OutputPath());
    }
    return 0;
}
