#include "card/zoomable_image_view.h"

#include "ui/symbol_icon.h"
#include "ui/text_style.h"
#include "ui/thumbnail_view.h"

#include <QApplication>
#include <QDrag>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStyleHints>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace vesker {

namespace {

constexpr int kMaxPixel = 3000;
constexpr qreal kCornerRadius = 10;
constexpr qreal kPanThreshold = 2;
constexpr int kToggleMs = 150;
// One notch of a mouse wheel (120) zooms by about a fifth.
constexpr double kWheelStep = 1.0015;

} // namespace

ZoomableImageView::ZoomableImageView(ThumbnailLoader& loader, QWidget* parent)
    : QWidget(parent)
    , m_loader(loader)
{
    setObjectName(QStringLiteral("zoomableImage"));
    m_clickTimer.setSingleShot(true);
    connect(&m_clickTimer, &QTimer::timeout, this, [this] {
        if (m_zoom <= 1)
            Q_EMIT openRequested();
    });
    m_zoomAnimation.setDuration(kToggleMs);
    m_zoomAnimation.setEasingCurve(QEasingCurve::InOutQuad);
    connect(&m_zoomAnimation, &QVariantAnimation::valueChanged, this,
        [this](const QVariant& value) { changeZoom(value.toDouble()); });
    m_spin.setInterval(90);
    connect(&m_spin, &QTimer::timeout, this, [this] {
        ++m_spinPhase;
        update();
    });

    m_errorView = new QWidget(this);
    m_errorView->setObjectName(QStringLiteral("photoError"));
    auto* column = new QVBoxLayout(m_errorView);
    column->setSpacing(8);
    column->setAlignment(Qt::AlignCenter);
    auto* icon = new QLabel(m_errorView);
    const int side = QFontMetrics(vesker::font(TextStyle::title2, font())).height();
    icon->setPixmap(
        symbolIcon(QStringLiteral("exclamationmark.triangle"), palette(), QPalette::PlaceholderText)
            .pixmap(side, side));
    column->addWidget(icon, 0, Qt::AlignHCenter);
    auto* message = new QLabel(unreadableText(), m_errorView);
    setSecondary(*message);
    column->addWidget(message, 0, Qt::AlignHCenter);
    auto* retry = new QPushButton(QStringLiteral("Try again"), m_errorView);
    retry->setObjectName(QStringLiteral("tryAgainButton"));
    connect(retry, &QPushButton::clicked, this,
        [this] { QTimer::singleShot(0, this, [this] { reload(); }); });
    column->addWidget(retry, 0, Qt::AlignHCenter);
    auto* fill = new QVBoxLayout(this);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(m_errorView);
    m_errorView->hide();

    showZoom(1.0);
}

ZoomableImageView::~ZoomableImageView()
{
    m_loader.cancel(m_ticket);
}

void ZoomableImageView::setSource(const QString& path)
{
    // An edit saved over the same file must show too.
    const QFileInfo file(path);
    const auto stamp = std::make_pair(file.lastModified(), file.size());
    if (path == m_path && stamp == m_stamp)
        return;
    if (path != m_path) {
        // Another photo: nothing of how the last one was being looked at carries over.
        m_zoomAnimation.stop();
        m_clickTimer.stop();
        m_offset = {};
        m_pressedAt.reset();
        m_dragStart.reset();
        m_panning = false;
        m_pinchStart.reset();
    }
    m_path = path;
    m_stamp = stamp;
    load(true);
}

void ZoomableImageView::setViewport(QSize viewport)
{
    if (viewport == m_viewport)
        return;
    m_viewport = viewport;
    m_fitted = {};
    updateFrame();
    sharpenIfNeeded();
}

void ZoomableImageView::setMaxZoom(double maxZoom)
{
    m_maxZoom = std::max(1.0, maxZoom);
}

void ZoomableImageView::setZoom(double zoom)
{
    if (zoom == m_zoom)
        return;
    m_zoomAnimation.stop();
    showZoom(zoom);
}

void ZoomableImageView::setDragData(std::function<QMimeData*()> makeData)
{
    m_makeDragData = std::move(makeData);
}

void ZoomableImageView::reload()
{
    load(true);
}

QSizeF ZoomableImageView::fittedSize() const
{
    if (m_image.isNull())
        return m_viewport;
    const double scale = std::min(double(m_viewport.width()) / m_image.width(),
        double(m_viewport.height()) / m_image.height());
    return QSizeF(m_image.width() * scale, m_image.height() * scale);
}

QSizeF ZoomableImageView::displayedSize() const
{
    return fittedSize() * m_zoom;
}

QPointF ZoomableImageView::displayedOffset() const
{
    const QSizeF shown = displayedSize();
    const qreal mx = std::max((shown.width() - width()) * 0.5, 0.0);
    const qreal my = std::max((shown.height() - height()) * 0.5, 0.0);
    return {std::clamp(m_offset.x(), -mx, mx), std::clamp(m_offset.y(), -my, my)};
}

void ZoomableImageView::showZoom(double zoom)
{
    m_zoom = zoom;
    if (m_zoom <= 1) {
        m_offset = {};
        m_dragStart.reset();
        m_panning = false;
    }
    setToolTip(m_zoom > 1
            ? QStringLiteral("Drag to pan · double-click to reset")
            : QStringLiteral("Click to enlarge · double-click or pinch to zoom · drag it into "
                             "another app"));
    setCursor(m_zoom > 1 ? Qt::OpenHandCursor : Qt::PointingHandCursor);
    updateFrame();
    update();
    sharpenIfNeeded();
}

int ZoomableImageView::wantedPixel() const
{
    const int side = std::max(m_viewport.width(), m_viewport.height());
    const double needed = side * devicePixelRatioF() * std::max(1.0, m_zoom);
    // Whole quarters of the limit, so a pinch does not ask for a new picture at every step.
    const int step = kMaxPixel / 4;
    return std::clamp(int(std::ceil(needed / step)) * step, step, kMaxPixel);
}

void ZoomableImageView::sharpenIfNeeded()
{
    // A photo smaller than what was asked has no more pixels to give.
    const bool scaledDown = std::max(m_image.width(), m_image.height()) >= m_loadedPixel - 1;
    if (m_image.isNull() || m_loading || !scaledDown || wantedPixel() <= m_loadedPixel)
        return;
    ++m_generation;
    startLoading();
}

void ZoomableImageView::changeZoom(double zoom)
{
    if (zoom == m_zoom)
        return;
    showZoom(zoom);
    Q_EMIT zoomChanged(zoom);
}

void ZoomableImageView::toggleZoom()
{
    m_zoomAnimation.stop();
    const double target = m_zoom > 1 ? 1.0 : kDoubleClickZoom;
    if (target <= 1)
        m_offset = {};
    m_zoomAnimation.setStartValue(m_zoom);
    m_zoomAnimation.setEndValue(target);
    m_zoomAnimation.start();
}

void ZoomableImageView::updateFrame()
{
    // Unzoomed the frame hugs the photo; zoomed it takes the whole viewport to pan in.
    const QSizeF fitted = fittedSize();
    const bool zoomed = m_zoom > 1;
    const int w = zoomed ? m_viewport.width()
                         : std::min(m_viewport.width(), int(std::ceil(fitted.width() - 0.01)));
    const int h = zoomed ? m_viewport.height()
                         : std::min(m_viewport.height(), int(std::ceil(fitted.height() - 0.01)));
    if (size() != QSize(w, h) || minimumSize() != QSize(w, h))
        setFixedSize(std::max(w, 1), std::max(h, 1));
}

void ZoomableImageView::load(bool force)
{
    if (force) {
        stopLoading();
        m_image = {};
        m_fitted = {};
        m_failed = false;
    }
    if (!m_image.isNull() || (m_loading && !force) || m_path.isEmpty())
        return;
    m_errorView->hide();
    if (isVisible())
        startLoading();
    updateFrame();
    updateSpinner();
    update();
}

void ZoomableImageView::stopLoading()
{
    ++m_generation;
    m_loader.cancel(m_ticket);
    m_ticket = 0;
    m_loading = false;
}

void ZoomableImageView::startLoading()
{
    m_loading = true;
    const quint64 generation = m_generation;
    // Cards show photos far smaller than the limit: a picture of the size shown keeps a list of
    // cards light, and zooming in asks for a sharper one.
    m_loadedPixel = wantedPixel();
    m_ticket = m_loader.loadRetrying(
        m_path, m_loadedPixel, this, [this, generation](const QImage& image) {
            if (generation != m_generation)
                return;
            m_ticket = 0;
            m_loading = false;
            if (!image.isNull())
                m_image = image;
            // A sharper picture that failed leaves the one shown in place.
            else if (m_image.isNull()) {
                m_failed = true;
                m_errorView->show();
            }
            updateFrame();
            updateSpinner();
            update();
        });
}

void ZoomableImageView::updateSpinner()
{
    const bool spinning = isVisible() && m_image.isNull() && !m_failed;
    if (spinning && !m_spin.isActive())
        m_spin.start();
    else if (!spinning)
        m_spin.stop();
}

void ZoomableImageView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_image.isNull() && !m_loading && !m_failed && !m_path.isEmpty())
        startLoading();
    updateSpinner();
}

void ZoomableImageView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    updateSpinner();
}

void ZoomableImageView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    painter.setClipPath(clip);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    if (m_image.isNull()) {
        if (!m_failed)
            paintSpinner(painter, rect(), m_spinPhase, palette().color(QPalette::PlaceholderText));
        return;
    }
    const QSizeF shown = displayedSize();
    const QPointF centre = QRectF(rect()).center() + displayedOffset();
    const QRectF target(centre - QPointF(shown.width() / 2, shown.height() / 2), shown);
    const qreal ratio = std::max<qreal>(1, devicePixelRatioF());
    const QSize fittedPixels = (fittedSize() * ratio).toSize();
    if (m_zoom <= 1 && fittedPixels.width() < m_image.width()) {
        if (m_fitted.size() != fittedPixels)
            m_fitted
                = m_image.scaled(fittedPixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        painter.drawImage(target, m_fitted);
    } else {
        painter.drawImage(target, m_image);
    }
}

void ZoomableImageView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_pressedAt = event->position();
    m_panning = false;
    m_dragStart.reset();
}

void ZoomableImageView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressedAt)
        return;
    const QPointF moved = event->position() - *m_pressedAt;
    if (m_zoom > 1) {
        if (!m_panning && std::hypot(moved.x(), moved.y()) < kPanThreshold)
            return;
        if (!m_dragStart)
            m_dragStart = m_offset;
        m_panning = true;
        setCursor(Qt::ClosedHandCursor);
        m_offset = *m_dragStart + moved;
        update();
        return;
    }
    if (moved.manhattanLength() < QApplication::startDragDistance() || !m_makeDragData)
        return;
    m_pressedAt.reset();
    auto* drag = new QDrag(this);
    drag->setMimeData(m_makeDragData());
    drag->exec(Qt::CopyAction);
}

void ZoomableImageView::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_pressedAt || event->button() != Qt::LeftButton)
        return;
    const bool clicked = !m_panning && rect().contains(event->position().toPoint());
    m_pressedAt.reset();
    m_dragStart.reset();
    if (m_panning) {
        m_panning = false;
        setCursor(Qt::OpenHandCursor);
    }
    // Wait for a possible second click: a double-click zooms and must not open the preview.
    if (clicked && m_zoom <= 1)
        m_clickTimer.start(QGuiApplication::styleHints()->mouseDoubleClickInterval());
}

void ZoomableImageView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_clickTimer.stop();
    m_pressedAt.reset();
    toggleZoom();
}

void ZoomableImageView::wheelEvent(QWheelEvent* event)
{
    // A plain wheel scrolls the list the card sits in; only Ctrl+wheel zooms, as in most
    // viewers embedded in a scrolling page.
    if (!(event->modifiers() & Qt::ControlModifier) || event->angleDelta().y() == 0) {
        event->ignore();
        return;
    }
    m_zoomAnimation.stop();
    const double factor = std::pow(kWheelStep, event->angleDelta().y());
    changeZoom(std::clamp(m_zoom * factor, 1.0, m_maxZoom));
    event->accept();
}

bool ZoomableImageView::event(QEvent* event)
{
    if (event->type() != QEvent::NativeGesture)
        return QWidget::event(event);
    auto* gesture = static_cast<QNativeGestureEvent*>(event);
    switch (gesture->gestureType()) {
    case Qt::BeginNativeGesture:
        m_pinchStart.reset();
        break;
    case Qt::ZoomNativeGesture:
        m_zoomAnimation.stop();
        if (!m_pinchStart) {
            m_pinchStart = m_zoom;
            m_magnification = 1.0;
        }
        // Each step reports its own change; the pinch's magnification is their product.
        m_magnification *= 1.0 + gesture->value();
        changeZoom(std::clamp(*m_pinchStart * m_magnification, 1.0, m_maxZoom));
        break;
    case Qt::EndNativeGesture:
        m_pinchStart.reset();
        break;
    default:
        return QWidget::event(event);
    }
    event->accept();
    return true;
}

} // namespace vesker
