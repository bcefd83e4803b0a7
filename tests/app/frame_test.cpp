// The frame's own outputs and commands: the status bar panes, the menus and toolbar, the bars.

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

#include "WindowHarness.h"
#include "app/FrameIds.h"

namespace {

class FrameTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        ASSERT_TRUE(Start(m_tmp.MakeDir("empty")));
    }
};

} // namespace

TEST_F(FrameTest, AnEmptyListingLeavesTheSortingTextAndAZeroCount)
{
    EXPECT_TRUE(SpinUntil([&] { return Frame().MessagePaneText() == QStringLiteral("sorting... 0"); }));
    EXPECT_EQ(Frame().IndicatorPane(ID_INDICATOR_SCRL)->text(), QStringLiteral("00000"));
    EXPECT_EQ(Frame().IndicatorPane(ID_INDICATOR_CAPS)->text(), QStringLiteral("MAIUSC"));
    EXPECT_EQ(Frame().IndicatorPane(ID_INDICATOR_NUM)->text(), QStringLiteral("NUM"));
}

TEST_F(FrameTest, CounterPaneShowsAtLeastFiveDigitsAndWidensToFit)
{
    const struct {
        std::int32_t n;
        const char* text;
    } cases[] = {{7, "00007"}, {0, "00000"}, {99999, "99999"}, {123456, "123456"}, {7, "00007"}};
    QLabel* pane = Frame().IndicatorPane(ID_INDICATOR_SCRL);
    int fiveDigitWidth = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        App().m_nItemCount = c.n;
        Frame().OnUpdateItemCount();
        EXPECT_EQ(pane->text(), QString::fromLatin1(c.text));
        EXPECT_GE(pane->width(), pane->fontMetrics().horizontalAdvance(pane->text()));
        if (c.n == 7) {
            fiveDigitWidth = pane->width();
        } else if (c.n == 123456) {
            EXPECT_GT(pane->width(), fiveDigitWidth);
        }
    }
    // Idle time brings the pane up to date by itself.
    App().m_nItemCount = 42;
    EXPECT_TRUE(SpinUntil([&] { return pane->text() == QStringLiteral("00042"); }));
}

TEST_F(FrameTest, ProgressTextEndsOnTheLastTextGiven)
{
    Frame().SetProgressText("Reading...", 12);
    EXPECT_TRUE(SpinUntil([&] { return Frame().MessagePaneText() == QStringLiteral("Reading... 12"); }));

    // A long loop that never returns to the event loop: whatever was painted in between, the
    // pane ends on the last text once the loop is done.
    for (std::int32_t n = 1; n <= 20000; ++n)
        Frame().SetProgressText("Filling row", n);
    EXPECT_TRUE(SpinUntil([&] { return Frame().MessagePaneText() == QStringLiteral("Filling row 20000"); }));
    QApplication::processEvents();
    EXPECT_EQ(Frame().MessagePaneText(), QStringLiteral("Filling row 20000"));

    // A menu prompt covers the pane; when it goes the idle text comes back.
    Frame().statusBar()->showMessage(QStringLiteral("Open a folder."));
    EXPECT_EQ(Frame().MessagePaneText(), QStringLiteral("Open a folder."));
    Frame().statusBar()->clearMessage();
    EXPECT_EQ(Frame().MessagePaneText(), QStringLiteral("Pronto"));
}

TEST_F(FrameTest, MenusAndToolbarCarryTheCommandsWithTheirPrompts)
{
    struct Item {
        const char* text;
        int nId;
        const char* prompt;
    };
    const struct {
        const char* title;
        std::vector<Item> items;
    } menus[] = {
        {"&File",
         {{"&Open...\tCtrl+O", ID_FILE_OPEN, "Open a folder."},
          {"&Find...\tCtrl+F", ID_EDIT_FIND, "Show only the entries that contain a text."},
          {"&Exit", ID_APP_EXIT, nullptr}}},
        {"&Order by",
         {{"Message n.", ID_SORT_ENTRY, "The entry order"},
          {"From", ID_SORT_FROM, "Order by 'From'"},
          {"To", ID_SORT_TO, "Order by 'to'"},
          {"Subject", ID_SORT_SUBJECT, "Order by 'Subject'"}}},
        {"&Show",
         {{"&Instruments bar", ID_VIEW_TOOLBAR, nullptr},
          {"&Status bar", ID_VIEW_STATUS_BAR, nullptr},
          {"&Decoded headers", ID_VIEW_DECODED_HEADERS,
           "Show From, To, Subject and Date decoded, as a reader sees them (off: as the messages store them)."},
          {"&Recovered messages", ID_SHOW_RECOVERED, "Also list the messages found outside the folder's index"}}},
        {"&?", {{"&Info about Quillory...", ID_APP_ABOUT, nullptr}}},
    };
    // Whatever draws the menus, the bar has the four popups and every item's command carries its
    // text and its prompt for the status bar.
    const QList<QAction*> popups = Frame().menuBar()->actions();
    ASSERT_EQ(popups.size(), 4);
    for (int m = 0; m < 4; ++m) {
        SCOPED_TRACE(menus[m].title);
        EXPECT_EQ(popups[m]->text(), QString::fromLatin1(menus[m].title));
        for (const Item& want : menus[m].items) {
            QAction* action = Frame().CommandAction(want.nId);
            ASSERT_NE(action, nullptr) << want.text;
            EXPECT_EQ(action->text(), QString::fromLatin1(want.text));
            EXPECT_FALSE(action->statusTip().isEmpty());
            if (want.prompt) {
                EXPECT_EQ(action->statusTip(), QString::fromLatin1(want.prompt));
            }
        }
    }

    // Seven buttons with images and tooltips, separators after Open and after About.
    const QList<QAction*> buttons = Frame().ToolBar()->actions();
    std::vector<int> ids;
    for (QAction* button : buttons) {
        if (button->isSeparator()) {
            ids.push_back(0);
            continue;
        }
        ids.push_back(button->data().toInt());
        EXPECT_FALSE(button->icon().isNull());
        EXPECT_FALSE(button->toolTip().isEmpty());
    }
    EXPECT_EQ(ids, (std::vector<int>{ID_FILE_OPEN, 0, ID_FILE_PRINT, ID_APP_ABOUT, 0, ID_SORT_ENTRY,
                                      ID_SORT_FROM, ID_SORT_TO, ID_SORT_SUBJECT}));
    EXPECT_EQ(Frame().CommandAction(ID_FILE_OPEN)->toolTip(), QStringLiteral("Apri"));
}

TEST_F(FrameTest, BarTogglesHideAndShowTheirBarsAndTheirChecks)
{
    const struct {
        int nId;
        std::function<QWidget*()> bar;
    } cases[] = {
        {ID_VIEW_TOOLBAR, [&] { return static_cast<QWidget*>(Frame().ToolBar()); }},
        {ID_VIEW_STATUS_BAR, [&] { return static_cast<QWidget*>(Frame().statusBar()); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nId);
        QAction* action = Frame().CommandAction(c.nId);
        Frame().UpdateCommandStates();
        EXPECT_TRUE(action->isChecked());
        EXPECT_TRUE(Frame().OnCommand(c.nId));
        EXPECT_TRUE(c.bar()->isHidden());
        EXPECT_FALSE(action->isChecked());
        action->trigger();  // the menu item does the same
        EXPECT_FALSE(c.bar()->isHidden());
        EXPECT_TRUE(action->isChecked());
    }
    // The credit bar is not a toggle of either.
    EXPECT_FALSE(Frame().DialogBar()->isHidden());
}

TEST_F(FrameTest, ExitClosesTheWindow)
{
    EXPECT_TRUE(Frame().isVisible());
    EXPECT_TRUE(Frame().OnCommand(ID_APP_EXIT));
    EXPECT_FALSE(Frame().isVisible());
    EXPECT_FALSE(Frame().OnCommand(12345));
}
