#include "view/EntrySubject.h"

#include "mime/HeaderDecode.h"
#include "model/TextSearch.h"
#include "model/listax.h"
#include "view/ListingRows.h"

namespace {

bool StartsWithLabel(std::string_view line, std::string_view label)
{
    return line.size() > label.size() && line[label.size()] == ':' && StartsWithNoCase(line, label);
}

// A listing cell's text without its label ("Subject: x" gives "x").
std::string_view AfterLabel(std::string_view text, std::string_view label)
{
    if (!StartsWithLabel(text, label))
        return text;
    return text.substr(label.size() + 1);
}

} // namespace

std::string HeaderValueIn(std::string_view block, std::string_view label)
{
    std::size_t start = 0;
    while (start < block.size()) {
        std::size_t end = block.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = block.size();
        if (StartsWithLabel(block.substr(start, end - start), label)) {
            // The value runs on through every line that starts with white space.
            std::size_t stop = end;
            while (stop < block.size()) {
                std::size_t next = stop;
                if (block[next] == '\r')
                    ++next;
                if (next < block.size() && block[next] == '\n')
                    ++next;
                if (next >= block.size() || (block[next] != ' ' && block[next] != '\t'))
                    break;
                stop = block.find_first_of("\r\n", next);
                if (stop == std::string_view::npos)
                    stop = block.size();
            }
            const std::size_t value = start + label.size() + 1;
            return std::string(block.substr(value, stop - value));
        }
        start = end;
        if (start < block.size() && block[start] == '\r')
            ++start;
        if (start < block.size() && block[start] == '\n')
            ++start;
    }
    return {};
}

std::string EntrySubject(const listaf& entry)
{
    constexpr std::string_view kLabel = "Subject";
    if (!entry.m_strHeader.empty())
        return DecodeHeaderValue(HeaderValueIn(entry.m_strHeader, kLabel));
    if (entry.m_pRawLines && !entry.m_pRawLines->strSubject.empty())
        return DecodeHeaderValue(AfterLabel(entry.m_pRawLines->strSubject, kLabel));
    // Only the cell is left: its text as the page shows it.
    const std::string shown = ShownText(entry.m_strSubject);
    std::string_view value = AfterLabel(shown, kLabel);
    if (!entry.m_bDecodedHeaders)
        return DecodeHeaderValue(value);
    // Already decoded: decoding again could take text that looks like an encoded word for one.
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        value.remove_suffix(1);
    return std::string(value);
}
