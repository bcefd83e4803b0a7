#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <thread>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TempDir.h"
#include "platform/AtomicFile.h"

namespace {

// The ways a file can reach its place; all but the first are what file systems without unnamed
// temporary files, refusing renames or hard links make the writer do.
struct Route {
    const char* name;
    bool bNoUnnamed;
    bool bNoRenameNoReplace;
    bool bNoHardLinks;
    bool bNoEmptyPathLink = false;
    bool bPrepared = false;  // writers in an open directory take files a second thread made ahead
};
constexpr Route kRoutes[] = {
    {"unnamed temporary", false, false, false},
    {"unnamed temporary, linked through /proc", false, false, false, true},
    {"named, refusing rename", true, false, false},
    {"named, link then unlink", true, true, false},
    {"named, claim then rename", true, true, true},
    {"unnamed temporary, made ahead", false, false, false, false, true},
};

// Every name in folder, hidden ones included, sorted.
std::vector<std::string> NamesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

mode_t CurrentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

unsigned ModeOf(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0xFFFFu;
}

} // namespace

class AtomicFileTest : public ::testing::Test {
protected:
    void TearDown() override { AtomicFileHooks() = AtomicFileTestHooks{}; }

    static void Take(const Route& route)
    {
        AtomicFileHooks() = AtomicFileTestHooks{};
        AtomicFileHooks().bNoUnnamedTemporary = route.bNoUnnamed;
        AtomicFileHooks().bNoRenameNoReplace = route.bNoRenameNoReplace;
        AtomicFileHooks().bNoHardLinks = route.bNoHardLinks;
        AtomicFileHooks().bNoEmptyPathLink = route.bNoEmptyPathLink;
    }

    TempDir dir;
};

TEST_F(AtomicFileTest, AFileThatAppearsBeforePlacementIsKeptUnlessReplacing)
{
    for (const Route& route : kRoutes) {
        for (const ExistingFile existing : {ExistingFile::Keep, ExistingFile::Replace}) {
            const bool bKeep = existing == ExistingFile::Keep;
            SCOPED_TRACE(std::string(route.name) + (bKeep ? ", keep" : ", replace"));
            TempDir out;
            const std::string destination = out.Sub("Msg00001.eml");
            Take(route);
            AtomicFileHooks().beforePlacement = [&](const std::string& path) {
                EXPECT_EQ(path, destination);
                out.Write("Msg00001.eml", "someone else's");
            };
            AtomicFileWriter writer;
            ASSERT_TRUE(writer.Open(destination, {existing}));
            if (route.bNoUnnamed) {
                EXPECT_FALSE(writer.HasUnnamedTemporary());
            }
            ASSERT_TRUE(writer.Write("the message", 11));
            EXPECT_EQ(writer.Commit(), !bKeep);
            EXPECT_EQ(writer.DestinationTaken(), bKeep);
            EXPECT_EQ(ReadAll(destination), bKeep ? "someone else's" : "the message");
            EXPECT_EQ(NamesIn(out.Path()), std::vector<std::string>{"Msg00001.eml"});
        }
    }
}

TEST_F(AtomicFileTest, FailedAndAbandonedWritesLeaveNothing)
{
    enum class Ending { Abandoned, DestroyedUnfinished, WriteFails, DestinationTaken };
    for (const Route& route : kRoutes) {
        for (const Ending ending : {Ending::Abandoned, Ending::DestroyedUnfinished, Ending::WriteFails,
                                    Ending::DestinationTaken}) {
            SCOPED_TRACE(std::string(route.name) + " ending " + std::to_string(static_cast<int>(ending)));
            TempDir out;
            if (ending == Ending::DestinationTaken)
                out.Write("a.eml", "kept");
            Take(route);
            {
                AtomicFileWriter writer;
                ASSERT_TRUE(writer.Open(out.Sub("a.eml"), {ExistingFile::Keep}));
                ASSERT_TRUE(writer.Write("0123456789", 10));
                if (ending == Ending::Abandoned) {
                    writer.Abandon();
                } else if (ending == Ending::WriteFails) {
                    // A file-size limit fails writes for every user, root included, as a full disk would.
                    rlimit old {};
                    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
                    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
                    rlimit small = old;
                    small.rlim_cur = 16;
                    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
                    EXPECT_FALSE(writer.Write("0123456789", 10));
                    ::setrlimit(RLIMIT_FSIZE, &old);
                    std::signal(SIGXFSZ, oldHandler);
                    EXPECT_FALSE(writer.Write("x", 1));
                    EXPECT_FALSE(writer.Commit());
                } else if (ending == Ending::DestinationTaken) {
                    EXPECT_FALSE(writer.Commit());
                }
            }
            const std::vector<std::string> expected =
                ending == Ending::DestinationTaken ? std::vector<std::string>{"a.eml"} : std::vector<std::string>{};
            EXPECT_EQ(NamesIn(out.Path()), expected);
        }
    }
}

TEST_F(AtomicFileTest, TheTemporaryFileFitsAnyValidName)
{
    const std::string longest(250, 'n');  // with ".eml", 254 bytes: one short of the limit
    for (const Route& route : kRoutes) {
        for (const ExistingFile existing : {ExistingFile::Keep, ExistingFile::Replace}) {
            SCOPED_TRACE(route.name);
            TempDir out;
            if (existing == ExistingFile::Replace)
                out.Write(longest + ".eml", "old");
            Take(route);
            AtomicFileWriter writer;
            ASSERT_TRUE(writer.Open(out.Sub(longest + ".eml"), {existing}));
            ASSERT_TRUE(writer.Write("new", 3));
            ASSERT_TRUE(writer.Commit());
            EXPECT_EQ(ReadAll(out.Sub(longest + ".eml")), "new");
            EXPECT_EQ(NamesIn(out.Path()), std::vector<std::string>{longest + ".eml"});
        }
    }
    // One byte over the limit is refused at once, and nothing is created.
    AtomicFileWriter writer;
    EXPECT_FALSE(writer.Open(dir.Sub(std::string(256, 'n'))));
    EXPECT_TRUE(NamesIn(dir.Path()).empty());
}

TEST_F(AtomicFileTest, ANewFileFollowsTheUmaskAndAReplacedOneKeepsItsMode)
{
    struct Case {
        mode_t umask;
        int existingMode;  // -1: no file yet
        unsigned expected;
    };
    const Case cases[] = {
        {022, -1, 0644},
        {077, -1, 0600},
        {002, -1, 0664},
        {022, 0640, 0640},
        {077, 0604, 0604},
        {022, 0400, 0400},
    };
    for (const Route& route : {kRoutes[0], kRoutes[1], kRoutes[2]}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(route.name) + " umask " + std::to_string(c.umask) + " existing " +
                         std::to_string(c.existingMode));
            TempDir out;
            const std::string path = out.Sub("m.eml");
            if (c.existingMode >= 0) {
                out.Write("m.eml", "old");
                ASSERT_EQ(::chmod(path.c_str(), static_cast<mode_t>(c.existingMode)), 0);
            }
            Take(route);
            const mode_t before = ::umask(c.umask);
            AtomicFileWriter writer;
            const bool bOpened = writer.Open(path, {ExistingFile::Replace});
            ::umask(before);
            ASSERT_TRUE(bOpened);
            ASSERT_TRUE(writer.Write("new", 3));
            ASSERT_TRUE(writer.Commit());
            EXPECT_EQ(ModeOf(path), c.expected);
            EXPECT_EQ(ReadAll(path), "new");
        }
    }
}

TEST_F(AtomicFileTest, ASaveEndedBySigtermRemovesItsTemporaryFile)
{
    AtomicFileHooks().bNoUnnamedTemporary = true;  // an unnamed file could not be left behind at all
    const std::string destination = dir.Sub("a.eml");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        AtomicFileWriter writer;
        if (!writer.Open(destination, {ExistingFile::Keep}) || !writer.Write("partial", 7))
            ::_exit(10);
        if (NamesIn(dir.Path()).size() != 1)  // the temporary file exists until the signal
            ::_exit(11);
        ::kill(::getpid(), SIGTERM);
        ::_exit(12);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    EXPECT_TRUE(NamesIn(dir.Path()).empty());
}

TEST_F(AtomicFileTest, TheFirstSaveIntoADirectoryRemovesStaleTemporaryFiles)
{
    struct Case {
        std::string name;
        bool bOld;
        bool bDirectory;
        bool bRemoved;
    };
    const std::vector<Case> cases = {
        {".quillory-AbCdEf012345.partial", true, false, true},
        {".Msg00001.eml.partial-Ab12Cd", true, false, true},
        {".quillory-AbCdEf012346.partial", false, false, false},  // another save may be writing it
        {".Msg00002.eml.partial-Ab12Cd", false, false, false},
        {".quillory-AbCdEf01234.partial", true, false, false},   // one letter short
        {".quillory-AbCdEf01234-.partial", true, false, false},
        {"Msg00003.eml.partial-Ab12Cd", true, false, false},     // not hidden: not ours
        {".Msg00004.eml.partial-Ab12C", true, false, false},
        {".quillory-AbCdEf012347.partial", true, true, false},   // a directory
    };
    for (const Case& c : cases) {
        const std::string path = c.bDirectory ? dir.MakeDir(c.name) : dir.Write(c.name, "left over");
        if (c.bOld) {
            const timespec times[2] = {{978307200, 0}, {978307200, 0}};  // 2001-01-01
            ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        }
    }
    AtomicFileHooks().bNoUnnamedTemporary = true;
    AtomicFileWriter writer;
    ASSERT_TRUE(writer.Open(dir.Sub("new.eml"), {ExistingFile::Keep}));
    ASSERT_TRUE(writer.Write("x", 1));
    ASSERT_TRUE(writer.Commit());

    std::vector<std::string> expected{"new.eml"};
    for (const Case& c : cases)
        if (!c.bRemoved)
            expected.push_back(c.name);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(NamesIn(dir.Path()), expected);
}

TEST_F(AtomicFileTest, WritersInOneOpenDirectoryKeepTheGuaranteesWithoutAFlushEach)
{
    for (const Route& route : kRoutes) {
        for (const ExistingFile existing : {ExistingFile::Keep, ExistingFile::Replace}) {
            const bool bKeep = existing == ExistingFile::Keep;
            SCOPED_TRACE(std::string(route.name) + (bKeep ? ", keep" : ", replace"));
            TempDir out;
            out.Write("taken.eml", "old");
            ASSERT_EQ(::chmod(out.Sub("taken.eml").c_str(), 0640), 0);
            Take(route);
            AtomicDirectory directory;
            ASSERT_TRUE(directory.Open(out.Path()));
            if (route.bPrepared) {
                directory.PrepareUnnamedFiles();
                while (directory.PreparedUnnamedFiles() < 2)
                    std::this_thread::yield();
            }
            DurableBatch batch;
            batch.Add(directory);
            AtomicWriteOptions options;
            options.existing = existing;
            options.bSyncFile = false;
            for (const char* name : {"new.eml", "taken.eml"}) {
                AtomicFileWriter writer;
                ASSERT_TRUE(writer.Open(directory, name, options)) << name;
                ASSERT_TRUE(writer.Write("new", 3));
                EXPECT_EQ(writer.Commit(), !(bKeep && std::string(name) == "taken.eml")) << name;
            }
            EXPECT_EQ(batch.Flush(), 0);
            EXPECT_EQ(ReadAll(out.Sub("new.eml")), "new");
            EXPECT_EQ(ReadAll(out.Sub("taken.eml")), bKeep ? "old" : "new");
            EXPECT_EQ(ModeOf(out.Sub("taken.eml")), 0640u);
            EXPECT_EQ(NamesIn(out.Path()), (std::vector<std::string>{"new.eml", "taken.eml"}));
            if (route.bPrepared) {
                EXPECT_EQ(ModeOf(out.Sub("new.eml")), 0666u & ~CurrentUmask());
            }
        }
    }
    // Names that are not a plain name in the directory are refused before anything is created.
    TempDir out;
    AtomicDirectory directory;
    ASSERT_TRUE(directory.Open(out.Path()));
    for (const std::string& name : {std::string(""), std::string("."), std::string("a/b"), std::string(256, 'n')}) {
        AtomicFileWriter writer;
        EXPECT_FALSE(writer.Open(directory, name)) << name;
    }
    EXPECT_TRUE(NamesIn(out.Path()).empty());
}

TEST_F(AtomicFileTest, AFlushFailureIsReportedWhicheverFlushMetIt)
{
    // The kernel reports a failed write-out to one flush only: when the flush alongside the run
    // meets it, the flush at the end sees none and must still fail.
    struct Case {
        const char* name;
        bool bAhead;
        int nAheadError;  // what the first flush alongside the run returns
        int nEndError;    // what the flush at the end returns
        int expected;
    };
    const Case cases[] = {
        {"nothing fails", false, 0, 0, 0},
        {"the end's flush fails", false, 0, EIO, EIO},
        {"nothing fails, flushing ahead", true, 0, 0, 0},
        {"a flush ahead fails", true, EIO, 0, EIO},
        {"both fail: the first is told", true, EIO, ENOSPC, EIO},
    };
    const std::thread::id self = std::this_thread::get_id();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::mutex mutex;
        std::condition_variable called;
        int nAhead = 0;
        int nEnd = 0;
        AtomicFileHooks().flushFileSystem = [&](int) {
            const std::lock_guard lock(mutex);
            called.notify_all();
            if (std::this_thread::get_id() == self) {
                ++nEnd;
                return c.nEndError;
            }
            return ++nAhead == 1 ? c.nAheadError : 0;
        };
        AtomicDirectory directory;
        ASSERT_TRUE(directory.Open(dir.Path()));
        DurableBatch batch;
        batch.Add(directory);
        if (c.bAhead) {
            batch.FlushAhead();
            std::unique_lock lock(mutex);
            called.wait(lock, [&] { return nAhead >= 1; });
        }
        EXPECT_EQ(batch.Flush(), c.expected);
        EXPECT_EQ(nEnd, 1);  // one file system, flushed once at the end
        AtomicFileHooks().flushFileSystem = nullptr;
    }
}
