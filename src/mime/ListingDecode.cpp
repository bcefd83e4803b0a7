#include "mime/ListingDecode.h"

#include "core/QuilloryApp.h"
#include "mime/HeaderDecode.h"
#include "model/HeaderLines.h"
#include "model/TextSearch.h"
#include "model/listax.h"

namespace {

// The cell keeps its storage: a listing of many entries decodes without allocating.
void SetCell(std::string& cell, const std::string& raw)
{
    cell.clear();
    if (raw.empty())
        return;
    thread_local std::string decoded;
    decoded.clear();
    AppendDecodedHeaderLine(raw, decoded);
    // Escaped as the listing escapes its cells, after decoding: an encoded "<" is text, not markup.
    AppendEscapedForHtml(cell, decoded);
}

} // namespace

bool DecodeEntryHeaders(listaf& entry)
{
    thread_local RawHeaderLines raw;
    if (!RawLinesOf(entry, raw))
        return false;
    SetCell(entry.m_strFrom, raw.strFrom);
    SetCell(entry.m_strTo, raw.strTo);
    SetCell(entry.m_strSubject, raw.strSubject);
    SetCell(entry.m_strDate, raw.strDate);
    entry.m_bDecodedHeaders = true;
    return true;
}

int DecodeListingHeaders(CQuilloryApp& app)
{
    int decoded = 0;
    for (listaf* entry = app.FirstEntry(); entry; entry = entry->Next())
        if (DecodeEntryHeaders(*entry))
            ++decoded;
    return decoded;
}
