#include "app/WindowApp.h"

#include <QGuiApplication>
#include <QIcon>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <unistd.h>

#include "app/AboutDialog.h"
#include "app/FolderDialog.h"
#include "app/FrameIds.h"
#include "app/QtSeams.h"
#include "core/QuilloryApp.h"
#include "core/StartPath.h"
#include "model/listax.h"
#include "app/SplashFrame.h"
#include "app/StringTable.h"
#include "platform/SettingsStore.h"
#include "view/QuilloryView.h"

namespace {

std::string CurrentDirectory()
{
    std::string buffer(4096, '\0');
    if (!::getcwd(buffer.data(), buffer.size()))
        return {};
    buffer.resize(std::char_traits<char>::length(buffer.c_str()));
    return buffer;
}

// True when OpenGL is drawn by the processor (Mesa's llvmpipe and the like, as under Xvfb or on a
// machine without a graphics driver), or is not there at all.
bool OpenGlIsSoftware()
{
    QOpenGLContext context;
    QOffscreenSurface surface;
    surface.create();
    if (!context.create() || !context.makeCurrent(&surface))
        return true;
    const auto* renderer = reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
    const QByteArray name = QByteArray(renderer ? renderer : "").toLower();
    context.doneCurrent();
    return name.contains("llvmpipe") || name.contains("softpipe") || name.contains("software") ||
           name.contains("swrast");
}

} // namespace

// The browser's pages reach the window through Qt Quick. Where OpenGL runs on the processor,
// drawing them through it costs several times what Qt Quick's own software renderer does (a
// listing's page takes a tenth of a second or more a frame on two cores), so the window then
// uses that renderer, and the browser does not look for a graphics processor. A choice already
// made in the environment stands.
void ChooseRendering()
{
    if (!qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND") ||
        QGuiApplication::platformName() == QLatin1String("offscreen") || !OpenGlIsSoftware())
        return;
    qputenv("QT_QUICK_BACKEND", "software");
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--disable-gpu"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", (flags + " --disable-gpu").trimmed());
}

CWindowApp::CWindowApp(CQuilloryApp& app, WindowSeams seams) : m_app(app), m_seams(seams)
{
    if (!m_seams.pFolderChooser) {
        m_pOwnChooser = std::make_unique<CFolderChooser>();
        m_seams.pFolderChooser = m_pOwnChooser.get();
    }
    if (!m_seams.pMessageBox) {
        m_pOwnMessageBox = std::make_unique<CQtMessageBox>();
        m_seams.pMessageBox = m_pOwnMessageBox.get();
    }
    if (!m_seams.pSaveDialog) {
        m_pOwnSaveDialog = std::make_unique<CQtSaveDialog>();
        m_seams.pSaveDialog = m_pOwnSaveDialog.get();
    }
    if (!m_seams.pSettings) {
        m_pOwnSettings = std::make_unique<SettingsStore>();
        m_seams.pSettings = m_pOwnSettings.get();
    }
    // Every seam is in place before anything can report through it.
    m_app.m_pMessageBox = m_seams.pMessageBox;
    m_app.m_pSaveDialog = m_seams.pSaveDialog;
    m_app.m_pSettings = m_seams.pSettings;
}

CWindowApp::~CWindowApp()
{
    m_pFrame.reset();
    m_app.m_pView = nullptr;
    m_app.m_pMainFrame = nullptr;
    m_app.m_pStatus = nullptr;
    m_app.m_pMessageBox = nullptr;
    m_app.m_pSaveDialog = nullptr;
    m_app.m_pSettings = nullptr;
}

bool CWindowApp::InitInstance(const std::string& strStartPath)
{
    // Nothing here needs a sockets or component layer set up first; the failure texts of those
    // steps stay in the string table (100, 104) so that the ids keep their meaning.

    m_app.ReadSettings();  // start-up goes on whatever it found

    m_pFrame = std::make_unique<CMainFrame>(m_app, *m_seams.pFolderChooser, this);
    if (m_pOwnMessageBox)
        m_pOwnMessageBox->SetOwner(m_pFrame.get());
    if (m_pOwnSaveDialog)
        m_pOwnSaveDialog->SetOwner(m_pFrame.get());

    const std::string cwd = CurrentDirectory();
    if (m_app.m_strCurrentDir.empty())
        m_app.m_strCurrentDir = cwd;
    if (m_app.m_strSaveDir.empty())
        m_app.m_strSaveDir = cwd;

    m_pFrame->show();
    m_app.m_pMainFrame = m_pFrame.get();
    m_app.m_pStatus = m_pFrame.get();
    m_pFrame->setWindowIcon(QIcon(QStringLiteral(":/app/quillory.png")));
    m_pFrame->setWindowTitle(QString::fromLatin1(kAppTitle));
    m_pFrame->InstallMenu();

    if (m_seams.bSplash)
        new CSplashFrame;  // deletes itself when its time is up

    const StartPlan plan = PlanStartPath(strStartPath, cwd);
    if (!plan.strMessage.empty())
        m_app.ShowMessage(plan.strMessage);
    switch (plan.action) {
    case StartAction::ListMailFolder:
        // Going up from the file lists its directory, as after a click on the file there.
        m_app.m_strTargetDir = plan.strDirectory;
        m_app.m_strCurrentDir = plan.strMailFolder;
        m_pFrame->ListMailFolderFile();
        return true;
    case StartAction::ListDirectory:
        m_app.m_strCurrentDir = plan.strDirectory;
        if (!plan.strSelectName.empty())
            m_pFrame->View()->SelectOnNextFill(plan.strSelectName);
        break;
    case StartAction::AskForFolder:
        if (!m_pFrame->ChooseBaseFolder(m_app.m_strCurrentDir))
            return false;
        break;
    }

    // The first listing goes the way of every other: the place becomes the go-up target, so the
    // Open command's cancel relists it, and the scan and fill run once the page has loaded, so
    // they never race the page's first load.
    m_app.m_strTargetDir = m_app.m_strCurrentDir;
    m_app.m_pCurrentEntry = nullptr;
    m_pFrame->GoToFolder(false);
    return true;
}

bool CWindowApp::OnCommand(int nID)
{
    switch (nID) {
    case ID_APP_ABOUT:
        OnAppAbout();
        return true;
    case ID_FILE_NEW:
        // A new document re-initialises the view: the page reloads and is refilled from the
        // entries as they are.
        if (m_pFrame && m_pFrame->View())
            m_pFrame->View()->OnInitialUpdate();
        return true;
    default:
        return false;
    }
}

void CWindowApp::OnAppAbout()
{
    CAboutDlg dialog(m_pFrame.get());
    dialog.exec();
}
