#pragma once

#include "connect/mac_invite_handler.h"
#include "platform/defaults.h"
#include "relay_manager/relay_manager.h"
#include "relay_manager/sibling_sync.h"
#include "server/server_controller.h"
#include "store/item_store.h"
#include "support/manual_clock.h"
#include "support/recording_desktop.h"

#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace vesker::test {

// A controller on 127.0.0.1 and a fixed free port, with its own settings, store, relay, device
// sync and invite handler, and the network addresses and host name the test gives it.
class ControllerTest : public ::testing::Test {
protected:
    QTemporaryDir m_dir;
    ManualClock m_clock;
    platform::Defaults m_defaults {m_dir.filePath(QStringLiteral("defaults.json"))};
    ItemStore m_store {m_dir.filePath(QStringLiteral("store")), &m_defaults, &m_clock};
    RelayManager m_relay {m_defaults};
    SiblingSync m_sync;
    MacInviteHandler m_invites;
    QList<NetworkAddress> m_addresses;
    QString m_hostName = QStringLiteral("box");
    platform::DesktopNotifications* m_notificationService = nullptr; // none: our own
    RecordingDesktop m_desktop;

    ControllerTest()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        m_defaults.set(QStringLiteral("serverPort"), probe.serverPort());
    }
    ~ControllerTest() override { ItemStore::setRelayAckHandler(nullptr); }

    std::unique_ptr<ServerController> makeController()
    {
        return std::make_unique<ServerController>(m_store,
            ServerController::Services {.defaults = &m_defaults,
                .clock = &m_clock,
                .relay = &m_relay,
                .sync = &m_sync,
                .invites = &m_invites,
                .computerName = [] { return QStringLiteral("Front Desk"); },
                .networkAddresses = [this] { return m_addresses; },
                .hostName = [this] { return m_hostName; },
                .notifications = m_notificationService,
                .desktop = &m_desktop,
                .listenAddress = QHostAddress::LocalHost});
    }

    static bool waitUntilRunning(const ServerController& c)
    {
        return QTest::qWaitFor([&] { return c.isRunning(); }, 5000);
    }

    // The reply of the controller's router, waited for: an upload is answered once it is saved.
    static HTTPResponse route(ServerController& c, const HTTPRequest& request)
    {
        std::optional<HTTPResponse> reply;
        c.route(request, [&reply](HTTPResponse r) { reply = std::move(r); });
        (void)QTest::qWaitFor([&] { return reply.has_value(); }, 5000);
        return reply.value_or(HTTPResponse::text(599, "no reply"));
    }

    quint16 port() const { return quint16(m_defaults.integer(QStringLiteral("serverPort"), 0)); }
};

} // namespace vesker::test
