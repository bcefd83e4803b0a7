#pragma once
// The four header lines the listing shows (sender, recipient, subject, date) and the header block
// of a message, found in its first bytes. One rule for message files and for messages inside
// mail-folder files:
//
// - a line ends at CR LF, at LF, or at a CR that no LF follows;
// - a label counts only at the start of a line, so "Reply-To:" never supplies the To line;
// - the header ends at its first empty line ("\r\n\r\n", "\n\n", or "\r\r" in a CR-only text);
//   labels after it are body text;
// - each label is searched from the start of the text, case ignored (ASCII only);
// - a line is kept whole from its label to its line end, label included as the message spells
//   it; continuation lines are not joined and nothing is decoded.
//
// The text is bytes in no known encoding; callers cut it at its first zero byte.

#include <memory>
#include <optional>
#include <string_view>

#include "model/listax.h"

struct HeaderFields {
    // Each line from its label up to its line end. Absent when the header has no such line; empty
    // when the line has no line end within the text (it may be cut short).
    std::optional<std::string_view> from;
    std::optional<std::string_view> to;
    std::optional<std::string_view> subject;
    std::optional<std::string_view> date;
    // Everything before the line end that precedes the first empty line; absent when the text
    // holds no empty line (the header may go on past the bytes read).
    std::optional<std::string_view> block;
};

// Finds the fields in text. The views point into text.
[[nodiscard]] HeaderFields FindHeaderFields(std::string_view text);

// The four header lines of an entry as its message holds them, into raw: those the listing kept
// beside it, or for a folder message whose lines it left in the header block, found there again;
// "" for each line there is none of. raw's strings keep their room from call to call. False when
// the entry has neither (a directory, or a listing that kept no raw lines).
bool RawLinesOf(const listaf& entry, RawHeaderLines& raw);

// The found lines as they are, for an entry's m_pRawLines; "" for each line not found.
[[nodiscard]] std::unique_ptr<RawHeaderLines> MakeRawLines(const HeaderFields& fields);
