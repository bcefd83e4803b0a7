#include <gtest/gtest.h>

#include "model/CMemory.h"

class MemoryTest : public ::testing::Test {
protected:
    ~MemoryTest() override
    {
        while (head)
            delete head;
    }
    CMemory* head = nullptr;
};

TEST_F(MemoryTest, ReadRunsOnIntoTheNextNode)
{
    auto* first = new CMemory(&head);
    auto* second = new CMemory(&head);
    EXPECT_EQ(first->Write("0123456789", 10), 10);
    EXPECT_EQ(second->Write("abcde", 5), 5);
    EXPECT_EQ(first->GetTotalLength(), 15);

    char out[20] = {};
    EXPECT_EQ(first->Read(out, 20), 15);
    EXPECT_EQ(std::string(out, 15), "0123456789abcde");
    EXPECT_EQ(first->m_nReadPos, -1);
    EXPECT_EQ(second->m_nReadPos, -1);
    EXPECT_EQ(first->Read(out, 20), 0);
}

TEST_F(MemoryTest, ChainedReadsInSmallPieces)
{
    auto* first = new CMemory(&head);
    auto* second = new CMemory(&head);
    first->Write("0123456789", 10);
    second->Write("abcde", 5);
    char out[4] = {};
    EXPECT_EQ(first->Read(out, 4), 4);
    EXPECT_EQ(std::string(out, 4), "0123");
    EXPECT_EQ(first->Read(out, 4), 4);
    EXPECT_EQ(std::string(out, 4), "4567");
    EXPECT_EQ(first->Read(out, 4), 4);  // two bytes from each node
    EXPECT_EQ(std::string(out, 4), "89ab");
    EXPECT_EQ(first->Read(out, 4), 3);  // passed on: the first node is exhausted
    EXPECT_EQ(std::string(out, 3), "cde");

    first->Rewind();
    EXPECT_EQ(first->Read(out, 4), 4);
    EXPECT_EQ(second->m_nReadPos, -1);  // Rewind touches one node only
}

TEST_F(MemoryTest, EmptyWritesAndEmptyNodes)
{
    auto* first = new CMemory(&head);
    EXPECT_EQ(first->Write("x", 0), 0);
    EXPECT_EQ(first->Write("x", -5), 0);
    auto* second = new CMemory(&head);
    second->Write("abc", 3);
    char out[8] = {};
    // An empty node that was never read stops the read instead of passing it on.
    EXPECT_EQ(first->Read(out, 8), 0);
    EXPECT_EQ(first->GetTotalLength(), 3);
    delete first;
    EXPECT_EQ(head, second);
    EXPECT_EQ(second->m_pPrev, nullptr);
}
