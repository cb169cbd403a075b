#include "shots.h"

#include "app/window_manager.h"
#include "connect/mac_invite_handler.h"
#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/display_wake.h"
#include "relay_manager/relay_manager.h"
#include "relay_manager/sibling_sync.h"
#include "server/access_manager.h"
#include "server/server_controller.h"
#include "settings/settings_window.h"
#include "store/item_store.h"

#include <QTabWidget>
#include <QTemporaryDir>

namespace vesker::shots {

void settingsShots()
{
    QTemporaryDir dir;
    platform::Defaults defaults(dir.filePath(QStringLiteral("defaults.json")));
    ItemStore store(dir.filePath(QStringLiteral("store")), &defaults);
    RelayManager relay(defaults);
    SiblingSync sync;
    MacInviteHandler invites;
    ServerController controller(store,
        ServerController::Services {.defaults = &defaults,
            .relay = &relay,
            .sync = &sync,
            .invites = &invites,
            .computerName = [] { return QStringLiteral("Front Desk"); },
            .listenAddress = QHostAddress::LocalHost});
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
