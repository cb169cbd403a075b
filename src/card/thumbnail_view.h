#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

namespace vesker {

class ThumbnailLoader;

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

    const QImage& image() const { return m_image; }
    bool failed() const { return m_failed; }
    bool isLoading() const { return m_loading; }

Q_SIGNALS:
    void loaded();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    ThumbnailLoader& m_loader;
    QString m_path;
    int m_maxPixel = 0;
    ContentMode m_mode = ContentMode::fit;
    int m_blurRadius = 0;
    QImage m_image;
    bool m_failed = false;
    bool m_loading = false;
};

} // namespace vesker
