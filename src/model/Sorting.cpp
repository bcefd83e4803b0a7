#include <algorithm>
#include <vector>

#include "app/QuilloryApp.h"
#include "model/TextSearch.h"

namespace {

const std::string& SortKey(const listaf& entry, std::int32_t mode)
{
    switch (mode) {
    case 3: return entry.m_strSubject;
    case 2: return entry.m_strTo;
    case 1: return entry.m_strFrom;
    default: return entry.m_strName;
    }
}

} // namespace

std::int32_t CQuilloryApp::CompareEntries(const listaf* const* a, const listaf* const* b) const
{
    if ((*a)->m_nKind > (*b)->m_nKind)
        return -1;
    if ((*b)->m_nKind > (*a)->m_nKind)
        return 1;
    return CompareNoCase(SortKey(**a, m_nSortMode), SortKey(**b, m_nSortMode));
}

std::int32_t CQuilloryApp::SortEntries()
{
    const std::int32_t count = listax::Count(&m_pEntries);
    if (count < 2)
        return 0;
    // One spare null slot, so that the last entry's next link comes out null.
    std::vector<listaf*> slots(static_cast<std::size_t>(count) + 1, nullptr);
    std::size_t i = 0;
    for (listaf* p = FirstEntry(); p; p = p->Next())
        slots[i++] = p;
    std::sort(slots.begin(), slots.begin() + count,
              [this](const listaf* a, const listaf* b) { return CompareEntries(&a, &b) < 0; });
    for (std::size_t k = 0; k < static_cast<std::size_t>(count); ++k) {
        slots[k]->m_pPrev = k == 0 ? nullptr : slots[k - 1];
        slots[k]->m_pNext = slots[k + 1];
    }
    m_pEntries = slots[0];
    return 0;
}
