#include "send/photo_preparation.h"

#include "platform/defaults.h"
#include "support/camera_metadata.h"
#include "support/manual_clock.h"
#include "support/picture_segments.h"
#include "support/temp_env.h"
#include "support/test_images.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtEndian>

#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>

using namespace vesker;
using namespace Qt::Literals::StringLiterals;

using test::metadataOf;
using test::withCameraMetadata;

namespace {

// Stored left half red, right half blue: turned upright by orientation 6, red is on top.
QImage halves(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < height; ++y)
        std::fill_n(reinterpret_cast<QRgb*>(image.scanLine(y)), width / 2, qRgb(255, 0, 0));
    return image;
}

QImage decoded(const QByteArray& data, QSize* stored = nullptr)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    if (stored)
        *stored = reader.size();
    reader.setAutoTransform(false);
    return reader.read();
}

void expectNoCameraMetadata(const QByteArray& data)
{
    const auto image = metadataOf(data);
    for (const auto& datum : image->exifData())
        EXPECT_EQ(datum.key(), "Exif.Image.Orientation");
    EXPECT_TRUE(image->xmpData().empty());
    EXPECT_TRUE(image->iptcData().empty());
}

} // namespace

TEST(PhotoPreparation, FitsEachSizeStripsAndTurnsUpright)
{
    const QByteArray big = withCameraMetadata(test::imageBytes(halves(4000, 3000), "JPEG", 95), 6);
    const QByteArray small
        = withCameraMetadata(test::imageBytes(halves(3000, 2000), "JPEG", 95), 6);
    struct Row {
        const char* name;
        const QByteArray& input;
        PhotoSize size;
        QSize stored; // as the output's pixels lie
        bool keepsOwnPixels;
    };
    const Row rows[] = {
        {"large", big, PhotoSize::large, {2400, 3200}, false},
        {"medium", big, PhotoSize::medium, {1536, 2048}, false},
        {"original", big, PhotoSize::original, {4000, 3000}, true},
        {"already fits", small, PhotoSize::large, {3000, 2000}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const PreparedPhoto out = preparePhoto(row.input, row.size);
        EXPECT_EQ(out.mimeType, u"image/jpeg");
        QSize stored;
        const QImage pixels = decoded(out.bytes, &stored);
        EXPECT_EQ(stored, row.stored);
        expectNoCameraMetadata(out.bytes);
        const auto metadata = metadataOf(out.bytes);
        const Exiv2::ExifData& exif = metadata->exifData();
        const bool tagged = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation")) != exif.end();
        EXPECT_EQ(tagged, row.keepsOwnPixels);
        if (row.keepsOwnPixels) {
            // The compressed image itself is passed on untouched, only its container rewritten.
            EXPECT_TRUE(row.input.endsWith(out.bytes.right(out.bytes.size() / 2)));
        } else {
            EXPECT_GT(QColor(pixels.pixel(stored.width() / 2, 10)).red(), 200);
            EXPECT_GT(QColor(pixels.pixel(stored.width() / 2, stored.height() - 10)).blue(), 200);
        }
    }
}

TEST(PhotoPreparation, HeicGoesAsUprightJpegWithoutWhereItWasTaken)
{
    // The camera's Exif block, GPS included, stored in the HEIC as phones do.
    Exiv2::Blob tiff;
    Exiv2::ExifParser::encode(tiff, Exiv2::littleEndian,
        metadataOf(withCameraMetadata(test::imageBytes(halves(64, 48), "JPEG"), 1))->exifData());
    QTemporaryDir dir;
    const QString path = dir.filePath(u"photo.heic"_s);
    if (!test::writeHeic(path, halves(640, 480), heif_orientation_rotate_90_cw,
            QByteArray(reinterpret_cast<const char*>(tiff.data()), qsizetype(tiff.size()))))
        GTEST_SKIP() << "no HEVC encoder";
    const QByteArray heic = test::fileBytes(path);
    ASSERT_TRUE(PhotoLocation::read(heic)) << "the test photo must carry a place";

    for (const PhotoSize size : {PhotoSize::large, PhotoSize::original}) {
        SCOPED_TRACE(toString(size).toStdString());
        const PreparedPhoto prepared = preparePhoto(heic, size);
        EXPECT_EQ(prepared.mimeType, u"image/jpeg");
        EXPECT_FALSE(PhotoLocation::read(prepared.bytes));
        const QImage pixels = decoded(prepared.bytes);
        ASSERT_EQ(pixels.size(), QSize(480, 640));
        EXPECT_GT(QColor(pixels.pixel(240, 10)).red(), 200);
    }
}

// A JPEG as some editors leave it: its Photoshop block is broken, so exiv2 reads the camera's
// data but will not write the file back.
QByteArray withBrokenPhotoshopBlock(const QByteArray& jpeg)
{
    const QByteArray payload = QByteArray("Photoshop 3.0\0", 14)
        + QByteArray::fromHex("3842494d04040000ffffffff"); // an IRB that claims 4 GB
    QByteArray segment = QByteArray::fromHex("ffed");
    segment.append(char((payload.size() + 2) >> 8)).append(char((payload.size() + 2) & 0xff));
    return jpeg.left(2) + segment + payload + jpeg.mid(2);
}

TEST(PhotoPreparation, AJpegExiv2CannotRewriteGoesReencodedWithoutItsCameraData)
{
    const QByteArray big = withBrokenPhotoshopBlock(
        withCameraMetadata(test::imageBytes(halves(4000, 3000), "JPEG", 95), 6));
    const QByteArray small = withBrokenPhotoshopBlock(
        withCameraMetadata(test::imageBytes(halves(600, 400), "JPEG", 95), 6));
    ASSERT_TRUE(PhotoLocation::read(small)) << "exiv2 must read the photo's place";
    ASSERT_EQ(stripMetadata(small), small) << "exiv2 must refuse to rewrite it";
    const struct {
        const char* name;
        const QByteArray& input;
        PhotoSize size;
        QSize upright;
    } rows[] = {
        {"already fits", small, PhotoSize::large, {400, 600}},
        {"original", small, PhotoSize::original, {400, 600}},
        {"reduced", big, PhotoSize::medium, {1536, 2048}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const PreparedPhoto out = preparePhoto(row.input, row.size);
        EXPECT_EQ(out.mimeType, u"image/jpeg");
        EXPECT_FALSE(PhotoLocation::read(out.bytes));
        EXPECT_FALSE(out.bytes.contains("Testmaker")) << "the camera's make left with it";
        expectNoCameraMetadata(out.bytes);
        QSize stored;
        const QImage pixels = decoded(out.bytes, &stored);
        ASSERT_EQ(stored, row.upright);
        EXPECT_GT(QColor(pixels.pixel(stored.width() / 2, 5)).red(), 200) << "turned upright";
    }
}

TEST(PhotoPreparation, WhatFollowsTheImageInAJpegStaysBehind)
{
    // Cameras and phones append more after the image's end: a second picture with its own
    // camera data (multi-picture files), a short video with where it was taken (motion photos).
    const QByteArray appended
        = withCameraMetadata(test::imageBytes(halves(64, 48), "JPEG"), 1) + "moov ... GPS";
    QByteArray progressive;
    {
        QBuffer buffer(&progressive);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setProgressiveScanWrite(true);
        ASSERT_TRUE(writer.write(halves(600, 400)));
    }
    const struct {
        const char* name;
        QByteArray photo;
    } rows[] = {
        {"baseline", withCameraMetadata(test::imageBytes(halves(600, 400), "JPEG", 95), 1)},
        // Tables between its scans: the image does not end at the first scan.
        {"progressive", withCameraMetadata(progressive, 1)},
    };
    for (const auto& row : rows) {
        for (const PhotoSize size : {PhotoSize::large, PhotoSize::original}) {
            SCOPED_TRACE(row.name + (u' ' + toString(size)).toStdString());
            const PreparedPhoto out = preparePhoto(row.photo + appended, size);
            EXPECT_FALSE(out.bytes.contains("Testmaker"));
            EXPECT_FALSE(out.bytes.contains("GPS"));
            EXPECT_EQ(out.bytes, preparePhoto(row.photo, size).bytes) << "the image is whole";
        }
    }
}

TEST(PhotoPreparation, WhatIsNoJpegKeepsItsTypeOrFallsBack)
{
    const QByteArray png = test::imageBytes(halves(40, 30), "PNG");
    EXPECT_EQ(preparePhoto(png, PhotoSize::original).mimeType, u"image/png");
    const QByteArray junk("not a picture at all");
    for (PhotoSize size : allPhotoSizes()) {
        const PreparedPhoto out = preparePhoto(junk, size);
        EXPECT_EQ(out.bytes, junk);
        EXPECT_EQ(out.mimeType, u"image/jpeg");
    }
}

TEST(PhotoPreparation, ReadsTheLocationWithItsReferences)
{
    const QImage tiny = halves(16, 16);
    struct Row {
        const char* latitudeRef;
        const char* longitudeRef;
        bool withLongitude;
        std::optional<std::pair<double, double>> expected;
    };
    const double lat = 52 + 30 / 60.0 + 36 / 3600.0;
    const double lon = 13.4;
    const Row rows[] = {
        {"N", "E", true, {{lat, lon}}},
        {"s", "W", true, {{-lat, -lon}}},
        {"", "", true, {{lat, lon}}},
        {"X", "Q", true, {{lat, lon}}},
        {"S", "W", false, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.latitudeRef) + row.longitudeRef);
        const auto location = PhotoLocation::read(withCameraMetadata(test::imageBytes(tiny, "JPEG"),
            1, row.latitudeRef, row.longitudeRef, row.withLongitude));
        ASSERT_EQ(location.has_value(), row.expected.has_value());
        if (location) {
            EXPECT_DOUBLE_EQ(location->latitude, row.expected->first);
            EXPECT_DOUBLE_EQ(location->longitude, row.expected->second);
        }
    }
    EXPECT_FALSE(PhotoLocation::read(test::imageBytes(tiny, "JPEG")));
}

TEST(PhotoPreparation, StoredSizeReadsOnlyExactValues)
{
    QTemporaryDir dir;
    const test::ManualClock clock;
    platform::Defaults defaults(dir.filePath(u"defaults.json"_s), clock);
    const QString key = QString::fromLatin1(kPhotoSendSizeKey);
    EXPECT_EQ(currentPhotoSize(defaults), PhotoSize::large);
    const std::pair<QJsonValue, PhotoSize> rows[] = {
        {u"medium"_s, PhotoSize::medium},
        {u"original"_s, PhotoSize::original},
        {u"Medium"_s, PhotoSize::large},
        {2, PhotoSize::large},
    };
    for (const auto& [stored, expected] : rows) {
        defaults.set(key, stored);
        EXPECT_EQ(currentPhotoSize(defaults), expected)
            << stored.toVariant().toString().toStdString();
    }
}

namespace {

// Each application segment of a sent JPEG is one that shows the picture, the one Exif block
// holds the orientation alone, the JFIF header no thumbnail, and no comment went along.
void expectJpegShowingOnly(const QByteArray& sent, const QByteArray& icc)
{
    QByteArray sentIcc;
    int exifBlocks = 0;
    for (const auto& [marker, head] : test::jpegSegments(sent)) {
        EXPECT_NE(marker, 0xFE) << "a comment";
        if (marker == 0xE1 && head.startsWith(QByteArrayLiteral("Exif\0\0")))
            ++exifBlocks;
        if (marker == 0xE0 && head.startsWith("JFIF")) {
            EXPECT_EQ(head.mid(12), QByteArray(2, '\0')) << "a thumbnail";
        }
        if (marker < 0xE0 || marker > 0xEF)
            continue;
        const bool allowed = (marker == 0xE0 && head.startsWith("JFIF"))
            || (marker == 0xE1 && head.startsWith(QByteArrayLiteral("Exif\0\0")))
            || (marker == 0xE2 && head.startsWith("ICC_PROFILE"))
            || (marker == 0xEE && head.startsWith("Adobe"));
        EXPECT_TRUE(allowed) << "APP" << (marker - 0xE0) << ' ' << head.left(34).toStdString();
        if (marker == 0xE2 && head.startsWith("ICC_PROFILE"))
            sentIcc = head;
    }
    EXPECT_LE(exifBlocks, 1);
    EXPECT_FALSE(sent.contains("xmp/extension"));
    EXPECT_FALSE(sent.contains("Ann Example"));
    expectNoCameraMetadata(sent);
    if (!icc.isEmpty())
        EXPECT_FALSE(sentIcc.isEmpty()) << "the colour profile stays";
}

} // namespace

TEST(PhotoPreparation, ASentJpegCarriesOnlyWhatShowsThePicture)
{
    const QByteArray camera
        = withCameraMetadata(test::imageBytes(halves(1600, 1200), "JPEG", 90), 6);
    const QByteArray icc = QColorSpace(QColorSpace::SRgb).iccProfile();
    const QByteArray photo = test::withEverythingAPhoneAdds(camera, icc);
    ASSERT_GT(photo.size(), camera.size() + 70000);
    ASSERT_EQ(decoded(photo).size(), QSize(1600, 1200)) << "a JPEG decoders read";

    for (const PhotoSize size : allPhotoSizes()) {
        SCOPED_TRACE(toString(size).toStdString());
        const PreparedPhoto sent = preparePhoto(photo, size);
        EXPECT_EQ(sent.mimeType, u"image/jpeg");
        expectJpegShowingOnly(sent.bytes, icc);
        EXPECT_LT(sent.bytes.size(), camera.size()) << "nothing of the 70 KB went along";
        const auto exif = metadataOf(sent.bytes)->exifData();
        const auto orientation = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
        ASSERT_NE(orientation, exif.end()) << "stripped in place, the orientation stays";
        EXPECT_EQ(orientation->toLong(), 6);
    }
}

TEST(PhotoPreparation, ASecondExifBlockAndAJfifThumbnailStayBehind)
{
    const QByteArray photo
        = test::withThumbnailAndSecondExif(test::imageBytes(halves(600, 400), "JPEG", 95));
    ASSERT_EQ(decoded(photo).size(), QSize(600, 400)) << "a JPEG decoders read";

    for (const PhotoSize size : allPhotoSizes()) {
        SCOPED_TRACE(toString(size).toStdString());
        const PreparedPhoto sent = preparePhoto(photo, size);
        EXPECT_EQ(sent.mimeType, u"image/jpeg");
        expectJpegShowingOnly(sent.bytes, {});
        EXPECT_EQ(decoded(sent.bytes).size(), QSize(600, 400));
        for (const char* told : {"Testmaker", "2024:05:06"})
            EXPECT_FALSE(sent.bytes.contains(told)) << told;
        EXPECT_FALSE(PhotoLocation::read(sent.bytes));
    }
}

TEST(PhotoPreparation, ASentPngCarriesNoChunkButThoseThatShowIt)
{
    QImage picture = halves(300, 200).convertToFormat(QImage::Format_ARGB32);
    picture.setPixelColor(0, 0, Qt::transparent);
    const QByteArray photo = test::withEverythingAnEditorAdds(
        test::imageBytes(picture.convertToFormat(QImage::Format_Indexed8), "PNG"));
    ASSERT_TRUE(test::pngChunks(photo).contains("tEXt"));
    ASSERT_EQ(decoded(photo).size(), QSize(300, 200));

    const PreparedPhoto original = preparePhoto(photo, PhotoSize::original);
    EXPECT_EQ(original.mimeType, u"image/png");
    EXPECT_EQ(test::pngChunks(original.bytes),
        (QByteArrayList {"IHDR", "gAMA", "PLTE", "tRNS", "IDAT", "IEND"}));
    EXPECT_FALSE(original.bytes.contains("Ann Example"));
    const QImage shown = decoded(original.bytes);
    EXPECT_EQ(shown.pixelColor(0, 0).alpha(), 0) << "its transparency stays";
    EXPECT_EQ(shown.pixel(299, 199), decoded(photo).pixel(299, 199));

    for (const PhotoSize size : {PhotoSize::large, PhotoSize::medium}) {
        SCOPED_TRACE(toString(size).toStdString());
        const PreparedPhoto sent = preparePhoto(photo, size);
        EXPECT_EQ(sent.mimeType, u"image/jpeg") << "re-encoded";
        expectJpegShowingOnly(sent.bytes, {});
    }
}

TEST(PhotoPreparation, ATiffOrWebpSentAtOriginalCarriesNothingButItsOrientation)
{
    const struct {
        const char* format;
        const char* sentAs; // a TIFF whose XMP exiv2 writes back goes re-encoded
    } rows[] = {{"tiff", "image/jpeg"}, {"webp", "image/webp"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.format);
        const QByteArray plain = test::imageBytes(halves(300, 200), row.format);
        EXPECT_EQ(preparePhoto(plain, PhotoSize::original).mimeType, imageMimeType(plain))
            << "nothing to remove: it keeps its format";
        auto image = metadataOf(plain);
        image->exifData()["Exif.Image.Orientation"] = uint16_t(6);
        image->exifData()["Exif.Image.Artist"] = std::string("Ann Example");
        image->exifData()["Exif.GPSInfo.GPSLatitude"] = std::string("52/1 30/1 36/1");
        image->xmpData()["Xmp.dc.description"] = std::string("Ann Example");
        image->writeMetadata();
        Exiv2::BasicIo& io = image->io();
        io.open();
        const Exiv2::DataBuf buffer = io.read(io.size());
        const QByteArray photo(reinterpret_cast<const char*>(buffer.pData_), buffer.size_);
        ASSERT_TRUE(photo.contains("Ann Example"));

        const PreparedPhoto sent = preparePhoto(photo, PhotoSize::original);
        EXPECT_EQ(sent.mimeType, QString::fromLatin1(row.sentAs));
        EXPECT_FALSE(sent.bytes.contains("Ann Example"));
        EXPECT_FALSE(PhotoLocation::read(sent.bytes));
        EXPECT_EQ(
            decoded(sent.bytes).size().width() * decoded(sent.bytes).size().height(), 300 * 200);
    }
}
