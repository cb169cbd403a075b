#pragma once

#include "platform/thumbnail_loader.h"

#include <QDateTime>
#include <QImage>
#include <QPointF>
#include <QTimer>
#include <QVariantAnimation>
#include <QWidget>

#include <functional>
#include <optional>
#include <utility>

class QMimeData;

namespace vesker {

// The large card's photo, zoomed and panned in place. Unzoomed it hugs the photo fitted into the
// viewport the card gives: a click opens the preview, a drag takes the file to another
// application. Zoomed it fills the viewport and a drag pans. The zoom factor belongs to the card
// (it outlives this widget while the card scrolls away and back); the pan offset is the view's.
class ZoomableImageView : public QWidget {
    Q_OBJECT
public:
    static constexpr double kDoubleClickZoom = 2.5;
    // What a card says of a photo that cannot be decoded, in every layout.
    static QString unreadableText() { return QStringLiteral("This photo could not be opened"); }

    explicit ZoomableImageView(ThumbnailLoader& loader, QWidget* parent = nullptr);
    ~ZoomableImageView() override;

    void setSource(const QString& path);
    void setViewport(QSize viewport);
    void setMaxZoom(double maxZoom);
    // The card's factor; not announced back.
    void setZoom(double zoom);
    double zoom() const { return m_zoom; }
    // What a drag out of the unzoomed photo carries.
    void setDragData(std::function<QMimeData*()> makeData);
    // Loads the file again, whatever is shown (an edited photo, "Try again").
    void reload();

    const QImage& image() const { return m_image; }
    bool failed() const { return m_failed; }
    // The photo fitted into the viewport at factor 1; the viewport itself until it is loaded.
    QSizeF fittedSize() const;
    // The pan offset as drawn: a drag past an edge keeps counting, but the picture stops there.
    QPointF displayedOffset() const;

Q_SIGNALS:
    // A change the user made: wheel, pinch, double-click.
    void zoomChanged(double zoom);
    // A single click on the unzoomed photo, once no second click followed.
    void openRequested();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void load(bool force);
    void startLoading();
    void stopLoading();
    // The longer side the picture needs at this viewport and zoom, in steps up to the limit.
    int wantedPixel() const;
    // Loads a sharper picture when a zoom or a larger viewport needs one, keeping the one shown.
    void sharpenIfNeeded();
    void showZoom(double zoom);
    void changeZoom(double zoom);
    void toggleZoom();
    void updateFrame();
    void updateSpinner();
    QSizeF displayedSize() const;

    ThumbnailLoader& m_loader;
    QString m_path;
    std::pair<QDateTime, qint64> m_stamp;
    QSize m_viewport {120, 120};
    double m_maxZoom = 6.0;
    double m_zoom = 1.0;
    QImage m_image;
    // The photo at its fitted size: drawn at factor 1 without the jagged edges of a large
    // downscale.
    QImage m_fitted;
    bool m_failed = false;
    bool m_loading = false;
    // The longer side asked of the loader for the picture shown (or being loaded).
    int m_loadedPixel = 0;
    quint64 m_generation = 0;
    ThumbnailLoader::Ticket m_ticket = 0;

    QPointF m_offset;
    std::optional<QPointF> m_pressedAt;
    std::optional<QPointF> m_dragStart;
    bool m_panning = false;
    std::optional<double> m_pinchStart;
    double m_magnification = 1.0;
    std::function<QMimeData*()> m_makeDragData;
    QTimer m_clickTimer;
    QVariantAnimation m_zoomAnimation;
    QTimer m_spin;
    int m_spinPhase = 0;
    QWidget* m_errorView = nullptr;
};

} // namespace vesker
