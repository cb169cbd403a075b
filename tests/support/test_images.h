#pragma once

// Images the recognition tests draw for themselves: barcodes from ZXing's writer, lines of
// text in a Debian font, JPEGs with an orientation tag and HEIC files from libheif.

#include <QBuffer>
#include <QFile>
#include <QFontDatabase>
#include <QImage>
#include <QPainter>
#include <QStringList>

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>
#include <libheif/heif.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <string>

// GoogleTest shows a QString (and so a QStringList) as its text rather than its bytes.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace vesker::test {

// A code as ZXing's writer draws it into about `width` by `height` pixels, with a quiet zone.
inline QImage barcodeImage(
    ZXing::BarcodeFormat format, const std::string& payload, int width, int height)
{
    const ZXing::BitMatrix bits
        = ZXing::MultiFormatWriter(format).setMargin(20).encode(payload, width, height);
    QImage image(bits.width(), bits.height(), QImage::Format_Grayscale8);
    for (int y = 0; y < bits.height(); ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < bits.width(); ++x)
            row[x] = bits.get(x, y) ? 0 : 255;
    }
    return image;
}

inline QImage whitePage(int width, int height)
{
    QImage page(width, height, QImage::Format_RGB32);
    page.fill(Qt::white);
    return page;
}

// Printed lines in DejaVu Sans, `pixelSize` high, one below the other from `top`.
inline void drawLines(QImage& page, const QStringList& lines, int top = 60, int pixelSize = 36)
{
    static const int fontId = QFontDatabase::addApplicationFont(
        QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"));
    QFont font(fontId >= 0 ? QFontDatabase::applicationFontFamilies(fontId).value(0)
                           : QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    QPainter painter(&page);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font);
    painter.setPen(Qt::black);
    int y = top + pixelSize;
    for (const QString& line : lines) {
        painter.drawText(40, y, line);
        y += pixelSize * 2;
    }
}

inline QImage textPage(const QStringList& lines)
{
    QImage page = whitePage(1100, 120 + int(lines.size()) * 72);
    drawLines(page, lines);
    return page;
}

// A JPEG whose EXIF block says how to turn the stored pixels to show them (1 to 8, as in the
// TIFF Orientation tag), written by hand: an APP1 segment right after the start of the image.
inline QByteArray jpegWithOrientation(const QImage& image, int orientation)
{
    QByteArray jpeg;
    {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPEG", 95);
    }
    QByteArray exif("Exif\0\0", 6);
    exif += QByteArray("MM\0\x2a\0\0\0\x08", 8); // big-endian TIFF, first directory at 8
    exif += QByteArray("\0\x01", 2); // one entry
    exif += QByteArray("\x01\x12\0\x03\0\0\0\x01", 8); // Orientation, SHORT, one value
    exif += char(0);
    exif += char(orientation);
    exif += QByteArray("\0\0", 2); // padding of the value field
    exif += QByteArray("\0\0\0\0", 4); // no next directory
    QByteArray segment("\xff\xe1", 2);
    const int length = int(exif.size()) + 2;
    segment += char(length >> 8);
    segment += char(length & 0xff);
    segment += exif;
    return jpeg.left(2) + segment + jpeg.mid(2);
}

// Writes `image` as HEIC with libheif's HEVC encoder, optionally asking for an orientation
// (stored as rotation boxes). False when this libheif has no HEVC encoder.
inline bool writeHeic(const QString& path, const QImage& source,
    heif_orientation orientation = heif_orientation_normal)
{
    const QImage rgb = source.convertToFormat(QImage::Format_RGB888);
    std::unique_ptr<heif_context, void (*)(heif_context*)> context(
        heif_context_alloc(), heif_context_free);
    heif_encoder* encoder = nullptr;
    if (heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, &encoder).code
        != heif_error_Ok)
        return false;
    std::unique_ptr<heif_encoder, void (*)(heif_encoder*)> encoderOwner(
        encoder, heif_encoder_release);
    heif_encoder_set_lossy_quality(encoder, 95);

    heif_image* image = nullptr;
    if (heif_image_create(
            rgb.width(), rgb.height(), heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image)
            .code
        != heif_error_Ok)
        return false;
    std::unique_ptr<heif_image, void (*)(const heif_image*)> imageOwner(image, heif_image_release);
    heif_image_add_plane(image, heif_channel_interleaved, rgb.width(), rgb.height(), 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < rgb.height(); ++y)
        std::memcpy(plane + qsizetype(y) * stride, rgb.constScanLine(y), size_t(rgb.width()) * 3);

    std::unique_ptr<heif_encoding_options, void (*)(heif_encoding_options*)> options(
        heif_encoding_options_alloc(), heif_encoding_options_free);
    options->image_orientation = orientation;
    if (heif_context_encode_image(context.get(), image, encoder, options.get(), nullptr).code
        != heif_error_Ok)
        return false;
    return heif_context_write_to_file(context.get(), QFile::encodeName(path).constData()).code
        == heif_error_Ok;
}

inline bool writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

} // namespace vesker::test
