#pragma once
// The client area between the toolbar band and the status bar: the grid fills it,
// the map surface fills it left of the scroll bar while the scroll bar is shown.

#include <QWidget>

class QScrollBar;

class ViewArea final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ViewArea)

public:
    static constexpr int kScrollBarWidth = 16;

    explicit ViewArea(QWidget* parent = nullptr);
    // The children; the area keeps their geometry in step with its size and with the
    // scroll bar's visibility. The grid comes later, when it is first needed.
    void setChildren(QWidget* surface, QScrollBar* scrollBar);
    void setGrid(QWidget* grid);
    void relayout();
    // The surface's place in an area of that size, beside the scroll bar if it is shown.
    QRect surfaceRect(QSize areaSize) const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_grid = nullptr;
    QWidget* m_surface = nullptr;
    QScrollBar* m_scrollBar = nullptr;
};
