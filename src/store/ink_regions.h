#pragma once

#include <QImage>
#include <QList>
#include <QRect>
#include <QString>

namespace vesker {

// Photos are read at a reduced size first: the text and codes of a phone photo are nearly always
// larger than the engines need, and a quarter of the pixels costs far less than a quarter of
// the time. What the reduced copy leaves unexplained is read again from the full photo.

// The longest side a photo is read at first.
constexpr int kReadingSide = 2000;

// The photo made to fit kReadingSide (a JPEG is decoded straight at that scale), upright by
// its orientation tag; null when it cannot be decoded.
QImage decodeForReading(const QString& path, qint64 maxPixels);

// The parts of a greyscale picture that hold marks (print, codes, handwriting) and lie outside
// every rectangle of `explained`: groups of touching small cells in which dark strokes cross
// a light ground. The edge between two plain areas (a page on a table) is not a mark. Each
// rectangle has a cell's margin around its marks and lies within the picture.
QList<QRect> inkRegions(const QImage& gray, const QList<QRect>& explained);

// `rect` of a picture of size `from` on the same picture at size `to`, within its bounds.
QRect mapRect(const QRect& rect, QSize from, QSize to);

} // namespace vesker
