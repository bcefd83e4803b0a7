// The built menu in a real (offscreen) window: every popup opens and paints through the
// owner-drawn style, commands reach the hooks, mnemonics choose items.
#include "MenuTestSupport.h"

#include "menu/MenuInstall.h"
#include "menu/OwnerDrawMenu.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include <gtest/gtest.h>

using namespace menutest;

namespace {

class MenuWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_window.resize(400, 300);
        MenuCommandHooks hooks;
        hooks.onCommand = [this](unsigned nID) { m_commands.push_back(nID); };
        hooks.onUpdate = [this](unsigned nID, QAction* pAction) {
            if (nID == 59392) {
                pAction->setCheckable(true);
                pAction->setChecked(m_bToolbarShown);
            }
        };
        m_bar = InstallOwnerDrawMenu(&m_window, BuildOwnerDrawMenu(m_menu), hooks);
        m_window.show();
    }

    QMenu* Popup(int index) const { return m_bar->actions().at(index)->menu(); }

    // Opens a popup, lets it lay out and paint, and returns its picture.
    QImage Open(QMenu* pPopup)
    {
        pPopup->popup(m_window.mapToGlobal(QPoint(10, 30)));
        QCoreApplication::processEvents();
        return pPopup->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    COwnerDrawMenu m_menu;  // outlives the window's bar, as the frame's member does
    QMainWindow m_window;
    QMenuBar* m_bar = nullptr;
    std::vector<unsigned> m_commands;
    bool m_bToolbarShown = true;
};

} // namespace

TEST_F(MenuWindowTest, EveryPopupPaintsOwnerDrawn)
{
    ASSERT_NE(m_bar, nullptr);
    EXPECT_EQ(m_window.menuBar(), m_bar);
    ASSERT_EQ(m_bar->actions().size(), 4);
    const QStringList titles{"&File", "&Order by", "&Show", "&?"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(m_bar->actions().at(i)->text(), titles[i]);
        QMenu* pPopup = Popup(i);
        ASSERT_NE(pPopup, nullptr);
        COwnerDrawMenu* pOwner = COwnerDrawMenu::FromHandlePermanent(pPopup);
        ASSERT_NE(pOwner, nullptr);
        const QImage picture = Open(pPopup);
        ASSERT_FALSE(picture.isNull()) << i;
        // Every item is 19 pixels or more (image cell plus 4), inside a one-pixel frame.
        EXPECT_GE(picture.height(), 2 + 19 * pOwner->GetItemCount()) << i;
        // The image column in the face colour, the text area in the menu colour.
        EXPECT_EQ(At(picture, 2, picture.height() / 2), kFace) << i;
        EXPECT_EQ(At(picture, 23, 2), kMenuWhite) << i;
        EXPECT_EQ(At(picture, 0, 0), kShadow) << i;
        pPopup->hide();
    }
}

TEST_F(MenuWindowTest, PopupIsAsWideAsItsWidestMeasuredItem)
{
    QMenu* pFile = Popup(0);
    COwnerDrawMenu* pOwner = COwnerDrawMenu::FromHandlePermanent(pFile);
    unsigned widest = 0;
    for (int i = 0; i < pOwner->GetItemCount(); ++i) {
        MEASUREITEMSTRUCT mis;
        mis.itemData = pOwner->GetItemData(i);
        pOwner->MeasureItem(mis);
        widest = std::max(widest, mis.itemWidth);
    }
    const QImage picture = Open(pFile);
    EXPECT_EQ(picture.width(), int(widest) + 2);
    EXPECT_EQ(pFile->actionGeometry(pFile->actions().first()).height(), std::max(GetSystemMetrics(SM_CYMENU), 19));
    pFile->hide();
}

TEST_F(MenuWindowTest, OrderPopupShowsTheToolbarImages)
{
    const QImage picture = Open(Popup(1));
    // The down arrows of the order images are dark blue, in the image column of every item.
    for (int item = 0; item < 4; ++item) {
        bool bArrow = false;
        for (int y = 1 + item * 19; y < 1 + (item + 1) * 19; ++y)
            for (int x = 1; x < 21; ++x)
                bArrow = bArrow || At(picture, x, y) == RGB(0, 0, 0x80);
        EXPECT_TRUE(bArrow) << item;
    }
    Popup(1)->hide();
}

TEST_F(MenuWindowTest, UpdateHookChecksAndMnemonicChooses)
{
    QMenu* pShow = Popup(2);
    const QImage picture = Open(pShow);
    QAction* pToolbar = pShow->actions().at(0);
    EXPECT_TRUE(pToolbar->isChecked());
    // The tick of the checked first item, in the menu-text colour, inside the image column.
    bool bTick = false;
    for (int y = 1; y < 20; ++y)
        for (int x = 1; x < 21; ++x)
            bTick = bTick || At(picture, x, y) == kText;
    EXPECT_TRUE(bTick);

    QTest::keyClick(pShow, Qt::Key_S);
    QCoreApplication::processEvents();
    ASSERT_EQ(m_commands.size(), 1u);
    EXPECT_EQ(m_commands.back(), 59393u);

    QMenu* pFile = Popup(0);
    Open(pFile);
    QTest::keyClick(pFile, Qt::Key_O);
    QCoreApplication::processEvents();
    ASSERT_EQ(m_commands.size(), 2u);
    EXPECT_EQ(m_commands.back(), 57601u);
}

