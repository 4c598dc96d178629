#pragma once
// Tables, pictures and pixel helpers shared by the map tests.

#include "scan/connection_table.h"
#include "views/map_pictures.h"

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>

#include <initializer_list>
#include <string>
#include <vector>

struct TestRow
{
    const char* localHost;
    const char* localPort;
    const char* state;
    const char* protocol = "TCP";
    const char* remoteHost = "none";
    const char* remotePort = "none";
};

void fillTable(ConnectionTable& table, const std::vector<TestRow>& rows);
// The localPort texts of rows 1..count, which the tests use as row tags.
std::vector<std::string> localPorts(const ConnectionTable& table);

// Plain pictures of one colour each and of sizes unlike the real ones.
MapPictures plainPictures();

inline const QColor kGrey(136, 136, 136);
inline const QColor kWhite(255, 255, 255);
inline const QColor kYellow(255, 255, 0);
inline const QColor kBlack(0, 0, 0);

// A text as the map draws it: its own opaque cell, black behind the glyphs.
QImage textCell(const QString& text, const QColor& colour);
int textWidth(const QString& text);

// True when `part` lies in `image` at (x, y), pixel for pixel.
bool containsAt(const QImage& image, const QImage& part, int x, int y);
bool hasColour(const QImage& image, const QRect& area, const QColor& colour);
