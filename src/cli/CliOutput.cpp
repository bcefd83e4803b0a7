#include "cli/CliOutput.h"

#include "core/QuilloryApp.h"
#include "model/HeaderLines.h"
#include "model/listax.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>

int WrongUsage(std::string_view problem, std::string_view usage)
{
    std::cerr << kCliName << ": " << problem << '\n' << usage;
    return 2;
}

int StderrMessageBox::MessageBox(std::string_view text, std::string_view, unsigned)
{
    m_bShown = true;
    std::cerr << kCliName << ": ";
    std::cerr.write(text.data(), static_cast<std::streamsize>(text.size()));
    std::cerr << '\n';
    std::cerr.flush();
    return IDOK;
}

void StdoutWriter::Write(std::string_view text)
{
    if (m_nError == 0 && std::fwrite(text.data(), 1, text.size(), stdout) != text.size())
        m_nError = errno ? errno : EIO;
}

bool StdoutWriter::Finish()
{
    if (m_nError == 0 && std::fflush(stdout) != 0)
        m_nError = errno ? errno : EIO;
    if (m_nError == 0 && std::ferror(stdout))
        m_nError = EIO;
    if (m_nError == 0)
        return true;
    std::cerr << kCliName << ": cannot write to standard output: " << std::strerror(m_nError) << '\n';
    return false;
}

namespace {

// What each byte becomes inside a JSON string: 0 for itself, else the letter of its short escape,
// or 'u' for the six-character form. A table, so that the common byte costs one look-up.
constexpr auto kJsonEscape = [] {
    std::array<char, 256> table{};
    for (int b = 0; b < 256; ++b)
        table[b] = (b < 0x20 || b >= 0x7F) ? 'u' : 0;
    table['"'] = '"';
    table['\\'] = '\\';
    table['\n'] = 'n';
    table['\r'] = 'r';
    table['\t'] = 't';
    return table;
}();

void AppendNumber(std::string& out, std::uint64_t value)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, static_cast<std::size_t>(end - digits));
}

void AppendNumber(std::string& out, std::int64_t value)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, static_cast<std::size_t>(end - digits));
}

// True when one of the eight bytes in word may need an escape: below 0x20, from 0x7F on, '"' or
// '\\'. It may say so of a word that needs none (then the bytes are looked at one by one), never
// the other way round.
bool MayNeedEscape(std::uint64_t word)
{
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHighs = 0x8080808080808080ull;
    const auto hasZero = [](std::uint64_t v) { return (v - kOnes) & ~v & kHighs; };
    const std::uint64_t below20 = (word - kOnes * 0x20) & ~word & kHighs;
    const std::uint64_t from7F = (((word & ~kHighs) + kOnes) | word) & kHighs;
    return (below20 | from7F | hasZero(word ^ (kOnes * '"')) | hasZero(word ^ (kOnes * '\\'))) != 0;
}

void AppendKey(std::string& out, std::string_view key)
{
    out += ",\"";
    out += key;
    out += "\":";
}

} // namespace

void AppendJsonBytes(std::string& out, std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    const char* run = text.data();
    const char* const end = text.data() + text.size();
    for (const char* p = run; p != end; ++p) {
        // Most bytes need no escape: skip them eight at a time.
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, sizeof word);
            if (MayNeedEscape(word))
                break;
            p += 8;
        }
        if (p == end)
            break;
        const auto b = static_cast<unsigned char>(*p);
        const char escape = kJsonEscape[b];
        if (escape == 0)
            continue;
        out.append(run, static_cast<std::size_t>(p - run));
        run = p + 1;
        if (escape == 'u') {
            const char code[6] = {'\\', 'u', '0', '0', kHex[b >> 4], kHex[b & 15]};
            out.append(code, sizeof code);
        } else {
            const char code[2] = {'\\', escape};
            out.append(code, sizeof code);
        }
    }
    out.append(run, static_cast<std::size_t>(end - run));
    out += '"';
}

std::string JsonBytes(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 2);
    AppendJsonBytes(out, text);
    return out;
}

void AppendEntryJson(std::string& line, const listaf& e)
{
    line += "{\"serial\":";
    AppendNumber(line, std::int64_t{e.m_nSerial});
    AppendKey(line, "kind");
    AppendNumber(line, std::int64_t{e.m_nKind});
    AppendKey(line, "name");
    AppendJsonBytes(line, e.m_strName);
    AppendKey(line, "path");
    AppendJsonBytes(line, e.m_strPath);
    AppendKey(line, "ext");
    AppendJsonBytes(line, e.m_strExt);
    AppendKey(line, "size");
    AppendNumber(line, e.Size());
    AppendKey(line, "from");
    AppendJsonBytes(line, e.m_strFrom);
    AppendKey(line, "to");
    AppendJsonBytes(line, e.m_strTo);
    AppendKey(line, "subject");
    AppendJsonBytes(line, e.m_strSubject);
    AppendKey(line, "date");
    AppendJsonBytes(line, e.m_strDate);
    AppendKey(line, "header");
    AppendJsonBytes(line, e.m_strHeader);
    AppendKey(line, "record_offset");
    AppendNumber(line, std::uint64_t{e.m_nRecordOffset});
    AppendKey(line, "data_offset");
    AppendNumber(line, std::uint64_t{e.m_nDataOffset});
    // The header lines as the message holds them; the four above are the listing's escaped text.
    thread_local RawHeaderLines raw;
    RawLinesOf(e, raw);
    AppendKey(line, "from_raw");
    AppendJsonBytes(line, raw.strFrom);
    AppendKey(line, "to_raw");
    AppendJsonBytes(line, raw.strTo);
    AppendKey(line, "subject_raw");
    AppendJsonBytes(line, raw.strSubject);
    AppendKey(line, "date_raw");
    AppendJsonBytes(line, raw.strDate);
    if (e.m_nKind == KIND_FOLDER_MESSAGE) {
        // Found by scanning the file rather than through its index, and whether all of it was.
        line += e.m_recovery != MessageRecovery::None ? ",\"recovered\":true" : ",\"recovered\":false";
        line += e.m_recovery != MessageRecovery::Partial ? ",\"complete\":true" : ",\"complete\":false";
    }
    line += '}';
}

void ListMailFolderAt(CQuilloryApp& app, const std::string& path)
{
    listaf* folder = app.AppendEntry();
    folder->m_strPath = path;
    folder->m_nKind = KIND_MAIL_FOLDER;
    app.m_pCurrentEntry = folder;
    app.m_strCurrentDir = path;
    app.ListMailFolder();
}
