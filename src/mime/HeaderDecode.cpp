#include "mime/HeaderDecode.h"

#include <memory>
#include <mutex>
#include <string>

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
    for (const char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x20 || b >= 0x7F)
            return false;
    }
    return text.find("=?") == std::string_view::npos;
}

// C0 and C1 controls and DEL become spaces: a cell or a terminal line must not be broken or
// steered by what an encoded word held.
std::string ControlsToSpaces(std::string text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x20 || b == 0x7F) {
            out += ' ';
        } else if (b == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            out += ' ';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string Decode(std::string_view value, GMimeParserOptions* options)
{
    // Folding: a line break and the white space after it are one space to a reader. NUL bytes
    // would end the library's C string early; they are shown as spaces instead.
    std::string unfolded;
    unfolded.reserve(value.size());
    for (const char ch : value) {
        if (ch == '\r' || ch == '\n')
            continue;
        unfolded += ch == '\0' ? ' ' : ch;
    }
    char* decoded = g_mime_utils_header_decode_text(options, unfolded.c_str());
    std::string text = decoded ? decoded : unfolded;
    g_free(decoded);
    if (!IsValidUtf8(text))
        text = ValidUtf8(text);
    return std::string(Trim(ControlsToSpaces(std::move(text))));
}

} // namespace

std::string DecodeHeaderValue(std::string_view value, std::string_view hintCharset)
{
    const std::string_view trimmed = Trim(value);
    if (IsPlain(trimmed))
        return std::string(trimmed);
    if (hintCharset.empty())
        return Decode(trimmed, DefaultOptions());
    InitMimeLibrary();
    const std::string hint(hintCharset);
    const OptionsPtr options = MakeOptions(hint.c_str());
    return Decode(trimmed, options.get());
}

std::string DecodeHeaderLine(std::string_view line)
{
    std::string_view end = line;
    while (!end.empty() && IsSpace(end.back()))
        end.remove_suffix(1);
    if (IsPlain(end))
        return std::string(end);
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
    std::string out(line.substr(0, labelEnd));
    // The white space after the label as it stands, tabs shown as spaces.
    out.append(valueStart - labelEnd, ' ');
    out += DecodeHeaderValue(line.substr(valueStart));
    return out;
}
