#pragma once
// The real window in-process: the application object, CWindowApp with the folder chooser, save
// dialog and message boxes answered by the test, settings under a temporary XDG_CONFIG_HOME, and
// helpers that read the listing page back and click on it.

#include <QJsonArray>
#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "EventLoopWait.h"
#include "TempDir.h"
#include "app/FolderDialog.h"
#include "app/MainFrame.h"
#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "app/WindowApp.h"
#include "platform/Seams.h"

class CQuilloryView;

// Answers folder questions from a queue (nullopt: Cancel) and keeps what was asked.
class ScriptedChooser : public IFolderChooser {
public:
    int ChooseFolder(const QString& title, const std::string& initialPath, QWidget* parent,
                     std::string& chosen) override;

    std::deque<std::optional<std::string>> answers;
    std::vector<QString> titles;
    std::vector<std::string> initialPaths;
};

// Answers save questions from a queue (nullopt: Cancel) and keeps the requests.
class ScriptedSaveDialog : public ISaveDialog {
public:
    std::optional<std::string> AskSavePath(const SaveDialogRequest& request) override;

    std::deque<std::optional<std::string>> answers;
    std::vector<SaveDialogRequest> requests;
};

// SpinUntil's limit is a safety limit against a hang, not a slow machine: it is far above
// anything the cases need.

// A mail-folder file holding these messages, one data block chain each; a message is cut into
// blocks of at most blockSize bytes so that chains of several blocks are exercised.
std::string MailFolderBytes(const std::vector<std::string>& messages, std::size_t blockSize = 400);

// A message with the four header lines the listing shows.
std::string MessageText(const std::string& from, const std::string& to, const std::string& subject,
                        const std::string& body = "Hello.\r\n");

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs start-up, answering the chooser with dir (nullopt: Cancel) if it asks, started on
    // startPath as from the command line when one is given. True when start-up went on and the
    // first listing is on the page.
    bool Start(const std::optional<std::string>& dir, const std::string& startPath = {});
    // Ends the window and the application object, as closing the program does.
    void Stop();

    // Runs action and waits for the table refill it causes, with nothing left pending.
    bool RefillAfter(const std::function<void()>& action);

    [[nodiscard]] CMainFrame& Frame() const { return *m_pWindow->MainFrame(); }
    [[nodiscard]] CQuilloryView& View() const;
    [[nodiscard]] CQuilloryApp& App() const { return *m_pApp; }

    // The table's rows, each an array of cells {cls, html, title, colspan, text}.
    [[nodiscard]] QJsonArray Rows() const;
    // The names shown in the link cells, in row order.
    [[nodiscard]] std::vector<std::string> Names() const;
    // The place written into the page header.
    [[nodiscard]] std::string HeaderPath() const;
    // Clicks the link of the row showing name; false when no row shows it.
    bool ClickEntry(const std::string& name);
    // Clicks the go-up arrow.
    void ClickGoUp();
    // Presses and releases a key where the listing takes its keys.
    void PressKey(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // The stored settings value, or nullopt.
    [[nodiscard]] std::optional<std::string> Setting(const std::string& name) const;

    TempDir m_tmp;
    std::string m_strConfig;
    ScriptedChooser m_chooser;
    ScriptedSaveDialog m_saveDialog;
    RecordingMessageBox m_messages;
    std::unique_ptr<CQuilloryApp> m_pApp;
    std::unique_ptr<CWindowApp> m_pWindow;
    int m_nFills = 0;
};
