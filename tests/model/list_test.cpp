#include <gtest/gtest.h>

#include <vector>

#include "core/QuilloryApp.h"
#include "model/listax.h"

namespace {

std::vector<std::int32_t> Serials(const CQuilloryApp& app)
{
    std::vector<std::int32_t> serials;
    for (const listaf* p = app.FirstEntry(); p; p = p->Next())
        serials.push_back(p->m_nSerial);
    return serials;
}

// Walks forward and backward and checks every link the list promises.
void ExpectWellLinked(listax* const* ppHead)
{
    const listax* prev = nullptr;
    for (const listax* p = *ppHead; p; p = p->m_pNext) {
        EXPECT_EQ(p->m_pPrev, prev);
        EXPECT_EQ(p->m_ppHead, ppHead);
        prev = p;
    }
}

} // namespace

TEST(ListTest, NewEntryHasItsInitialValues)
{
    CQuilloryApp app;
    listaf* e = app.AppendEntry();
    EXPECT_EQ(app.m_pEntries, e);
    EXPECT_EQ(e->m_pNext, nullptr);
    EXPECT_EQ(e->m_pPrev, nullptr);
    EXPECT_EQ(e->m_nSerial, 1);
    EXPECT_EQ(e->m_nKind, KIND_OTHER);
    EXPECT_EQ(e->Size(), 0u);
    EXPECT_EQ(e->m_bValid, 1);
    EXPECT_TRUE(e->m_hText.empty());
    EXPECT_TRUE(e->m_strName.empty() && e->m_strFrom.empty() && e->m_strHeader.empty());
}

TEST(ListTest, DeletingHeadMiddleAndOnlyNodeRelinks)
{
    CQuilloryApp app;
    listaf* a = app.AppendEntry();
    listaf* b = app.AppendEntry();
    listaf* c = app.AppendEntry();
    EXPECT_EQ(listax::Count(&app.m_pEntries), 3);

    delete a;  // the head
    EXPECT_EQ(app.m_pEntries, b);
    EXPECT_EQ(b->m_pPrev, nullptr);
    ExpectWellLinked(&app.m_pEntries);

    listaf* d = app.AppendEntry();
    delete c;  // now in the middle of b, c, d
    EXPECT_EQ(b->m_pNext, d);
    EXPECT_EQ(d->m_pPrev, b);
    delete d;
    delete b;  // the only node
    EXPECT_EQ(app.m_pEntries, nullptr);
    EXPECT_EQ(listax::Count(&app.m_pEntries), 0);
}

TEST(ListTest, AppendAfterDeletingTheTailStillLinksAtTheTail)
{
    // The remembered tail must never be a deleted node.
    CQuilloryApp app;
    app.AppendEntry();
    listaf* tail = app.AppendEntry();
    delete tail;
    listaf* next = app.AppendEntry();
    EXPECT_EQ(listax::Count(&app.m_pEntries), 2);
    EXPECT_EQ(app.FirstEntry()->Next(), next);
    ExpectWellLinked(&app.m_pEntries);
}

TEST(ListTest, SerialsRunOnAcrossRebuilds)
{
    CQuilloryApp app;
    for (int i = 0; i < 3; ++i)
        app.AppendEntry();
    EXPECT_EQ(Serials(app), (std::vector<std::int32_t>{1, 2, 3}));
    app.m_pCurrentEntry = app.FindEntry(2);
    app.DeleteAllEntries();
    EXPECT_EQ(app.m_pEntries, nullptr);
    EXPECT_EQ(app.m_pCurrentEntry, nullptr);
    for (int i = 0; i < 3; ++i)
        app.AppendEntry();
    EXPECT_EQ(Serials(app), (std::vector<std::int32_t>{4, 5, 6}));
    EXPECT_EQ(app.FindEntry(2), nullptr);
    EXPECT_EQ(app.FindEntry(5)->m_nSerial, 5);
    EXPECT_EQ(app.FindEntry(0), nullptr);
}

TEST(ListTest, NodesOfOtherListsKeepTheirOwnHead)
{
    listax* head = nullptr;
    auto* x = new listav(&head);
    auto* y = new listav(&head);
    EXPECT_EQ(x->m_pData, nullptr);
    EXPECT_EQ(listax::Count(&head), 2);
    ExpectWellLinked(&head);
    listax* other = nullptr;
    auto* z = new listav(&other);
    EXPECT_EQ(z->m_pPrev, nullptr);
    EXPECT_EQ(listax::Count(&head), 2);
    delete z;
    delete x;
    delete y;
    EXPECT_EQ(head, nullptr);
    EXPECT_EQ(other, nullptr);
}
