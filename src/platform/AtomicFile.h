#pragma once
// Writes a file so that the old one, if any, survives every failure: the bytes go to a temporary
// file beside the destination, which is flushed and renamed over the destination only on Commit.
// A writer that is destroyed without a successful Commit removes its temporary file.

#include <cstddef>
#include <string>

#include "platform/File.h"

class AtomicFileWriter {
public:
    AtomicFileWriter() = default;
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Creates the temporary file beside destination. Returns false when it cannot be created.
    bool Open(const std::string& destination);
    // Returns false once any write has failed (a full disk, say); later writes do nothing.
    bool Write(const void* data, std::size_t count);
    // Flushes and renames into place. Returns false (and leaves the destination as it was) when
    // a write failed or the flush or rename fails.
    bool Commit();
    // Removes the temporary file; the destination is untouched.
    void Abandon();

    [[nodiscard]] const std::string& TemporaryPath() const { return m_strTemp; }

private:
    CFile m_file;
    std::string m_strDestination;
    std::string m_strTemp;
    bool m_bFailed = false;
};

// Replaces the file at path with contents, atomically. Returns false on any failure.
bool WriteFileAtomically(const std::string& path, const std::string& contents);
