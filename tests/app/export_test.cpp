// Export in the window: the dialog's answers, the run with its progress and Cancel, the summary.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "WindowHarness.h"
#include "app/ExportDialogs.h"
#include "app/FrameIds.h"
#include "dbxgen/DbxGen.h"

namespace {

namespace fs = std::filesystem;

class ScriptedExportAsker : public IExportAsker {
public:
    std::optional<ExportRequest> AskExport(const ExportQuestion& question, QWidget*) override
    {
        questions.push_back(question);
        ExportRequest request = answer;
        request.strSource = question.strSource;
        return request;
    }

    ExportRequest answer;
    std::vector<ExportQuestion> questions;
};

std::vector<std::string> FilesUnder(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (!entry.is_directory())
            names.push_back(fs::relative(entry.path(), dir).string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string FolderBytes(const std::vector<dbxgen::Message>& messages)
{
    const std::vector<unsigned char> bytes = dbxgen::BuildFolder(messages);
    return {bytes.begin(), bytes.end()};
}

} // namespace

TEST_F(WindowTest, TheExportDialogSuggestsANewDestinationAndKeepsItsAnswers)
{
    const std::string last = m_tmp.MakeDir("last");
    m_tmp.MakeDir("last/Inbox");
    m_tmp.Write("last/Inbox (2)", "taken too");
    const std::string archive = m_tmp.MakeDir("mail.2004");
    const std::string folder = m_tmp.Write("mail.2004/Inbox.dbx", MailFolderBytes({MessageText("a", "b", "c")}));
    const struct {
        std::string source;
        std::string expected;
    } names[] = {
        {folder, last + "/Inbox (3)"},      // the extension goes, names in use are numbered
        {archive, last + "/mail.2004"},     // a directory keeps its whole name
        {archive + "/", last + "/mail.2004"},
    };
    for (const auto& n : names)
        EXPECT_EQ(SuggestedDestination(last, n.source), n.expected) << n.source;
    EXPECT_EQ(ExportFormatFromName("maildir", ExportFormat::Mbox), ExportFormat::Maildir);
    EXPECT_EQ(ExportFormatFromName("MBOX", ExportFormat::Eml), ExportFormat::Eml);

    // A mail folder: nothing below it to include; the last directory and format are offered again.
    CExportDialog dialog(m_chooser, folder, last, "eml", true, nullptr);
    EXPECT_EQ(dialog.DestinationField()->text().toStdString(), last + "/Inbox (3)");
    EXPECT_FALSE(dialog.SubdirectoriesBox()->isEnabled());
    EXPECT_TRUE(dialog.RecoverBox()->isChecked());
    ExportRequest request = dialog.Request();
    EXPECT_EQ(request.strSource, folder);
    EXPECT_EQ(request.format, ExportFormat::Eml);
    EXPECT_FALSE(request.bRecursive);
    EXPECT_TRUE(request.bRecover);
    EXPECT_FALSE(request.bIntoExisting);

    // Browse: a directory holding files gets a new one inside; an empty one is taken as it is,
    // and so is one that holds files when the export is to add to it.
    const std::string empty = m_tmp.MakeDir("empty");
    m_chooser.answers = {last, empty, last, std::nullopt};
    dialog.BrowseButton()->click();
    EXPECT_EQ(dialog.DestinationField()->text().toStdString(), last + "/Inbox (3)");
    dialog.BrowseButton()->click();
    EXPECT_EQ(dialog.DestinationField()->text().toStdString(), empty);
    dialog.IntoExistingBox()->setChecked(true);
    dialog.BrowseButton()->click();
    EXPECT_EQ(dialog.DestinationField()->text().toStdString(), last);
    dialog.BrowseButton()->click();  // cancelled: the field stays
    EXPECT_EQ(dialog.DestinationField()->text().toStdString(), last);
    EXPECT_TRUE(dialog.Request().bIntoExisting);
    EXPECT_EQ(m_chooser.initialPaths.front(), last) << "the browser starts where the destination would go";
    dialog.DestinationField()->setText(QStringLiteral("  "));
    EXPECT_FALSE(dialog.ExportButton()->isEnabled());

    // A directory: its sub-directories are included unless unticked; a missing last directory
    // falls back to the home directory.
    CExportDialog tree(m_chooser, archive, m_tmp.Path() + "/gone", "nonsense", false, nullptr);
    EXPECT_TRUE(tree.SubdirectoriesBox()->isEnabled());
    EXPECT_TRUE(tree.Request().bRecursive);
    EXPECT_EQ(tree.Request().format, ExportFormat::Mbox);
    EXPECT_EQ(tree.DestinationField()->text().toStdString().rfind(fs::path(qgetenv("HOME").toStdString()).string(), 0), 0u);
}

TEST_F(WindowTest, FileExportWritesTheListedTreeAndRemembersWhereAndHow)
{
    const std::string base = m_tmp.MakeDir("base");
    const std::string first = MessageText("Ann", "Bo", "One");
    const std::string second = MessageText("Cy", "Di", "Two", "From here on\r\n>From there\r\n");
    m_tmp.Write("base/box.dbx", MailFolderBytes({first, second}));
    m_tmp.MakeDir("base/sub");
    m_tmp.Write("base/sub/inner.dbx", MailFolderBytes({first}));
    ScriptedExportAsker asker;
    asker.answer.strDestination = m_tmp.Path() + "/out";
    asker.answer.format = ExportFormat::Mbox;
    asker.answer.bRecursive = true;

    ASSERT_TRUE(Start(base));
    Frame().SetExportAsker(&asker);
    QAction* item = Frame().CommandAction(ID_FILE_EXPORT);
    ASSERT_NE(item, nullptr);
    Frame().UpdateCommandStates();
    ASSERT_TRUE(item->isEnabled());
    item->trigger();
    ASSERT_TRUE(SpinUntil([&] { return Frame().ExportSummaryDialog() != nullptr; }));

    ASSERT_EQ(asker.questions.size(), 1u);
    EXPECT_EQ(asker.questions[0].strSource, base);
    EXPECT_EQ(FilesUnder(m_tmp.Path() + "/out"), (std::vector<std::string>{"box.mbox", "sub/inner.mbox"}));
    // mboxrd: a separator each, the body's From lines quoted once more, one empty line between.
    const std::string quoted = MessageText("Cy", "Di", "Two", ">From here on\r\n>>From there\r\n");
    const std::string box = FileBytes(m_tmp.Path() + "/out/box.mbox");
    const std::size_t split = box.find("\nFrom ");
    ASSERT_NE(split, std::string::npos);
    EXPECT_EQ(box.substr(box.find('\n') + 1, first.size() + 1), first + "\n");
    EXPECT_EQ(box.substr(box.find('\n', split + 1) + 1), quoted + "\n");
    EXPECT_EQ(Frame().ExportSummaryDialog()->windowTitle(), QStringLiteral("Export done"));
    EXPECT_TRUE(Frame().ExportSummaryDialog()->Text().startsWith(
        QStringLiteral("Exported 2 folders, 3 messages (")));
    EXPECT_EQ(Setting("ExportDir"), m_tmp.Path());
    EXPECT_EQ(Setting("ExportFormat"), "mbox");

    // The row menus of a mail folder and a directory offer it too, each for what the row names.
    for (const char* name : {"box.dbx", "sub"}) {
        const listaf* entry = App().FirstEntry();
        while (entry && entry->m_strName != name)
            entry = entry->Next();
        ASSERT_NE(entry, nullptr) << name;
        QMenu menu;
        ASSERT_TRUE(Frame().FillRowMenu(menu, entry->m_nSerial));
        QAction* exportRow = menu.actions().value(1);
        ASSERT_NE(exportRow, nullptr);
        EXPECT_EQ(exportRow->text(), QStringLiteral("&Export..."));
        asker.answer.strDestination = m_tmp.Path() + "/from-" + name;
        exportRow->trigger();
        ASSERT_TRUE(SpinUntil([&] { return !Frame().ExportRunning(); }));
        EXPECT_EQ(asker.questions.back().strSource, base + "/" + name);
    }
    EXPECT_EQ(FilesUnder(m_tmp.Path() + "/from-box.dbx"), (std::vector<std::string>{"box.mbox"}));
    EXPECT_EQ(FilesUnder(m_tmp.Path() + "/from-sub"), (std::vector<std::string>{"inner.mbox"}));

    // The root as destination: refused, as any directory that holds files, and remembered as itself.
    asker.answer.strDestination = "/";
    Frame().OnCommand(ID_FILE_EXPORT);
    ASSERT_TRUE(SpinUntil([&] { return !Frame().ExportRunning(); }));
    ASSERT_NE(Frame().ExportSummaryDialog(), nullptr);
    EXPECT_TRUE(Frame().ExportSummaryDialog()->Text().startsWith(QStringLiteral("Nothing was exported.")));
    EXPECT_EQ(Setting("ExportDir"), "/");
}

TEST_F(WindowTest, CancelLeavesWholeFilesOnlyAndTheSummaryNamesTheDamagedFolder)
{
    const std::string base = m_tmp.MakeDir("base");
    std::vector<dbxgen::Message> damaged(3);
    for (std::uint32_t i = 0; i < 3; ++i)
        damaged[i].text = dbxgen::SampleMessage(i);
    damaged[1].attr4 = dbxgen::Attr4::Missing;  // one record names no message: the folder is damaged
    m_tmp.Write("base/a.dbx", MailFolderBytes({MessageText("a", "b", "c")}));
    m_tmp.Write("base/b.dbx", FolderBytes(damaged));
    m_tmp.Write("base/c.dbx", MailFolderBytes({MessageText("d", "e", "f"), MessageText("g", "h", "i")}));
    ScriptedExportAsker asker;
    asker.answer.strDestination = m_tmp.Path() + "/out";
    asker.answer.format = ExportFormat::Maildir;

    // The run holds at the start of the third folder until the test has pressed Cancel.
    std::atomic<bool> held{false};
    std::atomic<bool> release{false};
    ASSERT_TRUE(Start(base));
    Frame().SetExportAsker(&asker);
    Frame().SetExportProbe([&](const ExportProgress& progress) {
        if (progress.nFoldersDone == 2 && !held.exchange(true))
            while (!release.load())
                std::this_thread::yield();
    });
    Frame().OnCommand(ID_FILE_EXPORT);
    ASSERT_TRUE(SpinUntil([&] { return held.load(); }));
    EXPECT_TRUE(Frame().ExportRunning());
    EXPECT_FALSE(Frame().OnUpdateCommand(ID_FILE_EXPORT).bEnabled) << "one export at a time";
    ASSERT_NE(Frame().ExportProgressDialog(), nullptr);
    EXPECT_TRUE(Frame().ExportProgressDialog()->isVisible());
    Frame().ExportProgressDialog()->CancelButton()->click();
    EXPECT_FALSE(Frame().ExportProgressDialog()->CancelButton()->isEnabled());
    release = true;
    ASSERT_TRUE(SpinUntil([&] { return Frame().ExportSummaryDialog() != nullptr; }));
    EXPECT_EQ(Frame().ExportProgressDialog(), nullptr);

    // a and b are whole Maildirs (b's unreadable record is found by the scan a damaged folder gets);
    // c was begun with nothing in it, and is gone.
    const std::vector<std::string> files = FilesUnder(m_tmp.Path() + "/out");
    ASSERT_EQ(files.size(), 4u) << ::testing::PrintToString(files);
    for (std::size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(files[i].rfind(i == 0 ? "a/cur/" : "b/cur/", 0), 0u) << files[i];
    EXPECT_EQ(FileBytes(m_tmp.Path() + "/out/" + files[0]), MessageText("a", "b", "c"));
    EXPECT_FALSE(fs::exists(m_tmp.Path() + "/out/c"));

    const QString summary = Frame().ExportSummaryDialog()->Text();
    EXPECT_EQ(Frame().ExportSummaryDialog()->windowTitle(), QStringLiteral("Export cancelled"));
    EXPECT_TRUE(summary.startsWith(QStringLiteral("Cancelled after exporting 2 folders, 4 messages"))) << summary.toStdString();
    EXPECT_TRUE(summary.contains(QStringLiteral("Damaged folders: 1.")));
    EXPECT_TRUE(summary.contains(QString::fromStdString("The mail-folder file " + base +
                                                        "/b.dbx is damaged. Only the messages that could be read "
                                                        "were exported.")));
    EXPECT_TRUE(Frame().OnUpdateCommand(ID_FILE_EXPORT).bEnabled);
}
