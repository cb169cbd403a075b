// A receive side of its own for a shot: settings, store and server in a temporary folder, the
// server on 127.0.0.1.
#pragma once

#include "platform/clock.h"
#include "platform/defaults.h"
#include "receive/server_controller.h"
#include "relay_manager/relay_manager.h"
#include "relay_manager/sibling_sync.h"
#include "store/item_store.h"

#include <QTemporaryDir>

namespace vesker::shots {

struct DemoServer {
    explicit DemoServer(ServerController::Services services = {})
        : controller(store, withOwnParts(std::move(services)))
    { }

    ServerController::Services withOwnParts(ServerController::Services services)
    {
        services.defaults = &defaults;
        services.relay = &relay;
        services.sync = &sync;
        services.listenAddress = QHostAddress::LocalHost;
        return services;
    }

    QTemporaryDir dir;
    platform::Defaults defaults {dir.filePath(QStringLiteral("defaults.json"))};
    ItemStore store {dir.filePath(QStringLiteral("store")), defaults, platform::Clock::system()};
    RelayManager relay {defaults};
    SiblingSync sync;
    ServerController controller;
};

} // namespace vesker::shots
