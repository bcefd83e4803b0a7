// From a click on a mail folder to its filled table, in the real embedded browser offscreen.
// Usage: view_bench [count...]   (default: 10000 100000). Prints one line per folder size.

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "app/Navigation.h"
#include "app/QuilloryApp.h"
#include "dbxgen/DbxGen.h"
#include "view/QuilloryView.h"
#include "view/ResScheme.h"

namespace {

class BenchFrame : public IMainFrame, public IStatusOutput {
public:
    explicit BenchFrame(CQuilloryApp& app) : m_app(app) {}
    void GoToFolder(bool) override
    {
        if (!m_app.m_pCurrentEntry)
            m_app.m_strCurrentDir = m_app.m_strTargetDir;
        else if (m_app.m_pCurrentEntry->m_nKind == KIND_DIRECTORY)
            m_app.m_strCurrentDir = m_app.m_pCurrentEntry->m_strPath;
        m_app.m_bRebuildPending = 1;
        m_app.m_bPageReady = 0;
        m_app.m_pView->ReloadPage();
    }
    // The window formats every progress text and repaints a few dozen times a second; formatting
    // is what each call costs here.
    void SetProgressText(std::string_view label, std::int32_t n) override { m_last = FormatProgressText(label, n); }

private:
    CQuilloryApp& m_app;
    std::string m_last;
};

bool Run(std::uint32_t count)
{
    QTemporaryDir dir;
    std::vector<dbxgen::Message> messages(count);
    for (std::uint32_t i = 0; i < count; ++i)
        messages[i].text = dbxgen::SampleMessage(i, 600);
    const std::string path = dir.path().toStdString() + "/Inbox.dbx";
    if (!dbxgen::WriteFile(path, dbxgen::BuildFolder(messages)))
        return false;

    CQuilloryApp app;
    RecordingMessageBox box;
    BenchFrame frame(app);
    app.m_pMessageBox = &box;
    app.m_pMainFrame = &frame;
    app.m_pStatus = &frame;
    app.m_strCurrentDir = app.m_strTargetDir = dir.path().toStdString();
    app.ScanDirectory();

    CQuilloryView view(app);
    view.resize(1000, 700);
    view.show();
    {
        QSignalSpy first(&view, &CQuilloryView::tableFilled);
        if (!first.wait(30000))
            return false;
    }

    QSignalSpy filled(&view, &CQuilloryView::tableFilled);
    QElapsedTimer timer;
    timer.start();
    view.RunJavaScriptSync(QStringLiteral("document.querySelector('#puntozero a').click()"));
    if (filled.isEmpty() && !filled.wait(120000))
        return false;
    const double seconds = timer.nsecsElapsed() / 1e9;
    const int rows = filled.takeFirst().at(0).toInt();
    // The browser lays the table out before it next paints; asking for the page's height waits
    // for that.
    view.RunJavaScriptSync(QStringLiteral("document.body.offsetHeight"), 600000);
    const double laidOut = timer.nsecsElapsed() / 1e9;
    std::printf("%u messages: %d rows in the page %.2f s after the click, laid out after %.2f s%s\n", count, rows,
                seconds, laidOut, box.messages.empty() ? "" : " (with messages)");
    std::fflush(stdout);
    return rows == static_cast<int>(count);
}

} // namespace

int main(int argc, char** argv)
{
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qgetenv("QTWEBENGINE_CHROMIUM_FLAGS").isEmpty())
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    RegisterResScheme();
    QApplication application(argc, argv);
    std::vector<std::uint32_t> counts;
    for (int i = 1; i < argc; ++i)
        counts.push_back(static_cast<std::uint32_t>(std::strtoul(argv[i], nullptr, 10)));
    if (counts.empty())
        counts = {10000, 100000};
    bool ok = true;
    for (std::uint32_t count : counts)
        ok = Run(count) && ok;
    return ok ? 0 : 1;
}
