#pragma once
// The listing view: the program's one page in an embedded browser. It loads the skeleton, hands
// the listing to the page, which shows the rows near what is on screen and asks for them as it
// needs them, and turns clicks and keys into navigation of the listing. The decisions are the
// core's (NavigationCore, ListingPageCore, ListingRows); this class only connects them to the
// browser.

#include <QPointer>
#include <QTimer>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <string>

#include "core/Navigation.h"
#include "view/ListingRows.h"
#include "view/ScriptPageHostCore.h"

class CQuilloryApp;
class CSchemeGate;
class QKeyEvent;
class QPagedPaintDevice;
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
    // Hands the listing to the loaded page. While a load is under way it does nothing: the load's
    // completion fills the table anyway.
    int FillTable() override;

    // The next listing handed to the page selects its first row named name, and scrolls to it,
    // instead of the first row; a listing without such a row keeps the first. Used once.
    void SelectOnNextFill(std::string name) { m_strSelectOnFill = std::move(name); }

    void OnBeforeNavigate2(const std::string& strAddress, bool& bCancel);
    void OnDocumentComplete(const std::string& strAddress);

    // The keyboard: the arrows, Page Up and Down, Home and End move the selected row; Enter acts
    // as a click on its link; Ctrl+Enter and Space on a message ask to read it (readRequested),
    // and the menu key asks for the selected row's menu (rowMenuRequested); Backspace and Alt+Up
    // go up, as the arrow does; Escape is reported (escapePressed). True when the key was one of
    // these.
    bool HandleKey(const QKeyEvent& event);
    void MoveSelection(SelectionMove move);
    void ActivateSelection();
    // Acts on the entry of serial as a click on its row's link does.
    void ActivateEntry(std::int32_t nSerial);
    void GoUp();
    // The row under pos (in the view) is selected, and its menu asked for (rowMenuRequested).
    void RequestRowMenu(const QPoint& pos);

    // The find field has opened: what a find looks through is made ready before the first key.
    void BeginFind() { m_rows.PrepareFind(); }
    // Find: shows only the rows that contain text (see ListingRows::SetFilter); the empty text
    // shows every row again, scrolled and selected as before the find began. Returns the number
    // of rows shown.
    int SetFind(const QString& text);

    // Asks for a printer and prints every row of the listing (asking first when there are many).
    void Print();
    // Prints every row of the listing on device; returns the number of pages.
    int PrintListing(QPagedPaintDevice& device);

    [[nodiscard]] const ListingRows& Listing() const { return m_rows; }
    // How many rows a screen shows: what Page Up and Page Down move by.
    [[nodiscard]] int PageRows() const;

    // For tests and the frame's tests: run a script in the page and wait for its value (an invalid
    // QVariant after timeoutMs); count script dialogs the page asked for and requests refused.
    QVariant RunJavaScriptSync(const QString& script, int timeoutMs = 30000,
                               quint32 worldId = QWebEngineScript::ApplicationWorld);
    [[nodiscard]] int ScriptDialogCount() const;
    [[nodiscard]] int BlockedRequestCount() const;
    // Whether the loaded page has been probed and can be filled.
    [[nodiscard]] bool IsPageReady() const { return m_host.IsAttached(); }

signals:
    // A fill has been handed to the page, which now shows the first of its rows rows.
    void tableFilled(int rows);
    // A completed load has been probed and handed to the document-complete logic.
    void documentCompleted();
    // The page shows rows [first, first + count) of the listing as it stands.
    void rowsShown(int first, int count);
    // A new listing has replaced the one shown (a find on the old one is over).
    void listingReset();
    // What a find shows: shown rows of total.
    void findChanged(int shown, int total);
    void escapePressed();
    // The user asks for the menu of the entry of serial, at globalPos on the screen.
    void rowMenuRequested(int serial, const QPoint& globalPos);
    // The user asks to read the message of serial (Ctrl+Enter or Space on its row).
    void readRequested(int serial);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class CQuilloryPage;
    bool AcceptNavigation(const QUrl& url, bool isMainFrame);
    // Acts on a click or key as a click on the page does: once the current event is done.
    void DispatchLater(const std::string& address);
    void SelectLinkedRow(const std::string& address);
    // Reports the menu of the entry a page answer names ("http://quillory/SERIAL"), at pos.
    void ReportRowMenu(const QString& address, const QPoint& pos);
    // readRequested for the selected row, when it is a message. True when it is.
    bool ReadSelection();
    void OnLoadingChanged(const QWebEngineLoadingInfo& info);
    void Settle();
    void OnProbed(int generation, const QVariant& result);
    void RunPageScript(const std::string& script);
    // The page's questions: rows of the listing, and which rows it shows.
    bool AnswerPage(const QString& name, const QByteArray& query, QByteArray& data);
    void OnRowsShown(const RowsRequest& shown);
    void WatchKeys();

    CQuilloryApp& m_app;
    CSchemeGate* m_pGate = nullptr;
    QWebEngineProfile* m_pProfile = nullptr;
    CQuilloryPage* m_pPage = nullptr;
    ListingRows m_rows;
    ScriptPageHostCore m_host;
    int m_nGeneration = 0;             // bumped by every reload; tags the scripts meant for its page
    bool m_bAwaitingDocument = false;  // a reload's document has not been probed yet
    bool m_bProbing = false;
    int m_nFilledListing = 0;          // the listing generation of the last fill
    bool m_bFillReported = true;       // tableFilled has been sent for it
    std::string m_strSelectOnFill;     // the name the next fill selects
    QTimer m_settleTimer;
    QPointer<QObject> m_pKeySource;    // the widget whose keys the view watches
};

// The document of the single-document window. The listing lives in the application object, so
// the document holds nothing.
class CQuilloryDoc {
public:
    void OnNewDocument() {}
};

// What the user is told when the browser's page process ends under the listing.
[[nodiscard]] std::string RendererEndedText(std::int32_t nEntries);

// Listings longer than this ask before they are printed.
inline constexpr std::int32_t kPrintAskAbove = 5000;
// The question, for a listing of nEntries rows on nPages pages.
[[nodiscard]] std::string PrintQuestionText(std::int32_t nEntries, std::int32_t nPages);
