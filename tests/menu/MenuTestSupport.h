#pragma once
// Fixed palettes, font and pixel helpers shared by the menu tests.

#include "menu/MenuSystem.h"

#include <QByteArray>
#include <QFont>
#include <QImage>
#include <QPalette>
#include <QString>

#include <initializer_list>

namespace menutest {

inline QFont FixedFont()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    font.setHintingPreference(QFont::PreferFullHinting);
    // Text pixels take exactly the pen's colour, so tests can find them.
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

inline constexpr COLORREF kFace = RGB(236, 233, 216);
inline constexpr COLORREF kMenuWhite = RGB(255, 255, 255);
inline constexpr COLORREF kGrey = RGB(192, 192, 192);
inline constexpr COLORREF kHighlight = RGB(49, 106, 197);
inline constexpr COLORREF kHighlightText = RGB(255, 255, 254);
inline constexpr COLORREF kText = RGB(0, 0, 0);
inline constexpr COLORREF kShadow = RGB(128, 128, 128);
inline constexpr COLORREF kHilite = RGB(255, 255, 253);
inline constexpr COLORREF kLight = RGB(241, 239, 226);
inline constexpr COLORREF kGrayText = RGB(100, 110, 120);

inline QPalette MakePalette(COLORREF menu, COLORREF face)
{
    QPalette p;
    const auto set = [&p](QPalette::ColorRole role, COLORREF c) {
        p.setColor(QPalette::Active, role, ToQColor(c));
        p.setColor(QPalette::Inactive, role, ToQColor(c));
    };
    set(QPalette::Base, menu);
    set(QPalette::Window, face);
    set(QPalette::Button, face);
    set(QPalette::Highlight, kHighlight);
    set(QPalette::HighlightedText, kHighlightText);
    set(QPalette::Text, kText);
    set(QPalette::WindowText, kText);
    set(QPalette::ButtonText, kText);
    set(QPalette::Dark, kShadow);
    set(QPalette::Light, kHilite);
    set(QPalette::Midlight, kLight);
    p.setColor(QPalette::Disabled, QPalette::Text, ToQColor(kGrayText));
    return p;
}

// Menu colour differs from the face colour: the flat look's "themed" case.
inline QPalette ThemedPalette() { return MakePalette(kMenuWhite, kFace); }
// Menu and face the same grey: the unthemed case.
inline QPalette UnthemedPalette() { return MakePalette(kGrey, kGrey); }

inline COLORREF At(const QImage& image, int x, int y)
{
    return FromQColor(image.pixelColor(x, y));
}

// Builds a menu template from (flags, id, text) items; popups (MF_POPUP) carry no id.
struct TemplateItem {
    unsigned flags;
    unsigned id;
    const char16_t* text;
};
inline QByteArray MakeTemplate(std::initializer_list<TemplateItem> items, unsigned offset = 0)
{
    QByteArray out;
    const auto word = [&out](unsigned w) {
        out.append(char(w & 0xFF));
        out.append(char((w >> 8) & 0xFF));
    };
    word(0);
    word(offset);
    out.append(QByteArray(int(offset), '\0'));
    for (const TemplateItem& item : items) {
        word(item.flags);
        if (!(item.flags & 0x10))
            word(item.id);
        for (const char16_t* c = item.text; *c; ++c)
            word(*c);
        word(0);
    }
    return out;
}

} // namespace menutest
