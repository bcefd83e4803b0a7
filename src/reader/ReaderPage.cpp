#include "reader/ReaderPage.h"

#include <QBuffer>
#include <QPointer>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

namespace {

// A page for a link that wants a window of its own (target="_blank"): it takes no navigation, and
// reports the one it is asked for as a clicked link of the page that wanted it.
class CLinkCatcherPage : public QWebEnginePage {
public:
    CLinkCatcherPage(QWebEngineProfile* profile, CReaderPage* opener) : QWebEnginePage(profile, opener), m_pOpener(opener) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override
    {
        if (m_pOpener && !m_bReported) {
            m_bReported = true;
            emit m_pOpener->linkActivated(url);
        }
        deleteLater();
        return false;
    }

private:
    QPointer<CReaderPage> m_pOpener;
    bool m_bReported = false;
};

} // namespace

void RegisterReaderScheme()
{
    // A path scheme: "cid:part1@example.com" names a part by its Content-ID, as mail writes it.
    // Not a local scheme: a page on it is treated as a remote one, which can never reach file:.
    QWebEngineUrlScheme scheme(kCidScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme);
    QWebEngineUrlScheme::registerScheme(scheme);
}

CCidSchemeHandler::CCidSchemeHandler(std::shared_ptr<const ReaderPageContent> content, QObject* parent)
    : QWebEngineUrlSchemeHandler(parent), m_pContent(std::move(content))
{
}

void CCidSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job)
{
    const QUrl url = job->requestUrl();
    if (job->requestMethod() != "GET" || !m_pContent) {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    QByteArray data;
    QByteArray type;
    if (url == QUrl(QString::fromLatin1(kReaderDocumentUrl))) {
        data = m_pContent->document;
        type = "text/html";
    } else {
        // "cid:" links are percent-encoded Content-IDs, sometimes written with their brackets.
        std::string id = url.path(QUrl::FullyDecoded).toStdString();
        if (id.size() >= 2 && id.front() == '<' && id.back() == '>')
            id = id.substr(1, id.size() - 2);
        const auto found = m_pContent->parts.find(id);
        if (found == m_pContent->parts.end()) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        data = QByteArray::fromStdString(found->second.strBytes);
        type = QByteArray::fromStdString(found->second.strType);
    }
    auto* buffer = new QBuffer(job);
    buffer->setData(data);
    job->reply(type, buffer);
}

CReaderPage::CReaderPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {}

void CReaderPage::LoadDocument()
{
    m_bDocumentExpected = true;
    load(QUrl(QString::fromLatin1(kReaderDocumentUrl)));
}

bool CReaderPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame)
{
    // The message's own load, once: a refresh, a form, or a link back to the document itself must
    // not load anything either.
    if (isMainFrame && m_bDocumentExpected && type != NavigationTypeLinkClicked &&
        url == QUrl(QString::fromLatin1(kReaderDocumentUrl))) {
        m_bDocumentExpected = false;
        return true;
    }
    // Frames of any kind show nothing; a clicked link is the user's to decide on.
    if (isMainFrame && type == NavigationTypeLinkClicked)
        emit linkActivated(url);
    return false;
}

void CReaderPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int, const QString&)
{
    // The page's messages are the refusals of what the message reached for: expected, not news.
}

QWebEnginePage* CReaderPage::createWindow(WebWindowType)
{
    return new CLinkCatcherPage(profile(), this);
}

QWebEngineProfile* CreateReaderProfile(std::shared_ptr<const ReaderPageContent> content, QObject* parent,
                                       CSchemeGate** ppGate)
{
    // Without a storage name the profile is off the record: no cache, cookies or history on disk.
    auto* profile = new QWebEngineProfile(parent);
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    profile->setSpellCheckEnabled(false);
    profile->installUrlSchemeHandler(kCidScheme, new CCidSchemeHandler(std::move(content), profile));
    // The message's own parts, and inline data: URLs.
    auto* gate = new CSchemeGate({QString::fromLatin1(kCidScheme), QStringLiteral("data")}, profile);
    profile->setUrlRequestInterceptor(gate);
    if (ppGate)
        *ppGate = gate;
    // A download is a request too (a link with a download attribute, a part served as a file).
    QObject::connect(profile, &QWebEngineProfile::downloadRequested, profile,
                     [](QWebEngineDownloadRequest* download) { download->cancel(); });

    QWebEngineSettings* settings = profile->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalStorageEnabled, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    settings->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
    settings->setAttribute(QWebEngineSettings::HyperlinkAuditingEnabled, false);
    settings->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    settings->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
    settings->setAttribute(QWebEngineSettings::WebGLEnabled, false);
    settings->setAttribute(QWebEngineSettings::Accelerated2dCanvasEnabled, false);
    settings->setAttribute(QWebEngineSettings::ScreenCaptureEnabled, false);
    settings->setAttribute(QWebEngineSettings::AllowRunningInsecureContent, false);
    settings->setAttribute(QWebEngineSettings::AllowGeolocationOnInsecureOrigins, false);
    settings->setAttribute(QWebEngineSettings::WebRTCPublicInterfacesOnly, true);
    settings->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, true);
    settings->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    settings->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    return profile;
}
