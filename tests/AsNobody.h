#pragma once
// Runs a piece of a test in a child process as a user without privileges (root, dropped to
// nobody, or the user running the tests), so that permissions bind it as they bind a person.

#include <functional>
#include <grp.h>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

// What said returns, read back from the child; nullopt (with a failure recorded) when the child
// could not drop its privileges or report.
inline std::optional<std::string> SaidAsNobody(const std::function<std::string()>& said)
{
    int report[2];
    if (::pipe(report) != 0) {
        ADD_FAILURE() << "no pipe";
        return std::nullopt;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        ADD_FAILURE() << "no fork";
        return std::nullopt;
    }
    if (child == 0) {
        ::close(report[0]);
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        const std::string text = said();
        const bool bWritten = ::write(report[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
        ::_exit(bWritten ? 0 : 4);
    }
    ::close(report[1]);
    std::string text;
    char buffer[1024];
    for (ssize_t n; (n = ::read(report[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(report[0]);
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        ADD_FAILURE() << "the child ended with status " << status << " (exit 3: could not drop to nobody, 4: could not report)";
        return std::nullopt;
    }
    return text;
}
