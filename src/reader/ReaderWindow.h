#pragma once
// A window that shows one message as a reader sees it: the decoded header lines, the text (HTML
// in a closed page, or plain text), what could not be read, and the attachments, which it saves.
// One per message, not modal. The message is read and parsed away from the window's thread, and
// attachments are saved there too, with progress and a Cancel; the window shows itself at once
// and fills in when the message is ready.
//
// The document is used by one thread at a time: the reading thread until it hands it over, then
// the window, which gives it to one saving thread at a time and, while it saves, does not touch
// it (the progress dialog keeps the window's input, and the page is served from copies).

#include <QFutureWatcher>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <memory>
#include <vector>

#include "mime/AttachmentSave.h"
#include "reader/ReaderLoad.h"

class CQuilloryApp;
class CSchemeGate;
class CReaderPage;
class IFolderChooser;
class MimeDocument;
class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressDialog;
class QPushButton;
class QStackedWidget;
class QTreeWidget;
class QWebEngineProfile;
class QWebEngineView;
struct ReaderPageContent;

class CReaderWindow : public QMainWindow {
    Q_OBJECT
public:
    // Starts reading the message. app gives the message boxes, the save dialog and the remembered
    // save directory; chooser asks for the directory of Save all.
    CReaderWindow(CQuilloryApp& app, IFolderChooser& chooser, ReaderRequest request, QWidget* parent = nullptr);
    ~CReaderWindow() override;

    enum class Body { Loading, Plain, Html, Source };
    // What the body shows now.
    [[nodiscard]] Body Showing() const;
    [[nodiscard]] bool IsReady() const { return m_pDocument != nullptr; }
    // The HTML page has finished loading (whether or not it could be shown).
    [[nodiscard]] bool IsHtmlLoaded() const { return m_bHtmlLoaded; }
    [[nodiscard]] const ReaderRequest& Request() const { return m_request; }

    // The value shown for a header line: "From", "To", "Cc", "Date" or "Subject".
    [[nodiscard]] QString HeaderValue(const QString& label) const;
    [[nodiscard]] QString NotesText() const;
    [[nodiscard]] QPlainTextEdit* PlainView() const { return m_pPlainView; }
    [[nodiscard]] QPlainTextEdit* SourceView() const { return m_pSourceView; }
    // The HTML view; null for a message without HTML.
    [[nodiscard]] QWebEngineView* HtmlView() const { return m_pHtmlView; }
    [[nodiscard]] QTreeWidget* AttachmentList() const { return m_pAttachmentList; }
    [[nodiscard]] int BlockedRequestCount() const;
    [[nodiscard]] bool IsSaving() const { return m_saveWatcher.isRunning(); }

    // The toolbar's commands.
    void ShowPlainText(bool bPlain);
    void SetMonospace(bool bMonospace);
    void ShowSource(bool bSource);
    // Saves attachment index to a file the user chooses.
    void SaveAttachment(int index);
    // Saves every attachment into a directory the user chooses, under numbered names where taken.
    void SaveAllAttachments();

signals:
    // The message is read and shown (or the window has said why it could not be, and closes).
    void messageShown();
    // The HTML page has finished loading.
    void htmlLoaded(bool ok);
    // A save has ended (saved, failed or cancelled) and its outcome has been told.
    void saveFinished();

private:
    struct SaveProgress {
        std::atomic<std::uint64_t> nWritten{0};  // bytes of the attachments done and under way
        std::atomic<bool> bCancel{false};
    };
    struct SaveJob {
        std::vector<std::size_t> indexes;  // all of them, for Save all
        bool bAll = false;
        std::string strTarget;             // the file (one) or the directory (all)
        ExistingFile existing = ExistingFile::Keep;
    };

    void createActions();
    void createWidgets();
    void OnLoaded(const std::shared_ptr<ReaderMessage>& message);
    void FillHeaders(const ReaderMessage& message);
    void FillAttachments();
    void ShowBody(Body body);
    void LoadHtml();
    // A link of the message: its menu, which copies it or opens it outside after asking.
    void OnLinkActivated(const QUrl& url);
    void AddLinkActions(QMenu& menu, const QUrl& url);
    void OpenLinkOutside(const QUrl& url);
    void ShowHtmlMenu(const QPoint& pos);
    void StartSave(SaveJob job);
    void OnSaveProgress();
    void OnSaved();

    CQuilloryApp& m_app;
    IFolderChooser& m_chooser;
    ReaderRequest m_request;
    std::shared_ptr<const MimeDocument> m_pDocument;
    std::shared_ptr<ReaderPageContent> m_pPageContent;
    QFutureWatcher<std::shared_ptr<ReaderMessage>> m_loadWatcher;
    Body m_body = Body::Loading;
    Body m_textBody = Body::Plain;  // what the text shows when the source is not shown
    bool m_bHtmlLoaded = false;

    QWidget* m_pHeaderArea = nullptr;
    std::vector<std::pair<QLabel*, QLabel*>> m_headerRows;  // label, value: From, To, Cc, Date, Subject
    QLabel* m_pNotes = nullptr;
    QStackedWidget* m_pBodyStack = nullptr;
    QLabel* m_pLoading = nullptr;
    QPlainTextEdit* m_pPlainView = nullptr;
    QPlainTextEdit* m_pSourceView = nullptr;
    QWebEngineView* m_pHtmlView = nullptr;
    CReaderPage* m_pPage = nullptr;
    QWebEngineProfile* m_pProfile = nullptr;
    CSchemeGate* m_pGate = nullptr;
    QWidget* m_pAttachmentBar = nullptr;
    QTreeWidget* m_pAttachmentList = nullptr;
    QPushButton* m_pSaveButton = nullptr;
    QPushButton* m_pSaveAllButton = nullptr;
    QAction* m_pPlainAction = nullptr;
    QAction* m_pMonospaceAction = nullptr;
    QAction* m_pSourceAction = nullptr;

    QFutureWatcher<std::shared_ptr<std::vector<SavedAttachment>>> m_saveWatcher;
    std::shared_ptr<SaveProgress> m_pSaveProgress;
    std::uint64_t m_nSaveTotal = 0;
    bool m_bSaveAll = false;
    QPointer<QProgressDialog> m_pProgressDialog;
    QTimer m_progressTimer;
};
