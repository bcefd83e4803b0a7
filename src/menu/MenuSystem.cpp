#include "menu/MenuSystem.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPaintDevice>
#include <QPainter>

#include <array>

QColor ToQColor(COLORREF c)
{
    return QColor(int(GetRValue(c)), int(GetGValue(c)), int(GetBValue(c)));
}

COLORREF FromQColor(const QColor& c)
{
    return RGB(unsigned(c.red()), unsigned(c.green()), unsigned(c.blue()));
}

int GetRasterCaps(const QPaintDevice* pDevice)
{
    return pDevice && pDevice->depth() <= 8 ? RC_PALETTE : 0;
}

namespace {

struct SysColorRole {
    int nIndex;
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};

// The one mapping from system colours to palette roles (documented in the header).
constexpr std::array kSysColorRoles{
    SysColorRole{COLOR_MENU, QPalette::Active, QPalette::Base},
    SysColorRole{COLOR_MENUTEXT, QPalette::Active, QPalette::Text},
    SysColorRole{COLOR_HIGHLIGHT, QPalette::Active, QPalette::Highlight},
    SysColorRole{COLOR_HIGHLIGHTTEXT, QPalette::Active, QPalette::HighlightedText},
    SysColorRole{COLOR_3DFACE, QPalette::Active, QPalette::Button},
    SysColorRole{COLOR_BTNSHADOW, QPalette::Active, QPalette::Dark},
    SysColorRole{COLOR_GRAYTEXT, QPalette::Disabled, QPalette::Text},
    SysColorRole{COLOR_BTNTEXT, QPalette::Active, QPalette::ButtonText},
    SysColorRole{COLOR_BTNHIGHLIGHT, QPalette::Active, QPalette::Light},
    SysColorRole{COLOR_3DLIGHT, QPalette::Active, QPalette::Midlight},
};

} // namespace

COLORREF GetSysColor(int nIndex, const QPalette& palette)
{
    for (const SysColorRole& entry : kSysColorRoles) {
        if (entry.nIndex == nIndex)
            return FromQColor(palette.color(entry.group, entry.role));
    }
    return 0;
}

QPalette MenuPalette()
{
    return QApplication::palette("QMenu");
}

COLORREF GetSysColor(int nIndex)
{
    return GetSysColor(nIndex, MenuPalette());
}

int GetSystemMetrics(int nIndex)
{
    if (nIndex != SM_CYMENU)
        return 0;
    const QFontMetrics metrics(CreateMenuFont());
    return std::max(19, metrics.height() + 6);
}

QFont CreateMenuFont()
{
    return QApplication::font("QMenu");
}

void FillSolidRect(QPainter* pDC, const QRect& rc, COLORREF clr)
{
    if (rc.isValid())
        pDC->fillRect(rc, ToQColor(clr));
}

void Draw3dRect(QPainter* pDC, const QRect& rc, COLORREF clrTopLeft, COLORREF clrBottomRight)
{
    const int x = rc.left(), y = rc.top(), cx = rc.width(), cy = rc.height();
    if (cx <= 0 || cy <= 0)
        return;
    FillSolidRect(pDC, QRect(x, y, cx - 1, 1), clrTopLeft);
    FillSolidRect(pDC, QRect(x, y, 1, cy - 1), clrTopLeft);
    FillSolidRect(pDC, QRect(x + cx - 1, y, 1, cy), clrBottomRight);
    FillSolidRect(pDC, QRect(x, y + cy - 1, cx, 1), clrBottomRight);
}

void DrawEtchedTop(QPainter* pDC, const QRect& rc, const QPalette& palette)
{
    if (rc.width() <= 0 || rc.height() <= 0)
        return;
    FillSolidRect(pDC, QRect(rc.left(), rc.top(), rc.width(), 1), GetSysColor(COLOR_BTNSHADOW, palette));
    if (rc.height() > 1)
        FillSolidRect(pDC, QRect(rc.left(), rc.top() + 1, rc.width(), 1),
                      GetSysColor(COLOR_BTNHIGHLIGHT, palette));
}

void DrawSunkenOuter(QPainter* pDC, const QRect& rc, const QPalette& palette)
{
    Draw3dRect(pDC, rc, GetSysColor(COLOR_BTNSHADOW, palette), GetSysColor(COLOR_BTNHIGHLIGHT, palette));
}
