// The listing in the real window: a folder listed, scrolled, sorted and searched, as a user does it.
//
//   view_bench [FOLDER.dbx ...]   default: folders of 10,000 and 100,000 generated messages
//
// For each folder, the window starts in the folder's directory and the bench then
//   - times the core alone listing the folder (the mail-folder read and the sort),
//   - clicks the folder's row and times the first rows on screen (painted: two animation frames
//     of the page after the rows are in it),
//   - presses End and times the last row painted,
//   - sorts by From and times the first rows painted again,
//   - opens the find field and types a text, timing each keystroke to the narrowed rows painted,
//   - drags through the listing from end to end (200 jumps) and back to the top,
// and samples the proportional set size (Pss, from /proc/PID/smaps_rollup, so that pages shared
// between processes count once) of this process and every process it started (the browser's
// helpers) all along. Run it offscreen (the default) or under Xvfb (QT_QPA_PLATFORM=xcb), where it
// renders as the program does.

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEnginePage>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <unistd.h>
#include <vector>

#include "app/FolderDialog.h"
#include "app/FrameIds.h"
#include "app/WindowApp.h"
#include "core/QuilloryApp.h"
#include "dbxgen/DbxGen.h"
#include "model/listax.h"
#include "platform/Seams.h"
#include "view/QuilloryView.h"
#include "view/ResScheme.h"
#include "WindowBench.h"

namespace {

// The processes pid started (its children, of every thread).
std::vector<pid_t> Children(pid_t pid)
{
    std::vector<pid_t> children;
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        QFile list(QString::fromStdString((task.path() / "children").string()));
        if (!list.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& child : list.readAll().split(' '))
            if (!child.trimmed().isEmpty())
                children.push_back(static_cast<pid_t>(child.trimmed().toLong()));
    }
    return children;
}

// The Pss of a process and all its descendants, in kB.
long TreePss(pid_t pid)
{
    long total = 0;
    QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (rollup.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : rollup.readAll().split('\n'))
            if (line.startsWith("Pss:"))
                total += line.mid(4).trimmed().split(' ').value(0).toLong();
    }
    for (const pid_t child : Children(pid))
        total += TreePss(child);
    return total;
}

int HelperCount(pid_t pid)
{
    int count = 0;
    for (const pid_t child : Children(pid))
        count += 1 + HelperCount(child);
    return count;
}

// Waits until the page has painted what it holds now: the second animation frame after this.
bool Painted(CQuilloryView& view)
{
    view.RunJavaScriptSync(QStringLiteral(
        "window.__painted = 0; requestAnimationFrame(function () { requestAnimationFrame(function () { "
        "window.__painted = 1; }); }); 0"));
    return bench::Until([&] { return view.RunJavaScriptSync(QStringLiteral("window.__painted")).toInt() == 1; }, 30000);
}

double Seconds(const QElapsedTimer& timer) { return timer.nsecsElapsed() / 1e9; }

// The core alone: read the folder and sort it, as the window's rebuild and fill do.
double CoreListing(const std::string& path, std::int32_t& count)
{
    CQuilloryApp app;
    listaf* folder = app.AppendEntry();
    folder->m_nKind = KIND_MAIL_FOLDER;
    folder->m_strPath = path;
    app.m_pCurrentEntry = folder;
    QElapsedTimer timer;
    timer.start();
    app.ListMailFolder();
    app.SortEntries();
    const double seconds = Seconds(timer);
    count = listax::Count(&app.m_pEntries);
    return seconds;
}

bool Run(const std::string& path)
{
    std::int32_t count = 0;
    const double core = CoreListing(path, count);
    const std::string name = std::filesystem::path(path).filename().string();

    QTemporaryDir config;
    ::setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    CQuilloryApp app;
    bench::PresetChooser chooser(std::filesystem::path(path).parent_path().string());
    RecordingMessageBox box;
    WindowSeams seams;
    seams.pFolderChooser = &chooser;
    seams.pMessageBox = &box;
    seams.bSplash = false;
    CWindowApp window(app, seams);
    if (!window.InitInstance())
        return false;
    CMainFrame& frame = *window.MainFrame();
    frame.resize(1000, 700);
    CQuilloryView& view = *frame.View();

    int fills = 0;
    int lastFrom = -1;
    int lastCount = -1;
    int shownTimes = 0;
    QObject::connect(&view, &CQuilloryView::tableFilled, [&] { ++fills; });
    QObject::connect(&view, &CQuilloryView::rowsShown, [&](int from, int n) {
        lastFrom = from;
        lastCount = n;
        ++shownTimes;
    });
    bool bEnded = false;
    QObject::connect(view.page(), &QWebEnginePage::renderProcessTerminated, [&] { bEnded = true; });
    if (!bench::Until([&] { return fills > 0; }))
        return false;
    Painted(view);

    const pid_t self = ::getpid();
    long peak = 0;
    const long alone = TreePss(self);
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] { peak = std::max(peak, TreePss(self)); });
    sampler.start(100);

    // The click on the folder's row.
    QElapsedTimer timer;
    const int before = fills;
    double reloaded = 0;
    const auto reload = QObject::connect(&view, &CQuilloryView::documentCompleted, [&] {
        if (reloaded == 0)
            reloaded = Seconds(timer);
    });
    timer.start();
    view.RunJavaScriptSync(QStringLiteral("document.querySelector('#puntozero a').click()"));
    const bool bListed = bench::Until([&] { return fills > before || bEnded; });
    const double shown = Seconds(timer);
    QObject::disconnect(reload);
    const bool bClickPainted = bListed && Painted(view);
    const double clickPainted = Seconds(timer);
    if (!bListed || view.Listing().Count() != count) {
        std::printf("%s: the listing did not come (%d of %d rows)\n", name.c_str(), view.Listing().Count(), count);
        return false;
    }

    // End.
    QWidget* keys = view.focusProxy();
    timer.restart();
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
    QCoreApplication::sendEvent(keys, &end);
    bench::Until([&] { return lastFrom + lastCount == count || bEnded; });
    Painted(view);
    const double endPainted = Seconds(timer);

    // A sort.
    timer.restart();
    const int beforeSort = fills;
    frame.OnCommand(ID_SORT_FROM);
    bench::Until([&] { return fills > beforeSort || bEnded; });
    Painted(view);
    const double sortPainted = Seconds(timer);

    // Keystrokes in the find field.
    frame.OnCommand(ID_EDIT_FIND);
    const QString typed = QStringLiteral("rules #9");
    std::vector<double> keystrokes;
    std::vector<int> found;
    for (int i = 1; i <= typed.size(); ++i) {
        const int beforeKey = shownTimes;
        timer.restart();
        frame.FindField()->setText(typed.left(i));
        bench::Until([&] { return shownTimes > beforeKey || bEnded; });
        Painted(view);
        keystrokes.push_back(Seconds(timer));
        found.push_back(view.Listing().Count());
    }
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(frame.FindField(), &escape);
    bench::Until([&] { return view.Listing().Count() == count; });

    // From end to end, as a dragged thumb does, and back to the top.
    for (int step = 0; step <= 200 && !bEnded; ++step) {
        const int beforeStep = shownTimes;
        view.RunJavaScriptSync(QStringLiteral("var d = document.scrollingElement; d.scrollTop = (d.scrollHeight - "
                                              "window.innerHeight) * %1 / 200; 0")
                                   .arg(step));
        bench::Until([&] { return shownTimes > beforeStep || bEnded; }, 5000);
    }
    QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::NoModifier);
    QCoreApplication::sendEvent(keys, &home);
    bench::Until([&] { return lastFrom == 0 || bEnded; });
    Painted(view);
    sampler.stop();
    peak = std::max(peak, TreePss(self));

    std::printf("%s, %d messages (%s):\n", name.c_str(), count, qPrintable(QGuiApplication::platformName()));
    std::printf("  core alone lists and sorts it in %.3f s\n", core);
    std::printf("  click -> page reloaded %.3f s, first rows in the page %.3f s, painted %.3f s (%.2fx the core "
                "alone)%s\n",
                reloaded, shown, clickPainted, clickPainted / core, bClickPainted ? "" : " (no paint seen)");
    std::printf("  End -> last row painted %.3f s\n", endPainted);
    std::printf("  sort by From -> painted %.3f s\n", sortPainted);
    std::printf("  find, each keystroke of \"%s\" -> painted:", qPrintable(typed));
    for (std::size_t i = 0; i < keystrokes.size(); ++i)
        std::printf(" %.3f (%d)", keystrokes[i], found[i]);
    std::printf("; slowest %.3f s\n", *std::max_element(keystrokes.begin(), keystrokes.end()));
    std::printf("  Pss of the program and its %d helper processes: %ld MB before the listing, peak %ld MB; "
                "renderer %s\n",
                HelperCount(self), alone / 1024, peak / 1024, bEnded ? "ENDED" : "alive");
    std::fflush(stdout);
    return !bEnded;
}

} // namespace

int main(int argc, char** argv)
{
    bench::UseHeadlessBrowser();
    RegisterResScheme();
    QApplication application(argc, argv);
    ChooseRendering();

    std::vector<std::string> folders;
    for (int i = 1; i < argc; ++i)
        folders.emplace_back(argv[i]);
    QTemporaryDir made;
    if (folders.empty()) {
        for (std::uint32_t count : {10000u, 100000u}) {
            std::vector<dbxgen::Message> messages(count);
            for (std::uint32_t i = 0; i < count; ++i)
                messages[i].text = dbxgen::SampleMessage(i, 600);
            const std::string dir = made.path().toStdString() + "/f" + std::to_string(count);
            std::filesystem::create_directory(dir);
            folders.push_back(dir + "/Inbox.dbx");
            if (!dbxgen::WriteFile(folders.back(), dbxgen::BuildFolder(messages)))
                return 1;
        }
    }
    bool ok = true;
    for (const std::string& folder : folders)
        ok = Run(folder) && ok;
    return ok ? 0 : 1;
}
