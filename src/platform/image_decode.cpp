#include "platform/image_decode.h"

#include "platform/cmyk_tiff.h"
#include "platform/decode_budget.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMutex>

#include <libheif/heif.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>

namespace vesker::platform {

namespace {

QImage failed(DecodeError* error, DecodeError what)
{
    if (error)
        *error = what;
    return {};
}

bool isHeifHead(const QByteArray& head)
{
    const auto kind
        = heif_check_filetype(reinterpret_cast<const uint8_t*>(head.constData()), int(head.size()));
    return kind == heif_filetype_yes_supported || kind == heif_filetype_yes_unsupported;
}

bool isHeif(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && isHeifHead(file.read(64));
}

// The size `size` takes when made to fit a square of `longestSide`; unchanged when it fits or
// no side is asked for.
QSize fitted(QSize size, int longestSide)
{
    if (longestSide <= 0 || std::max(size.width(), size.height()) <= longestSide)
        return size;
    return size.scaled(longestSide, longestSide, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

QImage shrunk(QImage image, int longestSide)
{
    const QSize target = fitted(image.size(), longestSide);
    if (target == image.size())
        return image;
    return image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

DecodeError readFailure(const heif_error& failure)
{
    return failure.subcode == heif_suberror_Security_limit_exceeded ? DecodeError::tooLarge
                                                                    : DecodeError::corrupt;
}

struct HeifDeleter {
    void operator()(heif_context* p) const { heif_context_free(p); }
    void operator()(const heif_image_handle* p) const { heif_image_handle_release(p); }
    void operator()(const heif_image* p) const { heif_image_release(p); }
};

// What a picture fitted to `longestSide` takes beside the whole one it is made from.
qint64 fittedBytes(QSize size, int longestSide)
{
    const QSize shown = fitted(size, longestSide);
    return shown == size ? 0 : qint64(shown.width()) * shown.height() * 4;
}

std::unique_ptr<heif_context, HeifDeleter> heifContext()
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { heif_init(nullptr); });
    return std::unique_ptr<heif_context, HeifDeleter>(heif_context_alloc());
}

template <typename ReadInto>
QImage decodeHeif(ReadInto readInto, int longestSide, qint64 maxPixels, DecodeError* error)
{
    const std::unique_ptr<heif_context, HeifDeleter> context = heifContext();
    if (!context)
        return failed(error, DecodeError::corrupt);
    // libheif checks this against each image's declared size while it parses the file, before
    // it allocates anything for the pixels. No side can be longer than the whole pixel budget
    // allows for a one-pixel-high strip, nor than libheif's own default.
    const qint64 sideLimit = std::clamp<qint64>(maxPixels, 1, 32768);
    heif_context_set_maximum_image_size_limit(context.get(), int(sideLimit));

    if (const heif_error read = readInto(context.get()); read.code != heif_error_Ok) {
        return failed(error, readFailure(read));
    }
    heif_image_handle* rawHandle = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok)
        return failed(error, DecodeError::corrupt);
    std::unique_ptr<const heif_image_handle, HeifDeleter> handle(rawHandle);

    const qint64 width = heif_image_handle_get_width(handle.get());
    const qint64 height = heif_image_handle_get_height(handle.get());
    if (width <= 0 || height <= 0)
        return failed(error, DecodeError::corrupt);
    if (width * height > maxPixels)
        return failed(error, DecodeError::tooLarge);

    // libheif's planes as it decodes and converts them, its RGB picture, and ours.
    const DecodeBudget::Hold hold = decodeBudget().take(
        width * height * 9 + fittedBytes(QSize(int(width), int(height)), longestSide));
    heif_image* rawImage = nullptr;
    if (const heif_error decoded = heif_decode_image(
            handle.get(), &rawImage, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr);
        decoded.code != heif_error_Ok) {
        return failed(error, readFailure(decoded));
    }
    std::unique_ptr<const heif_image, HeifDeleter> image(rawImage);

    int stride = 0;
    const uint8_t* pixels
        = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int w = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int h = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (!pixels || w <= 0 || h <= 0 || qint64(w) * h > maxPixels || stride < w * 3)
        return failed(error, DecodeError::corrupt);

    QImage out(w, h, QImage::Format_RGB888);
    if (out.isNull())
        return failed(error, DecodeError::tooLarge);
    for (int y = 0; y < h; ++y)
        std::copy_n(pixels + qint64(y) * stride, w * 3, out.scanLine(y));
    image.reset();
    return shrunk(std::move(out), longestSide);
}

constexpr qint64 kMaxTiffBytes = 64LL * 1024 * 1024;

// Qt refuses to allocate more than its limit (128 MB unless raised) for one image, which a
// 32-bit image passes at about 34 megapixels: well inside our own pixel budget.
qint64 allocationLimitBytes()
{
    return qint64(QImageReader::allocationLimit()) * 1024 * 1024;
}

// A reader that does not say what it gives is taken to give 32 bits a pixel.
int bitsPerPixel(QImage::Format format)
{
    return format == QImage::Format_Invalid ? 32 : QImage::toPixelFormat(format).bitsPerPixel();
}

qint64 decodedBytes(QSize size, QImage::Format format)
{
    return qint64(size.width()) * size.height() * std::max(bitsPerPixel(format), 32) / 8;
}

// For the few readers that cannot decode at a smaller size. The limit is process-wide, so it
// only ever grows, and never past what the largest budget asked for needs.
void raiseAllocationLimit(qint64 bytes)
{
    static QMutex mutex;
    const QMutexLocker lock(&mutex);
    const int megabytes = int((bytes + 1024 * 1024 - 1) / (1024 * 1024));
    if (QImageReader::allocationLimit() < megabytes)
        QImageReader::setAllocationLimit(megabytes);
}

// What every road after decoding works with: 8 bits a channel and no colour table. Readers give
// what the file holds (a palette, one bit a pixel, 16 bits a channel), which writers, painters
// and recognition each take their own way, or not at all.
QImage::Format usableFormat(QImage::Format format, bool alpha)
{
    switch (format) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGB888:
    case QImage::Format_Grayscale8:
        return format;
    case QImage::Format_Grayscale16:
        return QImage::Format_Grayscale8;
    default:
        return alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    }
}

// Qt converts to a layout no wider in place, so a 16-bit picture never has a second copy.
QImage usable(QImage image)
{
    image.convertTo(usableFormat(image.format(), image.hasAlphaChannel()));
    return image;
}

// What a reader's picture of `size` in `format` takes at its peak: its own pixels, those of the
// copy usable() makes of it where that layout is wider, and the picture fitted to `longestSide`.
qint64 peakBytes(QSize size, QImage::Format format, int longestSide)
{
    const qint64 pixels = qint64(size.width()) * size.height();
    const int bits = bitsPerPixel(format);
    const int usableBits = bitsPerPixel(usableFormat(format, false));
    return pixels * bits / 8 + (usableBits > bits ? pixels * usableBits / 8 : 0)
        + fittedBytes(size, longestSide);
}

QImage decodeWithQt(QImageReader& reader, int longestSide, qint64 maxPixels, DecodeError* error)
{
    // The orientation tag is how a phone held upright says which way is up; without it a
    // portrait photo is read lying on its side.
    reader.setAutoTransform(true);
    if (!reader.canRead()) {
        const bool missing = reader.error() == QImageReader::FileNotFoundError
            || reader.error() == QImageReader::DeviceError;
        return failed(error, missing ? DecodeError::unreadable : DecodeError::unsupported);
    }
    // The header's size is known before any pixel is decoded; Qt's allocation limit catches
    // the formats that cannot tell it in advance, and bounds what they are given.
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() > maxPixels)
        return failed(error, DecodeError::tooLarge);
    qint64 cost = allocationLimitBytes();
    if (size.isValid()) {
        const QImage::Format format = reader.imageFormat();
        QSize target = fitted(size, longestSide);
        // A 48-megapixel phone photo is past Qt's limit. Its sensor rarely holds more detail
        // than a quarter of that, and JPEG (like WebP) decodes straight at half size for a
        // fraction of the cost, so it is read that way. Every other reader decodes whole
        // whatever size it is asked for (PNG offers a smaller one, but scales only plain
        // colours as it reads): halving what it is asked for would only lose pixels, so it gets
        // the memory our own budget allows, however much Qt allowed before.
        const QByteArray kind = reader.format();
        const bool scaled = reader.supportsOption(QImageIOHandler::ScaledSize);
        const bool readsScaled = scaled && (kind == "jpeg" || kind == "webp");
        if (readsScaled) {
            while (decodedBytes(target, format) > allocationLimitBytes() && target.width() > 1
                && target.height() > 1) {
                target /= 2;
            }
        } else {
            raiseAllocationLimit(decodedBytes(size, format));
        }
        if (scaled && target != size)
            reader.setScaledSize(target);
        const QSize decoded = readsScaled ? target : size;
        cost = peakBytes(decoded, format, longestSide);
        // Turned upright, the picture is copied once more.
        if (reader.transformation() != QImageIOHandler::TransformationNone)
            cost += decodedBytes(decoded, format);
    }

    const DecodeBudget::Hold hold = decodeBudget().take(cost);
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return failed(error, DecodeError::corrupt);
    if (qint64(image.width()) * image.height() > maxPixels)
        return failed(error, DecodeError::tooLarge);
    return shrunk(usable(std::move(image)), longestSide);
}

// A CMYK TIFF goes to our own reader, which knows every kind of it; everything else, other
// TIFFs included, to Qt's.
QImage decodeWithFallback(QImageReader& reader, const std::function<QByteArray()>& bytes,
    const QString& name, int longestSide, qint64 maxPixels, DecodeError* error)
{
    const TiffMessageName named(name);
    const QByteArray tiff = reader.format() == "tiff" ? bytes() : QByteArray();
    CmykTiffReader cmyk(tiff, name);
    if (!cmyk.isCmyk())
        return decodeWithQt(reader, longestSide, maxPixels, error);
    const QSize size = cmyk.size();
    if (qint64(size.width()) * size.height() > maxPixels)
        return failed(error, DecodeError::tooLarge);
    const DecodeBudget::Hold hold = decodeBudget().take(
        decodedBytes(size, QImage::Format_ARGB32) * 2 + fittedBytes(size, longestSide));
    const QImage image = cmyk.read(error);
    return image.isNull() ? image : shrunk(image, longestSide);
}

} // namespace

QSize imageSize(const QString& path)
{
    if (!isHeif(path))
        return QImageReader(path).size();
    const std::unique_ptr<heif_context, HeifDeleter> context = heifContext();
    heif_image_handle* rawHandle = nullptr;
    if (!context
        || heif_context_read_from_file(context.get(), QFile::encodeName(path).constData(), nullptr)
                .code
            != heif_error_Ok
        || heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok)
        return {};
    const std::unique_ptr<const heif_image_handle, HeifDeleter> handle(rawHandle);
    const QSize size(
        heif_image_handle_get_width(handle.get()), heif_image_handle_get_height(handle.get()));
    return size.isValid() && !size.isEmpty() ? size : QSize();
}

void allowWholeImage(QSize size, QImage::Format format, qint64 maxPixels)
{
    if (size.isValid() && qint64(size.width()) * size.height() <= maxPixels)
        raiseAllocationLimit(decodedBytes(size, format));
}

QImage decodeImage(const QString& path, qint64 maxPixels, DecodeError* error, int longestSide)
{
    if (!QFile::exists(path))
        return failed(error, DecodeError::unreadable);
    if (isHeif(path)) {
        const QByteArray nativePath = QFile::encodeName(path);
        const auto read = [&](heif_context* context) {
            return heif_context_read_from_file(context, nativePath.constData(), nullptr);
        };
        return decodeHeif(read, longestSide, maxPixels, error);
    }
    QImageReader reader(path);
    const auto bytes = [&path] {
        QFile file(path);
        // No upload is larger; a TIFF that is is not read whole.
        if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxTiffBytes)
            return QByteArray();
        return file.readAll();
    };
    return decodeWithFallback(
        reader, bytes, QFileInfo(path).fileName(), longestSide, maxPixels, error);
}

QImage decodeImageData(
    const QByteArray& data, int longestSide, qint64 maxPixels, DecodeError* error)
{
    if (isHeifHead(data.left(64))) {
        const auto read = [&](heif_context* context) {
            return heif_context_read_from_memory_without_copy(
                context, data.constData(), size_t(data.size()), nullptr);
        };
        return decodeHeif(read, longestSide, maxPixels, error);
    }
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return decodeWithFallback(
        reader, [&data] { return data; }, QStringLiteral("picture held in memory"), longestSide,
        maxPixels, error);
}

} // namespace vesker::platform
