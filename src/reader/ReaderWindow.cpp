#include "reader/ReaderWindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPromise>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QThreadPool>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWebEngineContextMenuRequest>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <filesystem>
#include <system_error>

#include "app/FolderDialog.h"
#include "core/QuilloryApp.h"
#include "mime/AttachmentNames.h"
#include "mime/MimeDocument.h"
#include "platform/File.h"
#include "reader/ReaderPage.h"
#include "reader/ReaderText.h"

namespace {

constexpr int kProgressIntervalMs = 100;
constexpr int kProgressShowAfterMs = 400;  // a save quicker than this shows no dialog
constexpr int kProgressSteps = 1000;
constexpr int kAttachmentRowsShown = 4;  // more scroll

QString Utf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// Runs work on the shared thread pool; watcher reports its result in the window's thread, and
// reports nothing once it is gone with its window.
template <class T, class Work>
void RunAway(QFutureWatcher<T>& watcher, Work work)
{
    auto promise = std::make_shared<QPromise<T>>();
    watcher.setFuture(promise->future());
    promise->start();
    QThreadPool::globalInstance()->start([promise, work = std::move(work)]() mutable {
        promise->addResult(work());
        promise->finish();
    });
}

bool IsSameFile(const std::string& a, const std::string& b)
{
    FileIdentity first;
    FileIdentity second;
    return IdentityOf(a, first) && IdentityOf(b, second) && first == second;
}

} // namespace

CReaderWindow::CReaderWindow(CQuilloryApp& app, IFolderChooser& chooser, ReaderRequest request, QWidget* parent)
    : QMainWindow(parent), m_app(app), m_chooser(chooser), m_request(std::move(request))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("ReaderWindow"));
    setWindowTitle(QString::fromLocal8Bit(m_request.strName) + QStringLiteral(" - ") + QString::fromLatin1(kAppTitle));
    createActions();
    createWidgets();
    resize(900, 700);

    connect(&m_loadWatcher, &QFutureWatcherBase::finished, this, [this] { OnLoaded(m_loadWatcher.result()); });
    RunAway(m_loadWatcher, [request = m_request] { return std::make_shared<ReaderMessage>(ReadMessageForReader(request)); });

    m_progressTimer.setInterval(kProgressIntervalMs);
    connect(&m_progressTimer, &QTimer::timeout, this, &CReaderWindow::OnSaveProgress);
    connect(&m_saveWatcher, &QFutureWatcherBase::finished, this, &CReaderWindow::OnSaved);
}

CReaderWindow::~CReaderWindow()
{
    // A save still under way stops at its next piece; it holds the document itself.
    if (m_pSaveProgress)
        m_pSaveProgress->bCancel = true;
    // A page must go before its profile.
    delete m_pHtmlView;
    m_pHtmlView = nullptr;
    delete m_pProfile;
}

void CReaderWindow::createActions()
{
    QToolBar* bar = addToolBar(QStringLiteral("Reader"));
    bar->setObjectName(QStringLiteral("ReaderBar"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);

    m_pPlainAction = bar->addAction(QStringLiteral("&Plain text"));
    m_pPlainAction->setCheckable(true);
    m_pPlainAction->setEnabled(false);
    m_pPlainAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+T")));
    m_pPlainAction->setStatusTip(QStringLiteral("Show the message's plain text instead of its HTML"));
    connect(m_pPlainAction, &QAction::toggled, this, &CReaderWindow::ShowPlainText);

    m_pMonospaceAction = bar->addAction(QStringLiteral("&Monospace"));
    m_pMonospaceAction->setCheckable(true);
    m_pMonospaceAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+M")));
    m_pMonospaceAction->setStatusTip(QStringLiteral("Show plain text in a font of fixed width"));
    connect(m_pMonospaceAction, &QAction::toggled, this, &CReaderWindow::SetMonospace);

    m_pSourceAction = bar->addAction(QStringLiteral("View &source"));
    m_pSourceAction->setCheckable(true);
    m_pSourceAction->setEnabled(false);
    m_pSourceAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+U")));
    m_pSourceAction->setStatusTip(QStringLiteral("Show the message as it is stored, byte for byte"));
    connect(m_pSourceAction, &QAction::toggled, this, &CReaderWindow::ShowSource);

    auto* close = new QAction(QStringLiteral("Close"), this);
    close->setShortcuts({QKeySequence::Close, QKeySequence(Qt::Key_Escape)});
    connect(close, &QAction::triggered, this, &QWidget::close);
    addAction(close);
}

void CReaderWindow::createWidgets()
{
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    m_pHeaderArea = new QWidget(central);
    m_pHeaderArea->setObjectName(QStringLiteral("ReaderHeaders"));
    m_pHeaderArea->setAutoFillBackground(true);
    auto* grid = new QGridLayout(m_pHeaderArea);
    grid->setContentsMargins(10, 8, 10, 8);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(3);
    grid->setColumnStretch(1, 1);
    int row = 0;
    for (const char* label : {"From", "To", "Cc", "Date", "Subject"}) {
        auto* name = new QLabel(QString::fromLatin1(label) + QLatin1Char(':'), m_pHeaderArea);
        QFont bold = name->font();
        bold.setBold(true);
        name->setFont(bold);
        name->setAlignment(Qt::AlignRight | Qt::AlignTop);
        // The values are the sender's text: never markup, and never one line that pushes the
        // window wider than the screen.
        auto* value = new QLabel(m_pHeaderArea);
        value->setObjectName(QStringLiteral("Header") + QString::fromLatin1(label));
        value->setTextFormat(Qt::PlainText);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        value->setWordWrap(true);
        value->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        if (std::string_view(label) == "Subject") {
            QFont font = value->font();
            font.setBold(true);
            font.setPointSizeF(font.pointSizeF() * 1.15);
            value->setFont(font);
        }
        grid->addWidget(name, row, 0);
        grid->addWidget(value, row, 1);
        m_headerRows.emplace_back(name, value);
        ++row;
    }
    column->addWidget(m_pHeaderArea);

    m_pNotes = new QLabel(central);
    m_pNotes->setObjectName(QStringLiteral("ReaderNotes"));
    m_pNotes->setTextFormat(Qt::PlainText);
    m_pNotes->setWordWrap(true);
    m_pNotes->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pNotes->setStyleSheet(QStringLiteral("QLabel { background: #FFF4CE; color: #4A3A00; padding: 5px 10px; "
                                           "border-top: 1px solid #E0D090; border-bottom: 1px solid #E0D090; }"));
    m_pNotes->hide();
    column->addWidget(m_pNotes);

    m_pBodyStack = new QStackedWidget(central);
    m_pLoading = new QLabel(QStringLiteral("Reading the message…"), m_pBodyStack);
    m_pLoading->setAlignment(Qt::AlignCenter);
    m_pBodyStack->addWidget(m_pLoading);

    m_pPlainView = new QPlainTextEdit(m_pBodyStack);
    m_pPlainView->setObjectName(QStringLiteral("ReaderPlainText"));
    m_pPlainView->setReadOnly(true);
    m_pPlainView->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_pPlainView->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_pPlainView->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_pBodyStack->addWidget(m_pPlainView);

    m_pSourceView = new QPlainTextEdit(m_pBodyStack);
    m_pSourceView->setObjectName(QStringLiteral("ReaderSource"));
    m_pSourceView->setReadOnly(true);
    m_pSourceView->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_pSourceView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_pSourceView->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_pBodyStack->addWidget(m_pSourceView);
    column->addWidget(m_pBodyStack, 1);

    m_pAttachmentBar = new QWidget(central);
    m_pAttachmentBar->setObjectName(QStringLiteral("ReaderAttachments"));
    auto* bar = new QHBoxLayout(m_pAttachmentBar);
    bar->setContentsMargins(6, 4, 6, 4);
    m_pAttachmentList = new QTreeWidget(m_pAttachmentBar);
    m_pAttachmentList->setObjectName(QStringLiteral("ReaderAttachmentList"));
    m_pAttachmentList->setHeaderLabels({QStringLiteral("Attachment"), QStringLiteral("Type"), QStringLiteral("Size")});
    m_pAttachmentList->setRootIsDecorated(false);
    m_pAttachmentList->setUniformRowHeights(true);
    m_pAttachmentList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_pAttachmentList->header()->setStretchLastSection(false);
    bar->addWidget(m_pAttachmentList, 1);
    auto* buttons = new QVBoxLayout;
    m_pSaveButton = new QPushButton(QStringLiteral("Save…"), m_pAttachmentBar);
    m_pSaveButton->setEnabled(false);
    m_pSaveAllButton = new QPushButton(QStringLiteral("Save all…"), m_pAttachmentBar);
    buttons->addWidget(m_pSaveButton);
    buttons->addWidget(m_pSaveAllButton);
    buttons->addStretch(1);
    bar->addLayout(buttons);
    m_pAttachmentBar->hide();
    column->addWidget(m_pAttachmentBar);

    connect(m_pAttachmentList, &QTreeWidget::itemSelectionChanged, this,
            [this] { m_pSaveButton->setEnabled(!m_pAttachmentList->selectedItems().isEmpty()); });
    connect(m_pAttachmentList, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { SaveAttachment(m_pAttachmentList->indexOfTopLevelItem(item)); });
    connect(m_pSaveButton, &QPushButton::clicked, this, [this] {
        if (QTreeWidgetItem* item = m_pAttachmentList->currentItem())
            SaveAttachment(m_pAttachmentList->indexOfTopLevelItem(item));
    });
    connect(m_pSaveAllButton, &QPushButton::clicked, this, &CReaderWindow::SaveAllAttachments);

    setCentralWidget(central);
    statusBar();
}

CReaderWindow::Body CReaderWindow::Showing() const { return m_body; }

QString CReaderWindow::HeaderValue(const QString& label) const
{
    for (const auto& [name, value] : m_headerRows)
        if (name->text() == label + QLatin1Char(':'))
            return value->isHidden() ? QString() : value->text();
    return {};
}

QString CReaderWindow::NotesText() const { return m_pNotes->isHidden() ? QString() : m_pNotes->text(); }

int CReaderWindow::BlockedRequestCount() const { return m_pGate ? m_pGate->BlockedCount() : 0; }

void CReaderWindow::OnLoaded(const std::shared_ptr<ReaderMessage>& message)
{
    if (!message || !message->document) {
        // Told once the window is up; the window then has nothing to show.
        m_app.ShowMessage(message ? message->strError : std::string("The message could not be read."));
        emit messageShown();
        close();
        return;
    }
    m_pDocument = message->document;
    const MimeContent& content = m_pDocument->Content();
    FillHeaders(*message);

    QStringList notes;
    for (const std::string& note : message->notes)
        notes << Utf8(note);
    m_pNotes->setText(notes.join(QLatin1Char('\n')));
    m_pNotes->setVisible(!notes.isEmpty());

    if (content.plain)
        m_pPlainView->setPlainText(Utf8(PlainTextForView(*content.plain)));
    if (content.html) {
        m_pPageContent = std::make_shared<ReaderPageContent>();
        m_pPageContent->document = QByteArray::fromStdString(ReaderHtmlDocument(*content.html));
        m_pPageContent->parts = std::move(message->inlineParts);
        LoadHtml();
        m_textBody = Body::Html;
    }
    m_pPlainAction->setEnabled(content.html && content.plain);
    m_pSourceAction->setEnabled(true);
    FillAttachments();
    ShowBody(m_textBody);
    emit messageShown();
}

void CReaderWindow::FillHeaders(const ReaderMessage& message)
{
    const MimeHeaders& headers = message.document->Content().headers;
    const std::string* values[] = {&headers.strFrom, &headers.strTo, &headers.strCc, &headers.strDate,
                                   &headers.strSubject};
    for (std::size_t i = 0; i < m_headerRows.size(); ++i) {
        m_headerRows[i].second->setText(Utf8(*values[i]));
        const bool bShown = i != 2 || headers.bHasCc;  // Cc only when the message has one
        m_headerRows[i].first->setVisible(bShown);
        m_headerRows[i].second->setVisible(bShown);
    }
    const QString title = headers.strSubject.empty() ? QString::fromLocal8Bit(m_request.strName) : Utf8(headers.strSubject);
    setWindowTitle(title + QStringLiteral(" - ") + QString::fromLatin1(kAppTitle));
}

void CReaderWindow::FillAttachments()
{
    const auto& attachments = m_pDocument->Content().attachments;
    m_pAttachmentList->clear();
    for (const MimeAttachment& attachment : attachments) {
        // The name it will be saved under: the sender's name made safe, which is also what may be
        // shown of it (no control characters, no direction overrides).
        const QString name = Utf8(SanitizeAttachmentName(attachment.strName, attachment.strType));
        QString type = Utf8(attachment.strType);
        if (attachment.bInline)
            type += QStringLiteral(" (in the text)");
        QString size = Utf8(SizeText(attachment.nSize));
        if (attachment.bDamaged)
            size += QStringLiteral(" (damaged)");
        auto* item = new QTreeWidgetItem(m_pAttachmentList, {name, type, size});
        item->setToolTip(0, name);
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    }
    m_pAttachmentList->resizeColumnToContents(1);
    m_pAttachmentList->resizeColumnToContents(2);
    // As tall as its rows, up to a few: the text is what the window is for.
    if (!attachments.empty()) {
        const int rows = std::min(static_cast<int>(attachments.size()), kAttachmentRowsShown);
        m_pAttachmentList->setFixedHeight(m_pAttachmentList->header()->sizeHint().height() +
                                          rows * m_pAttachmentList->sizeHintForRow(0) +
                                          2 * m_pAttachmentList->frameWidth() + 2);
    }
    m_pAttachmentBar->setVisible(!attachments.empty());
}

void CReaderWindow::ShowBody(Body body)
{
    m_body = body;
    switch (body) {
    case Body::Loading: m_pBodyStack->setCurrentWidget(m_pLoading); break;
    case Body::Plain: m_pBodyStack->setCurrentWidget(m_pPlainView); break;
    case Body::Html: m_pBodyStack->setCurrentWidget(m_pHtmlView); break;
    case Body::Source: m_pBodyStack->setCurrentWidget(m_pSourceView); break;
    }
}

void CReaderWindow::LoadHtml()
{
    m_pProfile = CreateReaderProfile(m_pPageContent, this, &m_pGate);
    m_pHtmlView = new QWebEngineView(m_pBodyStack);
    m_pHtmlView->setObjectName(QStringLiteral("ReaderHtml"));
    m_pPage = new CReaderPage(m_pProfile, m_pHtmlView);
    m_pHtmlView->setPage(m_pPage);
    m_pHtmlView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_pHtmlView, &QWidget::customContextMenuRequested, this, &CReaderWindow::ShowHtmlMenu);
    // A menu must not open inside the browser's navigation check.
    connect(m_pPage, &CReaderPage::linkActivated, this,
            [this](const QUrl& url) { QTimer::singleShot(0, this, [this, url] { OnLinkActivated(url); }); });
    // Where a link really goes, whatever its text says.
    connect(m_pPage, &QWebEnginePage::linkHovered, this, [this](const QString& url) {
        if (url.isEmpty())
            statusBar()->clearMessage();
        else
            statusBar()->showMessage(url);
    });
    connect(m_pPage, &QWebEnginePage::featurePermissionRequested, this,
            [this](const QUrl& origin, QWebEnginePage::Feature feature) {
                m_pPage->setFeaturePermission(origin, feature, QWebEnginePage::PermissionDeniedByUser);
            });
    connect(m_pPage, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        m_bHtmlLoaded = true;
        emit htmlLoaded(ok);
    });
    m_pBodyStack->addWidget(m_pHtmlView);
    m_pPage->LoadDocument();
}

void CReaderWindow::ShowPlainText(bool bPlain)
{
    if (!m_pHtmlView || !m_pDocument || !m_pDocument->Content().plain)
        return;
    m_textBody = bPlain ? Body::Plain : Body::Html;
    if (m_pPlainAction->isChecked() != bPlain)
        m_pPlainAction->setChecked(bPlain);
    if (m_body != Body::Source)
        ShowBody(m_textBody);
}

void CReaderWindow::SetMonospace(bool bMonospace)
{
    m_pPlainView->setFont(bMonospace ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QApplication::font());
    if (m_pMonospaceAction->isChecked() != bMonospace)
        m_pMonospaceAction->setChecked(bMonospace);
}

void CReaderWindow::ShowSource(bool bSource)
{
    if (!m_pDocument)
        return;
    if (m_pSourceAction->isChecked() != bSource)
        m_pSourceAction->setChecked(bSource);
    if (!bSource) {
        ShowBody(m_textBody);
        return;
    }
    // Made when first asked for: a large message's source is a long text to lay out.
    if (m_pSourceView->document()->isEmpty()) {
        const std::string source = SourceForView(m_pDocument->Source());
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_pSourceView->setPlainText(QString::fromLatin1(source.data(), static_cast<qsizetype>(source.size())));
        QApplication::restoreOverrideCursor();
    }
    ShowBody(Body::Source);
}

void CReaderWindow::AddLinkActions(QMenu& menu, const QUrl& url)
{
    menu.addAction(QStringLiteral("Copy link address"), this,
                   [url] { QApplication::clipboard()->setText(url.toString(QUrl::FullyEncoded)); });
    QAction* open = menu.addAction(QStringLiteral("Open in web browser…"), this, [this, url] { OpenLinkOutside(url); });
    const QString scheme = url.scheme().toLower();
    // Only what a browser or a mail program is for; a link to a local file or a script is not.
    open->setEnabled(scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
                     scheme == QLatin1String("mailto"));
}

void CReaderWindow::OpenLinkOutside(const QUrl& url)
{
    // The address in full, since the text of a link may say anything.
    const std::string text = "Open this address in your web browser?\n\n" +
                             url.toString(QUrl::FullyEncoded).toStdString() +
                             "\n\nWhoever sent the message can then see that it was read.";
    if (m_app.ShowMessage(text, MB_YESNO | MB_ICONEXCLAMATION) == IDYES)
        QDesktopServices::openUrl(url);
}

void CReaderWindow::OnLinkActivated(const QUrl& url)
{
    QMenu menu(this);
    AddLinkActions(menu, url);
    menu.exec(QCursor::pos());
}

void CReaderWindow::ShowHtmlMenu(const QPoint& pos)
{
    QMenu menu(this);
    const QWebEngineContextMenuRequest* request = m_pHtmlView->lastContextMenuRequest();
    if (request && request->linkUrl().isValid()) {
        AddLinkActions(menu, request->linkUrl());
        menu.addSeparator();
    }
    QAction* copy = menu.addAction(QStringLiteral("Copy"), this, [this] { m_pPage->triggerAction(QWebEnginePage::Copy); });
    copy->setEnabled(m_pPage->hasSelection());
    menu.addAction(QStringLiteral("Select all"), this, [this] { m_pPage->triggerAction(QWebEnginePage::SelectAll); });
    menu.exec(m_pHtmlView->mapToGlobal(pos));
}

void CReaderWindow::SaveAttachment(int index)
{
    if (!m_pDocument || IsSaving() || index < 0)
        return;
    const auto& attachments = m_pDocument->Content().attachments;
    if (static_cast<std::size_t>(index) >= attachments.size() || !m_app.m_pSaveDialog)
        return;
    const MimeAttachment& attachment = attachments[static_cast<std::size_t>(index)];
    SaveDialogRequest request;
    request.strInitialName = SanitizeAttachmentName(attachment.strName, attachment.strType);
    request.strInitialDir = m_app.m_strSaveDir;
    request.strDefaultExt.clear();
    request.strFilter = "All Files (*)|*||";
    const std::optional<std::string> path = m_app.m_pSaveDialog->AskSavePath(request);
    if (!path)
        return;
    // The message's own file is the stored mail this program never changes.
    if (IsSameFile(*path, m_request.strPath)) {
        m_app.ShowMessage("Error on writing file " + *path + ": it is the file the message is read from.");
        return;
    }
    // The dialog asked before it gave a file that exists; one that appears since is another's.
    std::error_code ec;
    const bool bExists = std::filesystem::symlink_status(*path, ec).type() != std::filesystem::file_type::not_found;
    m_app.m_strSaveDir = CQuilloryApp::DirectoryPart(*path);
    m_app.WriteSetting("SaveDir", m_app.m_strSaveDir);
    StartSave(SaveJob{{static_cast<std::size_t>(index)}, false, *path, bExists ? ExistingFile::Replace : ExistingFile::Keep});
}

void CReaderWindow::SaveAllAttachments()
{
    if (!m_pDocument || IsSaving() || m_pDocument->Content().attachments.empty())
        return;
    std::string directory;
    const int result =
        m_chooser.ChooseFolder(QStringLiteral("Save all attachments into"), m_app.m_strSaveDir, this, directory);
    if (result == IDCANCEL)
        return;
    if (result != IDOK || directory.empty()) {
        m_app.ShowMessage("The place chosen is not a directory: nothing was saved.");
        return;
    }
    m_app.m_strSaveDir = directory;
    m_app.WriteSetting("SaveDir", m_app.m_strSaveDir);
    SaveJob job;
    job.bAll = true;
    job.strTarget = directory;
    for (std::size_t i = 0; i < m_pDocument->Content().attachments.size(); ++i)
        job.indexes.push_back(i);
    StartSave(std::move(job));
}

void CReaderWindow::StartSave(SaveJob job)
{
    const auto& attachments = m_pDocument->Content().attachments;
    // Bytes done before each attachment, for the progress of a whole run.
    std::vector<std::uint64_t> before;
    m_nSaveTotal = 0;
    for (std::size_t index : job.indexes) {
        before.push_back(m_nSaveTotal);
        m_nSaveTotal += attachments[index].nSize;
    }
    m_bSaveAll = job.bAll;
    m_pSaveProgress = std::make_shared<SaveProgress>();
    m_pSaveButton->setEnabled(false);
    m_pSaveAllButton->setEnabled(false);

    auto* dialog = new QProgressDialog(QStringLiteral("Saving attachments…"), QStringLiteral("Cancel"), 0, kProgressSteps, this);
    dialog->setObjectName(QStringLiteral("ReaderSaveProgress"));
    dialog->setWindowTitle(QString::fromLatin1(kAppTitle));
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setMinimumDuration(kProgressShowAfterMs);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    connect(dialog, &QProgressDialog::canceled, this, [progress = m_pSaveProgress, dialog] {
        progress->bCancel = true;
        dialog->setLabelText(QStringLiteral("Cancelling…"));
    });
    m_pProgressDialog = dialog;
    dialog->setValue(0);
    m_progressTimer.start();

    RunAway(m_saveWatcher, [document = m_pDocument, progress = m_pSaveProgress, job = std::move(job),
                            before = std::move(before)] {
        std::size_t current = 0;  // position in job.indexes of the attachment being saved
        const SaveBytesProgress written = [&](std::uint64_t n) {
            progress->nWritten = before[current] + n;
            return !progress->bCancel;
        };
        auto results = std::make_shared<std::vector<SavedAttachment>>();
        if (job.bAll) {
            *results = ::SaveAllAttachments(
                *document, job.strTarget,
                [&](std::size_t done, std::size_t) {
                    current = done;
                    return !progress->bCancel;
                },
                written);
        } else {
            results->push_back(SaveAttachmentAs(*document, job.indexes.front(), job.strTarget, job.existing, written));
        }
        return results;
    });
}

void CReaderWindow::OnSaveProgress()
{
    if (!m_pProgressDialog || m_pSaveProgress->bCancel)
        return;
    const double share = m_nSaveTotal ? static_cast<double>(m_pSaveProgress->nWritten.load()) / m_nSaveTotal : 0;
    m_pProgressDialog->setValue(std::min(kProgressSteps - 1, static_cast<int>(share * kProgressSteps)));
}

void CReaderWindow::OnSaved()
{
    m_progressTimer.stop();
    if (m_pProgressDialog) {
        m_pProgressDialog->hide();
        m_pProgressDialog->deleteLater();
    }
    m_pSaveButton->setEnabled(!m_pAttachmentList->selectedItems().isEmpty());
    m_pSaveAllButton->setEnabled(true);
    const std::shared_ptr<std::vector<SavedAttachment>> results = m_saveWatcher.result();
    std::string problems;
    int saved = 0;
    bool bCancelled = m_pSaveProgress && m_pSaveProgress->bCancel;
    std::string lastPath;
    for (const SavedAttachment& result : *results) {
        bCancelled = bCancelled || result.bCancelled;
        if (!result.strPath.empty()) {
            ++saved;
            lastPath = result.strPath;
        }
        if (!result.strProblem.empty())
            problems += (problems.empty() ? "" : "\n") + result.strProblem;
    }
    QString status;
    if (m_bSaveAll)
        status = QStringLiteral("%1 of %2 attachments saved").arg(saved).arg(m_pDocument->Content().attachments.size());
    else if (saved)
        status = QStringLiteral("Saved as %1").arg(QString::fromLocal8Bit(lastPath));
    if (bCancelled)
        status += status.isEmpty() ? QStringLiteral("Saving cancelled") : QStringLiteral("; the rest was cancelled");
    statusBar()->showMessage(status);
    if (!problems.empty())
        m_app.ShowMessage(problems);
    emit saveFinished();
}
