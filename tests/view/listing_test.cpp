// The rows the listing puts into the page, on the in-memory page.
#include <gtest/gtest.h>

#include "MemoryPage.h"
#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "view/ListingPageCore.h"

namespace {

class ListingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        app.m_pMessageBox = &messages;
        app.m_pStatus = &status;
        app.m_strCurrentDir = "/home/a/Mail";
    }

    listaf* Add(std::int32_t kind, const std::string& name)
    {
        listaf* entry = app.AppendEntry();
        entry->m_nKind = kind;
        entry->m_strName = name;
        entry->m_strPath = app.m_strCurrentDir + "/" + name;
        return entry;
    }

    CQuilloryApp app;
    RecordingMessageBox messages;
    RecordingStatus status;
    MemoryPage page;
};

TEST_F(ListingTest, EachKindGetsItsIconCellLinkAndCells)
{
    struct Case {
        std::int32_t kind;
        const char* className;
        const char* iconHtml;
        bool bTitle;
        std::size_t cells;
    };
    // Sorted by kind, descending, so the rows come out in this order.
    const Case cases[] = {
        {KIND_DIRECTORY, "folder", "<img src='imgfolder.gif' border=0>", false, 2},
        {KIND_FOLDER_MESSAGE, "other", "<img src='encoded.gif' id=posta border=0>", true, 7},
        {KIND_MAIL_FOLDER, "dbxer", "<img src='dbx.gif' border=0>", false, 7},
        {KIND_MESSAGE_FILE, "letter", "<img src='eml.gif' border=0>", true, 7},
        {KIND_OTHER, "other", "<img src='tondo.gif' border=0>", false, 7},
        {-7, "other", "<img src='tondo.gif' border=0>", false, 7},
    };
    for (const Case& c : cases) {
        listaf* entry = Add(c.kind, "n" + std::to_string(c.kind + 10));
        entry->m_strHeader = "From: x\r\nTo: y";
    }

    EXPECT_EQ(FillListingTable(app, page), 6);

    const auto rows = page.Rows();
    ASSERT_EQ(rows.size(), std::size(cases));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE("kind " + std::to_string(c.kind));
        ASSERT_EQ(rows[i].size(), c.cells);
        EXPECT_EQ(rows[i][0].className, c.className);
        EXPECT_EQ(rows[i][0].innerHtml, c.iconHtml);
        EXPECT_EQ(rows[i][0].bTitleSet, c.bTitle);
        if (c.bTitle) {
            EXPECT_EQ(rows[i][0].title, "From: x\r\nTo: y");
        }
        const std::int32_t serial = static_cast<std::int32_t>(i + 1);
        EXPECT_EQ(rows[i][1].innerHtml, "<a href='http://quillory/" + std::to_string(serial) + "'> n" +
                                            std::to_string(c.kind + 10) + " <//a>");
        if (c.kind == KIND_DIRECTORY)
            EXPECT_EQ(rows[i][1].attributes, (std::map<std::string, std::string>{{"colspan", "6"}}));
        else
            EXPECT_TRUE(rows[i][1].attributes.empty());
    }
    EXPECT_EQ(page.Outstanding(), 0) << "every handle is given back";
}

TEST_F(ListingTest, MessageCellsShowSizeAndHeadersWithPlaceholders)
{
    listaf* full = Add(KIND_MESSAGE_FILE, "a.eml");
    full->SetSize(0x1'2345'6789ULL);  // above 4 GB: both halves count
    full->m_strFrom = "From: &lt;a@b&gt;";
    full->m_strTo = "To: c";
    full->m_strSubject = "Subject: s & t";
    full->m_strDate = "Date: d";
    Add(KIND_MESSAGE_FILE, "b.eml");

    FillListingTable(app, page);

    const auto rows = page.Rows();
    ASSERT_EQ(rows.size(), 2u);
    std::vector<std::string> first, second;
    for (std::size_t i = 2; i < 7; ++i) {
        first.push_back(rows[0][i].innerHtml);
        second.push_back(rows[1][i].innerHtml);
    }
    EXPECT_EQ(first, (std::vector<std::string>{"4886718345", "From: &lt;a@b&gt;", "To: c", "Subject: s & t", "Date: d"}));
    EXPECT_EQ(second, (std::vector<std::string>{"0", "&nbsp;", "&nbsp;", "&nbsp;", "&nbsp;"}));
}

TEST_F(ListingTest, ARecoveredMessageRowCarriesItsMarkAndItsTooltip)
{
    listaf* found = Add(KIND_FOLDER_MESSAGE, "Rec00001");
    found->SetSize(77);
    found->m_recovery = MessageRecovery::Partial;

    FillListingTable(app, page);

    const auto rows = page.Rows();
    ASSERT_EQ(rows.size(), 1u);
    ASSERT_EQ(rows[0].size(), 7u);
    EXPECT_EQ(rows[0][2].innerHtml, "<span class='found partial'>part</span> 77");
    EXPECT_TRUE(rows[0][2].bTitleSet);
    EXPECT_EQ(rows[0][2].title, "Found outside the folder's index, not whole: saved as far as it could be followed");
    EXPECT_EQ(rows[0][0].className, "other");
}

TEST_F(ListingTest, FileNamesGoIntoTheLinkAsText)
{
    const struct {
        const char* name;
        const char* shown;
    } cases[] = {
        {"<img src=x onerror=alert(1)>.eml", "&lt;img src=x onerror=alert(1)&gt;.eml"},
        {"Tom & Jerry.eml", "Tom &amp; Jerry.eml"},
        {"&lt;.eml", "&amp;lt;.eml"},
        {"it's \"quoted\".eml", "it's \"quoted\".eml"},
    };
    for (const auto& c : cases) {
        app.DeleteAllEntries();
        listaf* entry = Add(KIND_MESSAGE_FILE, c.name);
        EXPECT_EQ(RowLinkHtml(*entry),
                  "<a href='http://quillory/" + std::to_string(entry->m_nSerial) + "'> " + c.shown + " <//a>");
    }
}

TEST_F(ListingTest, WritesThePathSortsAndReportsEachRow)
{
    Add(KIND_MESSAGE_FILE, "z.eml");
    Add(KIND_DIRECTORY, "b");
    Add(KIND_MAIL_FOLDER, "a.dbx");
    Add(KIND_DIRECTORY, "A");

    FillListingTable(app, page);

    EXPECT_EQ(page.Path().innerText, "/home/a/Mail");
    std::vector<std::string> order;
    for (const auto& row : page.Rows())
        order.push_back(row[1].innerHtml.substr(row[1].innerHtml.find("> ") + 2));
    EXPECT_EQ(order, (std::vector<std::string>{"A <//a>", "b <//a>", "a.dbx <//a>", "z.eml <//a>"}));
    EXPECT_EQ(status.texts, (std::vector<std::string>{"sorting... 0", "Filling row 1", "Filling row 2",
                                                      "Filling row 3", "Filling row 4"}));
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_GE(page.nFlushes, 1);
}

TEST_F(ListingTest, EmptyListStillShowsThePath)
{
    FillListingTable(app, page);
    EXPECT_TRUE(page.Rows().empty());
    EXPECT_EQ(page.Path().innerText, "/home/a/Mail");
    EXPECT_EQ(status.texts, std::vector<std::string>{"sorting... 0"});
}

TEST_F(ListingTest, FillStopsAtTheFirstMissingPiece)
{
    struct Case {
        const char* what;
        void (*spoil)(MemoryPage&);
        const char* message;
        std::size_t rows;       // rows left in the table
        std::size_t firstCells; // cells of the first row, if any
    };
    const Case cases[] = {
        {"no document", [](MemoryPage& p) { p.bDocument = false; }, "Mancata lettura interfaccia documento!!!", 0, 0},
        {"no body", [](MemoryPage& p) { p.bBody = false; }, "Mancata Body !!!", 0, 0},
        {"no table", [](MemoryPage& p) { p.bTable = false; }, "Tabella 'puntozero' non reperita !!!", 0, 0},
        {"not a table", [](MemoryPage& p) { p.bTableIsTable = false; }, "Mancata Table !!!", 0, 0},
        {"second row refused", [](MemoryPage& p) { p.nFailRow = 2; }, "Mancati inserimento riga !!!", 1, 7},
        {"first icon cell refused", [](MemoryPage& p) { p.nFailCell = 1; }, "Mancato inserimento cella con icona !!!", 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CQuilloryApp local;
        RecordingMessageBox box;
        local.m_pMessageBox = &box;
        for (const char* name : {"a.eml", "b.eml", "c.eml"}) {
            listaf* entry = local.AppendEntry();
            entry->m_nKind = KIND_MESSAGE_FILE;
            entry->m_strName = name;
        }
        MemoryPage spoilt;
        c.spoil(spoilt);

        FillListingTable(local, spoilt);

        ASSERT_EQ(box.messages.size(), 1u);
        EXPECT_EQ(box.messages[0].text, c.message);
        EXPECT_EQ(box.messages[0].caption, "Quillory");
        const auto rows = spoilt.bTable && spoilt.bTableIsTable ? spoilt.Rows() : decltype(spoilt.Rows()){};
        EXPECT_EQ(rows.size(), c.rows);
        if (!rows.empty()) {
            EXPECT_EQ(rows[0].size(), c.firstCells);
        }
        EXPECT_EQ(spoilt.Outstanding(), 0);
    }
}

TEST_F(ListingTest, RefusedLaterCellEndsOnlyItsRow)
{
    Add(KIND_MESSAGE_FILE, "a.eml")->m_strFrom = "From: a";
    Add(KIND_MESSAGE_FILE, "b.eml")->m_strFrom = "From: b";
    page.nFailCell = 3;  // the size cell of the first row

    FillListingTable(app, page);

    const auto rows = page.Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].size(), 2u);
    ASSERT_EQ(rows[1].size(), 7u);
    EXPECT_EQ(rows[1][3].innerHtml, "From: b");
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(ListingTest, CheckTellsTheMissingPieceUnderItsOwnCaption)
{
    struct Case {
        void (*spoil)(MemoryPage&);
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        {[](MemoryPage&) {}, {}},
        {[](MemoryPage& p) { p.bDocument = false; }, {}},
        {[](MemoryPage& p) { p.bBody = false; }, {"Identificazione Corpo Documento"}},
        {[](MemoryPage& p) { p.bTable = false; }, {"Identificazione TABLE"}},
        {[](MemoryPage& p) { p.bTableIsTable = false; }, {"Identificazione TABLE"}},
    };
    for (const Case& c : cases) {
        RecordingMessageBox box;
        app.m_pMessageBox = &box;
        MemoryPage spoilt;
        c.spoil(spoilt);
        CheckListingPage(app, spoilt);
        std::vector<std::string> texts;
        for (const auto& m : box.messages) {
            texts.push_back(m.text);
            EXPECT_EQ(m.caption, "Errore");
        }
        EXPECT_EQ(texts, c.texts);
    }
}

} // namespace
