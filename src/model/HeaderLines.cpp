#include "model/HeaderLines.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "model/TextSearch.h"

namespace {

enum class LineEnd { None, Lf, CrLf, Cr };

struct Label {
    std::string_view name;
    std::optional<std::string_view> HeaderFields::*field;
};

constexpr Label kLabels[] = {
    {"from:", &HeaderFields::from},
    {"to:", &HeaderFields::to},
    {"subject:", &HeaderFields::subject},
    {"date:", &HeaderFields::date},
};

// Gives each label not yet found that starts line the value value.
void Match(HeaderFields& fields, std::string_view line, std::string_view value)
{
    if (line.empty())
        return;
    // Most lines start with none of the labels' letters: one look settles them.
    const char first = static_cast<char>(FoldCase(static_cast<unsigned char>(line[0])));
    for (const Label& label : kLabels) {
        std::optional<std::string_view>& field = fields.*label.field;
        if (!field && label.name[0] == first && StartsWithNoCase(line, label.name))
            field = value;
    }
}

// The first CR and the first LF at or after a place in the text, each searched for again only once
// the walk has passed it: every byte is looked at by one search for each, whatever the mix of line
// ends, and memchr looks at many at a time.
class LineEndFinder {
public:
    explicit LineEndFinder(std::string_view text) : m_text(text), m_nCr(Find('\r', 0)), m_nLf(Find('\n', 0)) {}

    // The first CR or LF at or after pos; npos when there is none.
    std::size_t At(std::size_t pos)
    {
        if (m_nCr < pos)
            m_nCr = Find('\r', pos);
        if (m_nLf < pos)
            m_nLf = Find('\n', pos);
        const std::size_t end = std::min(m_nCr, m_nLf);
        return end < m_text.size() ? end : std::string_view::npos;
    }

private:
    // The first c at or after pos, or the text's size.
    [[nodiscard]] std::size_t Find(char c, std::size_t pos) const
    {
        const void* hit = pos < m_text.size() ? std::memchr(m_text.data() + pos, c, m_text.size() - pos) : nullptr;
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - m_text.data()) : m_text.size();
    }

    std::string_view m_text;
    std::size_t m_nCr;
    std::size_t m_nLf;
};

} // namespace

HeaderFields FindHeaderFields(std::string_view text)
{
    HeaderFields fields;
    LineEnd previous = LineEnd::None;
    std::size_t previousEnd = 0;  // where the line before this one ended
    LineEndFinder lineEnds(text);
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t end = lineEnds.At(pos);
        if (end == std::string_view::npos) {
            // The last line runs to the end of the bytes read: whatever it holds may be cut short.
            Match(fields, text.substr(pos), std::string_view());
            break;
        }
        LineEnd kind = LineEnd::Cr;
        std::size_t next = end + 1;
        if (text[end] == '\n') {
            kind = LineEnd::Lf;
        } else if (next < text.size() && text[next] == '\n') {
            kind = LineEnd::CrLf;
            ++next;
        }
        // An empty line ends the header, whatever mix of line ends makes it ("\r\n\n" too), but
        // for the CR LF that follows a stray CR: in text whose lines end in CR CR LF, that pair is
        // part of one line end, not a blank line.
        if (end == pos && previous != LineEnd::None && !(previous == LineEnd::Cr && kind == LineEnd::CrLf)) {
            fields.block = text.substr(0, previousEnd);
            break;
        }
        const std::string_view line = text.substr(pos, end - pos);
        Match(fields, line, line);
        previous = kind;
        previousEnd = end;
        pos = next;
    }
    return fields;
}

std::unique_ptr<RawHeaderLines> MakeRawLines(const HeaderFields& fields)
{
    auto raw = std::make_unique<RawHeaderLines>();
    raw->strFrom = fields.from.value_or(std::string_view());
    raw->strTo = fields.to.value_or(std::string_view());
    raw->strSubject = fields.subject.value_or(std::string_view());
    raw->strDate = fields.date.value_or(std::string_view());
    return raw;
}

bool RawLinesOf(const listaf& entry, RawHeaderLines& raw)
{
    if (entry.m_pRawLines) {
        raw = *entry.m_pRawLines;
        return true;
    }
    raw.strFrom.clear();
    raw.strTo.clear();
    raw.strSubject.clear();
    raw.strDate.clear();
    if (entry.m_nKind != KIND_FOLDER_MESSAGE || entry.m_strHeader.empty())
        return false;
    // The block lost the line end of its last line and the empty line after it: given them back,
    // it yields the lines the listing found.
    thread_local std::string block;
    block.assign(entry.m_strHeader);
    block += "\r\n\r\n";
    const HeaderFields fields = FindHeaderFields(block);
    raw.strFrom = fields.from.value_or(std::string_view());
    raw.strTo = fields.to.value_or(std::string_view());
    raw.strSubject = fields.subject.value_or(std::string_view());
    raw.strDate = fields.date.value_or(std::string_view());
    return true;
}
