#include "ui/flow_layout.h"

#include <QWidget>

#include <algorithm>

namespace vesker {

namespace {
// The width measured against when nobody has proposed one.
constexpr int kUnproposedWidth = 400;

// A hidden widget takes no place; spacers, which Qt calls empty, do.
bool isHidden(const QLayoutItem* item)
{
    return item->widget() && item->isEmpty();
}
} // namespace

FlowLayout::FlowLayout(int spacing, QWidget* parent)
    : QLayout(parent)
    , m_spacing(spacing)
{
    // The style's margins would make a measured row wider than the one placed.
    setContentsMargins(0, 0, 0, 0);
}

FlowLayout::~FlowLayout()
{
    while (QLayoutItem* item = takeAt(0))
        delete item;
}

void FlowLayout::addItem(QLayoutItem* item)
{
    m_items.append(item);
}

int FlowLayout::count() const
{
    return int(m_items.size());
}

QLayoutItem* FlowLayout::itemAt(int index) const
{
    return m_items.value(index);
}

QLayoutItem* FlowLayout::takeAt(int index)
{
    if (index < 0 || index >= m_items.size())
        return nullptr;
    return m_items.takeAt(index);
}

Qt::Orientations FlowLayout::expandingDirections() const
{
    return {};
}

int FlowLayout::heightForWidth(int width) const
{
    return place(QRect(0, 0, width, 0), false);
}

QSize FlowLayout::sizeHint() const
{
    const QMargins margins = contentsMargins();
    const int width = kUnproposedWidth + margins.left() + margins.right();
    return {width, heightForWidth(width)};
}

QSize FlowLayout::minimumSize() const
{
    // Nothing is shrunk, so the widest item is as narrow as the layout can go.
    QSize size;
    for (const QLayoutItem* item : m_items) {
        if (!isHidden(item))
            size = size.expandedTo(item->sizeHint());
    }
    const QMargins margins = contentsMargins();
    return size.grownBy(margins);
}

void FlowLayout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    place(rect, true);
}

int FlowLayout::place(const QRect& rect, bool apply) const
{
    const QRect area = rect.marginsRemoved(contentsMargins());
    const int left = area.x();
    const int right = area.x() + area.width();
    int x = left;
    int y = area.y();
    int rowHeight = 0;
    for (QLayoutItem* item : m_items) {
        if (isHidden(item))
            continue;
        const QSize size = item->sizeHint();
        if (x > left && x + size.width() > right) {
            x = left;
            y += rowHeight + m_spacing;
            rowHeight = 0;
        }
        if (apply)
            item->setGeometry(QRect(QPoint(x, y), size));
        x += size.width() + m_spacing;
        rowHeight = std::max(rowHeight, size.height());
    }
    const QMargins margins = contentsMargins();
    return y + rowHeight - area.y() + margins.top() + margins.bottom();
}

} // namespace vesker
