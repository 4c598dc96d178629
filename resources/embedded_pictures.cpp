#include "resources/embedded_pictures.h"

#include <QGuiApplication>
#include <QPixmap>

static void initEmbeddedPictures()
{
    // The pictures live in a static library, whose resources are registered by hand, once.
    static const bool registered = [] {
        Q_INIT_RESOURCE(toolbar);
        Q_INIT_RESOURCE(map_pictures);
        return true;
    }();
    (void)registered;
}

namespace {

QString twinPath(const QString& path)
{
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : path.left(dot) + QStringLiteral("@2x") + path.mid(dot);
}

QImage decode(const QString& path)
{
    const QImage picture(path);
    // Opaque pictures onto an RGB32 map: drawn as plain copies, no blending.
    if (path.startsWith(QLatin1String(":/map/")))
        return picture.convertToFormat(QImage::Format_RGB32);
    return picture;
}

} // namespace

namespace embedded_pictures {

QImage image(const QString& path)
{
    initEmbeddedPictures();
    return decode(path);
}

QIcon icon(const QString& path)
{
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(image(path)));
    // As QIcon(path) does: the twin only where a screen is scaled.
    if (!qGuiApp || qGuiApp->devicePixelRatio() <= 1.0)
        return icon;
    QImage sharp = image(twinPath(path));
    if (!sharp.isNull()) {
        sharp.setDevicePixelRatio(2);
        icon.addPixmap(QPixmap::fromImage(sharp));
    }
    return icon;
}

} // namespace embedded_pictures
