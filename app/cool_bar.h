#pragma once
// The band across the top of the main window: a tiled background picture behind
// the transparent toolbar, and the flat buttons drawn on it.
//
// The buttons and the toolbar draw themselves rather than through a style sheet: the
// style sheet machinery cost the window's start some 3 ms.

#include <QPixmap>
#include <QProxyStyle>
#include <QToolButton>
#include <QWidget>

class CoolBar final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CoolBar)

public:
    static constexpr int kHeight = 45;

    CoolBar(const QPixmap& tile, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_tile;
};

// A toolbar on the band: no panel, no frame, no margins and no spacing between items.
class BandStyle final : public QProxyStyle
{
public:
    BandStyle();
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
        const QWidget* widget) const override;
};

// A transparent button on the band: a light frame while the mouse is over it, a dark
// one while it is checked, darker while pressed; its icon in the middle.
class BandButton : public QToolButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BandButton)

public:
    explicit BandButton(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    // The frame and background; the icon goes on top.
    void paintFrame(QPainter& painter) const;
};
