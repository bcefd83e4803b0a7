#include "view/QuilloryView.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QPrintDialog>
#include <QPrinter>
#include <QTimer>
#include <QVariantMap>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>
#include <cstdio>

#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "view/ListingPageCore.h"
#include "view/NavigationCore.h"
#include "view/ResScheme.h"

namespace {

// Large enough that a table of 100,000 rows goes over in a few dozen page calls, small enough
// that no single script holds the page for long.
constexpr std::size_t kScriptBatchBytes = 4u << 20;

// Rows laid out when a fill ends, and again each time the reader scrolls near the end of what is
// shown: a few screenfuls, quick to lay out, so that a folder of any size is shown at once.
constexpr int kRevealRows = 1000;

// How often a reload still waiting for its document asks the page again.
constexpr int kSettleIntervalMs = 20;

std::map<std::string, std::string, std::less<>> TagsFrom(const QVariant& value)
{
    std::map<std::string, std::string, std::less<>> tags;
    const QVariantMap map = value.toMap();
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        tags.emplace(it.key().toStdString(), it.value().toString().toUpper().toStdString());
    return tags;
}

} // namespace

CQuilloryPage::CQuilloryPage(QWebEngineProfile* profile, CQuilloryView* view)
    : QWebEnginePage(profile, nullptr), m_pView(view)
{
}

bool CQuilloryPage::acceptNavigationRequest(const QUrl& url, NavigationType /*type*/, bool isMainFrame)
{
    return m_pView->AcceptNavigation(url, isMainFrame);
}

// Stored mail must not be able to put up dialogs; the listing itself never asks for one.
void CQuilloryPage::javaScriptAlert(const QUrl&, const QString&) { ++m_nScriptDialogs; }

bool CQuilloryPage::javaScriptConfirm(const QUrl&, const QString&)
{
    ++m_nScriptDialogs;
    return false;
}

bool CQuilloryPage::javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*)
{
    ++m_nScriptDialogs;
    return false;
}

void CQuilloryPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                             int lineNumber, const QString& sourceID)
{
    // The page runs only our own scripts; an error there, or a refused load, is worth a line.
    if (level == ErrorMessageLevel)
        std::fprintf(stderr, "quillory: listing page: %s (%s:%d)\n", qPrintable(message), qPrintable(sourceID),
                     lineNumber);
}

std::string RendererEndedText(std::int32_t nEntries)
{
    return "The listing page stopped before it could show this place (" + std::to_string(nEntries) +
           " entries): there were more rows than the embedded browser could hold. Nothing on disk was "
           "changed; quillory-cli list and extract read every entry of it.";
}

CQuilloryView::CQuilloryView(CQuilloryApp& app, QWidget* parent)
    : QWebEngineView(parent),
      m_app(app),
      m_host([this](std::string script, bool bFinal) { RunPageScript(std::move(script), bFinal); },
             kScriptBatchBytes),
      m_nRevealRows(kRevealRows)
{
    m_pProfile = CreateResProfile(&m_pGate);
    m_pPage = new CQuilloryPage(m_pProfile, this);
    setPage(m_pPage);
    // The browser's own menu offers back, forward and reload, none of which means anything here.
    setContextMenuPolicy(Qt::NoContextMenu);
    connect(m_pPage, &QWebEnginePage::loadingChanged, this, &CQuilloryView::OnLoadingChanged);
    m_settleTimer.setInterval(kSettleIntervalMs);
    connect(&m_settleTimer, &QTimer::timeout, this, &CQuilloryView::Settle);
    connect(this, &QWebEngineView::printFinished, this, [this](bool) { m_pPrinter.reset(); });
    // A page that outgrows the browser's memory takes its renderer down with it. The listing then
    // stays empty until the next reload (Open, a sort, a click elsewhere) brings a fresh one.
    connect(m_pPage, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status, int code) {
                if (status == QWebEnginePage::NormalTerminationStatus)
                    return;
                std::fprintf(stderr, "quillory: the listing page's renderer ended (status %d, code %d)\n",
                             static_cast<int>(status), code);
                m_host.Detach();
                m_bAwaitingDocument = false;
                m_bProbing = false;
                m_settleTimer.stop();
                // Told after the signal has returned: a modal box inside it would nest the loop
                // in the browser's own notification.
                const std::int32_t entries = listax::Count(&m_app.m_pEntries);
                QTimer::singleShot(0, this, [this, entries] {
                    m_app.ShowMessage(RendererEndedText(entries));
                });
            });
    OnInitialUpdate();
}

CQuilloryView::~CQuilloryView()
{
    if (m_app.m_pView == this)
        m_app.m_pView = nullptr;
    // A page must go before its profile.
    delete m_pPage;
    m_pPage = nullptr;
    delete m_pProfile;
}

void CQuilloryView::OnInitialUpdate()
{
    m_app.m_pView = this;
    ReloadPage();
}

void CQuilloryView::ReloadPage()
{
    // The old page's rows are gone with it; anything still queued for it must not reach the new one.
    m_host.Detach();
    ++m_nGeneration;
    m_bAwaitingDocument = true;
    m_pPage->load(ResourcePageUrl(kListingPageId));
    m_settleTimer.start();
}

int CQuilloryView::CheckPage()
{
    // Before the loaded page has been probed there is no document to check.
    if (!m_host.IsAttached())
        return 0;
    return CheckListingPage(m_app, m_host);
}

int CQuilloryView::FillTable()
{
    if (!m_host.IsAttached())
        return 0;
    FillListingTable(m_app, m_host);
    return 0;
}

void CQuilloryView::OnBeforeNavigate2(const std::string& strAddress, bool& bCancel)
{
    HandleBeforeNavigate(m_app, strAddress, bCancel);
}

void CQuilloryView::OnDocumentComplete(const std::string& strAddress)
{
    HandleDocumentComplete(m_app, strAddress);
}

bool CQuilloryView::AcceptNavigation(const QUrl& url, bool isMainFrame)
{
    const bool bResource = url.scheme().compare(QLatin1String(kResScheme), Qt::CaseInsensitive) == 0;
    if (!isMainFrame)
        return bResource;
    const std::string address = url.toEncoded().toStdString();
    if (bResource && LastSegment(address) != kGoUpSegment) {
        bool bCancel = false;
        OnBeforeNavigate2(address, bCancel);
        return !bCancel;
    }
    // Acting on a click can reload the page or open a modal save dialog; neither may happen inside
    // the browser's navigation check, so the click is handled once the check has returned. The
    // navigation itself never goes on: a row link names no real place, and a link to an entry that
    // no longer exists must not take the listing away.
    QPointer<CQuilloryView> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, address] {
            if (!self)
                return;
            bool bCancel = false;
            self->OnBeforeNavigate2(address, bCancel);
        },
        Qt::QueuedConnection);
    return false;
}

void CQuilloryView::OnLoadingChanged(const QWebEngineLoadingInfo& info)
{
    // The browser's load events cannot be taken at their word: a refused click also starts a
    // "load", and when one is refused while the skeleton reloads, the skeleton's completion may be
    // reported as the other's abort, or not at all. They only hasten the look at the page; what
    // counts is what the page itself holds.
    if (info.status() != QWebEngineLoadingInfo::LoadStartedStatus)
        Settle();
}

void CQuilloryView::Settle()
{
    if (!m_bAwaitingDocument) {
        m_settleTimer.stop();
        return;
    }
    if (m_bProbing)
        return;
    m_bProbing = true;
    const int generation = m_nGeneration;
    QPointer<CQuilloryView> self(this);
    m_pPage->runJavaScript(QString::fromLatin1(ScriptPageHostCore::ProbeScript(generation)),
                           QWebEngineScript::ApplicationWorld, [self, generation](const QVariant& result) {
                               if (!self)
                                   return;
                               self->m_bProbing = false;
                               self->OnProbed(generation, result);
                           });
}

void CQuilloryView::OnProbed(int generation, const QVariant& result)
{
    const QVariantMap map = result.toMap();
    if (generation != m_nGeneration || !m_bAwaitingDocument || map.isEmpty() ||
        map.value(QStringLiteral("wait")).toBool())
        return;  // asked again on the next tick or load event
    m_bAwaitingDocument = false;
    m_settleTimer.stop();
    PageProbe probe;
    probe.bDocument = map.value(QStringLiteral("doc")).toBool();
    probe.bBody = map.value(QStringLiteral("body")).toBool();
    probe.ids = TagsFrom(map.value(QStringLiteral("ids")));
    probe.bodyChildren = TagsFrom(map.value(QStringLiteral("kids")));
    m_host.Attach(generation, std::move(probe));
    OnDocumentComplete(m_pPage->url().toEncoded().toStdString());
    emit documentCompleted();
}

void CQuilloryView::RunPageScript(std::string script, bool bFinal)
{
    const int generation = m_nGeneration;
    QPointer<CQuilloryView> self(this);
    m_pPage->runJavaScript(QString::fromLatin1(script.data(), static_cast<qsizetype>(script.size())),
                           QWebEngineScript::ApplicationWorld, [self, generation, bFinal](const QVariant& result) {
                               if (!result.isValid()) {
                                   std::fprintf(stderr, "quillory: a change to the listing page failed\n");
                                   return;
                               }
                               if (bFinal && self && generation == self->m_nGeneration && result.toInt() >= 0)
                                   self->RevealRows(generation, result.toInt());
                           });
}

void CQuilloryView::RevealRows(int generation, int rows)
{
    QPointer<CQuilloryView> self(this);
    m_pPage->runJavaScript(QString::fromLatin1(ScriptPageHostCore::RevealScript(generation, m_nRevealRows)),
                           QWebEngineScript::ApplicationWorld, [self, generation, rows](const QVariant& result) {
                               if (!self || generation != self->m_nGeneration)
                                   return;
                               if (!result.isValid()) {
                                   std::fprintf(stderr, "quillory: a change to the listing page failed\n");
                                   return;
                               }
                               // Every row is in the page now; those still hidden are shown as the
                               // reader scrolls to them.
                               if (result.toInt() >= 0)
                                   emit self->tableFilled(rows);
                           });
}

void CQuilloryView::Print()
{
    if (m_pPrinter)
        return;  // the last print job is still going
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    QPrintDialog dialog(printer.get(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // Printing is asynchronous; the printer must live until it has finished.
    m_pPrinter = std::move(printer);
    print(m_pPrinter.get());
}

QVariant CQuilloryView::RunJavaScriptSync(const QString& script, int timeoutMs, quint32 worldId)
{
    struct Wait {
        QEventLoop loop;
        QVariant value;
        bool bDone = false;
    };
    auto wait = std::make_shared<Wait>();
    m_pPage->runJavaScript(script, worldId, [wait](const QVariant& value) {
        wait->value = value;
        wait->bDone = true;
        wait->loop.quit();
    });
    if (!wait->bDone) {
        QTimer::singleShot(timeoutMs, &wait->loop, &QEventLoop::quit);
        wait->loop.exec();
    }
    return wait->value;
}

int CQuilloryView::ScriptDialogCount() const { return m_pPage->ScriptDialogCount(); }

int CQuilloryView::BlockedRequestCount() const { return m_pGate ? m_pGate->BlockedCount() : 0; }
