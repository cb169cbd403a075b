#pragma once

#include <QDateTime>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <optional>

class QScreen;

namespace vesker {

class CaptureOverlay;

enum class CaptureFailure {
    // The desktop does not let this program take screenshots.
    denied,
    // The user made no usable selection (Esc, a plain click, less than 4 × 4).
    cancelled,
    // The selected screen is gone or gives no picture.
    noDisplay,
    // Capture is not possible on this session, or the picture could not be encoded or written.
    failed,
};

// What the command that started a capture shows for its failure; empty for a cancel.
QString captureFailureText(CaptureFailure failure);

// A finished capture: the PNG written, or why there is none.
struct CaptureResult {
    std::optional<QString> path;
    CaptureFailure failure = CaptureFailure::failed;
};

// Captures an area of a screen that the user drags out, as a PNG file in the private
// temporary folder ("Screen 2026-12-06T23-40-00Z.png"). On X11 it covers every screen with
// a CaptureOverlay and grabs the area from the screen once the covers are gone; on Wayland
// the desktop's screenshot portal does the choosing and the grabbing. Main thread only; one
// capture at a time.
class ScreenCapture : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(const CaptureResult&)>;

    explicit ScreenCapture(QObject* parent = nullptr);
    ~ScreenCapture() override;

    // Runs one capture and calls `done` once, on the main thread. A call while a capture runs
    // is answered at once as cancelled.
    void captureArea(Done done);
    // The covers of the capture running now, while they are shown.
    CaptureOverlay* overlay() const { return m_overlay; }

    static QString fileName(const QDateTime& now);
    // Writes the image as PNG into the private temporary folder; none when that fails.
    static std::optional<QString> writePNG(const QImage& image);

private Q_SLOTS:
    void portalResponse(uint response, const QVariantMap& results);

private:
    void selectionEnded(QScreen* screen, const QRect& area);
    void captureThroughPortal();
    void finish(const CaptureResult& result);

    Done m_done;
    QPointer<CaptureOverlay> m_overlay;
    QString m_portalRequest;
};

} // namespace vesker
