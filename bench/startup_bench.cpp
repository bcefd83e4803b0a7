// Start-up of the window, from launching the program to the moment it asks for the base directory.
// Each run starts a fresh process (this program with --once), since the browser can be started only
// once per process; the child answers the question with Cancel, so it ends right there.
//
//   startup_bench [runs]      default 5; prints each run and the median

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "app/FolderDialog.h"
#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "app/WindowApp.h"
#include "platform/Seams.h"
#include "view/ResScheme.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Tells the parent the moment the question comes, with the time spent inside this process.
class SignallingChooser : public IFolderChooser {
public:
    explicit SignallingChooser(Clock::time_point start) : m_start(start) {}
    int ChooseFolder(const QString&, const std::string&, QWidget*, std::string&) override
    {
        std::printf("asked %.1f\n", MsSince(m_start));
        std::fflush(stdout);
        return IDCANCEL;
    }

private:
    Clock::time_point m_start;
};

int RunOnce(int argc, char* argv[])
{
    const Clock::time_point start = Clock::now();
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu", 0);
    if (::geteuid() == 0)
        ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    RegisterResScheme();
    QApplication qapp(argc, argv);

    CQuilloryApp app;
    SignallingChooser chooser(start);
    RecordingMessageBox messages;
    WindowSeams seams;
    seams.pFolderChooser = &chooser;
    seams.pMessageBox = &messages;
    CWindowApp window(app, seams);
    window.InitInstance();
    return 0;
}

// One launch: from fork to the child's "asked" line. Returns false when the child never asked.
bool TimeOneLaunch(const char* self, const std::string& configDir, double& launchMs, double& insideMs)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    const Clock::time_point start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDERR_FILENO);
        ::close(fds[0]);
        ::setenv("XDG_CONFIG_HOME", configDir.c_str(), 1);
        ::execl(self, self, "--once", static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    ::close(fds[1]);
    std::string line;
    char c = 0;
    while (::read(fds[0], &c, 1) == 1 && c != '\n')
        line += c;
    launchMs = MsSince(start);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return std::sscanf(line.c_str(), "asked %lf", &insideMs) == 1;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc > 1 && std::strcmp(argv[1], "--once") == 0)
        return RunOnce(argc, argv);

    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    char configTemplate[] = "/tmp/quillory-startup-XXXXXX";
    const char* configDir = ::mkdtemp(configTemplate);
    if (!configDir)
        return 1;

    std::vector<double> launches;
    for (int i = 0; i < runs; ++i) {
        double launchMs = 0, insideMs = 0;
        if (!TimeOneLaunch("/proc/self/exe", configDir, launchMs, insideMs)) {
            std::fprintf(stderr, "startup_bench: run %d never reached the question\n", i + 1);
            return 1;
        }
        std::printf("run %d: launch to the base-directory question %.0f ms (%.0f ms inside the process)\n",
                    i + 1, launchMs, insideMs);
        launches.push_back(launchMs);
    }
    std::sort(launches.begin(), launches.end());
    std::printf("start-up to the base-directory question: median %.0f ms over %d runs (target under 2000 ms)\n",
                launches[launches.size() / 2], runs);
    std::error_code ec;
    std::filesystem::remove_all(configDir, ec);
    return 0;
}
