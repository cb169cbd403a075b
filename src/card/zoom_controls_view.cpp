#include "card/zoom_controls_view.h"

#include "ui/symbol_icon.h"
#include "ui/text_style.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace vesker {

namespace {

// The slider counts hundredths so that it moves smoothly.
constexpr int kSteps = 100;

// The slider's two ends step the zoom: they look like buttons, so they are ones.
QToolButton* stepButton(
    const QString& name, const QString& symbol, const QString& title, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setAccessibleName(title);
    button->setToolTip(title);
    button->setAutoRaise(true);
    button->setAutoRepeat(true);
    const int side = QFontMetrics(parent->font()).height();
    button->setIconSize({side, side});
    button->setIcon(symbolIcon(symbol, parent->palette(), QPalette::ButtonText));
    return button;
}

} // namespace

ZoomControls::ZoomControls(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("zoomControls"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addStretch(1);
    auto* out = stepButton(QStringLiteral("zoomOut"), QStringLiteral("minus.magnifyingglass"),
        QStringLiteral("Zoom out"), this);
    connect(out, &QToolButton::clicked, this, [this] { step(-kZoomStep); });
    row->addWidget(out);

    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setObjectName(QStringLiteral("zoomSlider"));
    m_slider->setAccessibleName(QStringLiteral("Zoom"));
    m_slider->setRange(kSteps, int(kMaxZoom * kSteps));
    m_slider->setFixedWidth(260);
    connect(m_slider, &QSlider::valueChanged, this, [this](int value) {
        display(double(value) / kSteps);
        Q_EMIT zoomChanged(m_zoom);
    });
    row->addWidget(m_slider);
    auto* in = stepButton(QStringLiteral("zoomIn"), QStringLiteral("plus.magnifyingglass"),
        QStringLiteral("Zoom in"), this);
    connect(in, &QToolButton::clicked, this, [this] { step(kZoomStep); });
    row->addWidget(in);

    m_factor = new QLabel(this);
    m_factor->setObjectName(QStringLiteral("zoomFactor"));
    setTextStyle(*m_factor, TextStyle::caption);
    setSecondary(*m_factor);
    // Digits of equal width, so that the label does not jitter while the slider moves.
    QFont digits = m_factor->font();
    digits.setStyleHint(QFont::Monospace);
    digits.setFamily(QStringLiteral("monospace"));
    m_factor->setFont(digits);
    m_factor->setFixedWidth(
        std::max(36, QFontMetrics(digits).horizontalAdvance(QStringLiteral("6.0×")) + 4));
    row->addWidget(m_factor);

    m_reset = new QPushButton(QStringLiteral("Reset"), this);
    m_reset->setObjectName(QStringLiteral("zoomReset"));
    m_reset->setFlat(true);
    setTextStyle(*m_reset, TextStyle::caption);
    m_reset->setGraphicsEffect(new QGraphicsOpacityEffect(m_reset));
    connect(m_reset, &QPushButton::clicked, this, [this] {
        setZoom(1.0);
        Q_EMIT zoomChanged(m_zoom);
    });
    row->addWidget(m_reset);
    row->addStretch(1);
    setZoom(1.0);
}

void ZoomControls::setZoom(double zoom)
{
    const QSignalBlocker quiet(m_slider);
    m_slider->setValue(int(std::lround(zoom * kSteps)));
    display(zoom);
}

void ZoomControls::step(double by)
{
    const double zoom = std::clamp(m_zoom + by, 1.0, kMaxZoom);
    if (zoom == m_zoom)
        return;
    setZoom(zoom);
    Q_EMIT zoomChanged(m_zoom);
}

void ZoomControls::display(double zoom)
{
    m_zoom = zoom;
    m_factor->setText(QString::asprintf("%.1f×", zoom));
    // Kept in the row while hidden, so that the slider does not move when it appears.
    const bool zoomed = zoom > 1;
    m_reset->setEnabled(zoomed);
    static_cast<QGraphicsOpacityEffect*>(m_reset->graphicsEffect())->setOpacity(zoomed ? 1 : 0);
}

} // namespace vesker
