#include <algorithm>
#include <map>
#include <string_view>
#include <vector>

#include "core/QuilloryApp.h"
#include "model/listax.h"
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
    if (m_pEntries == nullptr || m_pEntries->m_pNext == nullptr)
        return 0;  // fewer than two entries: nothing to do
    // Ordered exactly as CompareEntries orders them, but each key is folded to lower case once,
    // into one buffer, and most comparisons are settled by eight bytes held in the slot: the
    // bytes after the prefix that every key of the same kind shares (often the header label).
    struct Slot {
        std::uint64_t nHead;
        std::int32_t nKind;
        std::uint32_t nOffset;
        std::uint32_t nLength;
        listaf* pEntry;
    };
    // One walk collects everything: on a large list each visit to an entry is a cache miss.
    std::vector<Slot> slots;
    std::string folded;
    for (listaf* p = FirstEntry(); p; p = p->Next()) {
        const std::string& key = SortKey(*p, m_nSortMode);
        slots.push_back({0, p->m_nKind, static_cast<std::uint32_t>(folded.size()),
                         static_cast<std::uint32_t>(key.size()), p});
        const std::size_t at = folded.size();
        folded += key;
        std::transform(folded.begin() + static_cast<std::ptrdiff_t>(at), folded.end(), folded.begin() + static_cast<std::ptrdiff_t>(at),
                       [](char c) { return static_cast<char>(FoldCase(static_cast<unsigned char>(c))); });
    }
    const std::string_view all(folded);
    const auto keyOf = [all](const Slot& slot) { return all.substr(slot.nOffset, slot.nLength); };

    // The shared prefix of each kind's keys; kinds never compare keys with each other.
    std::map<std::int32_t, std::string_view> shared;
    for (const Slot& slot : slots) {
        const auto [it, inserted] = shared.try_emplace(slot.nKind, keyOf(slot));
        if (!inserted) {
            const std::string_view key = keyOf(slot);
            std::size_t n = 0;
            while (n < it->second.size() && n < key.size() && it->second[n] == key[n])
                ++n;
            it->second = it->second.substr(0, n);
        }
    }
    for (Slot& slot : slots) {
        const std::size_t skip = shared[slot.nKind].size();
        slot.nOffset += static_cast<std::uint32_t>(skip);
        slot.nLength -= static_cast<std::uint32_t>(skip);
        // Big-endian, zero-padded: a shorter key sorts first, as it does byte by byte (keys hold
        // no zero bytes).
        const std::string_view key = keyOf(slot);
        for (std::size_t i = 0; i < 8; ++i)
            slot.nHead = (slot.nHead << 8) | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
    }
    std::sort(slots.begin(), slots.end(), [&keyOf](const Slot& a, const Slot& b) {
        if (a.nKind != b.nKind)
            return a.nKind > b.nKind;
        if (a.nHead != b.nHead)
            return a.nHead < b.nHead;
        return keyOf(a) < keyOf(b);
    });
    for (std::size_t k = 0; k < slots.size(); ++k) {
        slots[k].pEntry->m_pPrev = k == 0 ? nullptr : slots[k - 1].pEntry;
        slots[k].pEntry->m_pNext = k + 1 < slots.size() ? slots[k + 1].pEntry : nullptr;
    }
    m_pEntries = slots.front().pEntry;
    return 0;
}
