// Stand-in until the real image operations and the card's saving land.
#include "card/image_edit_operations.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageWriter>
#include <QTransform>

#include <cmath>

namespace vesker {

QImage ImageEditOperations::rotate(const QImage& image, bool clockwise)
{
    return image.transformed(QTransform().rotate(clockwise ? 90 : -90));
}

std::optional<QImage> ImageEditOperations::crop(const QImage& image, const QRectF& c)
{
    const int w = image.width();
    const int h = image.height();
    const QRect pixels(int(std::floor(c.x() * w)), int(std::floor(c.y() * h)),
        std::max(int(std::lround(c.width() * w)), 1), std::max(int(std::lround(c.height() * h)), 1));
    const QRect inside = pixels & image.rect();
    if (inside.isEmpty())
        return std::nullopt;
    return image.copy(inside);
}

std::optional<ImageEditOperations::Encoded> ImageEditOperations::encode(
    const QImage& image, const QString& likePath)
{
    const bool png = QFileInfo(likePath).suffix().toLower() == QLatin1String("png");
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, png ? "png" : "jpeg");
    if (!png)
        writer.setQuality(92);
    if (!writer.write(image))
        return std::nullopt;
    return Encoded {bytes, png ? QStringLiteral("png") : QStringLiteral("jpg")};
}

} // namespace vesker
