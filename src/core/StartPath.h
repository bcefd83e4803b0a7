#pragma once
// Where the window starts when it is given a path (quillory PATH, or a file manager opening a file
// with it): what to list first, and which row to select there. The decision is data, so that the
// window only carries it out and tests can check it without one.

#include <string>

enum class StartAction {
    ListDirectory,   // list strDirectory, with the row named strSelectName selected if not empty
    ListMailFolder,  // list the messages of strMailFolder; going up then lists strDirectory
    AskForFolder,    // show strMessage (when not empty), then ask for a directory as without a path
};

struct StartPlan {
    StartAction action = StartAction::AskForFolder;
    std::string strDirectory;   // absolute, with no links, "." or ".." left in it
    std::string strMailFolder;  // strDirectory joined with the file's name as it was given
    std::string strSelectName;  // a file's name in strDirectory, as the listing names its row
    std::string strMessage;     // why the path cannot be listed, for the message box
    bool bMessageFile = false;  // the selected row is a message file (".eml" or ".msg", as listed)
};

// Decides for path, taken relative to cwd when it does not start with "/". A directory is listed;
// a mail-folder file (".dbx" in any case, or a file that starts as one does) is listed with its
// directory above it; any other file lists its directory with the file's row selected. A path that
// is missing, cannot be read, or is neither a directory nor a file gives the message to show and
// AskForFolder; so does an empty path, without a message. Reads at most a file's first four bytes
// and changes nothing.
[[nodiscard]] StartPlan PlanStartPath(const std::string& path, const std::string& cwd);

// The PATH of the window's command line (the arguments after the program's name, argv[1] to
// argv[argc - 1]): the first that is not an option. An option starts with "-" and is more than
// that; whatever follows "--" is no option. An empty argument names nothing. "" when there is
// none. Options are passed over, not refused: the embedded browser takes its own switches from
// the same command line.
[[nodiscard]] std::string StartPathArgument(int argc, const char* const* argv);
