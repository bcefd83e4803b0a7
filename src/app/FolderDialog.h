#pragma once
// Choosing a directory: the chooser seam the frame asks through, and CFolderDialog, the modal
// directory browser that answers it for a person.

#include <QString>
#include <string>

class QFileDialog;
class QWidget;

// Browse flags, as numeric bits.
inline constexpr unsigned BIF_RETURNONLYFSDIRS = 0x0001;  // only file-system directories

// Asks for a directory. Returns IDOK with chosen set, IDCANCEL when the user gave up, or -1 when a
// choice was made that names no file-system directory (chosen is then empty).
class IFolderChooser {
public:
    virtual ~IFolderChooser() = default;
    virtual int ChooseFolder(const QString& title, const std::string& initialPath, QWidget* parent,
                             std::string& chosen) = 0;
};

// A directory browser on QFileDialog in directory mode, for one choice: construct, DoModal once,
// read GetChosenPath. The hooks are called while the browser is open.
class CFolderDialog {
public:
    // An empty initial path, or one too long for the system, opens without a selection.
    CFolderDialog(QString title, const std::string& initialPath, QWidget* parent, unsigned flags);
    virtual ~CFolderDialog();
    CFolderDialog(const CFolderDialog&) = delete;
    CFolderDialog& operator=(const CFolderDialog&) = delete;

    // IDOK when a directory was chosen, IDCANCEL when cancelled or closed, -1 when the choice has
    // no file-system path.
    virtual int DoModal();
    // The chosen path; empty unless DoModal returned IDOK.
    [[nodiscard]] const std::string& GetChosenPath() const { return m_szChosenPath; }

protected:
    // Selects path in the open browser; does nothing when no browser is open.
    void SelectPath(const std::string& path);
    // The open browser, or null outside DoModal.
    [[nodiscard]] QFileDialog* Browser() const { return m_pBrowser; }

    // The browser is shown: selects the initial path, if any.
    virtual void OnBrowserReady();
    virtual void OnSelectionChange(const QString& path);
    // A typed name that is no directory: beeps and returns 1, which keeps the browser open.
    virtual int OnBadName(const QString& name);

private:
    class BrowserDialog;

    QString m_strTitle;
    std::string m_szInitialPath;
    std::string m_szChosenPath;
    QWidget* m_pParent = nullptr;
    unsigned m_nFlags = 0;
    QFileDialog* m_pBrowser = nullptr;
};

// The chooser a person answers: one CFolderDialog per question.
class CFolderChooser : public IFolderChooser {
public:
    int ChooseFolder(const QString& title, const std::string& initialPath, QWidget* parent,
                     std::string& chosen) override;
};
