#include "model/listax.h"

listax::listax(listax** ppHead, listax* pTailHint) : m_ppHead(ppHead)
{
    if (*ppHead == nullptr) {
        *ppHead = this;
        return;
    }
    listax* pTail = pTailHint;
    if (pTail == nullptr || pTail->m_ppHead != ppHead || pTail->m_pNext != nullptr) {
        pTail = *ppHead;
        while (pTail->m_pNext)
            pTail = pTail->m_pNext;
    }
    pTail->m_pNext = this;
    m_pPrev = pTail;
}

listax::~listax()
{
    if (m_pPrev)
        m_pPrev->m_pNext = m_pNext;
    else if (m_ppHead)
        *m_ppHead = m_pNext;
    if (m_pNext)
        m_pNext->m_pPrev = m_pPrev;
}

std::int32_t listax::Count(listax* const* ppHead)
{
    std::int32_t n = 0;
    for (const listax* p = *ppHead; p; p = p->m_pNext)
        ++n;
    return n;
}

listaf::listaf(listax** ppHead, std::int32_t& nNextSerial, listax* pTailHint)
    : listax(ppHead, pTailHint), m_nSerial(++nNextSerial)
{
}
