#include "send/capture_overlay_view.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

#include <algorithm>
#include <cstdlib>

namespace vesker {

namespace {

constexpr int kMinSide = 4;
constexpr int kLabelGap = 6;

} // namespace

CaptureOverlayView::CaptureOverlayView(QScreen* screen, QPixmap background, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool)
    , m_screen(screen)
    , m_background(std::move(background))
{
    setCursor(Qt::CrossCursor);
    setFocusPolicy(Qt::StrongFocus);
    if (screen) {
        setScreen(screen);
        setGeometry(screen->geometry());
    }
}

QRect CaptureOverlayView::selection() const
{
    if (!m_start || !m_current)
        return {};
    // From the two corners, whichever way the drag went.
    return QRect(std::min(m_start->x(), m_current->x()), std::min(m_start->y(), m_current->y()),
        std::abs(m_current->x() - m_start->x()), std::abs(m_current->y() - m_start->y()));
}

void CaptureOverlayView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(rect(), m_background);
    const QRect area = selection();
    if (area.isEmpty()) {
        painter.fillRect(rect(), QColor(0, 0, 0, 71));
        return;
    }
    // Everything but the area is dimmed: the area shows the screen as it is.
    QPainterPath dimmed;
    dimmed.addRect(rect());
    dimmed.addRect(area);
    painter.fillPath(dimmed, QColor(0, 0, 0, 71));
    painter.setPen(QPen(Qt::white, 1));
    painter.drawRect(QRectF(area).adjusted(0.5, 0.5, -0.5, -0.5));

    const QString label = QStringLiteral("%1 \u00D7 %2").arg(area.width()).arg(area.height());
    QFont font = this->font();
    font.setPixelSize(12);
    font.setWeight(QFont::Medium);
    font.setStyleHint(QFont::TypeWriter, QFont::PreferDefault);
    const QFontMetrics metrics(font);
    const QSize size(metrics.horizontalAdvance(label), metrics.height());
    int y = area.top() - kLabelGap - size.height();
    // No room above the area: below it.
    if (y < 0)
        y = area.bottom() + 1 + kLabelGap;
    const QRect box(area.left() - 4, y - 2, size.width() + 8, size.height() + 4);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 166));
    painter.drawRoundedRect(box, 4, 4);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(QPoint(area.left(), y), size), Qt::AlignLeft | Qt::AlignTop, label);
}

void CaptureOverlayView::mousePressEvent(QMouseEvent* event)
{
    m_start = m_current = event->position().toPoint();
    update();
}

void CaptureOverlayView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_start)
        return;
    m_current = event->position().toPoint();
    update();
}

void CaptureOverlayView::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_start)
        m_current = event->position().toPoint();
    const QRect area = selection();
    m_start.reset();
    m_current.reset();
    update();
    // A plain click, or an area too thin to be meant, ends the capture with nothing.
    if (area.width() >= kMinSide && area.height() >= kMinSide)
        Q_EMIT finished(area);
    else
        Q_EMIT cancelled();
}

void CaptureOverlayView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        Q_EMIT cancelled();
        return;
    }
    QWidget::keyPressEvent(event);
}

CaptureOverlay::CaptureOverlay(QObject* parent)
    : QObject(parent)
{ }

CaptureOverlay::~CaptureOverlay()
{
    qDeleteAll(m_views);
}

QPixmap CaptureOverlay::grabScreen(QScreen* screen)
{
    // Depending on the Qt version, the root window's grab on X11 is this screen or the whole
    // virtual desktop: its size says which.
    const QPixmap grabbed = screen->grabWindow(0);
    const QRect own = screen->geometry();
    if (grabbed.isNull() || grabbed.deviceIndependentSize().toSize() == own.size())
        return grabbed;
    const qreal ratio = grabbed.devicePixelRatio();
    const QPoint offset = own.topLeft() - screen->virtualGeometry().topLeft();
    QPixmap part = grabbed.copy(
        QRect((QPointF(offset) * ratio).toPoint(), (QSizeF(own.size()) * ratio).toSize()));
    part.setDevicePixelRatio(ratio);
    return part;
}

void CaptureOverlay::show()
{
    QList<QPair<QScreen*, QPixmap>> screens;
    for (QScreen* screen : QGuiApplication::screens())
        screens.append({screen, grabScreen(screen)});
    showOn(screens);
}

void CaptureOverlay::showOn(const QList<QPair<QScreen*, QPixmap>>& screens)
{
    m_open = true;
    for (const auto& [screen, picture] : screens) {
        auto* view = new CaptureOverlayView(screen, picture);
        connect(view, &CaptureOverlayView::finished, this, [this, view](const QRect& area) {
            finish(Selection {area, view->coveredScreen()});
        });
        connect(view, &CaptureOverlayView::cancelled, this, [this] { finish(std::nullopt); });
        m_views.append(view);
        view->show();
        view->raise();
    }
    // The keyboard goes to the cover of the screen the user works on, so that Esc reaches it.
    QScreen* primary = QGuiApplication::primaryScreen();
    auto keyed = std::find_if(m_views.cbegin(), m_views.cend(),
        [primary](CaptureOverlayView* view) { return view->coveredScreen() == primary; });
    if (keyed == m_views.cend())
        keyed = m_views.cbegin();
    if (keyed != m_views.cend()) {
        (*keyed)->activateWindow();
        (*keyed)->setFocus();
    }
}

void CaptureOverlay::finish(const std::optional<Selection>& selection)
{
    if (!m_open)
        return;
    m_open = false;
    for (CaptureOverlayView* view : std::as_const(m_views)) {
        view->hide();
        view->deleteLater();
    }
    m_views.clear();
    Q_EMIT ended(selection);
}

} // namespace vesker
