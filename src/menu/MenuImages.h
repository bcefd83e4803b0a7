#pragma once
// Images for the menu: a masked image list of equal cells, the toolbar strip loaded with the
// current button colours, and the small drawing routines the item painter needs (lightened
// colours, the tick, the bullet, embossed images of disabled items).

#include "menu/MenuSystem.h"

#include <QImage>
#include <QString>

#include <vector>

inline constexpr unsigned ILC_MASK = 0x0001;
inline constexpr unsigned ILC_COLORDDB = 0x00FE;
inline constexpr unsigned ILD_NORMAL = 0x0000;
inline constexpr unsigned ILD_TRANSPARENT = 0x0001;

// Equal cells of cx by cy pixels; masked cells keep their transparent pixels as alpha 0.
class CImageList {
public:
    // Returns false for an empty cell size.
    bool Create(int cx, int cy, unsigned nFlags, int nInitial, int nGrow);
    void DeleteImageList();
    [[nodiscard]] bool IsCreated() const { return m_cx > 0; }

    // Cuts a strip into cells, left to right; pixels of clrMask become transparent. Returns the
    // index of the first new image, or -1 when the list is not created or the strip is empty.
    int Add(const QImage& strip, COLORREF clrMask);
    // Adds one image as it is (an icon keeps its transparency). Returns its index or -1.
    int Add(const QImage& icon);

    [[nodiscard]] int GetImageCount() const { return int(m_images.size()); }
    [[nodiscard]] QSize GetIconSize() const { return QSize(m_cx, m_cy); }
    // The image with its mask, or a null image for an index out of range.
    [[nodiscard]] QImage ExtractIcon(int nIndex) const;
    bool Draw(QPainter* pDC, int nIndex, QPoint pt, unsigned nStyle) const;

private:
    int m_cx = 0;
    int m_cy = 0;
    std::vector<QImage> m_images;
};

// Colour c moved toward white by factor (0 < factor <= 1); any other factor returns c unchanged.
[[nodiscard]] COLORREF TintColor(COLORREF c, double factor);

// The check-mark: seven three-pixel columns from x to x+6, rising to the right.
void DrawTick(QPainter* pDC, int x, int y, COLORREF clr);
// The radio bullet: a filled circle in (x, y, x+6, y+6).
void DrawBullet(QPainter* pDC, int x, int y, COLORREF clr);

// Where bitmap resources are found: ":/menu/BITMAP/<id>".
[[nodiscard]] QString BitmapResourcePath(unsigned nID);

// A 16-colour bitmap resource with black, the greys and white replaced by the palette's button
// colours; a null image when the resource is missing, unreadable or not a 16-colour bitmap.
[[nodiscard]] QImage LoadMappedBitmap(unsigned nID, const QPalette& palette);
// Adds the bitmap resource's cells to the list, button-face pixels transparent. A 16-colour bitmap
// is mapped first; any other is taken as it is. Returns false when nothing could be added.
bool AppendBitmapImages(CImageList& list, unsigned nID, const QPalette& palette);
// Gives dst a single image, a copy of src's image nIndex. Returns false for a missing list or an
// index out of range.
bool CopyImageToList(const CImageList* pSrc, int nIndex, CImageList* pDst);
// The image drawn over the menu colour, cx by cy. Always returns true.
bool RenderImageToBitmap(const CImageList& list, int nIndex, QImage& bitmap, int cx, int cy,
                         const QPalette& palette);

// A disabled image: the cell (x, y, width, height) in clrBackground with the image's dark parts
// in the shadow colour and their lower-right rim in the highlight colour. Pixels of the
// button-face, highlight and menu colours count as light.
void DrawGrayedImage(QPainter* pDC, int x, int y, int width, int height, const QImage& source,
                     int xSrc, int ySrc, COLORREF clrBackground, const QPalette& palette);
// The same look by reducing the image to black and white first (the nearer of the two).
void DrawGrayedImageDib(QPainter* pDC, int x, int y, int width, int height, const QImage& source,
                        int xSrc, int ySrc, COLORREF clrBackground, const QPalette& palette);
