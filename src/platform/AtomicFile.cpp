#include "platform/AtomicFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <climits>
#include <ctime>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <string_view>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <system_error>
#include <unistd.h>
#include <tuple>
#include <utility>

#include "platform/Path.h"

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace {

constexpr std::string_view kTempPrefix = ".quillory-";
constexpr std::string_view kTempSuffix = ".partial";
constexpr std::size_t kTempRandomLength = 12;
constexpr std::size_t kTempNameLength = kTempPrefix.size() + kTempRandomLength + kTempSuffix.size();
constexpr int kNameAttempts = 100;

// Taken as the program is loaded: a temporary file last written before this cannot belong to a
// save of this process, nor to one of a process started after it.
const std::time_t g_processStart = std::time(nullptr);
// File times may be rounded down (to two seconds on FAT), so a file this young is never stale.
constexpr std::time_t kTimeSlack = 2;

bool IsAlphanumeric(std::string_view text)
{
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
            return false;
    }
    return true;
}

// The names of our temporary files: ".quillory-" + 12 letters or digits + ".partial", and
// ".NAME.partial-" + 6 letters or digits (NAME a destination's name), which also come from this
// program.
bool IsTemporaryName(std::string_view name)
{
    if (name.size() == kTempNameLength && name.starts_with(kTempPrefix) && name.ends_with(kTempSuffix))
        return IsAlphanumeric(name.substr(kTempPrefix.size(), kTempRandomLength));
    constexpr std::string_view kTail = ".partial-";
    constexpr std::size_t kRandom = 6;
    if (name.size() < 2 + kTail.size() + kRandom || name[0] != '.')
        return false;
    const std::size_t tail = name.size() - kRandom - kTail.size();
    return name.substr(tail, kTail.size()) == kTail && IsAlphanumeric(name.substr(tail + kTail.size()));
}

std::uint64_t Mix(std::uint64_t x)
{
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

std::uint64_t Seed()
{
    std::uint64_t seed = 0;
    if (::getrandom(&seed, sizeof seed, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof seed)) {
        timespec now {};
        ::clock_gettime(CLOCK_REALTIME, &now);
        seed = (static_cast<std::uint64_t>(now.tv_sec) << 30) ^ static_cast<std::uint64_t>(now.tv_nsec) ^
               (static_cast<std::uint64_t>(::getpid()) << 40);
    }
    return seed;
}

// Unique enough to make a clash rare; creating with O_EXCL (or linking) settles the rest.
std::string NewTemporaryName()
{
    static std::atomic<std::uint64_t> state{Seed()};
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    constexpr std::uint64_t kLetters = sizeof kAlphabet - 1;
    std::string name(kTempPrefix);
    for (int half = 0; half < 2; ++half) {
        std::uint64_t x = Mix(state.fetch_add(0x9E3779B97F4A7C15ull));
        for (std::size_t i = 0; i < kTempRandomLength / 2; ++i, x /= kLetters)
            name += kAlphabet[x % kLetters];
    }
    name += kTempSuffix;
    return name;
}

// Named temporary files that a signal handler must remove: a fixed table, since a handler may
// neither allocate nor lock. A slot is armed before its file is created and disarmed once the
// name is gone (or placed), while the directory descriptor is still open.
enum : int { kSlotFree, kSlotFilling, kSlotArmed };
struct PendingTemporary {
    std::atomic<int> state{kSlotFree};
    int fdDir = -1;
    char name[kTempNameLength + 1] = {};
};
constexpr int kPendingSlots = 16;
PendingTemporary g_pending[kPendingSlots];

void RemovePendingAndDie(int sig)
{
    for (PendingTemporary& slot : g_pending)
        if (slot.state.load(std::memory_order_acquire) == kSlotArmed)
            ::unlinkat(slot.fdDir, slot.name, 0);
    // Installed with SA_RESETHAND: the signal's default action ends the process once we return.
    ::raise(sig);
}

// Only where the signal still has its default action: a program or shell that ignores or
// handles it keeps its choice (and a later run cleans up after it).
void InstallSignalHandlers()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction old {};
            if (::sigaction(sig, nullptr, &old) != 0 || (old.sa_flags & SA_SIGINFO) || old.sa_handler != SIG_DFL)
                continue;
            struct sigaction action {};
            action.sa_handler = RemovePendingAndDie;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESETHAND;
            ::sigaction(sig, &action, nullptr);
        }
    });
}

// Returns the slot, or -1 when every slot is taken (then only a later run removes a leftover).
int ArmPending(int fdDir, const std::string& name)
{
    InstallSignalHandlers();
    for (int i = 0; i < kPendingSlots; ++i) {
        PendingTemporary& slot = g_pending[i];
        int expected = kSlotFree;
        if (!slot.state.compare_exchange_strong(expected, kSlotFilling))
            continue;
        slot.fdDir = fdDir;
        std::memcpy(slot.name, name.c_str(), std::min(name.size(), kTempNameLength) + 1);
        slot.name[kTempNameLength] = '\0';
        slot.state.store(kSlotArmed, std::memory_order_release);
        return i;
    }
    return -1;
}

void Disarm(int& slot)
{
    if (slot >= 0)
        g_pending[slot].state.store(kSlotFree, std::memory_order_release);
    slot = -1;
}

// Removes temporary files that an earlier run left in the directory, once per directory and
// process: a run that saves thousands of messages into one directory reads it only once. The
// path is part of the key so that a new directory on a reused inode is not taken for an old one.
void RemoveStaleTemporaries(int fdDir, const std::string& strDir)
{
    struct stat dirStat {};
    if (::fstat(fdDir, &dirStat) != 0)
        return;
    {
        static std::mutex mutex;
        static std::set<std::tuple<dev_t, ino_t, std::string>> cleaned;
        const std::lock_guard lock(mutex);
        if (!cleaned.emplace(dirStat.st_dev, dirStat.st_ino, strDir).second)
            return;
    }
    const int fdList = ::openat(fdDir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fdList < 0)
        return;
    DIR* listing = ::fdopendir(fdList);
    if (!listing) {
        ::close(fdList);
        return;
    }
    while (const dirent* entry = ::readdir(listing)) {
        if (!IsTemporaryName(entry->d_name))
            continue;
        struct stat st {};
        if (::fstatat(fdDir, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            st.st_mtime + kTimeSlack < g_processStart)
            ::unlinkat(fdDir, entry->d_name, 0);
    }
    ::closedir(listing);
}

// An unnamed file can get its name without privileges only through /proc.
bool CanLinkUnnamedFiles()
{
    static const bool bCan = ::access("/proc/self/fd", F_OK) == 0;
    return bCan;
}

// The error of a placement that the file system does not offer, as opposed to one that failed.
bool IsUnsupported(int err)
{
    return err == EINVAL || err == ENOSYS || err == EOPNOTSUPP || err == EPERM;
}

} // namespace

AtomicFileTestHooks& AtomicFileHooks()
{
    static AtomicFileTestHooks hooks;
    return hooks;
}

AtomicFileWriter::~AtomicFileWriter() { Abandon(); }

bool AtomicFileWriter::Open(const std::string& destination, AtomicWriteOptions options)
{
    Abandon();
    m_bFailed = false;
    m_bTaken = false;
    m_options = options;
    m_strDestination = destination;
    const PathParts parts = SplitPath(destination);
    m_strName = parts.fname + parts.ext;
    if (m_strName.empty())
        return false;
    // Everything below works relative to the directory, so that a rename of a directory above it
    // during the copy cannot send the file elsewhere.
    const std::string dir = parts.dir.empty() ? "." : parts.dir;
    m_bOwnDir = true;
    m_fdDir = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fdDir < 0)
        return false;
    struct stat existing {};
    const bool bExists = ::fstatat(m_fdDir, m_strName.c_str(), &existing, 0) == 0;
    if (!bExists && errno != ENOENT) {
        Abandon();
        return false;
    }
    RemoveStaleTemporaries(m_fdDir, dir);
    return OpenTemporary(bExists, existing.st_mode & 07777);
}

bool AtomicFileWriter::Open(const AtomicDirectory& dir, const std::string& name, AtomicWriteOptions options)
{
    Abandon();
    m_bFailed = false;
    m_bTaken = false;
    m_options = options;
    if (!dir.IsOpen() || name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.size() > NAME_MAX) {
        errno = name.size() > NAME_MAX ? ENAMETOOLONG : EINVAL;
        return false;
    }
    m_strName = name;
    m_strDestination = JoinPath(dir.Path(), name);
    m_bOwnDir = false;
    m_fdDir = dir.Fd();
    m_pDir = &dir;
    // Only a replacement needs what is there now (for its permissions); a kept file is settled
    // by the placement itself.
    struct stat existing {};
    bool bExists = false;
    if (options.existing == ExistingFile::Replace) {
        bExists = ::fstatat(m_fdDir, m_strName.c_str(), &existing, 0) == 0;
        if (!bExists && errno != ENOENT) {
            Abandon();
            return false;
        }
    }
    return OpenTemporary(bExists, existing.st_mode & 07777);
}

bool AtomicFileWriter::OpenTemporary(bool bExists, unsigned nExistingMode)
{
    if (m_pDir)
        m_fd = m_pDir->TakeUnnamedFile();
    if (m_fd < 0 && !AtomicFileHooks().bNoUnnamedTemporary && CanLinkUnnamedFiles())
        m_fd = ::openat(m_fdDir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (m_fd < 0 && !CreateNamedTemporary()) {
        Abandon();
        return false;
    }
    // A replacement keeps the permissions of the file it replaces; a new file has the ones the
    // kernel gave it from 0666 and the umask (or the directory's default ACL).
    if (bExists && m_options.existing == ExistingFile::Replace)
        ::fchmod(m_fd, static_cast<mode_t>(nExistingMode));
    return true;
}

bool AtomicFileWriter::CreateNamedTemporary()
{
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = NewTemporaryName();
        m_nPendingSlot = ArmPending(m_fdDir, name);
        m_fd = ::openat(m_fdDir, name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (m_fd >= 0) {
            m_strTempName = name;
            return true;
        }
        const int err = errno;
        Disarm(m_nPendingSlot);
        if (err != EEXIST)
            return false;
    }
    return false;
}

bool AtomicFileWriter::Write(const void* data, std::size_t count)
{
    if (m_bFailed || m_fd < 0)
        return false;
    const auto* in = static_cast<const unsigned char*>(data);
    for (std::size_t done = 0; done < count;) {
        const ssize_t n = ::write(m_fd, in + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_bFailed = true;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void AtomicFileWriter::StartWriteback()
{
    if (m_fd >= 0 && !m_bFailed)
        ::sync_file_range(m_fd, 0, 0, SYNC_FILE_RANGE_WRITE);
}

bool AtomicFileWriter::Commit()
{
    m_bTaken = false;
    if (m_fd < 0 || m_bFailed || (m_options.bSyncFile && ::fsync(m_fd) != 0)) {
        Abandon();
        return false;
    }
    if (const auto& hook = AtomicFileHooks().beforePlacement)
        hook(m_strDestination);
    const Placed placed = m_strTempName.empty() ? PlaceUnnamed() : PlaceNamed();
    m_bTaken = placed == Placed::Taken;
    bool bDone = placed == Placed::Done;
    if (bDone && m_options.bSyncDirectory && ::fsync(m_fdDir) != 0)
        bDone = false;
    Abandon();
    return bDone;
}

AtomicFileWriter::Placed AtomicFileWriter::PlaceNamed()
{
    if (m_options.existing == ExistingFile::Replace)
        return ReplaceFromTemporary();
    const char* temp = m_strTempName.c_str();
    const char* name = m_strName.c_str();
    const AtomicFileTestHooks& hooks = AtomicFileHooks();
    if (!hooks.bNoRenameNoReplace) {
        if (::syscall(SYS_renameat2, m_fdDir, temp, m_fdDir, name, RENAME_NOREPLACE) == 0) {
            ForgetTemporaryName();
            return Placed::Done;
        }
        if (errno == EEXIST)
            return Placed::Taken;
        if (!IsUnsupported(errno))
            return Placed::Failed;
    }
    if (!hooks.bNoHardLinks) {
        // The temporary name goes when the writer lets go of the file.
        if (::linkat(m_fdDir, temp, m_fdDir, name, 0) == 0)
            return Placed::Done;
        if (errno == EEXIST)
            return Placed::Taken;
        if (!IsUnsupported(errno))
            return Placed::Failed;
    }
    // Neither refusing rename nor links: claim the name with an exclusive create and rename over
    // our own empty file.
    const int fdClaim = ::openat(m_fdDir, name, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fdClaim < 0)
        return errno == EEXIST ? Placed::Taken : Placed::Failed;
    struct stat claim {};
    const bool bKnown = ::fstat(fdClaim, &claim) == 0;
    ::close(fdClaim);
    if (ReplaceFromTemporary() == Placed::Done)
        return Placed::Done;
    struct stat now {};
    if (bKnown && ::fstatat(m_fdDir, name, &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_dev == claim.st_dev &&
        now.st_ino == claim.st_ino)
        ::unlinkat(m_fdDir, name, 0);
    return Placed::Failed;
}

AtomicFileWriter::Placed AtomicFileWriter::ReplaceFromTemporary()
{
    if (::renameat(m_fdDir, m_strTempName.c_str(), m_fdDir, m_strName.c_str()) != 0)
        return Placed::Failed;
    ForgetTemporaryName();
    return Placed::Done;
}

AtomicFileWriter::Placed AtomicFileWriter::PlaceUnnamed()
{
    // Linking never replaces: it is the refusing placement by itself.
    if (m_options.existing == ExistingFile::Keep) {
        if (LinkUnnamedAs(m_strName))
            return Placed::Done;
        return errno == EEXIST ? Placed::Taken : Placed::Failed;
    }
    // To replace, the file gets a temporary name first and is renamed over the destination.
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = NewTemporaryName();
        m_nPendingSlot = ArmPending(m_fdDir, name);
        if (LinkUnnamedAs(name)) {
            m_strTempName = name;
            return ReplaceFromTemporary();
        }
        const int err = errno;
        Disarm(m_nPendingSlot);
        if (err != EEXIST)
            return Placed::Failed;
    }
    return Placed::Failed;
}

bool AtomicFileWriter::LinkUnnamedAs(const std::string& name)
{
    // Linking the descriptor itself spares the walk through /proc for every file; the kernel
    // refuses it with ENOENT to a process it does not trust with that (one without
    // CAP_DAC_READ_SEARCH), and /proc is used from then on.
    static std::atomic<bool> bEmptyPathRefused{false};
    if (!bEmptyPathRefused.load(std::memory_order_relaxed) && !AtomicFileHooks().bNoEmptyPathLink) {
        if (::linkat(m_fd, "", m_fdDir, name.c_str(), AT_EMPTY_PATH) == 0)
            return true;
        if (errno != ENOENT)
            return false;
        bEmptyPathRefused.store(true, std::memory_order_relaxed);
    }
    char proc[48];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", m_fd);
    return ::linkat(AT_FDCWD, proc, m_fdDir, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

void AtomicFileWriter::ForgetTemporaryName()
{
    Disarm(m_nPendingSlot);
    m_strTempName.clear();
}

void AtomicFileWriter::Abandon()
{
    if (!m_strTempName.empty() && m_fdDir >= 0)
        ::unlinkat(m_fdDir, m_strTempName.c_str(), 0);
    ForgetTemporaryName();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (m_fdDir >= 0 && m_bOwnDir)
        ::close(m_fdDir);
    m_fdDir = -1;
    m_bOwnDir = true;
    m_pDir = nullptr;
}

bool WriteFileAtomically(const std::string& path, const std::string& contents)
{
    AtomicFileWriter writer;
    return writer.Open(path) && writer.Write(contents.data(), contents.size()) && writer.Commit();
}

// Keeps a few unnamed files open in a directory, made on a thread of its own. Takers never wait:
// with none ready they make their own, so the two threads share the work whichever is faster.
class UnnamedFileSupply {
public:
    explicit UnnamedFileSupply(int fdDir) : m_fdDir(fdDir), m_thread([this] { Run(); }) {}
    ~UnnamedFileSupply()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_bStop = true;
        }
        m_wake.notify_one();
        m_thread.join();
        // Files never taken have no name: closing them frees them.
        for (const int fd : m_ready)
            ::close(fd);
    }
    UnnamedFileSupply(const UnnamedFileSupply&) = delete;
    UnnamedFileSupply& operator=(const UnnamedFileSupply&) = delete;

    int Take()
    {
        int fd = -1;
        bool bWake = false;
        {
            const std::lock_guard lock(m_mutex);
            if (m_ready.empty())
                return -1;
            fd = m_ready.front();
            m_ready.pop_front();
            // Woken once half are gone rather than at every take: a wake-up costs about what
            // making a file does.
            bWake = m_bIdle && m_ready.size() <= kAhead / 2;
            if (bWake)
                m_bIdle = false;
        }
        if (bWake)
            m_wake.notify_one();
        return fd;
    }

    std::size_t Ready()
    {
        const std::lock_guard lock(m_mutex);
        return m_ready.size();
    }

private:
    // Enough to cover a burst of small files; few enough that the unused ones cost nothing.
    static constexpr std::size_t kAhead = 32;

    void Run()
    {
        std::unique_lock lock(m_mutex);
        while (!m_bStop) {
            if (m_ready.size() >= kAhead) {
                m_bIdle = true;
                m_wake.wait(lock, [this] { return !m_bIdle || m_bStop; });
                continue;
            }
            lock.unlock();
            const int fd = ::openat(m_fdDir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
            lock.lock();
            // A full disk, or a file system without unnamed files: the writers make their own
            // files, and meet the failure themselves.
            if (fd < 0)
                return;
            m_ready.push_back(fd);
        }
    }

    const int m_fdDir;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<int> m_ready;
    bool m_bIdle = false;  // the thread waits for takers
    bool m_bStop = false;
    std::thread m_thread;  // last: it starts once everything above is ready
};

AtomicDirectory::AtomicDirectory() = default;

AtomicDirectory::~AtomicDirectory() { Close(); }

void AtomicDirectory::PrepareUnnamedFiles()
{
    if (m_fd >= 0 && !m_pSupply && !AtomicFileHooks().bNoUnnamedTemporary && CanLinkUnnamedFiles())
        m_pSupply = std::make_unique<UnnamedFileSupply>(m_fd);
}

int AtomicDirectory::TakeUnnamedFile() const { return m_pSupply ? m_pSupply->Take() : -1; }

std::size_t AtomicDirectory::PreparedUnnamedFiles() const { return m_pSupply ? m_pSupply->Ready() : 0; }

bool AtomicDirectory::Open(const std::string& path)
{
    Close();
    m_fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0)
        return false;
    m_strPath = path;
    RemoveStaleTemporaries(m_fd, path);
    return true;
}

void AtomicDirectory::Close()
{
    m_pSupply.reset();  // before the directory it makes files in
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_strPath.clear();
}

DurableBatch::~DurableBatch()
{
    StopAhead();
    for (const Member& member : m_members)
        ::close(member.fd);
}

void DurableBatch::Add(const AtomicDirectory& dir)
{
    struct stat st {};
    const std::lock_guard lock(m_mutex);
    if (!dir.IsOpen() || ::fstat(dir.Fd(), &st) != 0) {
        if (m_nAddError == 0)
            m_nAddError = dir.IsOpen() ? errno : EBADF;
        return;
    }
    for (const Member& member : m_members)
        if (member.device == st.st_dev)
            return;
    const int fd = ::fcntl(dir.Fd(), F_DUPFD_CLOEXEC, 0);
    if (fd >= 0)
        m_members.push_back({st.st_dev, fd});
    else if (m_nAddError == 0)
        m_nAddError = errno;
}

namespace {

// Often enough that the disk never idles long while files are made, seldom enough that the
// flushes do not compete with the writing for the same locks.
constexpr auto kAheadPause = std::chrono::milliseconds(250);

int FlushFileSystem(int fd)
{
    if (const auto& hook = AtomicFileHooks().flushFileSystem)
        return hook(fd);
    return ::syncfs(fd) == 0 ? 0 : errno;
}

} // namespace

void DurableBatch::FlushAhead()
{
    const std::lock_guard lock(m_mutex);
    if (m_ahead.joinable() || m_bStop)
        return;
    // Without a thread the run is only slower: the flush at the end does all of it.
    try {
        m_ahead = std::thread([this] { RunAhead(); });
    } catch (const std::system_error&) {
    }
}

void DurableBatch::RunAhead()
{
    std::unique_lock lock(m_mutex);
    while (!m_wake.wait_for(lock, kAheadPause, [this] { return m_bStop; })) {
        // Flushed outside the lock, so that the run adding a directory never waits for the disk;
        // members are only ever added, and closed after this thread has ended.
        const std::vector<Member> members = m_members;
        lock.unlock();
        int nError = 0;
        for (const Member& member : members)
            if (const int err = FlushFileSystem(member.fd); err != 0 && nError == 0)
                nError = err;
        lock.lock();
        if (m_nFlushError == 0)
            m_nFlushError = nError;
    }
}

void DurableBatch::StopAhead()
{
    {
        const std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_wake.notify_all();
    if (m_ahead.joinable())
        m_ahead.join();
}

int DurableBatch::Flush()
{
    StopAhead();
    int nError = m_nAddError != 0 ? m_nAddError : m_nFlushError;
    for (const Member& member : m_members)
        if (const int err = FlushFileSystem(member.fd); err != 0 && nError == 0)
            nError = err;
    return nError;
}
