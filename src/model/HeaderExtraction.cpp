#include <array>
#include <cstring>

#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "model/TextSearch.h"
#include "platform/File.h"

namespace {

constexpr std::size_t kReadWindow = 2999;  // of a 3000-byte buffer whose last byte stays zero

// The whole line from pos (label included) up to the character before the first line feed at or
// after searchFrom, trimmed and escaped; empty when no line feed follows.
std::string TakeLine(const std::string& text, std::int32_t pos, std::int32_t searchFrom, std::int32_t* lineFeed)
{
    const auto lf = text.find('\n', static_cast<std::size_t>(searchFrom));
    if (lineFeed)
        *lineFeed = lf == std::string::npos ? -1 : static_cast<std::int32_t>(lf);
    std::string value;
    if (lf != std::string::npos && lf > static_cast<std::size_t>(pos))
        value = text.substr(static_cast<std::size_t>(pos), lf - 1 - static_cast<std::size_t>(pos));
    value = TrimWhite(value);
    EscapeForHtml(value);
    return value;
}

} // namespace

std::int32_t CQuilloryApp::ReadMessageHeaders(listaf* pEntry)
{
    CFile file;
    if (!pEntry || !file.Open(pEntry->m_strPath, CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary))
        return 0;
    std::array<char, kReadWindow + 1> buffer{};
    const std::size_t got = file.Read(buffer.data(), kReadWindow);
    const std::string text(buffer.data(), strnlen(buffer.data(), got));

    // "to:" is searched from the line feed that ends the From line, so a To line before the From
    // line is not seen. Without a From line the search starts at the beginning of the text; when
    // the From line runs to the end of the text, there is nothing left after it to search.
    std::int32_t toStart = 0;
    const std::int32_t fromPos = FindNoCase(text, "from:", 0);
    if (fromPos >= 0) {
        std::int32_t lf = -1;
        pEntry->m_strFrom = TakeLine(text, fromPos, fromPos, &lf);
        toStart = lf >= 0 ? lf : static_cast<std::int32_t>(text.size());
    }
    if (const std::int32_t pos = FindNoCase(text, "to:", toStart); pos >= 0)
        pEntry->m_strTo = TakeLine(text, pos, pos, nullptr);
    if (const std::int32_t pos = FindNoCase(text, "subject:", 0); pos >= 0)
        pEntry->m_strSubject = TakeLine(text, pos, pos + 1, nullptr);
    if (const std::int32_t pos = FindNoCase(text, "date:", 0); pos >= 0)
        pEntry->m_strDate = TakeLine(text, pos, pos + 1, nullptr);

    if (const auto end = text.find("\r\n\r\n"); end != std::string::npos)
        pEntry->m_strHeader = text.substr(0, end);
    return 0;
}
