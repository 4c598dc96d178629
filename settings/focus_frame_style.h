#pragma once
// The application's style, except that keyboard focus frames are drawn in a light
// dotted line: the usual frame is a darker shade of the background, which on the
// options dialog's black panel is black, so Tab seemed to go nowhere.

#include <QProxyStyle>

class FocusFrameStyle final : public QProxyStyle
{
    Q_OBJECT

public:
    FocusFrameStyle();

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
        const QWidget* widget = nullptr) const override;
};
