#include "shots.h"

#include "demo_server.h"

#include "access/access_manager.h"
#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/display_wake.h"
#include "receive/server_controller.h"
#include "settings/settings_window.h"
#include "window/window_manager.h"

#include <QTabWidget>

namespace vesker::shots {

void settingsShots()
{
    DemoServer demo({.computerName = [] { return QStringLiteral("Front Desk"); }});
    platform::Defaults& defaults = demo.defaults;
    ServerController& controller = demo.controller;
    platform::DisplayWake wake;
    WindowManager windows(defaults, wake);

    AccessManager& access = controller.access();
    access.approve(
        QStringLiteral("dev-anna"), QStringLiteral("Anna's phone"), GrantDuration::oneDay);
    access.approve(
        QStringLiteral("dev-desk"), QStringLiteral("Reception tablet"), GrantDuration::forever);
    access.block(QStringLiteral("dev-x"), QStringLiteral("Unknown Android"));
    defaults.set(QStringLiteral("accessPolicy"), QStringLiteral("code"));
    defaults.set(QStringLiteral("accessCode"), QStringLiteral("048213"));
    defaults.set(QStringLiteral("allowBrowserScreens"), true);

    SettingsWindow window(controller, defaults, windows, platform::Clock::system());
    save(window, QStringLiteral("settings_general"));
    window.tabs().setCurrentIndex(1);
    save(window, QStringLiteral("settings_access"));
}

} // namespace vesker::shots
