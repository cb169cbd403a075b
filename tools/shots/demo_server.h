// A receive side of its own for a shot: settings, store and server in a temporary folder, the
// server on 127.0.0.1, and no banners.
#pragma once

#include "shots.h"
#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/desktop_notifications.h"
#include "receive/server_controller.h"
#include "relay_manager/relay_manager.h"
#include "relay_manager/sibling_sync.h"
#include "store/item_store.h"

#include <QDBusConnection>
#include <QTemporaryDir>

#include <functional>

namespace vesker::shots {

// What a shot shows of the computer: no name unless given, and the demo address.
struct DemoComputer {
    std::function<QString()> computerName;
    std::function<QList<NetworkAddress>()> networkAddresses = demoAddresses;
};

struct DemoServer {
    explicit DemoServer(DemoComputer computer = {})
        : controller(store,
            {.defaults = defaults,
                .clock = clock,
                .relay = relay,
                .sync = sync,
                .computerName = std::move(computer.computerName),
                .networkAddresses = std::move(computer.networkAddresses),
                .notifications = notifications,
                .listenAddress = QHostAddress::LocalHost})
    { }

    QTemporaryDir dir;
    const platform::Clock& clock = platform::Clock::system();
    platform::Defaults defaults {dir.filePath(QStringLiteral("defaults.json")), clock};
    ItemStore store {dir.filePath(QStringLiteral("store")), defaults, clock};
    RelayManager relay {defaults};
    SiblingSync sync;
    // On a bus connection never opened: an arrival during a shot shows nothing.
    platform::DesktopNotifications notifications {QDBusConnection(QStringLiteral("shots"))};
    ServerController controller;
};

} // namespace vesker::shots
