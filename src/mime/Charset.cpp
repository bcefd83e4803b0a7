#include "mime/Charset.h"

#include <cerrno>
#include <cstdint>
#include <iconv.h>

#include <gmime/gmime.h>

#include "mime/MimeLibrary.h"

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

void AppendCodePoint(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Length of the valid UTF-8 sequence at text[pos], 0 when none starts there (overlong forms,
// surrogates and code points past U+10FFFF are invalid).
std::size_t SequenceAt(std::string_view text, std::size_t pos)
{
    const auto b0 = static_cast<unsigned char>(text[pos]);
    if (b0 < 0x80)
        return 1;
    std::size_t len = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (text.size() - pos < len)
        return 0;
    for (std::size_t i = 1; i < len; ++i) {
        const auto b = static_cast<unsigned char>(text[pos + i]);
        if (b < (i == 1 ? lo : 0x80) || b > (i == 1 ? hi : 0xBF))
            return 0;
    }
    return len;
}

// The 32 code points windows-1252 gives 0x80 to 0x9F; its five undefined bytes keep the C1
// control of the same number, as browsers read them.
constexpr std::uint16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

std::string FromWindows1252(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x80)
            out += ch;
        else if (b < 0xA0)
            AppendCodePoint(out, kWindows1252High[b - 0x80]);
        else
            AppendCodePoint(out, b);
    }
    return out;
}

bool HasMultibyteSequence(std::string_view text)
{
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        if (static_cast<unsigned char>(text[pos]) < 0x80)
            continue;
        const std::size_t len = SequenceAt(text, pos);
        if (len > 1)
            return true;
    }
    return false;
}

std::string Lower(std::string_view name)
{
    std::string out;
    for (const char ch : name) {
        if (ch == '"' || ch == '\'' || ch == ' ' || ch == '\t')
            continue;
        out += (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
    }
    return out;
}

Utf8Text Guess(std::string_view bytes)
{
    if (IsValidUtf8(bytes))
        return {std::string(bytes), "utf-8", true, true};
    return {FromWindows1252(bytes), "windows-1252", true, true};
}

// Converts with iconv, turning each byte that cannot be converted into U+FFFD. False when no
// converter exists for the charset.
bool ConvertWithIconv(std::string_view bytes, const std::string& charset, Utf8Text& result)
{
    InitMimeLibrary();
    iconv_t cd = g_mime_iconv_open("UTF-8", g_mime_charset_iconv_name(charset.c_str()));
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    std::string& out = result.strText;
    out.clear();
    char buffer[4096];
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    while (true) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, inLeft ? &in : nullptr, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (rc != static_cast<std::size_t>(-1)) {
            if (inLeft == 0) {
                // Flush any shift state.
                outPtr = buffer;
                outLeft = sizeof buffer;
                iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
                out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
                break;
            }
            continue;
        }
        if (errno == E2BIG)
            continue;
        // An invalid or cut-off sequence: one byte is lost, the rest is read on.
        out += kReplacement;
        result.bExact = false;
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (inLeft == 0)
            break;
    }
    g_mime_iconv_close(cd);
    // A converter's output is UTF-8 by contract; make sure of it all the same.
    if (!IsValidUtf8(out))
        out = ValidUtf8(out);
    return true;
}

} // namespace

bool IsValidUtf8(std::string_view text)
{
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t len = SequenceAt(text, pos);
        if (len == 0)
            return false;
        pos += len;
    }
    return true;
}

std::string ValidUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t len = SequenceAt(text, pos);
        if (len == 0) {
            out += kReplacement;
            ++pos;
        } else {
            out.append(text.substr(pos, len));
            pos += len;
        }
    }
    return out;
}

Utf8Text ToUtf8(std::string_view bytes, std::string_view declared)
{
    const std::string charset = Lower(declared);
    if (charset.empty() || charset == "unknown-8bit" || charset == "x-unknown" || charset == "unknown" ||
        charset == "default" || charset == "8bit" || charset == "7bit")
        return Guess(bytes);
    if (charset == "utf-8" || charset == "utf8") {
        if (IsValidUtf8(bytes))
            return {std::string(bytes), "utf-8", false, true};
        // UTF-8 with a few bad bytes keeps its UTF-8; text with no UTF-8 sequence at all is 8-bit
        // text labelled wrongly.
        if (HasMultibyteSequence(bytes))
            return {ValidUtf8(bytes), "utf-8", false, false};
        return {FromWindows1252(bytes), "windows-1252", true, true};
    }
    if (charset == "us-ascii" || charset == "ascii") {
        // 8-bit bytes under this label are the mail program's charset, not ASCII.
        for (const char ch : bytes)
            if (static_cast<unsigned char>(ch) >= 0x80)
                return Guess(bytes);
        return {std::string(bytes), "us-ascii", false, true};
    }
    if (charset == "iso-8859-1" || charset == "iso8859-1" || charset == "iso_8859-1" || charset == "latin1" ||
        charset == "latin-1" || charset == "l1" || charset == "windows-1252" || charset == "cp1252")
        return {FromWindows1252(bytes), charset, false, true};
    Utf8Text result;
    result.strCharset = charset;
    if (ConvertWithIconv(bytes, charset, result))
        return result;
    return Guess(bytes);
}
