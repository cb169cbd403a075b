#include "ui/thumbnail_view.h"

#include "ui/symbol_icon.h"
#include "ui/text_style.h"

#include <QLabel>

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace vesker {

namespace {

constexpr qreal kCornerRadius = 8;

QColor faint(const QPalette& palette)
{
    QColor colour = palette.color(QPalette::WindowText);
    colour.setAlphaF(0.08);
    return colour;
}

// One horizontal and one vertical running-sum pass; twice gives a soft, nearly Gaussian blur at
// a cost that does not depend on the radius.
void boxBlurPass(QImage& image, int radius)
{
    const int width = image.width();
    const int height = image.height();
    QImage out(image.size(), image.format());
    const auto blurLine = [radius](const QRgb* in, QRgb* result, int count, int stride) {
        for (int i = 0; i < count; ++i) {
            int r = 0, g = 0, b = 0, n = 0;
            for (int k = std::max(0, i - radius); k <= std::min(count - 1, i + radius); ++k) {
                const QRgb pixel = in[k * stride];
                r += qRed(pixel);
                g += qGreen(pixel);
                b += qBlue(pixel);
                ++n;
            }
            result[i * stride] = qRgb(r / n, g / n, b / n);
        }
    };
    for (int y = 0; y < height; ++y)
        blurLine(reinterpret_cast<const QRgb*>(image.constScanLine(y)),
            reinterpret_cast<QRgb*>(out.scanLine(y)), width, 1);
    const int stride = int(out.bytesPerLine() / sizeof(QRgb));
    for (int x = 0; x < width; ++x)
        blurLine(reinterpret_cast<const QRgb*>(out.constBits()) + x,
            reinterpret_cast<QRgb*>(image.bits()) + x, height, stride);
}

} // namespace

void paintSpinner(QPainter& painter, const QRectF& area, int phase, const QColor& colour)
{
    const qreal side = std::min<qreal>(16, std::min(area.width(), area.height()) / 2);
    if (side < 4)
        return;
    const QRectF ring(area.center() - QPointF(side / 2, side / 2), QSizeF(side, side));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour, 2, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(ring, -phase * 30 * 16, 270 * 16);
    painter.restore();
}

ThumbnailView::ThumbnailView(ThumbnailLoader& loader, QWidget* parent)
    : QWidget(parent)
    , m_loader(loader)
{
    m_spin.setInterval(90);
    connect(&m_spin, &QTimer::timeout, this, [this] {
        ++m_spinPhase;
        update();
    });
}

ThumbnailView::~ThumbnailView()
{
    m_loader.cancel(m_ticket);
}

void ThumbnailView::setSource(const QString& path, int maxPixel, ContentMode mode)
{
    m_mode = mode;
    if (path == m_path && maxPixel == m_maxPixel) {
        update();
        return;
    }
    m_path = path;
    m_maxPixel = maxPixel;
    stopLoading();
    m_image = {};
    m_failed = false;
    updateFailureText();
    if (isVisible())
        startLoading();
    updateSpinner();
    update();
}

void ThumbnailView::setBlurRadius(int radius)
{
    if (radius == m_blurRadius)
        return;
    m_blurRadius = radius;
    update();
}

void ThumbnailView::setFailureText(const QString& text)
{
    if (!m_failureText) {
        m_failureText = new QLabel(this);
        m_failureText->setObjectName(QStringLiteral("thumbnailFailure"));
        m_failureText->setTextFormat(Qt::PlainText);
        m_failureText->setWordWrap(true);
        m_failureText->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        m_failureText->setAttribute(Qt::WA_TransparentForMouseEvents);
        setTextStyle(*m_failureText, TextStyle::caption);
        setSecondary(*m_failureText);
    }
    m_failureText->setText(text);
    updateFailureText();
}

void ThumbnailView::updateFailureText()
{
    if (!m_failureText)
        return;
    // Beneath the symbol, which sits a little above the middle while there is text.
    m_failureText->setGeometry(6, height() / 2 + 10, width() - 12, height() / 2 - 14);
    m_failureText->setVisible(m_failed && m_image.isNull() && !m_failureText->text().isEmpty()
        && height() >= 80);
}

void ThumbnailView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updateFailureText();
}

void ThumbnailView::stopLoading()
{
    ++m_generation;
    m_loader.cancel(m_ticket);
    m_ticket = 0;
    m_loading = false;
}

void ThumbnailView::startLoading()
{
    if (m_path.isEmpty())
        return;
    m_loading = true;
    // Pixels of the screen, not points; a blurred picture stays tiny whatever the screen, so
    // that nothing in it can be made out.
    const int pixels = m_blurRadius > 0
        ? m_maxPixel
        : int(std::ceil(m_maxPixel * std::max<qreal>(1, devicePixelRatioF())));
    const quint64 generation = m_generation;
    m_ticket = m_loader.loadRetrying(m_path, pixels, this, [this, generation](const QImage& image) {
        if (generation != m_generation)
            return;
        m_ticket = 0;
        m_loading = false;
        m_image = image;
        m_failed = image.isNull();
        updateSpinner();
        updateFailureText();
        update();
        if (!m_failed)
            Q_EMIT loaded();
    });
}

void ThumbnailView::updateSpinner()
{
    const bool spinning = isVisible() && m_image.isNull() && !m_failed;
    if (spinning && !m_spin.isActive())
        m_spin.start();
    else if (!spinning)
        m_spin.stop();
}

void ThumbnailView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_image.isNull() && !m_loading && !m_failed)
        startLoading();
    updateSpinner();
}

void ThumbnailView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    updateSpinner();
}

const QImage& ThumbnailView::blurredImage(QSize target)
{
    if (m_blurredFor != target || m_blurredRadius != m_blurRadius
        || m_blurred.size() != m_image.size() || m_blurred.isNull()) {
        // The radius is in points of the shown picture; the blur runs on the small image.
        const qreal factor = qreal(std::max(m_image.width(), m_image.height()))
            / std::max(1, std::max(target.width(), target.height()));
        const int radius = std::max(1, int(std::lround(m_blurRadius * factor)));
        m_blurred = m_image.convertToFormat(QImage::Format_RGB32);
        boxBlurPass(m_blurred, radius);
        boxBlurPass(m_blurred, radius);
        m_blurredFor = target;
        m_blurredRadius = m_blurRadius;
    }
    return m_blurred;
}

void ThumbnailView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF area = rect();
    QPainterPath clip;
    clip.addRoundedRect(area, kCornerRadius, kCornerRadius);

    if (m_image.isNull()) {
        painter.fillPath(clip, faint(palette()));
        if (m_failed) {
            const int side = std::min(24, std::min(width(), height()) / 2);
            const QIcon icon
                = symbolIcon(QStringLiteral("photo"), palette(), QPalette::PlaceholderText);
            const QPoint centre = rect().center()
                - QPoint(0, m_failureText && m_failureText->isVisible() ? side / 2 : 0);
            icon.paint(&painter, QRect(centre - QPoint(side / 2, side / 2), QSize(side, side)));
        } else {
            paintSpinner(painter, area, m_spinPhase, palette().color(QPalette::PlaceholderText));
        }
        return;
    }

    painter.setClipPath(clip);
    const QSizeF shown = QSizeF(m_image.size())
                             .scaled(area.size(),
                                 m_mode == ContentMode::fill ? Qt::KeepAspectRatioByExpanding
                                                             : Qt::KeepAspectRatio);
    const QRectF target(area.center() - QPointF(shown.width() / 2, shown.height() / 2), shown);
    if (m_blurRadius > 0)
        painter.drawImage(target, blurredImage(target.size().toSize()));
    else
        painter.drawImage(target, m_image);
}

} // namespace vesker
