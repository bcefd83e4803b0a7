#pragma once
// The handful of system services the menu code was written against (menu flags, system colours
// and metrics, the menu font, rectangle painting with exclusive right and bottom edges), here on
// top of Qt so the painting code can keep its original arithmetic.

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QRect>

#include <cstdint>

class QPaintDevice;
class QPainter;

using COLORREF = std::uint32_t;  // 0x00BBGGRR

[[nodiscard]] constexpr COLORREF RGB(unsigned r, unsigned g, unsigned b)
{
    return (r & 0xFF) | (g & 0xFF) << 8 | (b & 0xFF) << 16;
}
[[nodiscard]] constexpr unsigned GetRValue(COLORREF c) { return c & 0xFF; }
[[nodiscard]] constexpr unsigned GetGValue(COLORREF c) { return (c >> 8) & 0xFF; }
[[nodiscard]] constexpr unsigned GetBValue(COLORREF c) { return (c >> 16) & 0xFF; }
[[nodiscard]] QColor ToQColor(COLORREF c);
[[nodiscard]] COLORREF FromQColor(const QColor& c);

// Menu item flags, as stored in menu templates and item records.
inline constexpr unsigned MF_STRING = 0x0000;
inline constexpr unsigned MF_GRAYED = 0x0001;
inline constexpr unsigned MF_DISABLED = 0x0002;
inline constexpr unsigned MF_CHECKED = 0x0008;
inline constexpr unsigned MF_POPUP = 0x0010;
inline constexpr unsigned MF_END = 0x0080;
inline constexpr unsigned MF_OWNERDRAW = 0x0100;
inline constexpr unsigned MF_BYPOSITION = 0x0400;
inline constexpr unsigned MF_SEPARATOR = 0x0800;

// Item state bits of a paint request.
inline constexpr unsigned ODS_SELECTED = 0x0001;
inline constexpr unsigned ODS_GRAYED = 0x0002;
inline constexpr unsigned ODS_CHECKED = 0x0008;

// Raster capability of a device that draws through a colour palette (8 bits or fewer).
inline constexpr int RC_PALETTE = 0x0100;
[[nodiscard]] int GetRasterCaps(const QPaintDevice* pDevice);

// System colours the menu reads. Each is taken from the application's palette at the moment of
// the call, so a change of theme shows at the next repaint:
//
//   COLOR_MENU          Active Base            (background of menus)
//   COLOR_MENUTEXT      Active Text
//   COLOR_HIGHLIGHT     Active Highlight
//   COLOR_HIGHLIGHTTEXT Active HighlightedText
//   COLOR_3DFACE        Active Button          (COLOR_BTNFACE is the same colour)
//   COLOR_BTNSHADOW     Active Dark
//   COLOR_GRAYTEXT      Disabled Text
//   COLOR_BTNTEXT       Active ButtonText
//   COLOR_BTNHIGHLIGHT  Active Light
//   COLOR_3DLIGHT       Active Midlight
//
// A palette whose Base equals its Button colour is the "unthemed" case of the flat style.
inline constexpr int COLOR_MENU = 4;
inline constexpr int COLOR_MENUTEXT = 7;
inline constexpr int COLOR_HIGHLIGHT = 13;
inline constexpr int COLOR_HIGHLIGHTTEXT = 14;
inline constexpr int COLOR_3DFACE = 15;
inline constexpr int COLOR_BTNFACE = 15;
inline constexpr int COLOR_BTNSHADOW = 16;
inline constexpr int COLOR_GRAYTEXT = 17;
inline constexpr int COLOR_BTNTEXT = 18;
inline constexpr int COLOR_BTNHIGHLIGHT = 20;
inline constexpr int COLOR_3DLIGHT = 22;

// The palette's colour for a system colour index; black for an index the table lacks.
[[nodiscard]] COLORREF GetSysColor(int nIndex, const QPalette& palette);
// The same from the palette menus get now (the application's, with its QMenu entry).
[[nodiscard]] COLORREF GetSysColor(int nIndex);
[[nodiscard]] QPalette MenuPalette();

// Height of one line of the menu bar: the menu font's line height plus the bar's padding, and
// never less than the 19 pixels of the classic metrics.
inline constexpr int SM_CYMENU = 15;
[[nodiscard]] int GetSystemMetrics(int nIndex);

// The font menus are drawn in, fresh on every call.
[[nodiscard]] QFont CreateMenuFont();

// Rectangles given by their edges, right and bottom excluded.
[[nodiscard]] inline QRect MakeRect(int l, int t, int r, int b) { return QRect(l, t, r - l, b - t); }

void FillSolidRect(QPainter* pDC, const QRect& rc, COLORREF clr);
// Top and left edges in clrTopLeft, right and bottom edges in clrBottomRight.
void Draw3dRect(QPainter* pDC, const QRect& rc, COLORREF clrTopLeft, COLORREF clrBottomRight);
// An etched line: a shadow row over a highlight row along the top of rc.
void DrawEtchedTop(QPainter* pDC, const QRect& rc, const QPalette& palette);
// A one-pixel sunken frame around rc.
void DrawSunkenOuter(QPainter* pDC, const QRect& rc, const QPalette& palette);
