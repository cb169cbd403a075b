#pragma once

// Images the recognition tests draw for themselves: barcodes from ZXing's writer, lines of
// text in a Debian font, JPEGs with an orientation tag and HEIC files from libheif.

#include <QBuffer>
#include <QFile>
#include <QFontDatabase>
#include <QImage>
#include <QImageWriter>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRandomGenerator>
#include <QStringList>

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>
#include <libheif/heif.h>

#include <cstring>
#include <memory>
#include <optional>
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
    const auto pixels = ZXing::ToMatrix<uint8_t>(
        ZXing::MultiFormatWriter(format).setMargin(20).encode(payload, width, height));
    return QImage(
        pixels.data(), pixels.width(), pixels.height(), pixels.width(), QImage::Format_Grayscale8)
        .copy();
}

// A phone's 12 MP photo of a page on a table top: `word` in large print at the top of the page
// and a QR code of `payload` below it, its modules drawn large. The table's grain, a shade per
// pixel from `grain`, makes the JPEG as large as a phone's photo of a busy scene, and is marks
// everywhere to a search for print.
inline QImage pageOnGrainyTable(
    const QString& word, const std::string& payload, QRandomGenerator& grain)
{
    QImage photo(4000, 3000, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(photo.scanLine(y));
        for (int x = 0; x < photo.width(); ++x) {
            const int n = int(grain.bounded(110));
            line[x] = qRgb(90 + n, 70 + n, 50 + n);
        }
    }
    QPainter painter(&photo);
    painter.fillRect(QRect(600, 400, 2800, 2200), QColor(245, 245, 240));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(220);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(20, 20, 20));
    painter.drawText(QRect(700, 500, 2600, 400), Qt::AlignCenter, word);
    const auto modules = ZXing::ToMatrix<uint8_t>(
        ZXing::MultiFormatWriter(ZXing::BarcodeFormat::QRCode).setMargin(4).encode(payload, 0, 0));
    painter.drawImage(QRect(1500, 1100, 1000, 1000),
        QImage(modules.data(), modules.width(), modules.height(), modules.width(),
            QImage::Format_Grayscale8));
    painter.end();
    return photo;
}

inline QImage whitePage(int width, int height)
{
    QImage page(width, height, QImage::Format_RGB32);
    page.fill(Qt::white);
    return page;
}

// Printed lines in DejaVu Sans, 36 pixels high, one below the other.
inline void drawLines(QImage& page, const QStringList& lines)
{
    static const int fontId = QFontDatabase::addApplicationFont(
        QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"));
    QFont font(fontId >= 0 ? QFontDatabase::applicationFontFamilies(fontId).value(0)
                           : QStringLiteral("DejaVu Sans"));
    font.setPixelSize(36);
    QPainter painter(&page);
    painter.setFont(font);
    for (int i = 0; i < lines.size(); ++i)
        painter.drawText(40, 96 + 72 * i, lines[i]);
}

inline QImage textPage(const QStringList& lines)
{
    QImage page = whitePage(1100, 120 + int(lines.size()) * 72);
    drawLines(page, lines);
    return page;
}

inline QByteArray imageBytes(const QImage& image, const char* format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

// A JPEG whose EXIF block says how to turn the stored pixels to show them (1 to 8, as in the
// TIFF Orientation tag), written by hand: an APP1 segment right after the start of the image.
inline QByteArray jpegWithOrientation(const QImage& image, int orientation, int quality = 95)
{
    // Big-endian TIFF with one directory of one entry: Orientation, SHORT, one value.
    QByteArray exif("Exif\0\0MM\0\x2a\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0", 25);
    exif += char(orientation) + QByteArray(6, '\0');
    const int length = int(exif.size()) + 2;
    const QByteArray jpeg = imageBytes(image, "JPEG", quality);
    return jpeg.left(2) + "\xff\xe1" + char(length >> 8) + char(length & 0xff) + exif + jpeg.mid(2);
}

// `source` encoded by libheif as HEIC (HEVC) or AVIF (AV1), optionally asking for an orientation
// (stored as rotation boxes); none where this libheif has no encoder for the format.
// `exif`: an Exif block (a TIFF header onwards) stored with the image, as cameras do.
inline std::optional<QByteArray> heifBytes(const QImage& source,
    heif_compression_format format = heif_compression_HEVC,
    heif_orientation orientation = heif_orientation_normal, const QByteArray& exif = {})
{
    const auto ok = [](heif_error error) { return error.code == heif_error_Ok; };
    const QImage rgb = source.convertToFormat(QImage::Format_RGB888);
    std::unique_ptr<heif_context, void (*)(heif_context*)> context(
        heif_context_alloc(), heif_context_free);
    heif_encoder* encoder = nullptr;
    if (!ok(heif_context_get_encoder_for_format(context.get(), format, &encoder)))
        return std::nullopt;
    std::unique_ptr<heif_encoder, void (*)(heif_encoder*)> encoderOwner(
        encoder, heif_encoder_release);
    heif_encoder_set_lossy_quality(encoder, 95);
    heif_image* image = nullptr;
    if (!ok(heif_image_create(
            rgb.width(), rgb.height(), heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image)))
        return std::nullopt;
    std::unique_ptr<heif_image, void (*)(const heif_image*)> imageOwner(image, heif_image_release);
    heif_image_add_plane(image, heif_channel_interleaved, rgb.width(), rgb.height(), 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < rgb.height(); ++y)
        std::memcpy(plane + qsizetype(y) * stride, rgb.constScanLine(y), size_t(rgb.width()) * 3);
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->image_orientation = orientation;
    heif_image_handle* handle = nullptr;
    const bool encoded
        = ok(heif_context_encode_image(context.get(), image, encoder, options, &handle));
    heif_encoding_options_free(options);
    if (!encoded)
        return std::nullopt;
    const bool tagged = exif.isEmpty()
        || ok(heif_context_add_exif_metadata(
            context.get(), handle, exif.constData(), int(exif.size())));
    heif_image_handle_release(handle);
    if (!tagged)
        return std::nullopt;
    QByteArray bytes;
    heif_writer writer {};
    writer.writer_api_version = 1;
    writer.write = [](heif_context*, const void* data, size_t size, void* userdata) {
        static_cast<QByteArray*>(userdata)->append(static_cast<const char*>(data), qsizetype(size));
        return heif_error {heif_error_Ok, heif_suberror_Unspecified, ""};
    };
    if (!ok(heif_context_write(context.get(), &writer, &bytes)))
        return std::nullopt;
    return bytes;
}

// `image` in the file format Qt names `format`; empty when the writer refuses it.
inline QByteArray encoded(const QImage& image, const char* format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    return writer.write(image) ? bytes : QByteArray();
}

// A PDF of `pages` Letter pages (612 x 792 points), each with a line of text naming it.
inline QByteArray pdfBytes(int pages)
{
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(QPageSize::Letter));
    writer.setPageMargins({});
    QPainter painter(&writer);
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            writer.newPage();
        painter.drawText(100, 100, QStringLiteral("Page %1").arg(page + 1));
    }
    return painter.end() ? pdf : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& data);

// Writes `image` as HEIC; false when this libheif has no HEVC encoder.
inline bool writeHeic(const QString& path, const QImage& source,
    heif_orientation orientation = heif_orientation_normal, const QByteArray& exif = {})
{
    const std::optional<QByteArray> bytes
        = heifBytes(source, heif_compression_HEVC, orientation, exif);
    return bytes && writeFile(path, *bytes);
}

inline bool writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

} // namespace vesker::test
