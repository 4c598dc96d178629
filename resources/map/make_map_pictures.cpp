// Draws the connection map's five pictures and writes them as 24-bit BMP files into
// the folder given as the first argument. Run through the map_pictures target; the
// results are kept in the repository, so a normal build never runs this.
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace {

const QColor kBackground(3, 3, 5);

// 1 for the pictures the map's layout is measured with, 2 for the "@2x" ones.
qreal g_scale = 1;

QImage canvas(int width, int height)
{
    QImage image(qRound(width * g_scale), qRound(height * g_scale), QImage::Format_RGB32);
    image.setDevicePixelRatio(g_scale); // the drawings below keep their 1x coordinates
    image.fill(kBackground);
    return image;
}

QLinearGradient vertical(qreal top, qreal bottom, const QColor& from, const QColor& to)
{
    QLinearGradient gradient(0, top, 0, bottom);
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    return gradient;
}

QLinearGradient diagonal(const QRectF& r, const QColor& from, const QColor& to)
{
    QLinearGradient gradient(r.topLeft(), r.bottomRight());
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    return gradient;
}

// A monitor: light bezel, blue screen with a window and a few lines of text.
void drawMonitor(QPainter& p, const QRectF& bezel, qreal border)
{
    p.setPen(QPen(QColor(70, 70, 78), 1));
    p.setBrush(vertical(bezel.top(), bezel.bottom(), QColor(232, 230, 222), QColor(168, 166, 158)));
    p.drawRoundedRect(bezel, 2.5, 2.5);
    const QRectF screen = bezel.adjusted(border, border, -border, -border * 1.6);
    p.setPen(QPen(QColor(40, 40, 48), 1));
    p.setBrush(diagonal(screen, QColor(70, 150, 235), QColor(18, 52, 140)));
    p.drawRect(screen);
    // Glare in the upper left corner of the glass.
    QPainterPath glare;
    glare.moveTo(screen.topLeft() + QPointF(1, 1));
    glare.lineTo(screen.left() + screen.width() * 0.55, screen.top() + 1);
    glare.lineTo(screen.left() + 1, screen.top() + screen.height() * 0.6);
    glare.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 40));
    p.drawPath(glare);
    // Power light under the screen.
    p.setBrush(QColor(90, 230, 90));
    p.drawEllipse(QPointF(bezel.right() - border - 1, bezel.bottom() - border * 0.8), 1.1, 1.1);
}

QImage drawMainComputer()
{
    QImage image = canvas(64, 64);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // Desktop case lying under the monitor.
    const QRectF caseRect(4.5, 44.5, 55, 15);
    p.setPen(QPen(QColor(70, 70, 78), 1));
    p.setBrush(vertical(caseRect.top(), caseRect.bottom(), QColor(226, 224, 214), QColor(150, 148, 140)));
    p.drawRoundedRect(caseRect, 2, 2);
    p.setPen(QPen(QColor(60, 60, 66), 1));
    p.setBrush(QColor(48, 48, 54));
    p.drawRect(QRectF(9.5, 48.5, 18, 3)); // disk drive
    p.drawRect(QRectF(9.5, 53.5, 18, 2));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 230, 90));
    p.drawEllipse(QPointF(53, 52), 1.5, 1.5);
    p.setBrush(QColor(240, 170, 40));
    p.drawEllipse(QPointF(48, 52), 1.2, 1.2);

    // Neck and foot.
    p.setPen(QPen(QColor(70, 70, 78), 1));
    p.setBrush(vertical(38, 44, QColor(190, 188, 180), QColor(130, 128, 120)));
    p.drawRect(QRectF(27.5, 38.5, 9, 4));
    p.drawRoundedRect(QRectF(19.5, 41.5, 25, 3), 1.5, 1.5);

    drawMonitor(p, QRectF(8.5, 2.5, 47, 37), 4);

    // A small window on the screen.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(230, 236, 245));
    p.drawRect(QRectF(17, 10, 22, 14));
    p.setBrush(QColor(30, 70, 170));
    p.drawRect(QRectF(17, 10, 22, 3));
    p.setBrush(QColor(120, 130, 150));
    for (int i = 0; i < 3; ++i)
        p.drawRect(QRectF(19, 15.5 + i * 2.6, 14 - i * 3, 1.2));
    return image;
}

QImage drawAdapterCard()
{
    QImage image = canvas(50, 43);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // Circuit board with its edge connector.
    const QRectF board(9.5, 5.5, 38, 26);
    p.setPen(QPen(QColor(10, 70, 30), 1));
    p.setBrush(diagonal(board, QColor(40, 170, 80), QColor(16, 100, 48)));
    p.drawRect(board);
    p.setPen(Qt::NoPen);
    p.setBrush(vertical(31, 37, QColor(250, 215, 90), QColor(190, 140, 30)));
    p.drawRect(QRectF(16, 31.5, 27, 5));
    p.setBrush(QColor(120, 80, 10));
    for (int i = 1; i < 9; ++i)
        p.drawRect(QRectF(16 + i * 3.0, 31.5, 0.7, 5));

    // Traces.
    p.setPen(QPen(QColor(170, 220, 120), 0.8));
    p.drawLine(QPointF(14, 12), QPointF(22, 12));
    p.drawLine(QPointF(14, 26), QPointF(44, 26));
    p.drawLine(QPointF(40, 12), QPointF(40, 26));
    p.drawLine(QPointF(22, 22), QPointF(30, 22));

    // The controller chip and a smaller one.
    auto chip = [&p](const QRectF& r) {
        p.setPen(QPen(QColor(200, 200, 205), 0.8));
        for (qreal xx = r.left() + 1.5; xx < r.right() - 0.5; xx += 2.0) {
            p.drawLine(QPointF(xx, r.top() - 1.5), QPointF(xx, r.top()));
            p.drawLine(QPointF(xx, r.bottom()), QPointF(xx, r.bottom() + 1.5));
        }
        p.setPen(QPen(QColor(5, 5, 5), 1));
        p.setBrush(vertical(r.top(), r.bottom(), QColor(60, 60, 66), QColor(22, 22, 26)));
        p.drawRect(r);
    };
    chip(QRectF(23.5, 10.5, 12, 9));
    chip(QRectF(37.5, 15.5, 7, 5));

    // Metal bracket with the cable jack and its two lights.
    p.setPen(QPen(QColor(80, 84, 92), 1));
    QLinearGradient metal(QPointF(2, 0), QPointF(9, 0));
    metal.setColorAt(0, QColor(235, 238, 242));
    metal.setColorAt(1, QColor(140, 145, 155));
    p.setBrush(metal);
    p.drawRect(QRectF(3.5, 1.5, 6, 39));
    p.setPen(QPen(QColor(20, 20, 20), 1));
    p.setBrush(QColor(36, 36, 40));
    p.drawRect(QRectF(4.5, 12.5, 4, 8));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 170, 60));
    p.drawRect(QRectF(5.5, 14, 2, 0.8));
    p.drawRect(QRectF(5.5, 16, 2, 0.8));
    p.drawRect(QRectF(5.5, 18, 2, 0.8));
    p.setBrush(QColor(90, 240, 90));
    p.drawEllipse(QPointF(6.5, 24), 1.2, 1.2);
    p.setBrush(QColor(250, 180, 40));
    p.drawEllipse(QPointF(6.5, 28), 1.2, 1.2);
    return image;
}

QImage drawNetworkNode()
{
    QImage image = canvas(50, 41);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // A node with four links to its neighbours.
    const QPointF centre(25, 14);
    const QPointF ends[4] = { QPointF(9, 5), QPointF(41, 5), QPointF(9, 23), QPointF(41, 23) };
    p.setPen(QPen(QColor(120, 200, 255), 1.6));
    for (const QPointF& end : ends)
        p.drawLine(centre, end);
    auto node = [&p](QPointF at, qreal radius, const QColor& light, const QColor& dark) {
        QRadialGradient gradient(at - QPointF(radius / 3, radius / 3), radius * 1.4);
        gradient.setColorAt(0, light);
        gradient.setColorAt(1, dark);
        p.setPen(QPen(QColor(10, 30, 60), 0.8));
        p.setBrush(gradient);
        p.drawEllipse(at, radius, radius);
    };
    for (const QPointF& end : ends)
        node(end, 3.6, QColor(200, 235, 255), QColor(40, 110, 200));
    node(centre, 6.5, QColor(255, 250, 200), QColor(220, 140, 20));

    // The row of binary digits underneath.
    QFont font(u"DejaVu Sans Mono"_s);
    font.setPixelSize(9);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(80, 230, 120));
    p.drawText(QRectF(0, 29, 50, 11), Qt::AlignCenter, u"1011010"_s);
    return image;
}

QImage drawRemoteComputer()
{
    QImage image = canvas(39, 39);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // Tower on the right.
    const QRectF tower(24.5, 4.5, 12, 32);
    p.setPen(QPen(QColor(70, 70, 78), 1));
    p.setBrush(vertical(tower.top(), tower.bottom(), QColor(228, 226, 216), QColor(150, 148, 140)));
    p.drawRoundedRect(tower, 1.5, 1.5);
    p.setPen(QPen(QColor(60, 60, 66), 1));
    p.setBrush(QColor(48, 48, 54));
    p.drawRect(QRectF(26.5, 8.5, 8, 2)); // drive bays
    p.drawRect(QRectF(26.5, 12.5, 8, 2));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 230, 90));
    p.drawEllipse(QPointF(30.5, 31), 1.3, 1.3);
    p.setPen(QPen(QColor(120, 118, 110), 0.8));
    for (int i = 0; i < 3; ++i)
        p.drawLine(QPointF(27, 19.5 + i * 2.5), QPointF(34, 19.5 + i * 2.5));

    // Monitor on the left with its foot.
    p.setPen(QPen(QColor(70, 70, 78), 1));
    p.setBrush(vertical(27, 34, QColor(190, 188, 180), QColor(130, 128, 120)));
    p.drawRect(QRectF(9.5, 28.5, 5, 3));
    p.drawRoundedRect(QRectF(5.5, 31.5, 13, 3), 1.2, 1.2);
    drawMonitor(p, QRectF(1.5, 9.5, 21, 19), 2.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(225, 232, 242));
    p.drawRect(QRectF(6, 14, 10, 6));
    p.setBrush(QColor(30, 70, 170));
    p.drawRect(QRectF(6, 14, 10, 1.6));
    return image;
}

bool save(const QImage& image, const QString& folder, const char* name)
{
    // RGB888 makes the BMP writer store 24 bits per pixel.
    const QString path = folder + u'/' + QString::fromLatin1(name);
    QImage stored = image.convertToFormat(QImage::Format_RGB888);
    stored.setDevicePixelRatio(1);
    if (!stored.save(path, "BMP")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    bool ok = true;
    for (const qreal scale : { 1.0, 2.0 }) {
        g_scale = scale;
        const QString suffix = scale > 1 ? u"@2x.bmp"_s : u".bmp"_s;
        const auto name
            = [&suffix](const char* base) { return (QString::fromLatin1(base) + suffix).toLatin1(); };
        const QImage node = drawNetworkNode();
        ok = ok && save(drawMainComputer(), folder, name("image_main").constData())
            && save(drawAdapterCard(), folder, name("image_hub_top").constData())
            && save(node, folder, name("image_hub_est").constData())
            && save(node, folder, name("image_hub_lst").constData())
            && save(drawRemoteComputer(), folder, name("image_remote").constData());
    }
    return ok ? 0 : 1;
}
