#include "app/FolderDialog.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <climits>

#include "platform/Seams.h"

// The browser calls back into its owner before it accepts a name, which is where a name that is no
// directory gets the beep instead of the dialog's own box.
class CFolderDialog::BrowserDialog : public QFileDialog {
public:
    BrowserDialog(CFolderDialog& owner, QWidget* parent, const QString& title)
        : QFileDialog(parent, title), m_owner(owner)
    {
    }

    void accept() override
    {
        const QStringList files = selectedFiles();
        const QString name = files.isEmpty() ? QString() : files.first();
        if (!QFileInfo(name).isDir() && m_owner.OnBadName(name) != 0)
            return;
        QFileDialog::accept();
    }

private:
    CFolderDialog& m_owner;
};

CFolderDialog::CFolderDialog(QString title, const std::string& initialPath, QWidget* parent,
                             unsigned flags)
    : m_strTitle(std::move(title)), m_pParent(parent), m_nFlags(flags)
{
    if (initialPath.size() < PATH_MAX)
        m_szInitialPath = initialPath;
}

CFolderDialog::~CFolderDialog() = default;

int CFolderDialog::DoModal()
{
    m_szChosenPath.clear();
    BrowserDialog browser(*this, m_pParent, m_strTitle);
    // Qt's own browser behaves the same on every desktop, and tests and screenshots rely on that.
    browser.setOption(QFileDialog::DontUseNativeDialog, true);
    browser.setFileMode(QFileDialog::Directory);
    browser.setOption(QFileDialog::ShowDirsOnly, (m_nFlags & BIF_RETURNONLYFSDIRS) != 0);
    browser.setAcceptMode(QFileDialog::AcceptOpen);
    QObject::connect(&browser, &QFileDialog::currentChanged, &browser,
                     [this](const QString& path) { OnSelectionChange(path); });

    m_pBrowser = &browser;
    OnBrowserReady();
    const int result = browser.exec();
    m_pBrowser = nullptr;

    if (result != QDialog::Accepted)
        return IDCANCEL;
    const QStringList files = browser.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty())
        return -1;
    m_szChosenPath = QFile::encodeName(files.first()).toStdString();
    return IDOK;
}

void CFolderDialog::SelectPath(const std::string& path)
{
    if (!m_pBrowser)
        return;
    const QString name = QFile::decodeName(QByteArray::fromStdString(path));
    const QFileInfo info(name);
    if (info.isDir()) {
        // Open the directory's parent with the directory selected, so OK chooses it at once.
        m_pBrowser->setDirectory(info.absolutePath());
        m_pBrowser->selectFile(info.absoluteFilePath());
    } else if (info.exists()) {
        // A mail-folder file being listed: start where it lies.
        m_pBrowser->setDirectory(info.absolutePath());
    }
    // A path that does not exist leaves the browser where it chose to start.
}

void CFolderDialog::OnBrowserReady()
{
    if (!m_szInitialPath.empty())
        SelectPath(m_szInitialPath);
}

void CFolderDialog::OnSelectionChange(const QString&) {}

int CFolderDialog::OnBadName(const QString&)
{
    QApplication::beep();
    return 1;
}

int CFolderChooser::ChooseFolder(const QString& title, const std::string& initialPath,
                                 QWidget* parent, std::string& chosen)
{
    CFolderDialog dialog(title, initialPath, parent, BIF_RETURNONLYFSDIRS);
    const int result = dialog.DoModal();
    chosen = dialog.GetChosenPath();
    return result;
}
