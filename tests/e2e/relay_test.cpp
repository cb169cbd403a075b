// A remote screen shared with the phones on this network: this test process is the sharing
// computer A, the built program is the remote screen B, and a plain HTTP client is the phone.

#include "harness.h"

#include "platform/defaults.h"
#include "screens/remote_screens_manager.h"
#include "send/relay_forwarder.h"
#include "support/manual_clock.h"

#include <QTest>

#include <gtest/gtest.h>

#include <future>

using namespace vesker;
using e2e::Reply;
using e2e::Vesker;

namespace {

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

// The relay answers on this thread's event loop, so the phone talks from another one.
Reply fromPhone(quint16 port, const QByteArray& request)
{
    auto reply = std::async(std::launch::async,
        [port, request] { return e2e::exchange(port, e2e::kBoundMs, request); });
    QTest::qWaitFor(
        [&] { return reply.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        2 * e2e::kBoundMs);
    return reply.get();
}

Reply phoneSends(quint16 port, const QByteArray& text)
{
    return fromPhone(port,
        "POST /text HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
        "Content-Type: text/plain\r\nX-Device: PHONE-1\r\nX-Sender: Ana\r\n"
        "X-Note: for%20B\r\nContent-Length: "
            + QByteArray::number(text.size()) + "\r\n\r\n" + text);
}

// Computer A, sharing `screens` as the settings list them.
class SharingComputer {
public:
    explicit SharingComputer(const QJsonArray& screens)
    {
        m_settings.set(QStringLiteral("remoteScreens"), screens);
        m_settings.set(QStringLiteral("advertiseOnNetwork"), false);
        m_remote = std::make_unique<RemoteScreensManager>(&m_settings, m_clock);
        m_remote->setListenAddress(QHostAddress::LocalHost);
        m_remote->setRelayHooks({.forward = &forwardToRemoteScreen,
            .screenName = [] { return QStringLiteral("A"); },
            .announceWaiting = [this] { ++m_announced; }});
    }

    RemoteScreensManager& remote() { return *m_remote; }
    int announced() const { return m_announced; }

private:
    QTemporaryDir m_dir;
    test::ManualClock m_clock;
    platform::Defaults m_settings {m_dir.filePath(QStringLiteral("defaults.json")), m_clock};
    std::unique_ptr<RemoteScreensManager> m_remote;
    int m_announced = 0;
};

QJsonObject shared(const QString& id, const QString& name, quint16 port, quint16 relayPort)
{
    return {{"id", id}, {"name", name}, {"url", QStringLiteral("127.0.0.1:%1").arg(port)},
        {"shareOnLAN", true}, {"relayPort", relayPort}};
}

} // namespace

TEST(SharedRemoteScreen, HoldsAPhoneUntilAllowedThenForwardsWhatItSent)
{
    Vesker b;
    ASSERT_TRUE(b.start());
    const quint16 relayPort = freePort();
    const QString id = QStringLiteral("6B1E3E2C-57A4-4A8C-9F8E-1D2C3B4A5F60");
    SharingComputer a(QJsonArray {shared(id, "B", b.port, relayPort)});

    const Reply info = fromPhone(relayPort, "GET /api/info HTTP/1.1\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(QJsonDocument::fromJson(info.body)["name"].toString(), "B via A");

    const Reply held = phoneSends(relayPort, "first");
    EXPECT_EQ(held.status, 202) << held.body.toStdString();
    ASSERT_EQ(a.remote().pendingDevices().size(), 1);
    EXPECT_EQ(a.announced(), 1);
    EXPECT_TRUE(b.index().isEmpty());

    const QString key = a.remote().pendingDevices().first().key;
    a.remote().allow(key, GrantDuration::once);
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.index().size() == 1; }, e2e::kBoundMs));
    const QJsonValue record = b.index().at(0);
    EXPECT_EQ(record["text"].toString(), "first");
    EXPECT_EQ(record["sender"].toString(), "Ana");
    EXPECT_EQ(record["note"].toString(), "for B");
    EXPECT_EQ(record["deviceID"].toString(), "PHONE-1");
    EXPECT_TRUE(a.remote().pendingDevices().isEmpty());

    // "Once" gave no grant: the next is held again, and blocking drops it and refuses the rest.
    EXPECT_EQ(phoneSends(relayPort, "second").status, 202);
    a.remote().block(key);
    EXPECT_TRUE(a.remote().pendingDevices().isEmpty());
    EXPECT_EQ(phoneSends(relayPort, "third").status, 403);
    QTest::qWait(200);
    EXPECT_EQ(b.index().size(), 1);
}

TEST(SharedRemoteScreen, ARemoteScreenThatIsDownGivesThePhoneTheError)
{
    const quint16 down = freePort();
    const quint16 relayPort = freePort();
    SharingComputer a(QJsonArray {
        shared(QStringLiteral("0C4F6A1D-3E2B-4F5A-8B7C-9D0E1F2A3B4C"), "Gone", down, relayPort)});
    ASSERT_EQ(phoneSends(relayPort, "held").status, 202);
    a.remote().allow(a.remote().pendingDevices().first().key, GrantDuration::forever);

    const Reply reply = phoneSends(relayPort, "lost");
    EXPECT_EQ(reply.status, 502) << reply.body.toStdString();
    EXPECT_TRUE(reply.body.contains("could not be reached")) << reply.body.toStdString();
    EXPECT_TRUE(a.remote().pendingDevices().isEmpty());
}
