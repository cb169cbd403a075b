#include "controller_fixture.h"
#include "platform/defaults.h"
#include "relay_manager/relay_manager.h"
#include "relay_manager/sibling_sync.h"
#include "server/access_manager.h"
#include "server/server_controller.h"
#include "store/item_store.h"
#include "support/manual_clock.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace vesker;
using namespace vesker::test;

TEST(ServerControllerRules, PortOutsideTheUserRangeFallsBackTo8787)
{
    QTemporaryDir dir;
    platform::Defaults d(dir.filePath(QStringLiteral("d.json")));
    const QList<std::pair<QJsonValue, quint16>> rows {{1023, 8787}, {65536, 8787}, {-5, 8787},
        {QStringLiteral("abc"), 8787}, {1024, 1024}, {65535, 65535}, {8080.5, 8787},
        {QJsonValue(), 8787}};
    for (const auto& [value, expected] : rows) {
        d.set(QStringLiteral("serverPort"), value);
        EXPECT_EQ(ServerController::port(d), expected)
            << value.toVariant().toString().toStdString();
    }
}

TEST(ServerControllerRules, ScreenNameFallsBackToTheComputerThenMyMac)
{
    QTemporaryDir dir;
    platform::Defaults d(dir.filePath(QStringLiteral("d.json")));
    d.set(QStringLiteral("screenName"), QStringLiteral(" \n "));
    EXPECT_EQ(ServerController::screenName(d, QStringLiteral("Studio")), QStringLiteral("Studio"));
    EXPECT_EQ(ServerController::screenName(d, QString()), QStringLiteral("My Mac"));
    d.set(QStringLiteral("screenName"), QStringLiteral("  Counter 2\n"));
    EXPECT_EQ(
        ServerController::screenName(d, QStringLiteral("Studio")), QStringLiteral("Counter 2"));
    d.set(QStringLiteral("advertiseOnNetwork"), QStringLiteral("false"));
    EXPECT_TRUE(ServerController::advertiseOnNetwork(d)) << "only a Bool false turns it off";
    d.set(QStringLiteral("serverInterface"), QStringLiteral("Wifi"));
    EXPECT_FALSE(ServerController::interfaceKind(d));
}

TEST_F(ControllerTest, ListensAndKeepsListeningThroughRestartsOnAFixedPort)
{
    m_defaults.set(QStringLiteral("advertiseOnNetwork"), false);
    m_defaults.set(QStringLiteral("advertisedName"), QStringLiteral("stale"));
    auto controller = makeController();
    ASSERT_TRUE(waitUntilRunning(*controller)) << controller->statusText().toStdString();
    const QString listening = QStringLiteral("Listening on port %1 (not discoverable)").arg(port());
    EXPECT_EQ(controller->statusText(), listening);
    EXPECT_FALSE(m_defaults.contains(QStringLiteral("advertisedName")));

    controller->restart();
    controller->restart();
    ASSERT_TRUE(waitUntilRunning(*controller)) << controller->statusText().toStdString();
    EXPECT_EQ(controller->statusText(), listening);
    // A late report of a replaced server must not turn the status back.
    QTest::qWait(100);
    EXPECT_TRUE(controller->isRunning());
    EXPECT_EQ(controller->statusText(), listening);
}

TEST_F(ControllerTest, APortInUseIsReportedAndTheAddressesStillShown)
{
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::LocalHost, port()));
    m_addresses
        = {{QStringLiteral("eth0"), QStringLiteral("Ethernet"), QStringLiteral("10.0.0.5")}};
    auto controller = makeController();
    EXPECT_TRUE(controller->statusText().startsWith(QStringLiteral("Could not start: ")))
        << controller->statusText().toStdString();
    EXPECT_FALSE(controller->isRunning());
    EXPECT_EQ(
        controller->addresses(), QStringList {QStringLiteral("http://10.0.0.5:%1").arg(port())});
}

TEST_F(ControllerTest, RenamingToTheSameTrimmedNameDoesNotRestart)
{
    m_defaults.set(QStringLiteral("screenName"), QStringLiteral("Counter"));
    auto controller = makeController();
    QSignalSpy replaced(controller->server(), &QObject::destroyed);
    controller->setScreenName(QStringLiteral("  Counter \n"));
    EXPECT_EQ(replaced.count(), 0);
    controller->setScreenName(QStringLiteral(" Desk "));
    EXPECT_EQ(replaced.count(), 1);
    EXPECT_EQ(m_defaults.string(QStringLiteral("screenName")), QStringLiteral("Desk"));
    EXPECT_EQ(controller->server()->config().serviceName, QStringLiteral("Desk"));
}

TEST_F(ControllerTest, ARequestIsAnsweredOnTheMainThreadAndWith503OnceTheControllerIsGone)
{
    auto controller = makeController();
    ASSERT_TRUE(waitUntilRunning(*controller));
    const QByteArray reply = exchange(port(), "GET /later-route HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_TRUE(reply.startsWith("HTTP/1.1 404 Not Found\r\n")) << reply.constData();
    EXPECT_TRUE(reply.endsWith("\r\n\r\nNot found"));

    // A request already on its way when the controller goes still gets an answer.
    HTTPHandler handler = controller->requestHandler();
    std::optional<HTTPResponse> late;
    handler(HTTPRequest {}, [&late](HTTPResponse r) { late = std::move(r); });
    controller.reset();
    (void)QTest::qWaitFor([&] { return late.has_value(); }, 2000);
    ASSERT_TRUE(late);
    EXPECT_EQ(late->status, 503);
    EXPECT_EQ(late->body, QByteArray("Server stopped"));
    std::optional<HTTPResponse> after;
    handler(HTTPRequest {}, [&after](HTTPResponse r) { after = std::move(r); });
    ASSERT_TRUE(after) << "answered at once, on the server's thread";
    EXPECT_EQ(after->status, 503);
}

TEST_F(ControllerTest, AddressesFollowTheInterfaceAndPreferredAddressSettings)
{
    const NetworkAddress wired {
        QStringLiteral("enp3s0"), QStringLiteral("Ethernet"), QStringLiteral("192.168.1.20")};
    const NetworkAddress wifi {
        QStringLiteral("wlan0"), QString::fromUtf8("Wi\u2011Fi"), QStringLiteral("192.168.1.30")};
    const NetworkAddress bridge {
        QStringLiteral("br0"), QStringLiteral("br0"), QStringLiteral("10.1.0.1")};
    m_addresses = {bridge, wired, wifi};
    auto controller = makeController();
    const QString p = u':' + QString::number(port());
    EXPECT_EQ(controller->networkAddresses(), m_addresses);

    m_defaults.set(QStringLiteral("serverInterface"), QStringLiteral("wifi"));
    m_defaults.set(QStringLiteral("preferredAddress"), QStringLiteral("10.9.9.9"));
    controller->refreshAddresses();
    EXPECT_EQ(controller->addresses(), QStringList {QStringLiteral("http://192.168.1.30") + p});

    m_addresses = {bridge, wired};
    m_defaults.set(QStringLiteral("preferredAddress"), QStringLiteral("192.168.1.20"));
    controller->refreshAddresses();
    EXPECT_EQ(controller->networkAddresses(), (QList<NetworkAddress> {wired, bridge}))
        << "no Wi-Fi address: all are kept, the preferred first";

    m_addresses.clear();
    m_hostName = QStringLiteral("box.local");
    controller->refreshAddresses();
    EXPECT_EQ(controller->addresses(), QStringList {QStringLiteral("http://box.local") + p});
    EXPECT_EQ(controller->pairingURL(), QStringLiteral("http://box.local") + p);

    m_defaults.set(QStringLiteral("accessPolicy"), QStringLiteral("code"));
    m_defaults.set(QStringLiteral("accessCode"), QStringLiteral("a b&c-1é"));
    EXPECT_EQ(controller->pairingURL(),
        QStringLiteral("http://box.local") + p + QStringLiteral("/?code=a%20b%26c%2D1%C3%A9"));

    m_hostName = QStringLiteral("box");
    controller->refreshAddresses();
    EXPECT_FALSE(controller->pairingURL());
}

TEST_F(ControllerTest, WiresTheRelayTheStoreTheInvitesAndDeviceSync)
{
    QJsonArray hosted;
    hosted.append(
        QJsonObject {{QStringLiteral("id"), QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF")},
            {QStringLiteral("name"), QStringLiteral("Team A")},
            {QStringLiteral("slug"), QStringLiteral("team-a")}, {QStringLiteral("port"), 9001},
            {QStringLiteral("enabled"), true}});
    hosted.append(
        QJsonObject {{QStringLiteral("id"), QStringLiteral("7F9619FF-8B86-D011-B42D-00C04FC964FF")},
            {QStringLiteral("name"), QStringLiteral("Off")},
            {QStringLiteral("slug"), QStringLiteral("off")}, {QStringLiteral("port"), 9002},
            {QStringLiteral("enabled"), false}});
    m_defaults.set(QStringLiteral("hostedScreens"), hosted);
    m_defaults.set(QStringLiteral("screenName"), QStringLiteral("Counter"));

    ScreenItem invite;
    invite.id = QUuid::createUuid();
    invite.receivedAt = m_clock.now();
    invite.filename = QStringLiteral("invite.txt");
    invite.deviceID = QStringLiteral("phone");
    m_store.append(invite);

    auto controller = makeController();
    ASSERT_TRUE(m_relay.screenName);
    EXPECT_EQ(m_relay.screenName(), QStringLiteral("Counter"));
    const QList<std::pair<QString, QString>> expected {
        {QStringLiteral("6f9619ff8b86d011b42d00c04fc964ff"), QStringLiteral("Team A")}};
    EXPECT_EQ(m_relay.extraScreens(), expected);
    EXPECT_TRUE(ItemStore::hasRelayAckHandler());
    EXPECT_TRUE(m_sync.isStarted());
    EXPECT_EQ(m_sync.deviceName(), QStringLiteral("Counter"));
    EXPECT_EQ(controller->server()->config().screenID, m_relay.relayScreenID());

    m_invites.finishedWithItem(invite.id);
    EXPECT_FALSE(m_store.item(invite.id));
    EXPECT_EQ(m_store.acks().value(QStringLiteral("phone")), QStringList {uuidText(invite.id)});

    // Hooks that need the controller do nothing once it is gone.
    controller.reset();
    EXPECT_TRUE(m_relay.extraScreens().isEmpty());
    EXPECT_EQ(m_relay.screenName(), QStringLiteral("Counter"));
}
