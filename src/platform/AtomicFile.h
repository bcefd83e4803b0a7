#pragma once
// Writes a file so that the destination only ever holds a whole file: the bytes go to a temporary
// file in the destination's directory, which takes the destination's name only on Commit. A writer
// that is destroyed without a successful Commit removes its temporary file.
//
// Where the file system allows it the temporary file has no name at all (O_TMPFILE), so nothing is
// left behind whatever ends the process. Elsewhere it has a short hidden name of its own
// (".quillory-XXXXXXXXXXXX.partial", the same length whatever the destination is called); a
// SIGINT, SIGTERM or SIGHUP that ends the process removes it, and the first save of a later run
// into the same directory removes such files that are older than that run.
//
// The descriptor of the temporary file is kept from creation to placement: a new file gets the
// process's umask from the kernel at creation, a replacing one the permissions of the file it
// replaces (through the descriptor). The process umask is never changed, so other threads may
// create files at the same time.

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

enum class ExistingFile {
    Replace,  // a file at the destination is replaced (the new one keeps its permissions)
    Keep,     // a file at the destination, even one that appears while writing, is never touched
};

struct AtomicWriteOptions {
    ExistingFile existing = ExistingFile::Replace;
    // Commit also flushes the directory, so that the new name itself survives a crash.
    bool bSyncDirectory = false;
    // Commit flushes the file's data to the disk before it takes its name. A run that writes many
    // files turns this off and flushes them all at once at its end (DurableBatch): a flush per
    // file costs a disk round trip each. Without it the file is still never seen half written
    // under its name while the system runs; only a crash before the batch's flush can cut it short.
    bool bSyncFile = true;
};

class UnnamedFileSupply;

// A directory that many writers put files into: opened once, and cleared of stale temporary files
// once, instead of once per file. It must stay open while a writer opened in it is in use.
class AtomicDirectory {
public:
    AtomicDirectory();
    ~AtomicDirectory();
    AtomicDirectory(const AtomicDirectory&) = delete;
    AtomicDirectory& operator=(const AtomicDirectory&) = delete;

    // Returns false, with errno set, when path is not a directory that can be opened.
    bool Open(const std::string& path);
    void Close();
    [[nodiscard]] bool IsOpen() const { return m_fd >= 0; }
    [[nodiscard]] int Fd() const { return m_fd; }
    [[nodiscard]] const std::string& Path() const { return m_strPath; }

    // For a run that writes many files here: a second thread creates their unnamed temporary files
    // ahead (on most file systems the larger part of a small file's cost), while the writers fill
    // and place them. Until Close; nothing when unnamed files cannot be had here.
    void PrepareUnnamedFiles();
    // A prepared unnamed file, open for writing, or -1 when none is ready (the writer then makes
    // its own). Safe from any thread.
    [[nodiscard]] int TakeUnnamedFile() const;
    // How many are ready now, for tests.
    [[nodiscard]] std::size_t PreparedUnnamedFiles() const;

private:
    int m_fd = -1;
    std::string m_strPath;
    std::unique_ptr<UnnamedFileSupply> m_pSupply;
};

// Makes the files of a run durable in one pass at its end: each file system that a directory
// added lives on is flushed once (its data, its inodes and the directories' names).
//
// Writing out many small files takes the disk about as long as creating them took, and a run
// that waits for all of it at its end waits that long again. FlushAhead lets a second thread
// flush the file systems over and over while the run writes, so the disk works alongside and the
// flush at the end waits only for what was written last. It is only ever the end's flush that
// says the files are durable.
class DurableBatch {
public:
    DurableBatch() = default;
    ~DurableBatch();
    DurableBatch(const DurableBatch&) = delete;
    DurableBatch& operator=(const DurableBatch&) = delete;

    // Remembers the file system of dir (once per file system).
    void Add(const AtomicDirectory& dir);
    // Starts the flushing alongside the run (once; Flush or the destructor stops it).
    void FlushAhead();
    // Flushes every file system added. Returns 0, or the errno value of the first failure (a
    // write that the disk refused after the writer had reported success, say), also one that
    // only a flush alongside the run saw: the kernel tells each failure once.
    [[nodiscard]] int Flush();

private:
    struct Member {
        unsigned long long device;
        int fd;
    };
    void StopAhead();
    void RunAhead();

    std::mutex m_mutex;  // guards everything below against the thread flushing alongside
    std::condition_variable m_wake;
    std::thread m_ahead;
    bool m_bStop = false;
    std::vector<Member> m_members;
    int m_nAddError = 0;  // a file system that could not be remembered makes the flush fail
    int m_nFlushError = 0;  // the first failure a flush alongside the run met
};

class AtomicFileWriter {
public:
    AtomicFileWriter() = default;
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Creates the temporary file in destination's directory. Returns false when it cannot be
    // created, or when destination cannot be looked at (a name too long, a loop of links ...).
    bool Open(const std::string& destination, AtomicWriteOptions options = {});
    // The same for the file name (no "/") in the open directory dir, which must outlive the
    // writer. With ExistingFile::Keep the name is not looked at before Commit, which refuses it
    // when it is taken then.
    bool Open(const AtomicDirectory& dir, const std::string& name, AtomicWriteOptions options = {});
    // Returns false once any write has failed (a full disk, say); later writes do nothing.
    bool Write(const void* data, std::size_t count);
    // Starts writing the bytes written so far to the disk, without waiting for them: a large file
    // whose run flushes once at its end then has most of it on the disk by that time.
    void StartWriteback();
    // Flushes and puts the file in place. Returns false, with the destination as it was, when a
    // write failed, the flush or the placement failed, or (ExistingFile::Keep) a file is at the
    // destination; DestinationTaken tells the last case apart. With bSyncDirectory a failure to
    // flush the directory also returns false, though the new file is then already in place.
    bool Commit();
    // Removes the temporary file; the destination is untouched.
    void Abandon();

    // True after a Commit that did not replace a file found at the destination.
    [[nodiscard]] bool DestinationTaken() const { return m_bTaken; }
    // True while the temporary file has no name (for tests that must know which way was taken).
    [[nodiscard]] bool HasUnnamedTemporary() const { return m_fd >= 0 && m_strTempName.empty(); }

private:
    enum class Placed { Done, Taken, Failed };
    bool OpenTemporary(bool bExists, unsigned nExistingMode);
    Placed PlaceNamed();
    Placed PlaceUnnamed();
    Placed ReplaceFromTemporary();
    bool LinkUnnamedAs(const std::string& name);
    bool CreateNamedTemporary();
    void ForgetTemporaryName();

    int m_fdDir = -1;
    bool m_bOwnDir = true;      // false while m_fdDir is an AtomicDirectory's
    const AtomicDirectory* m_pDir = nullptr;  // that directory, while it is one
    int m_fd = -1;
    std::string m_strDestination;
    std::string m_strName;      // the destination's name inside its directory
    std::string m_strTempName;  // the temporary file's name; empty while it has none
    int m_nPendingSlot = -1;    // where a signal handler finds the temporary name
    AtomicWriteOptions m_options;
    bool m_bFailed = false;
    bool m_bTaken = false;
};

// Replaces the file at path with contents, atomically. Returns false on any failure.
bool WriteFileAtomically(const std::string& path, const std::string& contents);

// Switches for tests, to take the ways a file system without these features makes the writer
// take, and to act just before a finished file is put in place (to create the destination from
// outside, say). Not for use by the program itself.
struct AtomicFileTestHooks {
    bool bNoUnnamedTemporary = false;  // as where O_TMPFILE is not supported
    bool bNoRenameNoReplace = false;   // as where renaming cannot refuse an existing name
    bool bNoHardLinks = false;         // as on file systems without hard links
    bool bNoEmptyPathLink = false;     // as for a process that may not link a descriptor itself
    std::function<void(const std::string& destination)> beforePlacement;
    // Called instead of syncfs by DurableBatch, from whichever thread flushes; returns 0 or an
    // errno value.
    std::function<int(int fd)> flushFileSystem;
};
AtomicFileTestHooks& AtomicFileHooks();
