#include "view/ListingRows.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "model/TextSearch.h"
#include "model/listax.h"
#include "view/ListingPageCore.h"

namespace {

// Text is bytes; each byte becomes the code unit of the same value, which is how the page has
// always shown them. Whatever is not printable ASCII, and the two JSON quoting characters, goes
// in as an escape, so the answer is ASCII and no byte can end a string.
void AppendJsonString(std::string& out, std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
            out.push_back(static_cast<char>(c));
        } else {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    out += '"';
}

// The length of the UTF-8 sequence at text[i] and its code point; 0 when no valid sequence starts
// there (a stray continuation byte, an overlong form, a surrogate, past U+10FFFF, or cut short).
std::size_t Utf8SequenceAt(std::string_view text, std::size_t i, char32_t& code)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    std::size_t length = 0;
    char32_t min = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
        min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - i < length)
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (next & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

void AppendUnicodeEscape(std::string& out, char32_t unit)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += kHex[(unit >> shift) & 15];
}

// Decoded text is UTF-8, and goes to the page as the characters it spells: each one that is not
// printable ASCII as a JSON escape (a pair of them past U+FFFF), so the answer stays ASCII. A byte
// that starts no valid sequence shows as U+FFFD.
void AppendJsonUtf8String(std::string& out, std::string_view text)
{
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        char32_t code = 0;
        const std::size_t length = Utf8SequenceAt(text, i, code);
        if (length == 0) {
            code = 0xFFFD;
            ++i;
        } else {
            i += length;
        }
        if (code >= 0x20 && code < 0x7f && code != '"' && code != '\\') {
            out.push_back(static_cast<char>(code));
        } else if (code < 0x10000) {
            AppendUnicodeEscape(out, code);
        } else {
            AppendUnicodeEscape(out, 0xD800 + ((code - 0x10000) >> 10));
            AppendUnicodeEscape(out, 0xDC00 + ((code - 0x10000) & 0x3FF));
        }
    }
    out += '"';
}

void AppendCell(std::string& out, const char* className, std::string_view html, const std::string* title,
                const char* colspan, bool bUtf8 = false)
{
    out += '[';
    if (className)
        AppendJsonString(out, className);
    else
        out += "null";
    out += ',';
    if (bUtf8)
        AppendJsonUtf8String(out, html);
    else
        AppendJsonString(out, html);
    out += ',';
    if (title)
        AppendJsonString(out, *title);
    else
        out += "null";
    out += ',';
    if (colspan)
        AppendJsonString(out, colspan);
    else
        out += "null";
    out += ']';
}

void AppendRowJson(std::string& out, const listaf& entry)
{
    const RowCells cells = RowCellsOf(entry);
    out += '[';
    AppendCell(out, cells.icon.className, cells.icon.html, cells.pTitle, nullptr);
    out += ',';
    AppendCell(out, nullptr, cells.link, nullptr, cells.bSpansRow ? "6" : nullptr);
    if (!cells.bSpansRow) {
        out += ',';
        const std::string title = cells.pMark ? cells.pMark->title : "";
        AppendCell(out, nullptr, SizeCellHtml(cells), cells.pMark ? &title : nullptr, nullptr);
        for (std::string_view header : cells.headers) {
            out += ',';
            AppendCell(out, nullptr, header, nullptr, nullptr, entry.m_bDecodedHeaders);
        }
    }
    out += ']';
}

// Digits only, no sign, within int32.
std::optional<std::int32_t> ParseCount(std::string_view text)
{
    if (text.empty() || text.size() > 10)
        return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

struct Reference {
    std::string_view name;
    char byte;
};
constexpr Reference kNamedReferences[] = {
    {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", '\xa0'},
};

} // namespace

std::optional<RowsRequest> ParseRowsRequest(std::string_view query)
{
    RowsRequest request;
    bool seen[3] = {false, false, false};
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view field = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (amp != std::string_view::npos && query.empty())
            return std::nullopt;  // a trailing "&"
        const std::size_t eq = field.find('=');
        if (eq == std::string_view::npos)
            return std::nullopt;
        const std::string_view name = field.substr(0, eq);
        const std::optional<std::int32_t> value = ParseCount(field.substr(eq + 1));
        if (!value)
            return std::nullopt;
        int slot = -1;
        if (name == "gen")
            slot = 0;
        else if (name == "from")
            slot = 1;
        else if (name == "count")
            slot = 2;
        if (slot < 0 || seen[slot])
            return std::nullopt;
        seen[slot] = true;
        (slot == 0 ? request.generation : slot == 1 ? request.from : request.count) = *value;
    }
    if (!seen[0] || !seen[1] || !seen[2])
        return std::nullopt;
    return request;
}

namespace {

// The byte of the character reference that starts at amp ("&..."), and the index just after it;
// nullopt when none starts there.
std::optional<std::pair<char, std::size_t>> ReferenceAt(std::string_view html, std::size_t amp)
{
    const std::size_t start = amp + 1;
    const std::size_t semi = html.find(';', start);
    // References are short; a ";" far away belongs to something else.
    if (semi == std::string_view::npos || semi - start > 8)
        return std::nullopt;
    const std::string_view name = html.substr(start, semi - start);
    if (name.size() > 1 && name[0] == '#') {
        const bool bHex = name[1] == 'x' || name[1] == 'X';
        const std::string_view digits = name.substr(bHex ? 2 : 1);
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, bHex ? 16 : 10);
        if (!digits.empty() && ec == std::errc() && end == digits.data() + digits.size() && value > 0 && value < 256)
            return std::pair{static_cast<char>(value), semi + 1};
        return std::nullopt;
    }
    for (const Reference& reference : kNamedReferences)
        if (name == reference.name)
            return std::pair{reference.byte, semi + 1};
    return std::nullopt;
}

void AppendRun(std::string& out, std::string_view run)
{
    for (std::size_t zero = run.find('\0'); zero != std::string_view::npos; zero = run.find('\0')) {
        out.append(run.substr(0, zero));
        run.remove_prefix(zero + 1);
    }
    out.append(run);
}

void AppendShownText(std::string& out, std::string_view html)
{
    std::size_t i = 0;
    while (i < html.size()) {
        const std::size_t amp = html.find('&', i);
        if (amp == std::string_view::npos) {
            AppendRun(out, html.substr(i));
            break;
        }
        AppendRun(out, html.substr(i, amp - i));
        const auto reference = ReferenceAt(html, amp);
        if (!reference) {
            out += '&';
            i = amp + 1;
            continue;
        }
        out += reference->first;
        i = reference->second;
    }
}

} // namespace

std::string ShownText(std::string_view html)
{
    std::string out;
    out.reserve(html.size());
    AppendShownText(out, html);
    return out;
}

void ListingRows::Reset(std::vector<const listaf*> entries)
{
    m_all = std::move(entries);
    m_shown.clear();
    m_bFiltered = false;
    std::string().swap(m_searchText);
    std::vector<std::size_t>().swap(m_searchEnds);
    m_nSelectedBeforeFind = -1;
    m_nSelected = m_all.empty() ? -1 : 0;
    Bump();
}

void ListingRows::Clear() { Reset({}); }

void ListingRows::Bump()
{
    m_nGeneration = m_nGeneration == std::numeric_limits<std::int32_t>::max() ? 1 : m_nGeneration + 1;
}

std::int32_t ListingRows::Count() const
{
    return static_cast<std::int32_t>(m_bFiltered ? m_shown.size() : m_all.size());
}

const listaf* ListingRows::At(std::int32_t row) const
{
    if (row < 0 || row >= Count())
        return nullptr;
    const auto index = static_cast<std::size_t>(row);
    return m_bFiltered ? m_all[static_cast<std::size_t>(m_shown[index])] : m_all[index];
}

std::int32_t ListingRows::RowOf(const listaf* entry) const
{
    const auto found = std::find(m_all.begin(), m_all.end(), entry);
    if (found == m_all.end())
        return -1;
    const auto position = static_cast<std::int32_t>(found - m_all.begin());
    if (!m_bFiltered)
        return position;
    const auto shown = std::lower_bound(m_shown.begin(), m_shown.end(), position);
    return shown != m_shown.end() && *shown == position ? static_cast<std::int32_t>(shown - m_shown.begin()) : -1;
}

std::int32_t ListingRows::RowNamed(std::string_view name) const
{
    for (std::int32_t row = 0; row < Count(); ++row)
        if (At(row)->m_strName == name)
            return row;
    return -1;
}

std::string ListingRows::RowsJson(std::int32_t generation, std::int32_t from, std::int32_t count) const
{
    if (generation != m_nGeneration || from < 0 || from >= Count() || count <= 0)
        return "[]";
    const std::int32_t end = from + std::min({count, kMaxRowsPerRequest, Count() - from});
    std::string out = "[";
    for (std::int32_t row = from; row < end; ++row) {
        if (row > from)
            out += ',';
        AppendRowJson(out, *At(row));
    }
    out += ']';
    return out;
}

std::string ListingRows::AnswerRowsQuery(std::string_view query) const
{
    const std::optional<RowsRequest> request = ParseRowsRequest(query);
    if (!request)
        return "[]";
    return RowsJson(request->generation, request->from, request->count);
}

void ListingRows::MakeSearchText()
{
    // The entries lie all over memory, in the order they were read rather than the one shown, so
    // waiting for each in turn would take most of the time: the next ones are asked for early.
    constexpr std::size_t kEntriesAhead = 16;
    constexpr std::size_t kTextsAhead = 8;
    // A text as shown is never longer than as stored, so the block is made the right size at once.
    std::size_t size = 0;
    for (std::size_t i = 0; i < m_all.size(); ++i) {
        if (i + kEntriesAhead < m_all.size())
            __builtin_prefetch(m_all[i + kEntriesAhead]);
        const listaf& entry = *m_all[i];
        size += entry.m_strName.size() + entry.m_strFrom.size() + entry.m_strTo.size() + entry.m_strSubject.size() +
                entry.m_strDate.size() + 5;
    }
    m_searchText.reserve(size);
    m_searchEnds.reserve(m_all.size());
    for (std::size_t i = 0; i < m_all.size(); ++i) {
        if (i + kEntriesAhead < m_all.size())
            __builtin_prefetch(m_all[i + kEntriesAhead]);
        if (i + kTextsAhead < m_all.size()) {
            const listaf* ahead = m_all[i + kTextsAhead];
            for (const std::string* field : {&ahead->m_strName, &ahead->m_strFrom, &ahead->m_strTo,
                                             &ahead->m_strSubject, &ahead->m_strDate})
                __builtin_prefetch(field->data());
        }
        const listaf* entry = m_all[i];
        AppendRun(m_searchText, entry->m_strName);
        m_searchText += '\0';
        for (const std::string* field : {&entry->m_strFrom, &entry->m_strTo, &entry->m_strSubject, &entry->m_strDate}) {
            AppendShownText(m_searchText, *field);
            m_searchText += '\0';
        }
        m_searchEnds.push_back(m_searchText.size());
    }
    for (char& c : m_searchText)
        c = static_cast<char>(FoldCase(static_cast<unsigned char>(c)));
}

void ListingRows::PrepareFind()
{
    if (m_searchEnds.size() != m_all.size())
        MakeSearchText();
}

std::int32_t ListingRows::SetFilter(std::string_view text, bool bMatchable)
{
    if (text.empty() && bMatchable) {
        if (m_bFiltered) {
            m_bFiltered = false;
            m_shown.clear();
            m_nSelected = m_nSelectedBeforeFind;
            Bump();
        }
        return Count();
    }
    if (!m_bFiltered) {
        m_nSelectedBeforeFind = m_nSelected;
        m_bFiltered = true;
    }
    m_shown.clear();
    if (bMatchable && text.find('\0') == std::string_view::npos) {
        PrepareFind();
        std::string folded(text);
        for (char& c : folded)
            c = static_cast<char>(FoldCase(static_cast<unsigned char>(c)));
        // Each entry counts once: after a find in it, the search goes on at the next entry.
        const std::string_view all(m_searchText);
        auto end = m_searchEnds.begin();
        for (std::size_t at = all.find(folded); at != std::string_view::npos; at = all.find(folded, at)) {
            end = std::upper_bound(end, m_searchEnds.end(), at);
            m_shown.push_back(static_cast<std::int32_t>(end - m_searchEnds.begin()));
            at = *end;
            ++end;
        }
    }
    m_nSelected = m_shown.empty() ? -1 : 0;
    Bump();
    return Count();
}

std::int32_t ListingRows::Select(std::int32_t row)
{
    const std::int32_t count = Count();
    m_nSelected = count == 0 ? -1 : std::clamp(row, 0, count - 1);
    return m_nSelected;
}

std::int32_t ListingRows::Move(SelectionMove move, std::int32_t pageRows)
{
    if (Count() == 0)
        return m_nSelected = -1;
    const std::int32_t page = std::clamp(pageRows, 1, Count());
    const std::int32_t at = std::max(m_nSelected, 0);
    switch (move) {
    case SelectionMove::Up: return Select(at - 1);
    case SelectionMove::Down: return Select(m_nSelected < 0 ? 0 : at + 1);
    case SelectionMove::PageUp: return Select(at - page);
    case SelectionMove::PageDown: return Select(at + page);
    case SelectionMove::Home: return Select(0);
    case SelectionMove::End: return Select(Count() - 1);
    }
    return m_nSelected;
}
