#include "core/StartPath.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/DirectoryReader.h"
#include "platform/Path.h"

namespace {

// The first bytes of every mail-folder file, whatever its name.
constexpr unsigned char kFolderSignature[4] = {0xCF, 0xAD, 0x12, 0xFE};

bool IsMailFolderName(const std::string& ext)
{
    // A file manager matches the extension in any case, and a copy from an old disk is often
    // upper case; given by name, such a file is meant to be opened.
    if (ext.size() != 4 || ext[0] != '.')
        return false;
    std::string lower = ext;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower == ".dbx";
}

struct FileLook {
    int nError = 0;          // errno of the failed open or read
    bool bRegular = false;   // what was opened is a regular file
    bool bSignature = false;
};

// Opens path without waiting (a FIFO put in the file's place would block a plain open) and reads
// its first bytes.
FileLook LookAtFile(const std::string& path)
{
    FileLook look;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        look.nError = errno;
        return look;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        look.bRegular = true;
        unsigned char head[sizeof kFolderSignature] = {};
        ssize_t got;
        while ((got = ::read(fd, head, sizeof head)) < 0 && errno == EINTR) {
        }
        if (got < 0)
            look.nError = errno;
        else
            look.bSignature = got == static_cast<ssize_t>(sizeof head) && std::memcmp(head, kFolderSignature, sizeof head) == 0;
    }
    ::close(fd);
    return look;
}

// The path with every link, ".", ".." and doubled separator resolved; nothing, with error set, when
// it cannot be.
std::optional<std::string> Resolve(const std::string& path, int& error)
{
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
    if (!resolved) {
        error = errno;
        return std::nullopt;
    }
    return std::string(resolved.get());
}

StartPlan Ask(std::string message)
{
    StartPlan plan;
    plan.strMessage = std::move(message);
    return plan;
}

} // namespace

StartPlan PlanStartPath(const std::string& path, const std::string& cwd)
{
    if (path.empty())
        return {};
    const std::string absolute = path.front() == '/' ? path : JoinPath(cwd, path);

    struct stat st {};
    if (::stat(absolute.c_str(), &st) != 0) {
        const int error = errno;
        return Ask("The path " + path + " cannot be opened: " + std::strerror(error) + ".");
    }

    if (S_ISDIR(st.st_mode)) {
        DirectoryReader reader;
        if (!reader.Open(absolute))
            return Ask("The directory " + path + " cannot be read: " + std::strerror(reader.Error()) + ".");
        int error = 0;
        const auto directory = Resolve(absolute, error);
        if (!directory)
            return Ask("The directory " + path + " cannot be read: " + std::strerror(error) + ".");
        StartPlan plan;
        plan.action = StartAction::ListDirectory;
        plan.strDirectory = *directory;
        return plan;
    }
    if (!S_ISREG(st.st_mode))
        return Ask(path + " is neither a directory nor a file: there is nothing in it to list.");

    const FileLook look = LookAtFile(absolute);
    if (look.nError != 0)
        return Ask("The file " + path + " cannot be read: " + std::strerror(look.nError) + ".");
    if (!look.bRegular)
        return Ask(path + " is neither a directory nor a file: there is nothing in it to list.");

    const PathParts parts = SplitPath(absolute);
    const std::string name = parts.fname + parts.ext;
    // The directory part of an absolute path is never empty: it holds at least the root.
    int error = 0;
    const auto directory = Resolve(parts.dir, error);
    if (!directory)
        return Ask("The directory " + parts.dir + " cannot be read: " + std::strerror(error) + ".");

    StartPlan plan;
    plan.strDirectory = *directory;
    if (IsMailFolderName(parts.ext) || look.bSignature) {
        plan.action = StartAction::ListMailFolder;
        plan.strMailFolder = JoinPath(*directory, name);
        return plan;
    }
    // The file's row is found by listing the directory, so the directory must be readable.
    DirectoryReader reader;
    if (!reader.Open(*directory))
        return Ask("The directory " + *directory + " cannot be read: " + std::strerror(reader.Error()) + ".");
    plan.action = StartAction::ListDirectory;
    plan.strSelectName = name;
    plan.bMessageFile = parts.ext == ".eml" || parts.ext == ".msg";
    return plan;
}

std::string StartPathArgument(int argc, const char* const* argv)
{
    bool bOptions = true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i] ? argv[i] : "";
        if (bOptions && arg == "--") {
            bOptions = false;
            continue;
        }
        if (arg.empty() || (bOptions && arg.size() > 1 && arg.front() == '-'))
            continue;
        return std::string(arg);
    }
    return {};
}
