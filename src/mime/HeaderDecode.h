#pragma once
// Header text as a reader sees it: encoded words (RFC 2047, B and Q, any charset the system can
// convert) decoded, raw 8-bit bytes read by a list of fallback charsets, folded lines joined, all
// as UTF-8 on one line. Decoding never fails: what cannot be decoded is shown as it stands.

#include <string>
#include <string_view>

// A raw header line as the listing holds it ("Subject: =?koi8-r?B?...?="): the label as the line
// spells it, the white space after it, then the decoded value without trailing white space. Lines
// with nothing to decode (no encoded word, no 8-bit byte, no control character) come back as they
// are, at the cost of one scan. Control characters in the result become spaces, so the text stays
// one line whatever the encoded words held.
[[nodiscard]] std::string DecodeHeaderLine(std::string_view line);
// The same, appended to out: a caller decoding many lines reuses one buffer.
void AppendDecodedHeaderLine(std::string_view line, std::string& out);

// A header value, its continuation lines included, decoded as above and trimmed at both ends.
// Raw 8-bit bytes are read as UTF-8 where they are valid UTF-8, else in hintCharset when one is
// given (the message body's charset, which old mail programs also used for their headers), else as
// windows-1252.
[[nodiscard]] std::string DecodeHeaderValue(std::string_view value, std::string_view hintCharset = {});

// DecodeHeaderValue without a hint, through the MIME library's decoder alone. DecodeHeaderValue
// reads the common case (encoded words standing as words, in charsets that convert cleanly) with a
// faster decoder of its own and must give the same text; this is for the tests that compare them.
[[nodiscard]] std::string DecodeHeaderValueThoroughly(std::string_view value);
