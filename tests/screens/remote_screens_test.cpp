#include "screens/remote_screens_manager.h"

#include "platform/defaults.h"
#include "support/manual_clock.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace vesker;

namespace {

// A screen that answers every connection with `reply` and closes nothing.
void answerWith(QTcpServer& server, const char* reply)
{
    server.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server, &QTcpServer::newConnection, &server,
        [&server, reply] { server.nextPendingConnection()->write(reply); });
}

// A port on which nothing listens any more.
quint16 closedPort()
{
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    const quint16 port = closed.serverPort();
    closed.close();
    return port;
}

} // namespace

TEST(RemoteScreenTest, BaseAddressFromWhatTheUserTyped)
{
    const std::pair<const char*, const char*> rows[] = {
        {"192.168.1.20", "http://192.168.1.20:8787"},
        {"  desk.local:9000 \n", "http://desk.local:9000"},
        {"https://screen.example.org", "https://screen.example.org:8787"},
        {"http://screen.example.org/", "http://screen.example.org/"},
        {"[fe80::1]", "http://[fe80::1]:8787"},
        {"http://host:8080/s/abc", "http://host:8080/s/abc"},
        {"", nullptr},
        {" \t\n", nullptr},
        {"http://bad host", nullptr},
        {"http://", nullptr},
    };
    for (const auto& [typed, expected] : rows) {
        const std::optional<QUrl> url = RemoteScreen {.url = typed}.baseURL();
        if (expected)
            EXPECT_EQ(url.value_or(QUrl()).toString(), expected) << '"' << typed << '"';
        else
            EXPECT_FALSE(url) << '"' << typed << '"' << " gave " << url->toString().toStdString();
    }
}

TEST(RemoteScreenTest, TheListFollowsTheSettingsAndOnlyAnsweringScreensAreReachable)
{
    QTemporaryDir dir;
    const test::ManualClock clock;
    platform::Defaults defaults(dir.filePath(QStringLiteral("defaults.json")), clock);
    // Any answer counts, even a refusal.
    QTcpServer answering;
    answerWith(answering, "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n");
    const quint16 refusing = closedPort();
    // Answers, then dribbles a body that would take for ever: the head is answer enough.
    QTcpServer trickling;
    trickling.listen(QHostAddress::LocalHost, 0);
    QTimer drip;
    QObject::connect(&trickling, &QTcpServer::newConnection, &trickling, [&] {
        trickling.nextPendingConnection()->write(
            "HTTP/1.1 200 OK\r\nContent-Length: 1000000000\r\n\r\n");
    });
    QObject::connect(&drip, &QTimer::timeout, &trickling, [&] {
        for (QTcpSocket* socket : trickling.findChildren<QTcpSocket*>())
            socket->write(QByteArray(100, 'x'));
    });
    drip.start(200);
    const auto entry = [](const char* id, const QString& url) {
        return QJsonObject {{"id", id}, {"name", id}, {"url", url}};
    };
    const QJsonArray stored {entry("0a3e8f2c-1b4d-4e6f-8a9b-0c1d2e3f4a5b",
                                 QStringLiteral("127.0.0.1:%1").arg(answering.serverPort())),
        entry("1b4d0a3e-8f2c-4e6f-8a9b-0c1d2e3f4a5b", QStringLiteral("127.0.0.1:%1").arg(refusing)),
        entry("2c1b4d0a-3e8f-4e6f-8a9b-0c1d2e3f4a5b", QStringLiteral("http://bad host")),
        entry("3d2c1b4d-0a3e-4f6f-8a9b-0c1d2e3f4a5b",
            QStringLiteral("127.0.0.1:%1").arg(trickling.serverPort())),
        entry("not a uuid", QStringLiteral("127.0.0.1"))};
    defaults.set(RemoteScreensManager::kScreensKey, stored);

    RemoteScreensManager remote(&defaults, clock);
    ASSERT_EQ(remote.screens().size(), 4) << "an entry without an id is no screen";
    const QUuid first = remote.screens()[0].id;
    const QUuid dribbling = remote.screens()[3].id;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return remote.reachable() == QSet<QUuid> {first, dribbling};
        },
        10000));

    // Changed elsewhere: the answering one removed is no longer counted.
    QSignalSpy reachable(&remote, &RemoteScreensManager::reachableChanged);
    defaults.set(RemoteScreensManager::kScreensKey, QJsonArray {stored[1]});
    EXPECT_EQ(remote.screens().size(), 1);
    EXPECT_TRUE(reachable.wait(10000));
    EXPECT_TRUE(remote.reachable().isEmpty());
}

TEST(RemoteScreenTest, AScreenNotCheckedYetIsToldFromOneThatDidNotAnswer)
{
    QTemporaryDir dir;
    const test::ManualClock clock;
    platform::Defaults defaults(dir.filePath(QStringLiteral("defaults.json")), clock);
    QTcpServer answering;
    answerWith(answering, "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    const quint16 refusing = closedPort();
    const struct {
        const char* id;
        QString url;
        std::optional<ReachFailure> failure; // none: it answers
    } rows[] = {
        {"0a3e8f2c-1b4d-4e6f-8a9b-0c1d2e3f4a5b",
            QStringLiteral("127.0.0.1:%1").arg(answering.serverPort()), std::nullopt},
        {"1b4d0a3e-8f2c-4e6f-8a9b-0c1d2e3f4a5b", QStringLiteral("127.0.0.1:%1").arg(refusing),
            ReachFailure::refused},
        {"2c1b4d0a-3e8f-4e6f-8a9b-0c1d2e3f4a5b", QStringLiteral("http://bad host"),
            ReachFailure::badAddress},
    };
    QJsonArray stored;
    for (const auto& row : rows)
        stored.append(QJsonObject {{"id", row.id}, {"name", row.id}, {"url", row.url}});
    defaults.set(RemoteScreensManager::kScreensKey, stored);

    RemoteScreensManager remote(&defaults, clock);
    // The first check has only begun: nothing is known of any screen yet.
    EXPECT_TRUE(remote.reachable().isEmpty());
    EXPECT_TRUE(remote.unreachable().isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !remote.reachable().isEmpty(); }, 10000));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.id);
        const QUuid id(QString::fromLatin1(row.id));
        EXPECT_EQ(remote.reachable().contains(id), !row.failure);
        EXPECT_EQ(remote.unreachable().value(id, ReachFailure::failed),
            row.failure.value_or(ReachFailure::failed));
        EXPECT_EQ(remote.unreachable().contains(id), row.failure.has_value());
    }

    // A screen added later is not checked until the check that its addition starts is done.
    stored.append(QJsonObject {{"id", "3d2c1b4d-0a3e-4f6f-8a9b-0c1d2e3f4a5b"}, {"name", "New"},
        {"url", QStringLiteral("127.0.0.1:%1").arg(refusing)}});
    QSignalSpy checked(&remote, &RemoteScreensManager::reachableChanged);
    defaults.set(RemoteScreensManager::kScreensKey, stored);
    const QUuid added(QStringLiteral("3d2c1b4d-0a3e-4f6f-8a9b-0c1d2e3f4a5b"));
    EXPECT_FALSE(remote.unreachable().contains(added) || remote.reachable().contains(added));
    ASSERT_TRUE(checked.wait(10000));
    EXPECT_EQ(remote.unreachable().value(added, ReachFailure::failed), ReachFailure::refused);
}
