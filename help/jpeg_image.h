#pragma once
// JPEG pictures decoded with libjpeg. A damaged picture gives a null image instead of
// ending the program, as libjpeg's default error handler would; one that is cut short
// gives what arrived, the rest filled in grey.

#include <QByteArray>
#include <QImage>
#include <QString>

QImage decodeJpeg(const QByteArray& data);
QImage loadJpegFile(const QString& path);
