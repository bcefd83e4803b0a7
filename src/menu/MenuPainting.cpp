// Painting of one popup item, in the flat look (tinted image column, light selection box) or the
// classic look (solid highlight bar, 3D image frames) that palette displays get. Every call reads
// the colours afresh, so a change of theme shows at the next repaint.

#include "menu/OwnerDrawMenu.h"

#include <QPainter>

namespace {

struct ItemGeometry {
    int L, T, R, B, H, dy;
    QRect rcItem, iconCell, iconFrame, column;
};

ItemGeometry Geometry(const QRect& rcItem, int cx, int cy)
{
    ItemGeometry g{};
    g.rcItem = rcItem;
    g.L = rcItem.left();
    g.T = rcItem.top();
    g.R = rcItem.left() + rcItem.width();
    g.B = rcItem.top() + rcItem.height();
    g.H = rcItem.height();
    // A 19-pixel item has no room to spare; a taller one centres the image cell.
    g.dy = std::max(0, (g.H - cy - 4) / 2);
    g.iconCell = MakeRect(g.L + 1, g.T + g.dy + 1, g.L + cx + 3, g.T + cy + g.dy + 3);
    g.iconFrame = MakeRect(g.L, g.T + g.dy, g.L + cx + 4, g.T + cy + g.dy + 4);
    g.column = MakeRect(g.L, g.T, g.L + cx + 5, g.B);
    return g;
}

void FrameRect(QPainter* pDC, const QRect& rc, COLORREF clr)
{
    Draw3dRect(pDC, rc, clr, clr);
}

} // namespace

void COwnerDrawMenu::DrawItem(const DRAWITEMSTRUCT& dis)
{
    if (!dis.pDC || !dis.itemData)
        return;
    dis.pDC->save();
    dis.pDC->setRenderHint(QPainter::Antialiasing, false);
    if (dis.nRasterCaps & RC_PALETTE)
        DrawItemClassic(dis);
    else
        DrawItemFlat(dis);
    dis.pDC->restore();
}

void COwnerDrawMenu::DrawItemImage(const DRAWITEMSTRUCT& dis, QPoint pt)
{
    const CMenuItemData* pRecord = dis.itemData;
    if (pRecord->m_pImageList)
        pRecord->m_pImageList->Draw(dis.pDC, pRecord->m_nImageIndex, pt, ILD_TRANSPARENT);
}

void COwnerDrawMenu::DrawGrayedItemImage(const DRAWITEMSTRUCT& dis, QPoint pt, COLORREF clrBackground)
{
    const CMenuItemData* pRecord = dis.itemData;
    if (!pRecord->m_pImageList)
        return;
    QImage bitmap;
    RenderImageToBitmap(*pRecord->m_pImageList, pRecord->m_nImageIndex, bitmap, m_cxImage, m_cyImage, dis.palette);
    if (m_bDibGrayed)
        DrawGrayedImageDib(dis.pDC, pt.x(), pt.y(), m_cxImage, m_cyImage, bitmap, 0, 0, clrBackground, dis.palette);
    else
        DrawGrayedImage(dis.pDC, pt.x(), pt.y(), m_cxImage, m_cyImage, bitmap, 0, 0, clrBackground, dis.palette);
}

void COwnerDrawMenu::DrawItemFlat(const DRAWITEMSTRUCT& dis)
{
    QPainter* pDC = dis.pDC;
    const QPalette& pal = dis.palette;
    const CMenuItemData* pRecord = dis.itemData;
    const ItemGeometry g = Geometry(dis.rcItem, m_cxImage, m_cyImage);

    const COLORREF face = GetSysColor(IsModernShell() ? COLOR_3DFACE : COLOR_MENU, pal);
    const COLORREF menu = GetSysColor(COLOR_MENU, pal);
    const bool bThemed = face != menu;
    const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT, pal);
    COLORREF iconColumn = face;
    COLORREF background = menu;
    if (!bThemed) {
        iconColumn = TintColor(face, 0.35);
        background = RGB(255, 255, 255);
    }
    unsigned state = dis.itemState;
    if ((state & ODS_GRAYED) && (state & ODS_SELECTED))
        state &= ~ODS_SELECTED;
    const bool bSelected = state & ODS_SELECTED;
    const bool bGrayed = state & ODS_GRAYED;
    const bool bChecked = state & ODS_CHECKED;

    if (pRecord->m_nFlags & MF_SEPARATOR) {
        FillSolidRect(pDC, g.rcItem, background);
        FillSolidRect(pDC, g.column, iconColumn);
        FrameRect(pDC, g.column, iconColumn);
        DrawEtchedTop(pDC, MakeRect(g.column.left() + g.column.width() + 4, g.T + (g.H >> 1), g.R, g.B), pal);
        return;
    }

    const COLORREF selection = TintColor(highlight, bThemed ? 0.7 : 0.85);
    if (bSelected) {
        FillSolidRect(pDC, g.rcItem, selection);
        FrameRect(pDC, g.rcItem, highlight);
    } else {
        FillSolidRect(pDC, g.rcItem, background);
        FillSolidRect(pDC, g.column, iconColumn);
        FrameRect(pDC, g.rcItem, background);
        FrameRect(pDC, g.column, iconColumn);
    }

    const bool bHasImage = pRecord->m_nImageSource >= 0;
    if (bHasImage) {
        FrameRect(pDC, g.iconCell, iconColumn);
        const QPoint at(g.L + 3, g.T + g.dy + 2);
        if (bSelected && !bGrayed) {
            FillSolidRect(pDC, g.iconCell, selection);
            if (IsModernShell() && bChecked)
                FrameRect(pDC, MakeRect(g.L, g.T, g.L + m_cxImage + 4, g.B), highlight);
            DrawItemImage(dis, at);
        } else if (!bGrayed) {
            if (bChecked) {
                const QRect box = MakeRect(g.L + 1, g.T, g.L + m_cxImage + 4, bThemed ? g.B - 1 : g.B);
                FillSolidRect(pDC, box, TintColor(highlight, 0.85));
                FrameRect(pDC, box, highlight);
            } else {
                FillSolidRect(pDC, g.iconCell, iconColumn);
                FrameRect(pDC, g.iconFrame, iconColumn);
            }
            DrawItemImage(dis, at);
        } else {
            FrameRect(pDC, g.iconFrame, iconColumn);
            DrawGrayedItemImage(dis, QPoint(g.L + 2, g.T + g.dy + 2), iconColumn);
        }
    } else if (bChecked) {
        const QRect box = MakeRect(g.L + 2, g.T + g.dy + 2, g.L + m_cxImage + 2,
                                   g.T + m_cyImage + g.dy + (bThemed ? 3 : 2));
        DrawCheckFlat(pDC, box, dis.bCheckedBitmap, pal);
    }

    COLORREF text = GetSysColor(COLOR_MENUTEXT, pal);
    if (bGrayed) {
        const COLORREF gray = GetSysColor(COLOR_GRAYTEXT, pal);
        text = bThemed ? gray : TintColor(gray, 0.55);
    }
    DrawItemText(dis, MakeRect(g.L + m_cxImage + 9, g.T - 1, g.R, g.B - 1), text);
}

void COwnerDrawMenu::DrawItemClassic(const DRAWITEMSTRUCT& dis)
{
    QPainter* pDC = dis.pDC;
    const QPalette& pal = dis.palette;
    const CMenuItemData* pRecord = dis.itemData;
    const ItemGeometry g = Geometry(dis.rcItem, m_cxImage, m_cyImage);

    const COLORREF face = GetSysColor(IsModernShell() ? COLOR_3DFACE : COLOR_MENU, pal);
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW, pal);
    const COLORREF hilite = GetSysColor(COLOR_BTNHIGHLIGHT, pal);
    // The classic look keeps a disabled item's selection: it shows the bar, text in the face colour.
    const bool bSelected = dis.itemState & ODS_SELECTED;
    const bool bGrayed = dis.itemState & ODS_GRAYED;
    const bool bChecked = dis.itemState & ODS_CHECKED;

    if (pRecord->m_nFlags & MF_SEPARATOR) {
        FillSolidRect(pDC, g.rcItem, face);
        DrawEtchedTop(pDC, MakeRect(g.L, g.T + (g.H >> 1), g.R, g.B), pal);
        return;
    }

    const bool bHasImage = pRecord->m_nImageSource >= 0;
    COLORREF text = GetSysColor(COLOR_MENUTEXT, pal);
    if (bSelected) {
        const QRect bar = (bHasImage || bChecked) ? MakeRect(g.L + m_cxImage + 5, g.T, g.R, g.B) : g.rcItem;
        FillSolidRect(pDC, bar, GetSysColor(COLOR_HIGHLIGHT, pal));
        text = GetSysColor(COLOR_HIGHLIGHTTEXT, pal);
    } else {
        FillSolidRect(pDC, g.rcItem, face);
        FrameRect(pDC, g.rcItem, face);
    }

    if (bHasImage) {
        FrameRect(pDC, g.iconCell, face);
        const QPoint at(g.L + 2, g.T + g.dy + 2);
        if (bSelected && !bGrayed) {
            FillSolidRect(pDC, g.iconCell, face);
            if (IsModernShell()) {
                if (bChecked)
                    Draw3dRect(pDC, g.iconFrame, shadow, hilite);
                else
                    Draw3dRect(pDC, g.iconFrame, hilite, shadow);
            }
            DrawItemImage(dis, at);
        } else if (!bGrayed) {
            if (bChecked) {
                FillSolidRect(pDC, g.iconCell, GetSysColor(COLOR_3DLIGHT, pal));
                if (IsModernShell())
                    Draw3dRect(pDC, g.iconFrame, shadow, hilite);
            } else {
                FillSolidRect(pDC, g.iconCell, face);
                FrameRect(pDC, g.iconFrame, face);
            }
            DrawItemImage(dis, at);
        } else {
            FrameRect(pDC, g.iconFrame, face);
            DrawGrayedItemImage(dis, at, face);
        }
    } else if (bChecked) {
        const QRect box = MakeRect(g.L + 1, g.T + g.dy + 2, g.L + m_cxImage + 1, g.T + m_cyImage + g.dy + 2);
        DrawCheckClassic(pDC, box, bSelected, dis.bCheckedBitmap, pal);
    }

    const QRect rcText = MakeRect(g.L + m_cxImage + 9, g.T - 1, g.R, g.B - 1);
    if (!bGrayed) {
        DrawItemText(dis, rcText, text);
    } else if (bSelected) {
        DrawItemText(dis, rcText, face);
    } else {
        DrawItemText(dis, rcText.translated(1, 1), hilite);
        DrawItemText(dis, rcText, GetSysColor(COLOR_GRAYTEXT, pal));
    }
}

void COwnerDrawMenu::DrawCheckFlat(QPainter* pDC, const QRect& rc, bool bBullet, const QPalette& palette)
{
    const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT, palette);
    FillSolidRect(pDC, rc, TintColor(highlight, 0.85));
    Draw3dRect(pDC, rc, highlight, highlight);
    const COLORREF glyph = GetSysColor(COLOR_MENUTEXT, palette);
    if (bBullet)
        DrawBullet(pDC, rc.left() + 5, rc.top() + 4, glyph);
    else
        DrawTick(pDC, rc.left() + 5, rc.top() + 4, glyph);
}

void COwnerDrawMenu::DrawCheckClassic(QPainter* pDC, const QRect& rc, bool bSelected, bool bBullet,
                                      const QPalette& palette)
{
    FillSolidRect(pDC, rc, GetSysColor(bSelected || !IsModernShell() ? COLOR_MENU : COLOR_3DLIGHT, palette));
    if (IsModernShell())
        DrawSunkenOuter(pDC, rc, palette);
    const COLORREF glyph = GetSysColor(COLOR_MENUTEXT, palette);
    if (bBullet)
        DrawBullet(pDC, rc.left() + 5, rc.top() + 4, glyph);
    else
        DrawTick(pDC, rc.left() + 4, rc.top() + 4, glyph);
}

void COwnerDrawMenu::DrawItemText(const DRAWITEMSTRUCT& dis, const QRect& rcText, COLORREF clrText)
{
    const QString text = dis.itemData->GetWideText();
    if (text.isEmpty())
        return;
    QRect rc = rcText;
    QString label = text;
    QString accelerator;
    const qsizetype firstTab = text.indexOf(u'\t');
    if (firstTab >= 0) {
        label = text.left(firstTab);
        accelerator = text.mid(text.lastIndexOf(u'\t') + 1);
        rc.setRight(rc.right() - m_cxImage);
    }
    QPainter* pDC = dis.pDC;
    pDC->save();
    pDC->setFont(CreateMenuFont());
    pDC->setPen(ToQColor(clrText));
    // "&" marks the mnemonic: the next character is underlined and the ampersand not shown.
    const int flags = Qt::TextSingleLine | Qt::AlignVCenter | Qt::TextShowMnemonic;
    pDC->drawText(rc, flags | Qt::AlignLeft, label);
    if (!accelerator.isEmpty())
        pDC->drawText(rc, flags | Qt::AlignRight, accelerator);
    pDC->restore();
}
