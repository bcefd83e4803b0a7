#include "menu/MenuImages.h"

#include <QFile>
#include <QPainter>

#include <cstring>

bool CImageList::Create(int cx, int cy, unsigned, int, int)
{
    m_images.clear();
    if (cx <= 0 || cy <= 0) {
        m_cx = m_cy = 0;
        return false;
    }
    m_cx = cx;
    m_cy = cy;
    return true;
}

void CImageList::DeleteImageList()
{
    m_images.clear();
    m_cx = m_cy = 0;
}

int CImageList::Add(const QImage& strip, COLORREF clrMask)
{
    if (!IsCreated() || strip.isNull() || strip.width() < m_cx)
        return -1;
    const QImage argb = strip.convertToFormat(QImage::Format_ARGB32);
    const QRgb mask = qRgb(int(GetRValue(clrMask)), int(GetGValue(clrMask)), int(GetBValue(clrMask)));
    const int first = GetImageCount();
    for (int left = 0; left + m_cx <= argb.width(); left += m_cx) {
        QImage cell(m_cx, m_cy, QImage::Format_ARGB32);
        cell.fill(Qt::transparent);
        for (int y = 0; y < m_cy && y < argb.height(); ++y) {
            for (int x = 0; x < m_cx; ++x) {
                const QRgb pixel = argb.pixel(left + x, y) | 0xFF000000u;
                if (pixel != mask)
                    cell.setPixel(x, y, pixel);
            }
        }
        m_images.push_back(cell);
    }
    return first;
}

int CImageList::Add(const QImage& icon)
{
    if (!IsCreated() || icon.isNull())
        return -1;
    m_images.push_back(icon.convertToFormat(QImage::Format_ARGB32).scaled(m_cx, m_cy));
    return GetImageCount() - 1;
}

QImage CImageList::ExtractIcon(int nIndex) const
{
    if (nIndex < 0 || nIndex >= GetImageCount())
        return QImage();
    return m_images[size_t(nIndex)];
}

bool CImageList::Draw(QPainter* pDC, int nIndex, QPoint pt, unsigned) const
{
    if (nIndex < 0 || nIndex >= GetImageCount())
        return false;
    pDC->drawImage(pt, m_images[size_t(nIndex)]);
    return true;
}

COLORREF TintColor(COLORREF c, double factor)
{
    if (!(factor > 0.0 && factor <= 1.0))
        return c;
    const auto lighten = [factor](unsigned byte) {
        return unsigned(double(byte) + factor * double(255 - byte));
    };
    return RGB(lighten(GetRValue(c)), lighten(GetGValue(c)), lighten(GetBValue(c)));
}

void DrawTick(QPainter* pDC, int x, int y, COLORREF clr)
{
    static constexpr int kStartRows[7] = {2, 3, 4, 3, 2, 1, 0};
    const QColor colour = ToQColor(clr);
    for (int column = 0; column < 7; ++column)
        pDC->fillRect(QRect(x + column, y + kStartRows[column], 1, 3), colour);
}

void DrawBullet(QPainter* pDC, int x, int y, COLORREF clr)
{
    pDC->save();
    pDC->setRenderHint(QPainter::Antialiasing, false);
    pDC->setPen(QPen(ToQColor(clr), 0));
    pDC->setBrush(ToQColor(clr));
    // An outlined ellipse covers one pixel more than its rectangle's width, so this fills the
    // six-by-six cell from (x, y).
    pDC->drawEllipse(QRect(x, y, 5, 5));
    pDC->restore();
}

QString BitmapResourcePath(unsigned nID)
{
    return QStringLiteral(":/menu/BITMAP/%1").arg(nID);
}

namespace {

// Colours in the bitmap's own table: biClrUsed when set, else what the bit depth allows.
int CountBitmapColours(const QByteArray& file)
{
    // File header (14 bytes), then the information header; read only what is there.
    constexpr int kInfo = 14;
    if (file.size() < kInfo + 36 || file[0] != 'B' || file[1] != 'M')
        return -1;
    const auto u16 = [&file](int at) {
        return unsigned(std::uint8_t(file[at])) | unsigned(std::uint8_t(file[at + 1])) << 8;
    };
    const unsigned bitCount = u16(kInfo + 14);
    const unsigned clrUsed = u16(kInfo + 32) | u16(kInfo + 34) << 16;
    if (clrUsed != 0)
        return int(std::min(clrUsed, 0x10000u));
    switch (bitCount) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
    }
}

QRgb ToRgb(COLORREF c)
{
    return qRgb(int(GetRValue(c)), int(GetGValue(c)), int(GetBValue(c)));
}

} // namespace

QImage LoadMappedBitmap(unsigned nID, const QPalette& palette)
{
    QFile file(BitmapResourcePath(nID));
    if (!file.open(QIODevice::ReadOnly))
        return QImage();
    const QByteArray data = file.readAll();
    if (CountBitmapColours(data) != 16)
        return QImage();
    QImage image;
    if (!image.loadFromData(data, "BMP") || image.colorCount() == 0)
        return QImage();
    // The four button colours of the standard palette follow the current scheme.
    const struct {
        QRgb from;
        int to;
    } kMap[] = {
        {qRgb(0x00, 0x00, 0x00), COLOR_BTNTEXT},
        {qRgb(0x80, 0x80, 0x80), COLOR_BTNSHADOW},
        {qRgb(0xC0, 0xC0, 0xC0), COLOR_BTNFACE},
        {qRgb(0xFF, 0xFF, 0xFF), COLOR_BTNHIGHLIGHT},
    };
    QList<QRgb> table = image.colorTable();
    for (QRgb& entry : table) {
        for (const auto& map : kMap) {
            if ((entry | 0xFF000000u) == map.from) {
                entry = ToRgb(GetSysColor(map.to, palette));
                break;
            }
        }
    }
    image.setColorTable(table);
    return image.convertToFormat(QImage::Format_RGB32);
}

bool AppendBitmapImages(CImageList& list, unsigned nID, const QPalette& palette)
{
    QImage bitmap = LoadMappedBitmap(nID, palette);
    if (bitmap.isNull())
        bitmap.load(BitmapResourcePath(nID));
    if (bitmap.isNull())
        return false;
    return list.Add(bitmap, GetSysColor(COLOR_BTNFACE, palette)) >= 0;
}

bool CopyImageToList(const CImageList* pSrc, int nIndex, CImageList* pDst)
{
    if (!pSrc || !pDst || nIndex < 0)
        return false;
    const QImage icon = pSrc->ExtractIcon(nIndex);
    if (icon.isNull())
        return false;
    const QSize size = pSrc->GetIconSize();
    pDst->Create(size.width(), size.height(), ILC_COLORDDB | ILC_MASK, 1, 1);
    return pDst->Add(icon) >= 0;
}

bool RenderImageToBitmap(const CImageList& list, int nIndex, QImage& bitmap, int cx, int cy,
                         const QPalette& palette)
{
    bitmap = QImage(std::max(cx, 1), std::max(cy, 1), QImage::Format_RGB32);
    bitmap.fill(ToQColor(GetSysColor(COLOR_MENU, palette)));
    QPainter painter(&bitmap);
    list.Draw(&painter, nIndex, QPoint(0, 0), ILD_NORMAL);
    return true;
}

namespace {

// Which pixels of the source count as dark ink: true where the image is drawn.
// Pixels of the button face and highlight colours are light. So is the menu colour, which
// RenderImageToBitmap puts behind the image: on the classic desktops it was one of those two, but
// a palette may set it apart, and then every transparent pixel would come out as ink.
struct LightColours {
    QRgb face, highlight, menu;
};
using InkTest = bool (*)(QRgb pixel, const LightColours& light);

std::vector<char> InkMask(const QImage& source, int xSrc, int ySrc, int width, int height, InkTest isInk,
                          const QPalette& palette)
{
    const LightColours light{ToRgb(GetSysColor(COLOR_BTNFACE, palette)),
                             ToRgb(GetSysColor(COLOR_BTNHIGHLIGHT, palette)),
                             ToRgb(GetSysColor(COLOR_MENU, palette))};
    const QImage rgb = source.convertToFormat(QImage::Format_RGB32);
    std::vector<char> mask(size_t(width) * size_t(height), 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int sx = xSrc + x, sy = ySrc + y;
            // Outside the source, the copy leaves the mask at its fill: light.
            if (sx < 0 || sy < 0 || sx >= rgb.width() || sy >= rgb.height())
                continue;
            mask[size_t(y) * size_t(width) + size_t(x)] = isInk(rgb.pixel(sx, sy) | 0xFF000000u, light);
        }
    }
    return mask;
}

bool IsInkByColour(QRgb pixel, const LightColours& light)
{
    return pixel != light.face && pixel != light.highlight && pixel != light.menu;
}

bool IsInkByBrightness(QRgb pixel, const LightColours&)
{
    const int r = qRed(pixel), g = qGreen(pixel), b = qBlue(pixel);
    const int toBlack = r * r + g * g + b * b;
    const int toWhite = (255 - r) * (255 - r) + (255 - g) * (255 - g) + (255 - b) * (255 - b);
    return toBlack < toWhite;
}

} // namespace

void DrawGrayedImage(QPainter* pDC, int x, int y, int width, int height, const QImage& source,
                     int xSrc, int ySrc, COLORREF clrBackground, const QPalette& palette)
{
    if (width <= 0 || height <= 0)
        return;
    const std::vector<char> mask = InkMask(source, xSrc, ySrc, width, height, IsInkByColour, palette);
    const auto ink = [&](int px, int py) { return mask[size_t(py) * size_t(width) + size_t(px)] != 0; };
    const QRgb background = ToRgb(clrBackground);
    const QRgb highlight = ToRgb(GetSysColor(COLOR_BTNHIGHLIGHT, palette));
    const QRgb shadow = ToRgb(GetSysColor(COLOR_BTNSHADOW, palette));

    // The scratch cell goes to the target twice: first one pixel down and right with the ink in
    // the highlight colour, then in place with the ink in shadow and the rim still highlighted.
    QImage scratch(width, height, QImage::Format_RGB32);
    scratch.fill(background);
    for (int py = 0; py < height; ++py)
        for (int px = 0; px < width; ++px)
            if (ink(px, py))
                scratch.setPixel(px, py, highlight);
    pDC->drawImage(QPoint(x + 1, y + 1), scratch);
    for (int py = 0; py + 1 < height; ++py)
        for (int px = 0; px + 1 < width; ++px)
            if (ink(px, py))
                scratch.setPixel(px + 1, py + 1, highlight);
    for (int py = 0; py < height; ++py)
        for (int px = 0; px < width; ++px)
            if (ink(px, py))
                scratch.setPixel(px, py, shadow);
    pDC->drawImage(QPoint(x, y), scratch);
}

void DrawGrayedImageDib(QPainter* pDC, int x, int y, int width, int height, const QImage& source,
                        int xSrc, int ySrc, COLORREF clrBackground, const QPalette& palette)
{
    if (width <= 0 || height <= 0)
        return;
    const std::vector<char> mask = InkMask(source, xSrc, ySrc, width, height, IsInkByBrightness, palette);
    FillSolidRect(pDC, QRect(x, y, width, height), clrBackground);
    const auto stamp = [&](int dx, int dy, COLORREF clr) {
        for (int py = 0; py < height; ++py)
            for (int px = 0; px < width; ++px)
                if (mask[size_t(py) * size_t(width) + size_t(px)])
                    FillSolidRect(pDC, QRect(x + dx + px, y + dy + py, 1, 1), clr);
    };
    stamp(1, 1, GetSysColor(COLOR_BTNHIGHLIGHT, palette));
    stamp(0, 0, GetSysColor(COLOR_BTNSHADOW, palette));
}
