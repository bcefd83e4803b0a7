#include "mime/HeaderDecode.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <gmime/gmime.h>

#include "mime/Charset.h"
#include "mime/MimeLibrary.h"

namespace {

struct OptionsDeleter {
    void operator()(GMimeParserOptions* options) const { g_mime_parser_options_free(options); }
};
using OptionsPtr = std::unique_ptr<GMimeParserOptions, OptionsDeleter>;

OptionsPtr MakeOptions(const char* hint)
{
    OptionsPtr options(g_mime_parser_options_new());
    const char* withHint[] = {"utf-8", hint, "windows-1252", nullptr};
    const char* plain[] = {"utf-8", "windows-1252", nullptr};
    g_mime_parser_options_set_fallback_charsets(options.get(), hint ? withHint : plain);
    g_mime_parser_options_set_rfc2047_compliance_mode(options.get(), GMIME_RFC_COMPLIANCE_LOOSE);
    return options;
}

// Shared by every thread: the decoder only reads it.
GMimeParserOptions* DefaultOptions()
{
    static OptionsPtr options;
    static std::once_flag once;
    std::call_once(once, [] {
        InitMimeLibrary();
        options = MakeOptions(nullptr);
    });
    return options.get();
}

bool IsSpace(char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; }

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// True when text needs no decoding: printable ASCII (and spaces) with no encoded word.
bool IsPlain(std::string_view text)
{
    char previous = 0;
    for (const char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x20 || b >= 0x7F || (ch == '?' && previous == '='))
            return false;
        previous = ch;
    }
    return true;
}

// C0 and C1 controls and DEL become spaces, in place: a cell or a terminal line must not be broken
// or steered by what an encoded word held. text is valid UTF-8 from from on.
void ControlsToSpaces(std::string& text, std::size_t from)
{
    std::size_t to = from;
    for (std::size_t i = from; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x20 || b == 0x7F) {
            text[to++] = ' ';
        } else if (b == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            text[to++] = ' ';
            ++i;
        } else {
            text[to++] = text[i];
        }
    }
    text.resize(to);
}

// Converters for the charsets of encoded words, one set per thread (a converter keeps state). A
// charset that reads each byte on its own (koi8-r, windows-1251, iso-8859-x ...) gets a table made
// once from its converter, which spares a folder of such headers a conversion call per word.
class ConverterCache {
public:
    struct Converter {
        std::string strCharset;
        iconv_t cd = reinterpret_cast<iconv_t>(-1);
        bool bSingleByte = false;
        std::uint8_t length[256] = {};  // UTF-8 bytes of each byte's character; 0: not a character
        char utf8[256][4] = {};
    };

    ConverterCache() = default;
    ConverterCache(const ConverterCache&) = delete;
    ConverterCache& operator=(const ConverterCache&) = delete;
    ~ConverterCache()
    {
        for (const auto& converter : m_converters)
            if (converter->cd != reinterpret_cast<iconv_t>(-1))
                g_mime_iconv_close(converter->cd);
    }

    // The converter from charset (lower case) to UTF-8, the one the library would use; null when
    // there is none.
    const Converter* Get(const std::string& charset)
    {
        for (const auto& converter : m_converters)
            if (converter->strCharset == charset)
                return converter->cd == reinterpret_cast<iconv_t>(-1) ? nullptr : converter.get();
        // A folder of mail in a few charsets needs a few converters; a hostile one gets no more.
        if (m_converters.size() >= 32)
            return nullptr;
        InitMimeLibrary();
        auto converter = std::make_unique<Converter>();
        converter->strCharset = charset;
        converter->cd = g_mime_iconv_open("UTF-8", g_mime_charset_iconv_name(charset.c_str()));
        if (converter->cd != reinterpret_cast<iconv_t>(-1))
            MakeTable(*converter);
        m_converters.push_back(std::move(converter));
        const Converter* made = m_converters.back().get();
        return made->cd == reinterpret_cast<iconv_t>(-1) ? nullptr : made;
    }

private:
    // A charset is read byte by byte when every byte alone is one character or none: a byte that
    // starts a longer sequence or changes state (EINVAL, or no output) marks a charset that is not.
    static void MakeTable(Converter& converter)
    {
        for (int b = 0; b < 256; ++b) {
            iconv(converter.cd, nullptr, nullptr, nullptr, nullptr);
            char in[1] = {static_cast<char>(b)};
            char* inPtr = in;
            std::size_t inLeft = 1;
            char out[8];
            char* outPtr = out;
            std::size_t outLeft = sizeof out;
            const std::size_t rc = iconv(converter.cd, &inPtr, &inLeft, &outPtr, &outLeft);
            const std::size_t produced = sizeof out - outLeft;
            if (rc == static_cast<std::size_t>(-1)) {
                if (errno != EILSEQ)
                    return;
                continue;
            }
            if (inLeft != 0 || produced == 0 || produced > 4)
                return;
            converter.length[b] = static_cast<std::uint8_t>(produced);
            std::memcpy(converter.utf8[b], out, produced);
        }
        iconv(converter.cd, nullptr, nullptr, nullptr, nullptr);
        converter.bSingleByte = true;
    }

    std::vector<std::unique_ptr<Converter>> m_converters;
};

int HexValue(char ch)
{
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    return -1;
}

int Base64Value(char ch)
{
    if (ch >= 'A' && ch <= 'Z') return ch - 'A';
    if (ch >= 'a' && ch <= 'z') return ch - 'a' + 26;
    if (ch >= '0' && ch <= '9') return ch - '0' + 52;
    if (ch == '+') return 62;
    if (ch == '/') return 63;
    return -1;
}

// Decodes the text of one encoded word. False for anything unusual.
bool DecodeWordText(char encoding, std::string_view text, std::string& bytes)
{
    if (encoding == 'Q' || encoding == 'q') {
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char ch = text[i];
            if (ch == '_') {
                bytes += ' ';
            } else if (ch == '=') {
                if (i + 2 >= text.size())
                    return false;
                const int hi = HexValue(text[i + 1]);
                const int lo = HexValue(text[i + 2]);
                if (hi < 0 || lo < 0)
                    return false;
                bytes += static_cast<char>(hi * 16 + lo);
                i += 2;
            } else if (static_cast<unsigned char>(ch) > 0x20 && static_cast<unsigned char>(ch) < 0x7F) {
                bytes += ch;
            } else {
                return false;
            }
        }
        return true;
    }
    if (encoding != 'B' && encoding != 'b')
        return false;
    if (text.size() % 4 != 0)
        return false;
    for (std::size_t i = 0; i < text.size(); i += 4) {
        int v[4];
        int pad = 0;
        for (int k = 0; k < 4; ++k) {
            const char ch = text[i + k];
            if (ch == '=' && i + 4 == text.size() && k >= 2) {
                v[k] = 0;
                ++pad;
            } else if (pad > 0 || (v[k] = Base64Value(ch)) < 0) {
                return false;
            }
        }
        const std::uint32_t n = (static_cast<std::uint32_t>(v[0]) << 18) | (static_cast<std::uint32_t>(v[1]) << 12) |
                                (static_cast<std::uint32_t>(v[2]) << 6) | static_cast<std::uint32_t>(v[3]);
        bytes += static_cast<char>(n >> 16);
        if (pad < 2)
            bytes += static_cast<char>((n >> 8) & 0xFF);
        if (pad < 1)
            bytes += static_cast<char>(n & 0xFF);
    }
    return true;
}

// Appends bytes in charset to out as UTF-8. False when they do not convert cleanly.
bool AppendConverted(const std::string& charset, const std::string& bytes, std::string& out)
{
    if (charset == "utf-8") {
        if (!IsValidUtf8(bytes))
            return false;
        out += bytes;
        return true;
    }
    thread_local ConverterCache cache;
    const ConverterCache::Converter* converter = cache.Get(charset);
    if (!converter)
        return false;
    if (converter->bSingleByte) {
        for (const char ch : bytes) {
            const auto b = static_cast<unsigned char>(ch);
            if (converter->length[b] == 0)
                return false;
            out.append(converter->utf8[b], converter->length[b]);
        }
        return true;
    }
    iconv(converter->cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char buffer[512];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t rc = iconv(converter->cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG)
            return false;
    }
    // Flush what a stateful charset still holds.
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    if (iconv(converter->cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1))
        return false;
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    return true;
}

bool IsBlank(char ch) { return ch == ' ' || ch == '\t'; }

// The decoder for the common case, many times faster than the library's: printable ASCII and
// encoded words that stand as words of their own (white space or the ends on both sides), in
// charsets that convert cleanly. Gives the library's result, or false to leave the value to it. It
// differs only where the library loses text: a character split over two base64 words, which it
// keeps, and a word that decodes to a NUL byte, where the library's text ends and this one goes on
// (the NUL shown as a space).
bool DecodeCommon(std::string_view value, std::string& out)
{
    out.clear();
    // Adjacent words in one charset are converted together, as a character may be split between
    // them. Kept from call to call, for their storage.
    thread_local std::string pendingCharset;
    thread_local std::string pendingBytes;
    thread_local std::string charset;
    pendingCharset.clear();
    pendingBytes.clear();
    std::size_t pos = 0;
    std::size_t plainStart = 0;
    bool bLastWasWord = false;
    const auto flush = [&]() {
        if (pendingCharset.empty())
            return true;
        const bool ok = AppendConverted(pendingCharset, pendingBytes, out);
        pendingCharset.clear();
        pendingBytes.clear();
        return ok;
    };
    while (pos <= value.size()) {
        const std::size_t start = value.find("=?", pos);
        const std::size_t plainEnd = start == std::string_view::npos ? value.size() : start;
        const std::string_view plain = value.substr(plainStart, plainEnd - plainStart);
        for (const char ch : plain)
            if (static_cast<unsigned char>(ch) < 0x20 ? ch != '\t' : static_cast<unsigned char>(ch) >= 0x7F)
                return false;
        bool bOnlyBlanks = true;
        for (const char ch : plain)
            bOnlyBlanks = bOnlyBlanks && IsBlank(ch);
        if (start == std::string_view::npos) {
            if (!flush())
                return false;
            out += plain;
            return true;
        }
        // An encoded word must start a word and end one.
        if (start > 0 && !IsBlank(value[start - 1]))
            return false;
        const std::size_t q1 = value.find('?', start + 2);
        const std::size_t q2 = q1 == std::string_view::npos ? q1 : value.find('?', q1 + 1);
        const std::size_t end = q2 == std::string_view::npos ? q2 : value.find("?=", q2 + 1);
        if (end == std::string_view::npos || q2 != q1 + 2 || q1 == start + 2)
            return false;
        if (end + 2 < value.size() && !IsBlank(value[end + 2]))
            return false;
        const std::string_view charsetText = value.substr(start + 2, q1 - start - 2);
        const std::string_view text = value.substr(q2 + 1, end - q2 - 1);
        if (text.empty())
            return false;
        for (const char ch : text)
            if (ch == ' ' || ch == '\t' || ch == '?')
                return false;
        charset.clear();
        for (const char ch : charsetText) {
            const bool bLetter = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
            if (!(bLetter || (ch >= '0' && ch <= '9') || ch == '-' || ch == '_' || ch == '.' || ch == ':'))
                return false;
            charset += (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
        }
        if (charset == "utf8")
            charset = "utf-8";
        // White space between two encoded words is not text; elsewhere it is.
        if (!(bLastWasWord && bOnlyBlanks)) {
            if (!flush())
                return false;
            out += plain;
        }
        if (charset != pendingCharset && !flush())
            return false;
        pendingCharset = charset;
        if (!DecodeWordText(value[q1 + 1], text, pendingBytes))
            return false;
        bLastWasWord = true;
        pos = end + 2;
        plainStart = pos;
    }
    return flush();
}

// Appends text to out as the decoders give it: valid UTF-8, controls as spaces, trimmed.
void AppendFinished(std::string_view text, std::string& out)
{
    const std::size_t start = out.size();
    if (IsValidUtf8(text))
        out += text;
    else
        out += ValidUtf8(text);
    ControlsToSpaces(out, start);
    while (out.size() > start && IsSpace(out.back()))
        out.pop_back();
    std::size_t lead = start;
    while (lead < out.size() && IsSpace(out[lead]))
        ++lead;
    out.erase(start, lead - start);
}

// Folding: a line break and the white space after it are one space to a reader. NUL bytes would
// end the library's C string early; they are shown as spaces instead.
std::string Unfold(std::string_view value)
{
    std::string unfolded;
    unfolded.reserve(value.size());
    for (const char ch : value) {
        if (ch == '\r' || ch == '\n')
            continue;
        unfolded += ch == '\0' ? ' ' : ch;
    }
    return unfolded;
}

void AppendThoroughly(const std::string& unfolded, GMimeParserOptions* options, std::string& out)
{
    char* decoded = g_mime_utils_header_decode_text(options, unfolded.c_str());
    AppendFinished(decoded ? std::string_view(decoded) : std::string_view(unfolded), out);
    g_free(decoded);
}

// Appends value (trimmed) decoded to out.
void AppendDecoded(std::string_view value, std::string_view hintCharset, std::string& out)
{
    if (IsPlain(value)) {
        out += value;
        return;
    }
    std::string unfolded;
    bool bFolded = false;
    for (const char ch : value)
        bFolded = bFolded || ch == '\r' || ch == '\n' || ch == '\0';
    if (bFolded) {
        unfolded = Unfold(value);
        value = unfolded;
    }
    thread_local std::string common;
    if (DecodeCommon(value, common)) {
        AppendFinished(common, out);
        return;
    }
    if (unfolded.empty())
        unfolded = value;
    if (hintCharset.empty()) {
        AppendThoroughly(unfolded, DefaultOptions(), out);
        return;
    }
    InitMimeLibrary();
    const std::string hint(hintCharset);
    const OptionsPtr options = MakeOptions(hint.c_str());
    AppendThoroughly(unfolded, options.get(), out);
}

} // namespace

std::string DecodeHeaderValue(std::string_view value, std::string_view hintCharset)
{
    std::string out;
    AppendDecoded(Trim(value), hintCharset, out);
    return out;
}

std::string DecodeHeaderLine(std::string_view line)
{
    std::string out;
    AppendDecodedHeaderLine(line, out);
    return out;
}

void AppendDecodedHeaderLine(std::string_view line, std::string& out)
{
    std::string_view end = line;
    while (!end.empty() && IsSpace(end.back()))
        end.remove_suffix(1);
    if (IsPlain(end)) {
        out += end;
        return;
    }
    // The label is a header name and its colon; a line that starts otherwise is all value.
    std::size_t labelEnd = 0;
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos && colon > 0) {
        bool bName = true;
        for (std::size_t i = 0; i < colon && bName; ++i) {
            const auto b = static_cast<unsigned char>(line[i]);
            bName = b > 0x20 && b < 0x7F;
        }
        if (bName)
            labelEnd = colon + 1;
    }
    std::size_t valueStart = labelEnd;
    while (valueStart < line.size() && (line[valueStart] == ' ' || line[valueStart] == '\t'))
        ++valueStart;
    out.append(line.substr(0, labelEnd));
    // The white space after the label as it stands, tabs shown as spaces.
    out.append(valueStart - labelEnd, ' ');
    AppendDecoded(Trim(line.substr(valueStart)), {}, out);
}

std::string DecodeHeaderValueThoroughly(std::string_view value)
{
    const std::string_view trimmed = Trim(value);
    if (IsPlain(trimmed))
        return std::string(trimmed);
    std::string out;
    AppendThoroughly(Unfold(trimmed), DefaultOptions(), out);
    return out;
}
