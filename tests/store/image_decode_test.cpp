#include "platform/image_decode.h"

#include "support/test_images.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vesker;
using namespace vesker::test;

namespace {

// A 60 by 30 picture, white with a red block in its top-left corner.
QImage markedImage()
{
    QImage image = whitePage(60, 30);
    QPainter(&image).fillRect(0, 0, 12, 12, Qt::red);
    return image;
}

bool isRed(QRgb pixel)
{
    return qRed(pixel) > 200 && qGreen(pixel) < 80 && qBlue(pixel) < 80;
}

} // namespace

TEST(ImageDecode, TurnsAJpegAsItsOrientationTagSays)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("portrait.jpg"));
    // 6: the stored picture is to be turned a quarter clockwise to be seen upright.
    ASSERT_TRUE(writeFile(path, jpegWithOrientation(markedImage(), 6)));

    platform::DecodeError error {};
    const QImage image = platform::decodeImage(path, platform::kMaxDecodedPixels, &error);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(30, 60));
    // The top-left corner went to the top right.
    EXPECT_TRUE(isRed(image.pixel(image.width() - 3, 3)));
    EXPECT_FALSE(isRed(image.pixel(3, 3)));
}

TEST(ImageDecode, DecodesHeicWithItsRotation)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("photo.heic"));
    if (!writeHeic(path, markedImage().scaled(128, 64), heif_orientation_rotate_90_cw))
        GTEST_SKIP() << "this libheif has no HEVC encoder";

    const QImage image = platform::decodeImage(path);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(64, 128));
    EXPECT_TRUE(isRed(image.pixel(image.width() - 6, 6)));
}

TEST(ImageDecode, RefusesMorePixelsThanAllowedBeforeDecoding)
{
    QTemporaryDir dir;
    const QString jpeg = dir.filePath(QStringLiteral("small.jpg"));
    ASSERT_TRUE(markedImage().scaled(200, 100).save(jpeg));
    // The same file with a frame header claiming 60000 by 60000 pixels: 3.6 gigapixels that
    // must never be allocated.
    QFile file(jpeg);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray forged = file.readAll();
    const qsizetype frame = forged.indexOf(QByteArray("\xff\xc0", 2));
    ASSERT_GT(frame, 0);
    forged[frame + 5] = char(0xea); // height 0xea60
    forged[frame + 6] = char(0x60);
    forged[frame + 7] = char(0xea); // width 0xea60
    forged[frame + 8] = char(0x60);
    const QString bomb = dir.filePath(QStringLiteral("bomb.jpg"));
    ASSERT_TRUE(writeFile(bomb, forged));

    const QString heic = dir.filePath(QStringLiteral("small.heic"));
    const bool haveHeic = writeHeic(heic, markedImage().scaled(200, 100));

    struct Case {
        const char* name;
        QString path;
        qint64 maxPixels;
    };
    QList<Case> cases {
        {"forged JPEG header", bomb, platform::kMaxDecodedPixels},
        {"JPEG over a small budget", jpeg, 19'999},
    };
    if (haveHeic) {
        // Over the budget but within libheif's side limit: refused from the header.
        cases.append({"HEIC over a small budget", heic, 19'999});
        // A side longer than the budget: libheif itself refuses while parsing.
        cases.append({"HEIC over libheif's limit", heic, 150});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::DecodeError error {};
        EXPECT_TRUE(platform::decodeImage(c.path, c.maxPixels, &error).isNull());
        EXPECT_EQ(error, platform::DecodeError::tooLarge);
    }
    // At the budget exactly, the picture is decoded.
    EXPECT_EQ(platform::decodeImage(jpeg, 20'000).size(), QSize(200, 100));
    if (haveHeic) {
        EXPECT_EQ(platform::decodeImage(heic, 20'000).size(), QSize(200, 100));
    }
}

TEST(ImageDecode, SaysWhyAFileCannotBeDecoded)
{
    QTemporaryDir dir;
    QByteArray truncated;
    {
        QBuffer buffer(&truncated);
        buffer.open(QIODevice::WriteOnly);
        markedImage().save(&buffer, "JPEG");
    }
    truncated.truncate(40);
    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("cut.jpg")), truncated));
    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("note.jpg")), "not a picture at all\n"));
    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("empty.png")), {}));
    // The start of a HEIF file and nothing after it.
    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("cut.heic")),
        QByteArray("\0\0\0\x18"
                   "ftypheic\0\0\0\0mif1heic",
            24)));

    const struct {
        const char* file;
        platform::DecodeError error;
    } cases[] = {
        {"missing.jpg", platform::DecodeError::unreadable},
        {"note.jpg", platform::DecodeError::unsupported},
        {"empty.png", platform::DecodeError::unsupported},
        {"cut.jpg", platform::DecodeError::corrupt},
        {"cut.heic", platform::DecodeError::corrupt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        platform::DecodeError error {};
        EXPECT_TRUE(platform::decodeImage(
            dir.filePath(QString::fromLatin1(c.file)), platform::kMaxDecodedPixels, &error)
                        .isNull());
        EXPECT_EQ(error, c.error);
    }
}
