// From a click on a mail folder to its filled table, in the real embedded browser offscreen.
// Usage: view_bench [count...]   (default: 10000 100000). Prints one line per folder size, with
// the peak memory and memory-map count of the page's renderer: the kernel ends a process that
// needs more maps than vm.max_map_count (65,530 by default), and that is what ends large fills.

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <QWebEnginePage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "core/Navigation.h"
#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "dbxgen/DbxGen.h"
#include "view/QuilloryView.h"
#include "view/ResScheme.h"
#include "view/ReloadingFrame.h"

namespace {

class BenchFrame : public ReloadingFrame, public IStatusOutput {
public:
    using ReloadingFrame::ReloadingFrame;
    // The window formats every progress text and repaints a few dozen times a second; formatting
    // is what each call costs here.
    void SetProgressText(std::string_view label, std::int32_t n) override { m_last = FormatProgressText(label, n); }

private:
    std::string m_last;
};

// The renderer's resident memory in MB and its number of memory maps, or {0, 0} once it is gone.
std::pair<long, long> RendererUse(qint64 pid)
{
    std::pair<long, long> use{0, 0};
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (pid <= 0 || !status.open(QIODevice::ReadOnly))
        return use;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            use.first = line.mid(6).trimmed().split(' ').value(0).toLong() / 1024;
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    if (maps.open(QIODevice::ReadOnly))
        use.second = maps.readAll().count('\n');
    return use;
}

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

    const qint64 pid = view.page()->renderProcessPid();
    std::pair<long, long> peak{0, 0};
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        const auto use = RendererUse(pid);
        peak = {std::max(peak.first, use.first), std::max(peak.second, use.second)};
    });
    sampler.start(250);
    QSignalSpy filled(&view, &CQuilloryView::tableFilled);
    QSignalSpy ended(view.page(), &QWebEnginePage::renderProcessTerminated);
    QElapsedTimer timer;
    timer.start();
    view.RunJavaScriptSync(QStringLiteral("document.querySelector('#puntozero a').click()"));
    while (filled.isEmpty() && ended.isEmpty() && timer.elapsed() < 600000)
        filled.wait(1000);
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (filled.isEmpty()) {
        std::printf("%u messages: no filled table; the renderer %s after %.2f s (peak %ld MB, %ld memory maps)\n",
                    count, ended.isEmpty() ? "did not answer" : "ended", seconds, peak.first, peak.second);
        std::fflush(stdout);
        return false;
    }
    const int rows = filled.takeFirst().at(0).toInt();
    // The view reports the fill once every row is in the page and the first ones are laid out
    // (the rest follow as the reader scrolls); the next script runs after the frame that paints it.
    const bool bPainted = view.RunJavaScriptSync(QStringLiteral("document.body.offsetHeight"), 120000).isValid();
    const double painted = timer.nsecsElapsed() / 1e9;
    sampler.stop();
    const auto last = RendererUse(pid);
    peak = {std::max(peak.first, last.first), std::max(peak.second, last.second)};
    std::printf("%u messages: %d rows in the page, the first screenfuls laid out, %.2f s after the click; %s after %.2f s "
                "(renderer peak %ld MB, %ld memory maps)%s\n",
                count, rows, seconds, bPainted ? "painted" : "no answer (renderer ended?)", painted, peak.first,
                peak.second,
                box.messages.empty() ? "" : " (with messages)");
    std::fflush(stdout);
    return bPainted && rows == static_cast<int>(count);
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
