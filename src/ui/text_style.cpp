#include "ui/text_style.h"

#include "ui/symbol_icon.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QWidget>

#include <algorithm>
#include <array>
#include <cmath>

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

double contrastRatio(const QColor& a, const QColor& b)
{
    const auto luminance = [](const QColor& c) {
        const auto linear = [](float v) {
            return v <= 0.04045f ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        const QColor rgb = c.toRgb();
        return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF())
            + 0.0722 * linear(rgb.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor secondaryColor(const QPalette& palette)
{
    // The text colour faded towards the background, as far as it stays readable on both the
    // window and a field. A theme's placeholder colour is not that: Breeze Dark's is near black
    // on its dark grey.
    const QColor text = palette.color(QPalette::WindowText).toRgb();
    const QColor window = palette.color(QPalette::Window).toRgb();
    const QColor base = palette.color(QPalette::Base).toRgb();
    // Every card's labels ask with the same few palettes: the last answer is kept.
    static std::array<QRgb, 3> lastAsked {};
    static QColor lastShade;
    const std::array<QRgb, 3> asked {text.rgba(), window.rgba(), base.rgba()};
    if (lastShade.isValid() && asked == lastAsked)
        return lastShade;
    lastAsked = asked;
    lastShade = text;
    for (double fade = 0.45; fade > 0; fade -= 0.05) {
        const auto mix = [&](float t, float w) { return t + (w - t) * float(fade); };
        const QColor shade = QColor::fromRgbF(mix(text.redF(), window.redF()),
            mix(text.greenF(), window.greenF()), mix(text.blueF(), window.blueF()));
        if (std::min(contrastRatio(shade, window), contrastRatio(shade, base))
            >= kSecondaryContrast) {
            lastShade = shade;
            break;
        }
    }
    return lastShade;
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
    // The program's own symbols: Qt's fallback pictures belong to no desktop.
    static const std::pair<QMessageBox::Icon, const char*> kSymbols[] {
        {QMessageBox::Information, "info.circle"}, {QMessageBox::Question, "hand.raised"},
        {QMessageBox::Warning, "exclamationmark.triangle"},
        {QMessageBox::Critical, "exclamationmark.triangle"}};
    for (const auto& [icon, symbol] : kSymbols) {
        if (box.icon() != icon)
            continue;
        const int side = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
        QPalette tint = box.palette();
        tint.setColor(QPalette::WindowText,
            icon == QMessageBox::Critical ? destructiveColor() : accentColor(box.palette()));
        box.setIconPixmap(symbolIcon(QString::fromLatin1(symbol), tint)
                              .pixmap(QSize(side, side), box.devicePixelRatioF()));
    }
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
