#pragma once
// The band across the top of the main window: a tiled background picture behind
// the transparent toolbar.

#include <QPixmap>
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
