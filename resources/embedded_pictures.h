#pragma once
// The window's embedded pictures, decoded when asked for.

#include <QIcon>
#include <QImage>
#include <QString>

namespace embedded_pictures {

// The picture at a resource path such as ":/toolbar/help.png". The map's pictures come
// in the map's own pixel format.
QImage image(const QString& path);

// An icon of the picture, and of its "@2x" twin where a screen is scaled, as QIcon(path) makes it.
QIcon icon(const QString& path);

} // namespace embedded_pictures
