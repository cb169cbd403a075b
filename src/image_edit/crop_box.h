#pragma once

#include <QPointF>
#include <QRectF>

namespace vesker {

// The crop box of the photo editor in fractions of the image (origin at its top left, y
// downwards), and what a drag does to it. No widget: the same rules on any canvas.
struct CropBox {
    enum class DragMode { move, topLeft, topRight, bottomLeft, bottomRight };

    static constexpr qreal kGrabRadius = 14;
    static constexpr qreal kMinSize = 0.03;
    static QRectF full() { return {0, 0, 1, 1}; }

    // The corner within the grab radius of `point` (the first in the order top-left, top-right,
    // bottom-left, bottom-right), else a move; `box` and `point` in the same on-screen units.
    static DragMode hitTest(const QRectF& box, QPointF point, qreal grabRadius = kGrabRadius);
    // `start` dragged by (dx, dy) image fractions: the box stays inside the image and a dragged
    // edge stays at least `minSize` from the opposite one (which wins where the two conflict).
    static QRectF adjusted(
        const QRectF& start, DragMode mode, qreal dx, qreal dy, qreal minSize = kMinSize);
};

} // namespace vesker
