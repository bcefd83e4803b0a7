// The reader and the decoded listing in the real window.
//
//   reader_bench
//
// Writes its messages into a temporary directory, starts the window there and
//   - opens readers on a 50 KB plain-text message, a 50 KB HTML message and a 20 MB message with
//     three attachments, timing each from the command to the first paint of its headers and of
//     its text (for HTML, the page loaded and two animation frames later), five times each, and
//     the peak resident memory the 20 MB one adds to the program (VmHWM, reset before it);
//   - lists a mail folder of 100,000 messages whose From, To and Subject are encoded words, and
//     times Show > Decoded headers on and off again (the place listed anew, to the first rows
//     painted), three times each.
// Run it offscreen (the default) or under Xvfb (QT_QPA_PLATFORM=xcb).

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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
#include "reader/ReaderPage.h"
#include "reader/ReaderWindow.h"
#include "view/QuilloryView.h"
#include "view/ResScheme.h"
#include "BenchCommon.h"
#include "WindowBench.h"

namespace {

double Ms(const QElapsedTimer& timer) { return timer.nsecsElapsed() / 1e6; }

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// A /proc/self/status field, in kB.
long StatusKb(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::strlen(field) + 1);
    return -1;
}

// Resets VmHWM to the present resident size.
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

const char* const kHeader = "From: =?iso-8859-1?Q?J=F6rg_M=FCller?= <j@example.de>\r\nTo: team@example.org\r\n"
                            "Subject: =?utf-8?B?UXVhcnRlcmx5IGZpZ3VyZXMg4oCUIGNhZsOp?=\r\n"
                            "Date: Tue, 2 Jan 2001 10:00:00 +0100\r\nMIME-Version: 1.0\r\n";

std::string Paragraphs(std::size_t size, const char* open, const char* close)
{
    std::string text;
    for (int n = 0; text.size() < size; ++n)
        text += std::string(open) + "Paragraph " + std::to_string(n) +
                ": the figures for the quarter are in the attached sheets, with the notes from the "
                "meeting and the questions we could not answer on the day." + close;
    return text;
}

std::string PlainMessage(std::size_t size)
{
    return std::string(kHeader) + "Content-Type: text/plain; charset=utf-8\r\n\r\n" + Paragraphs(size, "", "\r\n\r\n");
}

std::string HtmlMessage(std::size_t size)
{
    return std::string(kHeader) + "Content-Type: text/html; charset=utf-8\r\n\r\n<html><body>" +
           Paragraphs(size, "<p>", "</p>\r\n") + "</body></html>\r\n";
}

// About 20 MB: a short text and three attachments of 5 MB each, base64.
std::string LargeMessage()
{
    std::string text = std::string(kHeader) + "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
                       "--b\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n" + Paragraphs(4000, "", "\r\n\r\n");
    std::string data(5 * 1024 * 1024, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>((i * 2654435761u) >> 13);
    for (const char* name : {"sheet-1.xls", "sheet-2.xls", "scan.pdf"})
        text += std::string("--b\r\nContent-Type: application/octet-stream\r\nContent-Disposition: attachment; "
                            "filename=\"") + name + "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + bench::Base64(data);
    return text + "--b--\r\n";
}

std::string EncodedFolder(const std::string& dir, std::uint32_t count)
{
    std::vector<dbxgen::Message> messages(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string text = "From: =?koi8-r?B?8NLJ18XU?= <s" + std::to_string(i) + "@example.ru>\r\n";
        text += "To: =?iso-8859-1?Q?J=F6rg_M=FCller?= <j@example.de>\r\n";
        text += "Subject: =?windows-1251?B?z/Do4uXy?= " + std::to_string(i * 7919 % 100000) + "\r\n";
        text += "Date: Tue, 2 Jan 2001 10:00:00 +0100\r\n\r\n" + std::string(600, 'x');
        messages[i].text = text;
    }
    const std::string path = dir + "/Encoded.dbx";
    return dbxgen::WriteFile(path, dbxgen::BuildFolder(messages)) ? path : std::string();
}

// Records the first paint of each watched widget after Arm().
class PaintClock : public QObject {
public:
    void Watch(QWidget* widget) { widget->installEventFilter(this); }
    void Arm(const QElapsedTimer* timer)
    {
        m_pTimer = timer;
        m_painted.clear();
    }
    [[nodiscard]] double PaintedAt(QObject* widget) const
    {
        const auto found = std::find_if(m_painted.begin(), m_painted.end(), [&](const auto& p) { return p.first == widget; });
        return found == m_painted.end() ? -1 : found->second;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && m_pTimer && PaintedAt(watched) < 0)
            m_painted.emplace_back(watched, Ms(*m_pTimer));
        return false;
    }

private:
    const QElapsedTimer* m_pTimer = nullptr;
    std::vector<std::pair<QObject*, double>> m_painted;
};

// The page's next two animation frames: what it holds now is on the screen.
bool PagePainted(QWebEnginePage* page)
{
    bool bDone = false;
    page->runJavaScript(QStringLiteral("new Promise(function (done) { requestAnimationFrame(function () {"
                                       " requestAnimationFrame(function () { done(1); }); }); })"),
                        QWebEngineScript::ApplicationWorld, [&](const QVariant&) { bDone = true; });
    return bench::Until([&] { return bDone; }, 30000);
}

struct ReaderTimes {
    double shown = 0;        // the message read, parsed and put into the widgets
    double headers = 0;      // the subject painted
    double loaded = 0;       // HTML: the page loaded
    double text = 0;         // the text painted (for HTML: loaded, and two frames on)
};

bool OpenOnce(CMainFrame& frame, const listaf& entry, ReaderTimes& times)
{
    PaintClock clock;
    QElapsedTimer timer;
    timer.start();
    clock.Arm(&timer);
    CReaderWindow* reader = frame.OpenReader(entry);
    if (!reader)
        return false;
    auto* subject = reader->findChild<QLabel*>(QStringLiteral("HeaderSubject"));
    clock.Watch(subject);
    clock.Watch(reader->PlainView()->viewport());
    bool bShown = false;
    QObject::connect(reader, &CReaderWindow::messageShown, [&] {
        times.shown = Ms(timer);
        bShown = true;
        clock.Arm(&timer);  // the paints that show the message, not the empty window's
    });
    if (!bench::Until([&] { return bShown; }))
        return false;
    if (!bench::Until([&] { return clock.PaintedAt(subject) >= 0; }, 30000))
        return false;
    times.headers = clock.PaintedAt(subject);
    if (reader->HtmlView()) {
        if (!bench::Until([&] { return reader->IsHtmlLoaded(); }, 30000))
            return false;
        times.loaded = Ms(timer);
        if (!PagePainted(reader->HtmlView()->page()))
            return false;
        times.text = Ms(timer);
    } else {
        if (!bench::Until([&] { return clock.PaintedAt(reader->PlainView()->viewport()) >= 0; }, 30000))
            return false;
        times.text = clock.PaintedAt(reader->PlainView()->viewport());
    }
    reader->close();
    QApplication::processEvents();
    return true;
}

const listaf* Named(CQuilloryApp& app, const std::string& name)
{
    for (const listaf* entry = app.FirstEntry(); entry; entry = entry->Next())
        if (entry->m_strName == name)
            return entry;
    return nullptr;
}

bool Readers(CQuilloryApp& app, CMainFrame& frame, const std::string& dir)
{
    const struct {
        const char* name;
        const char* what;
        int runs;
    } messages[] = {
        {"plain-50k.eml", "50 KB, plain text", 5},
        {"html-50k.eml", "50 KB, HTML", 5},
        {"large-20m.eml", "20 MB, three attachments", 3},
    };
    for (const auto& m : messages) {
        const std::uint64_t size = std::filesystem::file_size(dir + "/" + m.name);
        std::vector<double> shown, headers, loaded, text;
        long added = 0;
        for (int run = 0; run < m.runs; ++run) {
            const listaf* entry = Named(app, m.name);
            if (!entry)
                return false;
            QApplication::processEvents();
            const long before = StatusKb("VmRSS:");
            ResetPeak();
            ReaderTimes times;
            if (!OpenOnce(frame, *entry, times)) {
                std::printf("%s: the reader did not show it\n", m.name);
                return false;
            }
            added = std::max(added, StatusKb("VmHWM:") - before);
            shown.push_back(times.shown);
            headers.push_back(times.headers);
            loaded.push_back(times.loaded);
            text.push_back(times.text);
        }
        std::printf("reader, %s (%.2f MB): median of %d: shown %.1f ms, headers painted %.1f ms, ", m.what,
                    size / 1048576.0, m.runs, Median(shown), Median(headers));
        if (Median(loaded) > 0)
            std::printf("page loaded %.1f ms, ", Median(loaded));
        std::printf("text painted %.1f ms (slowest %.1f); peak memory added %.1f MB (%.2fx the message)\n",
                    Median(text), *std::max_element(text.begin(), text.end()), added / 1024.0, added * 1024.0 / size);
        std::fflush(stdout);
    }
    return true;
}

bool DecodedListing(CQuilloryApp& app, CMainFrame& frame)
{
    CQuilloryView& view = *frame.View();
    int fills = 0;
    QObject::connect(&view, &CQuilloryView::tableFilled, [&] { ++fills; });
    auto relist = [&](const std::function<void()>& action) {
        QElapsedTimer timer;
        const int before = fills;
        timer.start();
        action();
        if (!bench::Until([&] { return fills > before && app.m_bRebuildPending == 0; }) || !PagePainted(view.page()))
            return -1.0;
        return Ms(timer);
    };
    const double first = relist([&] { view.ActivateEntry(Named(app, "Encoded.dbx")->m_nSerial); });
    if (first < 0)
        return false;
    std::vector<double> decoded, stored;
    for (int run = 0; run < 3; ++run) {
        decoded.push_back(relist([&] { frame.OnCommand(ID_VIEW_DECODED_HEADERS); }));
        stored.push_back(relist([&] { frame.OnCommand(ID_VIEW_DECODED_HEADERS); }));
    }
    if (std::min(*std::min_element(decoded.begin(), decoded.end()), *std::min_element(stored.begin(), stored.end())) < 0)
        return false;
    std::printf("listing, %d messages with encoded headers, listed anew to the first rows painted: as stored %.0f ms, "
                "decoded %.0f ms (median of 3 each; %.2fx)\n",
                app.m_nItemCount, Median(stored), Median(decoded), Median(decoded) / Median(stored));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    bench::UseHeadlessBrowser();
    RegisterResScheme();
    RegisterReaderScheme();
    QApplication application(argc, argv);
    ChooseRendering();

    QTemporaryDir made;
    const std::string dir = made.path().toStdString();
    std::ofstream(dir + "/plain-50k.eml", std::ios::binary) << PlainMessage(50 * 1024);
    std::ofstream(dir + "/html-50k.eml", std::ios::binary) << HtmlMessage(50 * 1024);
    std::ofstream(dir + "/large-20m.eml", std::ios::binary) << LargeMessage();
    if (EncodedFolder(dir, 100000).empty())
        return 1;

    QTemporaryDir config;
    ::setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    CQuilloryApp app;
    bench::PresetChooser chooser(dir);
    RecordingMessageBox box;
    WindowSeams seams;
    seams.pFolderChooser = &chooser;
    seams.pMessageBox = &box;
    seams.bSplash = false;
    CWindowApp window(app, seams);
    if (!window.InitInstance())
        return 1;
    CMainFrame& frame = *window.MainFrame();
    frame.resize(1000, 700);
    if (!bench::Until([&] { return app.m_nItemCount > 0 && frame.View()->IsPageReady(); }))
        return 1;
    std::printf("(%s)\n", qPrintable(QGuiApplication::platformName()));
    const bool ok = Readers(app, frame, dir) && DecodedListing(app, frame);
    for (const RecordedMessage& message : box.messages)
        std::printf("told: %s\n", message.text.c_str());
    return ok ? 0 : 1;
}
