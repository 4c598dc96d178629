#pragma once
// The window's embedded pictures, decoded once. The program has them decoded on a helper
// thread while it connects to the display; a picture asked for before that has finished
// waits for it, and one never preloaded is decoded when asked for.

#include <QIcon>
#include <QImage>
#include <QString>

#include <future>

namespace embedded_pictures {

// The decoding of the toolbar's and the map's pictures, to be run on a thread of the
// caller's choosing; safe before the application object exists. Call it once, from the
// thread that will ask for the pictures.
std::packaged_task<void()> preload();

// The picture at a resource path such as ":/toolbar/help.png". The map's pictures come
// in the map's own pixel format.
QImage image(const QString& path);

// An icon of the picture, and of its "@2x" twin where a screen is scaled, as QIcon(path) makes it.
QIcon icon(const QString& path);

} // namespace embedded_pictures
