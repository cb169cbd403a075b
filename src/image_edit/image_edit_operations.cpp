#include "image_edit/image_edit_operations.h"

#include "platform/media.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageWriter>
#include <QPainter>
#include <QTransform>

#include <cmath>

namespace vesker {

namespace {

constexpr int kJpegQuality = 92;

} // namespace

QImage ImageEditOperations::rotate(const QImage& image, bool clockwise)
{
    if (image.isNull())
        return image;
    return image.transformed(QTransform().rotate(clockwise ? 90 : -90));
}

std::optional<QImage> ImageEditOperations::crop(const QImage& image, const QRectF& normalised)
{
    if (image.isNull())
        return std::nullopt;
    const int width = image.width();
    const int height = image.height();
    // Halves round away from zero, so a half of an odd width keeps the middle column.
    const QRect pixels(int(std::floor(normalised.left() * width)),
        int(std::floor(normalised.top() * height)),
        std::max(int(std::round(normalised.width() * width)), 1),
        std::max(int(std::round(normalised.height() * height)), 1));
    const QRect inside = pixels.intersected(image.rect());
    if (inside.isEmpty())
        return std::nullopt;
    return image.copy(inside);
}

std::optional<ImageEditOperations::Encoded> ImageEditOperations::encode(
    const QImage& image, const QString& likePath)
{
    if (image.isNull())
        return std::nullopt;
    const bool png = QFileInfo(likePath).suffix().compare(u"png", Qt::CaseInsensitive) == 0;
    Encoded encoded {.extension = png ? QStringLiteral("png") : QStringLiteral("jpg")};
    if (!png) {
        encoded.data = platform::jpegBytes(image, kJpegQuality);
        if (encoded.data.isEmpty())
            return std::nullopt;
        return encoded;
    }
    QBuffer buffer(&encoded.data);
    buffer.open(QIODevice::WriteOnly);
    if (!QImageWriter(&buffer, "png").write(image))
        return std::nullopt;
    return encoded;
}

} // namespace vesker
