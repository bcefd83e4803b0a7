#include "app/ExportDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/FolderDialog.h"
#include "app/QtSeams.h"
#include "platform/Path.h"

namespace {

namespace fs = std::filesystem;

struct FormatChoice {
    ExportFormat format;
    const char* label;
};
constexpr FormatChoice kFormats[] = {
    {ExportFormat::Mbox, "mbox: one file per mail folder"},
    {ExportFormat::Maildir, "Maildir: one directory per mail folder"},
    {ExportFormat::Eml, ".eml files: one file per message"},
};

bool IsDirectory(const std::string& strPath)
{
    std::error_code error;
    return fs::is_directory(strPath, error);
}

bool Exists(const std::string& strPath)
{
    std::error_code error;
    return fs::symlink_status(strPath, error).type() != fs::file_type::not_found && !error;
}

bool IsEmptyDirectory(const std::string& strPath)
{
    std::error_code error;
    return fs::is_empty(strPath, error) && !error;
}

std::string HomeDirectory() { return PathToBytes(QDir::homePath()); }

QString MegaBytes(std::uint64_t nBytes)
{
    return QString::number(static_cast<double>(nBytes) / 1e6, 'f', 1) + QStringLiteral(" MB");
}

} // namespace

std::string SuggestedDestination(const std::string& strParent, const std::string& strSource)
{
    std::string source = strSource;
    while (source.size() > 1 && source.back() == '/')
        source.pop_back();
    const PathParts parts = SplitPath(source);
    std::string name = parts.fname;
    // A directory keeps its whole name ("mail.2004"); a mail-folder file loses its extension.
    if (IsDirectory(source))
        name += parts.ext;
    if (name.empty() || name == "/")
        name = "Exported mail";
    std::string candidate = JoinPath(strParent, name);
    for (int n = 2; Exists(candidate); ++n)
        candidate = JoinPath(strParent, name + " (" + std::to_string(n) + ")");
    return candidate;
}

ExportFormat ExportFormatFromName(const std::string& strName, ExportFormat fallback)
{
    for (const FormatChoice& choice : kFormats)
        if (strName == ExportFormatName(choice.format))
            return choice.format;
    return fallback;
}

std::vector<std::string> ExportReportLines(const ExportSummary& summary, const ExportRequest& request)
{
    std::vector<std::string> lines = ExportSummaryLines(summary, request);
    lines.insert(lines.end(), summary.problems.begin(), summary.problems.end());
    for (const FolderReport& folder : summary.folders)
        lines.insert(lines.end(), folder.problems.begin(), folder.problems.end());
    return lines;
}

CExportDialog::CExportDialog(IFolderChooser& chooser, std::string strSource, const std::string& strLastDir,
                             const std::string& strLastFormat, bool bRecover, QWidget* parent)
    : QDialog(parent), m_chooser(chooser), m_strSource(std::move(strSource))
{
    setObjectName(QStringLiteral("ExportDialog"));
    setWindowTitle(QStringLiteral("Export"));
    const bool bDirectory = IsDirectory(m_strSource);

    auto* source = new QLabel(TextFromBytes(m_strSource), this);
    source->setTextInteractionFlags(Qt::TextSelectableByMouse);
    source->setWordWrap(true);

    const std::string strParent = IsDirectory(strLastDir) ? strLastDir : HomeDirectory();
    m_pDestination = new QLineEdit(TextFromBytes(SuggestedDestination(strParent, m_strSource)), this);
    m_pDestination->setMinimumWidth(360);
    m_pBrowse = new QPushButton(QStringLiteral("&Browse..."), this);
    connect(m_pBrowse, &QPushButton::clicked, this, &CExportDialog::OnBrowse);
    auto* destinationRow = new QHBoxLayout;
    destinationRow->addWidget(m_pDestination, 1);
    destinationRow->addWidget(m_pBrowse);

    m_pFormat = new QComboBox(this);
    for (const FormatChoice& choice : kFormats)
        m_pFormat->addItem(QString::fromLatin1(choice.label), static_cast<int>(choice.format));
    m_pFormat->setCurrentIndex(
        m_pFormat->findData(static_cast<int>(ExportFormatFromName(strLastFormat, ExportFormat::Mbox))));

    m_pSubdirectories = new QCheckBox(QStringLiteral("Include &sub-directories"), this);
    // A whole archive is what a directory is exported for; a mail folder has nothing below it.
    m_pSubdirectories->setChecked(bDirectory);
    m_pSubdirectories->setEnabled(bDirectory);
    m_pRecover = new QCheckBox(QStringLiteral("Also the messages found &outside each folder's index"), this);
    m_pRecover->setChecked(bRecover);
    m_pIntoExisting = new QCheckBox(QStringLiteral("Add to an &existing directory (no file in it is replaced)"), this);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Export:"), source);
    auto* into = new QLabel(QStringLiteral("&Into:"), this);
    into->setBuddy(m_pDestination);
    form->addRow(into, destinationRow);
    form->addRow(QStringLiteral("&Format:"), m_pFormat);

    auto* buttons = new QDialogButtonBox(this);
    m_pExport = buttons->addButton(QStringLiteral("&Export"), QDialogButtonBox::AcceptRole);
    m_pExport->setDefault(true);
    buttons->addButton(QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_pDestination, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_pExport->setEnabled(!text.trimmed().isEmpty()); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_pSubdirectories);
    layout->addWidget(m_pRecover);
    layout->addWidget(m_pIntoExisting);
    layout->addWidget(buttons);
}

std::string CExportDialog::DestinationPath() const
{
    std::string path = PathToBytes(m_pDestination->text().trimmed());
    if (path == "~")
        return HomeDirectory();
    if (path.rfind("~/", 0) == 0)
        return JoinPath(HomeDirectory(), path.substr(2));
    if (!path.empty() && path.front() != '/')
        return JoinPath(HomeDirectory(), path);
    return path;
}

void CExportDialog::OnBrowse()
{
    // The nearest directory that is there: the destination itself is usually still to be made.
    fs::path start = DestinationPath();
    while (!start.empty() && start != start.root_path() && !IsDirectory(start.string()))
        start = start.parent_path();
    std::string chosen;
    if (m_chooser.ChooseFolder(QStringLiteral("Export into"), start.string(), this, chosen) != IDOK || chosen.empty())
        return;
    // A directory that holds files already gets a new one inside, unless the export is to add to it.
    if (!m_pIntoExisting->isChecked() && !IsEmptyDirectory(chosen))
        chosen = SuggestedDestination(chosen, m_strSource);
    m_pDestination->setText(TextFromBytes(chosen));
}

ExportRequest CExportDialog::Request() const
{
    ExportRequest request;
    request.strSource = m_strSource;
    request.strDestination = DestinationPath();
    request.format = static_cast<ExportFormat>(m_pFormat->currentData().toInt());
    request.bRecursive = m_pSubdirectories->isEnabled() && m_pSubdirectories->isChecked();
    request.bRecover = m_pRecover->isChecked();
    request.bIntoExisting = m_pIntoExisting->isChecked();
    return request;
}

std::optional<ExportRequest> CExportAsker::AskExport(const ExportQuestion& question, QWidget* parent)
{
    CExportDialog dialog(m_chooser, question.strSource, question.strLastDir, question.strLastFormat,
                         question.bRecover, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.Request();
}

CExportProgressDialog::CExportProgressDialog(const ExportRequest& request, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ExportProgressDialog"));
    setWindowTitle(QStringLiteral("Exporting"));
    auto* what = new QLabel(TextFromBytes(request.strSource) + QStringLiteral("\ninto ") +
                                TextFromBytes(request.strDestination),
                            this);
    what->setWordWrap(true);
    m_pBar = new QProgressBar(this);
    m_pBar->setRange(0, 0);  // busy until the first report tells the size of the work
    m_pFolder = new QLabel(this);
    m_pCounts = new QLabel(QStringLiteral("Starting..."), this);
    m_pTimeLeft = new QLabel(this);
    m_pCurrent = new QLabel(this);
    m_pCurrent->setWordWrap(true);
    m_pCancel = new QPushButton(QStringLiteral("Cancel"), this);
    connect(m_pCancel, &QPushButton::clicked, this, &CExportProgressDialog::cancelClicked);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(what);
    layout->addWidget(m_pBar);
    layout->addWidget(m_pFolder);
    layout->addWidget(m_pCounts);
    layout->addWidget(m_pTimeLeft);
    layout->addWidget(m_pCurrent);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_pCancel);
    layout->addLayout(buttons);
    setMinimumWidth(420);
}

void CExportProgressDialog::ShowProgress(const ExportProgress& progress)
{
    if (progress.nSourceTotal > 0) {
        // Per mille of the bytes read: the bar's range is an int, the sources may not fit one.
        m_pBar->setRange(0, 1000);
        m_pBar->setValue(static_cast<int>(std::min<std::uint64_t>(
            1000, progress.nSourceDone * 1000 / progress.nSourceTotal)));
    }
    m_pFolder->setText(QStringLiteral("Folders: %1 of %2").arg(progress.nFoldersDone).arg(progress.nFolders));
    m_pCounts->setText(QStringLiteral("Messages: %1, %2").arg(progress.nMessages).arg(MegaBytes(progress.nBytes)));
    const double seconds = progress.SecondsLeft();
    if (seconds >= 0) {
        const auto whole = static_cast<long long>(seconds + 0.5);
        m_pTimeLeft->setText(whole >= 60 ? QStringLiteral("About %1 min %2 s left").arg(whole / 60).arg(whole % 60)
                                         : QStringLiteral("About %1 s left").arg(whole));
    }
    m_pCurrent->setText(TextFromBytes(progress.strCurrent));
}

void CExportProgressDialog::ShowCancelling()
{
    m_pCancel->setEnabled(false);
    m_pCancel->setText(QStringLiteral("Cancelling..."));
}

QString CExportProgressDialog::Text() const
{
    return QStringList{m_pFolder->text(), m_pCounts->text(), m_pTimeLeft->text(), m_pCurrent->text()}.join('\n');
}

void CExportProgressDialog::reject()
{
    // Escape and the close box ask the run to stop; the dialog goes when the run has ended.
    if (m_pCancel->isEnabled())
        emit cancelClicked();
}

CExportSummaryDialog::CExportSummaryDialog(const QString& title, const std::vector<std::string>& lines,
                                           QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("ExportSummaryDialog"));
    setWindowTitle(title);
    m_pText = new QPlainTextEdit(this);
    m_pText->setReadOnly(true);
    m_pText->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    QStringList text;
    for (const std::string& line : lines)
        text << TextFromBytes(line);
    m_pText->setPlainText(text.join('\n'));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pText);
    layout->addWidget(buttons);
    resize(560, 280);
}

QString CExportSummaryDialog::Text() const { return m_pText->toPlainText(); }
