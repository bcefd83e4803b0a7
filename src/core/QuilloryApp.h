#pragma once
// The one application object: where the listing stands, the entry list, the sort mode, the
// navigation flags and the two remembered directories. This is its core half; the window drives it
// and implements the seams it reports through.
//
// The folders above this one implement the members of their own concern: the entry list, the scan,
// the header lines and the sort in model/, the mail-folder listing in dbx/, the saves in extract/.
// So this header names the list's classes without including them.

#include <cstdint>
#include <string>

#include "platform/Seams.h"

class listax;
class listaf;
class SettingsStore;
class IMainFrame;
class IListingView;

inline constexpr const char* kAppTitle = "Quillory";

// What the status bar says after a listing that scanned for recovered messages: "12 messages
// found outside the index"; "" for a listing that did not scan (nFound -1).
[[nodiscard]] std::string RecoveredStatusText(std::int32_t nFound);

class CQuilloryApp {
public:
    CQuilloryApp() = default;
    ~CQuilloryApp();
    CQuilloryApp(const CQuilloryApp&) = delete;
    CQuilloryApp& operator=(const CQuilloryApp&) = delete;

    // Settings (the per-user key, see SettingsStore). Returns 1 when the existing key was read, 0
    // when it had to be created or could not be had; values that are absent leave the members alone.
    std::int32_t ReadSettings();
    // Writes one value. A value longer than the 499 bytes a setting holds is not written: the old
    // value stays, and stderr says so. Returns 1, or 0 after telling the user.
    std::int32_t WriteSetting(const std::string& strName, std::string strValue);
    // Turns the listing of recovered messages on or off and remembers it ("ShowRecovered").
    // Returns what WriteSetting returns.
    std::int32_t SetShowRecovered(bool bShow);
    // Turns the decoded header cells of the listing on or off and remembers it ("DecodedHeaders");
    // the raw lines they are decoded from are kept while it is on. Returns what WriteSetting returns.
    std::int32_t SetDecodedHeaders(bool bDecoded);

    // The entry list.
    void DeleteAllEntries();
    [[nodiscard]] listaf* FirstEntry() const;
    // Appends a new entry at the tail of the list (in constant time).
    listaf* AppendEntry();
    [[nodiscard]] listaf* FindEntry(std::int32_t nSerial) const;

    // Lists m_strCurrentDir into the entry list. Returns 0.
    std::int32_t ScanDirectory();
    // Fills the header fields of a message-file entry from the start of its file. Returns 0.
    std::int32_t ReadMessageHeaders(listaf* pEntry);
    // Orders the list by kind (descending), then by the key m_nSortMode selects. Returns 0.
    std::int32_t SortEntries();
    [[nodiscard]] std::int32_t CompareEntries(const listaf* const* a, const listaf* const* b) const;

    // Lists the messages of the mail-folder file of m_pCurrentEntry, then, when m_bShowRecovered
    // asks for it, or the index is damaged, or it names no message in a file that is not empty,
    // the messages found outside the index (m_nRecoveredCount). Returns 0.
    std::int32_t ListMailFolder();
    // Save a message as a file of its own, asking for the name. Return 0.
    std::int32_t SaveFolderMessage(listaf* pEntry);
    std::int32_t SaveMessageFile(listaf* pEntry);
    // The directory part of a path, trailing separator included ("" when there is none).
    [[nodiscard]] static std::string DirectoryPart(const std::string& strPath);
    // The directory above a directory path; "/" stays "/".
    [[nodiscard]] static std::string ParentPath(const std::string& strPath);

    // A message box through the seam, captioned with the program's title; returns the button.
    int ShowMessage(const std::string& strText, unsigned flags = MB_OK);
    void ShowProgress(const char* label, std::int32_t n);

    // Members, at their initial values.
    void* m_pSplashWnd = nullptr;
    IListingView* m_pView = nullptr;
    IMainFrame* m_pMainFrame = nullptr;
    void* m_hIcon = nullptr;
    std::int32_t m_bPageReady = 1;
    std::string m_strCurrentDir;
    std::string m_strTargetDir;
    std::string m_strSaveDir;
    std::int32_t m_nSortMode = 0;
    listax* m_pEntries = nullptr;
    listaf* m_pCurrentEntry = nullptr;
    std::int32_t m_nNextSerial = 0;
    std::int32_t m_bRebuildPending = 0;
    std::int32_t m_nItemCount = 0;
    // Keep each message's header lines as found, besides the escaped ones the listing shows
    // (listaf::m_pRawLines). Off by default: the window never shows them.
    bool m_bKeepRawHeaders = false;
    // A mail-folder listing reads the first bytes of every message for its From, To, Subject and
    // Date columns. Off for whoever wants only the messages (names, places, sizes), such as
    // extraction: the listing then reads no message text, and finds the same messages and damage.
    bool m_bListHeaderLines = true;
    // Recovered messages: a mail-folder listing also scans the file for the messages its index does
    // not reach. Off by default; kept in the settings as "ShowRecovered".
    bool m_bShowRecovered = false;
    // The listing's From, To, Subject and Date cells decoded (encoded words, charsets) after every
    // rebuild. Off by default; kept in the settings as "DecodedHeaders".
    bool m_bDecodedHeaders = false;
    // Where the window's exports went last ("ExportDir": the directory the destination was made
    // in) and in which format ("ExportFormat": mbox, maildir or eml); "" until the first export.
    std::string m_strExportDir;
    std::string m_strExportFormat;
    // How many messages the latest listing found outside the index; -1 when it did not scan.
    std::int32_t m_nRecoveredCount = -1;

    // Seams. Null ones are silent: no settings store means nothing is remembered (the command-line
    // tool runs so), no status output means no progress is shown, no message box means no one is
    // told, no save dialog means every save is cancelled.
    SettingsStore* m_pSettings = nullptr;
    IStatusOutput* m_pStatus = nullptr;
    IMessageBox* m_pMessageBox = nullptr;
    ISaveDialog* m_pSaveDialog = nullptr;
};
