// Recovered messages in the window: the Show menu's item, the mark of their rows, the status bar.

#include <QAction>
#include <QJsonObject>

#include "WindowHarness.h"
#include "app/FrameIds.h"
#include "dbxgen/DbxGen.h"

namespace {

QJsonObject Cell(const QJsonArray& rows, int row, int cell)
{
    return rows.at(row).toArray().at(cell).toObject();
}

} // namespace

TEST_F(WindowTest, TheItemListsTheMessagesFoundOutsideTheIndexWithTheirMark)
{
    // Four messages of three blocks or more. The second's record is out of the index; so is the
    // fourth's, which was deleted as well: its blocks no longer name their own offsets.
    std::vector<dbxgen::Message> messages(4);
    for (std::uint32_t i = 0; i < 4; ++i)
        messages[i].text = dbxgen::SampleMessage(i, 1200);
    messages[1].bUnindexed = true;
    messages[3].bUnindexed = true;
    messages[3].nLostOwnOffset = 0xFFFFFFFF;
    const std::string dir = m_tmp.MakeDir("base");
    ASSERT_TRUE(dbxgen::WriteFile(dir + "/box.dbx", dbxgen::BuildFolder(messages)));

    ASSERT_TRUE(Start(dir));
    QAction* item = Frame().CommandAction(ID_SHOW_RECOVERED);
    ASSERT_NE(item, nullptr);
    Frame().UpdateCommandStates();
    EXPECT_TRUE(item->isCheckable());
    EXPECT_FALSE(item->isChecked());

    // In a directory the item changes the setting and nothing else: no reload starts.
    item->trigger();
    EXPECT_TRUE(item->isChecked());
    EXPECT_EQ(App().m_bPageReady, 1);
    EXPECT_EQ(App().m_bRebuildPending, 0);
    EXPECT_EQ(Setting("ShowRecovered"), "1");
    item->trigger();
    EXPECT_EQ(Setting("ShowRecovered"), "0");

    ASSERT_TRUE(RefillAfter([&] { ASSERT_TRUE(ClickEntry("box.dbx")); }));
    EXPECT_EQ(Names(), (std::vector<std::string>{"Msg00001", "Msg00002"}));

    // Turned on over a mail folder, the folder is listed again with what the scan found.
    ASSERT_TRUE(RefillAfter([&] { item->trigger(); }));
    EXPECT_TRUE(item->isChecked());
    EXPECT_EQ(Names(), (std::vector<std::string>{"Msg00001", "Msg00002", "Rec00001", "Rec00002"}));
    const QJsonArray rows = Rows();
    ASSERT_EQ(rows.size(), 4);
    const struct {
        int row;
        const std::string& text;
        const char* html;  // the size cell's, before the size
        const char* title;
    } expected[] = {
        {0, messages[0].text, "", ""},
        {1, messages[2].text, "", ""},
        {2, messages[1].text, R"(<span class="found">found</span> )", "Found outside the folder's index"},
        {3, messages[3].text, R"(<span class="found partial">part</span> )",
         "Found outside the folder's index, not whole: saved as far as it could be followed"},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.row);
        const std::string size = std::to_string(e.text.size());
        EXPECT_EQ(Cell(rows, e.row, 2).value("html").toString().toStdString(), e.html + size);
        EXPECT_EQ(Cell(rows, e.row, 2).value("title").toString().toStdString(), *e.title ? e.title : size);
        // The listing's own colours and cells: the icon cell of a folder message, no class on the rest.
        EXPECT_EQ(Cell(rows, e.row, 0).value("cls").toString(), QStringLiteral("other"));
        EXPECT_EQ(Cell(rows, e.row, 2).value("cls").toString(), QString());
        const std::size_t subject = e.text.find("Subject: ");
        EXPECT_EQ(Cell(rows, e.row, 5).value("text").toString().toStdString(),
                  e.text.substr(subject, e.text.find('\r', subject) - subject));
    }
    EXPECT_TRUE(SpinUntil([&] { return Frame().MessagePaneText() == QStringLiteral("2 messages found outside the index"); }))
        << Frame().MessagePaneText().toStdString();
    EXPECT_EQ(Setting("ShowRecovered"), "1");
    EXPECT_TRUE(m_messages.messages.empty());

    // The setting outlives the window: the next start lists them at the first click.
    Stop();
    ASSERT_TRUE(Start(dir));
    Frame().UpdateCommandStates();
    EXPECT_TRUE(Frame().CommandAction(ID_SHOW_RECOVERED)->isChecked());
    ASSERT_TRUE(RefillAfter([&] { ASSERT_TRUE(ClickEntry("box.dbx")); }));
    EXPECT_EQ(Names().size(), 4u);

    // Turned off, the folder is listed from its index alone, and the pane no longer speaks of a scan.
    ASSERT_TRUE(RefillAfter([&] { Frame().OnCommand(ID_SHOW_RECOVERED); }));
    EXPECT_EQ(Names(), (std::vector<std::string>{"Msg00001", "Msg00002"}));
    EXPECT_EQ(App().m_nRecoveredCount, -1);
    EXPECT_FALSE(Frame().MessagePaneText().contains(QStringLiteral("outside the index")));
    EXPECT_EQ(Setting("ShowRecovered"), "0");
}
