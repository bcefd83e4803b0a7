#include "platform/SettingsStore.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/AtomicFile.h"
#include "platform/File.h"
#include "platform/Path.h"

namespace {

constexpr const char* kMagic = "QuilloryKey 1\n";

std::string DefaultFolder()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/')
        return std::string(xdg) + "/Quillory";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.config/Quillory";
}

// Values are paths: any byte but NUL. Backslash, line feed and carriage return are escaped so
// that one line holds one value.
std::string Escape(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::optional<std::string> Unescape(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size())
            return std::nullopt;
        switch (text[i]) {
        case '\\': out += '\\'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        default: return std::nullopt;
        }
    }
    return out;
}

// One "name=value" line (without its line feed) into values; false when it does not parse.
bool ParseLine(const std::string& line, std::map<std::string, std::string>& values)
{
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0 || line.find('\0') != std::string::npos)
        return false;
    auto value = Unescape(line.substr(eq + 1));
    if (!value)
        return false;
    values[line.substr(0, eq)] = std::move(*value);
    return true;
}

// The file that path names once symbolic links are followed, so that replacing it leaves the
// links in place. A link may name a file that does not exist yet. Nothing for a loop of links or
// a link that cannot be read.
std::optional<std::string> FollowLinks(std::string path)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        char target[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof target)
            return std::nullopt;
        std::string next(target, static_cast<std::size_t>(n));
        if (next.front() != '/')
            next = SplitPath(path).dir + next;
        path = std::move(next);
    }
    return std::nullopt;
}

// Copies the file at from, whole, to to (replaced atomically).
bool CopyFile(const std::string& from, const std::string& to)
{
    CFile in;
    if (!in.Open(from, CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary))
        return false;
    AtomicFileWriter out;
    if (!out.Open(to))
        return false;
    char buffer[16384];
    std::uint64_t copied = 0;
    for (std::size_t got; (got = in.Read(buffer, sizeof buffer)) > 0; copied += got)
        if (!out.Write(buffer, got))
            return false;
    // A read error also ends the loop early; only a copy of every byte is a backup.
    return copied == in.GetLength() && out.Commit();
}

bool MakeFolders(const std::string& folder)
{
    for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
        if (pos != folder.size() && folder[pos] != '/')
            continue;
        const std::string part = folder.substr(0, pos);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Holds the exclusive lock on the key's lock file for its lifetime. When the lock file cannot be
// made (a folder that does not take new files), the change goes ahead unlocked: it can only succeed
// if the settings file lies elsewhere, and refusing would lose the value for certain.
class KeyLock {
public:
    explicit KeyLock(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600))
    {
        if (m_fd < 0)
            return;
        while (::flock(m_fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(m_fd);
                m_fd = -1;
                return;
            }
        }
    }
    ~KeyLock()
    {
        // Closing the descriptor releases the lock.
        if (m_fd >= 0)
            ::close(m_fd);
    }
    KeyLock(const KeyLock&) = delete;
    KeyLock& operator=(const KeyLock&) = delete;

private:
    int m_fd;
};

} // namespace

SettingsStore::SettingsStore() : SettingsStore(DefaultFolder()) {}

SettingsStore::SettingsStore(std::string folder)
    : m_strFolder(std::move(folder)), m_strFile(m_strFolder + "/settings")
{
}

bool SettingsStore::KeyExists() const
{
    struct stat st {};
    return ::stat(m_strFile.c_str(), &st) == 0;
}

bool SettingsStore::CreateKey()
{
    if (KeyExists())
        return true;
    if (!MakeFolders(m_strFolder))
        return false;
    const KeyLock lock(LockPath());
    // Another program may have made the key, and stored values in it, since the look above.
    if (KeyExists())
        return true;
    const auto target = FollowLinks(m_strFile);
    return target && WriteFileAtomically(*target, kMagic);
}

std::optional<SettingsStore::Contents> SettingsStore::Load() const
{
    CFile file;
    if (!file.Open(m_strFile, CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary))
        return std::nullopt;
    Contents contents;
    if (file.GetLength() > kMaxFileSize) {
        contents.bComplete = false;
        return contents;
    }
    std::string text(kMaxFileSize + 1, '\0');
    text.resize(file.Read(text.data(), text.size()));
    if (text.size() != file.GetLength() || text.size() > kMaxFileSize) {
        contents.bComplete = false;  // a read error, or a file that grew while it was read
        return contents;
    }
    std::size_t pos = 0;
    if (text.empty())
        return contents;  // nothing in it to lose
    if (text.rfind(kMagic, 0) == 0)
        pos = std::char_traits<char>::length(kMagic);
    else
        contents.bComplete = false;
    while (pos < text.size()) {
        const std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) {
            // A torn last line: a write was cut short, and its value may be too.
            contents.bComplete = false;
            break;
        }
        if (!ParseLine(text.substr(pos, end - pos), contents.values))
            contents.bComplete = false;
        pos = end + 1;
    }
    return contents;
}

std::optional<std::string> SettingsStore::QueryValue(const std::string& name, std::size_t bufferSize) const
{
    const auto contents = Load();
    if (!contents)
        return std::nullopt;
    const auto it = contents->values.find(name);
    if (it == contents->values.end() || it->second.size() + 1 > bufferSize)
        return std::nullopt;
    return it->second;
}

bool SettingsStore::SetValue(const std::string& name, const std::string& value)
{
    if (!KeyExists() || name.empty() || name.find_first_of("=\n\r") != std::string::npos)
        return false;
    const KeyLock lock(LockPath());
    // A file that cannot be read cannot be kept either: leave it alone.
    auto contents = Load();
    if (!contents)
        return false;
    const auto target = FollowLinks(m_strFile);
    if (!target)
        return false;
    // The lines that did not parse are dropped from the new file, so the old one is kept first.
    if (!contents->bComplete && !CopyFile(*target, BackupPath()))
        return false;
    contents->values[name] = value;
    std::string text = kMagic;
    for (const auto& [key, val] : contents->values)
        text += key + "=" + Escape(val) + "\n";
    return WriteFileAtomically(*target, text);
}
