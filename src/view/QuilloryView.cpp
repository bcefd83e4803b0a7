#include "view/QuilloryView.h"

#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QMetaObject>
#include <QPrintDialog>
#include <QPrinter>
#include <QTimer>
#include <QVariantMap>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>
#include <QWebEngineScriptCollection>
#include <cstdio>

#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "view/ListingPageCore.h"
#include "view/ListingPrint.h"
#include "view/NavigationCore.h"
#include "view/ResScheme.h"

namespace {

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

// The page's own script, put into every load of the page before anything asks for it.
QWebEngineScript ListingScript()
{
    QWebEngineScript script;
    QFile file(QStringLiteral(":/page/listing.js"));
    if (file.open(QIODevice::ReadOnly))
        script.setSourceCode(QString::fromUtf8(file.readAll()));
    script.setName(QStringLiteral("quillory-listing"));
    script.setInjectionPoint(QWebEngineScript::DocumentReady);
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setRunsOnSubFrames(false);
    return script;
}

// The page's questions are answered only for the names it asks; the rest of res is resources.
constexpr const char* kRowsQuestion = "rows";
constexpr const char* kShownQuestion = "shown";

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
           " entries). Nothing on disk was changed; the listing comes back with the next reload (Open, a "
           "sort, a click elsewhere), and quillory-cli list and extract read every entry of it.";
}

std::string PrintQuestionText(std::int32_t nEntries, std::int32_t nPages)
{
    return "The listing has " + std::to_string(nEntries) + " entries, which take " + std::to_string(nPages) +
           " pages. Print them all?";
}

CQuilloryView::CQuilloryView(CQuilloryApp& app, QWidget* parent)
    : QWebEngineView(parent),
      m_app(app),
      m_host([this](std::string script) { RunPageScript(script); }, m_rows)
{
    m_pProfile = CreateResProfile(&m_pGate, [this](const QString& name, const QByteArray& query, QByteArray& data) {
        return AnswerPage(name, query, data);
    });
    m_pPage = new CQuilloryPage(m_pProfile, this);
    m_pPage->scripts().insert(ListingScript());
    setPage(m_pPage);
    // The browser's own menu offers back, forward and reload, none of which means anything here;
    // a row has a menu of its own.
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &CQuilloryView::RequestRowMenu);
    connect(m_pPage, &QWebEnginePage::loadingChanged, this, &CQuilloryView::OnLoadingChanged);
    m_settleTimer.setInterval(kSettleIntervalMs);
    connect(&m_settleTimer, &QTimer::timeout, this, &CQuilloryView::Settle);
    // The listing then stays empty until the next reload (Open, a sort, a click elsewhere) brings
    // a fresh page.
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
    // The old page's rows are gone with it; anything still queued for it must not reach the new
    // one. The listing is let go of here, before the rebuild that follows the load can delete
    // its entries.
    m_host.Detach();
    m_rows.Clear();
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
    const std::int32_t before = m_rows.Generation();
    FillListingTable(m_app, m_host);
    if (m_rows.Generation() != before) {
        m_nFilledListing = m_rows.Generation();
        m_bFillReported = false;
        if (!m_strSelectOnFill.empty()) {
            // After the fill's own script, which shows the listing from its top.
            const std::int32_t row = m_rows.RowNamed(m_strSelectOnFill);
            m_strSelectOnFill.clear();
            if (row >= 0) {
                m_rows.Select(row);
                RunPageScript(ScriptPageHostCore::SelectScript(m_host.Generation(), m_rows));
            }
        }
        emit listingReset();
    }
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
        // The page's questions are data, never a page to show.
        const QString name = url.path().mid(1);
        if (name == QLatin1String(kRowsQuestion) || name == QLatin1String(kShownQuestion))
            return false;
        bool bCancel = false;
        OnBeforeNavigate2(address, bCancel);
        return !bCancel;
    }
    // The navigation itself never goes on: a row link names no real place, and a link to an entry
    // that no longer exists must not take the listing away.
    DispatchLater(address);
    return false;
}

void CQuilloryView::DispatchLater(const std::string& address)
{
    // Acting on a click can reload the page or open a modal save dialog; neither may happen inside
    // the browser's navigation check or a key press, so it is done once that has returned.
    QPointer<CQuilloryView> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, address] {
            if (!self)
                return;
            self->SelectLinkedRow(address);
            bool bCancel = false;
            self->OnBeforeNavigate2(address, bCancel);
        },
        Qt::QueuedConnection);
}

void CQuilloryView::SelectLinkedRow(const std::string& address)
{
    // A click on a row's link selects the row, as the keyboard would have.
    if (!m_app.m_bPageReady || m_rows.Count() == 0 || LastSegment(address) == kGoUpSegment)
        return;
    const std::int32_t row = m_rows.RowOf(m_app.FindEntry(ReadSerial(LastSegment(address))));
    if (row < 0 || row == m_rows.Selected())
        return;
    m_rows.Select(row);
    RunPageScript(ScriptPageHostCore::SelectScript(m_host.Generation(), m_rows));
}

bool CQuilloryView::HandleKey(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    const bool bPlain = modifiers == Qt::NoModifier;
    // Home and End go to the ends with Ctrl as well, as they do in a document.
    const bool bPlainOrCtrl = bPlain || modifiers == Qt::ControlModifier;
    auto move = [this](SelectionMove to) {
        MoveSelection(to);
        return true;
    };
    switch (event.key()) {
    case Qt::Key_Up:
        if (modifiers == Qt::AltModifier) {
            GoUp();
            return true;
        }
        return bPlain && move(SelectionMove::Up);
    case Qt::Key_Down: return bPlain && move(SelectionMove::Down);
    case Qt::Key_PageUp: return bPlain && move(SelectionMove::PageUp);
    case Qt::Key_PageDown: return bPlain && move(SelectionMove::PageDown);
    case Qt::Key_Home: return bPlainOrCtrl && move(SelectionMove::Home);
    case Qt::Key_End: return bPlainOrCtrl && move(SelectionMove::End);
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (modifiers == Qt::ControlModifier) {
            ReadSelection();
            return true;
        }
        if (!bPlain)
            return false;
        ActivateSelection();
        return true;
    case Qt::Key_Space:
        // On any other row the page scrolls, as it would.
        return bPlain && ReadSelection();
    case Qt::Key_Menu:
        if (!bPlain)
            return false;
        RequestRowMenu(QPoint());
        return true;
    case Qt::Key_Backspace:
        if (!bPlain)
            return false;
        GoUp();
        return true;
    case Qt::Key_Escape:
        emit escapePressed();
        return true;
    default:
        return false;
    }
}

void CQuilloryView::MoveSelection(SelectionMove move)
{
    if (!m_host.IsAttached())
        return;
    m_rows.Move(move, PageRows());
    RunPageScript(ScriptPageHostCore::SelectScript(m_host.Generation(), m_rows));
}

void CQuilloryView::ActivateSelection()
{
    if (const listaf* entry = m_rows.At(m_rows.Selected()))
        ActivateEntry(entry->m_nSerial);
}

void CQuilloryView::ActivateEntry(std::int32_t nSerial)
{
    if (!m_host.IsAttached())
        return;
    DispatchLater("http://" + std::string(kRowLinkHost) + "/" + std::to_string(nSerial));
}

bool CQuilloryView::ReadSelection()
{
    const listaf* entry = m_rows.At(m_rows.Selected());
    if (!entry || !m_host.IsAttached() || !m_app.m_bPageReady ||
        (entry->m_nKind != KIND_FOLDER_MESSAGE && entry->m_nKind != KIND_MESSAGE_FILE))
        return false;
    // Like a click, acted on once the key press is done: the reader may ask questions.
    QPointer<CQuilloryView> self(this);
    const int serial = entry->m_nSerial;
    QMetaObject::invokeMethod(
        this, [self, serial] { if (self) emit self->readRequested(serial); }, Qt::QueuedConnection);
    return true;
}

void CQuilloryView::RequestRowMenu(const QPoint& pos)
{
    if (!m_host.IsAttached() || !m_app.m_bPageReady)
        return;
    // The page knows which row is under the pointer; its link names the entry. A null pos asks
    // for the selected row's menu, shown at the row's lower left corner.
    const double zoom = zoomFactor() > 0 ? zoomFactor() : 1.0;
    const QString script = pos.isNull()
        ? QStringLiteral("(function() { var tr = document.querySelector('#puntozero tr[aria-selected]');"
                         " var a = tr && tr.querySelector('a'); if (!a) return null;"
                         " var r = tr.getBoundingClientRect();"
                         " return [a.getAttribute('href'), r.left + 50, r.bottom]; })()")
        : QStringLiteral("(function(x, y) { var e = document.elementFromPoint(x, y);"
                         " var tr = e && e.closest ? e.closest('#puntozero tr') : null;"
                         " var a = tr && tr.querySelector('a'); return a ? [a.getAttribute('href'), x, y] : null;"
                         " })(%1, %2)")
              .arg(pos.x() / zoom)
              .arg(pos.y() / zoom);
    QPointer<CQuilloryView> self(this);
    const std::int32_t generation = m_rows.Generation();
    m_pPage->runJavaScript(script, QWebEngineScript::ApplicationWorld, [self, generation, zoom](const QVariant& result) {
        const QVariantList found = result.toList();
        if (!self || found.size() != 3 || generation != self->m_rows.Generation())
            return;
        const QPoint at(static_cast<int>(found[1].toDouble() * zoom), static_cast<int>(found[2].toDouble() * zoom));
        const QString address = found[0].toString();
        // The menu runs a loop of its own: not inside the browser's answer.
        QMetaObject::invokeMethod(
            self, [self, address, at] { if (self) self->ReportRowMenu(address, at); }, Qt::QueuedConnection);
    });
}

void CQuilloryView::ReportRowMenu(const QString& address, const QPoint& pos)
{
    const std::string link = address.toStdString();
    const listaf* entry = m_app.m_bPageReady ? m_app.FindEntry(ReadSerial(LastSegment(link))) : nullptr;
    if (!entry || m_rows.RowOf(entry) < 0)
        return;
    SelectLinkedRow(link);
    emit rowMenuRequested(entry->m_nSerial, mapToGlobal(pos));
}

void CQuilloryView::GoUp()
{
    DispatchLater(ResourcePageUrl(kListingPageId).resolved(QUrl(QString::fromLatin1(kGoUpSegment.data(),
                                                                                    kGoUpSegment.size())))
                      .toEncoded()
                      .toStdString());
}

int CQuilloryView::PageRows() const
{
    // The page is scrolled a screen at a time less a row, so that the row at the edge stays seen.
    return std::max(1, height() / kListingRowHeight - 1);
}

int CQuilloryView::SetFind(const QString& text)
{
    if (!m_host.IsAttached())
        return 0;
    // The page shows byte b as the character U+00b; a character beyond those is in no row. Decoded
    // header cells hold UTF-8, and are looked through as such.
    bool bMatchable = true;
    std::string bytes;
    if (m_app.m_bDecodedHeaders) {
        bytes = text.toStdString();
    } else {
        bytes.reserve(static_cast<std::size_t>(text.size()));
        for (QChar c : text) {
            if (c.unicode() > 0xFF)
                bMatchable = false;
            bytes += static_cast<char>(c.unicode() & 0xFF);
        }
    }
    const bool bWasFiltered = m_rows.IsFiltered();
    const std::int32_t before = m_rows.Generation();
    if (!bWasFiltered && !text.isEmpty())
        RunPageScript(ScriptPageHostCore::RememberScrollScript(m_host.Generation()));
    m_rows.SetFilter(bytes, bMatchable);
    if (m_rows.Generation() != before) {
        const ScrollTo scroll = m_rows.IsFiltered() ? ScrollTo::Top : ScrollTo::Restore;
        RunPageScript(ScriptPageHostCore::ShowScript(m_host.Generation(), m_rows, scroll));
    }
    emit findChanged(m_rows.Count(), m_rows.Total());
    return m_rows.Count();
}

bool CQuilloryView::AnswerPage(const QString& name, const QByteArray& query, QByteArray& data)
{
    const std::string_view text(query.constData(), static_cast<std::size_t>(query.size()));
    if (name == QLatin1String(kRowsQuestion)) {
        data = QByteArray::fromStdString(m_rows.AnswerRowsQuery(text));
        return true;
    }
    if (name == QLatin1String(kShownQuestion)) {
        data = "[]";
        if (const std::optional<RowsRequest> shown = ParseRowsRequest(text)) {
            // Told once the browser has handed the answer over, outside its request handling.
            QPointer<CQuilloryView> self(this);
            const RowsRequest copy = *shown;
            QMetaObject::invokeMethod(
                this, [self, copy] { if (self) self->OnRowsShown(copy); }, Qt::QueuedConnection);
        }
        return true;
    }
    return false;
}

void CQuilloryView::OnRowsShown(const RowsRequest& shown)
{
    if (shown.generation != m_rows.Generation())
        return;  // the page spoke of a listing it no longer shows
    WatchKeys();
    emit rowsShown(shown.from, shown.count);
    if (!m_bFillReported && shown.generation == m_nFilledListing) {
        m_bFillReported = true;
        emit tableFilled(m_rows.Count());
    }
}

void CQuilloryView::WatchKeys()
{
    // The browser's widget that takes the keys comes with the page's first paint, and again when
    // a renderer is replaced.
    QWidget* source = focusProxy();
    if (!source || source == m_pKeySource)
        return;
    if (m_pKeySource)
        m_pKeySource->removeEventFilter(this);
    source->installEventFilter(this);
    m_pKeySource = source;
}

bool CQuilloryView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pKeySource && event->type() == QEvent::KeyPress &&
        HandleKey(*static_cast<QKeyEvent*>(event)))
        return true;
    return QWebEngineView::eventFilter(watched, event);
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

void CQuilloryView::RunPageScript(const std::string& script)
{
    // Each script checks that it is meant for the page it finds, and one that comes after its page
    // has gone does nothing; there is no answer to wait for.
    m_pPage->runJavaScript(QString::fromLatin1(script.data(), static_cast<qsizetype>(script.size())),
                           QWebEngineScript::ApplicationWorld);
}

void CQuilloryView::Print()
{
    // The page holds only the rows near the screen, so the listing is printed from the program's
    // rows, every one of them, whatever a find shows.
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const auto entries = static_cast<std::int32_t>(m_rows.All().size());
    if (entries > kPrintAskAbove &&
        m_app.ShowMessage(PrintQuestionText(entries, ListingPrintPages(printer, entries)), MB_YESNO) != IDYES)
        return;
    PrintListing(printer);
}

int CQuilloryView::PrintListing(QPagedPaintDevice& device)
{
    return PrintListingRows(device, m_app.m_strCurrentDir, m_rows.All());
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
