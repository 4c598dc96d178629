// Renders the main window's toolbar pictures, the band's background tile and the
// window icon into PNG files: make_toolbar_pictures OUTPUT_FOLDER
// The committed PNGs are this program's output; run it again after changing a drawing.

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>

#include <cstdio>
#include <functional>

namespace {

// The scale the pictures are drawn at: 1, 2 for the "@2x" files, any for the icons.
qreal g_scale = 1;

QImage canvas(int w, int h)
{
    QImage image(qRound(w * g_scale), qRound(h * g_scale), QImage::Format_ARGB32_Premultiplied);
    // The painter then draws in the 1x coordinates below.
    image.setDevicePixelRatio(g_scale);
    image.fill(Qt::transparent);
    return image;
}

void withPainter(QImage& image, const std::function<void(QPainter&)>& draw)
{
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
}

// A shaded ball: the globe, the help and the exit buttons stand on one.
void drawBall(QPainter& p, QPointF centre, qreal radius, QColor light, QColor dark, QColor rim)
{
    QRadialGradient shade(centre - QPointF(radius * 0.33, radius * 0.45), radius * 1.45);
    shade.setColorAt(0, light);
    shade.setColorAt(1, dark);
    p.setPen(QPen(rim, 1.2));
    p.setBrush(shade);
    p.drawEllipse(centre, radius, radius);
}

QImage options()
{
    QImage img = canvas(35, 35);
    withPainter(img, [](QPainter& p) {
        const QPointF c(17.5, 17.5);
        QPainterPath gear;
        const int teeth = 8;
        for (int i = 0; i < teeth * 2; ++i) {
            const double a0 = (i * M_PI) / teeth;
            const double a1 = ((i + 1) * M_PI) / teeth;
            const double r = (i % 2 == 0) ? 15.0 : 11.5;
            const QPointF p0 = c + QPointF(std::cos(a0) * r, std::sin(a0) * r);
            const QPointF p1 = c + QPointF(std::cos(a1) * r, std::sin(a1) * r);
            if (i == 0)
                gear.moveTo(p0);
            else
                gear.lineTo(p0);
            gear.lineTo(p1);
        }
        gear.closeSubpath();
        QPainterPath hole;
        hole.addEllipse(c, 5.0, 5.0);
        gear = gear.subtracted(hole);
        QLinearGradient metal(0, 0, 35, 35);
        metal.setColorAt(0, QColor(235, 238, 245));
        metal.setColorAt(1, QColor(120, 130, 150));
        p.setPen(QPen(QColor(60, 66, 80), 1.2));
        p.setBrush(metal);
        p.drawPath(gear);
        p.setBrush(QColor(40, 140, 255));
        p.setPen(Qt::NoPen);
        p.drawEllipse(c, 3.2, 3.2);
    });
    return img;
}

QImage lookup()
{
    QImage img = canvas(35, 35);
    withPainter(img, [](QPainter& p) {
        drawBall(p, QPointF(15, 15), 12, QColor(120, 200, 255), QColor(20, 90, 190), QColor(200, 230, 255));
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(220, 240, 255, 200), 1.0));
        p.drawEllipse(QPointF(15, 15), 5.5, 12);
        p.drawLine(QPointF(3, 15), QPointF(27, 15));
        p.drawLine(QPointF(5, 9), QPointF(25, 9));
        p.drawLine(QPointF(5, 21), QPointF(25, 21));
        // The magnifier: looking a name up.
        p.setPen(QPen(QColor(250, 200, 60), 3.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(25.5, 25.5), QPointF(32, 32));
        p.setPen(QPen(QColor(250, 210, 80), 2.0));
        p.setBrush(QColor(255, 255, 255, 60));
        p.drawEllipse(QPointF(22, 22), 5.5, 5.5);
    });
    return img;
}

QImage mode()
{
    QImage img = canvas(35, 35);
    withPainter(img, [](QPainter& p) {
        // Left: the text grid; right: the map's nodes.
        p.setPen(QPen(QColor(200, 200, 200), 1));
        p.setBrush(QColor(250, 250, 250));
        p.drawRect(QRectF(2.5, 5.5, 14, 24));
        p.setBrush(QColor(192, 192, 192));
        p.drawRect(QRectF(2.5, 5.5, 14, 5));
        p.setPen(QPen(QColor(150, 150, 150), 0.8));
        for (int y = 15; y < 30; y += 4)
            p.drawLine(QPointF(3, y + 0.5), QPointF(16, y + 0.5));
        p.fillRect(QRectF(3, 19, 13, 3), QColor(255, 0, 0));
        p.setPen(QPen(QColor(136, 136, 136), 1.2));
        p.drawLine(QPointF(21, 10), QPointF(21, 28));
        p.drawLine(QPointF(21, 16), QPointF(32, 12));
        p.drawLine(QPointF(21, 24), QPointF(32, 26));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 200, 90));
        p.drawEllipse(QPointF(21, 8), 3, 3);
        p.setBrush(QColor(255, 220, 0));
        p.drawEllipse(QPointF(32, 12), 2.6, 2.6);
        p.drawEllipse(QPointF(32, 26), 2.6, 2.6);
    });
    return img;
}

QImage viewlog()
{
    QImage img = canvas(35, 35);
    withPainter(img, [](QPainter& p) {
        QPainterPath page;
        page.moveTo(6, 3);
        page.lineTo(22, 3);
        page.lineTo(29, 10);
        page.lineTo(29, 32);
        page.lineTo(6, 32);
        page.closeSubpath();
        QLinearGradient paper(0, 0, 35, 35);
        paper.setColorAt(0, QColor(255, 255, 255));
        paper.setColorAt(1, QColor(200, 210, 225));
        p.setPen(QPen(QColor(90, 100, 120), 1.0));
        p.setBrush(paper);
        p.drawPath(page);
        p.setBrush(QColor(170, 180, 200));
        QPainterPath fold;
        fold.moveTo(22, 3);
        fold.lineTo(22, 10);
        fold.lineTo(29, 10);
        fold.closeSubpath();
        p.drawPath(fold);
        p.setPen(QPen(QColor(60, 110, 200), 1.4));
        for (int y = 14; y <= 28; y += 4)
            p.drawLine(QPointF(10, y), QPointF(y == 14 ? 19 : 25, y));
        p.setPen(QPen(QColor(220, 40, 40), 1.6));
        p.drawLine(QPointF(10, 18), QPointF(12, 18));
    });
    return img;
}

QImage help()
{
    QImage img = canvas(35, 35);
    withPainter(img, [](QPainter& p) {
        drawBall(
            p, QPointF(17.5, 17.5), 14, QColor(110, 180, 255), QColor(10, 70, 170), QColor(200, 225, 255));
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setBold(true);
        font.setPixelSize(21);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRectF(0, 0, 35, 35), Qt::AlignCenter, QStringLiteral("?"));
    });
    return img;
}

QImage exitPicture()
{
    QImage img = canvas(35, 35);
    withPainter(img, [](QPainter& p) {
        drawBall(
            p, QPointF(17.5, 17.5), 14, QColor(255, 120, 110), QColor(170, 20, 20), QColor(255, 200, 200));
        p.setPen(QPen(Qt::white, 2.6, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(10, 10.5, 15, 15), (90 + 35) * 16, (360 - 70) * 16);
        p.drawLine(QPointF(17.5, 8), QPointF(17.5, 17));
    });
    return img;
}

QImage band()
{
    // A dark brushed-steel tile with faint circuit traces; its edges match so it tiles.
    QImage img(128, 128, QImage::Format_RGB32);
    for (int y = 0; y < 128; ++y) {
        for (int x = 0; x < 128; ++x) {
            const double wave
                = std::sin((x * 2 * M_PI) / 128.0 * 3) * 2.0 + std::sin((y * 2 * M_PI) / 128.0 * 5) * 1.5;
            const int noise = int(((unsigned(x) * 73856093u) ^ (unsigned(y) * 19349663u)) & 7u) - 3;
            const int base = 38 + int(wave) + noise;
            img.setPixel(x, y, qRgb(base - 6, base, base + 14));
        }
    }
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(70, 90, 120, 110), 1));
    p.drawLine(0, 20, 40, 20);
    p.drawLine(40, 20, 56, 36);
    p.drawLine(56, 36, 128, 36);
    p.drawLine(0, 100, 70, 100);
    p.drawLine(70, 100, 86, 84);
    p.drawLine(86, 84, 128, 84);
    p.drawLine(100, 0, 100, 36);
    p.drawLine(24, 100, 24, 128);
    p.setBrush(QColor(90, 120, 160, 130));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(56, 36), 2, 2);
    p.drawEllipse(QPointF(86, 84), 2, 2);
    p.drawEllipse(QPointF(100, 36), 2, 2);
    return img;
}

QImage windowIcon()
{
    QImage img = canvas(32, 32);
    withPainter(img, [](QPainter& p) {
        QLinearGradient frame(0, 0, 0, 24);
        frame.setColorAt(0, QColor(90, 95, 110));
        frame.setColorAt(1, QColor(40, 42, 50));
        p.setPen(QPen(QColor(20, 20, 25), 1));
        p.setBrush(frame);
        p.drawRoundedRect(QRectF(1.5, 2.5, 29, 21), 2, 2);
        p.setBrush(Qt::black);
        p.drawRect(QRectF(4.5, 5.5, 23, 15));
        p.setBrush(QColor(70, 75, 90));
        p.drawRect(QRectF(12.5, 23.5, 7, 4));
        p.drawRoundedRect(QRectF(7.5, 27.5, 17, 3), 1, 1);
        p.setPen(QPen(QColor(136, 136, 136), 1));
        p.drawLine(QPointF(9, 9), QPointF(9, 17));
        p.drawLine(QPointF(9, 12), QPointF(23, 9));
        p.drawLine(QPointF(9, 16), QPointF(23, 17));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 40, 40));
        p.drawEllipse(QPointF(23, 9), 2, 2);
        p.setBrush(QColor(255, 230, 0));
        p.drawEllipse(QPointF(23, 17), 2, 2);
        p.setBrush(QColor(40, 200, 255));
        p.drawEllipse(QPointF(9, 9), 2, 2);
    });
    return img;
}

bool save(const QImage& image, const QString& path)
{
    QImage stored = image;
    stored.setDevicePixelRatio(1); // a PNG keeps no ratio; Qt reads it from the "@2x" name
    if (!stored.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: make_toolbar_pictures OUTPUT_FOLDER [ICON_THEME_FOLDER]\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const struct
    {
        const char* name;
        std::function<QImage()> draw;
        bool twice; // also drawn at 2x, for scaled screens
    } pictures[] = {
        { "options", options, true },
        { "lookup", lookup, true },
        { "mode", mode, true },
        { "viewlog", viewlog, true },
        { "help", help, true },
        { "exit", exitPicture, true },
        { "band", band, false }, // a noise tile: scaling it up loses nothing
        { "veltran", windowIcon, true },
    };
    for (const auto& picture : pictures) {
        for (const qreal scale : { 1.0, 2.0 }) {
            if (scale > 1 && !picture.twice)
                continue;
            g_scale = scale;
            const QString name = QString::fromLatin1(picture.name)
                + (scale > 1 ? QStringLiteral("@2x.png") : QStringLiteral(".png"));
            if (!save(picture.draw(), out.filePath(name)))
                return 1;
        }
    }
    // The desktop's icons: the window icon at the theme's usual sizes.
    if (argc == 3) {
        const QDir theme(QString::fromLocal8Bit(argv[2]));
        for (const int size : { 16, 24, 32, 48, 64, 128, 256 }) {
            g_scale = size / 32.0;
            const QString folder = QStringLiteral("%1x%1/apps").arg(size);
            if (!theme.mkpath(folder)
                || !save(
                    windowIcon(), theme.filePath(folder + QStringLiteral("/example.veltran.Veltran.png"))))
                return 1;
        }
    }
    return 0;
}
