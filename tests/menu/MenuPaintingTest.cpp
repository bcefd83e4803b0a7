// Item painting in both looks, checked pixel by pixel on a fixed palette and font.
#include "MenuTestSupport.h"

#include "menu/OwnerDrawMenu.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <optional>

using namespace menutest;

namespace {

constexpr COLORREF kUntouched = RGB(255, 0, 255);
constexpr COLORREF kInk = RGB(1, 2, 3);
// The palette's colours lightened toward white by hand: each byte b + f * (255 - b), truncated.
constexpr COLORREF kGreyTint35 = RGB(214, 214, 214);       // 192 + 0.35 * 63
constexpr COLORREF kHighlightTint70 = RGB(193, 210, 237);  // (49, 106, 197) + 0.7 * (206, 149, 58)
constexpr COLORREF kHighlightTint85 = RGB(224, 232, 246);  // (49, 106, 197) + 0.85 * (206, 149, 58)

// Item rectangle (L, T, R, B) = (10, 5, 200, 5 + height) inside a magenta image.
constexpr int L = 10, T = 5, R = 200;

struct Paint {
    QPalette palette = ThemedPalette();
    bool bClassic = false;
    unsigned state = 0;
    bool bBullet = false;
    int height = 19;
};

class PaintingTest : public testing::Test {
protected:
    PaintingTest()
    {
        m_record.m_nFlags = MF_OWNERDRAW;
        m_record.m_nID = 57601;
        m_record.SetWideText(QStringLiteral("&Open...\tCtrl+O"));
    }

    // Gives the record a 16x15 image with ink at its top-left and bottom-right pixels.
    void GiveImage()
    {
        QImage icon(16, 15, QImage::Format_ARGB32);
        icon.fill(Qt::transparent);
        icon.setPixelColor(0, 0, ToQColor(kInk));
        icon.setPixelColor(15, 14, ToQColor(kInk));
        m_record.m_pImageList = std::make_unique<CImageList>();
        m_record.m_pImageList->Create(16, 15, ILC_COLORDDB | ILC_MASK, 1, 1);
        m_record.m_pImageList->Add(icon);
        m_record.m_nImageIndex = 0;
        m_record.m_nImageSource = 0;
    }

    QImage Draw(const Paint& p)
    {
        QImage image(R + 10, T + p.height + 10, QImage::Format_RGB32);
        image.fill(ToQColor(kUntouched));
        QPainter painter(&image);
        DRAWITEMSTRUCT dis;
        dis.pDC = &painter;
        dis.nRasterCaps = p.bClassic ? RC_PALETTE : 0;
        dis.rcItem = MakeRect(L, T, R, T + p.height);
        dis.itemState = p.state;
        dis.bCheckedBitmap = p.bBullet;
        dis.palette = p.palette;
        dis.itemData = &m_record;
        m_menu.DrawItem(dis);
        return image;
    }

    COwnerDrawMenu m_menu;
    CMenuItemData m_record;
};

// Leftmost and rightmost columns holding the colour, in the rows of the item.
std::optional<std::pair<int, int>> ColumnsOf(const QImage& image, COLORREF colour, int top, int bottom)
{
    std::optional<std::pair<int, int>> span;
    for (int y = top; y < bottom; ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (At(image, x, y) != colour)
                continue;
            if (!span)
                span = std::pair{x, x};
            span->first = std::min(span->first, x);
            span->second = std::max(span->second, x);
        }
    }
    return span;
}

int CountOf(const QImage& image, COLORREF colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += At(image, x, y) == colour;
    return n;
}

} // namespace

TEST(RasterCapsTest, PaletteDevicesGetTheClassicLook)
{
    EXPECT_EQ(GetRasterCaps(nullptr), 0);
    const struct {
        QImage::Format format;
        int caps;
    } cases[] = {
        {QImage::Format_Indexed8, RC_PALETTE},
        {QImage::Format_Mono, RC_PALETTE},
        {QImage::Format_RGB16, 0},
        {QImage::Format_RGB32, 0},
        {QImage::Format_ARGB32_Premultiplied, 0},
    };
    for (const auto& c : cases) {
        const QImage image(4, 4, c.format);
        EXPECT_EQ(GetRasterCaps(&image), c.caps) << int(c.format);
    }
}

TEST_F(PaintingTest, FlatBackgroundAndColumnFollowTheTheme)
{
    const struct {
        const char* what;
        QPalette palette;
        COLORREF background;
        COLORREF column;
    } cases[] = {
        {"themed", ThemedPalette(), kMenuWhite, kFace},
        {"unthemed", UnthemedPalette(), RGB(255, 255, 255), kGreyTint35},
    };
    for (const auto& c : cases) {
        Paint p;
        p.palette = c.palette;
        const QImage image = Draw(p);
        EXPECT_EQ(At(image, L + 2, T + 9), c.column) << c.what;
        EXPECT_EQ(At(image, L + 20, T + 9), c.column) << c.what;   // column is 21 wide
        EXPECT_EQ(At(image, L + 21, T + 9), c.background) << c.what;
        EXPECT_EQ(At(image, R - 3, T + 1), c.background) << c.what;
        EXPECT_EQ(At(image, L - 1, T), kUntouched) << c.what;
        EXPECT_EQ(At(image, R, T), kUntouched) << c.what;
        EXPECT_EQ(At(image, L, T + 19), kUntouched) << c.what;
    }
}

TEST_F(PaintingTest, FlatSelectionBox)
{
    const struct {
        QPalette palette;
        COLORREF selection;
    } cases[] = {{ThemedPalette(), kHighlightTint70}, {UnthemedPalette(), kHighlightTint85}};
    for (const auto& c : cases) {
        Paint p;
        p.palette = c.palette;
        p.state = ODS_SELECTED;
        const QImage image = Draw(p);
        EXPECT_EQ(At(image, L, T), kHighlight);
        EXPECT_EQ(At(image, R - 1, T + 18), kHighlight);
        EXPECT_EQ(At(image, L + 5, T + 5), c.selection);
        EXPECT_EQ(At(image, R - 3, T + 2), c.selection);
    }
    // A disabled item under the pointer shows no selection.
    Paint p;
    p.state = ODS_SELECTED | ODS_GRAYED;
    const QImage image = Draw(p);
    EXPECT_EQ(At(image, L, T), kFace);
    EXPECT_EQ(At(image, L + 40, T), kMenuWhite);
    EXPECT_EQ(At(image, R - 3, T + 2), kMenuWhite);
    EXPECT_GT(CountOf(image, kGrayText), 0);
}

TEST_F(PaintingTest, FlatImagesPlainCheckedAndSelected)
{
    GiveImage();
    Paint p;
    QImage image = Draw(p);
    EXPECT_EQ(At(image, L + 3, T + 2), kInk);
    EXPECT_EQ(At(image, L + 18, T + 16), kInk);
    EXPECT_EQ(At(image, L + 1, T + 1), kFace);

    p.state = ODS_CHECKED;
    image = Draw(p);
    EXPECT_EQ(At(image, L + 1, T), kHighlight);                     // box frame
    EXPECT_EQ(At(image, L + 19, T + 17), kHighlight);               // themed: one row short
    EXPECT_EQ(At(image, L + 5, T + 5), kHighlightTint85);
    EXPECT_EQ(At(image, L + 3, T + 2), kInk);

    p.state = ODS_SELECTED | ODS_CHECKED;
    image = Draw(p);
    EXPECT_EQ(At(image, L, T + 9), kHighlight);
    EXPECT_EQ(At(image, L + 19, T + 9), kHighlight);
    EXPECT_EQ(At(image, L + 5, T + 5), kHighlightTint70);
    EXPECT_EQ(At(image, L + 3, T + 2), kInk);
}

TEST_F(PaintingTest, GrayedImageIsEmbossed)
{
    GiveImage();
    Paint p;
    p.state = ODS_GRAYED;
    const QImage image = Draw(p);
    // Drawn at (L+2, T+2): ink in shadow, its lower right in highlight, the rest the column.
    EXPECT_EQ(At(image, L + 2, T + 2), kShadow);
    EXPECT_EQ(At(image, L + 3, T + 3), kHilite);
    EXPECT_EQ(At(image, L + 17, T + 16), kShadow);
    EXPECT_EQ(At(image, L + 8, T + 8), kFace);
    EXPECT_EQ(CountOf(image, kInk), 0);
}

TEST_F(PaintingTest, BareCheckShowsTickOrBullet)
{
    for (bool bClassic : {false, true}) {
        for (bool bBullet : {false, true}) {
            Paint p;
            p.bClassic = bClassic;
            p.bBullet = bBullet;
            p.state = ODS_CHECKED;
            const QImage image = Draw(p);
            // Box from (L+2, T+2) flat, (L+1, T+2) classic; the glyph 4 or 5 pixels in, 4 down.
            const int gx = L + (bClassic ? (bBullet ? 6 : 5) : 7);
            const int gy = T + 6;
            if (bBullet) {
                EXPECT_EQ(At(image, gx + 3, gy + 3), kText);
                EXPECT_NE(At(image, gx, gy), kText);
            } else {
                EXPECT_EQ(At(image, gx, gy + 2), kText);
                EXPECT_EQ(At(image, gx + 6, gy), kText);
                EXPECT_NE(At(image, gx + 6, gy + 3), kText);
            }
            const COLORREF frame = bClassic ? kShadow : kHighlight;
            EXPECT_EQ(At(image, L + (bClassic ? 1 : 2), T + 2), frame) << bClassic;
        }
    }
}

TEST_F(PaintingTest, LabelLeftAcceleratorRight)
{
    const QImage image = Draw(Paint{});
    const auto span = ColumnsOf(image, kText, T, T + 19);
    ASSERT_TRUE(span);
    // "Open..." starts at L + 16 + 9; "Ctrl+O" ends 16 pixels short of the right edge.
    EXPECT_GE(span->first, L + 25);
    EXPECT_LE(span->first, L + 26);
    EXPECT_LE(span->second, R - 17);
    EXPECT_GE(span->second, R - 19);
    // Nothing in the gap: the label is left, the accelerator right.
    const auto middle = ColumnsOf(image.copy(L + 90, 0, 40, image.height()), kText, T, T + 19);
    EXPECT_FALSE(middle);

    // The mnemonic underline: a run of text pixels under the "O", below the letters.
    bool bUnderline = false;
    for (int y = T + 12; y < T + 19 && !bUnderline; ++y) {
        int run = 0;
        for (int x = L + 25; x < L + 34; ++x) {
            run = At(image, x, y) == kText ? run + 1 : 0;
            bUnderline = bUnderline || run >= 5;
        }
    }
    EXPECT_TRUE(bUnderline);
}

TEST_F(PaintingTest, ImageCellCentresInTallItems)
{
    GiveImage();
    for (bool bClassic : {false, true}) {
        for (const auto& [height, dy] : {std::pair{19, 0}, std::pair{18, 0}, std::pair{24, 2}, std::pair{27, 4}}) {
            Paint p;
            p.bClassic = bClassic;
            p.height = height;
            const QImage image = Draw(p);
            const int x = L + (bClassic ? 2 : 3);
            EXPECT_EQ(At(image, x, T + dy + 2), kInk) << height << " classic " << bClassic;
            EXPECT_EQ(At(image, x + 15, T + dy + 16), kInk) << height << " classic " << bClassic;
        }
    }
}

TEST_F(PaintingTest, Separators)
{
    m_record.m_nFlags = MF_SEPARATOR | MF_OWNERDRAW;
    m_record.m_nID = 0;
    m_record.SetWideText(QString());
    Paint p;
    p.height = 10;
    QImage image = Draw(p);
    EXPECT_EQ(At(image, L + 25, T + 5), kShadow);
    EXPECT_EQ(At(image, L + 25, T + 6), kHilite);
    EXPECT_EQ(At(image, L + 24, T + 5), kMenuWhite);
    EXPECT_EQ(At(image, L + 3, T + 5), kFace);
    EXPECT_EQ(At(image, R - 1, T + 5), kShadow);

    p.bClassic = true;
    image = Draw(p);
    EXPECT_EQ(At(image, L, T + 5), kShadow);
    EXPECT_EQ(At(image, L, T + 6), kHilite);
    EXPECT_EQ(At(image, L + 3, T + 2), kFace);
}

TEST_F(PaintingTest, ClassicHighlightBarLeavesTheImageColumn)
{
    Paint p;
    p.bClassic = true;
    p.state = ODS_SELECTED;
    QImage image = Draw(p);
    EXPECT_EQ(At(image, L, T), kHighlight);  // no image, not checked: the whole item
    EXPECT_GT(CountOf(image, kHighlightText), 0);

    GiveImage();
    image = Draw(p);
    EXPECT_EQ(At(image, L + 21, T), kHighlight);
    EXPECT_EQ(At(image, L + 20, T + 9), kUntouched);  // beside the icon frame, left as it was
    EXPECT_EQ(At(image, L, T), kHilite);              // raised frame
    EXPECT_EQ(At(image, L + 19, T + 18), kShadow);
    EXPECT_EQ(At(image, L + 2, T + 2), kInk);

    p.state = ODS_SELECTED | ODS_CHECKED;
    image = Draw(p);
    EXPECT_EQ(At(image, L, T), kShadow);  // sunken
    EXPECT_EQ(At(image, L + 19, T + 18), kHilite);

    p.state = ODS_CHECKED;
    image = Draw(p);
    EXPECT_EQ(At(image, L, T), kShadow);
    EXPECT_EQ(At(image, L + 5, T + 5), kLight);
    EXPECT_EQ(At(image, R - 3, T + 2), kFace);
}

TEST_F(PaintingTest, ClassicGrayedText)
{
    Paint p;
    p.bClassic = true;
    p.state = ODS_GRAYED;
    QImage image = Draw(p);
    const auto grey = ColumnsOf(image, kGrayText, T, T + 19);
    const auto emboss = ColumnsOf(image, kHilite, T, T + 19);
    ASSERT_TRUE(grey && emboss);
    EXPECT_EQ(emboss->second, grey->second + 1);  // highlight one pixel right (and down)

    p.state = ODS_GRAYED | ODS_SELECTED;
    image = Draw(p);
    EXPECT_EQ(At(image, L, T), kHighlight);  // the bar stays
    EXPECT_EQ(CountOf(image, kGrayText), 0);
    EXPECT_EQ(CountOf(image, kHilite), 0);
    EXPECT_GT(ColumnsOf(image, kFace, T, T + 19)->second, L + 100);  // text in the face colour
}
