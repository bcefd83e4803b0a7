#include "dbx/DbxBlockChain.h"

DbxBlockChain::DbxBlockChain(DbxSource& source, std::uint32_t nFirstBlock)
    : m_source(source), m_nFirst(nFirstBlock), m_nMaxBlocks(source.Size() / DBX_BLOCK_HEADER_SIZE + 1)
{
}

bool DbxBlockChain::Fail()
{
    m_bDamaged = true;
    m_bEnded = true;
    return false;
}

bool DbxBlockChain::Next()
{
    if (m_bEnded)
        return false;
    std::uint64_t offset = m_nFirst;
    if (m_bStarted) {
        if (m_block.nNext == 0) {
            m_bEnded = true;
            return false;
        }
        offset = m_block.nNext;
        if (offset == m_nMarked)
            return Fail();  // came back to a block already passed
    } else {
        m_nMarked = offset;
    }
    m_bStarted = true;
    if (++m_nVisited > m_nMaxBlocks)
        return Fail();
    unsigned char header[DBX_BLOCK_HEADER_SIZE];
    if (!m_source.ReadExact(offset, header, sizeof header))
        return Fail();
    m_nOffset = offset;
    m_block = ParseBlockHeader(header);
    if (m_nSteps == m_nPower) {
        m_nMarked = offset;
        m_nPower *= 2;
        m_nSteps = 0;
    }
    ++m_nSteps;
    return true;
}
