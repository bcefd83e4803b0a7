#include "platform/SettingsStore.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>

#include "platform/AtomicFile.h"
#include "platform/File.h"

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
    return MakeFolders(m_strFolder) && WriteFileAtomically(m_strFile, kMagic);
}

std::optional<std::map<std::string, std::string>> SettingsStore::Load() const
{
    CFile file;
    if (!file.Open(m_strFile, CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary))
        return std::nullopt;
    if (file.GetLength() > kMaxFileSize)
        return std::nullopt;
    std::string text(kMaxFileSize + 1, '\0');
    text.resize(file.Read(text.data(), text.size()));
    if (text.size() > kMaxFileSize || text.rfind(kMagic, 0) != 0 || text.find('\0') != std::string::npos)
        return std::nullopt;
    std::map<std::string, std::string> values;
    std::size_t pos = std::char_traits<char>::length(kMagic);
    while (pos < text.size()) {
        const std::size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            return std::nullopt;  // a torn last line: not a file we wrote
        const std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0)
            return std::nullopt;
        auto value = Unescape(line.substr(eq + 1));
        if (!value)
            return std::nullopt;
        values[line.substr(0, eq)] = std::move(*value);
    }
    return values;
}

std::optional<std::string> SettingsStore::QueryValue(const std::string& name, std::size_t bufferSize) const
{
    const auto values = Load();
    if (!values)
        return std::nullopt;
    const auto it = values->find(name);
    if (it == values->end() || it->second.size() + 1 > bufferSize)
        return std::nullopt;
    return it->second;
}

bool SettingsStore::SetValue(const std::string& name, const std::string& value)
{
    if (!KeyExists() || name.empty() || name.find_first_of("=\n\r") != std::string::npos)
        return false;
    // A garbled file is replaced by one that holds just this value: its contents were unreadable.
    auto values = Load().value_or(std::map<std::string, std::string>{});
    values[name] = value;
    std::string text = kMagic;
    for (const auto& [key, val] : values)
        text += key + "=" + Escape(val) + "\n";
    return WriteFileAtomically(m_strFile, text);
}
