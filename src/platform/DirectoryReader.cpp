#include "platform/DirectoryReader.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

DirectoryReader::~DirectoryReader() { Close(); }

bool DirectoryReader::Open(const std::string& path)
{
    Close();
    m_nError = 0;
    m_dir = ::opendir(path.empty() ? "." : path.c_str());
    if (!m_dir)
        m_nError = errno;
    return m_dir != nullptr;
}

bool DirectoryReader::Next(DirectoryItem& item)
{
    auto* dir = static_cast<DIR*>(m_dir);
    if (!dir)
        return false;
    for (;;) {
        // readdir returns null at the end and on an error alike; only errno tells them apart.
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            m_nError = errno;
            return false;
        }
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        item = DirectoryItem{name, false, 0};
        struct stat st {};
        // Follow links, as the finder reported the target; a dangling link is a plain item.
        if (::fstatat(::dirfd(dir), entry->d_name, &st, 0) == 0 ||
            ::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            item.bDirectory = S_ISDIR(st.st_mode);
            item.nSize = item.bDirectory ? 0 : static_cast<std::uint64_t>(st.st_size);
        }
        return true;
    }
}

void DirectoryReader::Close()
{
    if (m_dir) {
        ::closedir(static_cast<DIR*>(m_dir));
        m_dir = nullptr;
    }
}
