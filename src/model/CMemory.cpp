#include "model/CMemory.h"

#include <cstring>

CMemory::CMemory(CMemory** ppHead) : m_ppHead(ppHead)
{
    if (*ppHead == nullptr) {
        *ppHead = this;
        return;
    }
    CMemory* pTail = *ppHead;
    while (pTail->m_pNext)
        pTail = pTail->m_pNext;
    pTail->m_pNext = this;
    m_pPrev = pTail;
}

CMemory::~CMemory()
{
    if (m_pPrev)
        m_pPrev->m_pNext = m_pNext;
    else if (m_ppHead)
        *m_ppHead = m_pNext;
    if (m_pNext)
        m_pNext->m_pPrev = m_pPrev;
}

std::int32_t CMemory::Write(const void* pSource, std::int32_t n)
{
    if (n < 1 || pSource == nullptr)
        return 0;
    m_hBlock = AllocZeroed(static_cast<std::size_t>(n));
    std::memcpy(m_hBlock.data(), pSource, static_cast<std::size_t>(n));
    m_nLength = n;
    m_nReadPos = 0;
    return n;
}

std::int32_t CMemory::GetTotalLength() const
{
    // Iterative: a long chain must not cost a deep recursion.
    std::int32_t total = 0;
    for (const CMemory* p = this; p; p = p->m_pNext)
        total += p->m_nLength;
    return total;
}

void CMemory::Rewind() { m_nReadPos = 0; }

std::int32_t CMemory::Read(void* pDest, std::int32_t n)
{
    auto* out = static_cast<unsigned char*>(pDest);
    std::int32_t copied = 0;
    CMemory* node = this;
    while (node && n > 0) {
        if (node->m_nReadPos >= node->m_nLength)
            break;
        if (node->m_nReadPos < 0) {
            node = node->m_pNext;
            continue;
        }
        const std::int32_t left = node->m_nLength - node->m_nReadPos;
        const std::int32_t take = n <= left ? n : left;
        std::memcpy(out + copied, node->m_hBlock.data() + node->m_nReadPos, static_cast<std::size_t>(take));
        node->m_nReadPos += take;
        if (node->m_nReadPos >= node->m_nLength)
            node->m_nReadPos = -1;
        copied += take;
        n -= take;
        if (n > 0)
            node = node->m_pNext;
    }
    return copied;
}
