#pragma once

#include "tray/tray_panel.h"

#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QSystemTrayIcon>

class QAction;
class QMenu;

namespace vesker {

class TrayPanelModel;
class ScreenCapture;
class ThumbnailLoader;
class WindowManager;

namespace platform {
class Defaults;
}

// The program's icon in the desktop's tray: the application icon with the Inbox count painted
// in, the count in its tooltip, the panel on a click and the main commands on a right click (some
// trays never pass a click on). Shown while "showInMenuBar" is on, at once when it changes. Where
// the desktop has no tray the program runs without one, and draws nothing for it.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    struct Services {
        TrayPanelModel& model;
        platform::Defaults& defaults;
        ThumbnailLoader& thumbnails;
        ScreenCapture& capture;
        WindowManager* windows = nullptr;
    };

    explicit TrayIcon(Services services, QObject* parent = nullptr);
    ~TrayIcon() override;

    // The icon as drawn for a count, `side` pixels square.
    static QPixmap iconPixmap(int inboxCount, int side);

    QSystemTrayIcon& trayIcon() { return m_tray; }
    QMenu* contextMenu() const { return m_menu.get(); }
    // Made the first time it is opened.
    TrayPanel* panel() const { return m_panel; }
    void openPanel();

Q_SIGNALS:
    // The panel's capture, for the main window's Send sheet.
    void captureAndSendRequested(const QUrl& image);

private:
    void updateLabel();
    // Brings the tooltip and, when the badge changed, the picture up to the count.
    void drawLabel();
    void applyShowTrayIcon();
    TrayPanel& ensurePanel();
    QRect anchor() const;

    TrayPanelModel& m_model;
    platform::Defaults& m_defaults;
    ThumbnailLoader& m_thumbnails;
    ScreenCapture& m_capture;
    QPointer<WindowManager> m_windows;
    QSystemTrayIcon m_tray;
    std::unique_ptr<QMenu> m_menu;
    QAction* m_doNotDisturb = nullptr;
    QPointer<TrayPanel> m_panel;
    int m_shownCount = -1;
    // What the drawn picture shows: the badge's text (empty: no badge); null before the first.
    QString m_shownBadge;
};

} // namespace vesker
