#pragma once
// What quillory-cli shows instead of the window: message boxes go to stderr as they stand, and
// entries go to stdout as one JSON object a line.

#include <iosfwd>
#include <string>
#include <string_view>

#include "model/listax.h"

class CQuilloryApp;
#include "platform/Seams.h"

// The name each message on stderr starts with, so that a script's log says who spoke.
inline constexpr std::string_view kCliName = "quillory-cli";

// Says on stderr what was wrong with the command line, then the usage lines; returns 2, the exit
// status for wrong usage.
int WrongUsage(std::string_view problem, std::string_view usage);

// Writes each message's text to stderr, after the program's name, and remembers that one was shown.
class StderrMessageBox : public IMessageBox {
public:
    int MessageBox(std::string_view text, std::string_view caption, unsigned flags) override;
    [[nodiscard]] bool AnyShown() const { return m_bShown; }

private:
    bool m_bShown = false;
};

// Standard output that remembers its first failure (a full disk, say), so that a command can say
// so and exit 1 instead of claiming success.
class StdoutWriter {
public:
    void Write(std::string_view text);
    // Flushes what was written. Returns false, after saying why on stderr, when a write or the
    // flush failed.
    [[nodiscard]] bool Finish();

private:
    int m_nError = 0;
};

// A JSON string whose code points are the bytes of text (byte b is U+00b), so that a reader that
// encodes the decoded string as Latin-1 gets the bytes back exactly.
[[nodiscard]] std::string JsonBytes(std::string_view text);
// The same, appended to out: no allocation once out has room.
void AppendJsonBytes(std::string& out, std::string_view text);

// One entry as a JSON object on one line (no line feed). The *_raw keys carry the entry's raw
// header lines: those the listing kept (CQuilloryApp::m_bKeepRawHeaders), and a folder message's
// from its header block; "" otherwise. A folder message also says whether it was recovered, and
// whether whole. Appended to out.
void AppendEntryJson(std::string& out, const listaf& entry);

// Lists the messages of the mail-folder file at path as the window does after a click on it: the
// folder's entry is current while the reader starts.
void ListMailFolderAt(CQuilloryApp& app, const std::string& path);

// A message's name as the listing gives it: "Msg00003" and "Msg00003.eml" name the same message
// (and "Rec00001" a recovered one).
[[nodiscard]] std::string FolderMessageName(std::string given);
// The listed folder message that given names, or null.
[[nodiscard]] const listaf* FindFolderMessage(const CQuilloryApp& app, const std::string& given);
