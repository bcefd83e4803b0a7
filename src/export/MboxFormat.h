#pragma once
// The mboxrd convention, as pure functions over bytes. Each message in the file starts with a
// separator line "From SENDER DATE", where DATE is in the classic asctime form in UTC; every line
// of the message that matches ^>*From  gets one more '>'; a message that does not end in a line
// end gets one; an empty line follows each message. The separator and that empty line end in LF
// whatever the message's own line ends are, so undoing the quoting (one '>' less on every line
// that matches ^>+From ) gives each stored message back byte for byte, but for the line end
// added to a message that had none.
//
// Header lines are quoted like body lines: a "From:" header never matches (the colon), and a
// stored envelope line "From ..." at the top of a message must be quoted, or every reader would
// split the message there.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The sender of a message that names none usably, by the old convention for mail from the system.
inline constexpr std::string_view kMboxUnknownSender = "MAILER-DAEMON";
// The date of a message whose Date header is missing or cannot be read: the start of 1970, UTC.
inline constexpr std::string_view kMboxFallbackDate = "Thu Jan  1 00:00:00 1970";

// The separator line for message (its beginning is enough: only the header is read), without its
// line end: the address of Return-Path, else of From, else kMboxUnknownSender; the Date header in
// UTC, else kMboxFallbackDate.
[[nodiscard]] std::string MboxFromLine(std::string_view message);

// The unfolded value of the first header field named label (compared without case), from the
// header block at the start of message; nothing when the header holds no such field.
[[nodiscard]] std::optional<std::string> HeaderFieldValue(std::string_view message, std::string_view label);
// The address in a Return-Path or From value ("Name <a@b>", "a@b (Name)", "<a@b>"): the first
// one, without angle brackets. "" when there is none, or when it holds white space or control
// characters, which would break the separator line.
[[nodiscard]] std::string EnvelopeAddress(std::string_view value);
// A Date value ("Tue, 7 Mar 2006 09:05:00 +0100", day name optional, seconds optional, numeric
// or named zone, two-digit years) as "Tue Mar  7 08:05:00 2006" in UTC; nothing when it is not a
// date of the years 1900 to 9999.
[[nodiscard]] std::optional<std::string> AsctimeUtc(std::string_view value);

// Writes messages into an mbox: the quoting of one message at a time, fed in pieces of any size
// (a line may be cut anywhere), and its ending. Holds no bytes, only a count of withheld ones.
class MboxrdQuoter {
public:
    // Appends piece to out, with a '>' added before every line that matches ^>*From .
    void Feed(std::string_view piece, std::string& out);
    // Ends the message: what was withheld at the end of the last piece, a line end when the
    // message does not end in one (an empty message gets none), and the empty line after it.
    void Finish(std::string& out);

private:
    enum class State { LineStart, Pending, InLine };
    void Release(std::string& out);

    State m_state = State::LineStart;
    std::size_t m_nQuotes = 0;    // '>' withheld at the start of the line
    std::size_t m_nMatched = 0;   // bytes of "From " withheld after them
    bool m_bAny = false;          // the message has at least one byte
    char m_cLast = 0;             // its last byte so far
};
