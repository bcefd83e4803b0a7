// The listing as the page shows it: the rows a page is given for a window, what a find leaves, and
// the selected row's moves.
#include <gtest/gtest.h>

#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "view/ListingRows.h"

namespace {

class RowsTest : public ::testing::Test {
protected:
    listaf* Add(std::int32_t kind, const std::string& name)
    {
        listaf* entry = app.AppendEntry();
        entry->m_nKind = kind;
        entry->m_strName = name;
        return entry;
    }

    // Lists every entry of the application, in list order.
    void ListAll()
    {
        std::vector<const listaf*> entries;
        for (const listaf* entry = app.FirstEntry(); entry; entry = entry->Next())
            entries.push_back(entry);
        rows.Reset(std::move(entries));
    }

    // n message files named m0, m1, ...
    void ListMessages(int n)
    {
        for (int i = 0; i < n; ++i)
            Add(KIND_MESSAGE_FILE, "m" + std::to_string(i));
        ListAll();
    }

    CQuilloryApp app;
    ListingRows rows;
};

TEST_F(RowsTest, AWindowOfRowsCarriesEveryCellAsTheListingShowsIt)
{
    Add(KIND_OTHER, "first.txt");
    Add(KIND_DIRECTORY, "Sub & Co");
    listaf* message = Add(KIND_FOLDER_MESSAGE, "Msg00001");
    message->SetSize(1234);
    message->m_strHeader = "From: a\r\nSubject: <b>\"x\"</b>\xe9";
    message->m_strFrom = "From: Ann &lt;ann@x&gt;";
    message->m_strSubject = "Subject: \xe9t\xe9";
    Add(KIND_OTHER, "last.txt");
    ListAll();

    EXPECT_EQ(rows.RowsJson(rows.Generation(), 1, 2),
              "["
              R"([["folder","<img src='imgfolder.gif' border=0>",null,null],)"
              R"([null,"<a href='http://quillory/2'> Sub &amp; Co <//a>",null,"6"]],)"
              R"([["other","<img src='encoded.gif' id=posta border=0>",)"
              R"("From: a\u000d\u000aSubject: <b>\u0022x\u0022</b>\u00e9",null],)"
              R"([null,"<a href='http://quillory/3'> Msg00001 <//a>",null,null],)"
              R"([null,"1234",null,null],)"
              R"([null,"From: Ann &lt;ann@x&gt;",null,null],)"
              R"([null,"&nbsp;",null,null],)"
              R"([null,"Subject: \u00e9t\u00e9",null,null],)"
              R"([null,"&nbsp;",null,null]])"
              "]");
}

TEST_F(RowsTest, AMessageFoundOutsideTheIndexSaysSoInItsSizeCell)
{
    const struct {
        MessageRecovery recovery;
        const char* sizeCell;
    } cases[] = {
        {MessageRecovery::None, R"([null,"512",null,null])"},
        {MessageRecovery::Complete,
         R"([null,"<span class='found'>found</span> 512","Found outside the folder's index",null])"},
        {MessageRecovery::Partial,
         R"([null,"<span class='found partial'>part</span> 512",)"
         R"("Found outside the folder's index, not whole: saved as far as it could be followed",null])"},
    };
    for (const auto& c : cases) {
        listaf* message = Add(KIND_FOLDER_MESSAGE, "Rec00001");
        message->SetSize(512);
        message->m_recovery = c.recovery;
        ListAll();
        const std::string json = rows.RowsJson(rows.Generation(), 0, 1);
        EXPECT_NE(json.find(std::string("<//a>\",null,null],") + c.sizeCell + ",[null,\"&nbsp;\""), std::string::npos)
            << json;
        app.DeleteAllEntries();
    }
}

TEST_F(RowsTest, ARowIsFoundByItsNameAmongTheRowsShown)
{
    for (const char* name : {"Old", "box.dbx", "note.eml", "Note.eml", "note.eml"})
        Add(KIND_OTHER, name);
    ListAll();
    const struct {
        const char* name;
        std::int32_t row;
    } cases[] = {{"note.eml", 2}, {"Note.eml", 3}, {"NOTE.EML", -1}, {"", -1}, {"Old", 0}};
    for (const auto& c : cases)
        EXPECT_EQ(rows.RowNamed(c.name), c.row) << c.name;
    rows.SetFilter("box");
    EXPECT_EQ(rows.RowNamed("box.dbx"), 0) << "counted among the rows a find shows";
    EXPECT_EQ(rows.RowNamed("Old"), -1);
}

// Decoded header cells are UTF-8 and go to the page as the characters they spell; the header in
// the icon's title, and the cells of an entry not decoded, stay bytes.
TEST_F(RowsTest, DecodedHeaderCellsAreSentAsTheCharactersTheirUtf8Spells)
{
    listaf* decoded = Add(KIND_FOLDER_MESSAGE, "Msg00001");
    decoded->m_strHeader = "Subject: \xd0\x9f";
    decoded->m_strFrom = "From: Ren\xc3\xa9" "e &lt;r@x&gt;";
    decoded->m_strTo = "To: \xf0\x9f\x93\xa7";       // U+1F4E7, past U+FFFF
    decoded->m_strSubject = "Subject: \xd0\x9f\xd1\x80";  // "Пр"
    decoded->m_strDate = "Date: \xc3(\xe2\x82";        // a lone lead byte, a sequence cut short
    decoded->m_bDecodedHeaders = true;
    listaf* raw = Add(KIND_FOLDER_MESSAGE, "Msg00002");
    raw->m_strSubject = "Subject: \xd0\x9f";
    ListAll();

    EXPECT_EQ(rows.RowsJson(rows.Generation(), 0, 2),
              "["
              R"([["other","<img src='encoded.gif' id=posta border=0>","Subject: \u00d0\u009f",null],)"
              R"([null,"<a href='http://quillory/1'> Msg00001 <//a>",null,null],)"
              R"([null,"0",null,null],)"
              R"([null,"From: Ren\u00e9e &lt;r@x&gt;",null,null],)"
              R"([null,"To: \ud83d\udce7",null,null],)"
              R"([null,"Subject: \u041f\u0440",null,null],)"
              R"([null,"Date: \ufffd(\ufffd\ufffd",null,null]],)"
              R"([["other","<img src='encoded.gif' id=posta border=0>","",null],)"
              R"([null,"<a href='http://quillory/2'> Msg00002 <//a>",null,null],)"
              R"([null,"0",null,null],)"
              R"([null,"&nbsp;",null,null],)"
              R"([null,"&nbsp;",null,null],)"
              R"([null,"Subject: \u00d0\u009f",null,null],)"
              R"([null,"&nbsp;",null,null]])"
              "]");
}

TEST_F(RowsTest, QuestionsAboutAnotherListingOrPastTheEndAreAnsweredWithNothing)
{
    ListMessages(3);
    const std::int32_t old = rows.Generation();
    ListMessages(0);  // a refill of the same entries
    const std::string now = std::to_string(rows.Generation());
    ASSERT_NE(rows.AnswerRowsQuery("gen=" + now + "&from=2&count=1"), "[]");

    const std::string queries[] = {
        "gen=" + std::to_string(old) + "&from=0&count=1",  // the listing before the refill
        "gen=" + now + "&from=3&count=1",                  // past the end
        "gen=" + now + "&from=0&count=0",
        "gen=" + now + "&from=0",
        "gen=" + now + "&from=0&count=1&count=1",
        "gen=" + now + "&from=-1&count=1",
        "gen=" + now + "&from=0&count=1&",
        "gen=" + now + "&from=0x1&count=1",
        "gen=" + now + "&from=0&count=99999999999",
        "gen=" + now + "&from=0&count=1&x=1",
        "",
        "garbage",
    };
    for (const std::string& query : queries)
        EXPECT_EQ(rows.AnswerRowsQuery(query), "[]") << query;

    // A question asks for at most a few screenfuls, however many it names.
    ListMessages(kMaxRowsPerRequest);  // now twice as many
    const std::string all = rows.RowsJson(rows.Generation(), 0, 1'000'000);
    std::int32_t links = 0;
    for (std::size_t at = all.find("<a href"); at != std::string::npos; at = all.find("<a href", at + 1))
        ++links;
    EXPECT_EQ(links, kMaxRowsPerRequest);
}

TEST_F(RowsTest, FindKeepsTheRowsWhoseShownTextHasTheText)
{
    Add(KIND_MESSAGE_FILE, "a.eml")->m_strSubject = "Subject: Caf\xe9 MENU";
    Add(KIND_MESSAGE_FILE, "b.eml")->m_strFrom = "From: Bob &lt;bob@x&gt;";
    Add(KIND_MESSAGE_FILE, "c.eml")->m_strDate = "Date: CAF\xc9";
    Add(KIND_DIRECTORY, "Menus");
    Add(KIND_MESSAGE_FILE, "d.eml")->m_strTo = "To: a&amp;b";
    ListAll();
    const struct {
        const char* text;
        std::vector<std::string> names;
    } cases[] = {
        {"menu", {"a.eml", "Menus"}},          // ASCII letters in either case
        {"caf\xe9", {"a.eml"}},                // other bytes only as themselves
        {"CAF\xc9", {"c.eml"}},
        {"<bob@", {"b.eml"}},                  // as the cell shows it, not as its HTML
        {"&lt;", {}},
        {"a&b", {"d.eml"}},
        {".EML", {"a.eml", "b.eml", "c.eml", "d.eml"}},
        {"nothing like it", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(rows.SetFilter(c.text), static_cast<std::int32_t>(c.names.size()));
        std::vector<std::string> names;
        for (std::int32_t row = 0; row < rows.Count(); ++row)
            names.push_back(rows.At(row)->m_strName);
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(rows.Total(), 5);
    }
    // A text with a character that is no byte is in no row.
    EXPECT_EQ(rows.SetFilter("menu", false), 0);
    EXPECT_EQ(rows.Selected(), -1);
}

TEST_F(RowsTest, EndingAFindShowsEveryRowAndTheSelectionFromBefore)
{
    ListMessages(30);
    rows.Select(17);
    const std::int32_t before = rows.Generation();

    EXPECT_EQ(rows.SetFilter("m2"), 11);  // m2, m20 ... m29
    EXPECT_EQ(rows.Selected(), 0);
    EXPECT_EQ(rows.At(0)->m_strName, "m2");
    EXPECT_NE(rows.Generation(), before);
    EXPECT_EQ(rows.SetFilter("M29"), 1) << "typing on narrows";
    EXPECT_EQ(rows.SetFilter("m2"), 11) << "taking a letter back widens";
    rows.Move(SelectionMove::End, 5);
    EXPECT_EQ(rows.SetFilter("m2"), 11) << "the same text again";
    EXPECT_EQ(rows.RowOf(rows.All()[25]), 6);
    EXPECT_EQ(rows.RowOf(rows.All()[3]), -1);

    EXPECT_EQ(rows.SetFilter(""), 30);
    EXPECT_FALSE(rows.IsFiltered());
    EXPECT_EQ(rows.Selected(), 17);
    EXPECT_EQ(rows.At(29)->m_strName, "m29");
    const std::int32_t after = rows.Generation();
    EXPECT_EQ(rows.SetFilter(""), 30);
    EXPECT_EQ(rows.Generation(), after) << "nothing changed, so nothing to ask again";
}

TEST_F(RowsTest, SelectionStopsAtTheEnds)
{
    ListMessages(10);
    const struct {
        std::int32_t from;
        SelectionMove move;
        std::int32_t pageRows;
        std::int32_t to;
    } cases[] = {
        {0, SelectionMove::Up, 4, 0},         {0, SelectionMove::PageUp, 4, 0},
        {2, SelectionMove::PageUp, 4, 0},     {6, SelectionMove::PageUp, 4, 2},
        {9, SelectionMove::Down, 4, 9},       {9, SelectionMove::PageDown, 4, 9},
        {7, SelectionMove::PageDown, 4, 9},   {1, SelectionMove::PageDown, 4, 5},
        {5, SelectionMove::Home, 4, 0},       {5, SelectionMove::End, 4, 9},
        {5, SelectionMove::PageDown, 0, 6},   {0, SelectionMove::PageDown, 1 << 30, 9},
        {4, SelectionMove::Down, 4, 5},       {4, SelectionMove::Up, 4, 3},
    };
    for (const auto& c : cases) {
        rows.Select(c.from);
        EXPECT_EQ(rows.Move(c.move, c.pageRows), c.to) << c.from << " by " << static_cast<int>(c.move);
    }
    EXPECT_EQ(rows.Select(-3), 0);
    EXPECT_EQ(rows.Select(99), 9);

    ListMessages(0);
    rows.Clear();
    for (SelectionMove move : {SelectionMove::Up, SelectionMove::Down, SelectionMove::End})
        EXPECT_EQ(rows.Move(move, 4), -1) << "an empty listing selects nothing";
    EXPECT_EQ(rows.At(0), nullptr);
}

} // namespace
