#include "view/HtmlDialogView.h"

#include <QWebEngineProfile>

#include "view/ResScheme.h"

namespace {

// The page's buttons go to these names, relative to the page.
constexpr const char* kAcceptSegment = "dialog-ok";
constexpr const char* kRejectSegment = "dialog-cancel";

} // namespace

CHtmlDialogPage::CHtmlDialogPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {}

bool CHtmlDialogPage::acceptNavigationRequest(const QUrl& url, NavigationType /*type*/, bool isMainFrame)
{
    if (url.scheme().compare(QLatin1String(kResScheme), Qt::CaseInsensitive) != 0)
        return false;
    const QString name = url.path().section(QLatin1Char('/'), -1);
    if (name == QLatin1String(kAcceptSegment) || name == QLatin1String(kRejectSegment)) {
        emit finished(name == QLatin1String(kAcceptSegment));
        return false;
    }
    return isMainFrame && url == ResourcePageUrl(kDialogPageId);
}

CHtmlDialogView::CHtmlDialogView(QWidget* parent)
    : QWebEngineView(parent), m_pProfile(CreateResProfile()), m_pPage(new CHtmlDialogPage(m_pProfile, nullptr))
{
    setPage(m_pPage);
    setContextMenuPolicy(Qt::NoContextMenu);
    connect(m_pPage, &CHtmlDialogPage::finished, this, &CHtmlDialogView::finished);
    m_pPage->load(ResourcePageUrl(kDialogPageId));
}

CHtmlDialogView::~CHtmlDialogView()
{
    delete m_pPage;
    delete m_pProfile;
}
