// The program's receive side without its window, for the browser tests: the real store and
// server, settings and folders from the environment as the program reads them, listening on
// 127.0.0.1 only. Lines on standard input stand in for the answers a person gives in the window
// that does not exist yet:
//   approve DEVICE    allow the device once and release what it holds
//   deny DEVICE       decline it
//   relay-once DEVICE let the device send once through this computer to the remote screens it
//                     waits for (the relayed-device card's "Once")
//   fail-writes all   make every later write of the store's index fail, as a full disk does
// Each command is answered "done" on standard output once carried out.
#include "access/access_manager.h"
#include "http/network_addresses.h"
#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/desktop_notifications.h"
#include "platform/host_name.h"
#include "receive/server_controller.h"
#include "relay_manager/relay_manager.h"
#include "relay_manager/sibling_sync.h"
#include "screens/remote_screens_manager.h"
#include "send/relay_forwarder.h"
#include "store/item_store.h"
#include "store/store_cleanup.h"
#include "store/store_seeding.h"
#include "support/fail_device.h"

#include <QGuiApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

using namespace vesker;

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("Vesker"));
    QGuiApplication::setApplicationVersion(QStringLiteral(VESKER_VERSION));
    // This program's own root: the user's settings and folders as the environment names them.
    const platform::Clock& clock = platform::Clock::system();
    platform::Defaults& defaults = platform::Defaults::standard();
    ItemStore store(ItemStore::defaultRoot(), defaults, clock);
    seedStore(store, defaults, clock);
    StoreCleanup cleanup(store, defaults, clock);
    RelayManager relay(defaults);
    SiblingSync sync;
    platform::DesktopNotifications notifications;
    ServerController controller(store,
        {.defaults = defaults,
            .clock = clock,
            .relay = relay,
            .sync = sync,
            .computerName = platform::computerName,
            .networkAddresses = NetworkAddress::current,
            .notifications = notifications,
            .listenAddress = QHostAddress::LocalHost});
    controller.remote().setForwarder(&forwardToRemoteScreen);
    controller.remote().setHoldAsker(&askRemoteScreenAboutHeld);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char line[512];
        const ssize_t n = ::read(STDIN_FILENO, line, sizeof line - 1);
        if (n <= 0) {
            QCoreApplication::quit();
            return;
        }
        const QStringList words = QString::fromUtf8(line, n).simplified().split(u' ');
        for (qsizetype i = 0; i + 1 < words.size(); i += 2) {
            const QString& device = words.at(i + 1);
            if (words.at(i) == u"approve")
                controller.access().approve(device, device, GrantDuration::once);
            else if (words.at(i) == u"deny")
                controller.access().deny(device);
            else if (words.at(i) == u"relay-once") {
                for (const RelayPending& entry : controller.remote().pendingDevices()) {
                    if (entry.deviceID == device)
                        controller.remote().allow(entry.key, GrantDuration::once);
                }
            } else if (words.at(i) == u"fail-writes") {
                store.flush();
                store.setWriteDevice(test::FailDevice::after(0));
            }
        }
        std::fputs("done\n", stdout);
        std::fflush(stdout);
    });
    return QGuiApplication::exec();
}
