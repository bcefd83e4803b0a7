#pragma once
// Where the messages of one mail folder (or of one directory's message files) go: one mbox file,
// one Maildir, or one directory of message files. Every file is written to a temporary file that
// takes its final name only when it is whole, never replaces a file, and is not flushed on its
// own: the run flushes everything once at its end (DurableBatch).
//
// A message arrives as its first piece (Begin: enough of it for its header), any further pieces
// (Append) and End. A message the caller finds damaged before it has handed out all of it is
// dropped (Drop); in an mbox that spoils the whole file, which is then left out.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/AtomicFile.h"
#include "platform/File.h"

enum class ExportFormat { Mbox, Maildir, Eml };

enum class MessageWritten {
    Written,
    Kept,    // a file of that name was there, and was kept (only message files have names)
    Failed,  // it could not be written (Error() says why)
};

class MessageSink {
public:
    virtual ~MessageSink() = default;

    // Starts a message whose first piece is head (the whole message, or enough of it to hold its
    // header); name is the file name a message file gets. False when it cannot be written: the
    // caller then drops it.
    virtual bool Begin(std::string_view head, const std::string& name) = 0;
    virtual bool Append(std::string_view piece) = 0;
    virtual MessageWritten End() = 0;
    // Forgets the message begun. In an mbox its first pieces may be written already: the mbox is
    // then broken and is not put in place.
    virtual void Drop() = 0;
    // Puts the sink's own file in place (the mbox; message files are in place once written).
    // False when that failed or the sink is broken; the file is then not there.
    virtual bool Finish() = 0;
    // Removes what is not yet in place; files already in place stay.
    virtual void Abandon() = 0;

    // True once the sink takes no more messages: its file is lost (an mbox after a failure).
    [[nodiscard]] bool Broken() const { return m_bBroken; }
    // The last failure, as a line for the user; "" while nothing failed.
    [[nodiscard]] const std::string& Error() const { return m_strError; }
    // The file or directory written (the mbox file, the Maildir, the directory of message files).
    [[nodiscard]] const std::string& Destination() const { return m_strDestination; }
    // The path of the last message file that was kept.
    [[nodiscard]] const std::string& KeptPath() const { return m_strKept; }

protected:
    // Records a failure to write path for the errno value err.
    void Fail(const std::string& path, int err);

    bool m_bBroken = false;
    std::string m_strError;
    std::string m_strDestination;
    std::string m_strKept;
};

struct SinkOptions {
    // Message files only (the eml format): whether a file of the same name is kept, or replaced
    // as extract --overwrite asks. An mbox or a Maildir message never replaces anything.
    ExistingFile existing = ExistingFile::Keep;
    // A replaced file is never this one (the file being read) nor one the program holds open.
    FileIdentity source;
};

// Opens the sink for format at name inside the open directory parent: the file NAME.mbox, the
// Maildir NAME (cur, new, tmp), or the directory NAME of message files; name "" puts message files
// into parent itself. Directories are made as needed, and each one's file system is added to
// batch. Returns null after setting error when it cannot be opened, and bKept when it could not
// because an mbox of that name is there (which is never replaced).
[[nodiscard]] std::unique_ptr<MessageSink> OpenSink(ExportFormat format, const AtomicDirectory& parent,
                                                    const std::string& name, DurableBatch& batch,
                                                    const SinkOptions& options, std::string& error, bool& bKept);
