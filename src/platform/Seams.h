#pragma once
// The few ways the core reaches the user. The window implements them with real widgets, the
// command-line tool writes to stderr, and tests record what was said.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Message-box flags as numeric bits: a caller names the buttons and the icon in one word, and each
// implementation maps them onto its own boxes.
inline constexpr unsigned MB_OK = 0x0000;
inline constexpr unsigned MB_OKCANCEL = 0x0001;
inline constexpr unsigned MB_YESNO = 0x0004;
inline constexpr unsigned MB_ICONERROR = 0x0010;
inline constexpr unsigned MB_ICONEXCLAMATION = 0x0030;
inline constexpr unsigned MB_ICONINFORMATION = 0x0040;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// A modal message box: text, caption, flags. Returns the button pressed (IDOK for a plain box).
class IMessageBox {
public:
    virtual ~IMessageBox() = default;
    virtual int MessageBox(std::string_view text, std::string_view caption, unsigned flags) = 0;
};

// The status bar's two outputs: the progress text of pane 0 (label, a blank, n) and the message
// counter of the last pane, which the window reads from the application object when idle.
class IStatusOutput {
public:
    virtual ~IStatusOutput() = default;
    // Shows "label n" at once; callers run long loops without returning to an event loop.
    virtual void SetProgressText(std::string_view label, std::int32_t n) = 0;
};

// What the save dialog is asked to show. Everything but the initial directory and name is fixed by
// the program; the window maps it onto its own file dialog.
struct SaveDialogRequest {
    bool bSave = true;                      // a "save as" dialog, not an open dialog
    std::string strDefaultExt = "*.EML";
    std::string strInitialName;
    bool bOverwritePrompt = true;           // choosing an existing file asks before replacing it
    std::string strFilter = "Mail message (*.eml)|*.eml|Raw mail (*.msg)|*.msg|All Files (*.*)|*.*||";
    std::string strInitialDir;
};

// The save dialog. Returns the chosen full path, or nothing when the user cancelled.
class ISaveDialog {
public:
    virtual ~ISaveDialog() = default;
    [[nodiscard]] virtual std::optional<std::string> AskSavePath(const SaveDialogRequest& request) = 0;
};

// Test and command-line implementations that keep what they were told.
struct RecordedMessage {
    std::string text;
    std::string caption;
    unsigned flags = 0;
};

class RecordingMessageBox : public IMessageBox {
public:
    int MessageBox(std::string_view text, std::string_view caption, unsigned flags) override;
    std::vector<RecordedMessage> messages;
    int answer = IDOK;                      // what every box "returns"
};

class RecordingStatus : public IStatusOutput {
public:
    void SetProgressText(std::string_view label, std::int32_t n) override;
    std::vector<std::string> texts;         // each as shown: "label n"
};

// Formats a progress text exactly as pane 0 shows it.
[[nodiscard]] std::string FormatProgressText(std::string_view label, std::int32_t n);
