#include "app/desktop_shell.h"
#include "app/main_window.h"
#include "app/single_instance.h"
#include "app/vesker_app.h"
#include "connect/invite_handler.h"
#include "focus_guard/focus_guard.h"
#include "platform/desktop_notifications.h"
#include "platform/log.h"
#include "platform/thumbnail_loader.h"
#include "receive/server_controller.h"
#include "send/capture_overlay_view.h"
#include "send/screen_capture.h"
#include "store/item_store.h"
#include "tray/tray_icon.h"
#include "tray/tray_panel_model.h"
#include "ui/app_icon.h"
#include "window/window_manager.h"

#include <QApplication>

#include <cstdio>
#include <memory>

using namespace vesker;

// The process entry: one copy per user, then the application's parts in their order, then the
// main window.
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vesker"));
    QGuiApplication::setDesktopFileName(QStringLiteral("com.halvane.Vesker"));
    QApplication::setWindowIcon(appIcon());
    QApplication::setApplicationVersion(QStringLiteral(VESKER_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);

    // One copy per user: a later launch hands its request (the window, an opened invite link)
    // to the running copy before it touches the store or the port.
    const QString inviteUrl = SingleInstance::inviteArgument(QApplication::arguments());
    SingleInstance instance;
    switch (instance.start(inviteUrl)) {
    case SingleInstance::Outcome::handedOver:
        return 0;
    case SingleInstance::Outcome::unanswered:
        std::fputs("vesker: Vesker is already running but does not answer; not starting a second "
                   "copy over the same files\n",
            stderr);
        return 1;
    case SingleInstance::Outcome::running:
        break;
    }

    platform::DesktopNotifications notifications;
    DesktopShell desktop;
    WindowManager& windows = WindowManager::shared();
    VeskerApp vesker({.notifications = &notifications,
        .desktop = &desktop,
        .applyHideTaskbarEntry = [&windows](bool hide) { windows.applyActivationPolicy(hide); }});
    InviteHandler& invites = vesker.invites();

    // The window is made once; closing it only hides it, and an arrival or a second launch
    // shows it again.
    std::unique_ptr<MainWindow> window;
    const auto makeWindow = [&] {
        if (!window)
            window = std::make_unique<MainWindow>(
                vesker.store(), vesker.server(), invites, vesker.defaults(), &windows);
        window->show();
    };
    windows.setWindowFactory(makeWindow);
    makeWindow();

    TrayPanelModel trayModel(vesker.store(), &vesker.server(), FocusGuard::shared());
    TrayIcon tray({.model = trayModel,
        .defaults = vesker.defaults(),
        .thumbnails = ThumbnailLoader::shared(),
        .capture = ScreenCapture::shared(),
        .windows = &windows});

    const auto openInvite
        = [&](const QString& url) { invites.handle(url, vesker.server().screenName()); };
    QObject::connect(
        &instance, &SingleInstance::showRequested, &app, [&windows] { windows.show(); });
    QObject::connect(&instance, &SingleInstance::inviteOpened, &invites, openInvite);
    qCInfo(lcApp).noquote() << "[app] Vesker" << QApplication::applicationVersion() << "- items in"
                            << vesker.store().rootDir()
                            << "- started:" << vesker.steps().join(u", ");

    if (!inviteUrl.isEmpty())
        openInvite(inviteUrl);

    const int status = QApplication::exec();
    // The window goes before the parts it shows.
    window.reset();
    return status;
}
