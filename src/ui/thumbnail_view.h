#pragma once

#include "platform/thumbnail_loader.h"

#include <QImage>
#include <QString>
#include <QTimer>
#include <QWidget>

class QLabel;
class QPainter;

namespace vesker {

// A small turning arc in the middle of `area`, for the places that wait for a picture; `phase`
// advances it.
void paintSpinner(QPainter& painter, const QRectF& area, int phase, const QColor& colour);

// A downscaled photo or PDF page, with a faint placeholder and a spinner while it loads and a
// "photo" symbol once it has given up (four attempts, 120 to 480 ms apart, for a file that is
// still being written).
class ThumbnailView : public QWidget {
    Q_OBJECT
public:
    enum class ContentMode { fit, fill };

    ThumbnailView(ThumbnailLoader& loader, QWidget* parent = nullptr);
    ~ThumbnailView() override;

    // Shows another file; the old picture goes at once and a late result for it is ignored.
    void setSource(const QString& path, int maxPixel, ContentMode mode);
    // Painted blurred (a photo from a sender whose photos are hidden).
    void setBlurRadius(int radius);
    // Said under the symbol once loading has given up, where the view is tall enough for it.
    void setFailureText(const QString& text);

    const QImage& image() const { return m_image; }
    bool failed() const { return m_failed; }
    bool isLoading() const { return m_loading; }

Q_SIGNALS:
    void loaded();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void startLoading();
    void stopLoading();
    void updateSpinner();
    void updateFailureText();
    const QImage& blurredImage(QSize target);

    ThumbnailLoader& m_loader;
    QString m_path;
    int m_maxPixel = 0;
    ContentMode m_mode = ContentMode::fit;
    int m_blurRadius = 0;
    QImage m_image;
    bool m_failed = false;
    bool m_loading = false;
    // Bumped for every new source: a result or a retry of an earlier one finds it changed.
    quint64 m_generation = 0;
    ThumbnailLoader::Ticket m_ticket = 0;
    QTimer m_spin;
    int m_spinPhase = 0;
    QLabel* m_failureText = nullptr;
    QImage m_blurred;
    QSize m_blurredFor;
    int m_blurredRadius = 0;
};

} // namespace vesker
