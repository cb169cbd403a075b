#include "access/guess_limiter.h"
#include "controller_fixture.h"
#include "screens/hosted_screens_manager.h"
#include "screens/remote_screens_manager.h"
#include "support/free_port.h"
#include "support/temp_env.h"
#include "support/write_gate.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTcpSocket>

#include <array>

using namespace vesker;
using namespace vesker::test;

TEST(ServerControllerRules, PortAndScreenNameFallBack)
{
    QTemporaryDir dir;
    const ManualClock clock;
    platform::Defaults d(dir.filePath(QStringLiteral("d.json")), clock);
    EXPECT_EQ(ServerController::portNotice(d), QString()) << "no setting, nothing to say";
    const struct {
        QJsonValue value;
        int port;
        bool notice; // the program says it does not use the setting
    } ports[] {{1023, 8787, true}, {65536, 8787, true}, {"abc", 8787, true}, {"9000", 8787, true},
        {8080.5, 8787, true}, {QJsonValue(), 8787, true}, {1024, 1024, false},
        {65535, 65535, false}, {8787, 8787, false}};
    for (const auto& c : ports) {
        SCOPED_TRACE(QJsonDocument(QJsonArray {c.value}).toJson().toStdString());
        d.set("serverPort", c.value);
        EXPECT_EQ(ServerController::port(d), c.port);
        EXPECT_EQ(ServerController::portNotice(d).isEmpty(), !c.notice);
    }
    const QList<std::array<QString, 3>> names {{" \n ", "Studio", "Studio"},
        {" \n ", "", "This computer"}, {"  Counter 2\n", "Studio", "Counter 2"}};
    for (const auto& [stored, computer, expected] : names) {
        d.set("screenName", stored);
        EXPECT_EQ(ServerController::screenName(d, computer), expected);
    }
    d.set("advertiseOnNetwork", "false");
    EXPECT_TRUE(ServerController::advertiseOnNetwork(d)) << "only a Bool false turns it off";
}

TEST_F(ControllerTest, KeepsListeningThroughRestartsOnAFixedPort)
{
    m_defaults.set("advertiseOnNetwork", false);
    m_defaults.set("advertisedName", "stale");
    auto controller = makeController();
    ASSERT_TRUE(waitUntilRunning(*controller)) << controller->statusText().toStdString();
    const QString listening = QStringLiteral("Listening on port %1 (not discoverable)").arg(port());
    EXPECT_EQ(controller->statusText(), listening);
    EXPECT_FALSE(m_defaults.contains("advertisedName"));

    controller->restart();
    controller->restart();
    ASSERT_TRUE(waitUntilRunning(*controller)) << controller->statusText().toStdString();
    // A late report of a replaced server must not turn the status back.
    QTest::qWait(100);
    EXPECT_EQ(controller->statusText(), listening);
}

TEST_F(ControllerTest, APortInUseIsReportedAndTheAddressesStillShown)
{
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::LocalHost, port()));
    m_addresses = {{"eth0", "Ethernet", "10.0.0.5"}};
    auto controller = makeController();
    EXPECT_TRUE(controller->statusText().startsWith("Could not start: "))
        << controller->statusText().toStdString();
    EXPECT_FALSE(controller->isRunning());
    EXPECT_EQ(
        controller->addresses(), QStringList {QStringLiteral("http://10.0.0.5:%1").arg(port())});
}

TEST_F(ControllerTest, RequestsInFlightWhenTheControllerGoesGet503)
{
    auto controller = makeController();
    HTTPHandler handler = controller->requestHandler();
    std::optional<HTTPResponse> late, after;
    handler(HTTPRequest {}, [&late](HTTPResponse r) { late = std::move(r); });
    controller.reset();
    (void)QTest::qWaitFor([&] { return late.has_value(); }, 2000);
    ASSERT_TRUE(late);
    EXPECT_EQ(*late, HTTPResponse::text(503, "Server stopped"));
    handler(HTTPRequest {}, [&after](HTTPResponse r) { after = std::move(r); });
    EXPECT_EQ(after, late) << "answered at once, on the server's thread";
}

TEST_F(ControllerTest, AddressesFollowTheInterfaceAndPreferredAddressSettings)
{
    const NetworkAddress wired {"enp3s0", "Ethernet", "192.168.1.20"};
    const NetworkAddress wifi {"wlan0", QStringLiteral(u"Wi\u2011Fi"), "192.168.1.30"};
    const NetworkAddress bridge {"br0", "br0", "10.1.0.1"};
    m_addresses = {bridge, wired, wifi};
    auto controller = makeController();
    const QString host = QStringLiteral("http://box.local:%1").arg(port());
    EXPECT_EQ(controller->networkAddresses(), m_addresses);

    m_defaults.set("serverInterface", "wifi");
    m_defaults.set("preferredAddress", "10.9.9.9");
    controller->refreshAddresses();
    EXPECT_EQ(controller->addresses(),
        QStringList {QStringLiteral("http://192.168.1.30:%1").arg(port())});

    m_addresses = {bridge, wired};
    m_defaults.set("preferredAddress", "192.168.1.20");
    controller->refreshAddresses();
    EXPECT_EQ(controller->networkAddresses(), (QList<NetworkAddress> {wired, bridge}))
        << "no Wi-Fi address: all are kept, the preferred first";

    m_addresses.clear();
    m_hostName = "box.local";
    controller->refreshAddresses();
    EXPECT_EQ(controller->addresses(), QStringList {host});
    EXPECT_EQ(controller->pairingURL(), host);
    m_defaults.set("accessPolicy", "code");
    m_defaults.set("accessCode", "a b&c-1é");
    EXPECT_EQ(controller->pairingURL(), host + "/?code=a%20b%26c%2D1%C3%A9");

    m_hostName = "box";
    controller->refreshAddresses();
    EXPECT_FALSE(controller->pairingURL());
}

TEST_F(ControllerTest, TheNameReachesPeersAndPairingReachesTheDesktop)
{
    m_defaults.set("hostedScreens",
        QJsonArray {QJsonObject {{"id", "6F9619FF-8B86-D011-B42D-00C04FC964FF"}, {"name", "Team"},
                        {"slug", "team"}, {"port", 9001}, {"enabled", true}},
            QJsonObject {{"id", "7F9619FF-8B86-D011-B42D-00C04FC964FF"}, {"name", "Off"},
                {"slug", "off"}, {"port", 9002}, {"enabled", false}}});
    m_defaults.set("screenName", "Counter");

    auto controller = makeController();
    EXPECT_EQ(m_relay.publishedName(), QStringLiteral("Counter"));
    EXPECT_EQ(m_relay.publishedExtraScreens(),
        (QList<std::pair<QString, QString>> {{"6f9619ff8b86d011b42d00c04fc964ff", "Team"}}));
    EXPECT_EQ(m_sync.deviceName(), QStringLiteral("Counter"));
    // The same name, trimmed, leaves the server running.
    QSignalSpy replaced(controller->server(), &QObject::destroyed);
    controller->setScreenName("  Counter \n");
    EXPECT_EQ(replaced.count(), 0);
    controller->setScreenName(" Desk ");
    EXPECT_EQ(replaced.count(), 1);
    EXPECT_EQ(m_defaults.string("screenName"), QStringLiteral("Desk"));
    EXPECT_EQ(controller->server()->config().serviceName, QStringLiteral("Desk"));
    EXPECT_EQ(m_relay.publishedName(), QStringLiteral("Desk"));

    Q_EMIT m_relay.pairingRequested();
    EXPECT_EQ(m_desktop.asked, (QStringList {"show", "sound Tink"}));
}

TEST_F(ControllerTest, AHostedScreensStoreIsCleanedAsItOpensAndItsRelayAcksComeOut)
{
    const QString product = m_dir.filePath("product");
    ScreenItem old;
    old.id = QUuid::createUuid();
    old.receivedAt = m_clock.now().addDays(-2);
    old.filename = "old.jpg";
    old.deviceID = "relay:H1";
    ItemStore(product + "/Hosted/team", m_defaults, m_clock).append(old);
    m_defaults.set("cleanupAge", "oneDay");
    m_defaults.set("hostedScreens",
        QJsonArray {QJsonObject {{"id", "6F9619FF-8B86-D011-B42D-00C04FC964FF"}, {"name", "Team"},
            {"slug", "team"}, {"port", 9001}}});

    HostedScreensManager hosted(m_defaults, m_clock, product);
    QList<std::pair<QString, QString>> acks;
    QObject::connect(&hosted, &HostedScreensManager::relayAcknowledged,
        [&acks](const QString& id, const QString& action) {
            acks.append({id, action});
        });
    ItemStore* team = hosted.store(hosted.screens().first());
    ASSERT_TRUE(team);
    EXPECT_EQ(team->item(old.id)->status, ItemStatus::archived);
    EXPECT_EQ(acks, (QList<std::pair<QString, QString>> {{"H1", "archive"}}));
}

TEST_F(ControllerTest, AHostedScreenChangedInPlaceMovesToItsNewPortAndNameWithItsItems)
{
    m_defaults.set("advertiseOnNetwork", false);
    HostedScreen team {.id = QUuid::createUuid(),
        .name = "Team",
        .slug = "team",
        .port = freePort(),
        .allowBrowserScreen = true};
    m_defaults.set("hostedScreens", QJsonArray {team.toJson()});
    auto controller = makeController();
    HostedScreensManager& hosted = controller->hosted();
    ItemStore* store = hosted.store(team);
    ASSERT_TRUE(store && hosted.server(team.id));
    ScreenItem kept;
    kept.id = QUuid::createUuid();
    kept.kind = ItemKind::text;
    kept.text = "Shelf 7731";
    store->append(kept);

    const quint16 before = team.port;
    team.name = "Team B";
    team.port = freePort();
    team.pin = "4821";
    team.requirePinToSend = true;
    m_defaults.set("hostedScreens", QJsonArray {team.toJson()});

    const HTTPServer* server = hosted.server(team.id);
    ASSERT_TRUE(server);
    EXPECT_EQ(server->config().port, team.port);
    EXPECT_EQ(server->config().serviceName, "Team B") << "advertised under its new name";
    QTcpSocket old;
    old.connectToHost(QHostAddress::LocalHost, before);
    EXPECT_FALSE(old.waitForConnected(2000)) << "the old port still listens";
    EXPECT_EQ(hosted.store(team), store);

    HTTPRequest request;
    request.method = "GET";
    request.path = "/s/team/api/items";
    EXPECT_EQ(route(*controller, request).status, 401) << "the new PIN guards its Inbox";
    request.query.insert("code", "4821");
    const HTTPResponse items = route(*controller, request);
    EXPECT_EQ(items.status, 200);
    EXPECT_TRUE(items.body.contains(kept.id.toString(QUuid::WithoutBraces).toUpper().toUtf8()));

    // Guessed at no faster than the access code: wrong PINs sent as a phone sends them count
    // with those a viewer tries, and lock the address out, the right PIN included (not checked,
    // so not called wrong either).
    HTTPRequest upload;
    upload.method = "POST";
    upload.path = "/s/team/text";
    upload.body = "guess";
    upload.remoteAddress = request.remoteAddress = "10.0.0.9";
    for (int i = 0; i < GuessLimiter::kMaxWrong / 2; ++i) {
        upload.headers.insert("x-code", QString::number(1000 + i));
        EXPECT_EQ(route(*controller, upload).status, 401);
        request.query.insert("code", QString::number(2000 + i));
        EXPECT_EQ(route(*controller, request).status, 401);
    }
    request.query.insert("code", "4821");
    EXPECT_EQ(route(*controller, request), HTTPResponse::tooManyTries(60)) << "locked out";
    request.remoteAddress = "10.0.0.10";
    EXPECT_EQ(route(*controller, request).status, 200);
}

// A phone told "Seen" of an item must still be told so after a crash: what "/api/status" lists
// is on disk when it is answered, on the main screen and a hosted one alike, however the writes
// and the acknowledgements made meanwhile fall.
TEST_F(ControllerTest, AStatusListsOnlyTheAcknowledgementsOnDisk)
{
    m_defaults.set("advertiseOnNetwork", false);
    const HostedScreen lobby {
        .id = QUuid::createUuid(), .name = "Lobby", .slug = "lobby", .port = freePort()};
    m_defaults.set("hostedScreens", QJsonArray {lobby.toJson()});
    auto controller = makeController();
    for (const auto& [store, path] : {std::pair {&m_store, QString("/api/status")},
             std::pair {controller->hosted().store(lobby), QString("/s/lobby/api/status")}}) {
        SCOPED_TRACE(path.toStdString());
        QList<QUuid> ids;
        for (int i = 0; i < 6; ++i) {
            ScreenItem item;
            item.id = QUuid::createUuid();
            item.receivedAt = m_clock.now();
            item.kind = ItemKind::text;
            item.text = "note";
            item.deviceID = "phone";
            store->append(item);
            ids.append(item.id);
        }
        WriteGate gate;
        store->setWriteDevice(gate.device());
        // Lets the write held through and waits for the next one to be held, the main thread
        // having heard how the first went.
        const auto letOneThrough = [&gate] {
            const int passed = gate.passed();
            gate.letOneThrough();
            (void)QTest::qWaitFor([&] { return gate.passed() > passed && gate.held() > 0; }, 5000);
            QCoreApplication::processEvents();
        };
        QList<QJsonArray> told;
        QList<QJsonArray> onDisk;
        HTTPRequest poll;
        poll.method = "GET";
        poll.path = path;
        poll.query.insert("device", "phone");

        store->acknowledge(ids.at(0), "gotIt");
        EXPECT_TRUE(QTest::qWaitFor([&] { return gate.held() > 0; }, 5000));
        controller->route(poll, [&](const HTTPResponse& reply) {
            told.append(QJsonDocument::fromJson(reply.body)["acked"].toArray());
            onDisk.append(QJsonDocument::fromJson(fileBytes(store->acksPath()))["phone"].toArray());
        });
        // Whichever write the answer waits for, an acknowledgement is made while it is under way.
        for (int i = 1; i < ids.size() && told.isEmpty(); ++i) {
            letOneThrough();
            store->acknowledge(ids.at(i), "gotIt");
        }
        gate.open();
        ASSERT_EQ(told.size(), 1);
        EXPECT_TRUE(told.first().contains(uuidText(ids.at(0))));
        for (const QJsonValue id : std::as_const(told.first()))
            EXPECT_TRUE(onDisk.first().contains(id)) << id.toString().toStdString();
        store->setWriteDevice({});
    }
}

TEST_F(ControllerTest, ReadOnlyRoutesAreAnsweredOnTheServersThreadAndFollowChanges)
{
    auto controller = makeController();
    const HTTPHandler handler = controller->requestHandler();
    // Whether the handler answered before it returned, without the main thread's help; then the
    // reply, waited for.
    const auto get = [&](const QString& path) {
        std::optional<HTTPResponse> reply;
        HTTPRequest request;
        request.method = QStringLiteral("GET");
        request.path = path;
        handler(request, [&reply](HTTPResponse r) { reply = std::move(r); });
        const bool atOnce = reply.has_value();
        (void)QTest::qWaitFor([&] { return reply.has_value(); }, 5000);
        return std::pair {atOnce, reply.value_or(HTTPResponse::text(599, "no reply"))};
    };
    const auto info = [&] { return QJsonDocument::fromJson(get("/api/info").second.body); };

    EXPECT_EQ(info()["name"].toString(), "Front Desk");
    for (const QString path : {"/api/info", "/", "/index.html", "/screen"}) {
        const auto [atOnce, reply] = get(path);
        EXPECT_TRUE(atOnce) << path.toStdString();
        EXPECT_EQ(reply.status, path == "/screen" ? 404 : 200) << path.toStdString();
    }
    EXPECT_FALSE(get("/api/status").first) << "not a route answered from what is published";

    // What the routes show changes on the main thread: the next answer already shows it.
    m_defaults.set("screenName", "Lobby");
    m_defaults.set("allowBrowserScreens", true);
    EXPECT_EQ(info()["name"].toString(), "Lobby");
    EXPECT_EQ(get("/screen").second.status, 200);
    const int inbox = info()["inbox"].toInt();
    ScreenItem item;
    item.id = QUuid::createUuid();
    item.receivedAt = m_clock.now();
    item.kind = ItemKind::text;
    item.text = "hello";
    m_store.append(item);
    EXPECT_EQ(info()["inbox"].toInt(), inbox + 1);
    EXPECT_TRUE(get("/api/info").first);
}

TEST_F(ControllerTest, ARenamedScreenAdvertisesItsSharedScreensUnderTheNewName)
{
    const QUuid lab = QUuid::createUuid();
    m_defaults.set(QStringLiteral("remoteScreens"),
        QJsonArray {QJsonObject {{"id", lab.toString(QUuid::WithoutBraces)}, {"name", "Lab"},
            {"url", "127.0.0.1:9"}, {"shareOnLAN", true}}});
    auto controller = makeController();
    ASSERT_TRUE(waitUntilRunning(*controller));
    const auto advertisedAs = [&] {
        const HTTPServer* relay = controller->remote().relayServer(lab);
        return relay ? relay->config().serviceName : QString();
    };
    EXPECT_EQ(advertisedAs(), QStringLiteral("Lab via Front Desk"));
    controller->setScreenName(QStringLiteral("Desk 2"));
    EXPECT_EQ(advertisedAs(), QStringLiteral("Lab via Desk 2"));
}
