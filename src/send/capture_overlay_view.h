#pragma once

#include <QList>
#include <QPair>
#include <QPixmap>
#include <QPointer>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include <optional>

namespace vesker {

// The dimmed cover of one screen on which the user drags the area to capture. It shows the
// screen as it was when the capture began (an X display without a compositor cannot show
// what lies under a translucent window), dimmed, with the dragged area clear, outlined and
// labelled with its size. The widget that got the press follows the whole drag.
class CaptureOverlayView : public QWidget {
    Q_OBJECT
public:
    CaptureOverlayView(QScreen* screen, QPixmap background, QWidget* parent = nullptr);

    QScreen* coveredScreen() const { return m_screen; }
    // The dragged area in this view's coordinates; empty when nothing is dragged.
    QRect selection() const;

Q_SIGNALS:
    // The area, in this view's coordinates, at least 4 × 4.
    void finished(const QRect& area);
    void cancelled();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPointer<QScreen> m_screen;
    QPixmap m_background;
    std::optional<QPoint> m_start;
    std::optional<QPoint> m_current;
};

// One capture's covers, one per screen, and the single answer they give: the first area
// finished on any of them, or none when the user cancelled. The covers are hidden before the
// answer is given; later answers are ignored.
class CaptureOverlay : public QObject {
    Q_OBJECT
public:
    struct Selection {
        // In the screen's own coordinates (its top-left is 0,0), in device-independent pixels.
        QRect area;
        QPointer<QScreen> screen;
    };

    explicit CaptureOverlay(QObject* parent = nullptr);
    ~CaptureOverlay() override;

    // What the screen shows now, in its device pixels; null when it cannot be grabbed.
    static QPixmap grabScreen(QScreen* screen);

    // Covers every screen, each with a picture of what it shows now.
    void show();
    // Covers the given screens with the given pictures (used where nothing can be grabbed).
    void showOn(const QList<QPair<QScreen*, QPixmap>>& screens);
    const QList<CaptureOverlayView*>& views() const { return m_views; }

Q_SIGNALS:
    void ended(const std::optional<vesker::CaptureOverlay::Selection>& selection);

private:
    void finish(const std::optional<Selection>& selection);

    QList<CaptureOverlayView*> m_views;
    bool m_open = false;
};

} // namespace vesker
