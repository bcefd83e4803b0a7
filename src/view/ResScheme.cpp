#include "view/ResScheme.h"

#include <QBuffer>
#include <QFile>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

namespace {

struct ResourceName {
    const char* name;  // as the pages ask for it, compared without case
    const char* file;  // in the resource system
    const char* mimeType;
};

// Resource names match without regard to letter case: a page may ask for SOPRA.GIF or sopra.gif.
constexpr ResourceName kResources[] = {
    {"130", ":/page/130.html", "text/html"},
    {"103", ":/page/103.html", "text/html"},
    {"sopra.gif", ":/page/sopra.gif", "image/gif"},
    {"imgfolder.gif", ":/page/imgfolder.gif", "image/gif"},
    {"dbx.gif", ":/page/dbx.gif", "image/gif"},
    {"eml.gif", ":/page/eml.gif", "image/gif"},
    {"encoded.gif", ":/page/encoded.gif", "image/gif"},
    {"tondo.gif", ":/page/tondo.gif", "image/gif"},
};

} // namespace

void RegisterResScheme()
{
    // With the host syntax relative names resolve to res://quillory/<name>, and a click on the
    // relative go-up link reaches the navigation check like any other link.
    QWebEngineUrlScheme scheme(kResScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    scheme.setDefaultPort(QWebEngineUrlScheme::PortUnspecified);
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::LocalScheme |
                    QWebEngineUrlScheme::LocalAccessAllowed);
    QWebEngineUrlScheme::registerScheme(scheme);
}

QUrl ResourcePageUrl(int id)
{
    return QUrl(QStringLiteral("%1://%2/%3").arg(QLatin1String(kResScheme), QLatin1String(kResHost)).arg(id));
}

bool LoadResource(const QUrl& url, QByteArray& data, QByteArray& mimeType)
{
    if (url.scheme().compare(QLatin1String(kResScheme), Qt::CaseInsensitive) != 0 ||
        url.host().compare(QLatin1String(kResHost), Qt::CaseInsensitive) != 0)
        return false;
    QString name = url.path();
    if (name.startsWith(QLatin1Char('/')))
        name.remove(0, 1);
    for (const ResourceName& resource : kResources) {
        if (name.compare(QLatin1String(resource.name), Qt::CaseInsensitive) != 0)
            continue;
        QFile file(QString::fromLatin1(resource.file));
        if (!file.open(QIODevice::ReadOnly))
            return false;
        data = file.readAll();
        mimeType = resource.mimeType;
        return true;
    }
    return false;
}

CResSchemeHandler::CResSchemeHandler(QObject* parent, PageQuestionAnswerer answerer)
    : QWebEngineUrlSchemeHandler(parent), m_answerer(std::move(answerer))
{
}

void CResSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job)
{
    QByteArray data;
    QByteArray mimeType;
    const QUrl url = job->requestUrl();
    // Only pages of this profile can ask, and they are all ours: the request gate lets nothing
    // else load in them.
    if (m_answerer && job->requestMethod() == "GET" &&
        url.host().compare(QLatin1String(kResHost), Qt::CaseInsensitive) == 0 &&
        m_answerer(url.path().mid(1), url.query(QUrl::FullyEncoded).toLatin1(), data)) {
        auto* buffer = new QBuffer(job);
        buffer->setData(data);
        job->reply("application/json", buffer);
        return;
    }
    if (job->requestMethod() != "GET" || !LoadResource(url, data, mimeType)) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    auto* buffer = new QBuffer(job);
    buffer->setData(data);
    job->reply(mimeType, buffer);
}

CSchemeGate::CSchemeGate(QStringList allowed, QObject* parent)
    : QWebEngineUrlRequestInterceptor(parent), m_allowed(std::move(allowed))
{
}

void CSchemeGate::interceptRequest(QWebEngineUrlRequestInfo& info)
{
    if (m_allowed.contains(info.requestUrl().scheme(), Qt::CaseInsensitive))
        return;
    ++m_nBlocked;
    info.block(true);
}

QWebEngineProfile* CreateResProfile(CSchemeGate** ppGate, PageQuestionAnswerer answerer)
{
    // A profile without a storage name is off the record: no cache, cookies or history on disk.
    auto* profile = new QWebEngineProfile();
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    profile->setSpellCheckEnabled(false);
    profile->installUrlSchemeHandler(kResScheme, new CResSchemeHandler(profile, std::move(answerer)));
    auto* gate = new CSchemeGate({QString::fromLatin1(kResScheme)}, profile);
    profile->setUrlRequestInterceptor(gate);
    if (ppGate)
        *ppGate = gate;

    QWebEngineSettings* settings = profile->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
    settings->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
    settings->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    return profile;
}
