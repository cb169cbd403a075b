#include "shots.h"

#include "send/capture_overlay_view.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

namespace vesker::shots {

namespace {

// A desktop to drag over: the offscreen platform has nothing to grab.
QPixmap desktop(const QSize& size)
{
    QPixmap picture(size);
    QPainter painter(&picture);
    QLinearGradient sky(0, 0, size.width(), size.height());
    sky.setColorAt(0, QColor(0x3a, 0x6e, 0xa5));
    sky.setColorAt(1, QColor(0xe0, 0x8a, 0x5c));
    painter.fillRect(picture.rect(), sky);
    painter.fillRect(QRect(180, 120, 520, 360), QColor(0xf4, 0xf1, 0xea));
    painter.setPen(QColor(0x33, 0x33, 0x33));
    for (int line = 0; line < 10; ++line)
        painter.drawLine(210, 160 + line * 28, 660 - (line % 4) * 50, 160 + line * 28);
    return picture;
}

void drag(QWidget& view, QEvent::Type type, QPoint at)
{
    QMouseEvent event(type, at, view.mapToGlobal(at), Qt::LeftButton,
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, {});
    QCoreApplication::sendEvent(&view, &event);
}

} // namespace

void captureShots()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    CaptureOverlayView view(screen, desktop(QSize(1000, 640)));
    view.resize(1000, 640);
    drag(view, QEvent::MouseButtonPress, QPoint(200, 150));
    drag(view, QEvent::MouseMove, QPoint(520, 330));
    save(view, QStringLiteral("capture_overlay_dragging"));
    // Near the top of the screen the size label goes under the box.
    drag(view, QEvent::MouseButtonRelease, QPoint(520, 330));
    drag(view, QEvent::MouseButtonPress, QPoint(600, 8));
    drag(view, QEvent::MouseMove, QPoint(380, 200));
    save(view, QStringLiteral("capture_overlay_top_edge"));
}

} // namespace vesker::shots
