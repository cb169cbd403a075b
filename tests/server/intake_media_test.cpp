#include "platform/image_decode.h"
#include "platform/media.h"
#include "server/upload_handler.h"
#include "support/test_images.h"

#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cmath>

using namespace vesker;
using namespace vesker::test;

namespace {

// Left half red, right half blue: which way it shows tells how it was turned.
QImage twoColours(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QPainter(&image).fillRect(0, 0, width / 2, height, Qt::red);
    return image;
}

// A one-page PDF of `width` by `height` points whose page draws `content`, written out with
// a correct cross-reference table. `pageEntries` go into the page's dictionary.
QByteArray onePagePdf(
    double width, double height, const QByteArray& content, const QByteArray& pageEntries = {})
{
    const QList<QByteArray> objects {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + QByteArray::number(width) + ' '
            + QByteArray::number(height) + "] /Contents 4 0 R /Resources << >> " + pageEntries
            + ">>",
        "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content
            + "\nendstream",
    };
    QByteArray pdf = "%PDF-1.4\n";
    QByteArray xref = "xref\n0 5\n0000000000 65535 f \n";
    for (qsizetype i = 0; i < objects.size(); ++i) {
        xref += QByteArray::number(pdf.size()).rightJustified(10, '0') + " 00000 n \n";
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects.at(i) + "\nendobj\n";
    }
    return pdf + xref + "trailer\n<< /Size 5 /Root 1 0 R >>\nstartxref\n"
        + QByteArray::number(pdf.size()) + "\n%%EOF\n";
}

// The thumbnail as a browser would show it: a JPEG, decoded.
QImage shown(const std::optional<QByteArray>& thumbnail)
{
    if (!thumbnail || !thumbnail->startsWith("\xff\xd8"))
        return {};
    return QImage::fromData(*thumbnail, "JPEG");
}

bool near(QRgb pixel, QColor expected)
{
    return std::abs(qRed(pixel) - expected.red()) < 40
        && std::abs(qGreen(pixel) - expected.green()) < 40
        && std::abs(qBlue(pixel) - expected.blue()) < 40;
}

} // namespace

TEST(IntakeMedia, LocationHeader)
{
    const QList<std::pair<std::optional<QString>, std::optional<Coordinate>>> rows {
        {std::nullopt, std::nullopt},
        {QStringLiteral("-90,180"), Coordinate {-90, 180}},
        {QStringLiteral("91,10"), std::nullopt},
        {QStringLiteral("10,181"), std::nullopt},
        {QStringLiteral("1,2,3"), std::nullopt},
        {QStringLiteral("1"), std::nullopt},
        {QStringLiteral("1, 2"), std::nullopt},
        {QStringLiteral("abc,2"), std::nullopt},
        {QStringLiteral(",1,,2,"), Coordinate {1, 2}},
    };
    for (const auto& [header, expected] : rows)
        EXPECT_EQ(UploadHandler::parseLocation(header), expected)
            << header.value_or(QStringLiteral("(none)")).toStdString();
}

TEST(IntakeMedia, MimeTypeByExtension)
{
    const QList<std::pair<const char*, const char*>> rows {
        {"scan.PDF", "application/pdf"},
        {"x.HEIF", "image/jpeg"},
        {"x.heic", "image/heic"},
        {"a.webp", "image/webp"},
        {"a.GIF", "image/gif"},
        {"notes.txt", "image/jpeg"},
        {"archive.pdf.png", "image/png"},
        {"pdf", "image/jpeg"},
    };
    for (const auto& [name, type] : rows)
        EXPECT_EQ(platform::mimeType(QString::fromLatin1(name)), QLatin1String(type)) << name;
}

TEST(IntakeMedia, PhotoThumbnailsAreTurnedUprightNeverEnlargedAndOnWhite)
{
    QTemporaryDir dir;
    // Stored lying down, 400 by 200, with "turn 90 degrees clockwise to show" in its EXIF.
    const QString photo = dir.filePath(QStringLiteral("photo.jpg"));
    ASSERT_TRUE(writeFile(photo, jpegWithOrientation(twoColours(400, 200), 6)));
    QImage thumbnail = shown(platform::thumbnailData(photo, 240));
    EXPECT_EQ(thumbnail.size(), QSize(120, 240));
    EXPECT_TRUE(near(thumbnail.pixel(60, 20), Qt::red)) << "the stored left half is on top";
    EXPECT_TRUE(near(thumbnail.pixel(60, 220), Qt::blue));

    QImage clear(100, 50, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    const QString small = dir.filePath(QStringLiteral("small.png"));
    ASSERT_TRUE(clear.save(small));
    thumbnail = shown(platform::thumbnailData(small, 240));
    EXPECT_EQ(thumbnail.size(), QSize(100, 50)) << "a photo is not enlarged";
    EXPECT_TRUE(near(thumbnail.pixel(50, 25), Qt::white)) << "transparency shows on white";
}

TEST(IntakeMedia, HeicThumbnail)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("photo.heic"));
    if (!writeHeic(path, twoColours(480, 240)))
        GTEST_SKIP() << "this libheif has no HEVC encoder to make a test file with";
    const QImage thumbnail = shown(platform::thumbnailData(path, 240));
    EXPECT_EQ(thumbnail.size(), QSize(240, 120));
    EXPECT_TRUE(near(thumbnail.pixel(20, 60), Qt::red));
    EXPECT_TRUE(near(thumbnail.pixel(220, 60), Qt::blue));
}

TEST(IntakeMedia, PdfThumbnailEnlargesASmallPageOnWhite)
{
    QTemporaryDir dir;
    struct Row {
        const char* name;
        const char* pageEntries;
        QSize size;
        QPoint black;
        QPoint white;
    };
    const QList<Row> rows {
        {"page.pdf", "", {240, 120}, {60, 60}, {180, 60}},
        {"PAGE.PDF", "", {240, 120}, {60, 60}, {180, 60}},
        // Shown turned a quarter: the black half ends up on top.
        {"turned.pdf", "/Rotate 90 ", {120, 240}, {60, 60}, {60, 180}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const QString path = dir.filePath(QString::fromLatin1(row.name));
        // 100 by 50 points, the left half painted black.
        ASSERT_TRUE(
            writeFile(path, onePagePdf(100, 50, "0 0 0 rg 0 0 50 50 re f", row.pageEntries)));
        const QImage thumbnail = shown(platform::thumbnailData(path, 240));
        EXPECT_EQ(thumbnail.size(), row.size);
        EXPECT_TRUE(near(thumbnail.pixel(row.black), Qt::black));
        EXPECT_TRUE(near(thumbnail.pixel(row.white), Qt::white));
    }

    // A long, thin page keeps at least one pixel across.
    const QString strip = dir.filePath(QStringLiteral("strip.pdf"));
    ASSERT_TRUE(writeFile(strip, onePagePdf(14400, 3, "")));
    EXPECT_EQ(shown(platform::thumbnailData(strip, 240)).size(), QSize(240, 1));
}

TEST(IntakeMedia, WhatCannotBeReadGivesNoThumbnail)
{
    QTemporaryDir dir;
    const QByteArray jpeg = jpegWithOrientation(twoColours(64, 64), 1);
    // The same photo claiming 20000 by 20000 pixels in its frame header.
    QByteArray huge = jpeg;
    const qsizetype frame = huge.indexOf("\xff\xc0");
    ASSERT_GT(frame, 0);
    qToBigEndian<quint16>(20000, huge.data() + frame + 5);
    qToBigEndian<quint16>(20000, huge.data() + frame + 7);
    struct Row {
        const char* name;
        std::optional<QByteArray> data; // none: no such file
        int size;
    };
    const QList<Row> rows {
        {"missing.jpg", std::nullopt, 240},
        {"noise.jpg", QByteArray(4096, '\x5a'), 240},
        {"cut.jpg", jpeg.left(40), 240},
        {"huge.jpg", huge, 240},
        {"fake.heic", QByteArray(3, '\0') + "\x18" + "ftypheic" + QByteArray(64, 'x'), 240},
        {"noise.pdf", QByteArray(4096, '\x5a'), 240},
        {"flat.pdf", onePagePdf(100, 0, ""), 240},
        // Square, so that this side gives just more pixels than the decoders' budget.
        {"square.pdf", onePagePdf(100, 100, ""), int(std::sqrt(platform::kMaxDecodedPixels)) + 1},
        {"photo.jpg", jpeg, 0},
        {"page.pdf", onePagePdf(100, 50, ""), 0},
    };
    for (const Row& row : rows) {
        const QString path = dir.filePath(QString::fromLatin1(row.name));
        ASSERT_TRUE(!row.data || writeFile(path, *row.data));
        EXPECT_FALSE(platform::thumbnailData(path, row.size)) << row.name;
    }
}
