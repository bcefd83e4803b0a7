#include <array>
#include <cstring>

#include "core/QuilloryApp.h"
#include "model/HeaderLines.h"
#include "model/listax.h"
#include "model/TextSearch.h"
#include "platform/File.h"

namespace {

constexpr std::size_t kReadWindow = 2999;  // of a 3000-byte buffer whose last byte stays zero

// Stores a found line, trimmed and escaped, in field; a label that was not found leaves it alone.
void Store(const std::optional<std::string_view>& line, std::string& field)
{
    if (!line)
        return;
    field = TrimWhite(*line);
    EscapeForHtml(field);
}

} // namespace

std::int32_t CQuilloryApp::ReadMessageHeaders(listaf* pEntry)
{
    CFile file;
    if (!pEntry || !file.Open(pEntry->m_strPath, CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary))
        return 0;
    std::array<char, kReadWindow + 1> buffer{};
    const std::size_t got = file.Read(buffer.data(), kReadWindow);
    const std::string_view text(buffer.data(), strnlen(buffer.data(), got));

    const HeaderFields fields = FindHeaderFields(text);
    Store(fields.from, pEntry->m_strFrom);
    Store(fields.to, pEntry->m_strTo);
    Store(fields.subject, pEntry->m_strSubject);
    Store(fields.date, pEntry->m_strDate);
    if (fields.block)
        pEntry->m_strHeader = std::string(*fields.block);
    if (m_bKeepRawHeaders)
        pEntry->m_pRawLines = MakeRawLines(fields);
    return 0;
}
