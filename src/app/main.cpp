#include "app/desktop_shell.h"
#include "app/single_instance.h"
#include "connect/mac_invite_handler.h"
#include "platform/defaults.h"
#include "platform/desktop_notifications.h"
#include "platform/log.h"
#include "relay_manager/relay_manager.h"
#include "relay_manager/sibling_sync.h"
#include "server/server_controller.h"
#include "store/item_store.h"

#include <QApplication>

#include <cstdio>

using namespace vesker;

// The one place where the program's parts are made and handed to each other.
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vesker"));
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

    const auto openInvite
        = [&](const QString& url) { invites.handle(url, controller.screenName()); };
    QObject::connect(
        &instance, &SingleInstance::showRequested, &app, [&desktop] { desktop.showWindow(); });
    QObject::connect(&instance, &SingleInstance::inviteOpened, &invites, openInvite);
    qCInfo(lcApp).noquote() << "[app] Vesker" << QApplication::applicationVersion() << "- items in"
                            << store.rootDir();

    if (!inviteUrl.isEmpty())
        openInvite(inviteUrl);

    return QApplication::exec();
}
