#include "image_edit/crop_box.h"

#include <QLineF>

#include <algorithm>

namespace vesker {

CropBox::DragMode CropBox::hitTest(const QRectF& box, QPointF point, qreal grabRadius)
{
    const struct {
        QPointF corner;
        DragMode mode;
    } corners[] = {
        {box.topLeft(), DragMode::topLeft},
        {box.topRight(), DragMode::topRight},
        {box.bottomLeft(), DragMode::bottomLeft},
        {box.bottomRight(), DragMode::bottomRight},
    };
    for (const auto& [corner, mode] : corners) {
        if (QLineF(corner, point).length() < grabRadius)
            return mode;
    }
    return DragMode::move;
}

QRectF CropBox::adjusted(const QRectF& r, DragMode mode, qreal dx, qreal dy, qreal m)
{
    // std::clamp would be undefined where the limits cross; min(max()) lets the size win.
    const auto towardsStart
        = [](qreal v, qreal upper) { return std::min(std::max(v, 0.0), upper); };
    const auto towardsEnd = [](qreal v, qreal lower) { return std::max(std::min(v, 1.0), lower); };
    qreal left = r.left();
    qreal top = r.top();
    qreal right = r.right();
    qreal bottom = r.bottom();
    switch (mode) {
    case DragMode::move:
        left = towardsStart(r.left() + dx, 1 - r.width());
        top = towardsStart(r.top() + dy, 1 - r.height());
        right = left + r.width();
        bottom = top + r.height();
        break;
    case DragMode::topLeft:
        left = towardsStart(r.left() + dx, r.right() - m);
        top = towardsStart(r.top() + dy, r.bottom() - m);
        break;
    case DragMode::topRight:
        top = towardsStart(r.top() + dy, r.bottom() - m);
        right = towardsEnd(r.right() + dx, r.left() + m);
        break;
    case DragMode::bottomLeft:
        left = towardsStart(r.left() + dx, r.right() - m);
        bottom = towardsEnd(r.bottom() + dy, r.top() + m);
        break;
    case DragMode::bottomRight:
        right = towardsEnd(r.right() + dx, r.left() + m);
        bottom = towardsEnd(r.bottom() + dy, r.top() + m);
        break;
    }
    return QRectF(QPointF(left, top), QPointF(right, bottom));
}

} // namespace vesker
