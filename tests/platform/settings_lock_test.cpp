// Two programs changing the same settings: the second waits for the first and keeps its values.
// Each case runs a real second process and waits for it to be seen blocked on the lock, so that
// no case depends on how the two happen to be scheduled.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <functional>
#include <sched.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TempDir.h"
#include "platform/SettingsStore.h"

namespace {

// True once /proc/locks lists process pid as waiting for a lock on the file with this inode;
// false when the process ended without ever waiting.
bool SeenWaitingForLock(pid_t pid, ino_t inode, int& status)
{
    const std::string waiter = " " + std::to_string(pid) + " ";
    const std::string file = ":" + std::to_string(inode) + " ";
    for (;;) {
        std::ifstream locks("/proc/locks");
        for (std::string line; std::getline(locks, line);)
            if (line.find("-> FLOCK") != std::string::npos && line.find(waiter) != std::string::npos &&
                line.find(file) != std::string::npos)
                return true;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return false;
        ::sched_yield();
    }
}

} // namespace

TEST(SettingsLockTest, AChangeWaitsForTheLockAndKeepsTheOtherProgramsValues)
{
    struct Case {
        const char* what;
        bool bKeyAbsent;  // when the second program starts
        std::function<bool(SettingsStore&)> change;  // what the second program does
        const char* written;    // what the first program writes while it holds the lock
        const char* expected;   // the file once both are done
    };
    const Case cases[] = {
        {"a value set", false, [](SettingsStore& s) { return s.SetValue("LastDir", "/mine"); },
         "QuilloryKey 1\nSaveDir=/theirs\n", "QuilloryKey 1\nLastDir=/mine\nSaveDir=/theirs\n"},
        // The key did not exist when the second program looked; the first made it meanwhile.
        {"a key created", true, [](SettingsStore& s) { return s.CreateKey(); },
         "QuilloryKey 1\nSaveDir=/theirs\n", "QuilloryKey 1\nSaveDir=/theirs\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        SettingsStore first(dir.Sub("Quillory"));
        ASSERT_TRUE(first.CreateKey());
        if (c.bKeyAbsent)
            std::filesystem::remove(first.FilePath());

        const int lockFd = ::open(first.LockPath().c_str(), O_RDWR | O_CLOEXEC);
        ASSERT_GE(lockFd, 0);
        ASSERT_EQ(::flock(lockFd, LOCK_EX), 0);
        struct stat st {};
        ASSERT_EQ(::fstat(lockFd, &st), 0);

        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // The inherited descriptor shares this process's lock; kept, it would never be released.
            ::close(lockFd);
            SettingsStore second(dir.Sub("Quillory"));
            ::_exit(c.change(second) ? 0 : 1);
        }
        int status = 0;
        const bool bWaited = SeenWaitingForLock(child, st.st_ino, status);
        EXPECT_TRUE(bWaited) << "the second program changed the settings without waiting for the lock";
        dir.Write("Quillory/settings", c.written);
        ::close(lockFd);
        if (bWaited) {
            ASSERT_EQ(::waitpid(child, &status, 0), child);
        }
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_EQ(ReadAll(first.FilePath()), c.expected);
    }
}
