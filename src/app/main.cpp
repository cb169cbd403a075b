#include "app/desktop_shell.h"
#include "connect/mac_invite_handler.h"
#include "platform/defaults.h"
#include "platform/desktop_notifications.h"
#include "platform/log.h"
#include "relay_manager/relay_manager.h"
#include "relay_manager/sibling_sync.h"
#include "server/server_controller.h"
#include "store/item_store.h"

#include <QApplication>

using namespace vesker;

// The one place where the program's parts are made and handed to each other.
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vesker"));
    QApplication::setApplicationVersion(QStringLiteral(VESKER_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);

    platform::Defaults& defaults = platform::Defaults::standard();
    // The application's own store: folders, index, first-launch items and the cleanup timer.
    ItemStore store(std::nullopt, &defaults);
    RelayManager relay(defaults);
    SiblingSync sync;
    MacInviteHandler invites;
    platform::DesktopNotifications notifications;
    DesktopShell desktop;

    // The receive side starts with the program: its server, the access policy and the hooks.
    ServerController controller(store,
        {.defaults = &defaults,
            .relay = &relay,
            .sync = &sync,
            .invites = &invites,
            .notifications = &notifications,
            .desktop = &desktop});
    qCInfo(lcApp).noquote() << "[app] Vesker" << QApplication::applicationVersion() << "- items in"
                            << store.rootDir();

    return QApplication::exec();
}
