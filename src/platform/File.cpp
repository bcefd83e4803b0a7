#include "platform/File.h"

#include <cerrno>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// Files this process holds with exclusive access: (device, inode) and how many opens hold each.
std::multiset<std::pair<dev_t, ino_t>>& ExclusiveTable()
{
    static std::multiset<std::pair<dev_t, ino_t>> table;
    return table;
}

void Fail(FileError* error, int err, bool sharing = false, bool notRegular = false)
{
    if (error)
        *error = FileError{err, sharing, notRegular};
}

} // namespace

bool IdentityOf(const std::string& path, FileIdentity& identity)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return false;
    identity = FileIdentity{st.st_dev, st.st_ino};
    return true;
}

bool IsHeldExclusively(const FileIdentity& identity)
{
    return ExclusiveTable().count({identity.device, identity.inode}) > 0;
}

CFile::~CFile() { Close(); }

bool CFile::Open(const std::string& path, unsigned flags, FileError* error)
{
    Close();
    const bool bWrite = (flags & (modeWrite | modeReadWrite)) != 0;
    const bool bCreate = (flags & modeCreate) != 0;
    int oflags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    oflags |= (flags & modeReadWrite) ? O_RDWR : (flags & modeWrite) ? O_WRONLY : O_RDONLY;
    if (bCreate)
        oflags |= O_CREAT;
    // Never truncate at open: the file may be one we must not touch; decide after fstat.
    const int fd = ::open(path.c_str(), oflags, 0644);
    if (fd < 0) {
        Fail(error, errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = errno;
        ::close(fd);
        Fail(error, err ? err : EINVAL, false, true);
        return false;
    }
    const FileIdentity identity{st.st_dev, st.st_ino};
    const unsigned share = flags & 0x70;
    const bool bExclusive = share == shareExclusive || (share == shareCompat && !bWrite);
    if ((bWrite && IsHeldExclusively(identity)) || (bExclusive && IsHeldExclusively(identity))) {
        ::close(fd);
        Fail(error, EBUSY, true);
        return false;
    }
    if (bCreate && !(flags & modeNoTruncate) && ::ftruncate(fd, 0) != 0) {
        const int err = errno;
        ::close(fd);
        Fail(error, err);
        return false;
    }
    // Regular files never block; clear the flag so writes behave normally.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_fd = fd;
    m_identity = identity;
    m_strPath = path;
    m_bExclusive = bExclusive;
    if (m_bExclusive)
        ExclusiveTable().insert({identity.device, identity.inode});
    return true;
}

void CFile::Close()
{
    if (m_fd < 0)
        return;
    if (m_bExclusive) {
        auto& table = ExclusiveTable();
        const auto it = table.find({m_identity.device, m_identity.inode});
        if (it != table.end())
            table.erase(it);
    }
    ::close(m_fd);
    m_fd = -1;
    m_bExclusive = false;
}

std::int64_t CFile::Seek(std::uint64_t offset)
{
    if (m_fd < 0)
        return -1;
    return ::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET);
}

std::size_t CFile::Read(void* buffer, std::size_t count)
{
    std::size_t done = 0;
    auto* out = static_cast<unsigned char*>(buffer);
    while (m_fd >= 0 && done < count) {
        const ssize_t n = ::read(m_fd, out + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::size_t CFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) const
{
    std::size_t done = 0;
    auto* out = static_cast<unsigned char*>(buffer);
    while (m_fd >= 0 && done < count) {
        const ssize_t n = ::pread(m_fd, out + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool CFile::Write(const void* buffer, std::size_t count)
{
    std::size_t done = 0;
    const auto* in = static_cast<const unsigned char*>(buffer);
    while (m_fd >= 0 && done < count) {
        const ssize_t n = ::write(m_fd, in + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return m_fd >= 0;
}

bool CFile::Flush()
{
    return m_fd >= 0 && ::fsync(m_fd) == 0;
}

std::uint64_t CFile::GetLength() const
{
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0)
        return 0;
    return static_cast<std::uint64_t>(st.st_size);
}
