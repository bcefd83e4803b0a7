// Quillory, the window.

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "app/FolderDialog.h"
#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "app/WindowApp.h"
#include "platform/Seams.h"
#include "view/QuilloryView.h"
#include "reader/ReaderPage.h"
#include "view/ResScheme.h"

namespace {

// QUILLORY_CHOOSE_DIR answers the start-up question with that directory, so that a screenshot or
// a demo can run without anyone at the keyboard. Later questions go to the real chooser.
class PresetFolderChooser : public IFolderChooser {
public:
    explicit PresetFolderChooser(std::string path) : m_strPath(std::move(path)) {}

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
    // Answered before anything else starts, so that it needs no display.
    if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
        if (std::printf("quillory %s\n", QUILLORY_VERSION) >= 0 && std::fflush(stdout) == 0)
            return 0;
        std::perror("quillory: cannot write to standard output");
        return 1;
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
    ChooseRendering();  // before the first page is made

    CQuilloryApp app;
    WindowSeams seams;
    std::unique_ptr<PresetFolderChooser> preset;
    if (const char* dir = std::getenv("QUILLORY_CHOOSE_DIR"); dir && *dir) {
        preset = std::make_unique<PresetFolderChooser>(dir);
        seams.pFolderChooser = preset.get();
    }
    CWindowApp window(app, seams);
    if (!window.InitInstance())
        return 0;
    return qapp.exec();
}
