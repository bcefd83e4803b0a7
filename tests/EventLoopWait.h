#pragma once
// Running the event loop until something has happened, for the window tests and benchmarks.

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>

// Runs the event loop until done() holds; false when limitMs passed first. Each turn really waits
// pollMs, so that whatever runs when the program is idle runs here too.
inline bool SpinUntil(const std::function<bool()>& done, int limitMs = 30000, int pollMs = 5)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(pollMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}
