#include "menu/OwnerDrawStyle.h"

#include "menu/OwnerDrawMenu.h"

#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QStyleOptionMenuItem>

namespace {

COwnerDrawMenu* OwnerOf(const QWidget* widget)
{
    const auto* menu = qobject_cast<const QMenu*>(widget);
    return menu ? COwnerDrawMenu::FromHandlePermanent(menu) : nullptr;
}

// The colour the flat look gives a menu's background, or the classic look's face.
COLORREF PanelColour(const QPalette& palette, int nRasterCaps)
{
    const COLORREF face = GetSysColor(IsModernShell() ? COLOR_3DFACE : COLOR_MENU, palette);
    if (nRasterCaps & RC_PALETTE)
        return face;
    const COLORREF menu = GetSysColor(COLOR_MENU, palette);
    return face != menu ? menu : RGB(255, 255, 255);
}

} // namespace

void COwnerDrawStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                                  const QWidget* widget) const
{
    COwnerDrawMenu* pOwner = OwnerOf(widget);
    if (pOwner && element == CE_MenuEmptyArea) {
        FillSolidRect(painter, option->rect, PanelColour(option->palette, GetRasterCaps(painter->device())));
        return;
    }
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (!pOwner || element != CE_MenuItem || !item) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    const auto* menu = static_cast<const QMenu*>(widget);
    const CMenuItemData* pRecord = pOwner->RecordOf(menu->actionAt(option->rect.center()));
    if (!pRecord) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    DRAWITEMSTRUCT dis;
    dis.pDC = painter;
    dis.nRasterCaps = GetRasterCaps(painter->device());
    dis.rcItem = option->rect;
    if (option->state & State_Selected)
        dis.itemState |= ODS_SELECTED;
    if (!(option->state & State_Enabled))
        dis.itemState |= ODS_GRAYED;
    if (item->checked)
        dis.itemState |= ODS_CHECKED;
    dis.bCheckedBitmap = item->checkType == QStyleOptionMenuItem::Exclusive;
    dis.palette = option->palette;
    dis.itemData = pRecord;
    pOwner->DrawItem(dis);

    if (item->menuItemType == QStyleOptionMenuItem::SubMenu) {
        // The system adds the arrow of a cascading item after the owner has painted it.
        QStyleOption arrow(*option);
        const int size = pOwner->m_cxImage / 2;
        arrow.rect = QRect(option->rect.right() - size - 4, option->rect.center().y() - size / 2, size, size);
        QProxyStyle::drawPrimitive(PE_IndicatorArrowRight, &arrow, painter, widget);
    }
}

void COwnerDrawStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                    const QWidget* widget) const
{
    if (OwnerOf(widget)) {
        if (element == PE_PanelMenu) {
            FillSolidRect(painter, option->rect, PanelColour(option->palette, GetRasterCaps(painter->device())));
            return;
        }
        if (element == PE_FrameMenu) {
            const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW, option->palette);
            Draw3dRect(painter, option->rect, shadow, shadow);
            return;
        }
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

QSize COwnerDrawStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                                        const QWidget* widget) const
{
    COwnerDrawMenu* pOwner = OwnerOf(widget);
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (!pOwner || type != CT_MenuItem || !item)
        return QProxyStyle::sizeFromContents(type, option, size, widget);

    // QMenu asks before it has laid its items out, so the request names the item only by its
    // label. Items with equal labels in one popup measure alike, so the first one answers.
    const bool bSeparator = item->menuItemType == QStyleOptionMenuItem::Separator;
    const CMenuItemData* pRecord = nullptr;
    for (const QAction* pAction : static_cast<const QMenu*>(widget)->actions()) {
        if (pAction->isSeparator() == bSeparator && (bSeparator || pAction->text() == item->text)) {
            pRecord = pOwner->RecordOf(pAction);
            if (pRecord)
                break;
        }
    }
    if (!pRecord)
        return QProxyStyle::sizeFromContents(type, option, size, widget);
    MEASUREITEMSTRUCT mis;
    mis.itemData = pRecord;
    pOwner->MeasureItem(mis);
    // QMenu leaves out items of zero width; the popup is as wide as its widest item anyway.
    return QSize(std::max(1, int(mis.itemWidth)), int(mis.itemHeight));
}

int COwnerDrawStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const
{
    if (OwnerOf(widget)) {
        switch (metric) {
        case PM_MenuPanelWidth:
            return 1;
        case PM_MenuHMargin:
        case PM_MenuVMargin:
            return 0;
        default:
            break;
        }
    }
    return QProxyStyle::pixelMetric(metric, option, widget);
}

int COwnerDrawStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                               QStyleHintReturn* returnData) const
{
    // Disabled items can be selected, so the classic look can show its bar over them.
    if (hint == SH_Menu_AllowActiveAndDisabled && OwnerOf(widget))
        return 1;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

QStyle* OwnerDrawStyle()
{
    static QPointer<COwnerDrawStyle> style;
    if (!style) {
        style = new COwnerDrawStyle;
        style->setParent(qApp);
    }
    return style;
}
