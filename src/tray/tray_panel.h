#pragma once

#include "platform/coalesced_call.h"
#include "tray/tray_panel_model.h"

#include <QHash>
#include <QPoint>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <optional>

class QCheckBox;
class QLabel;
class QToolButton;
class QVBoxLayout;

namespace vesker {

class ScreenCapture;
class ThumbnailLoader;
class WindowManager;
struct CaptureResult;

// The panel that drops from the tray icon: the server's state and the Inbox count, Do Not
// Disturb and why arrivals wait, an area capture for the Send sheet, the six newest Inbox items
// with Copy and Archive, and the way back to the window. It follows the model while open.
class TrayPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 360;

    struct Services {
        TrayPanelModel& model;
        ThumbnailLoader& thumbnails;
        ScreenCapture& capture;
        // Without one, "Open window" and a finished capture show no window.
        WindowManager* windows = nullptr;
    };

    explicit TrayPanel(Services services, QWidget* parent = nullptr);

    // Shows the panel beside `anchor` (the icon, or where it was clicked), inside that screen.
    void popUpNear(const QRect& anchor);
    // Where the panel opens to tell of a failed capture started from elsewhere.
    void setAnchor(const QRect& anchor) { m_anchor = anchor; }
    // The capture button's action; the panel steps aside while the user drags the box.
    void startCapture();
    std::optional<QString> captureError() const { return m_captureError; }

Q_SIGNALS:
    // A finished capture, for the main window's Send sheet; the window is shown first.
    void captureAndSendRequested(const QUrl& image);

private:
    void scheduleRebuild();
    void rebuild();
    QWidget* makeRow(const RecentRow& row);
    void captureFinished(const CaptureResult& result);
    void setCaptureError(std::optional<QString> text);

    TrayPanelModel& m_model;
    ThumbnailLoader& m_thumbnails;
    ScreenCapture& m_capture;
    QPointer<WindowManager> m_windows;

    QLabel* m_dot = nullptr;
    QLabel* m_count = nullptr;
    QLabel* m_bell = nullptr;
    QCheckBox* m_doNotDisturb = nullptr;
    QLabel* m_holdLine = nullptr;
    QLabel* m_heldBackLine = nullptr;
    QWidget* m_errorBox = nullptr;
    QLabel* m_errorText = nullptr;
    QToolButton* m_errorSettings = nullptr;
    QLabel* m_empty = nullptr;
    QVBoxLayout* m_rows = nullptr;
    // Rows kept while their item looks the same, so a thumbnail is not loaded again on every
    // change to the store.
    struct Shown {
        RecentRow row;
        QPointer<QWidget> widget;
    };
    QHash<QUuid, Shown> m_shown;
    platform::CoalescedCall m_rebuild {this, [this] { rebuild(); }};
    std::optional<QString> m_captureError;
    QRect m_anchor;
};

} // namespace vesker
