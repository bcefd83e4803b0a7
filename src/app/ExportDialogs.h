#pragma once
// The dialogs of an export: the question before it (where to, which format, what to take), the
// progress while it runs, with its Cancel, and the summary at its end.

#include <QDialog>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "export/ExportRun.h"

class IFolderChooser;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

// A directory in parent named after the source ("Inbox" for Inbox.dbx, a directory's own name),
// numbered ("Inbox (2)", ...) while the name is taken, so that the export can make it anew.
[[nodiscard]] std::string SuggestedDestination(const std::string& strParent, const std::string& strSource);

// The format a settings value names (as ExportFormatName writes it); fallback for anything else.
[[nodiscard]] ExportFormat ExportFormatFromName(const std::string& strName, ExportFormat fallback);

// The summary as the window shows it: the totals, then every problem of the run and of each
// folder, a line each.
[[nodiscard]] std::vector<std::string> ExportReportLines(const ExportSummary& summary, const ExportRequest& request);

// Asks how to export a mail-folder file or a directory. The destination starts as a new directory
// beside the last one (strLastDir, else the home directory); Browse... asks the chooser, and a
// chosen directory that holds files already gets a new directory inside it, unless the export is
// to add to an existing one.
class CExportDialog : public QDialog {
    Q_OBJECT
public:
    CExportDialog(IFolderChooser& chooser, std::string strSource, const std::string& strLastDir,
                  const std::string& strLastFormat, bool bRecover, QWidget* parent);

    // What the answers ask for.
    [[nodiscard]] ExportRequest Request() const;

    // Parts, for tests.
    [[nodiscard]] QLineEdit* DestinationField() const { return m_pDestination; }
    [[nodiscard]] QComboBox* FormatBox() const { return m_pFormat; }
    [[nodiscard]] QCheckBox* SubdirectoriesBox() const { return m_pSubdirectories; }
    [[nodiscard]] QCheckBox* RecoverBox() const { return m_pRecover; }
    [[nodiscard]] QCheckBox* IntoExistingBox() const { return m_pIntoExisting; }
    [[nodiscard]] QPushButton* BrowseButton() const { return m_pBrowse; }
    [[nodiscard]] QPushButton* ExportButton() const { return m_pExport; }

private:
    void OnBrowse();
    // The destination as typed, as a full path ("~" and a relative path from the home directory).
    [[nodiscard]] std::string DestinationPath() const;

    IFolderChooser& m_chooser;
    const std::string m_strSource;
    QLineEdit* m_pDestination = nullptr;
    QComboBox* m_pFormat = nullptr;
    QCheckBox* m_pSubdirectories = nullptr;
    QCheckBox* m_pRecover = nullptr;
    QCheckBox* m_pIntoExisting = nullptr;
    QPushButton* m_pBrowse = nullptr;
    QPushButton* m_pExport = nullptr;
};

// What the frame asks before an export: where the last one went and in which format, and whether
// recovered messages are shown.
struct ExportQuestion {
    std::string strSource;
    std::string strLastDir;
    std::string strLastFormat;
    bool bRecover = false;
};

// Asks the question: nullopt when the user gave up. The window answers with CExportDialog; a test
// answers with a script.
class IExportAsker {
public:
    virtual ~IExportAsker() = default;
    virtual std::optional<ExportRequest> AskExport(const ExportQuestion& question, QWidget* parent) = 0;
};

class CExportAsker : public IExportAsker {
public:
    explicit CExportAsker(IFolderChooser& chooser) : m_chooser(chooser) {}
    std::optional<ExportRequest> AskExport(const ExportQuestion& question, QWidget* parent) override;

private:
    IFolderChooser& m_chooser;
};

// The progress of a run: messages and bytes written, folders done of all, the time left, the
// folder being read, and Cancel. Escape and the close box cancel too; the dialog stays until the
// run has ended.
class CExportProgressDialog : public QDialog {
    Q_OBJECT
public:
    CExportProgressDialog(const ExportRequest& request, QWidget* parent);

    void ShowProgress(const ExportProgress& progress);
    // The run was asked to stop: Cancel is greyed and says so.
    void ShowCancelling();

    [[nodiscard]] QPushButton* CancelButton() const { return m_pCancel; }
    // The lines shown, for tests.
    [[nodiscard]] QString Text() const;

signals:
    void cancelClicked();

protected:
    void reject() override;

private:
    QLabel* m_pFolder = nullptr;
    QLabel* m_pCounts = nullptr;
    QLabel* m_pTimeLeft = nullptr;
    QLabel* m_pCurrent = nullptr;
    QProgressBar* m_pBar = nullptr;
    QPushButton* m_pCancel = nullptr;
};

// The summary of a run, in a text that scrolls however many folders had something to say.
class CExportSummaryDialog : public QDialog {
    Q_OBJECT
public:
    CExportSummaryDialog(const QString& title, const std::vector<std::string>& lines, QWidget* parent);

    [[nodiscard]] QString Text() const;

private:
    QPlainTextEdit* m_pText = nullptr;
};
