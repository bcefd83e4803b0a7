#pragma once
// The listing view: the program's one page in an embedded browser. It loads the skeleton, fills
// the table from the entry list and turns clicks on the page into navigation of the listing. The
// decisions are the core's (NavigationCore, ListingPageCore); this class only connects them to
// the browser.

#include <QPointer>
#include <QTimer>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <memory>
#include <string>

#include "core/Navigation.h"
#include "view/ScriptPageHostCore.h"

class CQuilloryApp;
class CRequestGate;
class QPrinter;
class QWebEngineLoadingInfo;
class QWebEngineProfile;
class CQuilloryView;

// The listing page: navigation requests go to the view; script dialogs are never shown.
class CQuilloryPage : public QWebEnginePage {
    Q_OBJECT
public:
    CQuilloryPage(QWebEngineProfile* profile, CQuilloryView* view);
    [[nodiscard]] int ScriptDialogCount() const { return m_nScriptDialogs; }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    void javaScriptAlert(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptPrompt(const QUrl& securityOrigin, const QString& msg, const QString& defaultValue,
                          QString* result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int lineNumber, const QString& sourceID) override;

private:
    CQuilloryView* m_pView;
    int m_nScriptDialogs = 0;
};

class CQuilloryView : public QWebEngineView, public IListingView {
    Q_OBJECT
public:
    // Records itself in app.m_pView and starts loading the skeleton.
    CQuilloryView(CQuilloryApp& app, QWidget* parent = nullptr);
    ~CQuilloryView() override;

    // Runs again when the listing starts afresh: the page reloads and is refilled.
    void OnInitialUpdate();

    // IListingView. ReloadPage returns at once; the refill follows the completed load.
    void ReloadPage() override;
    int CheckPage() override;
    // Fills the table of the loaded page. While a load is under way it does nothing: the load's
    // completion fills the table anyway.
    int FillTable() override;

    void OnBeforeNavigate2(const std::string& strAddress, bool& bCancel);
    void OnDocumentComplete(const std::string& strAddress);

    // Asks for a printer and prints the page.
    void Print();

    // For tests and the frame's tests: run a script in the page and wait for its value (an invalid
    // QVariant after timeoutMs); count script dialogs the page asked for and requests refused.
    QVariant RunJavaScriptSync(const QString& script, int timeoutMs = 30000,
                               quint32 worldId = QWebEngineScript::ApplicationWorld);
    [[nodiscard]] int ScriptDialogCount() const;
    [[nodiscard]] int BlockedRequestCount() const;
    // How many rows each of the steps that end a fill shows (tests make it small to take several).
    void SetRevealRows(int rows) { m_nRevealRows = rows > 0 ? rows : 1; }
    // Whether the loaded page has been probed and can be filled.
    [[nodiscard]] bool IsPageReady() const { return m_host.IsAttached(); }

signals:
    // The table of the loaded page has been filled and holds rows rows; its first rows are shown
    // and laid out, the rest follow as the reader scrolls to them.
    void tableFilled(int rows);
    // A completed load has been probed and handed to the document-complete logic.
    void documentCompleted();

private:
    friend class CQuilloryPage;
    bool AcceptNavigation(const QUrl& url, bool isMainFrame);
    void OnLoadingChanged(const QWebEngineLoadingInfo& info);
    void Settle();
    void OnProbed(int generation, const QVariant& result);
    void RunPageScript(std::string script, bool bFinal);
    // Shows the rows a fill has left hidden, a slice per script, then reports the fill.
    void RevealRows(int generation, int rows);

    CQuilloryApp& m_app;
    CRequestGate* m_pGate = nullptr;
    QWebEngineProfile* m_pProfile = nullptr;
    CQuilloryPage* m_pPage = nullptr;
    ScriptPageHostCore m_host;
    int m_nGeneration = 0;             // bumped by every reload; tags the scripts meant for its page
    bool m_bAwaitingDocument = false;  // a reload's document has not been probed yet
    bool m_bProbing = false;
    int m_nRevealRows;
    QTimer m_settleTimer;
    std::unique_ptr<QPrinter> m_pPrinter;
};

// The document of the single-document window. The listing lives in the application object, so
// the document holds nothing.
class CQuilloryDoc {
public:
    void OnNewDocument() {}
};

// What the user is told when the browser's page process ends under a listing too large for it.
[[nodiscard]] std::string RendererEndedText(std::int32_t nEntries);
