#include "views/map_pictures.h"

#include "resources/embedded_pictures.h"

namespace {

// Already in the map's own pixel format, RGB32.
QImage loadPicture(const char* name)
{
    return embedded_pictures::image(QString::fromLatin1(name));
}

} // namespace

MapPictures MapPictures::load()
{
    MapPictures pictures;
    pictures.Image_Main = loadPicture(":/map/image_main.bmp");
    pictures.Image_Hub_Top = loadPicture(":/map/image_hub_top.bmp");
    pictures.Image_Hub_Est = loadPicture(":/map/image_hub_est.bmp");
    pictures.Image_Hub_Lst = loadPicture(":/map/image_hub_lst.bmp");
    pictures.Image_Remote = loadPicture(":/map/image_remote.bmp");
    auto twice = std::make_shared<MapPictures>();
    const std::pair<QImage MapPictures::*, const char*> sharp[] = {
        { &MapPictures::Image_Main, ":/map/image_main@2x.bmp" },
        { &MapPictures::Image_Hub_Top, ":/map/image_hub_top@2x.bmp" },
        { &MapPictures::Image_Hub_Est, ":/map/image_hub_est@2x.bmp" },
        { &MapPictures::Image_Hub_Lst, ":/map/image_hub_lst@2x.bmp" },
        { &MapPictures::Image_Remote, ":/map/image_remote@2x.bmp" },
    };
    for (const auto& [picture, name] : sharp) {
        (*twice).*picture = loadPicture(name);
        ((*twice).*picture).setDevicePixelRatio(2);
    }
    pictures.twice = std::move(twice);
    return pictures;
}
