// The scripts the real page's host hands over, short of running them (the page tests do that).
#include <gtest/gtest.h>

#include "core/QuilloryApp.h"
#include "model/listax.h"
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
    ScriptHostTest() : host([this](std::string s, bool) { scripts.push_back(std::move(s)); }, 256) {}

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
    std::vector<std::string> scripts;
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

TEST_F(ScriptHostTest, ALargeFillGoesOverInSeveralScriptsOfItsGeneration)
{
    AddMessages(20);
    host.Attach(7, SkeletonProbe());
    EXPECT_EQ(FillListingTable(app, host), 20);
    ASSERT_GT(scripts.size(), 2u);
    for (const std::string& script : scripts) {
        EXPECT_NE(script.find("q.gen !== 7"), std::string::npos);
        EXPECT_LT(script.size(), 1024u);
    }
}

TEST_F(ScriptHostTest, TextIsQuotedSoThatNoByteEndsTheString)
{
    listaf* entry = app.AppendEntry();
    entry->m_nKind = KIND_MESSAGE_FILE;
    entry->m_strName = "a\"b\\c\n\xe9";
    app.AppendEntry()->m_strName = "it's";
    entry->m_strHeader = std::string("x\0y", 3);
    host.Attach(1, SkeletonProbe());
    FillListingTable(app, host);
    std::string all;
    for (const std::string& s : scripts)
        all += s;
    EXPECT_NE(all.find(R"(> a\\u0022b\\u005cc\\u000a\\u00e9 <//a>)"), std::string::npos);
    EXPECT_NE(all.find(R"("x\\u0000y")"), std::string::npos);
    EXPECT_EQ(all.find("it's"), std::string::npos);
    for (char c : all)
        EXPECT_TRUE(c >= 0x20 && c < 0x7f) << "scripts stay ASCII";
}

TEST_F(ScriptHostTest, ChangesQueuedForAPageThatWentAwayAreDropped)
{
    ScriptPageHostCore big([this](std::string s, bool) { scripts.push_back(std::move(s)); }, 1u << 20);
    big.Attach(1, SkeletonProbe());
    const PageElement path = big.FindElementById("cartellacorrente");
    big.SetInnerText(path, "/old");
    big.Detach();
    big.Flush();
    EXPECT_TRUE(scripts.empty());
    EXPECT_FALSE(big.HasDocument());
    EXPECT_EQ(big.InsertRow(path), 0);
}

TEST_F(ScriptHostTest, HandlesAreReusedOnceReleased)
{
    AddMessages(50);
    host.Attach(1, SkeletonProbe());
    FillListingTable(app, host);
    std::string all;
    for (const std::string& s : scripts)
        all += s;
    // A row and its seven cells are live at most, plus the path and the table: no handle past 10.
    EXPECT_EQ(all.find(",11,"), std::string::npos);
}

} // namespace
