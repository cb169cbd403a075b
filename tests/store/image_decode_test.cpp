#include "platform/image_decode.h"
#include "store/recognizer.h"

#include "support/test_images.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vesker;
using namespace vesker::test;
using platform::DecodeError;

TEST(ImageDecode, RefusesMorePixelsThanAllowedBeforeDecoding)
{
    QTemporaryDir dir;
    const QImage small = whitePage(200, 100);
    const QString jpeg = dir.filePath(QStringLiteral("small.jpg"));
    ASSERT_TRUE(small.save(jpeg));
    // A frame header claiming 60000 by 60000: 3.6 gigapixels that must never be allocated.
    QByteArray bomb = imageBytes(small, "JPEG");
    const qsizetype frame = bomb.indexOf("\xff\xc0");
    ASSERT_GT(frame, 0);
    bomb.replace(frame + 5, 4, "\xea\x60\xea\x60");
    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("bomb.jpg")), bomb));
    QString heic = dir.filePath(QStringLiteral("small.heic"));
    if (!writeHeic(heic, small))
        heic.clear(); // this libheif has no HEVC encoder

    const struct {
        const char* name;
        QString path;
        qint64 maxPixels;
        bool fits;
    } cases[] = {
        {"forged JPEG header", dir.filePath(QStringLiteral("bomb.jpg")),
            platform::kMaxDecodedPixels, false},
        {"JPEG at the budget", jpeg, 20'000, true},
        {"HEIC at the budget", heic, 20'000, true},
        // Within libheif's side limit, refused from the header; past it, by libheif itself.
        {"HEIC over the budget", heic, 19'999, false},
        {"HEIC over libheif's limit", heic, 150, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.path.isEmpty())
            continue;
        DecodeError error {};
        const QImage image = platform::decodeImage(c.path, c.maxPixels, &error);
        EXPECT_EQ(image.size(), c.fits ? small.size() : QSize(0, 0));
        if (!c.fits) {
            EXPECT_EQ(error, DecodeError::tooLarge);
        }
    }
}

TEST(ImageDecode, SaysWhyAFileCannotBeDecodedAndNothingIsRecognisedInIt)
{
    QTemporaryDir dir;
    const QByteArray png = imageBytes(textPage({QStringLiteral("Delivery note 4711")}), "PNG");
    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("cut.png")), png.left(png.size() / 3)));
    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("note.jpg")), "Delivery note 4711\n"));
    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("empty.png")), {}));
    // The start of a HEIF file and nothing after it.
    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("cut.heic")),
        QByteArray("\0\0\0\x18"
                   "ftypheic\0\0\0\0mif1heic",
            24)));

    const struct {
        const char* file;
        DecodeError error;
    } cases[] = {
        {"missing.jpg", DecodeError::unreadable},
        {"", DecodeError::unreadable}, // the folder itself
        {"note.jpg", DecodeError::unsupported},
        {"empty.png", DecodeError::unsupported},
        {"cut.png", DecodeError::corrupt},
        {"cut.heic", DecodeError::corrupt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const QString path = dir.filePath(QString::fromLatin1(c.file));
        DecodeError error {};
        EXPECT_TRUE(platform::decodeImage(path, platform::kMaxDecodedPixels, &error).isNull());
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(Recognizer::recognizeNow(path), Recognizer::Result {});
    }
}
