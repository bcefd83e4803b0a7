#pragma once
// A chain of memory blocks read as one stream. Nodes link themselves like list entries: the
// constructor appends at the tail of the chain headed by *ppHead, the destructor unlinks.

#include <cstdint>

#include "platform/MemoryBlock.h"

class CMemory {
public:
    explicit CMemory(CMemory** ppHead);
    virtual ~CMemory();
    CMemory(const CMemory&) = delete;
    CMemory& operator=(const CMemory&) = delete;

    // Stores a copy of n bytes in a new block (replacing any earlier one) and rewinds the node.
    // Returns n, or 0 for n < 1 (nothing changes then).
    std::int32_t Write(const void* pSource, std::int32_t n);
    // Bytes held by this node and every node after it.
    [[nodiscard]] std::int32_t GetTotalLength() const;
    // Sets this node's read position to 0; the nodes after it keep theirs.
    void Rewind();
    // Copies up to n bytes from this node on into pDest, continuing into the next nodes once this
    // one is read to its end. Returns the number of bytes copied. A node that is empty and not
    // yet exhausted ends the read without passing it on.
    std::int32_t Read(void* pDest, std::int32_t n);

    CMemory* m_pNext = nullptr;
    CMemory* m_pPrev = nullptr;
    CMemory** m_ppHead = nullptr;
    MemoryBlock m_hBlock;
    std::int32_t m_nLength = 0;
    std::int32_t m_nReadPos = 0;  // -1 once this node has been read to its end
};
