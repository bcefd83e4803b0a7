// The message reader: opened from the listing's row menu and from the keyboard, its decoded
// headers, an attachment saved as it is, a page that fetches nothing from outside the program, and
// the listing's decoded headers.

#include <QApplication>
#include <QClipboard>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTcpServer>
#include <QTimer>
#include <QTreeWidget>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <algorithm>
#include <fstream>
#include <iterator>

#include "WindowHarness.h"
#include "app/FrameIds.h"
#include "reader/ReaderPage.h"
#include "reader/ReaderText.h"
#include "reader/ReaderWindow.h"
#include "view/QuilloryView.h"

namespace {

// The attachment's bytes, and the same as the message carries them.
const std::string kReportBytes("\x00\x01\x02\xff\xfe\x80\r\n\rreport", 15);
constexpr const char* kReportBase64 = "AAEC//6ADQoNcmVwb3J0";
// A 2 x 3 picture.
constexpr const char* kPictureBase64 =
    "iVBORw0KGgoAAAANSUhEUgAAAAIAAAADCAIAAAA2iEnWAAAAEElEQVR4nGP4z8AARAwoFABE0AX7pM/egAAAAABJRU5ErkJggg==";

// "Привет" in koi8-r, as an encoded word.
constexpr const char* kEncodedSubject = "=?koi8-r?B?8NLJ18XU?=";
const QString kSubject = QString::fromUtf8("\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82");

std::string MessageWithAttachment()
{
    return std::string("From: =?utf-8?Q?Ren=C3=A9e?= <renee@example.org>\r\n"
                       "To: bob@example.org\r\n"
                       "Subject: ") + kEncodedSubject + "\r\n"
           "Date: Mon, 3 Apr 2006 10:00:00 +0200\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed; boundary=\"b1\"\r\n"
           "\r\n"
           "--b1\r\n"
           "Content-Type: text/plain; charset=utf-8\r\n"
           "\r\n"
           "See the report.\r\n"
           "--b1\r\n"
           "Content-Type: application/octet-stream; name=\"report.bin\"\r\n"
           "Content-Disposition: attachment; filename=\"report.bin\"\r\n"
           "Content-Transfer-Encoding: base64\r\n"
           "\r\n" + kReportBase64 + "\r\n"
           "--b1--\r\n";
}

// An HTML message that reaches for http://127.0.0.1:port/ in every way a page can, runs scripts
// if it may, and shows one picture of its own.
std::string HostileHtmlMessage(quint16 port)
{
    std::string html = R"(<!DOCTYPE html><html><head>
<meta http-equiv="refresh" content="0; url=http://H/refresh">
<base href="http://H/base/">
<link rel="stylesheet" href="http://H/style.css">
<link rel="preconnect" href="http://H">
<link rel="dns-prefetch" href="http://H">
<link rel="prefetch" href="http://H/prefetch">
<link rel="preload" as="image" href="http://H/preload.png">
<link rel="icon" href="http://H/favicon.ico">
<style>@import url(http://H/import.css);
@font-face { font-family: Remote; src: url(http://H/font.woff); }
body { background: url(http://H/background.png); font-family: Remote; }</style>
<script src="http://H/script.js"></script>
<script>document.title = 'script ran';</script>
</head><body>
<p id="text">Hello from the HTML part.</p>
<img id="inline" src="cid:pic1@example.org">
<img src="http://H/remote.png"><img src="relative.png"><img srcset="http://H/srcset.png 2x">
<img src="file:///etc/passwd"><img src="x" onerror="document.title = 'handler ran'">
<iframe src="http://H/frame.html"></iframe><object data="http://H/object"></object>
<embed src="http://H/embed"><video poster="http://H/poster.png" src="http://H/video.mp4"></video>
<audio src="http://H/sound.mp3" autoplay></audio>
<table background="http://H/table.png"><tr><td>cell</td></tr></table>
<svg width="1" height="1"><image href="http://H/svg.png" width="1" height="1"/></svg>
<form action="http://H/form"><input type="image" src="http://H/input.png"></form>
<a id="link" href="http://H/link" ping="http://H/ping">a link</a>
</body></html>)";
    const std::string host = "127.0.0.1:" + std::to_string(port);
    for (std::size_t at = html.find("http://H"); at != std::string::npos; at = html.find("http://H", at))
        html.replace(at + 7, 1, host);
    return "From: Ann <ann@example.org>\r\n"
           "To: bob@example.org\r\n"
           "Subject: Pictures\r\n"
           "Date: Tue, 4 Apr 2006 10:00:00 +0200\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: multipart/related; boundary=\"r1\"\r\n"
           "\r\n"
           "--r1\r\n"
           "Content-Type: text/html; charset=utf-8\r\n"
           "\r\n" + html + "\r\n"
           "--r1\r\n"
           "Content-Type: image/png\r\n"
           "Content-ID: <pic1@example.org>\r\n"
           "Content-Transfer-Encoding: base64\r\n"
           "\r\n" + kPictureBase64 + "\r\n"
           "--r1--\r\n";
}

std::string FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

QString WithoutMnemonic(QString text) { return text.remove(QLatin1Char('&')); }

// Chooses the item called text in the next popup menu, from inside the menu's own loop, and
// keeps what the menu offered ("Export... (off)" for a disabled item).
void ChooseInNextMenu(const QString& text, std::shared_ptr<QStringList> offered = nullptr)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, text, offered] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu || !menu->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        QAction* chosen = nullptr;
        for (QAction* action : menu->actions()) {
            const QString name = WithoutMnemonic(action->text());
            if (offered && !action->isSeparator())
                offered->append(action->isEnabled() ? name : name + QStringLiteral(" (off)"));
            if (name == text)
                chosen = action;
        }
        menu->close();
        if (chosen && chosen->isEnabled())
            chosen->trigger();
    });
    timer->start();
}

class ReaderTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        ASSERT_TRUE(m_server.listen(QHostAddress::LocalHost));
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] { ++m_nConnections; });
        m_strBase = m_tmp.MakeDir("base");
        m_strFolder = m_tmp.Write("base/box.dbx", MailFolderBytes({MessageWithAttachment(),
                                                                    MessageText("Gil", "Hal", "Plain")}));
        m_tmp.Write("base/letter.eml", HostileHtmlMessage(m_server.serverPort()));
    }

    // The readers open, in the order opened.
    std::vector<CReaderWindow*> Readers() const
    {
        const QList<CReaderWindow*> found = Frame().findChildren<CReaderWindow*>(QString(), Qt::FindDirectChildrenOnly);
        return {found.begin(), found.end()};
    }

    // Waits for a reader to have opened and shown its message.
    CReaderWindow* WaitForReader()
    {
        CReaderWindow* reader = nullptr;
        SpinUntil([&] {
            const std::vector<CReaderWindow*> readers = Readers();
            reader = readers.empty() ? nullptr : readers.back();
            return reader && reader->IsReady();
        });
        return reader;
    }

    // Right-clicks the middle of the link of the row showing name, as the mouse does.
    bool RightClickRow(const std::string& name)
    {
        const QVariantList at = View()
                                    .RunJavaScriptSync(QStringLiteral(R"((function (name) {
            var links = document.querySelectorAll('#puntozero a');
            for (var i = 0; i < links.length; ++i) {
                if (links[i].innerText.trim() !== name) continue;
                var r = links[i].getBoundingClientRect();
                return [r.left + r.width / 2, r.top + r.height / 2];
            }
            return null; })('%1'))").arg(QString::fromStdString(name)))
                                    .toList();
        QWidget* target = View().focusProxy();
        if (at.size() != 2 || !target)
            return false;
        const QPointF point(at[0].toDouble(), at[1].toDouble());
        const QPointF global = target->mapToGlobal(point);
        QMouseEvent move(QEvent::MouseMove, point, global, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QMouseEvent press(QEvent::MouseButtonPress, point, global, Qt::RightButton, Qt::RightButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, point, global, Qt::RightButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &move);
        QCoreApplication::sendEvent(target, &press);
        QCoreApplication::sendEvent(target, &release);
        return true;
    }

    QTcpServer m_server;
    int m_nConnections = 0;
    std::string m_strBase;
    std::string m_strFolder;
};

} // namespace

TEST(ReaderTextTest, TheDocumentSettlesItsEncodingAndPolicyBeforeTheMessagesOwnMarkup)
{
    const std::string policy = "<meta http-equiv=\"Content-Security-Policy\" content=\"" +
                               std::string(kReaderContentPolicy) + "\"><meta name=\"referrer\" content=\"no-referrer\">";
    const struct {
        std::string html;
        std::string document;
    } cases[] = {
        {"<p>x</p>", "\xEF\xBB\xBF" + policy + "<p>x</p>"},
        // After a doctype, which must stay first for the layout it asks for.
        {"\r\n<!DOCTYPE html PUBLIC \"x\"><html>", "\xEF\xBB\xBF\r\n<!DOCTYPE html PUBLIC \"x\">" + policy + "<html>"},
        // The text's own mark is not doubled; a doctype that never ends is just text.
        {"\xEF\xBB\xBF<!doctype html", "\xEF\xBB\xBF" + policy + "<!doctype html"},
        {"", "\xEF\xBB\xBF" + policy},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReaderHtmlDocument(c.html), c.document) << c.html;

    EXPECT_EQ(PlainTextForView("a\r\nb\rc\n\r\n"), "a\nb\nc\n\n");
    // A source past the limit is cut at a line end, and says what it leaves out.
    EXPECT_EQ(SourceForView("ab\r\ncd\r\nef", 7), "ab\ncd\n\n[2 more bytes are not shown here; Save message as... keeps the whole message.]\n");
    EXPECT_EQ(SourceForView("abcdef", 4), "abcd\n\n[2 more bytes are not shown here; Save message as... keeps the whole message.]\n");
    EXPECT_EQ(SourceForView("ab\r\n", 4), "ab\n");
    const struct {
        std::uint64_t bytes;
        const char* text;
    } sizes[] = {{0, "0 bytes"}, {1, "1 byte"}, {1023, "1023 bytes"}, {1024, "1.0 KB"}, {1536, "1.5 KB"},
                 {1048524, "1023.9 KB"}, {1048575, "1.0 MB"}, {5ull * 1024 * 1024 * 1024, "5.0 GB"}};
    for (const auto& s : sizes)
        EXPECT_EQ(SizeText(s.bytes), s.text) << s.bytes;
}

TEST_F(ReaderTest, OpensFromTheRowMenuWithDecodedHeadersAndSavesAnAttachmentAsItIs)
{
    ASSERT_TRUE(Start(m_strBase));
    // A mail folder's menu offers to open and to export it.
    auto offered = std::make_shared<QStringList>();
    ChooseInNextMenu(QStringLiteral("none"), offered);
    ASSERT_TRUE(RightClickRow("box.dbx"));
    ASSERT_TRUE(SpinUntil([&] { return !offered->isEmpty(); }));
    EXPECT_EQ(*offered, (QStringList{"Open folder", "Export..."}));

    ASSERT_TRUE(RefillAfter([&] { ASSERT_TRUE(ClickEntry("box.dbx")); }));
    offered->clear();
    ChooseInNextMenu(QStringLiteral("Read message"), offered);
    ASSERT_TRUE(RightClickRow("Msg00001"));
    CReaderWindow* reader = WaitForReader();
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(*offered, (QStringList{"Read message", "Save message as...", "Copy subject"}));
    EXPECT_TRUE(reader->isVisible());
    EXPECT_EQ(reader->HeaderValue("Subject"), kSubject);
    EXPECT_EQ(reader->HeaderValue("From"), QString::fromUtf8("Ren\xc3\xa9" "e <renee@example.org>"));
    EXPECT_EQ(reader->HeaderValue("Cc"), QString()) << "no Cc line, none shown";
    EXPECT_TRUE(reader->windowTitle().startsWith(kSubject));
    EXPECT_EQ(reader->Showing(), CReaderWindow::Body::Plain);
    EXPECT_EQ(reader->PlainView()->toPlainText(), QStringLiteral("See the report."));
    ASSERT_EQ(reader->AttachmentList()->topLevelItemCount(), 1);
    EXPECT_EQ(reader->AttachmentList()->topLevelItem(0)->text(0), QStringLiteral("report.bin"));
    EXPECT_EQ(reader->AttachmentList()->topLevelItem(0)->text(2), QStringLiteral("15 bytes"));

    // Save... writes the decoded bytes exactly; Save all... never replaces a file, it numbers.
    const std::string saved = m_tmp.MakeDir("saved");
    m_saveDialog.answers.push_back(saved + "/report.bin");
    int finished = 0;
    QObject::connect(reader, &CReaderWindow::saveFinished, [&] { ++finished; });
    reader->SaveAttachment(0);
    ASSERT_TRUE(SpinUntil([&] { return finished == 1; }));
    EXPECT_EQ(FileBytes(saved + "/report.bin"), kReportBytes);
    EXPECT_EQ(m_saveDialog.requests.back().strInitialName, "report.bin");
    EXPECT_EQ(Setting("SaveDir"), saved + "/");

    m_tmp.Write("saved/report.bin", "keep me");
    m_chooser.answers.push_back(saved);
    reader->SaveAllAttachments();
    ASSERT_TRUE(SpinUntil([&] { return finished == 2; }));
    EXPECT_EQ(FileBytes(saved + "/report.bin"), "keep me");
    EXPECT_EQ(FileBytes(saved + "/report (2).bin"), kReportBytes);

    // View source: the stored bytes, one character each.
    reader->ShowSource(true);
    EXPECT_EQ(reader->Showing(), CReaderWindow::Body::Source);
    EXPECT_TRUE(reader->SourceView()->toPlainText().contains(QString::fromLatin1(kEncodedSubject)));
    EXPECT_TRUE(m_messages.messages.empty()) << m_messages.messages.front().text;

    // Copy subject gives the decoded text alone.
    ChooseInNextMenu(QStringLiteral("Copy subject"));
    ASSERT_TRUE(RightClickRow("Msg00001"));
    ASSERT_TRUE(SpinUntil([&] { return QApplication::clipboard()->text() == kSubject; }));

    // A folder rewritten since it was listed is not read as if it were the same: the user is told,
    // and no reader stays open for it.
    reader->close();
    m_tmp.Write("base/box.dbx", MailFolderBytes({MessageText("Other", "Else", "Another")}));
    ChooseInNextMenu(QStringLiteral("Read message"));
    ASSERT_TRUE(RightClickRow("Msg00002"));
    ASSERT_TRUE(SpinUntil([&] {
        const std::vector<CReaderWindow*> readers = Readers();
        return !m_messages.messages.empty() &&
               std::none_of(readers.begin(), readers.end(), [](CReaderWindow* r) { return r->isVisible(); });
    }));
    EXPECT_NE(m_messages.messages.back().text.find("has changed since it was listed"), std::string::npos);
}

TEST_F(ReaderTest, TheHtmlViewFetchesNothingOutsideTheProgramAndRunsNoScript)
{
    ASSERT_TRUE(Start(m_strBase));
    // Space on the selected message opens it: letter.eml is the second row.
    PressKey(Qt::Key_Down);
    PressKey(Qt::Key_Space);
    CReaderWindow* reader = WaitForReader();
    ASSERT_NE(reader, nullptr);
    ASSERT_NE(reader->HtmlView(), nullptr);
    EXPECT_EQ(reader->HeaderValue("Subject"), QStringLiteral("Pictures"));
    EXPECT_EQ(reader->Showing(), CReaderWindow::Body::Html);
    // The server never answers: a request that reached it would hold the load up.
    ASSERT_TRUE(SpinUntil([&] { return reader->IsHtmlLoaded() || m_nConnections > 0; }));
    ASSERT_EQ(m_nConnections, 0);
    // A round trip through the page once it has loaded: whatever it fetched, it has asked for.
    QVariant state;
    reader->HtmlView()->page()->runJavaScript(
        QStringLiteral("JSON.stringify({title: document.title, text: document.getElementById('text').innerText,"
                       " w: document.getElementById('inline').naturalWidth,"
                       " h: document.getElementById('inline').naturalHeight, url: location.href})"),
        QWebEngineScript::ApplicationWorld, [&](const QVariant& value) { state = value; });
    ASSERT_TRUE(SpinUntil([&] { return state.isValid(); }));
    const QJsonObject page = QJsonDocument::fromJson(state.toString().toUtf8()).object();
    EXPECT_EQ(page.value("text").toString(), QStringLiteral("Hello from the HTML part."));
    EXPECT_EQ(page.value("w").toInt(), 2) << "the picture of the message itself is shown";
    EXPECT_EQ(page.value("h").toInt(), 3);
    EXPECT_EQ(page.value("url").toString(), QStringLiteral("cid:quillory-message-text")) << "the refresh went nowhere";
    EXPECT_NE(page.value("title").toString(), QStringLiteral("script ran"));
    EXPECT_NE(page.value("title").toString(), QStringLiteral("handler ran"));

    // A click on a link opens nothing; its menu copies it.
    ChooseInNextMenu(QStringLiteral("Copy link address"));
    reader->HtmlView()->page()->runJavaScript(QStringLiteral("document.getElementById('link').click()"),
                                              QWebEngineScript::ApplicationWorld);
    const QString link = QStringLiteral("http://127.0.0.1:%1/link").arg(m_server.serverPort());
    ASSERT_TRUE(SpinUntil([&] { return QApplication::clipboard()->text() == link; }));
    // Opening it outside asks first, naming the address in full; No opens nothing.
    m_messages.answer = IDNO;
    ChooseInNextMenu(QString::fromUtf8("Open in web browser\xe2\x80\xa6"));
    reader->HtmlView()->page()->runJavaScript(QStringLiteral("document.getElementById('link').click()"),
                                              QWebEngineScript::ApplicationWorld);
    ASSERT_TRUE(SpinUntil([&] { return !m_messages.messages.empty(); }));
    EXPECT_NE(m_messages.messages.back().text.find(link.toStdString()), std::string::npos);
    EXPECT_EQ(m_messages.messages.back().flags & MB_YESNO, MB_YESNO);

    QCoreApplication::processEvents();
    EXPECT_EQ(m_nConnections, 0);
    EXPECT_FALSE(m_server.hasPendingConnections());
}

TEST_F(ReaderTest, TheRequestGateAloneStopsWhatTheContentPolicyWouldHave)
{
    // A document served without the policy: the profile's gate is the wall left.
    auto content = std::make_shared<ReaderPageContent>();
    const QString host = QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort());
    content->document = QStringLiteral("<link rel='stylesheet' href='%1/style.css'><img src='%1/remote.png'>"
                                       "<iframe src='%1/frame.html'></iframe><p id='done'>done</p>")
                            .arg(host)
                            .toUtf8();
    QObject owner;
    CSchemeGate* gate = nullptr;
    QWebEngineProfile* profile = CreateReaderProfile(content, &owner, &gate);
    bool bLoaded = false;
    {
        CReaderPage page(profile, nullptr);
        QObject::connect(&page, &QWebEnginePage::loadFinished, [&] { bLoaded = true; });
        page.LoadDocument();
        // The server never answers: a request that reached it would hold the load up.
        ASSERT_TRUE(SpinUntil([&] { return bLoaded || m_nConnections > 0; }));
        ASSERT_EQ(m_nConnections, 0);
        QVariant text;
        page.runJavaScript(QStringLiteral("document.getElementById('done').innerText"), QWebEngineScript::ApplicationWorld,
                           [&](const QVariant& value) { text = value; });
        ASSERT_TRUE(SpinUntil([&] { return text.isValid(); }));
        EXPECT_EQ(text.toString(), QStringLiteral("done"));
    }
    EXPECT_GE(gate->BlockedCount(), 2) << "the style sheet and the picture were asked for, and refused";
    QCoreApplication::processEvents();
    EXPECT_EQ(m_nConnections, 0);
}

TEST_F(ReaderTest, DecodedHeadersShowAndSortTheListingsHeadersDecoded)
{
    ASSERT_TRUE(Start(m_strBase));
    ASSERT_TRUE(RefillAfter([&] { ASSERT_TRUE(ClickEntry("box.dbx")); }));
    auto subjects = [&] {
        std::vector<QString> texts;
        for (const QJsonValue& row : Rows())
            texts.push_back(row.toArray().at(5).toObject().value("text").toString());
        return texts;
    };
    const QString raw = QStringLiteral("Subject: ") + QString::fromLatin1(kEncodedSubject);
    EXPECT_EQ(subjects(), (std::vector<QString>{raw, QStringLiteral("Subject: Plain")}));
    EXPECT_FALSE(Frame().OnUpdateCommand(ID_VIEW_DECODED_HEADERS).bChecked);

    ASSERT_TRUE(RefillAfter([&] { Frame().OnCommand(ID_VIEW_DECODED_HEADERS); }));
    EXPECT_EQ(subjects(), (std::vector<QString>{QStringLiteral("Subject: ") + kSubject, QStringLiteral("Subject: Plain")}));
    EXPECT_TRUE(Frame().OnUpdateCommand(ID_VIEW_DECODED_HEADERS).bChecked);
    EXPECT_EQ(Setting("DecodedHeaders"), "1");
    // The sort reads the decoded text: "P" comes before Cyrillic.
    ASSERT_TRUE(RefillAfter([&] { Frame().OnCommand(ID_SORT_SUBJECT); }));
    EXPECT_EQ(subjects(), (std::vector<QString>{QStringLiteral("Subject: Plain"), QStringLiteral("Subject: ") + kSubject}));

    ASSERT_TRUE(RefillAfter([&] { Frame().OnCommand(ID_VIEW_DECODED_HEADERS); }));
    EXPECT_EQ(Setting("DecodedHeaders"), "0");
    EXPECT_EQ(subjects()[0], raw) << "the mail folder is listed again as stored";
}
