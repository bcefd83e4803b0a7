// Drawing primitives: lightened colours, tick and bullet, the mapped toolbar strip, image copies
// and the embossed images of disabled items.
#include "MenuTestSupport.h"

#include "menu/MenuImages.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <set>
#include <utility>

using namespace menutest;

TEST(TintColorTest, LightensTowardWhiteOrLeavesColourAlone)
{
    struct Case {
        COLORREF colour;
        double factor;
        COLORREF expected;
    };
    const COLORREF withTopByte = 0xAB000000u | RGB(100, 0, 200);
    const Case cases[] = {
        {withTopByte, 0.0, withTopByte},           // no change, top byte kept
        {withTopByte, 1.5, withTopByte},           // above 1: no change
        {withTopByte, -0.5, withTopByte},
        {withTopByte, 1.0, RGB(255, 255, 255)},    // all the way, top byte dropped
        {RGB(100, 0, 200), 0.35, RGB(154, 89, 219)},   // 100 + 54.25, 0 + 89.25, 200 + 19.25
        {RGB(100, 0, 200), 0.85, RGB(231, 216, 246)},  // truncated, not rounded
        {RGB(255, 255, 255), 0.7, RGB(255, 255, 255)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TintColor(c.colour, c.factor), c.expected) << "factor " << c.factor;
}

namespace {

std::set<std::pair<int, int>> InkedPixels(const QImage& image, COLORREF ink)
{
    std::set<std::pair<int, int>> pixels;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (At(image, x, y) == ink)
                pixels.insert({x, y});
    return pixels;
}

QImage Blank(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

} // namespace

TEST(GlyphTest, TickIsSevenThreePixelStrokes)
{
    QImage image = Blank(16, 16);
    {
        QPainter painter(&image);
        DrawTick(&painter, 3, 5, RGB(0, 0, 0));
    }
    std::set<std::pair<int, int>> expected;
    const int starts[7] = {2, 3, 4, 3, 2, 1, 0};
    for (int column = 0; column < 7; ++column)
        for (int row = 0; row < 3; ++row)
            expected.insert({3 + column, 5 + starts[column] + row});
    EXPECT_EQ(InkedPixels(image, RGB(0, 0, 0)), expected);
}

TEST(GlyphTest, BulletIsARoundDotInItsSixPixelCell)
{
    QImage image = Blank(16, 16);
    {
        QPainter painter(&image);
        DrawBullet(&painter, 4, 6, RGB(0, 0, 0));
    }
    const auto ink = InkedPixels(image, RGB(0, 0, 0));
    for (const auto& [x, y] : ink) {
        EXPECT_GE(x, 4);
        EXPECT_LT(x, 10);
        EXPECT_GE(y, 6);
        EXPECT_LT(y, 12);
    }
    // Solid in the middle, open at the corners.
    for (int y = 8; y <= 9; ++y)
        for (int x = 5; x <= 8; ++x)
            EXPECT_TRUE(ink.count({x, y})) << x << "," << y;
    EXPECT_FALSE(ink.count({4, 6}));
    EXPECT_FALSE(ink.count({9, 6}));
    EXPECT_FALSE(ink.count({4, 11}));
    EXPECT_FALSE(ink.count({9, 11}));
}

TEST(ToolbarBitmapTest, StripTakesTheCurrentButtonColours)
{
    QPalette palette = ThemedPalette();
    palette.setColor(QPalette::Active, QPalette::Button, QColor(10, 200, 30));
    palette.setColor(QPalette::Active, QPalette::ButtonText, QColor(90, 0, 0));
    const QImage strip = LoadMappedBitmap(128, palette);
    ASSERT_FALSE(strip.isNull());
    EXPECT_EQ(strip.size(), QSize(112, 15));
    // The corner of every cell is background; the open folder's outline starts black at (0, 3).
    for (int cell = 0; cell < 7; ++cell)
        EXPECT_EQ(At(strip, cell * 16 + 15, 0), RGB(10, 200, 30)) << cell;
    EXPECT_EQ(At(strip, 0, 3), RGB(90, 0, 0));

    EXPECT_TRUE(LoadMappedBitmap(999, palette).isNull());
}

TEST(ToolbarBitmapTest, ButtonFaceBecomesTransparentInTheImageList)
{
    CImageList list;
    ASSERT_TRUE(list.Create(16, 15, ILC_COLORDDB | ILC_MASK, 1, 1));
    ASSERT_TRUE(AppendBitmapImages(list, 128, ThemedPalette()));
    ASSERT_EQ(list.GetImageCount(), 7);
    const QImage open = list.ExtractIcon(0);
    EXPECT_EQ(qAlpha(open.pixel(15, 0)), 0);
    EXPECT_EQ(qAlpha(open.pixel(0, 3)), 255);

    CImageList missing;
    missing.Create(16, 15, ILC_COLORDDB | ILC_MASK, 1, 1);
    EXPECT_FALSE(AppendBitmapImages(missing, 999, ThemedPalette()));
    EXPECT_EQ(missing.GetImageCount(), 0);
}

TEST(CopyImageToListTest, CopiesOneImageOrRefuses)
{
    CImageList source;
    source.Create(16, 15, ILC_COLORDDB | ILC_MASK, 1, 1);
    ASSERT_TRUE(AppendBitmapImages(source, 128, ThemedPalette()));

    CImageList copy;
    EXPECT_FALSE(CopyImageToList(nullptr, 0, &copy));
    EXPECT_FALSE(CopyImageToList(&source, 0, nullptr));
    EXPECT_FALSE(CopyImageToList(&source, -1, &copy));
    EXPECT_FALSE(CopyImageToList(&source, 7, &copy));

    ASSERT_TRUE(CopyImageToList(&source, 2, &copy));
    EXPECT_EQ(copy.GetImageCount(), 1);
    EXPECT_EQ(copy.GetIconSize(), QSize(16, 15));
    EXPECT_EQ(copy.ExtractIcon(0), source.ExtractIcon(2));
}

TEST(RenderImageToBitmapTest, TransparentPixelsTakeTheMenuColour)
{
    CImageList list;
    list.Create(16, 15, ILC_COLORDDB | ILC_MASK, 1, 1);
    ASSERT_TRUE(AppendBitmapImages(list, 128, ThemedPalette()));
    QImage bitmap;
    EXPECT_TRUE(RenderImageToBitmap(list, 0, bitmap, 16, 15, UnthemedPalette()));
    EXPECT_EQ(bitmap.size(), QSize(16, 15));
    EXPECT_EQ(At(bitmap, 15, 0), kGrey);
    EXPECT_EQ(At(bitmap, 0, 3), kText);
}

class GrayedImageTest : public testing::TestWithParam<bool> {
protected:
    // Paints a 16x15 source greyed at (2, 3) of a 24x24 magenta target.
    QImage PaintGrayed(const QImage& source, COLORREF background)
    {
        QImage target(24, 24, QImage::Format_RGB32);
        target.fill(QColor(255, 0, 255));
        QPainter painter(&target);
        if (GetParam())
            DrawGrayedImageDib(&painter, 2, 3, 16, 15, source, 0, 0, background, ThemedPalette());
        else
            DrawGrayedImage(&painter, 2, 3, 16, 15, source, 0, 0, background, ThemedPalette());
        return target;
    }
};

TEST_P(GrayedImageTest, DarkPixelsGetShadowWithHighlightBelowRight)
{
    QImage source(16, 15, QImage::Format_RGB32);
    source.fill(ToQColor(kFace));
    source.setPixelColor(5, 4, ToQColor(kText));
    const COLORREF background = RGB(10, 20, 30);
    const QImage target = PaintGrayed(source, background);
    EXPECT_EQ(At(target, 2 + 5, 3 + 4), kShadow);
    EXPECT_EQ(At(target, 2 + 6, 3 + 5), kHilite);
    EXPECT_EQ(At(target, 2 + 4, 3 + 3), background);
    EXPECT_EQ(At(target, 2, 3), background);
    EXPECT_EQ(At(target, 2 + 15, 3 + 14), background);
}

TEST_P(GrayedImageTest, LightOnlyImageIsAPlainCell)
{
    QImage source(16, 15, QImage::Format_RGB32);
    source.fill(ToQColor(kFace));
    for (int x = 0; x < 16; x += 2)
        source.setPixelColor(x, 7, ToQColor(kHilite));
    const COLORREF background = RGB(10, 20, 30);
    const QImage target = PaintGrayed(source, background);
    for (int y = 3; y < 3 + 15; ++y)
        for (int x = 2; x < 2 + 16; ++x)
            ASSERT_EQ(At(target, x, y), background) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(MaskAndDib, GrayedImageTest, testing::Values(false, true));
