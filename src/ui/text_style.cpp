#include "ui/text_style.h"

#include "ui/symbol_icon.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QRegion>
#include <QStyle>
#include <QTextLayout>
#include <QTextOption>
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
    // Every card's labels ask with the same few palettes (a card's, the window's), taking turns:
    // the last few answers are kept, so that turns do not undo each other's.
    struct Answer {
        std::array<QRgb, 3> asked {};
        QColor shade;
    };
    static std::array<Answer, 4> answers {};
    static size_t nextSlot = 0;
    const std::array<QRgb, 3> asked {text.rgba(), window.rgba(), base.rgba()};
    for (const Answer& answer : answers) {
        if (answer.shade.isValid() && answer.asked == asked)
            return answer.shade;
    }
    QColor found = text;
    for (double fade = 0.45; fade > 0; fade -= 0.05) {
        const auto mix = [&](float t, float w) { return t + (w - t) * float(fade); };
        const QColor shade = QColor::fromRgbF(mix(text.redF(), window.redF()),
            mix(text.greenF(), window.greenF()), mix(text.blueF(), window.blueF()));
        if (std::min(contrastRatio(shade, window), contrastRatio(shade, base))
            >= kSecondaryContrast) {
            found = shade;
            break;
        }
    }
    answers[nextSlot] = {asked, found};
    nextSlot = (nextSlot + 1) % answers.size();
    return found;
}

QColor accentColor(const QPalette& palette)
{
    return palette.color(QPalette::Highlight);
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

namespace {

// `ink` moved towards white on dark grounds, towards black on light ones, until it reads at
// `ratio` on every one of them.
QColor readableOnAll(const QColor& ink, const QList<QColor>& grounds, double ratio)
{
    const auto reads = [&](const QColor& colour) {
        return std::ranges::all_of(
            grounds, [&](const QColor& ground) { return contrastRatio(colour, ground) >= ratio; });
    };
    if (reads(ink))
        return ink;
    const QColor& first = grounds.first();
    const QColor end = contrastRatio(Qt::white, first) > contrastRatio(Qt::black, first)
        ? QColor(Qt::white)
        : QColor(Qt::black);
    const QColor from = ink.toRgb();
    for (int step = 1; step <= 20; ++step) {
        const float t = float(step) / 20;
        const auto mix = [t](float a, float b) { return a + (b - a) * t; };
        const QColor shade = QColor::fromRgbF(mix(from.redF(), end.redF()),
            mix(from.greenF(), end.greenF()), mix(from.blueF(), end.blueF()));
        if (reads(shade))
            return shade;
    }
    return end;
}

// What text of that role is drawn on. Styles draw a button's face as a gradient around its
// palette colour, lighter on dark palettes (Fusion: up to about half as light again).
QList<QColor> groundsOf(const QPalette& palette, QPalette::ColorRole background)
{
    const QColor colour = palette.color(background);
    if (background != QPalette::Button)
        return {colour};
    return {colour, colour.lighter(150), colour.darker(115)};
}

} // namespace

QColor readableOn(const QColor& ink, const QColor& background, double ratio)
{
    return readableOnAll(ink, {background}, ratio);
}

QColor separatorColor(const QPalette& palette)
{
    // Some dark schemes give Mid nearly the colour of a field, and a card's edge vanishes.
    constexpr double kEdgeContrast = 1.4;
    return readableOnAll(palette.color(QPalette::Mid),
        {palette.color(QPalette::Base), palette.color(QPalette::Window)}, kEdgeContrast);
}

QColor successColor(const QPalette& palette, QPalette::ColorRole background)
{
    return readableOnAll(successColor(), groundsOf(palette, background), kSecondaryContrast);
}

QColor destructiveColor(const QPalette& palette, QPalette::ColorRole background)
{
    return readableOnAll(destructiveColor(), groundsOf(palette, background), kSecondaryContrast);
}

void markDestructive(QWidget& button)
{
    QPalette palette = button.palette();
    // On a dark grey face no red reads at 4.5:1 and still looks red; the face takes the red
    // instead, under light text.
    const QColor face = palette.color(QPalette::Button);
    if (contrastRatio(Qt::white, face) > contrastRatio(Qt::black, face)) {
        QColor tint = destructiveColor();
        tint.setAlphaF(0.4f);
        palette.setColor(QPalette::Button, blended(tint, face));
    }
    palette.setColor(QPalette::ButtonText, destructiveColor(palette, QPalette::Button));
    button.setPalette(palette);
}

QColor blended(const QColor& over, const QColor& under)
{
    const float a = over.alphaF();
    const QColor top = over.toRgb();
    const QColor bottom = under.toRgb();
    const auto mix = [a](float t, float b) { return t * a + b * (1 - a); };
    return QColor::fromRgbF(mix(top.redF(), bottom.redF()), mix(top.greenF(), bottom.greenF()),
        mix(top.blueF(), bottom.blueF()));
}

QPalette withReadablePlaceholders(QPalette palette)
{
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        const QColor field = palette.color(group, QPalette::Base);
        // Often the text colour at half strength: what is seen is that over the field.
        const QColor placeholder = blended(palette.color(group, QPalette::PlaceholderText), field);
        if (contrastRatio(placeholder, field) < kSecondaryContrast) {
            palette.setColor(
                group, QPalette::PlaceholderText, readableOn(secondaryColor(palette), field));
        }
    }
    return palette;
}

namespace {

class PlaceholderKeeper : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange)
            apply();
        return false;
    }

public:
    static void apply()
    {
        const QPalette palette = QApplication::palette();
        const QPalette readable = withReadablePlaceholders(palette);
        // Setting it again sends another change, which then finds nothing to mend.
        if (readable != palette)
            QApplication::setPalette(readable);
    }
};

class WholeLines : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Resize)
            clip(*static_cast<QLabel*>(watched));
        return false;
    }

private:
    // The text laid out as the label lays it out, to find where the last whole line ends: line
    // heights are not the font's line spacing to the pixel, so counting by it cuts a line.
    static void clip(QLabel& label)
    {
        const QRect area = label.contentsRect();
        QString text = label.text();
        text.replace(u'\n', QChar::LineSeparator);
        QTextLayout layout(text, label.font());
        QTextOption option(label.alignment());
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        qreal bottom = 0;
        qreal whole = 0;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(area.width());
            line.setPosition(QPointF(0, bottom));
            bottom += line.height();
            if (bottom <= area.height())
                whole = bottom;
        }
        layout.endLayout();
        if (bottom <= area.height())
            label.clearMask();
        else
            label.setMask(QRegion(0, 0, label.width(), area.top() + int(std::ceil(whole))));
    }
};

} // namespace

void keepPlaceholdersReadable()
{
    static QPointer<PlaceholderKeeper> keeper;
    if (!keeper) {
        keeper = new PlaceholderKeeper(qApp);
        qApp->installEventFilter(keeper);
    }
    PlaceholderKeeper::apply();
}

void showWholeLinesOnly(QLabel& label)
{
    label.installEventFilter(new WholeLines(&label));
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
