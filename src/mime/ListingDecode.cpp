#include "mime/ListingDecode.h"

#include "core/QuilloryApp.h"
#include "mime/HeaderDecode.h"
#include "model/TextSearch.h"
#include "model/listax.h"

namespace {

void SetCell(std::string& cell, const std::string& raw)
{
    cell = raw.empty() ? std::string() : DecodeHeaderLine(raw);
    EscapeForHtml(cell);
}

} // namespace

bool DecodeEntryHeaders(listaf& entry)
{
    if (!entry.m_pRawLines)
        return false;
    const RawHeaderLines& raw = *entry.m_pRawLines;
    SetCell(entry.m_strFrom, raw.strFrom);
    SetCell(entry.m_strTo, raw.strTo);
    SetCell(entry.m_strSubject, raw.strSubject);
    SetCell(entry.m_strDate, raw.strDate);
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
