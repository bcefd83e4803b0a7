// Navigation from the page: entering directories and mail folders, going up, saving messages, the
// Open command, and what the frame does while a rebuild is pending.

#include <QCoreApplication>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLineEdit>
#include <filesystem>

#include "WindowHarness.h"
#include "app/FrameIds.h"
#include "view/QuilloryView.h"

namespace {

class NavigationTest : public WindowTest {
protected:
    // base/ holds a sub-directory with one message and a mail folder of three messages.
    void SetUp() override
    {
        WindowTest::SetUp();
        m_strBase = m_tmp.MakeDir("base");
        m_tmp.MakeDir("base/Sub");
        m_tmp.Write("base/Sub/inner.eml", MessageText("Inner", "x", "y"));
        m_folderMessages = {
            MessageText("Carol", "Dan", "First", std::string(1500, 'a') + "\r\n"),
            MessageText("Eve", "Fay", "Second"),
            MessageText("Gil", "Hal", "Third", ""),
        };
        m_strFolder = m_tmp.Write("base/box.dbx", MailFolderBytes(m_folderMessages));
        m_strLetter = m_tmp.Write("base/letter.eml", MessageText("Ivy", "Jo", "Loose"));
    }

    std::string m_strBase;
    std::string m_strFolder;
    std::string m_strLetter;
    std::vector<std::string> m_folderMessages;
};

} // namespace

TEST_F(NavigationTest, EnteringAndLeavingDirectoriesAndMailFolders)
{
    ASSERT_TRUE(Start(m_strBase));

    ASSERT_TRUE(RefillAfter([&] { ASSERT_TRUE(ClickEntry("Sub")); }));
    EXPECT_EQ(HeaderPath(), m_strBase + "/Sub");
    EXPECT_EQ(Names(), std::vector<std::string>{"inner.eml"});
    EXPECT_EQ(Setting("LastDir"), m_strBase + "/Sub");

    ASSERT_TRUE(RefillAfter([&] { ClickGoUp(); }));
    EXPECT_EQ(HeaderPath(), m_strBase);

    ASSERT_TRUE(RefillAfter([&] { ASSERT_TRUE(ClickEntry("box.dbx")); }));
    EXPECT_EQ(HeaderPath(), m_strFolder);
    const QJsonArray rows = Rows();
    ASSERT_EQ(rows.size(), 3);
    for (const QJsonValue& row : rows) {
        const QJsonObject icon = row.toArray().at(0).toObject();
        EXPECT_EQ(icon.value("cls").toString(), QStringLiteral("other"));
        EXPECT_TRUE(icon.value("html").toString().contains("encoded.gif"));
        EXPECT_TRUE(icon.value("title").toString().contains("Subject"));
    }
    EXPECT_EQ(App().m_nItemCount, 3);

    // Going up from a mail folder lists the directory that holds it.
    ASSERT_TRUE(RefillAfter([&] { ClickGoUp(); }));
    EXPECT_EQ(HeaderPath(), m_strBase);
    EXPECT_EQ(Names().size(), 3u);
    EXPECT_TRUE(m_messages.messages.empty());
}

TEST_F(NavigationTest, GoingUpFromTheRootStaysAtTheRoot)
{
    ASSERT_TRUE(Start(std::string("/")));
    EXPECT_EQ(HeaderPath(), "/");
    ASSERT_TRUE(RefillAfter([&] { ClickGoUp(); }));
    EXPECT_EQ(HeaderPath(), "/");
    EXPECT_EQ(App().m_strCurrentDir, "/");
}

TEST_F(NavigationTest, ClickingMessagesSavesThemByteForByte)
{
    ASSERT_TRUE(Start(m_strBase));
    const std::string out = m_tmp.MakeDir("out");

    // A loose message file: the save needs no reload and leaves the listing alone.
    m_saveDialog.answers.push_back(out + "/copy.eml");
    ASSERT_TRUE(ClickEntry("letter.eml"));
    ASSERT_TRUE(SpinUntil([&] { return std::filesystem::exists(out + "/copy.eml"); }));
    EXPECT_EQ(ReadAll(out + "/copy.eml"), ReadAll(m_strLetter));
    ASSERT_EQ(m_saveDialog.requests.size(), 1u);
    EXPECT_EQ(m_saveDialog.requests[0].strInitialName, "letter.eml");
    EXPECT_EQ(App().m_strSaveDir, out + "/");
    EXPECT_EQ(Setting("SaveDir"), out + "/");
    EXPECT_EQ(HeaderPath(), m_strBase);

    // Messages inside a mail folder, the first one spread over several blocks; the next dialog
    // starts where the last save went.
    ASSERT_TRUE(RefillAfter([&] { ASSERT_TRUE(ClickEntry("box.dbx")); }));
    const std::vector<std::string> names = Names();
    ASSERT_EQ(names.size(), 3u);
    for (std::size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        const std::string target = out + "/" + names[i] + ".eml";
        m_saveDialog.answers.push_back(target);
        ASSERT_TRUE(ClickEntry(names[i]));
        ASSERT_TRUE(SpinUntil([&] { return m_saveDialog.answers.empty() && std::filesystem::exists(target); }));
        EXPECT_EQ(m_saveDialog.requests.back().strInitialDir, out + "/");
    }
    // The rows are named in index order, so the n-th name holds the n-th stored message.
    EXPECT_EQ(names, (std::vector<std::string>{"Msg00001", "Msg00002", "Msg00003"}));
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(ReadAll(out + "/" + names[i] + ".eml"), m_folderMessages[i]) << names[i];
    EXPECT_TRUE(m_messages.messages.empty());
}

TEST_F(NavigationTest, ClicksWhileARebuildIsPendingAreDropped)
{
    ASSERT_TRUE(Start(m_strBase));
    auto linkTo = [&](const std::string& name) {
        for (const listaf* p = App().FirstEntry(); p; p = p->Next())
            if (p->m_strName == name)
                return "http://quillory/" + std::to_string(p->m_nSerial);
        ADD_FAILURE() << name << " is not listed";
        return std::string();
    };
    const std::string folderLink = linkTo("box.dbx");
    const std::string subLink = linkTo("Sub");

    // Enter the mail folder, and before its reload can complete click the sub-directory and the
    // go-up arrow: both are refused and ignored, and the mail folder is what gets listed.
    ASSERT_TRUE(RefillAfter([&] {
        bool cancel = false;
        View().OnBeforeNavigate2(folderLink, cancel);
        EXPECT_TRUE(cancel);
        EXPECT_EQ(App().m_bPageReady, 0);
        const listaf* pending = App().m_pCurrentEntry;
        cancel = false;
        View().OnBeforeNavigate2(subLink, cancel);
        EXPECT_TRUE(cancel);
        cancel = false;
        View().OnBeforeNavigate2("res://quillory/00001", cancel);
        EXPECT_TRUE(cancel);
        EXPECT_EQ(App().m_pCurrentEntry, pending);
        EXPECT_EQ(App().m_strCurrentDir, m_strFolder);
    }));
    EXPECT_EQ(HeaderPath(), m_strFolder);
    EXPECT_EQ(Rows().size(), 3);
}

TEST_F(NavigationTest, EveryCompletedLoadRefillsFromTheSameEntries)
{
    ASSERT_TRUE(Start(m_strBase));
    const QJsonArray before = Rows();
    // Ctrl+N: a new document reloads the page; nothing is rescanned, so the serials stay.
    m_tmp.Write("base/later.eml", MessageText("k", "l", "m"));
    ASSERT_TRUE(RefillAfter([&] { Frame().OnCommand(ID_FILE_NEW); }));
    EXPECT_EQ(Rows(), before);
    ASSERT_TRUE(RefillAfter([&] { View().ReloadPage(); }));
    EXPECT_EQ(Rows(), before);
}

TEST_F(NavigationTest, SortCommandsReorderWithoutReadingTheDiskAgain)
{
    const std::string dir = m_tmp.MakeDir("sorted");
    m_tmp.Write("sorted/1.eml", MessageText("Bravo", "Charlie", "alpha"));
    m_tmp.Write("sorted/2.eml", MessageText("Alpha", "Bravo", "charlie"));
    m_tmp.Write("sorted/3.eml", MessageText("Charlie", "Alpha", "bravo"));
    ASSERT_TRUE(Start(dir));
    m_tmp.Write("sorted/4.eml", MessageText("Aardvark", "Aardvark", "aardvark"));

    const struct {
        int nId;
        std::vector<std::string> order;
    } cases[] = {
        {ID_SORT_FROM, {"2.eml", "1.eml", "3.eml"}},
        {ID_SORT_TO, {"3.eml", "2.eml", "1.eml"}},
        {ID_SORT_SUBJECT, {"1.eml", "3.eml", "2.eml"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nId);
        ASSERT_TRUE(RefillAfter([&] { Frame().OnCommand(c.nId); }));
        EXPECT_EQ(Names(), c.order);
    }
    // Back to the entry order, which is by name; 4.eml came after the listing and is not in it.
    ASSERT_TRUE(RefillAfter([&] { Frame().OnCommand(ID_SORT_ENTRY); }));
    EXPECT_EQ(Names(), (std::vector<std::string>{"1.eml", "2.eml", "3.eml"}));
    EXPECT_EQ(App().m_nItemCount, 3);
}

TEST_F(NavigationTest, OpenStartsAtTheListedPlaceAndCancelListsItAgain)
{
    ASSERT_TRUE(Start(m_strBase));
    ASSERT_TRUE(RefillAfter([&] { ASSERT_TRUE(ClickEntry("Sub")); }));

    // Cancel right after a click: the chooser started in the listed directory, which stays listed.
    m_chooser.answers.push_back(std::nullopt);
    ASSERT_TRUE(RefillAfter([&] { Frame().OnCommand(ID_FILE_OPEN); }));
    EXPECT_EQ(m_chooser.initialPaths.back(), m_strBase + "/Sub");
    EXPECT_EQ(HeaderPath(), m_strBase + "/Sub");
    EXPECT_EQ(Names(), std::vector<std::string>{"inner.eml"});

    // Choosing lists the choice.
    m_chooser.answers.push_back(m_strBase);
    ASSERT_TRUE(RefillAfter([&] { Frame().OnCommand(ID_FILE_OPEN); }));
    EXPECT_EQ(HeaderPath(), m_strBase);
    EXPECT_EQ(Names().size(), 3u);

    // A cancel while a mail folder is listed lists the mail folder again, not an empty directory.
    ASSERT_TRUE(RefillAfter([&] { ASSERT_TRUE(ClickEntry("box.dbx")); }));
    m_chooser.answers.push_back(std::nullopt);
    ASSERT_TRUE(RefillAfter([&] { Frame().OnCommand(ID_FILE_OPEN); }));
    EXPECT_EQ(m_chooser.initialPaths.back(), m_strFolder);
    EXPECT_EQ(HeaderPath(), m_strFolder);
    EXPECT_EQ(Rows().size(), 3);

    // And going up from there still lands in the folder's directory.
    ASSERT_TRUE(RefillAfter([&] { ClickGoUp(); }));
    EXPECT_EQ(HeaderPath(), m_strBase);
}

TEST_F(NavigationTest, KeysMoveTheSelectionAndEnterActsAsAClick)
{
    ASSERT_TRUE(Start(m_strBase));
    ASSERT_EQ(Names(), (std::vector<std::string>{"Sub", "box.dbx", "letter.eml"}));
    const std::string out = m_tmp.MakeDir("out");
    auto selected = [&] { return View().Listing().Selected(); };

    // Down past the end stays on the last row; Enter there saves it, as a click would.
    for (int i = 0; i < 4; ++i)
        PressKey(Qt::Key_Down);
    EXPECT_EQ(selected(), 2);
    m_saveDialog.answers.push_back(out + "/copy.eml");
    PressKey(Qt::Key_Return);
    ASSERT_TRUE(SpinUntil([&] { return std::filesystem::exists(out + "/copy.eml"); }));
    EXPECT_EQ(ReadAll(out + "/copy.eml"), ReadAll(m_strLetter));
    EXPECT_EQ(m_saveDialog.requests.back().strInitialName, "letter.eml");

    // Into the mail folder, save its second message, and back up with Backspace.
    PressKey(Qt::Key_Up);
    ASSERT_TRUE(RefillAfter([&] { PressKey(Qt::Key_Enter); }));
    EXPECT_EQ(HeaderPath(), m_strFolder);
    EXPECT_EQ(selected(), 0) << "a new listing starts at its first row";
    PressKey(Qt::Key_Down);
    m_saveDialog.answers.push_back(out + "/second.eml");
    PressKey(Qt::Key_Return);
    ASSERT_TRUE(SpinUntil([&] { return std::filesystem::exists(out + "/second.eml"); }));
    EXPECT_EQ(ReadAll(out + "/second.eml"), m_folderMessages[1]);
    ASSERT_TRUE(RefillAfter([&] { PressKey(Qt::Key_Backspace); }));
    EXPECT_EQ(HeaderPath(), m_strBase);
    // Alt+Up goes up as well.
    ASSERT_TRUE(RefillAfter([&] { PressKey(Qt::Key_Up, Qt::AltModifier); }));
    EXPECT_EQ(HeaderPath(), CQuilloryApp::ParentPath(m_strBase));
    EXPECT_TRUE(m_messages.messages.empty());
}

TEST_F(NavigationTest, FindNarrowsTheListingAndEscapeBringsItBack)
{
    const std::string dir = m_tmp.MakeDir("many");
    const char* subjects[] = {"Budget", "lunch", "BUDGET draft", "Holiday", "budget final", "Travel"};
    for (int i = 0; i < 6; ++i)
        m_tmp.Write("many/" + std::to_string(i) + ".eml", MessageText("x", "y", subjects[i]));
    ASSERT_TRUE(Start(dir));
    PressKey(Qt::Key_End);
    PressKey(Qt::Key_Up);
    ASSERT_EQ(View().Listing().Selected(), 4);

    Frame().OnCommand(ID_EDIT_FIND);
    ASSERT_FALSE(Frame().FindBar()->isHidden());
    Frame().FindField()->setText(QStringLiteral("budget"));
    EXPECT_TRUE(SpinUntil([&] { return Names() == std::vector<std::string>{"0.eml", "2.eml", "4.eml"}; }));
    EXPECT_EQ(Frame().MessagePaneText(), QStringLiteral("3 of 6"));
    Frame().FindField()->setText(QStringLiteral("budget f"));
    EXPECT_TRUE(SpinUntil([&] { return Names() == std::vector<std::string>{"4.eml"}; }));
    EXPECT_EQ(Frame().MessagePaneText(), QStringLiteral("1 of 6"));
    EXPECT_EQ(App().m_nItemCount, 6) << "the find is a view: the listing is the same";

    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(Frame().FindField(), &escape);
    EXPECT_TRUE(Frame().FindBar()->isHidden());
    EXPECT_TRUE(SpinUntil([&] { return Names().size() == 6u; }));
    EXPECT_EQ(View().Listing().Selected(), 4);
    EXPECT_EQ(Frame().MessagePaneText(), QStringLiteral("Pronto"));

    // A new listing closes a find left open.
    Frame().OnCommand(ID_EDIT_FIND);
    Frame().FindField()->setText(QStringLiteral("lunch"));
    ASSERT_TRUE(RefillAfter([&] { Frame().OnCommand(ID_SORT_SUBJECT); }));
    EXPECT_TRUE(Frame().FindBar()->isHidden());
    EXPECT_EQ(Names().size(), 6u);
}
