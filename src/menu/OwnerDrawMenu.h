#pragma once
// The window's menu, measured and painted by the program itself. A COwnerDrawMenu stands for one
// menu handle (a QMenu): the menu bar's handle is a QMenu that is never shown, whose actions go
// into the window's QMenuBar; every popup is a COwnerDrawMenu of its own, owned by its parent
// menu. Each popup item carries a CMenuItemData record (its text with the accelerator after a
// tab, its image, flags and id); the OwnerDrawStyle hands the item's size and paint requests to
// the menu that owns it.

#include "menu/MenuImages.h"
#include "menu/MenuSystem.h"

#include <QByteArrayView>
#include <QMenu>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QPainter;

// Command id of an item; for a popup item, its popup's handle.
using MenuItemId = std::uintptr_t;

class CMenuItemData {
public:
    CMenuItemData() = default;
    CMenuItemData(const CMenuItemData&) = delete;
    CMenuItemData& operator=(const CMenuItemData&) = delete;

    // The text in the locale's narrow encoding; empty when there is none.
    [[nodiscard]] std::string GetText() const;
    void SetText(const std::string& strText);
    // A null string stores no text.
    void SetWideText(const QString& strText) { m_pszText = strText; }
    [[nodiscard]] const QString& GetWideText() const { return m_pszText; }

    QString m_pszText;  // null when there is none
    int m_nImageIndex = -1;
    int m_nImageSource = -1;
    unsigned m_nFlags = 0;
    MenuItemId m_nID = 0;
    std::unique_ptr<CImageList> m_pImageList;
};

// A size request for one item, filled by MeasureItem.
struct MEASUREITEMSTRUCT {
    unsigned itemWidth = 0;
    unsigned itemHeight = 0;
    const CMenuItemData* itemData = nullptr;
};

// A paint request for one item.
struct DRAWITEMSTRUCT {
    QPainter* pDC = nullptr;
    // The device's raster capabilities (GetRasterCaps); RC_PALETTE selects the classic style.
    int nRasterCaps = 0;
    QRect rcItem;
    unsigned itemState = 0;  // ODS_* bits
    // The item has a checked-state bitmap of its own: an exclusive (radio) item, drawn with a
    // bullet instead of a tick.
    bool bCheckedBitmap = false;
    QPalette palette;
    const CMenuItemData* itemData = nullptr;
};

// Shell kinds: 0 = Win32s, 1 = Windows 95 family, 2 = NT 3.x, 3 = NT 4 and later. Every desktop
// this program runs on has the modern menu look, so the kind is 3.
[[nodiscard]] int GetShellKind();
extern int g_nShellKind;
[[nodiscard]] inline bool IsModernShell() { return g_nShellKind == 1 || g_nShellKind == 3; }

// Handles of every popup any COwnerDrawMenu created, until that menu is destroyed.
extern std::vector<QMenu*> g_arrMenuHandles;

class COwnerDrawMenu {
public:
    COwnerDrawMenu() = default;
    virtual ~COwnerDrawMenu();
    COwnerDrawMenu(const COwnerDrawMenu&) = delete;
    COwnerDrawMenu& operator=(const COwnerDrawMenu&) = delete;

    // The object attached to a handle, or none.
    [[nodiscard]] static COwnerDrawMenu* FromHandlePermanent(const QMenu* hMenu);
    bool Attach(QMenu* hMenu);
    // Gives up the handle (and the duty to delete it); the records and child popups stay.
    QMenu* Detach();
    [[nodiscard]] QMenu* GetSafeHmenu() const { return m_hMenu.data(); }

    virtual void DrawItem(const DRAWITEMSTRUCT& dis);
    virtual void MeasureItem(MEASUREITEMSTRUCT& mis);
    // Menu resource nIDResource. Returns false when it is missing or malformed.
    virtual bool LoadMenu(unsigned nIDResource);
    // By name: "#128" or "128" names the resource 128. Returns false when the resource is missing
    // or malformed, with no item added.
    virtual bool LoadMenu(const QString& strName);
    // Deletes the handle (when still attached), the child popups and the records. Returns true
    // when a handle was deleted.
    virtual bool DestroyMenu();

    // Builds the menu from template bytes. Returns false, adding nothing, for a malformed template.
    bool LoadMenuIndirect(QByteArrayView data);
    // Gives the menu's commands the images of toolbar resource nIDToolBar. Returns false when the
    // toolbar or its bitmap cannot be loaded.
    bool LoadToolBarImages(unsigned nIDToolBar);

    bool AppendOwnerDrawItem(const QString& strText, unsigned nFlags, MenuItemId nID);
    // Pads the labels of items with accelerators so the accelerators line up.
    void AlignAccelerators();
    // The (sub)menu and position holding the command, depth first; none and -1 when absent.
    COwnerDrawMenu* FindCommandItem(MenuItemId nID, int& nPosition);
    // As FindCommandItem, skipping the (menu, position) pairs already visited.
    COwnerDrawMenu* FindNextCommandItem(MenuItemId nID, int& nPosition,
                                        const std::vector<COwnerDrawMenu*>& visitedMenus,
                                        const std::vector<int>& visitedPositions);
    // Sets text (unless null) and image of every item with the command. Returns false when no
    // item has the command.
    bool SetItemImage(const QString& strText, MenuItemId nID, const CImageList* pImageList, int nImageIndex);

    [[nodiscard]] int GetItemCount() const { return int(m_arrItems.size()); }
    [[nodiscard]] CMenuItemData* GetItemData(int nPosition) const;
    // The record of one of this menu's actions, or none.
    [[nodiscard]] CMenuItemData* RecordOf(const QAction* pAction) const;
    // The action at a position of this menu, or none.
    [[nodiscard]] QAction* ActionAt(int nPosition) const;

    std::vector<std::unique_ptr<CMenuItemData>> m_arrItems;
    std::vector<QMenu*> m_arrSubMenus;
    int m_cxImage = 16;
    int m_cyImage = 15;
    bool m_bDibGrayed = false;

private:
    void DrawItemFlat(const DRAWITEMSTRUCT& dis);
    void DrawItemClassic(const DRAWITEMSTRUCT& dis);
    void DrawCheckFlat(QPainter* pDC, const QRect& rc, bool bBullet, const QPalette& palette);
    void DrawCheckClassic(QPainter* pDC, const QRect& rc, bool bSelected, bool bBullet, const QPalette& palette);
    void DrawItemText(const DRAWITEMSTRUCT& dis, const QRect& rcText, COLORREF clrText);
    void DrawItemImage(const DRAWITEMSTRUCT& dis, QPoint pt);
    void DrawGrayedItemImage(const DRAWITEMSTRUCT& dis, QPoint pt, COLORREF clrBackground);
    COwnerDrawMenu* FindCommandItemImpl(MenuItemId nID, int& nPosition,
                                        const std::vector<COwnerDrawMenu*>* pVisitedMenus,
                                        const std::vector<int>* pVisitedPositions);

    QPointer<QMenu> m_hMenu;
};

// Where menu resources are found: ":/menu/MENU/<name>".
[[nodiscard]] QString MenuResourcePath(const QString& strName);

// Toolbar resources: button size and the command of each button, 0 for a separator.
struct ToolBarResource {
    int cx = 16;
    int cy = 15;
    std::vector<unsigned> buttons;
};
// The toolbar resource nID, or nullptr when there is none.
[[nodiscard]] const ToolBarResource* FindToolBarResource(unsigned nID);

// The command id an action carries (popup items and separators carry 0).
[[nodiscard]] unsigned CommandIdOf(const QAction* pAction);
