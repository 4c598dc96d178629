#include "help/jpeg_image.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cstdio>
#include <jpeglib.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Encodes raw samples with libjpeg's compressor, so the tests know what the picture holds.
QByteArray encodeJpeg(int width, int height, int components, J_COLOR_SPACE space,
    const std::vector<unsigned char>& samples, int quality = 95)
{
    jpeg_compress_struct info {};
    jpeg_error_mgr error {};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = components;
    info.in_color_space = space;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        auto* row = const_cast<unsigned char*>(
            &samples[info.next_scanline * static_cast<std::size_t>(width) * components]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray bytes(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
    std::free(buffer);
    return bytes;
}

// Left half one colour, right half another.
std::vector<unsigned char> halves(
    int width, int height, std::vector<unsigned char> left, std::vector<unsigned char> right)
{
    std::vector<unsigned char> samples;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (unsigned char v : (x < width / 2 ? left : right))
                samples.push_back(v);
    return samples;
}

void expectNear(QRgb actual, QRgb expected)
{
    EXPECT_NEAR(qRed(actual), qRed(expected), 12);
    EXPECT_NEAR(qGreen(actual), qGreen(expected), 12);
    EXPECT_NEAR(qBlue(actual), qBlue(expected), 12);
}

QByteArray aboutPicture()
{
    QFile file(u":/about/about.jpg"_s);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(JpegImage, DecodesTheAboutPicture)
{
    const QByteArray bytes = aboutPicture();
    ASSERT_FALSE(bytes.isEmpty());
    const QImage image = decodeJpeg(bytes);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(473, 290));
    // A dark picture, but not a flat one.
    EXPECT_LT(qGray(image.pixel(5, 5)), 80);
    EXPECT_NE(image.pixel(5, 5), image.pixel(205, 95));
}

TEST(JpegImage, KeepsColoursInPlace)
{
    const QImage rgb
        = decodeJpeg(encodeJpeg(32, 16, 3, JCS_RGB, halves(32, 16, { 220, 20, 20 }, { 20, 20, 220 })));
    ASSERT_EQ(rgb.size(), QSize(32, 16));
    expectNear(rgb.pixel(4, 8), qRgb(220, 20, 20));
    expectNear(rgb.pixel(28, 8), qRgb(20, 20, 220));

    const QImage grey = decodeJpeg(encodeJpeg(16, 16, 1, JCS_GRAYSCALE, halves(16, 16, { 30 }, { 200 })));
    ASSERT_EQ(grey.size(), QSize(16, 16));
    expectNear(grey.pixel(2, 2), qRgb(30, 30, 30));
    expectNear(grey.pixel(13, 13), qRgb(200, 200, 200));

    // Four-channel pictures are stored inverted: 255 means no ink.
    const QImage cmyk = decodeJpeg(
        encodeJpeg(16, 16, 4, JCS_CMYK, halves(16, 16, { 255, 255, 0, 255 }, { 255, 255, 255, 128 })));
    ASSERT_EQ(cmyk.size(), QSize(16, 16));
    expectNear(cmyk.pixel(2, 8), qRgb(255, 255, 0));
    expectNear(cmyk.pixel(13, 8), qRgb(128, 128, 128));
}

TEST(JpegImage, DamagedPicturesGiveANullImageOrAPartialOneButNeverEndTheProgram)
{
    const QByteArray good = aboutPicture();
    ASSERT_GT(good.size(), 1000);

    EXPECT_TRUE(decodeJpeg({}).isNull());
    EXPECT_TRUE(decodeJpeg("not a picture at all").isNull());
    EXPECT_TRUE(decodeJpeg(good.left(2)).isNull());
    EXPECT_TRUE(decodeJpeg(good.left(200)).isNull()); // header cut short
    QByteArray badMarker = good;
    badMarker[3] = '\x01';
    badMarker[2] = '\xFF';
    badMarker[6] = '\xFF';
    EXPECT_NO_FATAL_FAILURE(decodeJpeg(badMarker));

    // Truncated data: the part that arrived is shown, the rest filled in.
    EXPECT_EQ(decodeJpeg(good.left(good.size() / 2)).size(), QSize(473, 290));

    // Scattered damage all over the data.
    for (int step : { 7, 31, 97, 401 }) {
        QByteArray damaged = good;
        for (qsizetype i = 20; i < damaged.size(); i += step)
            damaged[i] = static_cast<char>(damaged[i] ^ 0x5A);
        const QImage image = decodeJpeg(damaged);
        EXPECT_TRUE(image.isNull() || image.size() == QSize(473, 290)) << step;
    }
}

TEST(JpegImage, RefusesPicturesClaimingAbsurdSizes)
{
    const QByteArray small = encodeJpeg(8, 8, 3, JCS_RGB, halves(8, 8, { 1, 2, 3 }, { 4, 5, 6 }));
    // The frame header (SOF0) holds height and width as big-endian 16-bit numbers.
    const qsizetype sof = small.indexOf("\xFF\xC0");
    ASSERT_GT(sof, 0);
    QByteArray huge = small;
    huge[sof + 5] = '\xFF';
    huge[sof + 6] = '\xF0';
    huge[sof + 7] = '\xFF';
    huge[sof + 8] = '\xF0';
    EXPECT_TRUE(decodeJpeg(huge).isNull());
}

TEST(JpegImage, LoadsFilesAndIgnoresMissingOnes)
{
    EXPECT_TRUE(loadJpegFile(u"/nonexistent/about.jpg"_s).isNull());
    EXPECT_EQ(loadJpegFile(u":/about/about.jpg"_s).size(), QSize(473, 290));
}
