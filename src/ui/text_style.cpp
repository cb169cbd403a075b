#include "ui/text_style.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QWidget>

namespace vesker {

QFont font(TextStyle style, const QFont& base)
{
    // Ratios of the body size, after the desktop's default type scale.
    struct Scale {
        double ratio;
        bool bold;
    };
    const Scale scale = [style]() -> Scale {
        switch (style) {
        case TextStyle::title:
            return {2.0, false};
        case TextStyle::title2:
            return {1.6, false};
        case TextStyle::title3:
            return {1.4, false};
        case TextStyle::headline:
            return {1.0, true};
        case TextStyle::body:
            return {1.0, false};
        case TextStyle::callout:
            return {0.92, false};
        case TextStyle::caption:
            return {0.85, false};
        case TextStyle::caption2:
            return {0.8, false};
        }
        return {1.0, false};
    }();
    QFont font = base;
    if (base.pointSizeF() > 0)
        font.setPointSizeF(base.pointSizeF() * scale.ratio);
    else
        font.setPixelSize(qRound(base.pixelSize() * scale.ratio));
    font.setBold(scale.bold);
    return font;
}

void setTextStyle(QWidget& widget, TextStyle style)
{
    widget.setFont(font(style, widget.font()));
}

QColor secondaryColor(const QPalette& palette)
{
    return palette.color(QPalette::PlaceholderText);
}

QColor accentColor(const QPalette& palette)
{
    return palette.color(QPalette::Highlight);
}

QColor separatorColor(const QPalette& palette)
{
    return palette.color(QPalette::Mid);
}

void setSecondary(QWidget& widget)
{
    QPalette palette = widget.palette();
    palette.setColor(QPalette::WindowText, secondaryColor(palette));
    palette.setColor(QPalette::Text, secondaryColor(palette));
    widget.setPalette(palette);
}

QColor successColor()
{
    return QColor(0x28, 0xa7, 0x45);
}

QColor destructiveColor()
{
    return QColor(0xd7, 0x26, 0x26);
}

QLabel* plainLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QFrame* makeDivider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    return line;
}

QPixmap statusDot(const QColor& colour, int size, qreal ratio)
{
    QPixmap pixmap(QSize(size, size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(0, 0, size, size));
    return pixmap;
}

void shapeAlert(QMessageBox& box)
{
    if (auto* title = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        QFont bold = title->font();
        bold.setBold(true);
        title->setFont(bold);
    }
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(400, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
            grid->rowCount(), 0, 1, grid->columnCount());
}

} // namespace vesker
