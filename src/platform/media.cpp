#include "platform/media.h"

#include "platform/image_decode.h"
#include "platform/log.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFileInfo>
#include <QImageWriter>
#include <QLoggingCategory>
#include <QMimeDatabase>
#include <QPainter>

#include <poppler-qt6.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>

namespace vesker::platform {

namespace {

constexpr int kJpegQuality = 70;

// JPEG has no transparency; the transparent parts of a PNG show on white, as a page would.
QImage onWhite(const QImage& image)
{
    if (!image.hasAlphaChannel())
        return image;
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    QPainter painter(&flat);
    painter.drawImage(0, 0, image);
    return flat;
}

QImage photoThumbnail(const QString& path, int maxSide)
{
    // Refused from the header when over the budget, which also bounds the decoders' own
    // working memory (a progressive JPEG keeps all its coefficients, whatever size it is
    // scaled to); a JPEG decodes straight at a fraction of its size.
    return decodeImage(path, kMaxDecodedPixels, nullptr, maxSide);
}

// Poppler says what it thinks of a broken file through qDebug by default: a damaged PDF from a
// stranger would fill the log. Its lines go to our category, at debug level.
void quietPoppler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Poppler::setDebugErrorFunction(
            [](const QString& message, const QVariant&) {
                qCDebug(lcMedia).noquote() << "[pdf]" << message;
            },
            QVariant());
    });
}

} // namespace

QString photoExtension(const QString& contentType)
{
    const QString type = contentType.toLower();
    if (type.contains(QLatin1String("png")))
        return QStringLiteral("png");
    if (type.contains(QLatin1String("heic")) || type.contains(QLatin1String("heif")))
        return QStringLiteral("heic");
    if (type.contains(QLatin1String("webp")))
        return QStringLiteral("webp");
    if (type.contains(QLatin1String("gif")))
        return QStringLiteral("gif");
    return QStringLiteral("jpg");
}

namespace {

quint32 bigEndian32(const QByteArray& bytes, qsizetype at)
{
    return quint32(quint8(bytes[at])) << 24 | quint32(quint8(bytes[at + 1])) << 16
        | quint32(quint8(bytes[at + 2])) << 8 | quint32(quint8(bytes[at + 3]));
}

// The extension of an ISO base media file whose "ftyp" box names a still-image brand as its
// major brand or among its compatible ones: "avif" for AV1 pictures, "heic" for the rest of the
// family; empty for videos (isom, mp42, qt) and everything else.
QString heifFamilyExtension(const QByteArray& bytes)
{
    if (bytes.size() < 16 || bytes.mid(4, 4) != "ftyp")
        return {};
    static const QByteArrayList kAv1 {"avif", "avis"};
    static const QByteArrayList kHevc {
        "heic", "heix", "heim", "heis", "hevc", "hevx", "hevm", "hevs"};
    static const QByteArrayList kGeneric {"mif1", "mif2", "msf1"};
    QByteArrayList brands {bytes.mid(8, 4)};
    // A box that claims more than a small header's worth is read no further than that.
    const qsizetype end
        = std::min<qsizetype>({qsizetype(bigEndian32(bytes, 0)), bytes.size(), 1024});
    for (qsizetype at = 16; at + 4 <= end; at += 4)
        brands.append(bytes.mid(at, 4));
    const auto any = [&brands](const QByteArrayList& family) {
        return std::any_of(brands.cbegin(), brands.cend(),
            [&family](const QByteArray& brand) { return family.contains(brand); });
    };
    // The major brand names the codec; a generic one leaves it to the compatible brands.
    if (kAv1.contains(brands.first()) || (!any(kHevc) && any(kAv1)))
        return QStringLiteral("avif");
    return any(kHevc) || any(kGeneric) ? QStringLiteral("heic") : QString();
}

// "BM" alone starts too many texts; the size of the header that follows is one of the few
// versions there are.
bool isBitmap(const QByteArray& bytes)
{
    if (bytes.size() < 26 || !bytes.startsWith("BM"))
        return false;
    const quint32 header = quint32(quint8(bytes[14])) | quint32(quint8(bytes[15])) << 8
        | quint32(quint8(bytes[16])) << 16 | quint32(quint8(bytes[17])) << 24;
    return header == 12 || header == 40 || header == 52 || header == 56 || header == 64
        || header == 108 || header == 124;
}

} // namespace

QString pictureExtension(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return QStringLiteral("jpg");
    if (bytes.startsWith("\x89PNG\r\n\x1A\n"))
        return QStringLiteral("png");
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a"))
        return QStringLiteral("gif");
    if (bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WEBP")
        return QStringLiteral("webp");
    if (bytes.startsWith(QByteArrayLiteral("II*\0")) || bytes.startsWith(QByteArrayLiteral("MM\0*"))
        || bytes.startsWith(QByteArrayLiteral("II+\0"))
        || bytes.startsWith(QByteArrayLiteral("MM\0+")))
        return QStringLiteral("tiff");
    if (isBitmap(bytes))
        return QStringLiteral("bmp");
    return heifFamilyExtension(bytes);
}

SniffedContent sniffContent(const QByteArray& bytes)
{
    if (bytes.startsWith("%PDF-"))
        return SniffedContent::pdf;
    return pictureExtension(bytes).isEmpty() ? SniffedContent::other : SniffedContent::picture;
}

QString mimeType(const QString& filename)
{
    const QString extension = QFileInfo(filename).suffix().toLower();
    // The system's database names these the way browsers expect; it calls ".heic" "image/heif",
    // which is not what a phone sent it as.
    if (extension == QLatin1String("heic"))
        return QStringLiteral("image/heic");
    static const QStringList kServedAsTheyAre {QStringLiteral("application/pdf"),
        QStringLiteral("image/png"), QStringLiteral("image/gif"), QStringLiteral("image/webp"),
        QStringLiteral("image/tiff"), QStringLiteral("image/bmp"), QStringLiteral("image/avif")};
    const QString type
        = QMimeDatabase().mimeTypeForFile(filename, QMimeDatabase::MatchExtension).name();
    return kServedAsTheyAre.contains(type) ? type : QStringLiteral("image/jpeg");
}

QImage thumbnailImage(const QString& path, int maxSide)
{
    if (maxSide <= 0)
        return {};
    if (QFileInfo(path).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0)
        return pdfPageImage(path, maxSide);
    return photoThumbnail(path, maxSide);
}

QImage pdfPageImage(const QString& path, int maxSide)
{
    if (maxSide <= 0)
        return {};
    quietPoppler();
    const std::unique_ptr<Poppler::Document> document = Poppler::Document::load(path);
    if (!document || document->isLocked() || document->numPages() < 1)
        return {};
    const std::unique_ptr<Poppler::Page> page = document->page(0);
    if (!page)
        return {};
    // In points, turned as the page says it is shown.
    const QSizeF pageSize = page->pageSizeF();
    if (!(pageSize.width() > 0) || !(pageSize.height() > 0))
        return {};

    // The longer side becomes `maxSide`, larger or smaller than the page itself.
    const double scale = maxSide / std::max(pageSize.width(), pageSize.height());
    const qint64 width = std::max<qint64>(1, std::llround(pageSize.width() * scale));
    const qint64 height = std::max<qint64>(1, std::llround(pageSize.height() * scale));
    // Only the thumbnail's own pixels are ever rendered, so this bounds the memory of any page.
    if (width * height > kMaxDecodedPixels)
        return {};

    document->setRenderHint(Poppler::Document::Antialiasing);
    document->setRenderHint(Poppler::Document::TextAntialiasing);
    document->setPaperColor(Qt::white);
    const double dpi = 72.0 * scale;
    const QImage rendered = page->renderToImage(dpi, dpi, 0, 0, int(width), int(height));
    if (rendered.isNull())
        return {};

    QImage canvas(int(width), int(height), QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        painter.drawImage(canvas.rect(), rendered);
    }
    return canvas;
}

std::optional<int> pdfPageCount(const QString& path)
{
    quietPoppler();
    const std::unique_ptr<Poppler::Document> document = Poppler::Document::load(path);
    if (!document || document->isLocked())
        return std::nullopt;
    return document->numPages();
}

namespace {

std::optional<QByteArray> asJpeg(const QImage& image)
{
    QByteArray jpeg = image.isNull() ? QByteArray() : jpegBytes(image, kJpegQuality);
    if (jpeg.isEmpty())
        return std::nullopt;
    return jpeg;
}

} // namespace

std::optional<QByteArray> thumbnailData(const QString& path, int maxPixelSize)
{
    return asJpeg(thumbnailImage(path, maxPixelSize));
}

std::optional<QByteArray> pdfThumbnailData(const QString& path, int maxPixelSize)
{
    return asJpeg(pdfPageImage(path, maxPixelSize));
}

QByteArray jpegBytes(const QImage& image, int quality)
{
    // The view below shares the pixels but not a colour table, so a format that has one (a
    // palette, one bit a pixel) is turned into plain colours first, as is one the writer would
    // narrow on its own.
    QImage flat = onWhite(image);
    if (flat.format() != QImage::Format_RGB32 && flat.format() != QImage::Format_RGB888
        && flat.format() != QImage::Format_Grayscale8) {
        flat = flat.format() == QImage::Format_Grayscale16
                || (flat.colorCount() > 0 && flat.isGrayscale())
            ? flat.convertToFormat(QImage::Format_Grayscale8)
            : flat.convertToFormat(QImage::Format_RGB32);
    }
    if (flat.isNull())
        return {};
    // A view of the same pixels without the decoder's text, which the writer would carry over.
    QImage bare(flat.constBits(), flat.width(), flat.height(), flat.bytesPerLine(), flat.format());
    bare.setColorSpace(flat.colorSpace());
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    if (!writer.write(bare))
        return {};
    return bytes;
}

} // namespace vesker::platform
