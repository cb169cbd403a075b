#pragma once

#include <QByteArray>
#include <QImage>
#include <QRectF>
#include <QString>

#include <optional>

namespace vesker {

// The three operations of the crop-and-rotate editor, also used on their own by a card's
// quarter turns. Pure functions on images: no widget, any thread.
struct ImageEditOperations {
    // New image bytes and the extension that names their format.
    struct Encoded {
        QByteArray data;
        QString extension;
    };

    // One quarter turn, clockwise or counter-clockwise.
    static QImage rotate(const QImage& image, bool clockwise);
    // The part of the image inside `normalised` (fractions of its width and height, origin at
    // the top left); none when nothing is left.
    static std::optional<QImage> crop(const QImage& image, const QRectF& normalised);
    // Encodes in the format of the file at `likePath` where this program can write it (a PNG
    // stays PNG; a JPEG stays JPEG); a format it cannot write, such as HEIC, becomes JPEG. The
    // extension returned always names the bytes. None when encoding fails.
    static std::optional<Encoded> encode(const QImage& image, const QString& likePath);
};

} // namespace vesker
