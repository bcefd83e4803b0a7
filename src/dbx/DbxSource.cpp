#include "dbx/DbxSource.h"

#include <algorithm>
#include <cstring>

#include "dbx/DbxLayout.h"

namespace {

// Large enough to hold a record, a block header and the first pieces of a message in one read,
// small enough that listing a folder of huge messages does not read much past what it uses.
constexpr std::size_t kWindowSize = 4 * 1024;

} // namespace

DbxSource::DbxSource(const CFile& file) : m_file(file), m_nSize(file.GetLength())
{
    m_window.reserve(kWindowSize);
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
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kWindowSize, m_nSize - offset));
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
