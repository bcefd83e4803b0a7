// Images for the menu's commands, finding commands, measuring items and tearing menus down.
#include "MenuTestSupport.h"

#include "menu/OwnerDrawMenu.h"

#include <QAction>
#include <QFontMetrics>
#include <QPointer>

#include <gtest/gtest.h>

using namespace menutest;

namespace {

constexpr unsigned POPUP = 0x10, END = 0x80;

// The image a command's record shows, or a null image.
QImage ImageOf(COwnerDrawMenu& menu, unsigned nID)
{
    int position = -1;
    COwnerDrawMenu* pMenu = menu.FindCommandItem(nID, position);
    if (!pMenu)
        return QImage();
    const CMenuItemData* pRecord = pMenu->GetItemData(position);
    if (pRecord->m_nImageSource < 0 || !pRecord->m_pImageList)
        return QImage();
    return pRecord->m_pImageList->ExtractIcon(pRecord->m_nImageIndex);
}

} // namespace

TEST(ToolBarImagesTest, CommandsTakeTheirButtonsImages)
{
    COwnerDrawMenu menu;
    ASSERT_TRUE(menu.LoadMenu(128u));
    ASSERT_TRUE(menu.LoadToolBarImages(128));

    CImageList strip;
    strip.Create(16, 15, ILC_COLORDDB | ILC_MASK, 1, 1);
    ASSERT_TRUE(AppendBitmapImages(strip, 128, MenuPalette()));
    const std::pair<unsigned, int> expected[] = {
        {57601, 0}, {57664, 2}, {32774, 3}, {32775, 4}, {32776, 5}, {32777, 6},
    };
    for (const auto& [nID, image] : expected)
        EXPECT_EQ(ImageOf(menu, nID), strip.ExtractIcon(image)) << nID;
    for (unsigned nID : {57665u, 59392u, 59393u})
        EXPECT_TRUE(ImageOf(menu, nID).isNull()) << nID;
    int position = -1;
    EXPECT_EQ(menu.FindCommandItem(57607, position), nullptr);  // Print: toolbar only
    EXPECT_EQ(position, -1);

    COwnerDrawMenu noToolbar;
    ASSERT_TRUE(noToolbar.LoadMenu(128u));
    EXPECT_FALSE(noToolbar.LoadToolBarImages(129));
    EXPECT_TRUE(ImageOf(noToolbar, 57601).isNull());
}

TEST(ToolBarImagesTest, ACommandInTwoPopupsGetsTheImageInBoth)
{
    const QByteArray bytes = MakeTemplate({
        {POPUP, 0, u"&File"},
        {0, 57665, u"&Exit"},
        {END, 57601, u"&Open...\tCtrl+O"},
        {POPUP | END, 0, u"&Again"},
        {0, 9, u"Something long enough"},
        {END, 57601, u"&Open...\tCtrl+O"},
    });
    COwnerDrawMenu menu;
    ASSERT_TRUE(menu.LoadMenuIndirect(bytes));

    int position = -1;
    COwnerDrawMenu* pFirst = menu.FindCommandItem(57601, position);
    ASSERT_NE(pFirst, nullptr);
    EXPECT_EQ(position, 1);
    std::vector<COwnerDrawMenu*> menus{pFirst};
    std::vector<int> positions{position};
    COwnerDrawMenu* pSecond = menu.FindNextCommandItem(57601, position, menus, positions);
    ASSERT_NE(pSecond, nullptr);
    EXPECT_NE(pSecond, pFirst);
    EXPECT_EQ(position, 1);
    menus.push_back(pSecond);
    positions.push_back(1);
    EXPECT_EQ(menu.FindNextCommandItem(57601, position, menus, positions), nullptr);

    ASSERT_TRUE(menu.LoadToolBarImages(128));
    for (COwnerDrawMenu* pMenu : {pFirst, pSecond}) {
        const CMenuItemData* pRecord = pMenu->GetItemData(1);
        EXPECT_EQ(pRecord->m_nImageSource, 0);
        ASSERT_NE(pRecord->m_pImageList, nullptr);
        EXPECT_EQ(pRecord->m_pImageList->GetImageCount(), 1);
        // Each item paints from the record of its own popup, with that popup's padding.
        EXPECT_EQ(pMenu->RecordOf(pMenu->ActionAt(1)), pRecord);
    }
    EXPECT_NE(pFirst->GetItemData(1)->GetWideText(), pSecond->GetItemData(1)->GetWideText());
}

TEST(SetItemImageTest, TextAndRemovalOfTheImage)
{
    COwnerDrawMenu menu;
    ASSERT_TRUE(menu.LoadMenu(128u));
    ASSERT_TRUE(menu.LoadToolBarImages(128));
    EXPECT_TRUE(menu.SetItemImage(QStringLiteral("F&rom now"), 32775, nullptr, 0));
    int position = -1;
    COwnerDrawMenu* pMenu = menu.FindCommandItem(32775, position);
    const CMenuItemData* pRecord = pMenu->GetItemData(position);
    EXPECT_EQ(pRecord->GetWideText(), QStringLiteral("F&rom now"));
    EXPECT_EQ(pRecord->m_nImageSource, -1);
    EXPECT_EQ(pRecord->m_nImageIndex, -1);
    EXPECT_EQ(pMenu->ActionAt(position)->text(), QStringLiteral("F&rom now"));
    EXPECT_FALSE(menu.SetItemImage(QString(), 4242, nullptr, 0));
}

TEST(MeasureItemTest, SeparatorsAndTextItems)
{
    COwnerDrawMenu menu;
    const int cyMenu = GetSystemMetrics(SM_CYMENU);
    ASSERT_GE(cyMenu, 19);

    CMenuItemData separator;
    separator.m_nFlags = MF_SEPARATOR | MF_OWNERDRAW;
    MEASUREITEMSTRUCT mis;
    mis.itemData = &separator;
    menu.MeasureItem(mis);
    EXPECT_EQ(mis.itemWidth, 0u);
    EXPECT_EQ(mis.itemHeight, unsigned(cyMenu / 2));

    CMenuItemData item;
    item.m_nFlags = MF_OWNERDRAW;
    item.SetWideText(QStringLiteral("&Open...  \tCtrl+O"));
    mis = MEASUREITEMSTRUCT{};
    mis.itemData = &item;
    menu.MeasureItem(mis);
    const QFontMetrics metrics(CreateMenuFont());
    EXPECT_EQ(mis.itemWidth, unsigned(metrics.horizontalAdvance(item.GetWideText()) + 2 * 16 + 1));
    EXPECT_EQ(mis.itemHeight, unsigned(std::max(cyMenu, 19)));

    // A bigger image cell makes taller items.
    menu.m_cyImage = 30;
    menu.MeasureItem(mis);
    EXPECT_EQ(mis.itemHeight, std::max(unsigned(cyMenu), 34u));
}

TEST(MenuItemDataTest, NarrowAndWideText)
{
    CMenuItemData record;
    EXPECT_EQ(record.GetText(), "");
    EXPECT_EQ(record.m_nImageIndex, -1);
    EXPECT_EQ(record.m_nImageSource, -1);
    record.SetText("&Exit");
    EXPECT_EQ(record.GetWideText(), QStringLiteral("&Exit"));
    record.SetWideText(QString());
    EXPECT_TRUE(record.GetWideText().isNull());
}

TEST(DestroyMenuTest, PopupsAndTheirHandlesGoWithTheMenu)
{
    const size_t before = g_arrMenuHandles.size();
    QPointer<QMenu> file;
    QPointer<QMenu> bar;
    {
        COwnerDrawMenu menu;
        ASSERT_TRUE(menu.LoadMenu(128u));
        EXPECT_EQ(g_arrMenuHandles.size(), before + 4);
        file = menu.ActionAt(0)->menu();
        bar = menu.GetSafeHmenu();
        ASSERT_TRUE(file);
        EXPECT_NE(COwnerDrawMenu::FromHandlePermanent(file), nullptr);
        EXPECT_TRUE(menu.DestroyMenu());
        EXPECT_EQ(menu.GetItemCount(), 0);
        EXPECT_FALSE(menu.DestroyMenu());
    }
    EXPECT_EQ(g_arrMenuHandles.size(), before);
    EXPECT_TRUE(file.isNull());
    EXPECT_TRUE(bar.isNull());

    // A detached menu keeps its popups until the object goes; the bar's handle is the caller's.
    QMenu* detached = nullptr;
    {
        COwnerDrawMenu menu;
        ASSERT_TRUE(menu.LoadMenu(128u));
        detached = menu.Detach();
        file = detached->actions().first()->menu();
        EXPECT_EQ(COwnerDrawMenu::FromHandlePermanent(detached), nullptr);
        EXPECT_NE(COwnerDrawMenu::FromHandlePermanent(file), nullptr);
    }
    EXPECT_TRUE(file.isNull());
    EXPECT_EQ(g_arrMenuHandles.size(), before);
    EXPECT_TRUE(detached->actions().isEmpty());
    delete detached;
}
