#pragma once
// What the window benchmarks share: a folder chooser that answers with one directory, running the
// event loop until something has happened, and a headless browser.

#include <QtGlobal>
#include <functional>
#include <string>
#include <unistd.h>

#include "EventLoopWait.h"

#include "app/FolderDialog.h"
#include "platform/Seams.h"

namespace bench {

class PresetChooser : public IFolderChooser {
public:
    explicit PresetChooser(std::string dir) : m_dir(std::move(dir)) {}
    int ChooseFolder(const QString&, const std::string&, QWidget*, std::string& chosen) override
    {
        chosen = m_dir;
        return IDOK;
    }

private:
    std::string m_dir;
};

// Runs the event loop until done() holds; false when limitMs passed first. It looks every
// millisecond, so that a wait adds at most that to a timing.
inline bool Until(const std::function<bool()>& done, int limitMs = 120000) { return SpinUntil(done, limitMs, 1); }

// Headless unless told otherwise, as the tests run; on a display, the program's own choice of
// rendering. The browser's sandbox cannot run as root.
inline void UseHeadlessBrowser()
{
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen" && qgetenv("QTWEBENGINE_CHROMIUM_FLAGS").isEmpty())
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
}

} // namespace bench
