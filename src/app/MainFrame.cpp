#include "app/MainFrame.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QBitmap>
#include <QClipboard>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "app/FolderDialog.h"
#include "app/FrameIds.h"
#include "app/HtmlPageDialog.h"
#include "app/QtSeams.h"
#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "app/StringTable.h"
#include "menu/MenuInstall.h"
#include "platform/Path.h"
#include "reader/ReaderWindow.h"
#include "view/EntrySubject.h"
#include "view/QuilloryView.h"

namespace {

// Repainting the pane for every row of a long fill would cost more than the fill itself; a few
// dozen paints a second still read as live.
constexpr qint64 kProgressRepaintMs = 30;

constexpr int kCountPaneMargin = 4;

// The strip's light grey is the button face: it becomes transparent.
constexpr QRgb kButtonFace = qRgb(0xC0, 0xC0, 0xC0);

QString MenuText(const char* text) { return QString::fromLatin1(text); }

} // namespace

CMainFrame::CMainFrame(CQuilloryApp& app, IFolderChooser& chooser, ICommandTarget* pAppCommands)
    : m_app(app), m_chooser(chooser), m_pAppCommands(pAppCommands)
{
    OnCreate();
}

CMainFrame::~CMainFrame()
{
    // The view goes with the window; the application must not call into it afterwards.
    if (m_app.m_pMainFrame == this)
        m_app.m_pMainFrame = nullptr;
    if (m_app.m_pStatus == this)
        m_app.m_pStatus = nullptr;
}

void CMainFrame::OnCreate()
{
    setObjectName(QStringLiteral("MainFrame"));
    resize(980, 640);
    createActions();
    createMenuBar();
    m_pToolBar = createToolBar();
    m_pDialogBar = createDialogBar();
    createStatusBar();
    createAccelerators();
    createView();

    if (auto* dispatcher = QAbstractEventDispatcher::instance(thread()))
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &CMainFrame::OnIdle);
}

void CMainFrame::createActions()
{
    for (const MenuPopupTemplate& popup : kMainMenu) {
        for (const MenuItemTemplate& item : popup.items) {
            auto* action = new QAction(MenuText(item.pszText), this);
            const CommandPrompt prompt = LoadPrompt(item.nId);
            action->setStatusTip(prompt.strPrompt);
            // A command whose string has no tooltip part is named by its prompt.
            QString tip = prompt.strTooltip.isEmpty() ? prompt.strPrompt : prompt.strTooltip;
            action->setToolTip(tip);
            action->setData(item.nId);
            connect(action, &QAction::triggered, this, [this, id = item.nId] { OnCommand(id); });
            m_actions.insert(item.nId, action);
        }
    }
    // Print has a button but no menu item.
    auto* print = new QAction(QStringLiteral("Print"), this);
    const CommandPrompt prompt = LoadPrompt(ID_FILE_PRINT);
    print->setStatusTip(prompt.strPrompt);
    print->setToolTip(prompt.strTooltip);
    print->setData(ID_FILE_PRINT);
    connect(print, &QAction::triggered, this, [this] { OnCommand(ID_FILE_PRINT); });
    m_actions.insert(ID_FILE_PRINT, print);

    for (int id : {ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, ID_VIEW_DECODED_HEADERS, ID_SHOW_RECOVERED})
        m_actions.value(id)->setCheckable(true);
}

void CMainFrame::createMenuBar()
{
    for (const MenuPopupTemplate& popup : kMainMenu) {
        QMenu* menu = menuBar()->addMenu(MenuText(popup.pszText));
        for (const MenuItemTemplate& item : popup.items) {
            if (item.nId == 0)
                menu->addSeparator();
            else
                menu->addAction(m_actions.value(item.nId));
        }
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
    }
}

QMenu* CMainFrame::BuildMenu()
{
    return BuildOwnerDrawMenu(m_menu);
}

void CMainFrame::InstallMenu()
{
    QMenu* hMenu = BuildMenu();
    if (!hMenu)
        return;  // the plain menu stays
    MenuCommandHooks hooks;
    hooks.onCommand = [this](unsigned nID) { OnCommand(int(nID)); };
    hooks.onUpdate = [this](unsigned nID, QAction* pAction) {
        const CommandState state = OnUpdateCommand(int(nID));
        pAction->setEnabled(state.bEnabled);
        pAction->setCheckable(state.bCheckable);
        pAction->setChecked(state.bChecked);
        if (const QAction* pPlain = m_actions.value(int(nID)))
            pAction->setStatusTip(pPlain->statusTip());  // the prompt while the item is selected
    };
    InstallOwnerDrawMenu(this, hMenu, hooks);
}

QToolBar* CMainFrame::createToolBar()
{
    auto* bar = new QToolBar(QStringLiteral("Toolbar"), this);
    bar->setObjectName(QStringLiteral("ToolBar"));
    bar->setIconSize(QSize(kToolbarImageWidth, kToolbarImageHeight));

    QImage strip(QStringLiteral(":/app/toolbar.bmp"));
    QPixmap images = QPixmap::fromImage(strip);
    if (!strip.isNull())
        images.setMask(QBitmap::fromImage(strip.createMaskFromColor(kButtonFace, Qt::MaskInColor)));

    int nImage = 0;
    for (int id : kToolbarButtons) {
        if (id == 0) {
            bar->addSeparator();
            continue;
        }
        QAction* action = m_actions.value(id);
        if (!images.isNull())
            action->setIcon(QIcon(images.copy(nImage * kToolbarImageWidth, 0, kToolbarImageWidth,
                                              kToolbarImageHeight)));
        ++nImage;
        bar->addAction(action);
    }
    addToolBar(Qt::TopToolBarArea, bar);
    return bar;
}

QToolBar* CMainFrame::createDialogBar()
{
    auto* bar = new QToolBar(QStringLiteral("Credits"), this);
    bar->setObjectName(QStringLiteral("DialogBar"));
    auto* credit = new QLabel(ResourceString(QStringLiteral("credit")), bar);
    credit->setObjectName(QStringLiteral("Credit"));
    credit->setContentsMargins(12, 0, 12, 0);
    bar->addWidget(credit);
    addToolBar(Qt::TopToolBarArea, bar);
    return bar;
}

void CMainFrame::createStatusBar()
{
    QStatusBar* bar = statusBar();
    m_pMessagePane = new QLabel(LoadString(AFX_IDS_IDLEMESSAGE), bar);
    m_pMessagePane->setObjectName(QStringLiteral("MessagePane"));
    bar->addWidget(m_pMessagePane, 1);

    auto indicator = [bar](int id) {
        auto* pane = new QLabel(LoadString(id), bar);
        pane->setObjectName(QStringLiteral("Indicator%1").arg(id));
        pane->setAlignment(Qt::AlignCenter);
        pane->setContentsMargins(kCountPaneMargin, 0, kCountPaneMargin, 0);
        bar->addPermanentWidget(pane);
        return pane;
    };
    // The state of the lock keys cannot be read portably, so their panes show their names greyed.
    m_pCapsPane = indicator(ID_INDICATOR_CAPS);
    m_pCapsPane->setEnabled(false);
    m_pNumPane = indicator(ID_INDICATOR_NUM);
    m_pNumPane->setEnabled(false);
    m_pCountPane = indicator(ID_INDICATOR_SCRL);
    m_pCountPane->setFixedWidth(m_pCountPane->fontMetrics().horizontalAdvance(m_pCountPane->text())
                                + 2 * kCountPaneMargin);

    // When a menu prompt goes away the pane goes back to its idle text.
    connect(bar, &QStatusBar::messageChanged, this, [this](const QString& message) {
        if (message.isEmpty())
            m_pMessagePane->setText(IdleText());
    });
}

void CMainFrame::createAccelerators()
{
    for (const AcceleratorTemplate& accel : kAccelerators) {
        auto* action = new QAction(this);
        action->setShortcut(QKeySequence(QString::fromLatin1(accel.pszKey)));
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [this, id = accel.nId] { OnCommand(id); });
        addAction(action);
    }
}

void CMainFrame::createView()
{
    // The find field sits above the listing, hidden until the Find command.
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    m_pFindBar = new QWidget(central);
    m_pFindBar->setObjectName(QStringLiteral("FindBar"));
    auto* row = new QHBoxLayout(m_pFindBar);
    row->setContentsMargins(6, 3, 6, 3);
    auto* label = new QLabel(QStringLiteral("&Find:"), m_pFindBar);
    m_pFindField = new QLineEdit(m_pFindBar);
    m_pFindField->setObjectName(QStringLiteral("FindField"));
    m_pFindField->setClearButtonEnabled(true);
    label->setBuddy(m_pFindField);
    row->addWidget(label);
    row->addWidget(m_pFindField, 1);
    m_pFindBar->hide();
    column->addWidget(m_pFindBar);

    m_pView = new CQuilloryView(m_app, central);
    column->addWidget(m_pView, 1);
    setCentralWidget(central);

    connect(m_pFindField, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!m_pFindBar->isHidden())
            m_pView->SetFind(text);
    });
    m_pFindField->installEventFilter(this);
    connect(m_pView, &CQuilloryView::findChanged, this, &CMainFrame::ShowFindCount);
    connect(m_pView, &CQuilloryView::rowMenuRequested, this, &CMainFrame::ShowRowMenu);
    connect(m_pView, &CQuilloryView::readRequested, this, &CMainFrame::OpenReaderFor);
    connect(m_pView, &CQuilloryView::escapePressed, this, [this] {
        if (!m_pFindBar->isHidden())
            CloseFind();
    });
    // A new listing ends a find on the old one: the field goes with it.
    connect(m_pView, &CQuilloryView::listingReset, this, [this] {
        ShowListingStatus();
        if (m_pFindBar->isHidden())
            return;
        m_pFindBar->hide();
        const QSignalBlocker quiet(m_pFindField);
        m_pFindField->clear();
    });
}

void CMainFrame::OnFind()
{
    m_pView->BeginFind();
    m_pFindBar->show();
    m_pFindField->setFocus(Qt::ShortcutFocusReason);
    m_pFindField->selectAll();
}

void CMainFrame::CloseFind()
{
    m_pFindBar->hide();
    m_pFindField->clear();  // which shows every row again
    m_pView->SetFind(QString());
    m_pView->setFocus(Qt::OtherFocusReason);
    m_pMessagePane->setText(IdleText());
}

void CMainFrame::ShowFindCount(int shown, int total)
{
    if (!statusBar()->currentMessage().isEmpty())
        statusBar()->clearMessage();
    m_pMessagePane->setText(m_pView->Listing().IsFiltered() ? QStringLiteral("%1 of %2").arg(shown).arg(total)
                                                             : IdleText());
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    // In the find field, Escape ends the find, and the keys that move through the listing move
    // its selection, Enter included.
    if (watched == m_pFindField && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Escape:
            CloseFind();
            return true;
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return m_pView->HandleKey(*key);
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool CMainFrame::OnCommand(int nID)
{
    switch (nID) {
    case ID_CHOOSE_FOLDER:
    case ID_FILE_OPEN:
        GoToFolder(true);
        return true;
    case ID_SHOW_HTML_DIALOG:
        OnShowHtmlDialog();
        return true;
    case ID_SORT_ENTRY: OnSort(0); return true;
    case ID_SORT_FROM: OnSort(1); return true;
    case ID_SORT_TO: OnSort(2); return true;
    case ID_SORT_SUBJECT: OnSort(3); return true;
    case ID_FILE_PRINT:
        if (m_pView)
            m_pView->Print();
        return true;
    case ID_EDIT_FIND:
        OnFind();
        return true;
    case ID_SHOW_RECOVERED:
        OnShowRecovered();
        return true;
    case ID_FILE_EXPORT:
        if (OnUpdateCommand(ID_FILE_EXPORT).bEnabled)
            StartExport(m_app.m_strCurrentDir);
        return true;
    case ID_VIEW_TOOLBAR:
        m_pToolBar->setVisible(!m_pToolBar->isVisible());
        UpdateCommandStates();
        return true;
    case ID_VIEW_STATUS_BAR:
        statusBar()->setVisible(!statusBar()->isVisible());
        UpdateCommandStates();
        return true;
    case ID_VIEW_DECODED_HEADERS:
        ToggleDecodedHeaders();
        return true;
    default:
        break;
    }
    if (m_pAppCommands && m_pAppCommands->OnCommand(nID))
        return true;
    if (nID == ID_APP_EXIT) {
        close();
        return true;
    }
    return false;
}

CommandState CMainFrame::OnUpdateCommand(int nID) const
{
    CommandState state;
    if (nID == ID_VIEW_TOOLBAR) {
        state.bCheckable = true;
        state.bChecked = !m_pToolBar->isHidden();
    } else if (nID == ID_VIEW_STATUS_BAR) {
        state.bCheckable = true;
        state.bChecked = !statusBar()->isHidden();
    } else if (nID == ID_VIEW_DECODED_HEADERS) {
        state.bCheckable = true;
        state.bChecked = m_app.m_bDecodedHeaders;
    } else if (nID == ID_SHOW_RECOVERED) {
        state.bCheckable = true;
        state.bChecked = m_app.m_bShowRecovered;
    } else if (nID == ID_FILE_EXPORT) {
        // The place listed, once it is listed; one export at a time.
        state.bEnabled = m_app.m_bPageReady && !m_app.m_bRebuildPending && !m_app.m_strCurrentDir.empty() &&
                         !ExportRunning();
    }
    return state;
}

void CMainFrame::UpdateCommandStates()
{
    for (auto it = m_actions.cbegin(); it != m_actions.cend(); ++it) {
        const CommandState state = OnUpdateCommand(it.key());
        it.value()->setEnabled(state.bEnabled);
        if (state.bCheckable)
            it.value()->setChecked(state.bChecked);
    }
}

bool CMainFrame::ChooseBaseFolder(const std::string&)
{
    std::string chosen;
    const int result = m_chooser.ChooseFolder(ResourceString(QStringLiteral("chooser.title")),
                                              m_app.m_strCurrentDir, this, chosen);
    if (result == IDCANCEL)
        return false;
    m_app.m_strCurrentDir = chosen;
    return true;
}

void CMainFrame::GoToFolder(bool bAsk)
{
    // Settle the place to list. No current entry means either a go-up (its target waits in
    // m_strTargetDir) or that the last rebuild deleted the entry, whose place is already in
    // m_strCurrentDir; only a go-up comes here without asking.
    const listaf* pCurrent = m_app.m_pCurrentEntry;
    if (!pCurrent) {
        if (!bAsk) {
            m_app.m_strCurrentDir = m_app.m_strTargetDir;
            m_nListedKind = KIND_DIRECTORY;
        }
    } else if (pCurrent->m_nKind == KIND_DIRECTORY) {
        m_app.m_strCurrentDir = pCurrent->m_strPath;
        m_nListedKind = KIND_DIRECTORY;
    } else if (pCurrent->m_nKind == KIND_MAIL_FOLDER) {
        m_nListedKind = KIND_MAIL_FOLDER;  // the dispatcher has put its path in m_strCurrentDir
    }

    if (bAsk) {
        const bool bChosen = ChooseBaseFolder(m_app.m_strCurrentDir);
        if (bChosen)
            m_nListedKind = KIND_DIRECTORY;
        // After a cancel the listed place is listed again as what it is: a mail-folder file stays
        // a mail-folder file rather than being scanned as a directory, which would list nothing.
        MarkCurrentPlace(m_nListedKind);
    }

    m_app.m_bRebuildPending = 1;
    m_app.m_bPageReady = 0;
    if (m_app.m_pView)
        m_app.m_pView->ReloadPage();
}

void CMainFrame::OnSort(std::int32_t nMode)
{
    // The entries stay: the refill after the reload orders them anew.
    m_app.m_nSortMode = nMode;
    if (m_app.m_pView)
        m_app.m_pView->ReloadPage();
    m_app.m_bPageReady = 1;
}

void CMainFrame::ToggleDecodedHeaders()
{
    m_app.SetDecodedHeaders(!m_app.m_bDecodedHeaders);
    UpdateCommandStates();
    Relist();
}

void CMainFrame::Relist()
{
    // While a rebuild is pending it reads the place with the setting as it now is.
    if (!m_app.m_bPageReady || m_app.m_bRebuildPending)
        return;
    // The place is listed again as what it is, as after a cancelled Open.
    MarkCurrentPlace(m_nListedKind);
    GoToFolder(false);
}

void CMainFrame::MarkCurrentPlace(std::int32_t nKind)
{
    listaf* pEntry = m_app.AppendEntry();
    pEntry->m_strPath = m_app.m_strCurrentDir;
    const PathParts parts = SplitPath(m_app.m_strCurrentDir);
    pEntry->m_strName = parts.fname + parts.ext;
    pEntry->m_nKind = nKind;
    m_app.m_pCurrentEntry = pEntry;
}

CReaderWindow* CMainFrame::OpenReader(const listaf& entry)
{
    ReaderRequest request;
    request.strName = entry.m_strName;
    request.strPath = entry.m_strPath;
    if (entry.m_nKind == KIND_FOLDER_MESSAGE) {
        request.bInFolder = true;
        request.listed = ListedMessageOf(entry);
    } else if (entry.m_nKind != KIND_MESSAGE_FILE) {
        return nullptr;
    }
    auto* reader = new CReaderWindow(m_app, m_chooser, std::move(request), this);
    // Readers go with the main window: closing it ends the program, whatever is still open.
    reader->setAttribute(Qt::WA_QuitOnClose, false);
    reader->show();
    return reader;
}

void CMainFrame::OpenReaderFor(int nSerial)
{
    if (const listaf* entry = m_app.m_bPageReady ? m_app.FindEntry(nSerial) : nullptr)
        OpenReader(*entry);
}

bool CMainFrame::FillRowMenu(QMenu& menu, std::int32_t nSerial)
{
    const listaf* entry = m_app.FindEntry(nSerial);
    if (!entry)
        return false;
    // Each item finds its entry again when chosen: a listing that has changed meanwhile no longer
    // holds it, and the item then does nothing.
    auto act = [this, nSerial](auto what) {
        return [this, nSerial, what] {
            if (const listaf* chosen = m_app.m_bPageReady ? m_app.FindEntry(nSerial) : nullptr)
                what(*chosen);
        };
    };
    switch (entry->m_nKind) {
    case KIND_FOLDER_MESSAGE:
    case KIND_MESSAGE_FILE: {
        QAction* read = menu.addAction(QStringLiteral("&Read message"), this, act([this](const listaf& e) { OpenReader(e); }));
        read->setShortcut(QKeySequence(QStringLiteral("Ctrl+Return")));
        menu.setDefaultAction(read);
        // The save of a click on the row, through the same path.
        menu.addAction(QStringLiteral("&Save message as..."), this,
                       act([this](const listaf& e) { m_pView->ActivateEntry(e.m_nSerial); }));
        menu.addAction(QStringLiteral("&Copy subject"), this, act([](const listaf& e) {
                           QApplication::clipboard()->setText(QString::fromUtf8(EntrySubject(e)));
                       }));
        return true;
    }
    case KIND_MAIL_FOLDER:
    case KIND_DIRECTORY: {
        QAction* open = menu.addAction(QStringLiteral("&Open folder"), this,
                                       act([this](const listaf& e) { m_pView->ActivateEntry(e.m_nSerial); }));
        menu.setDefaultAction(open);
        menu.addAction(QStringLiteral("&Export..."), this, act([this](const listaf& e) { StartExport(e.m_strPath); }))
            ->setEnabled(!ExportRunning());
        return true;
    }
    default:
        return false;
    }
}

void CMainFrame::ShowRowMenu(int nSerial, const QPoint& globalPos)
{
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("RowMenu"));
    if (FillRowMenu(menu, nSerial))
        menu.exec(globalPos);
}

void CMainFrame::OnShowHtmlDialog()
{
    CHtmlPageDialog dialog(this);
    dialog.exec();
}

void CMainFrame::SetProgressText(std::string_view label, std::int32_t n)
{
    // Only the texts painted are made: for a folder of 100,000 messages, making every one of them
    // would take longer than reading the folder's index.
    m_strProgressLabel.assign(label);
    m_nProgress = n;
    if (m_progressClock.isValid() && m_progressClock.elapsed() < kProgressRepaintMs) {
        // Too soon to paint again; the latest text is shown as soon as the loop returns.
        if (!m_bProgressFlushPending) {
            m_bProgressFlushPending = true;
            QTimer::singleShot(0, this, [this] {
                if (!m_bProgressFlushPending)
                    return;  // a listing's status took the pane meanwhile
                m_bProgressFlushPending = false;
                ShowProgressNow();
            });
        }
        return;
    }
    ShowProgressNow();
}

void CMainFrame::ShowProgressNow()
{
    if (!statusBar()->currentMessage().isEmpty())
        statusBar()->clearMessage();
    m_pMessagePane->setText(TextFromBytes(FormatProgressText(m_strProgressLabel, m_nProgress)));
    if (m_pMessagePane->isVisible())
        m_pMessagePane->repaint();
    m_progressClock.restart();
}

QString CMainFrame::MessagePaneText() const
{
    const QString message = statusBar()->currentMessage();
    return message.isEmpty() ? m_pMessagePane->text() : message;
}

QLabel* CMainFrame::IndicatorPane(int nIndicatorId) const
{
    switch (nIndicatorId) {
    case ID_SEPARATOR: return m_pMessagePane;
    case ID_INDICATOR_CAPS: return m_pCapsPane;
    case ID_INDICATOR_NUM: return m_pNumPane;
    case ID_INDICATOR_SCRL: return m_pCountPane;
    default: return nullptr;
    }
}

void CMainFrame::OnUpdateItemCount()
{
    if (m_app.m_nItemCount == m_nShownCount)
        return;
    m_nShownCount = m_app.m_nItemCount;
    char text[32];
    std::snprintf(text, sizeof text, "%05ld", static_cast<long>(m_nShownCount));
    const QString count = QString::fromLatin1(text);
    m_pCountPane->setFixedWidth(m_pCountPane->fontMetrics().horizontalAdvance(count)
                                + 2 * kCountPaneMargin);
    m_pCountPane->setText(count);
    m_pCountPane->setEnabled(true);
}

void CMainFrame::OnIdle()
{
    OnUpdateItemCount();
    UpdateCommandStates();
}
