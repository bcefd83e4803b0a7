#pragma once
// Bounded reads from an open mail-folder file. Every offset and length that comes from the file is
// checked here against the file's size before anything is read, so a damaged or hostile file can
// only make a read fail, never reach past the end or size an allocation.
//
// Listing touches many small, nearby pieces (a record, a block header, the first bytes of a
// message), so reads are served from one small window of the file that moves forward as needed;
// that turns the dozen system calls a message would cost into about one. A walk that keeps going
// forward, such as the headers of a long chain, gets a larger window.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/File.h"

class DbxSource {
public:
    // The file must stay open for the life of the source; its size is taken now.
    explicit DbxSource(const CFile& file);

    [[nodiscard]] std::uint64_t Size() const { return m_nSize; }
    // True when [offset, offset + count) lies wholly inside the file.
    [[nodiscard]] bool Contains(std::uint64_t offset, std::uint64_t count) const
    {
        return offset <= m_nSize && count <= m_nSize - offset;
    }
    // Reads exactly count bytes at offset. Returns false, and reads nothing, when the range is not
    // wholly inside the file or the file came up short (it shrank while we read).
    [[nodiscard]] bool ReadExact(std::uint64_t offset, void* out, std::size_t count);
    // Reads as much of [offset, offset + count) as the file holds. Returns the number read.
    [[nodiscard]] std::size_t ReadSome(std::uint64_t offset, void* out, std::size_t count);
    [[nodiscard]] bool ReadU32(std::uint64_t offset, std::uint32_t& value);

private:
    const CFile& m_file;
    std::uint64_t m_nSize = 0;
    std::vector<unsigned char> m_window;   // bytes of the file from m_nWindowStart on
    std::uint64_t m_nWindowStart = 0;
    std::size_t m_nWindowWant = 0;         // how much the next refill reads
};
