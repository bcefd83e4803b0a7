#include "export/MessageSinks.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "export/MboxFormat.h"
#include "extract/MessageCopy.h"
#include "platform/Path.h"

namespace {

// An mbox is written a megabyte at a time: few calls, and little memory.
constexpr std::size_t kMboxChunk = 1u << 20;
// Every so many bytes the disk is set to work on what was written, while the export goes on:
// the flush at the end of the run then waits for the last few megabytes, not for the whole file.
constexpr std::uint64_t kWritebackStep = 16u << 20;

std::string KeptMboxText(const std::string& path)
{
    return "The file " + path + " exists already. It was kept, and the folder was not exported.";
}

// Message files and mboxes are flushed by the run, once, at its end.
AtomicWriteOptions Batched(ExistingFile existing)
{
    AtomicWriteOptions options;
    options.existing = existing;
    options.bSyncFile = false;
    return options;
}

// Makes the directory name in parent (or takes the one there) and opens it.
bool OpenSubdirectory(const AtomicDirectory& parent, const std::string& name, AtomicDirectory& dir, int& err)
{
    if (::mkdirat(parent.Fd(), name.c_str(), 0777) != 0 && errno != EEXIST) {
        err = errno;
        return false;
    }
    if (!dir.Open(JoinPath(parent.Path(), name))) {
        err = errno;
        return false;
    }
    return true;
}

// Makes the directory name in parent, or takes the one there, without opening it: nothing of this
// run is written into it.
bool MakeSubdirectory(const AtomicDirectory& parent, const char* name, int& err)
{
    struct stat st {};
    if ((::mkdirat(parent.Fd(), name, 0777) != 0 && errno != EEXIST) ||
        ::fstatat(parent.Fd(), name, &st, 0) != 0) {
        err = errno;
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        err = ENOTDIR;
        return false;
    }
    return true;
}

class MboxSink : public MessageSink {
public:
    bool Open(const AtomicDirectory& parent, const std::string& fileName, bool& bKept)
    {
        m_strDestination = JoinPath(parent.Path(), fileName);
        // Looked at first, so that a folder whose mbox is there is not read for nothing; the
        // placement refuses one that appears meanwhile.
        struct stat st {};
        if (::fstatat(parent.Fd(), fileName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            bKept = true;
            return false;
        }
        if (errno != ENOENT) {
            Fail(m_strDestination, errno);
            return false;
        }
        if (!m_writer.Open(parent, fileName, Batched(ExistingFile::Keep))) {
            Fail(m_strDestination, errno);
            return false;
        }
        m_out.reserve(kMboxChunk + 64 * 1024);
        return true;
    }

    bool Begin(std::string_view head, const std::string&) override
    {
        if (m_bBroken)
            return false;
        m_out += MboxFromLine(head);
        m_out += '\n';
        m_quoter.Feed(head, m_out);
        return Drain(kMboxChunk);
    }

    bool Append(std::string_view piece) override
    {
        if (m_bBroken)
            return false;
        m_quoter.Feed(piece, m_out);
        return Drain(kMboxChunk);
    }

    MessageWritten End() override
    {
        if (m_bBroken)
            return MessageWritten::Failed;
        m_quoter.Finish(m_out);
        return Drain(kMboxChunk) ? MessageWritten::Written : MessageWritten::Failed;
    }

    void Drop() override
    {
        if (m_bBroken)
            return;
        m_bBroken = true;
        m_strError = "Error on writing file " + m_strDestination +
                     ": a message could not be read to its end after its beginning was written; the file was left out.";
    }

    bool Finish() override
    {
        if (m_bBroken || !Drain(1)) {
            m_writer.Abandon();
            return false;
        }
        m_writer.StartWriteback();  // its tail too: the next folders are written meanwhile
        if (m_writer.Commit())
            return true;
        m_bBroken = true;
        if (m_writer.DestinationTaken())
            m_strError = KeptMboxText(m_strDestination);
        else
            Fail(m_strDestination, errno);
        return false;
    }

    void Abandon() override { m_writer.Abandon(); }

private:
    // Writes out what is buffered once it reaches threshold bytes.
    bool Drain(std::size_t threshold)
    {
        if (m_out.size() < threshold || m_out.empty())
            return true;
        if (!m_writer.Write(m_out.data(), m_out.size())) {
            Fail(m_strDestination, errno);
            m_bBroken = true;
            return false;
        }
        m_nWritten += m_out.size();
        m_out.clear();
        if (m_nWritten - m_nWritebackAt >= kWritebackStep) {
            m_writer.StartWriteback();
            m_nWritebackAt = m_nWritten;
        }
        return true;
    }

    AtomicFileWriter m_writer;
    MboxrdQuoter m_quoter;
    std::string m_out;
    std::uint64_t m_nWritten = 0;
    std::uint64_t m_nWritebackAt = 0;
};

// The host part of Maildir names: "/" and ":" would end the name or start its flags.
std::string MaildirHost()
{
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0')
        std::strcpy(host, "localhost");
    std::string out;
    for (const char c : std::string_view(host)) {
        if (c == '/')
            out += "\\057";
        else if (c == ':')
            out += "\\072";
        else
            out += c;
    }
    return out;
}

class MaildirSink : public MessageSink {
public:
    bool Open(const AtomicDirectory& parent, const std::string& name, DurableBatch& batch)
    {
        m_strDestination = JoinPath(parent.Path(), name);
        AtomicDirectory maildir;
        int err = 0;
        if (!OpenSubdirectory(parent, name, maildir, err) || !MakeSubdirectory(maildir, "tmp", err) ||
            !MakeSubdirectory(maildir, "new", err) || !OpenSubdirectory(maildir, "cur", m_cur, err)) {
            Fail(m_strDestination, err);
            return false;
        }
        batch.Add(maildir);
        m_cur.PrepareUnnamedFiles();
        return true;
    }

    bool Begin(std::string_view head, const std::string&) override
    {
        // Placed in cur/ as delivered and not yet read ("2," and no flags): the messages are old
        // mail, not new arrivals. Unique by time, process and a count, as the convention asks.
        static std::atomic<std::uint64_t> delivery{0};
        static const std::string host = MaildirHost();
        timespec now {};
        ::clock_gettime(CLOCK_REALTIME, &now);
        char name[96];
        std::snprintf(name, sizeof name, "%lld.M%06ldP%ldQ%llu.", static_cast<long long>(now.tv_sec),
                      static_cast<long>(now.tv_nsec / 1000), static_cast<long>(::getpid()),
                      static_cast<unsigned long long>(++delivery));
        m_strName = name + host + ":2,";
        if (!m_writer.Open(m_cur, m_strName, Batched(ExistingFile::Keep))) {
            Fail(JoinPath(m_cur.Path(), m_strName), errno);
            return false;
        }
        return Append(head);
    }

    bool Append(std::string_view piece) override
    {
        if (m_writer.Write(piece.data(), piece.size()))
            return true;
        Fail(JoinPath(m_cur.Path(), m_strName), errno);
        return false;
    }

    MessageWritten End() override
    {
        if (m_writer.Commit())
            return MessageWritten::Written;
        Fail(JoinPath(m_cur.Path(), m_strName), m_writer.DestinationTaken() ? EEXIST : errno);
        return MessageWritten::Failed;
    }

    void Drop() override { m_writer.Abandon(); }
    bool Finish() override { return true; }
    void Abandon() override { m_writer.Abandon(); }

private:
    AtomicDirectory m_cur;
    AtomicFileWriter m_writer;
    std::string m_strName;
};

class EmlSink : public MessageSink {
public:
    bool Open(const AtomicDirectory& parent, const std::string& name, DurableBatch& batch, const SinkOptions& options)
    {
        m_options = options;
        int err = 0;
        if (name.empty()) {
            m_strDestination = parent.Path();
            if (!m_dir.Open(parent.Path()))
                err = errno;
        } else {
            m_strDestination = JoinPath(parent.Path(), name);
            OpenSubdirectory(parent, name, m_dir, err);
        }
        if (!m_dir.IsOpen()) {
            Fail(m_strDestination, err);
            return false;
        }
        batch.Add(m_dir);
        m_dir.PrepareUnnamedFiles();
        return true;
    }

    bool Begin(std::string_view head, const std::string& name) override
    {
        m_strPath = JoinPath(m_dir.Path(), name);
        // Replacing needs a look at what is there: never the file being read, nor one held open.
        if (m_options.existing == ExistingFile::Replace && !MayWriteCopyTo(m_strPath, m_options.source)) {
            m_strError = "Error on opening file " + m_strPath;
            return false;
        }
        if (!m_writer.Open(m_dir, name, Batched(m_options.existing))) {
            m_strError = "Error on opening file " + m_strPath;
            return false;
        }
        return Append(head);
    }

    bool Append(std::string_view piece) override
    {
        if (m_writer.Write(piece.data(), piece.size()))
            return true;
        Fail(m_strPath, errno);
        return false;
    }

    MessageWritten End() override
    {
        if (m_writer.Commit())
            return MessageWritten::Written;
        if (m_writer.DestinationTaken()) {
            m_strKept = m_strPath;
            return MessageWritten::Kept;
        }
        Fail(m_strPath, errno);
        return MessageWritten::Failed;
    }

    void Drop() override { m_writer.Abandon(); }
    bool Finish() override { return true; }
    void Abandon() override { m_writer.Abandon(); }

private:
    SinkOptions m_options;
    AtomicDirectory m_dir;
    AtomicFileWriter m_writer;
    std::string m_strPath;
};

} // namespace

void MessageSink::Fail(const std::string& path, int err)
{
    m_strError = "Error on writing file " + path;
    if (err != 0) {
        m_strError += ": ";
        m_strError += std::strerror(err);
    }
}

std::unique_ptr<MessageSink> OpenSink(ExportFormat format, const AtomicDirectory& parent, const std::string& name,
                                      DurableBatch& batch, const SinkOptions& options, std::string& error, bool& bKept)
{
    bKept = false;
    error.clear();
    switch (format) {
    case ExportFormat::Mbox: {
        auto sink = std::make_unique<MboxSink>();
        if (!sink->Open(parent, name + ".mbox", bKept)) {
            error = bKept ? KeptMboxText(sink->Destination()) : sink->Error();
            return nullptr;
        }
        batch.Add(parent);
        return sink;
    }
    case ExportFormat::Maildir: {
        auto sink = std::make_unique<MaildirSink>();
        if (!sink->Open(parent, name, batch)) {
            error = sink->Error();
            return nullptr;
        }
        return sink;
    }
    case ExportFormat::Eml: {
        auto sink = std::make_unique<EmlSink>();
        if (!sink->Open(parent, name, batch, options)) {
            error = sink->Error();
            return nullptr;
        }
        return sink;
    }
    }
    return nullptr;
}
