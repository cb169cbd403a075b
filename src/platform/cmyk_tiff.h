#pragma once

#include <QByteArray>
#include <QImage>

#include <optional>

namespace vesker::platform {

// Print shops and scanners save CMYK TIFFs at 16 bits a sample, which Qt's TIFF reader refuses
// (libtiff's RGBA interface beneath it takes 8 bits only). Their samples lie as those of a
// 16-bit RGBA TIFF do, so the same bytes with the first directory's colour model said to be RGB
// are read by Qt as an RGBA64 image whose channels hold cyan, magenta, yellow and black.
//
// A copy of `tiff` so relabelled; none unless it is a classic or big TIFF whose first image is
// CMYK (without an ink set of its own or extra channels) at 16 bits a sample.
std::optional<QByteArray> cmykTiffAsRgba(const QByteArray& tiff);

// The picture such a read gives, as the inks would print it, 8 bits a channel.
QImage rgbFromCmyk64(const QImage& cmyk);

} // namespace vesker::platform
