#pragma once
// Iterates one directory in the order the file system returns its items.
// Only "." and ".." are skipped; hidden items are returned like any other.

#include <cstdint>
#include <string>

struct DirectoryItem {
    std::string strName;        // the name without its path
    bool bDirectory = false;    // a directory, or a link to one
    std::uint64_t nSize = 0;    // length in bytes; 0 for directories
};

class DirectoryReader {
public:
    DirectoryReader() = default;
    ~DirectoryReader();
    DirectoryReader(const DirectoryReader&) = delete;
    DirectoryReader& operator=(const DirectoryReader&) = delete;

    // Starts on path. Returns false when it cannot be listed (missing, not a directory, denied);
    // Error() then says why.
    bool Open(const std::string& path);
    // The next item; false at the end, or when reading failed (Error() is then not 0).
    bool Next(DirectoryItem& item);
    void Close();
    // The errno value of the failed Open or Next; 0 while nothing failed.
    [[nodiscard]] int Error() const { return m_nError; }

private:
    void* m_dir = nullptr;  // DIR*, kept opaque so that callers need no system headers
    int m_nError = 0;
};
