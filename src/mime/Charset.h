#pragma once
// Text of a known or guessed character set, turned into UTF-8: the one encoding the text leaving
// this folder has. Mail labels its charsets badly often enough (none at all, a name no converter
// knows, "utf-8" on Latin-1 bytes) that reading never fails: it falls back to a guess and says so.

#include <string>
#include <string_view>

struct Utf8Text {
    std::string strText;     // valid UTF-8
    std::string strCharset;  // what the bytes were read as, lower case ("utf-8", "windows-1252", "koi8-r")
    bool bGuessed = false;   // the declared charset was absent, unknown, or plainly did not fit
    bool bExact = true;      // false when some bytes fitted no reading and became U+FFFD
};

// Reads bytes in the charset declared (a MIME charset name in any case, "" when none was). Without
// a usable declaration, bytes that are valid UTF-8 are read as UTF-8, others as windows-1252 (which
// reads every byte, and is what Latin-1 text from mail programs usually is). ISO-8859-1 and
// US-ASCII are read as windows-1252, their superset in practice.
[[nodiscard]] Utf8Text ToUtf8(std::string_view bytes, std::string_view declared);

[[nodiscard]] bool IsValidUtf8(std::string_view text);
// text with each byte that starts no valid UTF-8 sequence replaced by U+FFFD.
[[nodiscard]] std::string ValidUtf8(std::string_view text);
