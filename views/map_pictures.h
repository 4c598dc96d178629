#pragma once
// The five pictures of the connection map, embedded in the program.

#include <QImage>

#include <memory>

struct MapPictures
{
    QImage Image_Main; // the local computer
    QImage Image_Hub_Top; // one interface (local address)
    QImage Image_Hub_Est; // an established row
    QImage Image_Hub_Lst; // every other row; the same picture, held on its own
    QImage Image_Remote; // the far end of an established row
    // The same five drawn at twice the resolution (device pixel ratio 2), for scaled
    // screens; the layout is always measured with the pictures above.
    std::shared_ptr<const MapPictures> twice;

    // Loads the embedded pictures, converted once to the map's own pixel format so
    // that every run blits them without conversion.
    static MapPictures load();
};
