// Quillory, the window.

#include <QApplication>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "app/FolderDialog.h"
#include "core/QuilloryApp.h"
#include "core/StartPath.h"
#include "model/listax.h"
#include "app/WindowApp.h"
#include "platform/Seams.h"
#include "view/QuilloryView.h"
#include "reader/ReaderPage.h"
#include "view/ResScheme.h"

namespace {

constexpr const char* kHelp =
    "Usage: quillory [PATH]\n"
    "       quillory --help | --version\n"
    "\n"
    "Lists stored mail: a directory's sub-directories, mail-folder files (.dbx) and message\n"
    "files (.eml, .msg), and the messages inside a mail folder; a click saves a message.\n"
    "\n"
    "  PATH       where to start. A directory or a mail-folder file is listed at once (going\n"
    "             up from a mail folder lists its directory); any other file lists its\n"
    "             directory with the file's row selected. Without PATH, or when PATH cannot\n"
    "             be read (a message box says why), Quillory asks for a directory.\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n"
    "  --         what follows is PATH, even when it starts with \"-\"\n"
    "\n"
    "Environment:\n"
    "  QUILLORY_CHOOSE_DIR          answers the start-up question for a directory, for tests and\n"
    "                               demonstrations; a PATH that can be listed asks none\n"
    "  XDG_CONFIG_HOME              where the settings are kept, in Quillory/settings\n"
    "                               (default ~/.config)\n"
    "  QTWEBENGINE_DISABLE_SANDBOX  1 runs the embedded browser without its sandbox; Quillory\n"
    "                               sets it itself when it runs as root\n"
    "  QT_QPA_PLATFORM              the display Qt draws on: xcb, wayland, offscreen, ...\n"
    "  QT_QUICK_BACKEND             how the pages are drawn; Quillory chooses \"software\" itself\n"
    "                               where OpenGL runs on the processor, unless this is set\n";

// Prints text to standard output; 0, or 1 after saying why it could not.
int PrintAndExit(const char* text)
{
    if (std::fputs(text, stdout) >= 0 && std::fflush(stdout) == 0)
        return 0;
    std::perror("quillory: cannot write to standard output");
    return 1;
}

// QUILLORY_CHOOSE_DIR answers the start-up question with that directory, so that a screenshot or
// a demo can run without anyone at the keyboard. Later questions go to the real chooser, and so
// does every question once start-up is over, asked or not.
class PresetFolderChooser : public IFolderChooser {
public:
    explicit PresetFolderChooser(std::string path) : m_strPath(std::move(path)) {}

    void EndStartUp() { m_bUsed = true; }

    int ChooseFolder(const QString& title, const std::string& initialPath, QWidget* parent,
                     std::string& chosen) override
    {
        if (!m_bUsed) {
            m_bUsed = true;
            chosen = m_strPath;
            return IDOK;
        }
        return m_real.ChooseFolder(title, initialPath, parent, chosen);
    }

private:
    std::string m_strPath;
    bool m_bUsed = false;
    CFolderChooser m_real;
};

} // namespace

int main(int argc, char* argv[])
{
    // Answered before anything else starts, so that they need no display.
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return PrintAndExit(kHelp);
        if (std::strcmp(argv[i], "--version") == 0)
            return PrintAndExit("quillory " QUILLORY_VERSION "\n");
    }

    // The browser's sandbox refuses to run as root; the program then runs without it.
    if (::geteuid() == 0 && !std::getenv("QTWEBENGINE_DISABLE_SANDBOX")) {
        ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
        std::fputs("quillory: running as root, so the browser sandbox is disabled\n", stderr);
    }
    RegisterResScheme();  // before the application object exists, as the browser requires
    RegisterReaderScheme();
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillory"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLORY_VERSION));
    // The window system matches the window to the installed desktop entry by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("quillory"));
    ChooseRendering();  // before the first page is made

    // Qt has taken its own options out of argv; the path's bytes are used as they are, whatever
    // the locale would make of them.
    const std::string startPath = StartPathArgument(argc, argv);

    CQuilloryApp app;
    WindowSeams seams;
    std::unique_ptr<PresetFolderChooser> preset;
    if (const char* dir = std::getenv("QUILLORY_CHOOSE_DIR"); dir && *dir) {
        preset = std::make_unique<PresetFolderChooser>(dir);
        seams.pFolderChooser = preset.get();
    }
    CWindowApp window(app, seams);
    const bool bStarted = window.InitInstance(startPath);
    if (preset)
        preset->EndStartUp();
    if (!bStarted)
        return 0;
    return qapp.exec();
}
