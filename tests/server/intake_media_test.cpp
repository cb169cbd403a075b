#include "server/server_controller.h"
#include "support/test_images.h"

#include <QBuffer>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>
#include <libheif/heif.h>

#include <cstring>
#include <memory>

using namespace vesker;
using namespace vesker::test;

namespace {

// Left half red, right half blue: which way it shows tells how it was turned.
QImage twoColours(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        std::fill(row, row + width / 2, qRgb(255, 0, 0));
    }
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
    QList<qsizetype> offsets;
    for (qsizetype i = 0; i < objects.size(); ++i) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects.at(i) + "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const qsizetype offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1)
        + " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

// A BMP header that claims `width` by `height` pixels and brings none of them.
QByteArray bmpHeader(qint32 width, qint32 height)
{
    QByteArray bmp(54, '\0');
    char* p = bmp.data();
    p[0] = 'B';
    p[1] = 'M';
    qToLittleEndian<quint32>(54 + quint32(width) * 3 * quint32(height), p + 2);
    qToLittleEndian<quint32>(54, p + 10);
    qToLittleEndian<quint32>(40, p + 14);
    qToLittleEndian<qint32>(width, p + 18);
    qToLittleEndian<qint32>(height, p + 22);
    qToLittleEndian<quint16>(1, p + 26);
    qToLittleEndian<quint16>(24, p + 28);
    return bmp;
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
    struct Row {
        std::optional<QString> header;
        std::optional<Coordinate> expected;
    };
    const QList<Row> rows {
        {std::nullopt, std::nullopt},
        {QStringLiteral("52.52,13.405"), Coordinate {52.52, 13.405}},
        {QStringLiteral("-90,180"), Coordinate {-90, 180}},
        {QStringLiteral("90,-180"), Coordinate {90, -180}},
        {QStringLiteral("91,10"), std::nullopt},
        {QStringLiteral("10,181"), std::nullopt},
        {QStringLiteral("1,2,3"), std::nullopt},
        {QStringLiteral("1, 2"), std::nullopt},
        {QStringLiteral(" 1,2"), std::nullopt},
        {QStringLiteral("1,2\n"), std::nullopt},
        {QStringLiteral("1"), std::nullopt},
        {QString(), std::nullopt},
        {QStringLiteral(","), std::nullopt},
        {QStringLiteral(",1,,2,"), Coordinate {1, 2}},
        {QStringLiteral("abc,2"), std::nullopt},
        {QStringLiteral("nan,2"), std::nullopt},
        {QStringLiteral("1,inf"), std::nullopt},
        {QStringLiteral("1e1,2.5e1"), Coordinate {10, 25}},
    };
    for (const Row& row : rows) {
        const auto got = ServerController::parseLocation(row.header);
        EXPECT_EQ(got, row.expected) << row.header.value_or(QStringLiteral("(none)")).toStdString();
    }
}

TEST(IntakeMedia, MimeTypeByExtension)
{
    const QList<std::pair<const char*, const char*>> rows {
        {"a.pdf", "application/pdf"},
        {"scan.PDF", "application/pdf"},
        {"x.png", "image/png"},
        {"x.GIF", "image/gif"},
        {"x.webp", "image/webp"},
        {"x.heic", "image/heic"},
        {"x.HEIF", "image/jpeg"},
        {"x.jpg", "image/jpeg"},
        {"x.txt", "image/jpeg"},
        {"pdf", "image/jpeg"},
        {"archive.pdf.png", "image/png"},
    };
    for (const auto& [name, type] : rows)
        EXPECT_EQ(ServerController::mimeType(QString::fromLatin1(name)), QLatin1String(type))
            << name;
}

TEST(IntakeMedia, PhotoThumbnailIsTurnedUprightAndFitsTheSize)
{
    QTemporaryDir dir;
    // Stored lying down, 400 by 200, with "turn 90 degrees clockwise to show" in its EXIF.
    const QString photo = dir.filePath(QStringLiteral("photo.jpg"));
    ASSERT_TRUE(writeFile(photo, jpegWithOrientation(twoColours(400, 200), 6)));

    const QImage thumbnail = shown(ServerController::thumbnailData(photo, 240));
    ASSERT_FALSE(thumbnail.isNull());
    EXPECT_EQ(thumbnail.size(), QSize(120, 240));
    // The stored left half is on top once turned.
    EXPECT_TRUE(near(thumbnail.pixel(60, 20), Qt::red));
    EXPECT_TRUE(near(thumbnail.pixel(60, 220), Qt::blue));
}

TEST(IntakeMedia, SmallAndTransparentPhotosStayAsTheyAre)
{
    QTemporaryDir dir;
    QImage image(100, 50, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    const QString path = dir.filePath(QStringLiteral("small.png"));
    ASSERT_TRUE(image.save(path));

    const QImage thumbnail = shown(ServerController::thumbnailData(path, 240));
    ASSERT_FALSE(thumbnail.isNull());
    EXPECT_EQ(thumbnail.size(), QSize(100, 50)) << "a photo is not enlarged";
    EXPECT_TRUE(near(thumbnail.pixel(50, 25), Qt::white)) << "transparency shows on white";
}

TEST(IntakeMedia, HeicThumbnail)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("photo.heic"));
    if (!writeHeic(path, twoColours(480, 240)))
        GTEST_SKIP() << "this libheif has no HEVC encoder to make a test file with";
    const QImage thumbnail = shown(ServerController::thumbnailData(path, 240));
    ASSERT_FALSE(thumbnail.isNull());
    EXPECT_EQ(thumbnail.size(), QSize(240, 120));
    EXPECT_TRUE(near(thumbnail.pixel(20, 60), Qt::red));
    EXPECT_TRUE(near(thumbnail.pixel(220, 60), Qt::blue));
}

TEST(IntakeMedia, PdfThumbnailEnlargesASmallPageOnWhite)
{
    QTemporaryDir dir;
    // 100 by 50 points, the left half painted black.
    const QByteArray pdf = onePagePdf(100, 50, "0 0 0 rg 0 0 50 50 re f");
    const QString path = dir.filePath(QStringLiteral("page.pdf"));
    const QString upper = dir.filePath(QStringLiteral("PAGE.PDF"));
    ASSERT_TRUE(writeFile(path, pdf));
    ASSERT_TRUE(writeFile(upper, pdf));

    for (const std::optional<QByteArray>& data :
        {ServerController::pdfThumbnailData(path, 240), ServerController::thumbnailData(path, 240),
            ServerController::thumbnailData(upper, 240)}) {
        const QImage thumbnail = shown(data);
        ASSERT_FALSE(thumbnail.isNull());
        EXPECT_EQ(thumbnail.size(), QSize(240, 120));
        EXPECT_TRUE(near(thumbnail.pixel(60, 60), Qt::black));
        EXPECT_TRUE(near(thumbnail.pixel(180, 60), Qt::white));
    }

    // A page shown turned a quarter: the black half ends up on top.
    const QString turned = dir.filePath(QStringLiteral("turned.pdf"));
    ASSERT_TRUE(writeFile(turned, onePagePdf(100, 50, "0 0 0 rg 0 0 50 50 re f", "/Rotate 90 ")));
    const QImage upright = shown(ServerController::pdfThumbnailData(turned, 240));
    EXPECT_EQ(upright.size(), QSize(120, 240));
    EXPECT_TRUE(near(upright.pixel(60, 60), Qt::black));
    EXPECT_TRUE(near(upright.pixel(60, 180), Qt::white));

    // A long, thin page keeps at least one pixel across.
    const QString strip = dir.filePath(QStringLiteral("strip.pdf"));
    ASSERT_TRUE(writeFile(strip, onePagePdf(14400, 3, "")));
    EXPECT_EQ(shown(ServerController::pdfThumbnailData(strip, 240)).size(), QSize(240, 1));
}

TEST(IntakeMedia, WhatCannotBeReadGivesNoThumbnail)
{
    QTemporaryDir dir;
    const auto file = [&](const char* name, const QByteArray& data) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(writeFile(path, data));
        return path;
    };
    const QByteArray pdf = onePagePdf(100, 50, "");
    QByteArray jpeg = jpegWithOrientation(twoColours(64, 64), 1);

    struct Row {
        const char* name;
        QString path;
        int size;
    };
    const QList<Row> rows {
        {"missing file", dir.filePath(QStringLiteral("missing.jpg")), 240},
        {"empty file", file("empty.jpg", {}), 240},
        {"not an image", file("noise.jpg", QByteArray(4096, '\x5a')), 240},
        {"JPEG cut after its header", file("cut.jpg", jpeg.left(40)), 240},
        {"header of a 400-megapixel image", file("huge.bmp", bmpHeader(20000, 20000)), 240},
        {"HEIC that is not one",
            file("fake.heic",
                QByteArray("\0\0\0\x18"
                           "ftypheic",
                    12)
                    + QByteArray(64, 'x')),
            240},
        {"not a PDF", file("noise.pdf", QByteArray(4096, '\x5a')), 240},
        {"PDF cut short", file("cut.pdf", pdf.left(60)), 240},
        {"page with no size", file("flat.pdf", onePagePdf(100, 0, "")), 240},
        {"PDF asked for an absurd size", file("page.pdf", pdf), 100000},
        {"photo asked for no size", file("photo.jpg", jpeg), 0},
        {"PDF asked for no size", file("page2.pdf", pdf), 0},
    };
    for (const Row& row : rows)
        EXPECT_FALSE(ServerController::thumbnailData(row.path, row.size)) << row.name;
}
