#pragma once
// The window's half of the application: it gives the core its real seams, builds the frame and
// runs start-up. Anything a test must answer itself (the folder chooser, message boxes, the save
// dialog, the settings folder) can be handed in; what is not handed in is the real thing.

#include <memory>
#include <string>

#include "app/MainFrame.h"

class CQuilloryApp;
class CQtMessageBox;
class CQtSaveDialog;
class IFolderChooser;
class IMessageBox;
class ISaveDialog;
class SettingsStore;

// Where OpenGL runs on the processor, has the browser's pages drawn by Qt Quick's software
// renderer instead, which is several times faster there. Call once the QApplication exists and
// before the first window is made.
void ChooseRendering();

struct WindowSeams {
    IFolderChooser* pFolderChooser = nullptr;
    IMessageBox* pMessageBox = nullptr;
    ISaveDialog* pSaveDialog = nullptr;
    SettingsStore* pSettings = nullptr;
    bool bSplash = true;  // show the start-up picture
};

class CWindowApp : public ICommandTarget {
public:
    explicit CWindowApp(CQuilloryApp& app, WindowSeams seams = {});
    ~CWindowApp() override;
    CWindowApp(const CWindowApp&) = delete;
    CWindowApp& operator=(const CWindowApp&) = delete;

    // Start-up: settings, the window, the splash, the first listing (which completes once the page
    // has loaded). strStartPath is where to start (quillory PATH): a directory or a mail-folder
    // file is listed at once, another file lists its directory with its row selected. Without
    // one, or when it cannot be listed (the user is told why), the base-directory question is
    // asked. True to run the event loop; false when the user cancelled the question, and the
    // program then ends without listing anything.
    bool InitInstance(const std::string& strStartPath = {});

    // The application's commands: About and New.
    bool OnCommand(int nID) override;
    void OnAppAbout();

    [[nodiscard]] CMainFrame* MainFrame() const { return m_pFrame.get(); }

private:
    CQuilloryApp& m_app;
    WindowSeams m_seams;
    std::unique_ptr<IFolderChooser> m_pOwnChooser;
    std::unique_ptr<CQtMessageBox> m_pOwnMessageBox;
    std::unique_ptr<CQtSaveDialog> m_pOwnSaveDialog;
    std::unique_ptr<SettingsStore> m_pOwnSettings;
    std::unique_ptr<CMainFrame> m_pFrame;
};
