#include "platform/decode_budget.h"
#include "platform/image_decode.h"
#include "platform/media.h"
#include "store/recognizer.h"

#include "support/picture_formats.h"
#include "support/test_images.h"

#include <QPainter>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtConcurrent>

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

TEST(ImageDecode, ACmykTiffOfSixteenBitsIsDecodedThumbnailedAndRead)
{
    QImage page = whitePage(900, 700);
    drawLines(page, {QStringLiteral("Invoice 2291")});
    {
        QPainter painter(&page);
        painter.drawImage(QPoint(40, 200),
            barcodeImage(ZXing::BarcodeFormat::QRCode, "https://example.org/cmyk", 420, 420));
    }
    QPoint ink;
    for (int x = 40; x < 460 && ink.isNull(); ++x) {
        if (qGray(page.pixel(x, 400)) == 0)
            ink = QPoint(x, 400);
    }
    ASSERT_FALSE(ink.isNull());
    QTemporaryDir dir;
    const struct {
        const char* name;
        QByteArray bytes;
    } rows[] = {
        {"cmyk16.tiff", tiffBytes(page, TiffModel::cmyk, 16)},
        {"cmyk8.tiff", tiffBytes(page, TiffModel::cmyk, 8)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString path = dir.filePath(QString::fromLatin1(row.name));
        ASSERT_TRUE(writeFile(path, row.bytes));
        const QImage image = platform::decodeImage(path);
        ASSERT_EQ(image.size(), page.size());
        EXPECT_EQ(image.pixelColor(450, 20), QColor(Qt::white));
        for (const QPoint at : {QPoint(0, 0), ink, QPoint(899, 699)})
            EXPECT_EQ(image.pixelColor(at), page.pixelColor(at)) << at.x() << ',' << at.y();
        EXPECT_EQ(platform::thumbnailImage(path, 240).size(), QSize(240, 186));
        const Recognizer::Result read = Recognizer::recognizeNow(path);
        EXPECT_EQ(read.barcodes, QStringList {QStringLiteral("QR https://example.org/cmyk")});
        EXPECT_TRUE(read.text.contains(QStringLiteral("Invoice 2291"))) << read.text.toStdString();
    }
}

TEST(ImageDecode, EveryCmykTiffShowsItsInksAndKeepsItsTransparency)
{
    for (const PictureSample& sample : everyPictureForm()) {
        const QByteArray name(sample.name);
        if (!name.contains("CMYK TIFF"))
            continue;
        SCOPED_TRACE(sample.name);
        const QImage image = platform::decodeImageData(sample.bytes);
        ASSERT_EQ(image.size(), sample.size);
        const int w = image.width(), h = image.height();
        EXPECT_EQ(image.pixelColor(w / 2, 2), QColor(Qt::white));
        EXPECT_EQ(image.pixelColor(w / 3, h / 2), QColor(Qt::red));
        EXPECT_EQ(image.pixelColor(w * 3 / 4, h / 2), QColor(Qt::blue));
        // The first quarter is clear where the picture has alpha, and red where it has none.
        const QColor clear = image.pixelColor(w / 8, h / 2);
        if (name.contains("alpha"))
            EXPECT_EQ(clear.alpha(), 0);
        else
            EXPECT_EQ(clear, QColor(Qt::red));
    }
}

TEST(ImageDecode, LibtiffSpeaksThroughTheLogUnderThePicturesName)
{
    // Inks of a set other than CMYK: no reader here shows them, and libtiff says why.
    QByteArray tiff = tiffBytes(markedPicture(40, 30), TiffModel::cmyk, 8);
    const qsizetype inkSet = tiff.lastIndexOf(QByteArray("\x4c\x01\x03\x00\x01\x00\x00\x00", 8));
    ASSERT_GT(inkSet, 0);
    tiff[inkSet + 8] = 2;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("odd-inks.tiff"));
    ASSERT_TRUE(writeFile(path, tiff));

    static QStringList lines;
    lines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& line) { lines.append(line); });
    const QImage image = platform::decodeImage(path);
    qInstallMessageHandler(previous);

    EXPECT_TRUE(image.isNull());
    EXPECT_FALSE(lines.filter(QStringLiteral("[tiff] odd-inks.tiff: ")).isEmpty())
        << lines.join(u'\n').toStdString();
    EXPECT_TRUE(lines.filter(QStringLiteral("foo")).isEmpty()) << lines.join(u'\n').toStdString();
}

TEST(ImageDecode, PicturesDecodedAtOnceShareOneBudgetAndALargerOneWaitsItsTurn)
{
    // 16 bits a channel: read as 8 bytes a pixel.
    QTemporaryDir dir;
    const auto picture = [&dir](const char* name, int width, int height) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        const QImage deep = markedPicture(width, height).convertToFormat(QImage::Format_RGBX64);
        return writeFile(path, encoded(deep, "png")) ? path : QString();
    };
    const QString large = picture("large.png", 2500, 2000);
    QStringList paths {large};
    for (const char* name : {"a.png", "b.png", "c.png", "d.png", "e.png"})
        paths.append(picture(name, 1500, 1000));
    ASSERT_FALSE(paths.contains(QString()));

    platform::DecodeBudget& budget = platform::decodeBudget();
    const qint64 capacity = budget.capacity();
    QThreadPool pool;
    pool.setMaxThreadCount(int(paths.size()));
    const auto decodeAll = [&](const QStringList& which) {
        budget.resetPeak();
        QList<QFuture<QSize>> sizes;
        for (const QString& path : which) {
            sizes.append(
                QtConcurrent::run(&pool, [path] { return platform::decodeImage(path).size(); }));
        }
        // Asked for one by one, a result not yet started would be decoded on this thread, where
        // the budget never waits.
        pool.waitForDone();
        QList<QSize> out;
        for (QFuture<QSize>& size : sizes)
            out.append(size.result());
        return out;
    };
    decodeAll({large});
    const qint64 largeAlone = budget.peak();
    decodeAll({paths.at(1)});
    const qint64 smallAlone = budget.peak();
    ASSERT_GT(largeAlone, 2 * smallAlone);

    // Room for two of the small ones at a time; the large one is more than the whole budget.
    budget.setCapacity(2 * smallAlone + smallAlone / 2);
    const QList<QSize> sizes = decodeAll(paths);
    budget.setCapacity(capacity);

    EXPECT_EQ(sizes.first(), QSize(2500, 2000));
    EXPECT_EQ(sizes.count(QSize(1500, 1000)), 5);
    EXPECT_LE(budget.peak(), largeAlone) << "the large one decoded beside another";
    EXPECT_EQ(budget.held(), 0);
}
