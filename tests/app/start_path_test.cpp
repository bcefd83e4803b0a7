// Started on a path, as from the command line or a file manager: what is listed first, what is
// selected, and when the chooser is asked after all.

#include <filesystem>

#include "WindowHarness.h"
#include "view/QuilloryView.h"

TEST_F(WindowTest, APathGivenAtStartIsListedWithoutTheChooser)
{
    const std::string base = m_tmp.MakeDir("base");
    m_tmp.MakeDir("base/Mail");
    m_tmp.MakeDir("base/Mail/Old");
    m_tmp.Write("base/Mail/box.dbx", MailFolderBytes({MessageText("Ann", "Bob", "First"), MessageText("Cy", "Di", "Second")}));
    m_tmp.Write("base/Mail/a.eml", MessageText("Eve", "Fay", "A"));
    m_tmp.Write("base/Mail/note.eml", MessageText("Gus", "Hal", "Note"));
    const std::string mail = std::filesystem::canonical(base + "/Mail").string();
    const std::string other = m_tmp.MakeDir("other");
    const std::vector<std::string> mailRows{"Old", "box.dbx", "a.eml", "note.eml"};

    const struct {
        const char* what;
        std::string path;
        std::string message;           // "" when none is shown
        bool bAsked;
        std::string header;
        std::vector<std::string> names;
        std::string selected;
    } cases[] = {
        {"a directory", base + "/Mail/", "", false, mail, mailRows, "Old"},
        {"a mail folder", base + "/Mail/box.dbx", "", false, mail + "/box.dbx", {"Msg00001", "Msg00002"}, "Msg00001"},
        {"a message file", base + "/Mail/note.eml", "", false, mail, mailRows, "note.eml"},
        {"a missing path", base + "/Mail/gone.dbx",
         "The path " + base + "/Mail/gone.dbx cannot be opened: No such file or directory.", true, other, {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_chooser.answers.clear();
        m_chooser.titles.clear();
        m_messages.messages.clear();
        ASSERT_TRUE(Start(other, c.path));
        EXPECT_EQ(HeaderPath(), c.header);
        EXPECT_EQ(Names(), c.names);
        EXPECT_EQ(m_chooser.titles.size(), c.bAsked ? 1u : 0u);
        ASSERT_EQ(m_messages.messages.size(), c.message.empty() ? 0u : 1u);
        if (!c.message.empty()) {
            EXPECT_EQ(m_messages.messages[0].text, c.message);
        }
        const listaf* selected = View().Listing().At(View().Listing().Selected());
        EXPECT_EQ(selected ? selected->m_strName : "", c.selected);
        if (!c.selected.empty()) {
            // The page marks the same row.
            EXPECT_EQ(View()
                          .RunJavaScriptSync(QStringLiteral(
                              "document.querySelector('#puntozero tr[aria-selected] a').innerText.trim()"))
                          .toString()
                          .toStdString(),
                      c.selected);
        }
        Stop();
    }

    // Going up from a mail folder given at start lists the folder's directory.
    ASSERT_TRUE(Start(other, base + "/Mail/box.dbx"));
    ASSERT_TRUE(RefillAfter([&] { ClickGoUp(); }));
    EXPECT_EQ(HeaderPath(), mail);
    EXPECT_EQ(Names(), mailRows);
}
