// The scripts the real page's host hands over, short of running them (the page tests do that).
#include <gtest/gtest.h>

#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "view/ListingRows.h"
#include "view/ScriptPageHostCore.h"

namespace {

PageProbe SkeletonProbe()
{
    PageProbe probe;
    probe.bDocument = probe.bBody = true;
    probe.ids = {{"cartellacorrente", "A"}, {"puntozero", "TABLE"}};
    probe.bodyChildren = {{"puntozero", "TABLE"}};
    return probe;
}

class ScriptHostTest : public ::testing::Test {
protected:
    ScriptHostTest() : host([this](std::string s) { scripts.push_back(std::move(s)); }, rows) {}

    void AddMessages(int n)
    {
        for (int i = 0; i < n; ++i) {
            listaf* entry = app.AppendEntry();
            entry->m_nKind = KIND_MESSAGE_FILE;
            entry->m_strName = "m" + std::to_string(i);
        }
    }

    CQuilloryApp app;
    RecordingMessageBox messages;
    RecordingStatus status;
    std::vector<std::string> scripts;
    ListingRows rows;
    ScriptPageHostCore host;
};

TEST_F(ScriptHostTest, NothingIsThereUntilAProbedPageIsAttached)
{
    app.m_pMessageBox = &messages;
    AddMessages(1);
    FillListingTable(app, host);
    EXPECT_TRUE(scripts.empty());
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "Mancata lettura interfaccia documento!!!");

    PageProbe noTable = SkeletonProbe();
    noTable.bodyChildren["puntozero"] = "";
    host.Attach(3, noTable);
    FillListingTable(app, host);
    EXPECT_EQ(messages.messages.back().text, "Tabella 'puntozero' non reperita !!!");

    PageProbe notTable = SkeletonProbe();
    notTable.bodyChildren["puntozero"] = "DIV";
    host.Attach(4, notTable);
    FillListingTable(app, host);
    EXPECT_EQ(messages.messages.back().text, "Mancata Table !!!");
}

TEST_F(ScriptHostTest, AFillHandsTheSortedListingToThePageInOneScriptOfItsGeneration)
{
    app.m_pStatus = &status;
    app.m_nSortMode = 3;  // by subject
    AddMessages(3);
    listaf* last = app.FirstEntry();
    last->m_strSubject = "Subject: zz";
    host.Attach(7, SkeletonProbe());

    EXPECT_EQ(FillListingTable(app, host), 3);

    ASSERT_EQ(scripts.size(), 1u);
    EXPECT_NE(scripts[0].find("q.gen !== 7"), std::string::npos);
    EXPECT_NE(scripts[0].find("q.show(" + std::to_string(rows.Generation()) + ",3,0,20,'top')"), std::string::npos);
    ASSERT_EQ(rows.Count(), 3);
    EXPECT_EQ(rows.At(2), last) << "in the order of the sort";
    // No row is made at the fill, so none is reported.
    EXPECT_EQ(status.texts, std::vector<std::string>{"sorting... 0"});
}

TEST_F(ScriptHostTest, TextIsQuotedSoThatNoByteEndsTheString)
{
    app.m_strCurrentDir = std::string("/a\"b\\c\n\xe9/it's/x\0y", 17);
    host.Attach(1, SkeletonProbe());
    FillListingTable(app, host);
    ASSERT_EQ(scripts.size(), 1u);
    EXPECT_NE(scripts[0].find(R"("/a\\u0022b\\u005cc\\u000a\\u00e9/it\\u0027s/x\\u0000y")"), std::string::npos);
    for (char c : scripts[0])
        EXPECT_TRUE(c >= 0x20 && c < 0x7f) << "scripts stay ASCII";
}

TEST_F(ScriptHostTest, ChangesQueuedForAPageThatWentAwayAreDropped)
{
    ScriptPageHostCore big([this](std::string s) { scripts.push_back(std::move(s)); }, rows);
    big.Attach(1, SkeletonProbe());
    const PageElement path = big.FindElementById("cartellacorrente");
    big.SetInnerText(path, "/old");
    big.Detach();
    big.Flush();
    EXPECT_TRUE(scripts.empty());
    EXPECT_FALSE(big.HasDocument());
    EXPECT_EQ(big.InsertRow(path), 0);
}

} // namespace
