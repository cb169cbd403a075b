// A phone sends through this computer (A) to a remote screen (B) that holds what it is sent for
// its own user's answer: both are real screens here, B a whole receiving side under "ask".
#include "receive/controller_fixture.h"

#include "access/access_manager.h"
#include "screens/remote_screens_manager.h"
#include "send/relay_forwarder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>

using namespace vesker;
using namespace vesker::test;

namespace {

// The upload page's requests, made as a browser makes them.
class Phone {
public:
    Phone(quint16 port, QString device)
        : m_port(port)
        , m_device(std::move(device))
    { }

    int send(const QByteArray& text)
    {
        QNetworkRequest request(url("/text"));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "text/plain");
        request.setRawHeader("X-Device", m_device.toLatin1());
        request.setRawHeader("X-Sender", "Ana");
        return finished(m_network.post(request, text)).first;
    }

    QJsonObject status()
    {
        const auto [code, body]
            = finished(m_network.get(QNetworkRequest(url("/api/status?device=" + m_device))));
        return code == 200 ? QJsonDocument::fromJson(body).object() : QJsonObject();
    }

private:
    QUrl url(const QString& path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port) + path);
    }
    static std::pair<int, QByteArray> finished(QNetworkReply* reply)
    {
        (void)QTest::qWaitFor([reply] { return reply->isFinished(); }, 30'000);
        reply->deleteLater();
        return {
            reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
    }

    quint16 m_port;
    QString m_device;
    QNetworkAccessManager m_network;
};

class HeldByTheRemoteScreen : public ControllerTest {
protected:
    // B.
    std::unique_ptr<ServerController> m_remoteScreen = makeController();
    // A: its own settings, sharing B with its phones.
    QTemporaryDir m_sharingDir;
    platform::Defaults m_sharingSettings {
        m_sharingDir.filePath(QStringLiteral("defaults.json")), m_clock};
    const QUuid m_id = QUuid::createUuid();
    std::unique_ptr<RemoteScreensManager> m_sharing;

    void SetUp() override
    {
        m_defaults.set("accessPolicy", "ask");
        ASSERT_TRUE(waitUntilRunning(*m_remoteScreen));
        m_sharingSettings.set(QStringLiteral("advertiseOnNetwork"), false);
        m_sharingSettings.set(RemoteScreensManager::kScreensKey,
            QJsonArray {QJsonObject {{"id", m_id.toString()}, {"name", "B"},
                {"url", QStringLiteral("127.0.0.1:%1").arg(port())}, {"shareOnLAN", true}}});
        m_sharing = std::make_unique<RemoteScreensManager>(&m_sharingSettings, m_clock);
        m_sharing->setListenAddress(QHostAddress::LocalHost);
        m_sharing->setRelayHooks(
            {.forward = &forwardToRemoteScreen, .askHold = &askRemoteScreenAboutHeld});
        ASSERT_NE(m_sharing->relayServer(m_id), nullptr);
    }

    quint16 relayPort() const { return m_sharing->relayServer(m_id)->serverPort(); }
    QString key(const QString& device) const
    {
        return m_id.toString(QUuid::WithoutBraces).toUpper() + u'|' + device;
    }
    bool heldByB(const QString& device) const
    {
        const QList<PendingUpload>& held = m_remoteScreen->access().pending();
        return std::any_of(held.begin(), held.end(),
            [&](const PendingUpload& upload) { return upload.deviceID == device; });
    }
};

} // namespace

// The phone waits while B holds its upload, whether A let it through at once (a grant) or after
// it held it too ("Once"), and then hears B's answer: declined, or stored.
TEST_F(HeldByTheRemoteScreen, ThePhoneFollowsTheRemoteScreensAnswer)
{
    const struct {
        const char* name;
        bool grantedAtA;
        bool acceptedAtB;
    } rows[] = {
        {"granted, declined", true, false},
        {"granted, accepted", true, true},
        {"allowed once, declined", false, false},
        {"allowed once, accepted", false, true},
    };
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString device = QStringLiteral("PHONE-%1").arg(++n);
        const QByteArray text = QByteArray("from ") + row.name;
        Phone phone(relayPort(), device);
        if (row.grantedAtA)
            m_sharing->allow(key(device), GrantDuration::forever);
        ASSERT_EQ(phone.send(text), 202);
        if (!row.grantedAtA)
            m_sharing->allow(key(device), GrantDuration::once);
        ASSERT_TRUE(QTest::qWaitFor([&] { return heldByB(device); }, 30'000));

        // Asked as the page asks, every so often: B is asked too, and still holds it.
        for (int poll = 0; poll < 4; ++poll) {
            const QJsonObject status = phone.status();
            EXPECT_GT(status["pending"].toInt(), 0) << poll;
            EXPECT_FALSE(status["approved"].toBool()) << poll;
            EXPECT_FALSE(status["denied"].toBool()) << poll;
            QTest::qWait(RemoteHolds::kAskIntervalMs / 2);
        }

        AccessManager& access = m_remoteScreen->access();
        if (row.acceptedAtB) {
            access.approve(device, QStringLiteral("Phone"), GrantDuration::once);
            access.acceptPending(device);
        } else {
            access.deny(device);
        }
        QJsonObject status;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                status = phone.status();
                return status["denied"].toBool() || status["pending"].toInt(-1) == 0;
            },
            30'000));
        EXPECT_EQ(status["denied"].toBool(), !row.acceptedAtB);
        EXPECT_FALSE(status.contains("error"));
        const QList<ScreenItem> items = uploaded();
        const bool stored = std::any_of(items.cbegin(), items.cend(),
            [&](const ScreenItem& item) { return item.text == text; });
        EXPECT_EQ(stored, row.acceptedAtB);
    }
}
