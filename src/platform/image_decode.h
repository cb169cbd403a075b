#pragma once

#include <QImage>
#include <QString>

namespace vesker::platform {

enum class DecodeError {
    unreadable, // missing, or not a file we may read
    unsupported, // no decoder knows the format
    tooLarge, // more pixels than the caller allows
    corrupt, // the decoder gave up on the data
};

// Enough for the 48-megapixel photos of current phones, with room to spare.
constexpr qint64 kMaxDecodedPixels = 64LL * 1000 * 1000;

// Decodes an image file the way a viewer shows it: the orientation tag of a JPEG and the
// rotation and mirroring of a HEIF file are applied. HEIC, HEIF and AVIF go through libheif,
// everything else through QImageReader. Anything over `maxPixels` is refused from its header,
// before any pixel memory is taken, and libheif's own image-size limit is set, so a forged
// header cannot make either decoder allocate without bound. `maxPixels` is the one limit: an
// image within it that Qt's allocation limit would refuse is decoded at half its size per side
// (or less) where its reader can do that cheaply (JPEG, WebP), else with Qt's limit raised
// to what it needs. Returns a null image and fills `error` on failure.
//
// With `longestSide` above zero the image is made to fit a square of that many pixels, and a
// JPEG is decoded straight at the nearest larger fraction of its size (far cheaper than whole).
//
// This is slow for a photo: call it from a worker thread, never the main thread.
QImage decodeImage(const QString& path, qint64 maxPixels = kMaxDecodedPixels,
    DecodeError* error = nullptr, int longestSide = 0);

// The size decodeImage gives the whole picture, as its header tells it, before anything is
// decoded; invalid when no decoder knows it.
QSize imageSize(const QString& path);

// For a caller that needs every pixel of a picture a reader would decode scaled under Qt's
// allocation limit (JPEG, WebP): raises that limit so that an image of `size` in `format` decodes
// whole. Nothing over `maxPixels` raises it. The limit is process-wide, so it only ever grows,
// and only through here.
void allowWholeImage(QSize size, QImage::Format format, qint64 maxPixels = kMaxDecodedPixels);

// The same for an image held in memory, made to fit a square of `longestSide` pixels when that
// is above zero. A JPEG is decoded straight at the nearest larger fraction of its size, so a
// photo bound for a smaller copy never takes its full-size pixel memory.
QImage decodeImageData(const QByteArray& data, int longestSide = 0,
    qint64 maxPixels = kMaxDecodedPixels, DecodeError* error = nullptr);

} // namespace vesker::platform
