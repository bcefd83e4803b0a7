#pragma once
// The hook that lets COwnerDrawMenu measure and paint its popups' items: a proxy over the
// application's style that hands QMenu item requests to the menu owning the QMenu, and leaves
// everything else (the menu bar included) to the style underneath.

#include <QProxyStyle>

class COwnerDrawStyle : public QProxyStyle {
public:
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override;
};

// The one shared instance, made on first use (a QApplication must exist) and owned by it.
[[nodiscard]] QStyle* OwnerDrawStyle();
