#pragma once
// The reader's HTML view and the walls around it. A message's HTML is a stranger's page: it must
// not run anything, fetch anything (a remote picture tells its sender that the mail was read, and
// when), read a local file, or take the view elsewhere. So the page has a profile of its own whose
// request gate lets through only the cid: scheme, which this program serves from the message's
// own parts, and whose page accepts no navigation but the load of the message itself; a link
// clicked is handed to the window, which asks before anything leaves the program.

#include <QByteArray>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineUrlSchemeHandler>
#include <memory>

#include "reader/ReaderLoad.h"
#include "view/ResScheme.h"

class QWebEngineProfile;

inline constexpr const char* kCidScheme = "cid";
// Where the page loads the message's HTML from: a cid: address under a name no part is looked up
// by, so that the document and the parts share one scheme and one handler.
inline constexpr const char* kReaderDocumentUrl = "cid:quillory-message-text";

// Registers the cid scheme with the browser. Must run before the QApplication is created.
void RegisterReaderScheme();

// What the reader's page may be served: the document and the message's inline parts.
struct ReaderPageContent {
    QByteArray document;  // ReaderHtmlDocument of the HTML text
    std::map<std::string, InlinePart, std::less<>> parts;  // by Content-ID
};

// Serves the document at kReaderDocumentUrl and each part at cid:CONTENT-ID; everything else
// fails as not found.
class CCidSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    CCidSchemeHandler(std::shared_ptr<const ReaderPageContent> content, QObject* parent);
    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    std::shared_ptr<const ReaderPageContent> m_pContent;
};

// The page: the one navigation it takes is LoadDocument's; links clicked are reported.
class CReaderPage : public QWebEnginePage {
    Q_OBJECT
public:
    CReaderPage(QWebEngineProfile* profile, QObject* parent);
    // Loads the message's document (kReaderDocumentUrl).
    void LoadDocument();

signals:
    // A link of the message was clicked (or asked to open a window); nothing was opened.
    void linkActivated(const QUrl& url);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int lineNumber,
                                  const QString& sourceID) override;

private:
    bool m_bDocumentExpected = false;
};

// A profile that keeps nothing on disk, serves content through the cid scheme, blocks every other
// request (through the gate returned in ppGate), cancels downloads, and runs no script, plugin or
// prefetch. parent owns it; it must outlive every page made with it.
[[nodiscard]] QWebEngineProfile* CreateReaderProfile(std::shared_ptr<const ReaderPageContent> content,
                                                     QObject* parent, CSchemeGate** ppGate = nullptr);
