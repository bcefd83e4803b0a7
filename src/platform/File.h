#pragma once
// A file over POSIX I/O with the few behaviours the program relies on: open flags as numeric mode
// bits, absolute seeks, reads that say how much they read, and share rules. A file opened without
// a share flag is held exclusively by this process: opening it again for writing is refused. POSIX
// has no such locks between programs, so the program keeps the table of what it holds itself.

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

// Identity of a file on this system: two paths name the same file exactly when these agree.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The identity of the file at path, following links; false when it does not exist.
[[nodiscard]] bool IdentityOf(const std::string& path, FileIdentity& identity);

// Why an open failed; kept for the caller, never shown to the user.
struct FileError {
    int errnoValue = 0;
    bool sharingViolation = false;  // the file is held exclusively by an open source
    bool notRegular = false;        // a directory, FIFO, device or socket
};

class CFile {
public:
    // Open flags, as numeric mode bits.
    static constexpr unsigned modeRead = 0x0000;
    static constexpr unsigned modeWrite = 0x0001;
    static constexpr unsigned modeReadWrite = 0x0002;
    static constexpr unsigned shareCompat = 0x0000;
    static constexpr unsigned shareExclusive = 0x0010;
    static constexpr unsigned shareDenyWrite = 0x0020;
    static constexpr unsigned shareDenyRead = 0x0030;
    static constexpr unsigned shareDenyNone = 0x0040;
    static constexpr unsigned modeNoTruncate = 0x2000;
    static constexpr unsigned modeCreate = 0x1000;
    static constexpr unsigned typeBinary = 0x8000;

    CFile() = default;
    ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Opens path. Only regular files open: a FIFO or device is refused without blocking, since a
    // listing must never hang on one. modeCreate without modeNoTruncate empties an existing file,
    // but never one that this process holds open exclusively (reported as a sharing violation).
    // Reading opens with no share flag (shareCompat) or shareExclusive hold the file exclusively.
    // Returns true on success.
    bool Open(const std::string& path, unsigned flags, FileError* error = nullptr);
    void Close();
    [[nodiscard]] bool IsOpen() const { return m_fd >= 0; }

    // Absolute position; returns the new position, or -1 on failure.
    std::int64_t Seek(std::uint64_t offset);
    // Reads up to count bytes at the current position; returns how many were read (0 at the end or
    // on error).
    std::size_t Read(void* buffer, std::size_t count);
    // Reads up to count bytes at offset without moving the position; returns how many were read.
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) const;
    // Writes all count bytes; returns false when they could not all be written.
    bool Write(const void* buffer, std::size_t count);
    // Flushes written data to the disk; returns false on failure.
    bool Flush();
    [[nodiscard]] std::uint64_t GetLength() const;
    [[nodiscard]] FileIdentity Identity() const { return m_identity; }
    [[nodiscard]] const std::string& GetFilePath() const { return m_strPath; }

private:
    int m_fd = -1;
    bool m_bExclusive = false;
    FileIdentity m_identity;
    std::string m_strPath;
};

// True while this process holds the file with this identity open exclusively.
[[nodiscard]] bool IsHeldExclusively(const FileIdentity& identity);
