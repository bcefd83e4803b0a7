#pragma once
// Byte-string helpers shared by the header extraction and the mail-folder reader. Text here is
// bytes in no known encoding: case folding touches only the ASCII letters.

#include <cstdint>
#include <string>
#include <string_view>

// Position of the first occurrence of label in text at or after start, ignoring ASCII case;
// -1 when there is none or start lies outside the text.
[[nodiscard]] std::int32_t FindNoCase(std::string_view text, std::string_view label, std::int32_t start);

// Rewrites text in place: every "<" becomes "&lt;", every ">" "&gt;" and every double quote an
// apostrophe. "&" is left alone. Returns 0.
std::int32_t EscapeForHtml(std::string& text);
// The same, as a new string made with one allocation, or appended to out.
[[nodiscard]] std::string EscapedForHtml(std::string_view text);
void AppendEscapedForHtml(std::string& out, std::string_view text);

// The ASCII lower case of a byte; other bytes are their own case.
[[nodiscard]] constexpr unsigned char FoldCase(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

// Case-insensitive comparison of two byte strings (ASCII letters folded), in the manner of
// strcmp: negative, zero or positive.
[[nodiscard]] int CompareNoCase(std::string_view a, std::string_view b);

// True when text starts with prefix, ignoring ASCII case.
[[nodiscard]] bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// Trims space, tab, CR, LF, vertical tab and form feed from both ends.
[[nodiscard]] std::string TrimWhite(std::string_view text);
