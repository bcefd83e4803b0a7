#pragma once
// What the window benchmarks share: a folder chooser that answers with one directory, and running
// the event loop until something has happened.

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>
#include <string>

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

// Runs the event loop until done() holds; false when limitMs passed first.
inline bool Until(const std::function<bool()>& done, int limitMs = 120000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

} // namespace bench
