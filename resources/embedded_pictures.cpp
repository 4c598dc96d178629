#include "resources/embedded_pictures.h"

#include <QGuiApplication>
#include <QPixmap>

#include <future>
#include <map>
#include <optional>

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

using Pictures = std::map<QString, QImage>;

std::optional<std::shared_future<Pictures>>& preloaded()
{
    static std::optional<std::shared_future<Pictures>> pictures;
    return pictures;
}

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

Pictures decodeAll()
{
    static const char* const kNames[]
        = { "band", "veltran", "options", "lookup", "mode", "viewlog", "help", "exit" };
    static const char* const kMapNames[]
        = { "image_main", "image_hub_top", "image_hub_est", "image_hub_lst", "image_remote" };
    Pictures pictures;
    const auto add = [&pictures](const QString& path, bool withTwin) {
        pictures[path] = decode(path);
        const QString twin = twinPath(path);
        const QImage sharp = withTwin ? decode(twin) : QImage();
        if (!sharp.isNull())
            pictures[twin] = sharp;
    };
    // The buttons' twins serve scaled screens alone and are decoded when asked for: they
    // took most of this thread's decoding time. The map always loads its twins.
    for (const char* name : kNames)
        add(QStringLiteral(":/toolbar/%1.png").arg(QLatin1String(name)), false);
    for (const char* name : kMapNames)
        add(QStringLiteral(":/map/%1.bmp").arg(QLatin1String(name)), true);
    return pictures;
}

} // namespace

namespace embedded_pictures {

std::packaged_task<void()> preload()
{
    initEmbeddedPictures();
    std::promise<Pictures> decoded;
    preloaded() = decoded.get_future().share();
    return std::packaged_task<void()>(
        [decoded = std::move(decoded)]() mutable { decoded.set_value(decodeAll()); });
}

QImage image(const QString& path)
{
    initEmbeddedPictures();
    if (const auto& pictures = preloaded()) {
        const Pictures& decoded = pictures->get();
        if (const auto found = decoded.find(path); found != decoded.end())
            return found->second;
    }
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
