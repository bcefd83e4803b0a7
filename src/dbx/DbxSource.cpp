#include "dbx/DbxSource.h"

#include <algorithm>
#include <cstring>

#include "dbx/DbxLayout.h"

namespace {

// Large enough to hold a record, a block header and the first pieces of a message in one read,
// small enough that a jump to another place of the file does not read much past what it uses.
constexpr std::size_t kWindowSize = 4 * 1024;
// A walk that keeps moving forward just past the window (the headers of a long chain, one every
// block) gets a window that grows up to this, so that it costs few reads.
constexpr std::size_t kLargestWindow = 64 * 1024;

} // namespace

DbxSource::DbxSource(const CFile& file) : m_file(file), m_nSize(file.GetLength())
{
    m_window.reserve(kWindowSize);
    m_nWindowWant = kWindowSize;
}

bool DbxSource::ReadExact(std::uint64_t offset, void* out, std::size_t count)
{
    if (!Contains(offset, count))
        return false;
    return ReadSome(offset, out, count) == count;
}

std::size_t DbxSource::ReadSome(std::uint64_t offset, void* out, std::size_t count)
{
    if (offset >= m_nSize || count == 0)
        return 0;
    count = static_cast<std::size_t>(std::min<std::uint64_t>(count, m_nSize - offset));
    auto* dest = static_cast<unsigned char*>(out);
    if (count > kWindowSize)
        return m_file.ReadAt(offset, dest, count);
    const bool inWindow = offset >= m_nWindowStart && offset - m_nWindowStart + count <= m_window.size();
    if (!inWindow) {
        const std::uint64_t windowEnd = m_nWindowStart + m_window.size();
        const bool bForward = offset >= m_nWindowStart && offset <= windowEnd + kWindowSize;
        m_nWindowWant = bForward ? std::min(m_nWindowWant * 2, kLargestWindow) : kWindowSize;
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(m_nWindowWant, m_nSize - offset));
        m_window.resize(want);
        m_window.resize(m_file.ReadAt(offset, m_window.data(), want));
        m_nWindowStart = offset;
    }
    const std::size_t start = static_cast<std::size_t>(offset - m_nWindowStart);
    const std::size_t got = std::min(count, m_window.size() > start ? m_window.size() - start : 0);
    std::memcpy(dest, m_window.data() + start, got);
    return got;
}

bool DbxSource::ReadU32(std::uint64_t offset, std::uint32_t& value)
{
    unsigned char bytes[4];
    if (!ReadExact(offset, bytes, sizeof bytes))
        return false;
    value = LoadU32(bytes);
    return true;
}
