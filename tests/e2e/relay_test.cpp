// A remote screen shared with the phones on this network: this test process is the sharing
// computer A, the built program is the remote screen B, and a plain HTTP client is the phone.

#include "harness.h"

#include "platform/defaults.h"
#include "platform/dns_sd.h"
#include "screens/relay_pending_view.h"
#include "screens/remote_screens_manager.h"
#include "send/relay_forwarder.h"
#include "send/screen_browser.h"
#include "send/screen_directory.h"
#include "send/send_sheet.h"
#include "send/uploader.h"
#include "support/endless_answer.h"
#include "support/manual_clock.h"

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <future>

using namespace vesker;
using e2e::Reply;
using e2e::Vesker;
using test::freePort;

namespace {

// The relay answers on this thread's event loop, so the phone talks from another one; `from`
// is its address (127.0.0.1 when not given).
Reply fromPhone(quint16 port, const QByteArray& request, in_addr_t from = 0)
{
    auto reply = std::async(std::launch::async,
        [port, request, from] { return e2e::exchange(port, e2e::kBoundMs, request, from); });
    (void)QTest::qWaitFor(
        [&] { return reply.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        2 * e2e::kBoundMs);
    return reply.get();
}

Reply phoneSends(quint16 port, const QByteArray& text, const QByteArray& device = "PHONE-1",
    const QByteArray& headers = {}, in_addr_t from = 0)
{
    return fromPhone(port,
        "POST /text HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
        "Content-Type: text/plain\r\nX-Device: "
            + device + "\r\nX-Sender: Ana\r\nX-Note: for%20B\r\n" + headers
            + "Content-Length: " + QByteArray::number(text.size()) + "\r\n\r\n" + text,
        from);
}

QJsonObject statusOf(quint16 port, const QByteArray& device)
{
    return QJsonDocument::fromJson(
        fromPhone(
            port, "GET /api/status?device=" + device + " HTTP/1.1\r\nConnection: close\r\n\r\n")
            .body)
        .object();
}

// Computer A, sharing `screens` as the settings list them.
class SharingComputer {
public:
    explicit SharingComputer(const QJsonArray& screens, const QString& name = QStringLiteral("A"),
        bool advertise = false)
    {
        m_settings.set(QStringLiteral("remoteScreens"), screens);
        m_settings.set(QStringLiteral("advertiseOnNetwork"), advertise);
        m_remote = std::make_unique<RemoteScreensManager>(&m_settings, m_clock);
        m_remote->setListenAddress(QHostAddress::LocalHost);
        m_remote->setRelayHooks({.forward = &forwardToRemoteScreen,
            .askHold = &askRemoteScreenAboutHeld,
            .screenName = [name] { return name; },
            .announceWaiting = [this] { ++m_announced; }});
        m_prompt = std::make_unique<RelayPendingView>(*m_remote);
        // Laid out as in the window, so that which cards are in view means something.
        m_prompt->resize(900, 400);
        m_prompt->show();
    }

    RemoteScreensManager& remote() { return *m_remote; }
    platform::Defaults& settings() { return m_settings; }
    test::ManualClock& clock() { return m_clock; }
    int announced() const { return m_announced; }

    // Presses a button of the relayed-device card, as the person at A does.
    void press(const QString& label)
    {
        QPushButton* found = nullptr;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                for (QPushButton* button : m_prompt->findChildren<QPushButton*>()) {
                    if (button->accessibleName() == label)
                        found = button;
                }
                return found != nullptr;
            },
            e2e::kBoundMs))
            << qPrintable(label);
        found->click();
        // The card goes on the next turn; the next press must find the next card's button.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return m_prompt->findChildren<QPushButton*>().isEmpty(); }, e2e::kBoundMs));
    }

    // The headlines of the relayed-device cards in the prompt's view, top to bottom.
    QStringList cardTitles() const
    {
        const auto* stack
            = m_prompt->findChild<QAbstractScrollArea*>(QStringLiteral("approvalStack"));
        QList<std::pair<int, QString>> placed;
        for (auto* label : m_prompt->findChildren<QLabel*>(QStringLiteral("approvalTitle"))) {
            const QWidget* card = label->parentWidget();
            const QRect shown(card->mapTo(stack->viewport(), QPoint()), card->size());
            if (card->isVisibleTo(m_prompt.get()) && stack->viewport()->rect().contains(shown))
                placed.append({shown.y(), label->text()});
        }
        std::sort(placed.begin(), placed.end());
        QStringList titles;
        for (const auto& [y, title] : placed)
            titles.append(title);
        return titles;
    }
    // Scrolls the prompt to its last card, as the person at A does to reach it.
    void scrollToEnd()
    {
        QScrollBar* bar = m_prompt->findChild<QAbstractScrollArea*>(QStringLiteral("approvalStack"))
                              ->verticalScrollBar();
        bar->setValue(bar->maximum());
    }

private:
    QTemporaryDir m_dir;
    test::ManualClock m_clock;
    platform::Defaults m_settings {m_dir.filePath(QStringLiteral("defaults.json")), m_clock};
    std::unique_ptr<RemoteScreensManager> m_remote;
    std::unique_ptr<RelayPendingView> m_prompt;
    int m_announced = 0;
};

QJsonObject shared(const QString& id, const QString& name, quint16 port, quint16 relayPort)
{
    return {{"id", id}, {"name", name}, {"url", QStringLiteral("127.0.0.1:%1").arg(port)},
        {"shareOnLAN", true}, {"relayPort", relayPort}};
}

// Only `name` at `port`, shared with phones on `relayPort`.
QJsonArray sharing(const char* name, quint16 port, quint16 relayPort)
{
    return {shared(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(),
        QString::fromLatin1(name), port, relayPort)};
}

// Waits, within the bound, for every phone's answer, each of which must say that its screen
// could not be reached.
void expectEveryPhoneToldUnreachable(std::vector<std::future<Reply>>& replies)
{
    const auto ready = [](const std::future<Reply>& reply) {
        return reply.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    };
    (void)QTest::qWaitFor(
        [&] { return std::all_of(replies.begin(), replies.end(), ready); }, 3 * e2e::kBoundMs);
    for (auto& future : replies) {
        ASSERT_TRUE(ready(future));
        const Reply reply = future.get();
        EXPECT_EQ(reply.status, 502) << reply.error << reply.body.toStdString();
        EXPECT_TRUE(reply.body.startsWith("The remote screen could not be reached"))
            << reply.body.toStdString();
    }
}

} // namespace

TEST(SharedRemoteScreen, HoldsAPhoneUntilAllowedThenForwardsWhatItSent)
{
    Vesker b;
    ASSERT_TRUE(b.start());
    const quint16 relayPort = freePort();
    SharingComputer a(sharing("B", b.port, relayPort));

    const Reply info = fromPhone(relayPort, "GET /api/info HTTP/1.1\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(QJsonDocument::fromJson(info.body)["name"].toString(), "B via A");

    // A phone's id, sent as it holds it, with letters that encoding would change: B must know the
    // phone by the same id as A does.
    const QByteArray phone = "phone:1 two%";
    const Reply held = phoneSends(relayPort, "first", phone);
    EXPECT_EQ(held.status, 202) << held.body.toStdString();
    ASSERT_EQ(a.remote().pendingDevices().size(), 1);
    EXPECT_EQ(a.announced(), 1);
    EXPECT_TRUE(b.index().isEmpty());

    a.press(QStringLiteral("Once"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.index().size() == 1; }, e2e::kBoundMs));
    const QJsonValue record = b.index().at(0);
    EXPECT_EQ(record["text"].toString(), "first");
    EXPECT_EQ(record["sender"].toString(), "Ana");
    EXPECT_EQ(record["note"].toString(), "for B");
    EXPECT_EQ(record["deviceID"].toString(), QString::fromLatin1(phone));
    EXPECT_TRUE(a.remote().pendingDevices().isEmpty());

    // "Once" gave no grant: the next is held again, and blocking drops it and refuses the rest.
    EXPECT_EQ(phoneSends(relayPort, "second", phone).status, 202);
    a.press(QStringLiteral("Block"));
    EXPECT_TRUE(a.remote().pendingDevices().isEmpty());
    EXPECT_EQ(phoneSends(relayPort, "third", phone).status, 403);
    QTest::qWait(200);
    EXPECT_EQ(b.index().size(), 1);
}

TEST(SharedRemoteScreen, ARemoteScreenThatIsDownGivesThePhoneTheError)
{
    const quint16 down = freePort();
    const quint16 relayPort = freePort();
    SharingComputer a(sharing("Gone", down, relayPort));
    ASSERT_EQ(phoneSends(relayPort, "held").status, 202);
    a.remote().allow(a.remote().pendingDevices().first().key, GrantDuration::forever);

    const Reply reply = phoneSends(relayPort, "lost");
    EXPECT_EQ(reply.status, 502) << reply.body.toStdString();
    EXPECT_TRUE(reply.body.contains("could not be reached")) << reply.body.toStdString();
    EXPECT_TRUE(a.remote().pendingDevices().isEmpty());
}

TEST(SharedRemoteScreen, TellsThePhoneWhenWhatItWasAllowedToSendReachedNoScreen)
{
    const quint16 down = freePort();
    const quint16 relayPort = freePort();
    SharingComputer a(sharing("Gone", down, relayPort));
    const std::pair<const char*, QByteArray> answers[] {{"Once", "PHONE-ONCE"},
        {"30 min", "PHONE-HALF-HOUR"}, {"1 day", "PHONE-DAY"}, {"Always", "PHONE-ALWAYS"}};
    for (const auto& [answer, device] : answers) {
        ASSERT_EQ(phoneSends(relayPort, "held", device).status, 202) << answer;
        a.press(QString::fromLatin1(answer));
        QJsonObject status;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                status = statusOf(relayPort, device);
                return status["pending"].toInt(-1) == 0;
            },
            e2e::kBoundMs))
            << answer;
        EXPECT_TRUE(status["error"].toString().startsWith("The remote screen could not be reached"))
            << answer << ": " << QJsonDocument(status).toJson().toStdString();
        EXPECT_FALSE(status["denied"].toBool()) << answer;
    }
    // Another computer sending through A waits as its Send sheet does, and hears the same.
    Uploader computer({.deviceID = QStringLiteral("COMPUTER-C"), .pollIntervalMs = 50});
    const UploadTarget relay
        = UploadTarget::url(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(relayPort)));
    const auto finished = [](UploadJob& job) {
        return QTest::qWaitFor([&] { return job.isFinished(); }, e2e::kBoundMs);
    };
    auto sent = computer.send({.path = QStringLiteral("/text"),
                                  .kind = QStringLiteral("text"),
                                  .body = "from C",
                                  .contentType = QStringLiteral("text/plain")},
        relay);
    ASSERT_TRUE(finished(*sent));
    ASSERT_EQ(sent->result().outcome, UploadOutcome::waitingForApproval);
    auto wait = computer.waitForApproval(relay);
    a.press(QStringLiteral("Once"));
    ASSERT_TRUE(finished(*wait));
    ASSERT_TRUE(wait->result().error);
    EXPECT_TRUE(wait->result().error->description().contains(u"could not be reached"))
        << qPrintable(wait->result().error->description());
}

TEST(SharedRemoteScreen, PassesOnTheAccessCodeAndWhatThePhoneSaidOfItsFile)
{
    Vesker b({{"accessPolicy", "code"}, {"accessCode", "4711"}});
    ASSERT_TRUE(b.start());
    const quint16 relayPort = freePort();
    SharingComputer a(sharing("B", b.port, relayPort));
    const QByteArray pdf = e2e::sample(e2e::Kind::pdf, 4000);
    const QByteArray upload = "POST /file HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                              "Content-Type: application/pdf\r\nX-Device: PHONE-2\r\n"
                              "X-Device-Name: Ana%E2%80%99s%20phone\r\nX-Sender: Ana\r\n"
                              "X-Code: 4711\r\nX-Filename: %C3%89t%C3%A9%202026.pdf\r\n"
                              "X-Note: shelf%207\r\n"
                              "X-Group: 0F1E2D3C-4B5A-4968-8776-655443322110\r\n"
                              "X-Group-Index: 2\r\nX-Group-Count: 3\r\n"
                              "X-Location: 48.8566,2.3522\r\n"
                              "X-Item-Id: 9A8B7C6D-5E4F-4A3B-9C2D-1E0F9A8B7C6D\r\n"
                              "Content-Length: "
        + QByteArray::number(pdf.size()) + "\r\n\r\n" + pdf;
    ASSERT_EQ(fromPhone(relayPort, upload).status, 202);
    a.press(QStringLiteral("Always"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.index().size() == 1; }, e2e::kBoundMs))
        << QJsonDocument(statusOf(relayPort, "PHONE-2")).toJson().toStdString();
    const QJsonValue record = b.index().at(0);
    EXPECT_EQ(record["kind"].toString(), "pdf");
    EXPECT_EQ(record["originalName"].toString(), QString::fromUtf8("Été 2026.pdf"));
    EXPECT_EQ(record["note"].toString(), "shelf 7");
    EXPECT_EQ(record["sender"].toString(), "Ana");
    EXPECT_EQ(record["deviceID"].toString(), "PHONE-2");
    EXPECT_EQ(record["groupID"].toString(), "0F1E2D3C-4B5A-4968-8776-655443322110");
    EXPECT_EQ(record["groupIndex"].toInt(), 2);
    EXPECT_EQ(record["groupCount"].toInt(), 3);
    EXPECT_DOUBLE_EQ(record["lat"].toDouble(), 48.8566);
    EXPECT_DOUBLE_EQ(record["lon"].toDouble(), 2.3522);

    // The same item again is known by its id at B; the remote screen judges every code.
    EXPECT_EQ(fromPhone(relayPort, upload).status, 200);
    // A wrong code and none are told apart, as the phone's page shows either.
    const Reply wrong = phoneSends(relayPort, "short", "PHONE-2", "X-Code: 47\r\n");
    EXPECT_EQ(wrong.status, 401);
    EXPECT_EQ(wrong.body, "The remote screen did not accept this access code");
    const Reply none = phoneSends(relayPort, "none", "PHONE-2");
    EXPECT_EQ(none.status, 401);
    EXPECT_EQ(none.body, "The remote screen asks for an access code");
    EXPECT_EQ(phoneSends(relayPort, "right", "PHONE-2", "X-Code: 4711\r\n").status, 200);
    EXPECT_EQ(b.index().size(), 2);
}

TEST(SharedRemoteScreen, AFloodOfMadeUpDevicesLeavesRoomForAPhoneOfAnotherAddress)
{
    const quint16 relayPort = freePort();
    SharingComputer a(sharing("B", freePort(), relayPort));
    const in_addr_t flood = (127u << 24) | 1;
    const in_addr_t phone = (127u << 24) | 2;
    int held = 0;
    Reply refused;
    for (int device = 0; device < kMaxWaitingDevices + 10; ++device) {
        const QByteArray id = "flood-" + QByteArray::number(device);
        const Reply reply
            = phoneSends(relayPort, "hello", id, "X-Device-Name: " + id + "\r\n", flood);
        if (reply.status == 202)
            ++held;
        else
            refused = reply;
    }
    EXPECT_EQ(held, kMaxWaitingDevices);
    EXPECT_EQ(refused.status, 503);
    EXPECT_EQ(refused.body, "Too many waiting");

    // The phone waits like any device; the flood's newest device gave way to it, and hears so.
    EXPECT_EQ(phoneSends(relayPort, "mine", "PHONE-3", {}, phone).status, 202);
    EXPECT_EQ(statusOf(relayPort, "PHONE-3")["pending"].toInt(), 1);
    EXPECT_TRUE(
        statusOf(relayPort, "flood-" + QByteArray::number(kMaxWaitingDevices - 1))["expired"]
            .toBool());
    EXPECT_EQ(a.remote().pendingDevices().size(), kMaxWaitingDevices);

    // The prompt shows the first few, and the phone behind the flood is a scroll away.
    ASSERT_TRUE(QTest::qWaitFor([&] { return a.cardTitles().size() == 3; }, e2e::kBoundMs))
        << a.cardTitles().size();
    EXPECT_EQ(a.cardTitles().first(), "flood-0 wants to send to B through this computer");
    a.scrollToEnd();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return a.cardTitles().value(2) == "Ana wants to send to B through this computer"; },
        e2e::kBoundMs))
        << a.cardTitles().join(", ").toStdString();
}

TEST(SharedRemoteScreen, APhoneThatStopsAskingIsDroppedAndToldSo)
{
    const quint16 relayPort = freePort();
    SharingComputer a(sharing("B", freePort(), relayPort));
    for (const QByteArray device : {"ASKING", "QUIET"}) {
        ASSERT_EQ(
            phoneSends(relayPort, "held", device, "X-Device-Name: " + device + "\r\n").status, 202);
    }
    // One phone asks every 40 s, as its page does every 2 s; the other has gone quiet.
    for (int step = 0; step < 3; ++step) {
        a.clock().advance(40);
        EXPECT_EQ(statusOf(relayPort, "ASKING")["pending"].toInt(), 1);
        a.remote().expireWaiting();
    }
    const QJsonObject quiet = statusOf(relayPort, "QUIET");
    EXPECT_EQ(quiet["pending"].toInt(-1), 0);
    EXPECT_TRUE(quiet["expired"].toBool()) << QJsonDocument(quiet).toJson().toStdString();
    EXPECT_FALSE(statusOf(relayPort, "ASKING").contains("expired"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return a.cardTitles().size() == 1; }, e2e::kBoundMs));
    EXPECT_TRUE(a.cardTitles().first().startsWith("ASKING ")) << qPrintable(a.cardTitles().first());

    // Sending again is waiting again.
    EXPECT_EQ(phoneSends(relayPort, "again", "QUIET").status, 202);
    EXPECT_EQ(statusOf(relayPort, "QUIET"),
        QJsonObject({{"approved", false}, {"denied", false}, {"pending", 1}}));
}

// In the loopback avahi of the test services: what phones and other computers find of A's
// shared screen, and what A's own Send sheet offers.
TEST(SharedRemoteScreen, IsFoundAsViaThisScreenUnderItsCurrentNameButNotOfferedToItself)
{
    if (qEnvironmentVariable("VESKER_TEST_SERVICES") != QLatin1String("1"))
        GTEST_SKIP() << "needs the loopback-only avahi-daemon of scripts/with-test-services";
    const QString tag = QStringLiteral(" %1-%2")
                            .arg(QCoreApplication::applicationPid())
                            .arg(QRandomGenerator::global()->bounded(100000));
    const QString own = QStringLiteral("Desk") + tag;
    QTcpServer b;
    ASSERT_TRUE(b.listen(QHostAddress::LocalHost, 0));
    const quint16 relayPort = freePort();
    const QString id = QStringLiteral("2A1B0C9D-8E7F-4A6B-8C5D-4E3F2A1B0C9D");
    SharingComputer a(
        QJsonArray {shared(id, QStringLiteral("Lab") + tag, b.serverPort(), relayPort)}, own, true);
    // Another screen on the network, which A does offer.
    const QString other = QStringLiteral("Hall") + tag;
    platform::DnsSdPublisher hall(
        platform::DnsSdService {other, ScreenBrowser::serviceType(), b.serverPort(), {}});

    ScreenBrowser elsewhere;
    elsewhere.setRunning(true);
    elsewhere.start();
    // Only this test's: other tests publish into the same daemon.
    const auto ours = [&](const QList<DiscoveredScreen>& screens) {
        QStringList names;
        for (const DiscoveredScreen& screen : screens) {
            if (screen.name.endsWith(tag))
                names.append(screen.name);
        }
        return names;
    };
    const auto found = [&](const ScreenBrowser& browser) { return ours(browser.macs()); };
    const QString via = QStringLiteral("Lab") + tag + QStringLiteral(" via ") + own;
    EXPECT_TRUE(QTest::qWaitFor([&] { return found(elsewhere).contains(via); }, 10'000))
        << qPrintable(found(elsewhere).join(u", "));
    for (const DiscoveredScreen& screen : elsewhere.macs()) {
        if (screen.name == via) {
            EXPECT_EQ(screen.endpoint.port, relayPort);
        }
    }

    ScreenDirectory directory(a.settings());
    SendSheet sheet({{.text = QStringLiteral("hello")}},
        {.session = {.defaults = a.settings(),
             .directory = &directory,
             .clock = a.clock(),
             .screenName = [own] { return own; }},
            .remote = &a.remote()});
    sheet.show();
    const auto offered = [&] { return ours(sheet.session().macs()); };
    EXPECT_TRUE(QTest::qWaitFor([&] { return offered().contains(other); }, 10'000));
    QTest::qWait(300); // the shared one had as long to show up
    EXPECT_EQ(offered(), QStringList {other});
    EXPECT_FALSE(directory.knownScreens().contains(via));

    // Renamed in the Remote tab: found under the new name at once, the old one withdrawn.
    QJsonObject renamed = shared(id, QStringLiteral("Lab 2") + tag, b.serverPort(), relayPort);
    a.settings().set(QStringLiteral("remoteScreens"), QJsonArray {renamed});
    const QString renamedVia = QStringLiteral("Lab 2") + tag + QStringLiteral(" via ") + own;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const QStringList names = found(elsewhere);
            return names.contains(renamedVia) && !names.contains(via);
        },
        10'000))
        << qPrintable(found(elsewhere).join(u", "));
    QTest::qWait(300);
    EXPECT_EQ(offered(), QStringList {other});
}

// The built program shares two remote screens whose answers never end, one that pours chunks
// as fast as they are taken and one that drips a byte a second, with phones allowed "Always":
// every phone hears that its screen could not be reached, within the forward's limit, and the
// program's memory stays where it was.
TEST(SharedRemoteScreen, ARemoteThatAnswersWithoutEndIsCutOffForEveryPhone)
{
    test::EndlessAnswer pouring("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n",
        test::chunk(QByteArray(64 * 1024, 'x')));
    test::EndlessAnswer dripping(
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", test::chunk("x"), 1000);
    const quint16 pourRelay = freePort();
    const quint16 dripRelay = freePort();
    const QString pourID = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    const QString dripID = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    constexpr int kPhones = 8;
    QVariantList grants;
    for (int phone = 0; phone < kPhones; ++phone) {
        for (const QString& screen : {pourID, dripID}) {
            grants.append(QVariantMap {{"deviceID", screen + "|PHONE-" + QString::number(phone)},
                {"name", "Phone"}, {"grantedAt", "2024-01-01T00:00:00Z"}});
        }
    }
    const auto screen = [](const QString& id, const char* name, quint16 port, quint16 relay) {
        return QVariantMap {{"id", id}, {"name", name},
            {"url", QStringLiteral("127.0.0.1:%1").arg(port)}, {"shareOnLAN", true},
            {"relayPort", relay}};
    };
    Vesker a({{"remoteScreens",
                  QVariantList {screen(pourID, "Pouring", pouring.serverPort(), pourRelay),
                      screen(dripID, "Dripping", dripping.serverPort(), dripRelay)}},
        {"relayDeviceGrants", grants}});
    ASSERT_TRUE(a.start());
    const qint64 peakBefore = e2e::statusKiB(a.pid(), "VmHWM:");
    ASSERT_GT(peakBefore, 0);

    // Eight phones through the pouring screen, one through the dripping one, all at once.
    const auto send = [](quint16 relay, int phone) {
        const QByteArray text = "hello";
        return std::async(std::launch::async, [relay, phone, text] {
            return e2e::exchange(relay, 2 * e2e::kBoundMs,
                "POST /text HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                "Content-Type: text/plain\r\nX-Device: PHONE-"
                    + QByteArray::number(phone)
                    + "\r\nContent-Length: " + QByteArray::number(text.size()) + "\r\n\r\n" + text);
        });
    };
    std::vector<std::future<Reply>> replies;
    for (int phone = 0; phone < kPhones; ++phone)
        replies.push_back(send(pourRelay, phone));
    replies.push_back(send(dripRelay, 0));
    expectEveryPhoneToldUnreachable(replies);

    EXPECT_EQ(a.info().status, 200) << "the program still runs";
    // Eight answers held whole would be gigabytes; each is cut at a few kilobytes.
    const qint64 grownMiB = (e2e::statusKiB(a.pid(), "VmHWM:") - peakBefore) / 1024;
    EXPECT_LT(grownMiB, 100) << "peak resident size grew by " << grownMiB << " MiB";
    // What the screens managed to pour in: the cut, plus what the sockets' buffers held.
    EXPECT_LT(pouring.taken(), qint64(kPhones) * (24 << 20));
}

// The same with answers whose head never ends: a header value, headers or a status line poured
// without end, and a head dripped a byte at a time. Every phone hears that its screen could not
// be reached, every connection to the screens (the phones' and the reachability checks') is
// closed, and the program's memory stays where it was.
TEST(SharedRemoteScreen, ARemoteWhoseHeadDoesNotEndIsCutOffForEveryPhone)
{
    const QByteArray letters(16 * 1024, 'a');
    QByteArray lines;
    while (lines.size() < 16 * 1024)
        lines += "X-More: a\r\n";
    test::EndlessAnswer value("HTTP/1.1 200 OK\r\nX-Long: ", letters);
    test::EndlessAnswer headers("HTTP/1.1 200 OK\r\n", lines);
    test::EndlessAnswer statusLine("HTTP/1.1 200 ", letters);
    test::EndlessAnswer dripping("HTTP/1.1 200 OK\r\nX-Long: ", "a", 1000);
    const std::vector<test::EndlessAnswer*> screens {&value, &headers, &statusLine, &dripping};
    constexpr int kPhones = 8;
    QVariantList shared;
    QVariantList grants;
    std::vector<quint16> relays;
    for (test::EndlessAnswer* screen : screens) {
        const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        relays.push_back(freePort());
        shared.append(QVariantMap {{"id", id}, {"name", "Endless"},
            {"url", QStringLiteral("127.0.0.1:%1").arg(screen->serverPort())}, {"shareOnLAN", true},
            {"relayPort", relays.back()}});
        for (int phone = 0; phone < kPhones; ++phone) {
            grants.append(QVariantMap {{"deviceID", id + "|PHONE-" + QString::number(phone)},
                {"name", "Phone"}, {"grantedAt", "2024-01-01T00:00:00Z"}});
        }
    }
    Vesker a({{"remoteScreens", shared}, {"relayDeviceGrants", grants}});
    ASSERT_TRUE(a.start());
    const qint64 peakBefore = e2e::statusKiB(a.pid(), "VmHWM:");
    ASSERT_GT(peakBefore, 0);

    std::vector<std::future<Reply>> replies;
    for (const quint16 relay : relays) {
        for (int phone = 0; phone < kPhones; ++phone) {
            replies.push_back(std::async(std::launch::async, [relay, phone] {
                return e2e::exchange(relay, 2 * e2e::kBoundMs,
                    "POST /text HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                    "Content-Type: text/plain\r\nX-Device: PHONE-"
                        + QByteArray::number(phone) + "\r\nContent-Length: 5\r\n\r\nhello");
            }));
        }
    }
    expectEveryPhoneToldUnreachable(replies);
    EXPECT_EQ(a.info().status, 200) << "the program still answers";
    for (test::EndlessAnswer* screen : screens) {
        EXPECT_GE(screen->accepted(), kPhones + 1) << "the phones' forwards and the first check";
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return screen->closed() == screen->accepted(); }, e2e::kBoundMs))
            << screen->closed() << " of " << screen->accepted() << " closed";
        // The head's limit, plus what the sockets' buffers held, for each connection.
        EXPECT_LT(screen->taken(), qint64(screen->accepted()) * (24 << 20));
    }
    const qint64 grownMiB = (e2e::statusKiB(a.pid(), "VmHWM:") - peakBefore) / 1024;
    EXPECT_LT(grownMiB, 100) << "peak resident size grew by " << grownMiB << " MiB";
}
