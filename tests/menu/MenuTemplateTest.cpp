// Loading menu templates: the window's menu 128, and hand-made templates for nesting,
// separators, menu-bar flags and damaged data.
#include "MenuTestSupport.h"

#include "menu/OwnerDrawMenu.h"

#include <QAction>
#include <QFontMetrics>

#include <gtest/gtest.h>

using namespace menutest;

namespace {

constexpr unsigned POPUP = 0x10, END = 0x80, GRAYED = 0x01, CHECKED = 0x08;

COwnerDrawMenu* PopupAt(const COwnerDrawMenu& menu, int position)
{
    const CMenuItemData* pRecord = menu.GetItemData(position);
    if (!pRecord || !(pRecord->m_nFlags & MF_POPUP))
        return nullptr;
    return COwnerDrawMenu::FromHandlePermanent(reinterpret_cast<QMenu*>(pRecord->m_nID));
}

QString Label(const CMenuItemData* pRecord)
{
    return pRecord->GetWideText().split(u'\t').first().trimmed();
}

} // namespace

TEST(MenuResourceTest, WindowMenuHasItsPopupsItemsAndIds)
{
    COwnerDrawMenu menu;
    ASSERT_TRUE(menu.LoadMenu(128u));
    struct Expected {
        const char* popup;
        std::vector<std::pair<const char*, unsigned>> items;
    };
    const Expected expected[] = {
        {"&File", {{"&Open...", 57601}, {"&Find...", 57636}, {"E&xport...", 32791}, {"&Exit", 57665}}},
        {"&Order by", {{"Message n.", 32774}, {"From", 32775}, {"To", 32776}, {"Subject", 32777}}},
        {"&Show",
         {{"&Instruments bar", 59392}, {"&Status bar", 59393}, {"&Decoded headers", 32785},
          {"&Recovered messages", 32790}}},
        {"&?", {{"&Info about Quillory...", 57664}}},
    };
    ASSERT_EQ(menu.GetItemCount(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(menu.GetItemData(i)->GetWideText(), QString::fromUtf8(expected[i].popup));
        EXPECT_EQ(menu.GetItemData(i)->m_nFlags, MF_BYPOSITION | MF_POPUP);
        const COwnerDrawMenu* pPopup = PopupAt(menu, i);
        ASSERT_NE(pPopup, nullptr);
        ASSERT_EQ(pPopup->GetItemCount(), int(expected[i].items.size()));
        for (int j = 0; j < pPopup->GetItemCount(); ++j) {
            const CMenuItemData* pRecord = pPopup->GetItemData(j);
            EXPECT_EQ(Label(pRecord), QString::fromUtf8(expected[i].items[size_t(j)].first));
            EXPECT_EQ(pRecord->m_nID, expected[i].items[size_t(j)].second);
            EXPECT_EQ(pRecord->m_nFlags, MF_OWNERDRAW);
            EXPECT_EQ(CommandIdOf(pPopup->ActionAt(j)), expected[i].items[size_t(j)].second);
        }
    }
    const QString open = PopupAt(menu, 0)->GetItemData(0)->GetWideText();
    EXPECT_TRUE(open.startsWith(u"&Open..."));
    EXPECT_TRUE(open.endsWith(u"\tCtrl+O"));
}

TEST(MenuResourceTest, MissingResourceLoadsNothing)
{
    COwnerDrawMenu menu;
    EXPECT_FALSE(menu.LoadMenu(QStringLiteral("#4242")));
    EXPECT_FALSE(menu.LoadMenu(QStringLiteral("nosuch")));
    EXPECT_EQ(menu.GetSafeHmenu(), nullptr);
    EXPECT_EQ(menu.GetItemCount(), 0);
}

TEST(MenuTemplateTest, NestedPopupsAndSeparators)
{
    // Bar: "&A" { "One" 1; separator (grayed, checked, with text); "&Deeper" { "Two" 2 }; "Three" 3 }, "Four" 4
    const QByteArray bytes = MakeTemplate({
        {POPUP, 0, u"&A"},
        {0, 1, u"One"},
        {GRAYED | CHECKED, 0, u"not shown"},
        {POPUP, 0, u"&Deeper"},
        {END, 2, u"Two"},
        {END, 3, u"Three"},
        {END, 4, u"Four"},
    });
    COwnerDrawMenu menu;
    ASSERT_TRUE(menu.LoadMenuIndirect(bytes));
    ASSERT_EQ(menu.GetItemCount(), 2);
    EXPECT_EQ(menu.GetItemData(1)->m_nFlags, MF_BYPOSITION);
    EXPECT_EQ(menu.GetItemData(1)->m_nID, 4u);

    COwnerDrawMenu* pA = PopupAt(menu, 0);
    ASSERT_NE(pA, nullptr);
    ASSERT_EQ(pA->GetItemCount(), 4);
    EXPECT_EQ(pA->GetItemData(1)->m_nFlags, MF_SEPARATOR | MF_OWNERDRAW);
    EXPECT_EQ(pA->GetItemData(1)->m_nID, 0u);
    EXPECT_TRUE(pA->ActionAt(1)->isSeparator());
    EXPECT_EQ(pA->GetItemData(2)->m_nFlags, MF_POPUP | MF_OWNERDRAW);
    EXPECT_EQ(pA->GetItemData(3)->m_nID, 3u);

    COwnerDrawMenu* pDeeper = PopupAt(*pA, 2);
    ASSERT_NE(pDeeper, nullptr);
    ASSERT_EQ(pDeeper->GetItemCount(), 1);
    EXPECT_EQ(pDeeper->GetItemData(0)->m_nID, 2u);
    EXPECT_EQ(pA->ActionAt(2)->menu(), pDeeper->GetSafeHmenu());
    EXPECT_EQ(std::count(g_arrMenuHandles.begin(), g_arrMenuHandles.end(), pDeeper->GetSafeHmenu()), 1);
}

TEST(MenuTemplateTest, MenuBarItemsLoseGrayedAndChecked)
{
    const QByteArray bytes = MakeTemplate({
        {POPUP | GRAYED | CHECKED, 0, u"&Grey"},
        {END | GRAYED, 7, u"Inner"},
        {END | GRAYED | CHECKED, 8, u"&Plain"},
    });
    COwnerDrawMenu menu;
    ASSERT_TRUE(menu.LoadMenuIndirect(bytes));
    EXPECT_EQ(menu.GetItemData(0)->m_nFlags, MF_BYPOSITION | MF_POPUP);
    EXPECT_EQ(menu.GetItemData(1)->m_nFlags, MF_BYPOSITION);
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(menu.ActionAt(i)->isEnabled()) << i;
        EXPECT_FALSE(menu.ActionAt(i)->isChecked()) << i;
    }
    // Popup items keep theirs.
    const COwnerDrawMenu* pPopup = PopupAt(menu, 0);
    EXPECT_EQ(pPopup->GetItemData(0)->m_nFlags, MF_GRAYED | MF_OWNERDRAW);
    EXPECT_FALSE(pPopup->ActionAt(0)->isEnabled());
}

TEST(MenuTemplateTest, DamagedTemplatesAreRefusedWhole)
{
    const QByteArray good = MakeTemplate({{POPUP | END, 0, u"&A"}, {END, 1, u"One"}});
    const struct {
        const char* what;
        QByteArray bytes;
    } cases[] = {
        {"empty", QByteArray()},
        {"header only", good.left(4)},
        {"cut inside a text", good.left(good.size() - 3)},
        {"cut before the last id", good.left(good.size() - 10)},
        {"popup never closed", MakeTemplate({{POPUP | END, 0, u"&A"}, {0, 1, u"One"}})},
        {"offset past the end", [] {
             QByteArray b = MakeTemplate({{END, 1, u"x"}});
             b[2] = char(0x40);
             return b;
         }()},
    };
    for (const auto& c : cases) {
        COwnerDrawMenu menu;
        EXPECT_FALSE(menu.LoadMenuIndirect(c.bytes)) << c.what;
        EXPECT_EQ(menu.GetItemCount(), 0) << c.what;
        EXPECT_EQ(menu.GetSafeHmenu(), nullptr) << c.what;
    }
    COwnerDrawMenu menu;
    EXPECT_TRUE(menu.LoadMenuIndirect(good + QByteArray("trailing")));
    // An offset skips bytes between the header and the first item.
    COwnerDrawMenu offset;
    EXPECT_TRUE(offset.LoadMenuIndirect(MakeTemplate({{END, 5, u"x"}}, 6)));
    EXPECT_EQ(offset.GetItemData(0)->m_nID, 5u);
}

TEST(AlignAcceleratorsTest, PadsLabelsWithTabsToTheWidestLabel)
{
    const QByteArray bytes = MakeTemplate({
        {POPUP, 0, u"&A"},
        {0, 1, u"&Open...\tCtrl+O"},
        {0, 2, u"A much longer label"},
        {END, 3, u"X\tF1"},
        {POPUP | END, 0, u"&B"},
        {0, 4, u"Plain"},
        {END, 5, u"Texts"},
    });
    COwnerDrawMenu menu;
    ASSERT_TRUE(menu.LoadMenuIndirect(bytes));
    const QFontMetrics metrics(CreateMenuFont());
    const int widest = metrics.horizontalAdvance(QStringLiteral("A much longer label "));
    const int space = metrics.horizontalAdvance(u' ');

    const COwnerDrawMenu* pA = PopupAt(menu, 0);
    EXPECT_EQ(pA->GetItemData(1)->GetWideText(), QStringLiteral("A much longer label"));
    for (int position : {0, 2}) {
        const QString text = pA->GetItemData(position)->GetWideText();
        const QString label = text.left(text.indexOf(u'\t'));
        const int width = metrics.horizontalAdvance(label);
        EXPECT_GE(width, widest) << position;
        EXPECT_LT(width, widest + space) << position;
        EXPECT_TRUE(label.trimmed() == u"&Open..." || label.trimmed() == u"X");
        EXPECT_EQ(pA->ActionAt(position)->text(), label);  // QMenu's mnemonic source
    }
    EXPECT_TRUE(pA->GetItemData(0)->GetWideText().endsWith(u"\tCtrl+O"));

    const COwnerDrawMenu* pB = PopupAt(menu, 1);
    EXPECT_EQ(pB->GetItemData(0)->GetWideText(), QStringLiteral("Plain"));
    EXPECT_EQ(pB->GetItemData(1)->GetWideText(), QStringLiteral("Texts"));
}
