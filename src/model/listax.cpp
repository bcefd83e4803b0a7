#include "model/listax.h"

#include <unordered_map>

namespace {

// The last node of each non-empty list, by the address of its head. Everything runs on one
// thread, as the lists always have.
std::unordered_map<listax**, listax*>& Tails()
{
    static std::unordered_map<listax**, listax*> tails;
    return tails;
}

} // namespace

listax::listax(listax** ppHead) : m_ppHead(ppHead)
{
    auto& tails = Tails();
    if (*ppHead == nullptr) {
        *ppHead = this;
        tails[ppHead] = this;
        return;
    }
    // A remembered tail is still the tail while nothing follows it: a live node with this head
    // is in this list. After a re-link it may not be, and the walk finds the real one.
    listax*& cached = tails[ppHead];
    listax* pTail = cached;
    if (pTail == nullptr || pTail->m_pNext != nullptr) {
        pTail = *ppHead;
        while (pTail->m_pNext)
            pTail = pTail->m_pNext;
    }
    pTail->m_pNext = this;
    m_pPrev = pTail;
    cached = this;
}

listax::~listax()
{
    if (m_pPrev)
        m_pPrev->m_pNext = m_pNext;
    else if (m_ppHead)
        *m_ppHead = m_pNext;
    if (m_pNext)
        m_pNext->m_pPrev = m_pPrev;
    auto& tails = Tails();
    if (const auto it = tails.find(m_ppHead); it != tails.end()) {
        if (m_ppHead && *m_ppHead == nullptr)
            tails.erase(it);
        else if (it->second == this)
            it->second = m_pNext ? nullptr : m_pPrev;  // unknown after a re-link: walk next time
    }
}

std::int32_t listax::Count(listax* const* ppHead)
{
    std::int32_t n = 0;
    for (const listax* p = *ppHead; p; p = p->m_pNext)
        ++n;
    return n;
}

listaf::listaf(listax** ppHead, std::int32_t& nNextSerial) : listax(ppHead), m_nSerial(++nNextSerial)
{
}
