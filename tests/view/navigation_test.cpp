// What a click on the page and a completed load do to the listing, with a fake frame and view.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/Navigation.h"
#include "ReloadingFrame.h"
#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "view/NavigationCore.h"

namespace fs = std::filesystem;

namespace {

// The view's side: counts the calls; a reload is completed by the test.
class FakeView : public IListingView {
public:
    void ReloadPage() override { ++nReloads; }
    int CheckPage() override { return ++nChecks, 0; }
    int FillTable() override { return ++nFills, 0; }
    int nReloads = 0, nChecks = 0, nFills = 0;
};

class RecordingSaveDialog : public ISaveDialog {
public:
    std::optional<std::string> AskSavePath(const SaveDialogRequest& request) override
    {
        names.push_back(request.strInitialName);
        return std::nullopt;
    }
    std::vector<std::string> names;
};

class NavigationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("quillory_nav_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                            "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "sub" / "deeper");
        std::ofstream(root / "top.txt") << "x";
        std::ofstream(root / "sub" / "inner.txt") << "y";
        app.m_pView = &view;
        app.m_pMainFrame = &frame;
        app.m_pMessageBox = &messages;
        app.m_pSaveDialog = &saves;
        app.m_strCurrentDir = root.string();
        app.m_strTargetDir = root.string();
        app.ScanDirectory();
    }
    void TearDown() override
    {
        EXPECT_EQ(frame.nNewBaseCalls, 0) << "a click never asks for a new base";
        fs::remove_all(root);
    }

    listaf* Named(const std::string& name)
    {
        for (listaf* p = app.FirstEntry(); p; p = p->Next())
            if (p->m_strName == name)
                return p;
        return nullptr;
    }
    std::vector<std::string> Names()
    {
        std::vector<std::string> names;
        for (listaf* p = app.FirstEntry(); p; p = p->Next())
            names.push_back(p->m_strName);
        std::sort(names.begin(), names.end());
        return names;
    }
    bool Click(const std::string& address)
    {
        bool bCancel = false;
        HandleBeforeNavigate(app, address, bCancel);
        return bCancel;
    }
    bool ClickEntry(const listaf* entry) { return Click("http://quillory/" + std::to_string(entry->m_nSerial)); }
    void Complete() { HandleDocumentComplete(app, "res://quillory/130"); }

    fs::path root;
    CQuilloryApp app;
    FakeView view;
    ReloadingFrame frame{app};
    RecordingMessageBox messages;
    RecordingSaveDialog saves;
};

TEST_F(NavigationTest, ReadsTheSerialFromTheLastSegment)
{
    const struct {
        const char* address;
        std::int32_t serial;
    } cases[] = {
        {"http://quillory/12", 12},       {"http://quillory/12abc", 12}, {"http://quillory/", 0},
        {"http://quillory/x7", 0},        {"12", 12},                    {"http://quillory/99999999999", 2147483647},
        {"http://a/b/0042", 42},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadSerial(LastSegment(c.address)), c.serial) << c.address;
}

TEST_F(NavigationTest, GoUpListsTheParent)
{
    app.m_strCurrentDir = (root / "sub").string();
    EXPECT_TRUE(Click("res://quillory/00001"));
    EXPECT_EQ(app.m_strTargetDir, root.string());
    EXPECT_EQ(app.m_pCurrentEntry, nullptr);
    EXPECT_EQ(frame.nCalls, 1);
    EXPECT_EQ(view.nReloads, 1);

    Complete();
    EXPECT_EQ(app.m_strCurrentDir, root.string());
    EXPECT_EQ(Names(), (std::vector<std::string>{"sub", "top.txt"}));
    EXPECT_EQ(view.nChecks, 1);
    EXPECT_EQ(view.nFills, 1);
    EXPECT_EQ(app.m_bPageReady, 1);
    EXPECT_EQ(app.m_bRebuildPending, 0);
}

TEST_F(NavigationTest, GoUpFromAMailFolderListsItsDirectory)
{
    app.m_strCurrentDir = (root / "box.dbx").string();
    EXPECT_TRUE(Click("res://quillory/00001"));
    Complete();
    EXPECT_EQ(app.m_strCurrentDir, root.string());
}

TEST_F(NavigationTest, ClicksDuringAPendingRebuildAreDropped)
{
    EXPECT_TRUE(ClickEntry(Named("sub")));
    ASSERT_EQ(app.m_bPageReady, 0);
    const std::string pendingDir = app.m_strCurrentDir;

    EXPECT_TRUE(Click("res://quillory/00001"));
    EXPECT_TRUE(ClickEntry(Named("top.txt")));
    EXPECT_EQ(frame.nCalls, 1);
    EXPECT_EQ(app.m_strCurrentDir, pendingDir);
    // The skeleton's own load passes while the rebuild waits for it.
    EXPECT_FALSE(Click("res://quillory/130"));
    EXPECT_FALSE(Click("RES://quillory/130"));

    Complete();
    EXPECT_EQ(app.m_strCurrentDir, (root / "sub").string());
    EXPECT_EQ(Names(), (std::vector<std::string>{"deeper", "inner.txt"}));
}

TEST_F(NavigationTest, EachKindIsActedOnItsOwnWay)
{
    listaf* dir = Named("sub");
    EXPECT_TRUE(ClickEntry(dir));
    EXPECT_EQ(app.m_pCurrentEntry, dir);
    EXPECT_EQ(app.m_bRebuildPending, 1);
    EXPECT_EQ(frame.nCalls, 1);
    Complete();

    const std::string here = app.m_strCurrentDir;
    listaf* mailFolder = app.AppendEntry();
    mailFolder->m_nKind = KIND_MAIL_FOLDER;
    mailFolder->m_strPath = (root / "box.dbx").string();
    EXPECT_TRUE(ClickEntry(mailFolder));
    EXPECT_EQ(app.m_strCurrentDir, mailFolder->m_strPath);
    EXPECT_EQ(frame.nCalls, 2);
    app.m_bPageReady = 1;  // as after the reload

    for (std::int32_t kind : {KIND_MESSAGE_FILE, KIND_FOLDER_MESSAGE}) {
        listaf* message = app.AppendEntry();
        message->m_nKind = kind;
        message->m_strName = "m" + std::to_string(kind);
        EXPECT_TRUE(ClickEntry(message));
        EXPECT_EQ(app.m_pCurrentEntry, message) << "a saved message stays the current entry";
    }
    EXPECT_EQ(saves.names.size(), 2u);
    EXPECT_EQ(frame.nCalls, 2) << "saving reloads nothing";

    listaf* other = app.AppendEntry();
    other->m_nKind = KIND_OTHER;
    app.m_bPageReady = 0;
    app.m_bRebuildPending = 0;
    EXPECT_TRUE(ClickEntry(other));
    EXPECT_EQ(app.m_bPageReady, 0) << "while a rebuild waits, even this is dropped";
    app.m_bPageReady = 1;
    EXPECT_TRUE(ClickEntry(other));
    EXPECT_EQ(app.m_bPageReady, 1);
    EXPECT_EQ(frame.nCalls, 2);
    EXPECT_EQ(here, (root / "sub").string());
}

TEST_F(NavigationTest, AddressesNamingNoEntryAreNotActedOn)
{
    app.m_pCurrentEntry = Named("sub");
    for (const char* address : {"http://quillory/0", "http://quillory/", "http://quillory/424242"}) {
        EXPECT_FALSE(Click(address)) << address;
        EXPECT_EQ(app.m_pCurrentEntry, nullptr);
    }
    EXPECT_FALSE(Click("nothing-with-a-slash"));
    EXPECT_EQ(frame.nCalls, 0);
}

TEST_F(NavigationTest, EveryCompletedLoadRefills)
{
    Complete();  // a re-sort's reload: no rebuild
    Complete();
    EXPECT_EQ(view.nFills, 2);
    EXPECT_EQ(view.nChecks, 0);
    EXPECT_EQ(Names(), (std::vector<std::string>{"sub", "top.txt"}));
}

TEST_F(NavigationTest, AMailFolderIsReadNotScanned)
{
    // A directory named like a mail folder: scanning it would list its file.
    fs::create_directories(root / "box.dbx");
    std::ofstream(root / "box.dbx" / "inside.txt") << "z";
    app.ScanDirectory();
    Named("box.dbx")->m_nKind = KIND_MAIL_FOLDER;
    EXPECT_TRUE(ClickEntry(Named("box.dbx")));
    Complete();
    EXPECT_EQ(app.m_strCurrentDir, (root / "box.dbx").string());
    EXPECT_EQ(Named("inside.txt"), nullptr);
    EXPECT_EQ(view.nFills, 1);
}

TEST_F(NavigationTest, AfterARebuildTheTargetIsTheListedPlace)
{
    // The Open command settles a null current entry from the target: it must name where we are.
    EXPECT_TRUE(ClickEntry(Named("sub")));
    Complete();
    EXPECT_EQ(app.m_pCurrentEntry, nullptr);
    EXPECT_EQ(app.m_strTargetDir, (root / "sub").string());
}

} // namespace

// With decoded headers on, a rebuild leaves the cells decoded and marked; off, as stored.
TEST_F(NavigationTest, ARebuildDecodesTheHeaderCellsWhenAsked)
{
    std::ofstream(root / "sub" / "ru.eml") << "From: =?utf-8?Q?Ren=C3=A9e?= <r@x>\r\n"
                                              "Subject: =?koi8-r?B?8NLJ18XU?=\r\n\r\nbody";
    for (const bool bDecoded : {true, false}) {
        app.SetDecodedHeaders(bDecoded);
        ASSERT_NE(Named("sub"), nullptr);
        EXPECT_TRUE(ClickEntry(Named("sub")));
        Complete();
        const listaf* message = Named("ru.eml");
        ASSERT_NE(message, nullptr);
        EXPECT_EQ(message->m_bDecodedHeaders, bDecoded);
        EXPECT_EQ(message->m_strSubject, bDecoded ? "Subject: \xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82"
                                                  : "Subject: =?koi8-r?B?8NLJ18XU?=");
        EXPECT_EQ(message->m_strFrom, bDecoded ? "From: Ren\xc3\xa9" "e &lt;r@x&gt;" : "From: =?utf-8?Q?Ren=C3=A9e?= &lt;r@x&gt;");
        EXPECT_TRUE(Click("res://quillory/00001"));
        Complete();
        ASSERT_NE(Named("sub"), nullptr);
    }
}
