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
    std::string out;
    out.reserve(text.size() + 16);
    for (const char c : text) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += '\''; break;
        default: out += c;
        }
    }
    text.swap(out);
    return 0;
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

std::string TrimWhite(std::string_view text)
{
    constexpr std::string_view white = " \t\r\n\v\f";
    const auto first = text.find_first_not_of(white);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(white);
    return std::string(text.substr(first, last - first + 1));
}
