#include <gtest/gtest.h>

#include <vector>

#include "core/QuilloryApp.h"
#include "model/listax.h"

class SortTest : public ::testing::Test {
protected:
    listaf* Add(const char* name, std::int32_t kind, const char* from = "", const char* to = "",
                const char* subject = "")
    {
        listaf* e = app.AppendEntry();
        e->m_strName = name;
        e->m_nKind = kind;
        e->m_strFrom = from;
        e->m_strTo = to;
        e->m_strSubject = subject;
        return e;
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        const listax* prev = nullptr;
        for (const listaf* e = app.FirstEntry(); e; e = e->Next()) {
            EXPECT_EQ(e->m_pPrev, prev);
            prev = e;
            names.push_back(e->m_strName);
        }
        return names;
    }
    CQuilloryApp app;
};

TEST_F(SortTest, KindGroupsComeBeforeKeys)
{
    Add("readme.txt", KIND_OTHER);
    Add("z.eml", KIND_MESSAGE_FILE);
    Add("b", KIND_DIRECTORY);
    Add("a.dbx", KIND_MAIL_FOLDER);
    Add("A", KIND_DIRECTORY);
    app.SortEntries();
    EXPECT_EQ(Names(), (std::vector<std::string>{"A", "b", "a.dbx", "z.eml", "readme.txt"}));
    // Appending after a sort still goes to the tail.
    app.AppendEntry()->m_strName = "new";
    EXPECT_EQ(Names().back(), "new");
}

TEST_F(SortTest, EachModeSortsByItsKeyWithoutCase)
{
    Add("m1", KIND_MESSAGE_FILE, "From: zed", "To: b", "Subject: b");
    Add("m2", KIND_MESSAGE_FILE, "from: Adam", "To: C", "");
    Add("m3", KIND_MESSAGE_FILE, "From: bob", "To: a", "subject: A");
    Add("dir", KIND_DIRECTORY);
    Add("other", KIND_OTHER);

    app.m_nSortMode = 1;
    app.SortEntries();
    EXPECT_EQ(Names(), (std::vector<std::string>{"dir", "m2", "m3", "m1", "other"}));
    app.m_nSortMode = 2;
    app.SortEntries();
    EXPECT_EQ(Names(), (std::vector<std::string>{"dir", "m3", "m1", "m2", "other"}));
    app.m_nSortMode = 3;  // no subject sorts first
    app.SortEntries();
    EXPECT_EQ(Names(), (std::vector<std::string>{"dir", "m2", "m3", "m1", "other"}));
    app.m_nSortMode = 42;  // anything else: by name
    app.SortEntries();
    EXPECT_EQ(Names(), (std::vector<std::string>{"dir", "m1", "m2", "m3", "other"}));
}

TEST_F(SortTest, NamesCompareAsText)
{
    Add("Msg100000", KIND_FOLDER_MESSAGE);
    Add("Msg99999", KIND_FOLDER_MESSAGE);
    Add("Msg10001", KIND_FOLDER_MESSAGE);
    app.SortEntries();
    EXPECT_EQ(Names(), (std::vector<std::string>{"Msg100000", "Msg10001", "Msg99999"}));
}

TEST_F(SortTest, ShortListsAreLeftAlone)
{
    app.SortEntries();
    EXPECT_EQ(app.m_pEntries, nullptr);
    listaf* only = Add("x", KIND_OTHER);
    app.SortEntries();
    EXPECT_EQ(app.m_pEntries, only);
    EXPECT_EQ(only->m_pNext, nullptr);
}
