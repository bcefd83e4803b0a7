#include "reader/ReaderText.h"

#include <cstdio>
#include <iterator>

#include "model/TextSearch.h"

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

} // namespace

std::string ReaderHtmlDocument(std::string_view html)
{
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (html.substr(0, kBom.size()) == kBom)
        html.remove_prefix(kBom.size());
    std::size_t start = 0;
    while (start < html.size() && IsSpace(html[start]))
        ++start;
    std::size_t cut = 0;  // where the policy goes
    if (StartsWithNoCase(html.substr(start), "<!doctype")) {
        const std::size_t end = html.find('>', start);
        if (end != std::string_view::npos)
            cut = end + 1;
    }
    std::string document;
    document.reserve(html.size() + 400);
    document += kBom;
    document.append(html.substr(0, cut));
    document += "<meta http-equiv=\"Content-Security-Policy\" content=\"";
    document += kReaderContentPolicy;
    document += "\"><meta name=\"referrer\" content=\"no-referrer\">";
    document.append(html.substr(cut));
    return document;
}

std::string PlainTextForView(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') {
            out += text[i];
            continue;
        }
        out += '\n';
        if (i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
    }
    return out;
}

std::string SourceForView(std::string_view source, std::size_t nMaxBytes)
{
    if (source.size() <= nMaxBytes)
        return PlainTextForView(source);
    std::size_t cut = source.substr(0, nMaxBytes).find_last_of("\r\n");
    cut = cut == std::string_view::npos ? nMaxBytes : cut + 1;
    if (cut > 0 && source[cut - 1] == '\r' && cut < source.size() && source[cut] == '\n')
        ++cut;  // a line end is not split
    std::string text = PlainTextForView(source.substr(0, cut));
    if (!text.empty() && text.back() != '\n')
        text += '\n';
    text += "\n[" + std::to_string(source.size() - cut) +
            " more bytes are not shown here; Save message as... keeps the whole message.]\n";
    return text;
}

std::string SizeText(std::uint64_t nBytes)
{
    if (nBytes < 1024)
        return std::to_string(nBytes) + (nBytes == 1 ? " byte" : " bytes");
    const char* units[] = {"KB", "MB", "GB", "TB"};
    double value = static_cast<double>(nBytes) / 1024;
    std::size_t unit = 0;
    while (value >= 1023.95 && unit + 1 < std::size(units)) {  // what would print as 1024.0
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}
