#pragma once
// The texts a reader window shows that need no window to make: the HTML document the page loads,
// the plain text with its line ends settled, and the sizes of attachments. Plain C++.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// What no HTML text may fetch or do, whatever it says: only the message's own parts (cid:) and
// inline data may be shown, nothing may be framed, posted, or resolved against another base.
inline constexpr std::string_view kReaderContentPolicy =
    "default-src 'none'; img-src cid: data:; style-src 'unsafe-inline' cid:; font-src cid: data:; "
    "base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

// The document the reader's page loads for a message's HTML text (UTF-8): a byte-order mark, which
// settles the encoding whatever the text's own <meta charset> says (it was decoded to UTF-8 from
// the charset that names), then the content policy and a no-referrer policy, placed before
// anything the text holds and after its doctype, if it starts with one, so that its layout mode
// stays the one it asked for.
[[nodiscard]] std::string ReaderHtmlDocument(std::string_view html);

// A text body as a text view takes it: CR LF and lone CR become LF.
[[nodiscard]] std::string PlainTextForView(std::string_view text);

// The most of a message's source the reader lays out: about a second's work on two cores.
inline constexpr std::size_t kMaxSourceShown = 16u * 1024 * 1024;

// A message's source for its view, still bytes (shown one a character): line ends as
// PlainTextForView makes them, and past nMaxBytes cut at a line end, with a last line that says
// how much is left out.
[[nodiscard]] std::string SourceForView(std::string_view source, std::size_t nMaxBytes = kMaxSourceShown);

// "512 bytes", "12.3 KB", "4.0 MB", "1.2 GB" (1024 steps).
[[nodiscard]] std::string SizeText(std::uint64_t nBytes);
