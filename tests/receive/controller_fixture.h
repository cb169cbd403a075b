#pragma once

#include "platform/defaults.h"
#include "receive/server_controller.h"
#include "relay_manager/relay_manager.h"
#include "relay_manager/sibling_sync.h"
#include "send/screen_browser.h"
#include "store/item_store.h"
#include "support/manual_clock.h"
#include "support/recording_desktop.h"
#include "support/recording_notifications.h"

#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace vesker::test {

// A receiving side on 127.0.0.1 and a fixed free port, with its own settings, store, relay,
// device sync, banners and desktop, and the network addresses and host name the test gives it.
class ReceivingSide {
public:
    ReceivingSide()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        m_defaults.set(QStringLiteral("serverPort"), probe.serverPort());
    }

    std::unique_ptr<ServerController> makeController()
    {
        return std::make_unique<ServerController>(m_store,
            ServerController::Services {.defaults = m_defaults,
                .clock = m_clock,
                .relay = m_relay,
                .sync = m_sync,
                .computerName = [] { return QStringLiteral("Front Desk"); },
                .networkAddresses = [this] { return m_addresses; },
                .hostName = [this] { return m_hostName; },
                .notifications = m_notifications,
                .desktop = &m_desktop,
                .listenAddress = QHostAddress::LocalHost});
    }

    quint16 port() const { return quint16(m_defaults.integer(QStringLiteral("serverPort"), 0)); }

    // What senders stored, without the store's own welcome items, in their groups' order.
    QList<ScreenItem> uploaded() const
    {
        QList<ScreenItem> items = m_store.items();
        items.removeIf([](const ScreenItem& i) { return i.sender == QLatin1String("Vesker"); });
        std::stable_sort(items.begin(), items.end(),
            [](const ScreenItem& a, const ScreenItem& b) { return a.groupIndex < b.groupIndex; });
        return items;
    }

protected:
    QTemporaryDir m_dir;
    ManualClock m_clock;
    platform::Defaults m_defaults {m_dir.filePath(QStringLiteral("defaults.json")), m_clock};
    ItemStore m_store {m_dir.filePath(QStringLiteral("store")), m_defaults, m_clock};
    RelayManager m_relay {m_defaults};
    SiblingSync m_sync;
    QList<NetworkAddress> m_addresses;
    QString m_hostName = QStringLiteral("box");
    RecordingNotifications m_notifications;
    RecordingDesktop m_desktop;
};

class ControllerTest : public ::testing::Test, public ReceivingSide {
protected:
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
};

// A whole screen that receives, for the sending side's tests, with the access code 424242.
struct Screen : ReceivingSide {
    std::unique_ptr<ServerController> controller;

    explicit Screen(const QString& policy = QStringLiteral("anyone"))
    {
        m_defaults.set(QStringLiteral("accessPolicy"), policy);
        m_defaults.set(QStringLiteral("accessCode"), QStringLiteral("424242"));
        controller = makeController();
        EXPECT_TRUE(QTest::qWaitFor([this] { return controller->isRunning(); }, 5000));
    }
    DiscoveredScreen mac(const QString& name) const
    {
        return {.name = name, .endpoint = {QStringLiteral("127.0.0.1"), port()}};
    }
};

} // namespace vesker::test
