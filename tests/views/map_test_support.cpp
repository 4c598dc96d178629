#include "map_test_support.h"

#include "views/connection_map.h"

#include <QPainter>

namespace {

QImage plain(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

} // namespace

void fillTable(ConnectionTable& table, const std::vector<TestRow>& rows)
{
    table.reset();
    for (const TestRow& r : rows) {
        ConnectionRow* row = table.append();
        setField(row->localHost, r.localHost);
        setField(row->localPort, r.localPort);
        setField(row->remoteHost, r.remoteHost);
        setField(row->remotePort, r.remotePort);
        setField(row->protocol, r.protocol);
        setField(row->state, r.state);
    }
}

std::vector<std::string> localPorts(const ConnectionTable& table)
{
    std::vector<std::string> ports;
    for (int k = 1; k <= table.count(); ++k)
        ports.emplace_back(table.row(k).localPort);
    return ports;
}

MapPictures plainPictures()
{
    MapPictures pictures;
    pictures.Image_Main = plain(40, 50, QColor(200, 0, 0));
    pictures.Image_Hub_Top = plain(30, 20, QColor(0, 200, 0));
    pictures.Image_Hub_Est = plain(60, 25, QColor(0, 0, 200));
    pictures.Image_Hub_Lst = plain(35, 31, QColor(200, 0, 200));
    pictures.Image_Remote = plain(15, 17, QColor(0, 200, 200));
    return pictures;
}

QImage textCell(const QString& text, const QColor& colour)
{
    const QFontMetrics metrics(mapFont());
    QImage cell(metrics.horizontalAdvance(text), metrics.height(), QImage::Format_RGB32);
    cell.fill(kBlack);
    QPainter painter(&cell);
    painter.setFont(mapFont());
    painter.setPen(colour);
    painter.drawText(0, painter.fontMetrics().ascent(), text);
    return cell;
}

int textWidth(const QString& text)
{
    return QFontMetrics(mapFont()).horizontalAdvance(text);
}

bool containsAt(const QImage& image, const QImage& part, int x, int y)
{
    return image.copy(x, y, part.width(), part.height()).convertToFormat(QImage::Format_RGB32)
        == part.convertToFormat(QImage::Format_RGB32);
}

bool hasColour(const QImage& image, const QRect& area, const QColor& colour)
{
    const QRect inside = area & image.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            if (image.pixelColor(x, y) == colour)
                return true;
    return false;
}
