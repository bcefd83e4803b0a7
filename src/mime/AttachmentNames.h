#pragma once
// File names for attachments. A name in a message is written by its sender: it may climb out of
// the chosen directory ("../../.bashrc"), hide itself (".profile"), break a terminal or a listing
// (control characters, newlines), disguise its extension (right-to-left override), name a device
// on the file systems users copy rescued mail to ("CON", "aux.txt"), or be too long for any file
// system. These functions make it a plain name inside the directory.

#include <cstddef>
#include <string>
#include <string_view>

// Bytes a sanitised name has at most: room below the usual 255-byte limit for a number.
inline constexpr std::size_t kMaxAttachmentNameBytes = 200;

// The file name to save an attachment under, from the name the message gives (UTF-8; "" when it
// gives none) and its MIME type (for the extension of a made-up name). The result is valid UTF-8,
// never empty, holds no '/' or '\\', no control character, no character Windows file systems
// refuse, no direction override, no ".." and no leading or trailing dot or space; it is no device
// name, and it has at most kMaxAttachmentNameBytes bytes, its extension kept.
[[nodiscard]] std::string SanitizeAttachmentName(std::string_view name, std::string_view mimeType = {});

// The n-th name to try for name: name itself for 1, else " (n)" before its extension:
// NumberedName("a.tar.gz", 2) is "a.tar (2).gz".
[[nodiscard]] std::string NumberedName(std::string_view name, unsigned n);
