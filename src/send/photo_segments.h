#pragma once

#include <QByteArray>

#include <optional>

namespace vesker {

// What of a picture file shows the picture, kept; the rest, which only tells about it (where,
// when, with what, by whom, and whatever else editors and phones tuck in), left out. Both work on
// the file's own structure and never decode a pixel. None when the file cannot be walked whole.

// A JPEG up to the end of its image with no comment and no application segment but the JFIF
// header without its thumbnail, the first Exif block (which the caller has already reduced to
// what it may carry), the ICC profile and Adobe's colour transform, which say how to turn the
// samples into colours.
std::optional<QByteArray> jpegShowingOnly(const QByteArray& jpeg);

// A JPEG up to the end of its image with every segment but the Exif blocks after the first.
std::optional<QByteArray> jpegWithOneExifBlock(const QByteArray& jpeg);

// A PNG with its critical chunks, those that change its colours (transparency, gamma,
// chromaticities, sRGB, ICC and CICP profiles) and the frames of an animation; no text, time,
// Exif, physical size or any other chunk, and nothing after its end.
std::optional<QByteArray> pngShowingOnly(const QByteArray& png);

} // namespace vesker
