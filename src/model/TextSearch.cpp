#include "model/TextSearch.h"

#include <algorithm>

namespace {

constexpr unsigned char Lower(unsigned char c) { return FoldCase(c); }

} // namespace

std::int32_t FindNoCase(std::string_view text, std::string_view label, std::int32_t start)
{
    if (start < 0 || static_cast<std::size_t>(start) > text.size())
        return -1;
    const auto equal = [](char a, char b) {
        return Lower(static_cast<unsigned char>(a)) == Lower(static_cast<unsigned char>(b));
    };
    const auto it = std::search(text.begin() + start, text.end(), label.begin(), label.end(), equal);
    if (it == text.end() && !label.empty())
        return -1;
    return static_cast<std::int32_t>(it - text.begin());
}

std::int32_t EscapeForHtml(std::string& text)
{
    if (std::none_of(text.begin(), text.end(), [](char c) { return c == '<' || c == '>' || c == '"'; }))
        return 0;
    text = EscapedForHtml(text);
    return 0;
}

std::string EscapedForHtml(std::string_view text)
{
    std::string out;
    AppendEscapedForHtml(out, text);
    return out;
}

void AppendEscapedForHtml(std::string& out, std::string_view text)
{
    // Sized first: a listing escapes four lines of every message, and growing each string byte by
    // byte cost more than finding its lines.
    const auto special = [](char c) { return c == '<' || c == '>' || c == '"'; };
    std::size_t n = text.size();
    for (const char c : text)
        n += (c == '<' || c == '>') ? 3 : 0;
    const std::size_t at = out.size();
    out.resize(at + n);
    char* w = out.data() + at;
    for (auto p = text.begin(); p != text.end();) {
        const auto next = std::find_if(p, text.end(), special);
        w = std::copy(p, next, w);
        if (next == text.end())
            break;
        switch (*next) {
        case '<': w = std::copy_n("&lt;", 4, w); break;
        case '>': w = std::copy_n("&gt;", 4, w); break;
        default: *w++ = '\''; break;
        }
        p = next + 1;
    }
}

int CompareNoCase(std::string_view a, std::string_view b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char ca = Lower(static_cast<unsigned char>(a[i]));
        const unsigned char cb = Lower(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && CompareNoCase(text.substr(0, prefix.size()), prefix) == 0;
}

std::string TrimWhite(std::string_view text)
{
    constexpr std::string_view white = " \t\r\n\v\f";
    const auto first = text.find_first_not_of(white);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(white);
    return std::string(text.substr(first, last - first + 1));
}
