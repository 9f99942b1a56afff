#pragma once

#include <QProxyStyle>

// The application's style, with the frame of each text box drawn once per size, colours
// and state, then copied. The style draws that frame as an antialiased rounded outline on
// every paint, and a window repaints ten boxes whenever a horse or a player is chosen.
class PanelCacheStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
};
