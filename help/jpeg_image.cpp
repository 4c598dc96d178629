#include "help/jpeg_image.h"

#include <QFile>

#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE declared first
#include <jpeglib.h>

namespace {

// Larger pictures than this are refused rather than allocated: a few bytes of header
// can claim a picture of gigabytes.
constexpr JDIMENSION kMaxSide = 16384;
constexpr unsigned long long kMaxPixels = 64ull * 1024 * 1024;

struct ErrorManager
{
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void jumpOnError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

void ignoreMessage(j_common_ptr) { }

// libjpeg reports errors by a long jump back into the function that set it up. The
// functions that set one hold no C++ objects with destructors, so the jump skips none.
struct Decoder
{
    jpeg_decompress_struct info {};
    ErrorManager error {};

    Decoder() { info.err = jpeg_std_error(&error.base); }
};

bool readHeader(Decoder& decoder, const QByteArray& data)
{
    if (setjmp(decoder.error.jump))
        return false;
    decoder.error.base.error_exit = jumpOnError;
    decoder.error.base.output_message = ignoreMessage;
    jpeg_create_decompress(&decoder.info);
    jpeg_mem_src(&decoder.info, reinterpret_cast<const unsigned char*>(data.constData()),
        static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(&decoder.info, TRUE) != JPEG_HEADER_OK)
        return false;
    // libjpeg converts everything but four-channel pictures to RGB itself.
    const bool fourChannels
        = decoder.info.jpeg_color_space == JCS_CMYK || decoder.info.jpeg_color_space == JCS_YCCK;
    decoder.info.out_color_space = fourChannels ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&decoder.info);
    return true;
}

bool readPixels(Decoder& decoder, unsigned char* bits, qsizetype bytesPerLine)
{
    if (setjmp(decoder.error.jump))
        return false;
    while (decoder.info.output_scanline < decoder.info.output_height) {
        JSAMPROW row = bits + static_cast<qsizetype>(decoder.info.output_scanline) * bytesPerLine;
        if (jpeg_read_scanlines(&decoder.info, &row, 1) != 1)
            return false;
    }
    jpeg_finish_decompress(&decoder.info);
    return true;
}

// Four-channel JPEGs as written by common editors store inverted CMYK.
QImage cmykToRgb(const QImage& cmyk, int width, int height)
{
    QImage rgb(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        const uchar* in = cmyk.constScanLine(y);
        auto* out = reinterpret_cast<QRgb*>(rgb.scanLine(y));
        for (int x = 0; x < width; ++x, in += 4) {
            const int k = in[3];
            out[x] = qRgb(in[0] * k / 255, in[1] * k / 255, in[2] * k / 255);
        }
    }
    return rgb;
}

} // namespace

QImage decodeJpeg(const QByteArray& data)
{
    if (data.isEmpty())
        return {};
    Decoder decoder;
    QImage image;
    if (readHeader(decoder, data)) {
        const JDIMENSION width = decoder.info.output_width;
        const JDIMENSION height = decoder.info.output_height;
        const bool cmyk = decoder.info.out_color_space == JCS_CMYK;
        const bool sane = width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide
            && static_cast<unsigned long long>(width) * height <= kMaxPixels
            && decoder.info.output_components == (cmyk ? 4 : 3);
        if (sane) {
            QImage pixels(static_cast<int>(width), static_cast<int>(height),
                cmyk ? QImage::Format_RGBX8888 : QImage::Format_RGB888);
            if (!pixels.isNull() && readPixels(decoder, pixels.bits(), pixels.bytesPerLine()))
                image = cmyk ? cmykToRgb(pixels, pixels.width(), pixels.height())
                             : pixels.convertToFormat(QImage::Format_RGB32);
        }
    }
    jpeg_destroy_decompress(&decoder.info);
    return image;
}

QImage loadJpegFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return decodeJpeg(file.readAll());
}
