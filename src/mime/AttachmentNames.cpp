#include "mime/AttachmentNames.h"

#include <cstdint>

#include "mime/Charset.h"

namespace {

// Extensions for made-up names of the commonest types; other types get none.
struct TypeExtension {
    std::string_view type;
    std::string_view ext;
};
constexpr TypeExtension kExtensions[] = {
    {"text/plain", ".txt"}, {"text/html", ".html"}, {"image/jpeg", ".jpg"}, {"image/png", ".png"},
    {"image/gif", ".gif"}, {"application/pdf", ".pdf"}, {"message/rfc822", ".eml"}, {"application/zip", ".zip"},
};

constexpr std::size_t kMaxExtensionBytes = 16;

// Length of the UTF-8 sequence starting with lead (the text is valid UTF-8).
std::size_t SequenceLength(unsigned char lead)
{
    if (lead < 0x80) return 1;
    if (lead < 0xE0) return 2;
    if (lead < 0xF0) return 3;
    return 4;
}

// Code points that must not reach a file name: controls, the separators, what Windows file
// systems refuse, and the marks that reorder text on screen.
bool IsRefused(std::uint32_t cp)
{
    if (cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp <= 0x9F))
        return true;
    switch (cp) {
    case '/': case '\\': case '<': case '>': case ':': case '"': case '|': case '?': case '*':
        return true;
    default:
        break;
    }
    return (cp >= 0x200E && cp <= 0x200F) || (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069) ||
           cp == 0xFEFF;
}

std::uint32_t Decode(std::string_view seq)
{
    const auto b = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(seq[i])); };
    switch (seq.size()) {
    case 1: return b(0);
    case 2: return ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
    case 3: return ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
    default: return ((b(0) & 0x07) << 18) | ((b(1) & 0x3F) << 12) | ((b(2) & 0x3F) << 6) | (b(3) & 0x3F);
    }
}

bool IsDeviceName(std::string_view name)
{
    // The part before the first dot decides, in any case: "con.txt" is the device too.
    std::string stem(name.substr(0, name.find('.')));
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    for (char& ch : stem)
        if (ch >= 'a' && ch <= 'z')
            ch = static_cast<char>(ch - 'a' + 'A');
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" || stem == "CONOUT$")
        return true;
    return stem.size() == 4 && (stem.rfind("COM", 0) == 0 || stem.rfind("LPT", 0) == 0) && stem[3] >= '0' &&
           stem[3] <= '9';
}

// Cuts text to at most limit bytes without splitting a UTF-8 sequence.
std::string_view CutUtf8(std::string_view text, std::size_t limit)
{
    if (text.size() <= limit)
        return text;
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t len = SequenceLength(static_cast<unsigned char>(text[end]));
        if (end + len > limit)
            break;
        end += len;
    }
    return text.substr(0, end);
}

void TrimDotsAndSpaces(std::string& text, bool bFront)
{
    if (bFront) {
        std::size_t n = 0;
        while (n < text.size() && (text[n] == '.' || text[n] == ' '))
            ++n;
        text.erase(0, n);
    } else {
        while (!text.empty() && (text.back() == '.' || text.back() == ' '))
            text.pop_back();
    }
}

} // namespace

std::string SanitizeAttachmentName(std::string_view name, std::string_view mimeType)
{
    const std::string valid = ValidUtf8(name);
    std::string clean;
    clean.reserve(valid.size());
    for (std::size_t pos = 0; pos < valid.size();) {
        const std::size_t len = SequenceLength(static_cast<unsigned char>(valid[pos]));
        const std::string_view seq = std::string_view(valid).substr(pos, len);
        pos += len;
        if (IsRefused(Decode(seq)))
            clean += '_';
        else if (seq == "." && !clean.empty() && clean.back() == '.')
            continue;  // no ".." anywhere
        else
            clean += seq;
    }
    TrimDotsAndSpaces(clean, true);
    TrimDotsAndSpaces(clean, false);
    if (clean.empty()) {
        clean = "attachment";
        for (const TypeExtension& known : kExtensions)
            if (known.type == mimeType)
                clean += known.ext;
    }
    if (IsDeviceName(clean))
        clean = "_" + clean;
    if (clean.size() > kMaxAttachmentNameBytes) {
        // Keep a short extension; cut the stem.
        const std::size_t dot = clean.rfind('.');
        std::string ext;
        if (dot != std::string::npos && dot > 0 && clean.size() - dot <= kMaxExtensionBytes)
            ext = clean.substr(dot);
        std::string stem(CutUtf8(std::string_view(clean).substr(0, clean.size() - ext.size()),
                                 kMaxAttachmentNameBytes - ext.size()));
        TrimDotsAndSpaces(stem, false);
        if (stem.empty())
            stem = "attachment";
        clean = stem + ext;
    }
    return clean;
}

std::string NumberedName(std::string_view name, unsigned n)
{
    if (n <= 1)
        return std::string(name);
    const std::string number = " (" + std::to_string(n) + ")";
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return std::string(name) + number;
    return std::string(name.substr(0, dot)) + number + std::string(name.substr(dot));
}
