// Start-up: the settings, the base-directory question, the first listing on the page.

#include <QJsonObject>
#include <QLabel>
#include <QRegularExpression>
#include <map>
#include <unistd.h>

#include "WindowHarness.h"
#include "app/FrameIds.h"
#include "platform/SettingsStore.h"

namespace {

std::string CurrentDirectory()
{
    char buffer[4096];
    return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

QJsonObject Cell(const QJsonArray& rows, int row, int cell)
{
    return rows.at(row).toArray().at(cell).toObject();
}

} // namespace

TEST_F(WindowTest, StartupListsTheChosenDirectoryRowByRow)
{
    const std::string dir = m_tmp.MakeDir("base");
    m_tmp.MakeDir("base/Archive");
    m_tmp.Write("base/full.eml", MessageText("Ann <ann@example.org>", "Bob", "Minutes"));
    m_tmp.Write("base/bare.msg", "X-Nothing: here\r\n\r\nbody\r\n");
    m_tmp.Write("base/box.dbx", MailFolderBytes({MessageText("a", "b", "c")}));
    m_tmp.Write("base/notes.txt", "plain");

    ASSERT_TRUE(Start(dir));
    EXPECT_EQ(Frame().windowTitle(), QStringLiteral("Quillory"));
    EXPECT_EQ(HeaderPath(), dir);
    ASSERT_EQ(m_chooser.titles.size(), 1u);
    EXPECT_EQ(m_chooser.titles[0], QStringLiteral("Looking for base directory"));

    const QJsonArray rows = Rows();
    ASSERT_EQ(rows.size(), 5);
    struct Expected {
        const char* name;
        const char* cls;
        const char* image;
        int cells;
        bool titled;
    };
    const Expected expected[] = {
        {"Archive", "folder", "imgfolder.gif", 2, false},
        {"box.dbx", "dbxer", "dbx.gif", 7, false},
        {"full.eml", "letter", "eml.gif", 7, true},
        {"bare.msg", "letter", "eml.gif", 7, true},
        {"notes.txt", "other", "tondo.gif", 7, false},
    };
    std::map<std::string, int> rowOf;
    for (int r = 0; r < rows.size(); ++r)
        rowOf[Cell(rows, r, 1).value("text").toString().trimmed().toStdString()] = r;
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.name);
        ASSERT_TRUE(rowOf.count(e.name));
        const int r = rowOf[e.name];
        const QJsonArray cells = rows.at(r).toArray();
        EXPECT_EQ(cells.size(), e.cells);
        EXPECT_EQ(Cell(rows, r, 0).value("cls").toString(), QString::fromLatin1(e.cls));
        EXPECT_TRUE(Cell(rows, r, 0).value("html").toString().contains(QString::fromLatin1(e.image)));
        EXPECT_EQ(!Cell(rows, r, 0).value("title").toString().isEmpty(), e.titled);
        // The link names the entry by its serial under a fixed host.
        const QString link = Cell(rows, r, 1).value("html").toString();
        EXPECT_TRUE(link.contains(QRegularExpression("href=\"http://quillory/[0-9]+\""))) << link.toStdString();
    }
    EXPECT_EQ(Cell(rows, rowOf["Archive"], 1).value("colspan").toString(), QStringLiteral("6"));
    EXPECT_TRUE(Cell(rows, rowOf["full.eml"], 0).value("title").toString().contains("Minutes"));
    EXPECT_TRUE(Cell(rows, rowOf["full.eml"], 3).value("text").toString().contains("Ann"));
    // A message without From, To and Subject shows a non-breaking space, never an empty cell.
    for (int c = 3; c <= 5; ++c)
        EXPECT_EQ(Cell(rows, rowOf["bare.msg"], c).value("html").toString(), QStringLiteral("&nbsp;"));
    EXPECT_EQ(Cell(rows, rowOf["notes.txt"], 2).value("text").toString(), QStringLiteral("5"));

    // Two message files were counted; the counter pane shows them once the loop is idle.
    EXPECT_TRUE(SpinUntil([&] {
        return Frame().IndicatorPane(ID_INDICATOR_SCRL)->text() == QStringLiteral("00002");
    }));
    EXPECT_EQ(Setting("LastDir"), dir);
    EXPECT_TRUE(m_messages.messages.empty());
}

TEST_F(WindowTest, FirstRunStartsInTheCurrentDirectoryAndTheNextRunWhereItLeft)
{
    const std::string dir = m_tmp.MakeDir("first");
    ASSERT_FALSE(SettingsStore(m_strConfig + "/Quillory").KeyExists());

    ASSERT_TRUE(Start(dir));
    ASSERT_EQ(m_chooser.initialPaths.size(), 1u);
    EXPECT_EQ(m_chooser.initialPaths[0], CurrentDirectory());
    EXPECT_EQ(App().m_strSaveDir, CurrentDirectory());
    EXPECT_EQ(Setting("LastDir"), dir);
    Stop();

    ASSERT_TRUE(Start(dir));
    ASSERT_EQ(m_chooser.initialPaths.size(), 2u);
    EXPECT_EQ(m_chooser.initialPaths[1], dir);
}

TEST_F(WindowTest, CancellingTheFirstQuestionEndsStartUpWithoutListing)
{
    const std::string remembered = m_tmp.MakeDir("remembered");
    m_tmp.Write("remembered/a.eml", MessageText("a", "b", "c"));
    {
        SettingsStore store(m_strConfig + "/Quillory");
        ASSERT_TRUE(store.CreateKey());
        ASSERT_TRUE(store.SetValue("LastDir", remembered));
    }

    EXPECT_FALSE(Start(std::nullopt));
    ASSERT_EQ(m_chooser.initialPaths.size(), 1u);
    EXPECT_EQ(m_chooser.initialPaths[0], remembered);
    EXPECT_EQ(App().FirstEntry(), nullptr);
    EXPECT_EQ(App().m_nItemCount, 0);
    EXPECT_EQ(Setting("LastDir"), remembered);
    EXPECT_TRUE(m_messages.messages.empty());
}
