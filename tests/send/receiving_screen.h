// A screen that receives: this very program's server on 127.0.0.1, with its own store and
// settings in a temporary folder.
#pragma once

#include "connect/mac_invite_handler.h"
#include "platform/defaults.h"
#include "relay_manager/relay_manager.h"
#include "relay_manager/sibling_sync.h"
#include "send/mac_browser.h"
#include "server/server_controller.h"
#include "store/item_store.h"
#include "support/manual_clock.h"
#include "support/recording_desktop.h"

#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace vesker::test {

struct Screen {
    QTemporaryDir dir;
    ManualClock clock;
    platform::Defaults defaults {dir.filePath(QStringLiteral("defaults.json"))};
    ItemStore store {dir.filePath(QStringLiteral("store")), &defaults, &clock};
    RelayManager relay {defaults};
    SiblingSync sync;
    MacInviteHandler invites;
    RecordingDesktop desktop;
    std::unique_ptr<ServerController> controller;

    explicit Screen(const QString& policy = QStringLiteral("anyone"))
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        defaults.set(QStringLiteral("serverPort"), probe.serverPort());
        defaults.set(QStringLiteral("accessPolicy"), policy);
        defaults.set(QStringLiteral("accessCode"), QStringLiteral("424242"));
        probe.close();
        controller = std::make_unique<ServerController>(store,
            ServerController::Services {.defaults = &defaults,
                .clock = &clock,
                .relay = &relay,
                .sync = &sync,
                .invites = &invites,
                .computerName = [] { return QStringLiteral("Screen"); },
                .networkAddresses = [] { return QList<NetworkAddress> {}; },
                .hostName = [] { return QStringLiteral("screen"); },
                .desktop = &desktop,
                .listenAddress = QHostAddress::LocalHost});
        EXPECT_TRUE(QTest::qWaitFor([this] { return controller->isRunning(); }, 5000));
    }
    ~Screen() { ItemStore::setRelayAckHandler(nullptr); }

    quint16 port() const { return quint16(defaults.integer(QStringLiteral("serverPort"), 0)); }
    DiscoveredMac mac(const QString& name) const
    {
        return {.name = name, .endpoint = {QStringLiteral("127.0.0.1"), port()}};
    }
    QList<ScreenItem> received() const
    {
        QList<ScreenItem> items = store.items();
        items.removeIf([](const ScreenItem& i) { return i.sender == QLatin1String("Vesker"); });
        std::sort(items.begin(), items.end(),
            [](const ScreenItem& a, const ScreenItem& b) { return a.groupIndex < b.groupIndex; });
        return items;
    }
};

} // namespace vesker::test
