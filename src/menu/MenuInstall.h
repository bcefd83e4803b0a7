#pragma once
// Putting the owner-drawn menu into the main window. The frame keeps the COwnerDrawMenu (its
// m_menu) for the window's lifetime; the popups it created live as long as it does.

#include <functional>

class COwnerDrawMenu;
class QAction;
class QMainWindow;
class QMenu;
class QMenuBar;

// Loads menu 128 into menu, gives its commands the images of toolbar 128 and detaches the menu
// bar's handle, which the caller installs. Neither step's failure stops the others: a menu whose
// images cannot be had is shown without them. Returns null only when menu 128 cannot be loaded.
QMenu* BuildOwnerDrawMenu(COwnerDrawMenu& menu);

struct MenuCommandHooks {
    // A command was chosen.
    std::function<void(unsigned nID)> onCommand;
    // A popup is about to open: set the item's enabled and checked state (make it checkable to
    // show a tick; put it in an exclusive action group for a bullet) and its status tip.
    std::function<void(unsigned nID, QAction* pAction)> onUpdate;
};

// Replaces the window's menu bar (and the plain menu in it) by one holding hMenu's items, and
// routes their commands to the hooks. The window takes hMenu over. Returns the new bar, or null
// when there is no window or no menu.
QMenuBar* InstallOwnerDrawMenu(QMainWindow* pWindow, QMenu* hMenu, MenuCommandHooks hooks);
