#include "export/MboxFormat.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace {

constexpr std::string_view kFrom = "From ";

unsigned char Lower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(static_cast<unsigned char>(a[i])) != Lower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// One line of the header: [start, end) without its line end; next is where the following starts.
struct Line {
    std::size_t start;
    std::size_t end;
    std::size_t next;
};

Line LineAt(std::string_view text, std::size_t pos)
{
    const void* found = std::memchr(text.data() + pos, '\n', text.size() - pos);
    const std::size_t nl = found ? static_cast<std::size_t>(static_cast<const char*>(found) - text.data()) : text.size();
    std::size_t end = nl;
    if (end > pos && text[end - 1] == '\r')
        --end;
    return {pos, end, found ? nl + 1 : text.size()};
}

// Drops comments "(...)", which may nest and hold quoted pairs; quoted strings stay as they are.
std::string WithoutComments(std::string_view value)
{
    std::string out;
    int depth = 0;
    bool bQuoted = false;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\\' && i + 1 < value.size() && (bQuoted || depth > 0)) {
            if (depth == 0) {
                out += c;
                out += value[i + 1];
            }
            ++i;
        } else if (bQuoted) {
            out += c;
            bQuoted = c != '"';
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && depth > 0) {
            --depth;
        } else if (depth == 0) {
            out += c;
            bQuoted = c == '"';
        }
    }
    return out;
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && (IsBlank(text.front()) || text.front() == '\r' || text.front() == '\n'))
        text.remove_prefix(1);
    while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

// Reads a run of digits at pos; false when there is none or it is longer than most.
bool Digits(std::string_view text, std::size_t& pos, std::size_t most, int& value)
{
    const std::size_t start = pos;
    value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < most)
        value = value * 10 + (text[pos++] - '0');
    return pos > start && !(pos < text.size() && text[pos] >= '0' && text[pos] <= '9');
}

void SkipBlanks(std::string_view text, std::size_t& pos)
{
    while (pos < text.size() && (IsBlank(text[pos]) || text[pos] == '\r' || text[pos] == '\n'))
        ++pos;
}

std::string_view Word(std::string_view text, std::size_t& pos)
{
    const std::size_t start = pos;
    while (pos < text.size()) {
        const auto c = static_cast<unsigned char>(text[pos]);
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
            break;
        ++pos;
    }
    return text.substr(start, pos - start);
}

constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<std::string_view, 7> kDays = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};  // from 1970-01-01

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

unsigned DaysInMonth(int y, unsigned m)
{
    static constexpr unsigned kLengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool bLeap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && bLeap ? 29 : kLengths[m - 1];
}

// The zone's offset east of UTC in minutes; false for what is no zone. A missing zone and the
// military letters (whose sign was used both ways) count as UTC.
bool ZoneOffset(std::string_view text, std::size_t pos, int& minutes)
{
    minutes = 0;
    SkipBlanks(text, pos);
    if (pos >= text.size() || text[pos] == '(')
        return true;
    if (text[pos] == '+' || text[pos] == '-') {
        const int sign = text[pos] == '-' ? -1 : 1;
        ++pos;
        const std::size_t start = pos;
        int hhmm = 0;
        if (!Digits(text, pos, 4, hhmm) || pos - start != 4 || hhmm % 100 >= 60)
            return false;
        minutes = sign * (hhmm / 100 * 60 + hhmm % 100);
        return true;
    }
    const std::string_view name = Word(text, pos);
    struct Named {
        std::string_view name;
        int hours;
    };
    static constexpr Named kNamed[] = {{"UT", 0},   {"UTC", 0},  {"GMT", 0},  {"Z", 0},    {"EST", -5},
                                       {"EDT", -4}, {"CST", -6}, {"CDT", -5}, {"MST", -7}, {"MDT", -6},
                                       {"PST", -8}, {"PDT", -7}};
    for (const Named& named : kNamed) {
        if (EqualNoCase(name, named.name)) {
            minutes = named.hours * 60;
            return true;
        }
    }
    return name.size() == 1;
}

} // namespace

std::optional<std::string> HeaderFieldValue(std::string_view message, std::string_view label)
{
    std::optional<std::string> value;
    for (std::size_t pos = 0; pos < message.size();) {
        const Line line = LineAt(message, pos);
        if (line.end == line.start)
            break;  // the empty line that ends the header
        const std::string_view text = message.substr(line.start, line.end - line.start);
        pos = line.next;
        if (value) {
            if (!IsBlank(text.front()))
                break;
            *value += text;  // a continuation line: unfolded by dropping the line end before it
            continue;
        }
        if (text.size() <= label.size() || !EqualNoCase(text.substr(0, label.size()), label))
            continue;
        std::size_t colon = label.size();
        while (colon < text.size() && IsBlank(text[colon]))
            ++colon;
        if (colon < text.size() && text[colon] == ':')
            value = std::string(text.substr(colon + 1));
    }
    return value;
}

std::string EnvelopeAddress(std::string_view value)
{
    const std::string plain = WithoutComments(value);
    std::string_view address;
    // An address in angle brackets outside quoted strings wins; else the first item of a list.
    bool bQuoted = false;
    std::size_t open = std::string::npos;
    std::size_t comma = std::string::npos;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        const char c = plain[i];
        if (c == '\\' && bQuoted) {
            ++i;
        } else if (c == '"') {
            bQuoted = !bQuoted;
        } else if (!bQuoted && c == '<') {
            open = i;
            break;
        } else if (!bQuoted && c == ',' && comma == std::string::npos) {
            comma = i;
        }
    }
    const std::string_view text(plain);
    if (open != std::string::npos) {
        const std::size_t close = text.find('>', open + 1);
        if (close == std::string::npos)
            return {};
        address = text.substr(open + 1, close - open - 1);
        // A source route "@a,@b:user@host" names hops before the address itself.
        if (!address.empty() && address.front() == '@' && address.find(':') != std::string_view::npos)
            address.remove_prefix(address.find(':') + 1);
    } else {
        address = text.substr(0, comma);
    }
    address = Trim(address);
    for (const char ch : address) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c == 0x7F)
            return {};
    }
    return std::string(address);
}

std::optional<std::string> AsctimeUtc(std::string_view value)
{
    const std::string plain = WithoutComments(value);
    const std::string_view text(plain);
    std::size_t pos = 0;
    SkipBlanks(text, pos);
    // A day name, with or without its comma, says nothing the date does not.
    const std::size_t wordStart = pos;
    if (!Word(text, pos).empty()) {
        SkipBlanks(text, pos);
        if (pos < text.size() && text[pos] == ',')
            ++pos;
        SkipBlanks(text, pos);
    } else {
        pos = wordStart;
    }
    int day = 0;
    int year = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (!Digits(text, pos, 2, day))
        return std::nullopt;
    SkipBlanks(text, pos);
    const std::string_view monthName = Word(text, pos);
    unsigned month = 0;
    for (unsigned m = 0; m < kMonths.size(); ++m)
        if (EqualNoCase(monthName, kMonths[m]))
            month = m + 1;
    if (month == 0)
        return std::nullopt;
    SkipBlanks(text, pos);
    const std::size_t yearStart = pos;
    if (!Digits(text, pos, 4, year))
        return std::nullopt;
    // Two-digit years are 1950 to 2049, three-digit ones count from 1900.
    if (pos - yearStart == 2)
        year += year < 50 ? 2000 : 1900;
    else if (pos - yearStart == 3)
        year += 1900;
    SkipBlanks(text, pos);
    if (!Digits(text, pos, 2, hour) || pos >= text.size() || text[pos] != ':')
        return std::nullopt;
    ++pos;
    if (!Digits(text, pos, 2, minute))
        return std::nullopt;
    if (pos < text.size() && text[pos] == ':') {
        ++pos;
        if (!Digits(text, pos, 2, second))
            return std::nullopt;
    }
    int zone = 0;
    if (!ZoneOffset(text, pos, zone))
        return std::nullopt;
    if (year < 1900 || year > 9999 || day < 1 || static_cast<unsigned>(day) > DaysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 60)
        return std::nullopt;
    if (second == 60)
        second = 59;  // a leap second has no place in the classic form

    const std::int64_t local = DaysFromCivil(year, month, static_cast<unsigned>(day)) * 86400 + hour * 3600 +
                               minute * 60 + second;
    const std::int64_t utc = local - std::int64_t{zone} * 60;
    std::int64_t days = utc / 86400;
    std::int64_t rest = utc % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    std::int64_t y = 0;
    unsigned m = 0;
    unsigned d = 0;
    CivilFromDays(days, y, m, d);
    if (y < 1900 || y > 9999)
        return std::nullopt;
    const std::string_view weekday = kDays[static_cast<std::size_t>(((days % 7) + 7) % 7)];
    char out[32];
    std::snprintf(out, sizeof out, "%.3s %.3s %2u %02d:%02d:%02d %04d", weekday.data(), kMonths[m - 1].data(), d,
                  static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60),
                  static_cast<int>(y));
    return std::string(out);
}

std::string MboxFromLine(std::string_view message)
{
    std::string sender;
    for (const std::string_view label : {std::string_view("Return-Path"), std::string_view("From")}) {
        if (const std::optional<std::string> value = HeaderFieldValue(message, label))
            sender = EnvelopeAddress(*value);
        if (!sender.empty())
            break;
    }
    if (sender.empty())
        sender = kMboxUnknownSender;
    std::optional<std::string> date;
    if (const std::optional<std::string> value = HeaderFieldValue(message, "Date"))
        date = AsctimeUtc(*value);
    std::string line = "From ";
    line += sender;
    line += ' ';
    line += date ? std::string_view(*date) : kMboxFallbackDate;
    return line;
}

void MboxrdQuoter::Release(std::string& out)
{
    out.append(m_nQuotes, '>');
    out.append(kFrom.substr(0, m_nMatched));
    m_nQuotes = 0;
    m_nMatched = 0;
}

void MboxrdQuoter::Feed(std::string_view piece, std::string& out)
{
    if (piece.empty())
        return;
    m_bAny = true;
    m_cLast = piece.back();
    const char* p = piece.data();
    const char* const end = p + piece.size();
    const char* run = p;  // the first byte not yet appended
    while (p < end) {
        switch (m_state) {
        case State::LineStart:
            // Only a line that starts with '>' or 'F' can need quoting; its bytes are withheld
            // until it is known whether it does.
            if (*p == '>' || *p == 'F') {
                out.append(run, static_cast<std::size_t>(p - run));
                m_state = State::Pending;
            } else {
                m_state = State::InLine;
            }
            break;
        case State::Pending:
            if (m_nMatched == 0 && *p == '>') {
                ++m_nQuotes;
                ++p;
            } else if (*p == kFrom[m_nMatched]) {
                ++p;
                if (++m_nMatched == kFrom.size()) {
                    out += '>';
                    Release(out);
                    m_state = State::InLine;
                    run = p;
                }
            } else {
                Release(out);  // not a From line; the byte that told is the line's next one
                m_state = State::InLine;
                run = p;
            }
            break;
        case State::InLine:
            if (const void* nl = std::memchr(p, '\n', static_cast<std::size_t>(end - p))) {
                p = static_cast<const char*>(nl) + 1;
                m_state = State::LineStart;
            } else {
                p = end;
            }
            break;
        }
    }
    if (m_state != State::Pending)
        out.append(run, static_cast<std::size_t>(end - run));
}

void MboxrdQuoter::Finish(std::string& out)
{
    if (m_state == State::Pending)
        Release(out);
    if (m_bAny && m_cLast != '\n')
        out += '\n';
    out += '\n';
    m_state = State::LineStart;
    m_nQuotes = 0;
    m_nMatched = 0;
    m_bAny = false;
    m_cLast = 0;
}
