#pragma once
// The one top-level window: menu bar, the toolbar and the credit bar, the listing view in the
// middle and the status bar with its four panes. It owns the commands that change what is listed
// and the navigate-to-folder step of every navigation.
//
// Every menu item, toolbar button and accelerator goes through OnCommand; OnUpdateCommand tells
// any menu whether an item is enabled and checked. An owner-drawn menu can therefore replace the
// plain one and still send the same ids to the same place.

#include <QElapsedTimer>
#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "app/ExportDialogs.h"
#include "app/ExportJob.h"
#include "core/Navigation.h"
#include "menu/OwnerDrawMenu.h"
#include "platform/Seams.h"

class CQuilloryApp;
class CQuilloryView;
class CReaderWindow;
class IFolderChooser;
class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QToolBar;
class listaf;

// Whoever handles the commands the frame leaves alone (About, New, Exit): the application.
class ICommandTarget {
public:
    virtual ~ICommandTarget() = default;
    // True when the command was handled.
    virtual bool OnCommand(int nID) = 0;
};

// What a menu or toolbar shows for one command.
struct CommandState {
    bool bEnabled = true;
    bool bCheckable = false;
    bool bChecked = false;
};

class CMainFrame : public QMainWindow, public IMainFrame, public IStatusOutput {
    Q_OBJECT
public:
    // Builds the bars and the view. pAppCommands may be null (nothing beyond the frame's commands).
    CMainFrame(CQuilloryApp& app, IFolderChooser& chooser, ICommandTarget* pAppCommands);
    ~CMainFrame() override;

    // The dispatcher of every command id; true when something handled it.
    bool OnCommand(int nID);
    [[nodiscard]] CommandState OnUpdateCommand(int nID) const;

    // Asks for a base directory. True when one was chosen (it is then in m_strCurrentDir); false
    // on cancel, leaving m_strCurrentDir alone. The argument is not used.
    bool ChooseBaseFolder(const std::string& strUnused);

    // IMainFrame: settles the place to list, asks for a new base when bAsk, marks the rebuild and
    // reloads the page. Returns before the rebuild runs.
    void GoToFolder(bool bAsk) override;

    // Lists the mail-folder file that m_strCurrentDir names, as a click on it does. Returns before
    // the rebuild runs.
    void ListMailFolderFile();

    // IStatusOutput: "label n" in the message pane, painted before the call returns (at most a few
    // dozen times a second; the last text given is always the one left showing).
    void SetProgressText(std::string_view label, std::int32_t n) override;

    // Brings the counter pane up to m_nItemCount ("%05ld"), widening it to fit. Runs whenever the
    // event loop goes idle.
    void OnUpdateItemCount();

    // The kind of the place listed (KIND_DIRECTORY or KIND_MAIL_FOLDER); the entry that named it
    // does not outlive the rebuild, so the frame keeps this itself.
    [[nodiscard]] std::int32_t ListedKind() const { return m_nListedKind; }

    // Parts, for the menu that replaces the plain one and for tests.
    [[nodiscard]] CQuilloryView* View() const { return m_pView; }
    // The find field above the listing, shown by the Find command.
    [[nodiscard]] QWidget* FindBar() const { return m_pFindBar; }
    [[nodiscard]] QLineEdit* FindField() const { return m_pFindField; }
    [[nodiscard]] QAction* CommandAction(int nID) const { return m_actions.value(nID); }
    [[nodiscard]] QToolBar* ToolBar() const { return m_pToolBar; }
    [[nodiscard]] QToolBar* DialogBar() const { return m_pDialogBar; }
    [[nodiscard]] QString MessagePaneText() const;
    [[nodiscard]] QLabel* IndicatorPane(int nIndicatorId) const;

    // Updates every command's enabled and checked state from OnUpdateCommand.
    void UpdateCommandStates();

    // The owner-drawn window menu: menu 128 with the toolbar's images. Returns the menu bar's
    // handle for InstallMenu, or null when the menu cannot be loaded.
    QMenu* BuildMenu();
    // Start-up: the owner-drawn menu takes the plain one's place, with the same commands.
    void InstallMenu();

    // Opens a reader window on the message of entry (a folder message or a message file); it
    // reads the message itself and lives until it is closed. Null for an entry of another kind.
    CReaderWindow* OpenReader(const listaf& entry);
    // The menu of a listing row: for a message Read message, Save message as... and Copy subject;
    // for a mail folder or a directory Open folder and Export.... Fills menu and returns false for
    // an entry without one.
    bool FillRowMenu(QMenu& menu, std::int32_t nSerial);

    // Export of a mail-folder file or a directory: asks how, then runs on a thread of its own with a
    // progress dialog and its Cancel, and ends in a summary. One export at a time.
    void StartExport(const std::string& strSource);
    [[nodiscard]] bool ExportRunning() const { return !m_pExportJob.isNull(); }
    // Seams for tests: who answers the question (null: the export dialog), and a probe each run
    // calls on its own thread with every progress.
    void SetExportAsker(IExportAsker* pAsker) { m_pExportAsker = pAsker; }
    void SetExportProbe(std::function<void(const ExportProgress&)> probe) { m_exportProbe = std::move(probe); }
    [[nodiscard]] CExportProgressDialog* ExportProgressDialog() const { return m_pExportProgress; }
    [[nodiscard]] CExportSummaryDialog* ExportSummaryDialog() const { return m_pExportSummary; }
    // Show > Decoded headers: turns the decoded header cells on or off and lists the place again.
    void ToggleDecodedHeaders();

private:
    void OnCreate();
    void createActions();
    void createMenuBar();
    QToolBar* createToolBar();
    QToolBar* createDialogBar();
    void createStatusBar();
    void createAccelerators();
    void createView();

    void OnSort(std::int32_t nMode);
    void OnFind();
    // Ends the find: every row again, the field closed, the keys back to the listing.
    void CloseFind();
    void ShowFindCount(int shown, int total);
    bool eventFilter(QObject* watched, QEvent* event) override;
    void OnShowHtmlDialog();
    void ShowRowMenu(int nSerial, const QPoint& globalPos);
    void OpenReaderFor(int nSerial);
    // Lists the place shown again, reading it anew.
    void Relist();
    // An entry for m_strCurrentDir, as nKind, becomes the current entry: the next rebuild lists it.
    void MarkCurrentPlace(std::int32_t nKind);
    void OnIdle();
    void ShowProgressNow();
    // Show > Recovered messages: the setting turns over, and a mail folder listed is listed again.
    void OnShowRecovered();
    // After a fill: what the scan for recovered messages found, when the listing ran one.
    void ShowListingStatus();
    // What the message pane goes back to: the listing's status, or the idle text.
    [[nodiscard]] QString IdleText() const;
    void OnExportFinished();

    COwnerDrawMenu m_menu;  // its popups live as long as the frame
    CQuilloryApp& m_app;
    IFolderChooser& m_chooser;
    ICommandTarget* m_pAppCommands = nullptr;

    CQuilloryView* m_pView = nullptr;
    QWidget* m_pFindBar = nullptr;
    QLineEdit* m_pFindField = nullptr;
    QToolBar* m_pToolBar = nullptr;
    QToolBar* m_pDialogBar = nullptr;
    QLabel* m_pMessagePane = nullptr;
    QLabel* m_pCapsPane = nullptr;
    QLabel* m_pNumPane = nullptr;
    QLabel* m_pCountPane = nullptr;
    QHash<int, QAction*> m_actions;

    std::int32_t m_nListedKind = 4;  // KIND_DIRECTORY
    std::int32_t m_nShownCount = -1;

    std::string m_strProgressLabel;  // the latest progress text given: its label and number
    std::int32_t m_nProgress = 0;
    QElapsedTimer m_progressClock;   // since the message pane was last painted
    bool m_bProgressFlushPending = false;
    QString m_strListingStatus;      // "" when the listing shown says nothing of its own

    std::unique_ptr<IExportAsker> m_pDialogAsker;
    IExportAsker* m_pExportAsker = nullptr;
    std::function<void(const ExportProgress&)> m_exportProbe;
    QPointer<CExportJob> m_pExportJob;
    QPointer<CExportProgressDialog> m_pExportProgress;
    QPointer<CExportSummaryDialog> m_pExportSummary;
};
