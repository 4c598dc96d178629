#pragma once
// ListView1: the surface that shows the connection map.

#include <QImage>
#include <QWidget>

#include <functional>

// The part of the surface, in its own coordinates, where after differs from before: the
// band of lines that changed, all of it when the two differ in size or scale, nothing when
// they are the same.
QRect changedBand(const QImage& before, const QImage& after);

class MapSurface final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MapSurface)

public:
    explicit MapSurface(QWidget* parent = nullptr);

    // The surface's drawing lock, taken without waiting: a GUI-thread flag, not a mutex,
    // that keeps a map copy and a paint of the surface from meeting. False when held.
    bool enterDrawing();
    void leaveDrawing();

    // Takes a finished map; the caller holds the lock. The surface keeps it and shows
    // it again whenever it repaints, until the next map arrives. Only the lines that
    // changed are repainted: an idle machine's map is the same at every refresh, and each
    // repaint sends the whole surface to the display.
    void present(const QImage& picture);

    // The map the surface shows now (null before the first one arrives).
    const QImage& shownMap() const { return m_map; }

    // Where tooltips come from: the text for a point of the surface, empty for none.
    void setToolTipSource(std::function<QString(QPoint)> source) { m_toolTipSource = std::move(source); }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    std::function<QString(QPoint)> m_toolTipSource;
    QImage m_map;
    bool m_firstMapPainted = false;
    bool m_drawing = false; // held by a paint or a map copy in progress
};
