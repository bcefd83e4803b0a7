// The listing page in the real embedded browser, offscreen: rows read back through scripts,
// clicks that reach the dispatch, and the page's safety.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPaintEngine>
#include <QSignalSpy>
#include <QTest>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QVariantList>
#include <QWebEngineSettings>
#include <unistd.h>

#include <fstream>

#include "core/Navigation.h"
#include "ReloadingFrame.h"
#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "view/HtmlDialogView.h"
#include "view/ListingPrint.h"
#include "view/QuilloryView.h"
#include "view/ResScheme.h"

namespace {

// A sheet of A4 at 300 dots an inch that keeps the text painted on it, page by page.
class TextRecorder : public QPaintDevice {
public:
    std::vector<QStringList> pages{1};
    QPaintEngine* paintEngine() const override { return &m_engine; }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth: return 2480;
        case PdmHeight: return 3508;
        case PdmWidthMM: return 210;
        case PdmHeightMM: return 297;
        case PdmDpiX: case PdmDpiY: case PdmPhysicalDpiX: case PdmPhysicalDpiY: return 300;
        case PdmDepth: return 32;
        case PdmNumColors: return INT_MAX;
        case PdmDevicePixelRatio: return 1;
        case PdmDevicePixelRatioScaled: return static_cast<int>(devicePixelRatioFScale());
        default: return 0;
        }
    }

private:
    class Engine : public QPaintEngine {
    public:
        explicit Engine(TextRecorder& sheet) : m_sheet(sheet) {}
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState&) override {}
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override {}
        void drawRects(const QRectF*, int) override {}
        void drawLines(const QLineF*, int) override {}
        void drawPath(const QPainterPath&) override {}
        void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
        void drawTextItem(const QPointF&, const QTextItem& item) override { m_sheet.pages.back() << item.text(); }
        Type type() const override { return User; }

    private:
        TextRecorder& m_sheet;
    };
    mutable Engine m_engine{*const_cast<TextRecorder*>(this)};
};

class PageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        app.m_pMessageBox = &messages;
        app.m_pMainFrame = &frame;
        app.m_strCurrentDir = "/listed/here";
        app.m_strTargetDir = app.m_strCurrentDir;
    }

    listaf* Add(std::int32_t kind, const std::string& name)
    {
        listaf* entry = app.AppendEntry();
        entry->m_nKind = kind;
        entry->m_strName = name;
        entry->m_strPath = app.m_strCurrentDir + "/" + name;
        return entry;
    }

    // Makes the view and waits until its first load has been filled.
    CQuilloryView& Open()
    {
        view = std::make_unique<CQuilloryView>(app);
        view->resize(900, 500);
        view->show();
        QSignalSpy filled(view.get(), &CQuilloryView::tableFilled);
        EXPECT_TRUE(filled.wait(30000));
        return *view;
    }

    // Does what may fill the table and waits for the fill; the spy must be there first, since the
    // fill can come while the action itself is still waiting for the page.
    template <typename Action>
    int FillAfter(Action action)
    {
        QSignalSpy filled(view.get(), &CQuilloryView::tableFilled);
        action();
        if (filled.isEmpty() && !filled.wait(30000))
            return -1;
        return filled.takeFirst().at(0).toInt();
    }

    QVariant Js(const QString& script) { return view->RunJavaScriptSync(script); }

    // The page's scripts cannot be awaited from here: ask until the condition holds.
    bool JsBecomes(const QString& condition)
    {
        for (int i = 0; i < 3000; ++i) {
            if (Js(condition).toBool())
                return true;
            QTest::qWait(10);
        }
        return false;
    }

    // Rows of the listing table: for each cell its class, HTML, title and colspan.
    QVariantList Rows()
    {
        return Js(QStringLiteral(
                      "Array.from(document.getElementById('puntozero').rows).map(r => Array.from(r.cells).map("
                      "c => [c.className, c.innerHTML, c.title, c.getAttribute('colspan') || '']))"))
            .toList();
    }

    CQuilloryApp app;
    RecordingMessageBox messages;
    ReloadingFrame frame{app};
    std::unique_ptr<CQuilloryView> view;
};

TEST_F(PageTest, ServesOnlyItsOwnResources)
{
    QByteArray data, type;
    EXPECT_TRUE(LoadResource(QUrl(QStringLiteral("res://quillory/130")), data, type));
    EXPECT_EQ(type, "text/html");
    EXPECT_TRUE(data.contains("id=\"puntozero\""));
    EXPECT_TRUE(LoadResource(QUrl(QStringLiteral("res://quillory/SOPRA.GIF")), data, type));
    EXPECT_TRUE(data.startsWith("GIF89a"));
    EXPECT_FALSE(LoadResource(QUrl(QStringLiteral("res://quillory/../130")), data, type));
    EXPECT_FALSE(LoadResource(QUrl(QStringLiteral("res://elsewhere/130")), data, type));
    EXPECT_FALSE(LoadResource(QUrl(QStringLiteral("res://quillory/page/130.html")), data, type));
    EXPECT_FALSE(LoadResource(QUrl(QStringLiteral("file:///etc/passwd")), data, type));
}

TEST_F(PageTest, FillsTheTableAndReadsItBack)
{
    Add(KIND_DIRECTORY, "sub");
    listaf* message = Add(KIND_MESSAGE_FILE, "a.eml");
    message->m_strFrom = "From: Ann &lt;ann@x&gt;";
    message->m_strHeader = "From: Ann\r\nSubject: hi";
    message->SetSize(3'000'000'000ULL);
    Add(KIND_MAIL_FOLDER, "box.dbx");
    Add(KIND_OTHER, "notes.txt");

    Open();

    const QVariantList rows = Rows();
    ASSERT_EQ(rows.size(), 4);
    const QVariantList dir = rows[0].toList();
    ASSERT_EQ(dir.size(), 2);
    EXPECT_EQ(dir[0].toList()[0].toString(), "folder");
    EXPECT_EQ(dir[1].toList()[3].toString(), "6");
    const QVariantList mail = rows[2].toList();
    ASSERT_EQ(mail.size(), 7);
    EXPECT_EQ(mail[0].toList()[0].toString(), "letter");
    EXPECT_EQ(mail[0].toList()[2].toString(), "From: Ann\r\nSubject: hi");
    EXPECT_EQ(mail[2].toList()[1].toString(), "3000000000");
    EXPECT_EQ(mail[3].toList()[1].toString(), "From: Ann &lt;ann@x&gt;");
    EXPECT_EQ(mail[4].toList()[1].toString(), "&nbsp;");
    EXPECT_EQ(Js("document.getElementById('cartellacorrente').textContent").toString(), "/listed/here");
    EXPECT_EQ(Js("var t = document.getElementById('puntozero'); [t.className, t.getAttribute('cellspacing'), "
                 "t.getAttribute('cellpadding')].join()")
                  .toString(),
              "riga,0,2")
        << "the table keeps what the skeleton gives it";
    EXPECT_EQ(Js("document.querySelector('#puntozero a').href").toString(),
              QStringLiteral("http://quillory/%1").arg(app.FirstEntry()->m_nSerial));
    // The pictures come from our resources, relative to the skeleton.
    ASSERT_TRUE(JsBecomes("Array.from(document.images).every(i => i.complete)"));
    EXPECT_EQ(Js("Array.from(document.images).map(i => i.naturalWidth + 'x' + i.naturalHeight)").toStringList(),
              QStringList({"37x15", "37x15", "37x15", "37x15", "37x15"}));
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(PageTest, ALongListingKeepsOnlyTheRowsNearTheScreenAndEndReachesTheLast)
{
    constexpr int kRows = 100'000;
    for (int i = 0; i < kRows; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "Msg%06d", i + 1);  // so that the listing's order is the serials'
        Add(KIND_FOLDER_MESSAGE, name);
    }
    const std::int32_t lastSerial = app.m_nNextSerial;
    Open();
    const QString table = QStringLiteral("document.getElementById('puntozero')");
    const QString lastRow = table + ".rows[" + table + ".rows.length - 1]";
    const QString wanted = QStringLiteral("http://quillory/%1").arg(lastSerial);

    EXPECT_LT(Js(table + ".rows.length").toInt(), 200) << "a few screenfuls, not the listing";
    // The page is as tall as every row, so the scroll bar is true from the start.
    EXPECT_EQ(Js(table + ".offsetTop + " + table + ".offsetHeight + parseFloat(" + table + ".style.marginBottom)")
                  .toInt(),
              Js("document.getElementById('intesta').offsetHeight").toInt() + kRows * kListingRowHeight);

    // Taller than the browser lays out, the listing is mapped onto a shorter page; End reaches
    // the last row either way.
    for (int maxHeight : {0, 400'000}) {
        SCOPED_TRACE(maxHeight);
        if (maxHeight) {
            Js(QStringLiteral("window.__quilloryListing.setMaxHeight(%1)").arg(maxHeight));
            QTest::keyClick(view->focusProxy(), Qt::Key_Home);
            ASSERT_TRUE(QTest::qWaitFor([&] { return Js(lastRow + ".querySelector('a').href").toString() != wanted; }, 10000));
        }
        QTest::keyClick(view->focusProxy(), Qt::Key_End);
        ASSERT_TRUE(QTest::qWaitFor([&] { return Js(lastRow + ".querySelector('a').href").toString() == wanted; }, 10000));
        EXPECT_EQ(view->Listing().Selected(), kRows - 1);
        EXPECT_TRUE(Js(lastRow + ".hasAttribute('aria-selected')").toBool());
        EXPECT_TRUE(Js("var r = " + lastRow + ".getBoundingClientRect(); r.top >= 0 && r.bottom <= window.innerHeight + 1")
                        .toBool())
            << "the last row is on screen";
        EXPECT_LT(Js(table + ".rows.length").toInt(), 200);
    }
}

TEST_F(PageTest, QuestionsForAnotherListingPastTheEndOrMalformedAreAnsweredWithNothing)
{
    for (int i = 0; i < 5; ++i)
        Add(KIND_OTHER, "f" + std::to_string(i));
    Open();
    const int before = view->Listing().Generation();
    ASSERT_EQ(FillAfter([&] { view->ReloadPage(); }), 5);
    const int now = view->Listing().Generation();
    ASSERT_NE(before, now);
    auto ask = [&](const QString& query) {
        return Js("var x = new XMLHttpRequest(); x.open('GET', '" + query + "', false); x.send(); x.responseText")
            .toString();
    };
    EXPECT_TRUE(ask(QStringLiteral("rows?gen=%1&from=4&count=1").arg(now)).contains("quillory/5"));
    for (const QString& query : {QStringLiteral("rows?gen=%1&from=0&count=5").arg(before),
                                 QStringLiteral("rows?gen=%1&from=5&count=1").arg(now),
                                 QStringLiteral("rows?gen=%1&from=0").arg(now),
                                 QStringLiteral("rows?gen=%1&from=zero&count=1").arg(now)})
        EXPECT_EQ(ask(query), "[]") << query.toStdString();
    // The answers are data for the page's script: never a page the listing can be taken to.
    Js(QStringLiteral("location.href = 'rows?gen=%1&from=0&count=5'").arg(now));
    EXPECT_EQ(FillAfter([&] { view->ReloadPage(); }), 5);
    EXPECT_EQ(Js("location.href").toString(), "res://quillory/130");
}

TEST_F(PageTest, MarkupInHeadersShowsAsTextOnRowsOfOneHeight)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string root = dir.path().toStdString();
    std::ofstream(root + "/a.eml", std::ios::binary)
        << "From: <script>document.title='ran'</script>\r\nTo: x</script><b>y\r\n\r\nbody\r\n";
    app.m_strCurrentDir = app.m_strTargetDir = root;
    app.ScanDirectory();
    // Longer than a message file's header is read, so made by hand.
    listaf* huge = Add(KIND_MESSAGE_FILE, "z.eml");
    huge->m_strSubject = "Subject: " + std::string(64 * 1024, 'S');
    huge->m_strDate = std::string("Date: \xe9\xff\0'q'", 12);

    Open();

    const QString cells = QStringLiteral("document.getElementById('puntozero').rows[%1].cells[%2]");
    EXPECT_EQ(Js(cells.arg(0).arg(3) + ".textContent").toString(), "From: <script>document.title='ran'</script>");
    EXPECT_EQ(Js(cells.arg(0).arg(4) + ".textContent").toString(), "To: x</script><b>y");
    EXPECT_EQ(Js(cells.arg(0).arg(3) + ".title").toString(), "From: <script>document.title='ran'</script>")
        << "a cell cut short has its whole text as its tooltip";
    EXPECT_EQ(Js("document.querySelectorAll('#puntozero script, #puntozero b').length").toInt(), 0);
    EXPECT_NE(Js("document.title").toString(), "ran");
    EXPECT_EQ(Js(cells.arg(1).arg(5) + ".textContent.length").toInt(), 9 + 64 * 1024);
    EXPECT_EQ(Js(cells.arg(1).arg(6) + ".textContent").toString(), QStringLiteral("Date: \u00e9\u00ff'q'"));
    EXPECT_EQ(Js("Array.from(document.getElementById('puntozero').rows).map(r => r.offsetHeight).join()").toString(),
              QStringLiteral("%1,%1").arg(kListingRowHeight));
    EXPECT_EQ(view->ScriptDialogCount(), 0);
}

TEST_F(PageTest, PrintingPaintsEveryRowOfTheListingWhateverAFindShows)
{
    for (int i = 0; i < 250; ++i)
        Add(KIND_MESSAGE_FILE, "n" + std::to_string(1000 + i) + ".eml")->m_strSubject = "Subject: a &lt;b&gt;";
    Open();
    ASSERT_EQ(view->SetFind(QStringLiteral("n1249")), 1);

    TextRecorder paper;
    const int pages = PaintListingPages(paper, [&] { paper.pages.emplace_back(); }, "/listed/here", view->Listing().All());

    ASSERT_EQ(static_cast<std::size_t>(pages), paper.pages.size());
    EXPECT_GT(pages, 1);
    EXPECT_EQ(paper.pages[0].value(0), "/listed/here");
    QStringList names;
    for (const QStringList& page : paper.pages)
        for (const QString& text : page)
            if (text.endsWith(QLatin1String(".eml")))
                names << text;
    ASSERT_EQ(names.size(), 250);
    for (int i = 0; i < 250; ++i)
        EXPECT_EQ(names[i], QStringLiteral("n%1.eml").arg(1000 + i));
    EXPECT_TRUE(paper.pages[0].contains(QStringLiteral("Subject: a <b>"))) << "as the page shows it";
}

TEST_F(PageTest, AFileNameShowsLiterallyAndRunsNothing)
{
    const std::string name = "<img src=x onerror=alert(1)>.eml";
    Add(KIND_MESSAGE_FILE, name);

    Open();

    EXPECT_EQ(Js("document.querySelector('#puntozero a').textContent").toString(),
              QString::fromStdString(" " + name + " "));
    EXPECT_EQ(Js("document.querySelectorAll('#puntozero img').length").toInt(), 1) << "only the icon";
    EXPECT_EQ(view->ScriptDialogCount(), 0);
}

TEST_F(PageTest, ARemotePictureInAHeaderLoadsNothing)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    // Header text reaches the page as HTML; even if markup slipped through, nothing may be fetched.
    listaf* message = Add(KIND_MESSAGE_FILE, "spy.eml");
    message->m_strSubject = QStringLiteral("<img id=plain src='http://127.0.0.1:%1/a.gif'>"
                                           "<img id=secure src='https://127.0.0.1:%1/b.gif'>")
                                .arg(server.serverPort())
                                .toStdString();
    const QString complete =
        QStringLiteral("document.getElementById('plain').complete && document.getElementById('secure').complete");
    const QString width =
        QStringLiteral("document.getElementById('plain').naturalWidth + document.getElementById('secure').naturalWidth");

    Open();
    ASSERT_TRUE(JsBecomes(complete));
    EXPECT_EQ(Js(width).toInt(), 0);

    // The browser's own rules already refuse remote loads from our page; without them our request
    // gate must still stop every one.
    view->page()->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    ASSERT_GE(FillAfter([&] { view->ReloadPage(); }), 1);
    ASSERT_TRUE(JsBecomes(complete));
    EXPECT_EQ(Js(width).toInt(), 0);
    EXPECT_GE(view->BlockedRequestCount(), 2);

    QCoreApplication::processEvents();
    EXPECT_FALSE(server.hasPendingConnections());
}

TEST_F(PageTest, ClicksOnRowsAndTheArrowNavigate)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string root = dir.path().toStdString();
    std::ofstream(root + "/sub.txt") << "x";
    QDir(dir.path()).mkdir(QStringLiteral("inner"));
    std::ofstream(root + "/inner/deep.txt") << "y";
    app.m_strCurrentDir = app.m_strTargetDir = root;
    app.ScanDirectory();

    Open();
    ASSERT_EQ(Rows().size(), 2);

    // A click on the directory's link enters it.
    EXPECT_EQ(FillAfter([&] { Js("document.querySelector('#puntozero a').click()"); }), 1);
    EXPECT_EQ(app.m_strCurrentDir, root + "/inner");
    EXPECT_EQ(Js("document.getElementById('cartellacorrente').textContent").toString(),
              QString::fromStdString(root + "/inner"));
    EXPECT_TRUE(Js("document.querySelector('#puntozero a').textContent").toString().contains("deep.txt"));

    // The arrow's cell clicks the hidden go-up link.
    EXPECT_EQ(FillAfter([&] { Js("document.querySelector('#intesta td.freccia').click()"); }), 2);
    EXPECT_EQ(app.m_strCurrentDir, root);
    EXPECT_EQ(frame.nCalls, 2);
    EXPECT_EQ(Js("location.href").toString(), "res://quillory/130");
}

TEST_F(PageTest, ALinkToAGoneEntryLeavesTheListing)
{
    Add(KIND_OTHER, "a.txt");
    Open();
    Js("location.href = 'http://quillory/999'");
    Js("location.href = 'https://example.com/'");
    // A fill that follows proves the page is still ours and nothing was loaded in between.
    EXPECT_EQ(FillAfter([&] { view->ReloadPage(); }), 1);
    EXPECT_EQ(Js("location.href").toString(), "res://quillory/130");
    EXPECT_EQ(frame.nCalls, 0);
}

TEST_F(PageTest, QuickReloadsFillTheTableOnce)
{
    Add(KIND_OTHER, "a.txt");
    Add(KIND_OTHER, "b.txt");
    Open();
    EXPECT_EQ(FillAfter([&] {
                  view->ReloadPage();
                  view->ReloadPage();
              }),
              2);
    EXPECT_EQ(Rows().size(), 2);
}

TEST_F(PageTest, FillWhileLoadingWaitsForTheLoad)
{
    Add(KIND_OTHER, "a.txt");
    Open();
    EXPECT_EQ(FillAfter([&] {
                  view->ReloadPage();
                  view->FillTable();  // before the load completes: the completion fills instead
              }),
              1);
    EXPECT_EQ(Rows().size(), 1);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(PageTest, TheDialogPageEndsWithItsButtons)
{
    for (const char* button : {"ButtonOK", "ButtonCancel"}) {
        CHtmlDialogView dialog;
        dialog.show();
        QSignalSpy loaded(&dialog, &QWebEngineView::loadFinished);
        ASSERT_TRUE(loaded.wait(30000));
        QSignalSpy finished(&dialog, &CHtmlDialogView::finished);
        dialog.page()->runJavaScript(QStringLiteral("document.getElementById('%1').click()").arg(button));
        ASSERT_TRUE(finished.wait(30000));
        EXPECT_EQ(finished.takeFirst().at(0).toBool(), QLatin1String(button) == "ButtonOK");
    }
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qgetenv("QTWEBENGINE_CHROMIUM_FLAGS").isEmpty())
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    RegisterResScheme();
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

TEST_F(PageTest, AnEndedRendererIsToldAndTheNextReloadFillsAgain)
{
    Add(KIND_OTHER, "a.txt");
    Add(KIND_OTHER, "b.txt");
    Open();
    emit view->page()->renderProcessTerminated(QWebEnginePage::CrashedTerminationStatus, 9);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !messages.messages.empty(); }, 5000));
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, RendererEndedText(2));
    EXPECT_NE(messages.messages[0].text.find("(2 entries)"), std::string::npos);
    EXPECT_EQ(messages.messages[0].caption, "Quillory");
    EXPECT_EQ(FillAfter([&] { view->ReloadPage(); }), 2);
}
