#include "platform/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Path.h"

AtomicFileWriter::~AtomicFileWriter() { Abandon(); }

bool AtomicFileWriter::Open(const std::string& destination)
{
    Abandon();
    m_bFailed = false;
    m_strDestination = destination;
    const PathParts parts = SplitPath(destination);
    // Beside the destination so the rename stays on one file system; hidden and unique.
    std::string pattern = parts.dir + "." + parts.fname + parts.ext + ".partial-XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    m_strTemp = pattern;
    if (!m_file.Open(m_strTemp, CFile::modeWrite | CFile::shareExclusive | CFile::typeBinary)) {
        ::unlink(m_strTemp.c_str());
        m_strTemp.clear();
        return false;
    }
    // Keep the permissions an existing destination had; a new one gets the usual 0644 less umask.
    struct stat st {};
    if (::stat(destination.c_str(), &st) == 0)
        ::chmod(m_strTemp.c_str(), st.st_mode & 07777);
    else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::chmod(m_strTemp.c_str(), 0666 & ~mask);
    }
    return true;
}

bool AtomicFileWriter::Write(const void* data, std::size_t count)
{
    if (m_bFailed || !m_file.IsOpen())
        return false;
    if (!m_file.Write(data, count))
        m_bFailed = true;
    return !m_bFailed;
}

bool AtomicFileWriter::Commit()
{
    if (m_strTemp.empty() || m_bFailed || !m_file.Flush()) {
        Abandon();
        return false;
    }
    m_file.Close();
    if (::rename(m_strTemp.c_str(), m_strDestination.c_str()) != 0) {
        Abandon();
        return false;
    }
    m_strTemp.clear();
    return true;
}

void AtomicFileWriter::Abandon()
{
    m_file.Close();
    if (!m_strTemp.empty()) {
        ::unlink(m_strTemp.c_str());
        m_strTemp.clear();
    }
}

bool WriteFileAtomically(const std::string& path, const std::string& contents)
{
    AtomicFileWriter writer;
    return writer.Open(path) && writer.Write(contents.data(), contents.size()) && writer.Commit();
}
