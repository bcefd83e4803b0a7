#include "cli/CliOutput.h"

#include "core/QuilloryApp.h"
#include "model/HeaderLines.h"
#include "model/listax.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The first byte in [p, end) that needs an escape, or end. Most bytes need none: they are looked
// at sixteen at a time where the processor can, else eight.
const char* NextToEscape(const char* p, const char* end)
{
#if defined(__SSE2__)
    for (; end - p >= 16; p += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        // Compared as signed bytes, 0x80 to 0xFF are below 0x20 too, and need the escape as well.
        const __m128i control = _mm_cmplt_epi8(bytes, _mm_set1_epi8(0x20));
        const __m128i del = _mm_cmpeq_epi8(bytes, _mm_set1_epi8(0x7F));
        const __m128i quote = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('"'));
        const __m128i backslash = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'));
        const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(control, del), _mm_or_si128(quote, backslash)));
        if (mask != 0)
            return p + __builtin_ctz(static_cast<unsigned>(mask));
    }
#else
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHighs = 0x8080808080808080ull;
    const auto hasZero = [](std::uint64_t v) { return (v - kOnes) & ~v & kHighs; };
    for (; end - p >= 8; p += 8) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        // May say so of a word that needs no escape, never the other way round.
        const std::uint64_t below20 = (word - kOnes * 0x20) & ~word & kHighs;
        const std::uint64_t from7F = (((word & ~kHighs) + kOnes) | word) & kHighs;
        if ((below20 | from7F | hasZero(word ^ (kOnes * '"')) | hasZero(word ^ (kOnes * '\\'))) == 0)
            continue;
        for (int i = 0; i < 8; ++i)
            if (kJsonEscape[static_cast<unsigned char>(p[i])] != 0)
                return p + i;
    }
#endif
    for (; p != end; ++p)
        if (kJsonEscape[static_cast<unsigned char>(*p)] != 0)
            return p;
    return end;
}

} // namespace

void AppendJsonBytes(std::string& out, std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    // Written straight into the string, then cut to what was written: appending each run and
    // escape on its own cost more than finding them. Room is made for the text as it is and grown
    // at an escape when the rest might not fit.
    const std::size_t start = out.size();
    out.resize(start + text.size() + 40);
    char* w = out.data() + start;
    *w++ = '"';
    const char* run = text.data();
    const char* const end = text.data() + text.size();
    for (const char* p = NextToEscape(run, end); p != end; p = NextToEscape(run, end)) {
        const std::size_t room = static_cast<std::size_t>(out.data() + out.size() - w);
        const std::size_t need = static_cast<std::size_t>(end - run) + 6 + 1;
        if (room < need) {
            const std::size_t at = static_cast<std::size_t>(w - out.data());
            out.resize(out.size() + std::max(need - room, text.size() / 2));
            w = out.data() + at;
        }
        w = std::copy(run, p, w);
        run = p + 1;
        const auto b = static_cast<unsigned char>(*p);
        const char escape = kJsonEscape[b];
        *w++ = '\\';
        if (escape == 'u') {
            const char code[5] = {'u', '0', '0', kHex[b >> 4], kHex[b & 15]};
            w = std::copy_n(code, sizeof code, w);
        } else {
            *w++ = escape;
        }
    }
    w = std::copy(run, end, w);
    *w++ = '"';
    out.resize(static_cast<std::size_t>(w - out.data()));
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
    line += ",\"kind\":";
    AppendNumber(line, std::int64_t{e.m_nKind});
    line += ",\"name\":";
    AppendJsonBytes(line, e.m_strName);
    line += ",\"path\":";
    AppendJsonBytes(line, e.m_strPath);
    line += ",\"ext\":";
    AppendJsonBytes(line, e.m_strExt);
    line += ",\"size\":";
    AppendNumber(line, e.Size());
    line += ",\"from\":";
    AppendJsonBytes(line, e.m_strFrom);
    line += ",\"to\":";
    AppendJsonBytes(line, e.m_strTo);
    line += ",\"subject\":";
    AppendJsonBytes(line, e.m_strSubject);
    line += ",\"date\":";
    AppendJsonBytes(line, e.m_strDate);
    line += ",\"header\":";
    AppendJsonBytes(line, e.m_strHeader);
    line += ",\"record_offset\":";
    AppendNumber(line, std::uint64_t{e.m_nRecordOffset});
    line += ",\"data_offset\":";
    AppendNumber(line, std::uint64_t{e.m_nDataOffset});
    // The header lines as the message holds them; the four above are the listing's escaped text.
    thread_local RawHeaderLines raw;
    RawLinesOf(e, raw);
    line += ",\"from_raw\":";
    AppendJsonBytes(line, raw.strFrom);
    line += ",\"to_raw\":";
    AppendJsonBytes(line, raw.strTo);
    line += ",\"subject_raw\":";
    AppendJsonBytes(line, raw.strSubject);
    line += ",\"date_raw\":";
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

std::string FolderMessageName(std::string given)
{
    if (given.size() > 4 && given.compare(given.size() - 4, 4, ".eml") == 0)
        given.resize(given.size() - 4);
    return given;
}

const listaf* FindFolderMessage(const CQuilloryApp& app, const std::string& given)
{
    const std::string name = FolderMessageName(given);
    for (const listaf* e = app.FirstEntry(); e; e = e->Next())
        if (e->m_nKind == KIND_FOLDER_MESSAGE && e->m_strName == name)
            return e;
    return nullptr;
}
