#pragma once
// Command and resource ids of the main frame, and the frame's menu and toolbar as data, so that
// the plain menus built now and an owner-drawn menu built later show the same items with the same
// ids and send them to the same dispatcher (CMainFrame::OnCommand).

#include <array>
#include <span>

// The standard commands, with their fixed numeric ids.
inline constexpr int ID_FILE_NEW = 57600;
inline constexpr int ID_FILE_OPEN = 57601;
inline constexpr int ID_FILE_PRINT = 57607;
inline constexpr int ID_EDIT_FIND = 57636;
inline constexpr int ID_APP_ABOUT = 57664;
inline constexpr int ID_APP_EXIT = 57665;
inline constexpr int ID_VIEW_TOOLBAR = 59392;
inline constexpr int ID_VIEW_STATUS_BAR = 59393;

// The program's own commands.
inline constexpr int ID_CHOOSE_FOLDER = 32771;     // no item carries it
inline constexpr int ID_SHOW_HTML_DIALOG = 32773;  // no item carries it
inline constexpr int ID_SORT_ENTRY = 32774;
inline constexpr int ID_SORT_FROM = 32775;
inline constexpr int ID_SORT_TO = 32776;
inline constexpr int ID_SORT_SUBJECT = 32777;
inline constexpr int ID_VIEW_DECODED_HEADERS = 32785;  // a check item: the header cells decoded
inline constexpr int ID_SHOW_RECOVERED = 32790;  // a check item: list the messages found by the scan
inline constexpr int ID_FILE_EXPORT = 32791;     // the place listed, into mbox, Maildir or .eml files

// Status-bar indicators and the idle text.
inline constexpr int ID_SEPARATOR = 0;
inline constexpr int ID_INDICATOR_CAPS = 59137;
inline constexpr int ID_INDICATOR_NUM = 59138;
inline constexpr int ID_INDICATOR_SCRL = 59139;  // the message counter
inline constexpr int AFX_IDS_IDLEMESSAGE = 57345;

// Strings of start-up that can no longer be shown (see CWindowApp::InitInstance).
inline constexpr int IDP_OLE_INIT_FAILED = 100;
inline constexpr int IDP_SOCKETS_INIT_FAILED = 104;
inline constexpr int IDR_MAINFRAME = 128;  // document template string, icon, menu, toolbar

inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_HTML_DIALOG = 135;
inline constexpr int IDR_HTML_DIALOG_PAGE = 103;

// One item of a popup menu; nId 0 is a separator.
struct MenuItemTemplate {
    const char* pszText;  // with "&" mnemonics and, after a tab, the accelerator's name
    int nId;
};

struct MenuPopupTemplate {
    const char* pszText;
    std::span<const MenuItemTemplate> items;
};

namespace frame_detail {
inline constexpr std::array kFileItems{
    MenuItemTemplate{"&Open...\tCtrl+O", ID_FILE_OPEN},
    MenuItemTemplate{"&Find...\tCtrl+F", ID_EDIT_FIND},
    MenuItemTemplate{"E&xport...", ID_FILE_EXPORT},
    MenuItemTemplate{"&Exit", ID_APP_EXIT},
};
inline constexpr std::array kOrderItems{
    MenuItemTemplate{"Message n.", ID_SORT_ENTRY},
    MenuItemTemplate{"From", ID_SORT_FROM},
    MenuItemTemplate{"To", ID_SORT_TO},
    MenuItemTemplate{"Subject", ID_SORT_SUBJECT},
};
inline constexpr std::array kShowItems{
    MenuItemTemplate{"&Instruments bar", ID_VIEW_TOOLBAR},
    MenuItemTemplate{"&Status bar", ID_VIEW_STATUS_BAR},
    MenuItemTemplate{"&Decoded headers", ID_VIEW_DECODED_HEADERS},
    MenuItemTemplate{"&Recovered messages", ID_SHOW_RECOVERED},
};
inline constexpr std::array kHelpItems{
    MenuItemTemplate{"&Info about Quillory...", ID_APP_ABOUT},
};
} // namespace frame_detail

// Menu 128, in order; "&?" is the last popup.
inline constexpr std::array<MenuPopupTemplate, 4> kMainMenu{{
    {"&File", frame_detail::kFileItems},
    {"&Order by", frame_detail::kOrderItems},
    {"&Show", frame_detail::kShowItems},
    {"&?", frame_detail::kHelpItems},
}};

// Toolbar 128: 0 is a separator; the others take the strip's images in this order.
inline constexpr std::array<int, 9> kToolbarButtons{
    ID_FILE_OPEN, 0, ID_FILE_PRINT, ID_APP_ABOUT, 0,
    ID_SORT_ENTRY, ID_SORT_FROM, ID_SORT_TO, ID_SORT_SUBJECT,
};
inline constexpr int kToolbarImageWidth = 16;
inline constexpr int kToolbarImageHeight = 15;

// Accelerators 128 that reach the program's own commands; the framework's others (save, undo,
// clipboard, pane switching) belong to the view and the platform.
struct AcceleratorTemplate {
    const char* pszKey;  // in QKeySequence's portable form
    int nId;
};
inline constexpr std::array<AcceleratorTemplate, 3> kAccelerators{{
    {"Ctrl+N", ID_FILE_NEW},
    {"Ctrl+O", ID_FILE_OPEN},
    {"Ctrl+F", ID_EDIT_FIND},
}};
