// Photos keep their colours and their metadata: pixels come in in the photo's own space
// under its profile, CMYK and 16-bit photos come in as 8-bit sRGB, and every export carries
// what its format can.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <exiv2/exiv2.hpp>
#include <lcms2.h>

#include <cstdlib>

#include <jpeglib.h>

#include "model/colour/photo_colour.h"
#include "model/effects/image_tools.h"
#include "tests/support/colour_profiles.h"
#include "tests/support/sample_pictures.h"

namespace vividra {
namespace {

// A JPEG of flat 16 × 16 patches of CMYK inks, stored inverted with Adobe's marker as
// Photoshop stores them, with `icc` embedded when given.
QByteArray cmykJpeg(const std::vector<std::array<unsigned char, 4>>& inks, const QByteArray& icc) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(16 * inks.size());
    info.image_height = 16;
    info.input_components = 4;
    info.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    jpeg_start_compress(&info, TRUE);
    if (!icc.isEmpty())
        jpeg_write_icc_profile(&info, reinterpret_cast<const JOCTET*>(icc.constData()),
                               static_cast<unsigned>(icc.size()));
    std::vector<unsigned char> row(4 * info.image_width);
    for (size_t x = 0; x < row.size(); ++x)
        row[x] = static_cast<unsigned char>(255 - inks[x / 64][x % 4]);
    std::vector<JSAMPROW> rows(16, row.data());
    jpeg_write_scanlines(&info, rows.data(), 16);
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray bytes(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
    std::free(buffer);
    return bytes;
}

TEST(PhotoColour, CmykAndSixteenBitPhotosComeInAsSrgb) {
    QTemporaryDir dir;
    const std::vector<std::array<unsigned char, 4>> inks = {
        {0, 0, 0, 0}, {255, 0, 0, 0}, {0, 200, 180, 0}, {30, 60, 0, 40}, {0, 0, 0, 255}};
    const QByteArray cmykProfile =
        test::readAll(QStringLiteral("/usr/share/color/icc/ghostscript/default_cmyk.icc"));
    ASSERT_FALSE(cmykProfile.isEmpty()) << "the CMYK profile of libgs-common is missing";
    cmsHPROFILE from = cmsOpenProfileFromMem(cmykProfile.constData(), cmykProfile.size());
    cmsHPROFILE to = cmsCreate_sRGBProfile();
    cmsHTRANSFORM lcms =
        cmsCreateTransform(from, TYPE_CMYK_8, to, TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
    for (const bool withProfile : {true, false}) {
        const QString path = dir.filePath(QStringLiteral("cmyk.jpg"));
        ASSERT_TRUE(test::writeAll(path, cmykJpeg(inks, withProfile ? cmykProfile : QByteArray())));
        const std::optional<Picture> read = ImageTools::readPicture(path);
        ASSERT_TRUE(read);
        EXPECT_TRUE(!read->metadata || read->metadata->iccProfile.isEmpty());
        for (size_t i = 0; i < inks.size(); ++i) {
            unsigned char want[3];
            if (withProfile)
                cmsDoTransform(lcms, inks[i].data(), want, 1);
            for (int c = 0; c < 3 && !withProfile; ++c)
                want[c] = static_cast<unsigned char>(
                    std::lround((255 - inks[i][c]) * (255 - inks[i][3]) / 255.0));
            const QRgb got = read->image.pixel(16 * static_cast<int>(i) + 8, 8);
            EXPECT_LE(std::max({std::abs(qRed(got) - want[0]), std::abs(qGreen(got) - want[1]),
                                std::abs(qBlue(got) - want[2])}),
                      3)
                << (withProfile ? "profile " : "formula ") << i;
        }
    }
    cmsDeleteTransform(lcms);
    cmsCloseProfile(from);
    cmsCloseProfile(to);

    // A 16-bit gradient keeps every step: each value is v / 257 rounded, so neighbours
    // differ by at most one level and nothing bands.
    QImage deep(4096, 2, QImage::Format_RGBA64);
    for (int x = 0; x < deep.width(); ++x) {
        const quint16 v = static_cast<quint16>(x * 16 + 7);
        deep.setPixelColor(x, 0, QColor::fromRgba64(v, 65535 - v, v / 2));
        deep.setPixelColor(x, 1, QColor::fromRgba64(v, v, v));
    }
    const QString path = dir.filePath(QStringLiteral("deep.png"));
    ASSERT_TRUE(deep.save(path, "PNG"));
    const std::optional<Picture> read = ImageTools::readPicture(path);
    ASSERT_TRUE(read);
    const auto level = [](quint16 v) { return static_cast<int>(std::lround(v / 257.0)); };
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < deep.width(); ++x) {
            const QRgba64 v = deep.pixelColor(x, y).rgba64();
            ASSERT_EQ(read->image.pixel(x, y),
                      qRgb(level(v.red()), level(v.green()), level(v.blue())))
                << x;
        }
}

// A camera's photo: stored 64 wide and 32 high, to be turned a quarter clockwise, with the
// date, the camera, a thumbnail, an XMP packet and a Display P3 profile. Every export holds
// them (the profile byte for byte, the date and camera and the packet), upright, with its new
// size and no thumbnail; GIF and BMP, which hold no profile, get sRGB pixels instead.
TEST(PhotoMetadata, ExportsKeepTheProfileDateAndCameraUprightAndWithoutAThumbnail) {
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("camera.jpg"));
    ASSERT_TRUE(test::writeAll(source, test::qtJpeg(test::photoLike(64, 32), 95, false)));
    const QByteArray p3 = test::wideGamut(true);
    const auto bytes = [](const QByteArray& b) {
        return reinterpret_cast<const Exiv2::byte*>(b.constData());
    };
    {
        auto image = Exiv2::ImageFactory::open(source.toStdString());
        Exiv2::ExifData exif;
        exif["Exif.Image.Model"] = "Test Camera";
        exif["Exif.Photo.DateTimeOriginal"] = "2024:05:01 10:20:30";
        exif["Exif.Image.Orientation"] = static_cast<uint16_t>(6);
        const QByteArray thumbnail = test::qtJpeg(test::photoLike(16, 8), 80, false);
        Exiv2::ExifThumb(exif).setJpegThumbnail(bytes(thumbnail), thumbnail.size());
        image->setExifData(exif);
        // The packet's stored width, as the camera's tools wrote it, is corrected on export.
        image->setXmpPacket("<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://"
                            "www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
                            "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" dc:format=\"kept\" "
                            "xmlns:exif=\"http://ns.adobe.com/exif/1.0/\" "
                            "exif:PixelXDimension=\"64\"/></rdf:RDF></x:xmpmeta>");
        Exiv2::DataBuf profile(bytes(p3), p3.size());
        image->setIccProfile(profile);
        image->writeMetadata();
    }
    const std::optional<Picture> picture = ImageTools::readPicture(source);
    ASSERT_TRUE(picture && picture->metadata);
    ASSERT_EQ(picture->image.size(), QSize(32, 64));
    EXPECT_EQ(picture->metadata->iccProfile, p3);
    for (const char* extension : {"jpg", "png", "tif", "jp2", "heic"}) {
        SCOPED_TRACE(extension);
        const int code = ImageTools::formatCode(QLatin1String(extension));
        if (code >= 10 && !ImageTools::heicEncodingAvailable())
            continue;
        const QString out = dir.filePath(QStringLiteral("out.") + extension);
        ASSERT_TRUE(ImageTools::writeImage(*picture, out, code, 1.0));
        const std::optional<Picture> back = ImageTools::readPicture(out);
        ASSERT_TRUE(back && back->metadata);
        // The profile labels the pixels and never converts them: losslessly they are equal.
        EXPECT_LT(test::compare(back->image, picture->image).mean, code == 5 ? 1e-9 : 2.0);
        EXPECT_EQ(back->metadata->iccProfile, p3);
        Exiv2::ExifData exif;
        Exiv2::ExifParser::decode(exif, bytes(back->metadata->exif), back->metadata->exif.size());
        EXPECT_EQ(exif["Exif.Image.Model"].toString(), "Test Camera");
        EXPECT_EQ(exif["Exif.Photo.DateTimeOriginal"].toString(), "2024:05:01 10:20:30");
        EXPECT_EQ(exif["Exif.Image.Orientation"].toLong(), 1);
        EXPECT_EQ(exif["Exif.Photo.PixelXDimension"].toLong(), 32);
        EXPECT_EQ(Exiv2::ExifThumbC(exif).copy().size_, 0);
        EXPECT_TRUE(back->metadata->xmp.contains("kept"));
        EXPECT_TRUE(back->metadata->xmp.contains("exif:PixelXDimension=\"32\""));
    }
    const QString bmp = dir.filePath(QStringLiteral("out.bmp"));
    ASSERT_TRUE(ImageTools::writeImage(*picture, bmp, 9, 1.0));
    QImage expected = picture->image;
    ASSERT_TRUE(colour::convertToSrgb(expected, p3));
    EXPECT_EQ(ImageTools::readPicture(bmp)->image, expected);

    // A photo without any gives exports without any; a profile cut short is dropped on
    // intake, and the picture taken as sRGB.
    Picture bare(test::photoLike(40, 30));
    ASSERT_TRUE(ImageTools::writeImage(bare, dir.filePath(QStringLiteral("bare.jpg")), 0, 1.0));
    EXPECT_FALSE(ImageTools::readPicture(dir.filePath(QStringLiteral("bare.jpg")))->metadata);
    bare.metadata = std::make_shared<const PhotoMetadata>(PhotoMetadata{p3.left(300), {}, {}, {}});
    ASSERT_TRUE(ImageTools::writeImage(bare, dir.filePath(QStringLiteral("cut.png")), 5, 1.0));
    EXPECT_FALSE(ImageTools::readPicture(dir.filePath(QStringLiteral("cut.png")))->metadata);
}

} // namespace
} // namespace vividra
