#pragma once
// What several benchmarks need: a directory of their own for generated input, a folder listed as
// the program lists it, and base64 for generated attachments.

#include <cstdint>
#include <filesystem>
#include <string>

#include "core/QuilloryApp.h"
#include "model/listax.h"

namespace bench {

// $TMPDIR/NAME (or /tmp/NAME), made once.
inline std::string BenchDir(const std::string& name)
{
    const auto path = std::filesystem::temp_directory_path() / name;
    std::filesystem::create_directories(path);
    return path.string();
}

// Lists the mail-folder file at path into app as a click on it does.
inline void ListFolderInto(CQuilloryApp& app, const std::string& path)
{
    listaf* folder = app.AppendEntry();
    folder->m_strPath = path;
    app.m_pCurrentEntry = folder;
    app.m_strCurrentDir = path;
    app.ListMailFolder();
}

// The same into an application of its own; returns the rows listed.
inline std::int32_t ListFolder(const std::string& path, bool bRecovered = false)
{
    CQuilloryApp app;
    app.m_bShowRecovered = bRecovered;
    ListFolderInto(app, path);
    return app.m_nItemCount;
}

// Base64 in lines of 76 characters ending in CR LF, as mail carries it.
inline std::string Base64(const std::string& bytes)
{
    static const char* const alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::uint32_t b0 = static_cast<unsigned char>(bytes[i]);
        const std::uint32_t b1 = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
        const std::uint32_t b2 = i + 2 < bytes.size() ? static_cast<unsigned char>(bytes[i + 2]) : 0;
        const std::uint32_t n = (b0 << 16) | (b1 << 8) | b2;
        out += alphabet[(n >> 18) & 63];
        out += alphabet[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? alphabet[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? alphabet[n & 63] : '=';
        if ((i / 3 + 1) % 19 == 0)
            out += "\r\n";
    }
    return out + "\r\n";
}

} // namespace bench
