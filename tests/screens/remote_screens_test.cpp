#include "screens/remote_screens_manager.h"

#include "platform/defaults.h"
#include "support/endless_answer.h"
#include "support/manual_clock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace vesker;

namespace {

// A screen that answers every request with `answer`, as it is when the request comes.
class FixedAnswer : public QTcpServer {
public:
    explicit FixedAnswer(QByteArray answer)
        : m_answer(std::move(answer))
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* socket = nextPendingConnection();
            socket->write(m_answer);
            socket->disconnectFromHost();
        });
    }
    void setAnswer(QByteArray answer) { m_answer = std::move(answer); }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(serverPort()); }

private:
    QByteArray m_answer;
};

// A port on which nothing listens any more.
quint16 closedPort()
{
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    const quint16 port = closed.serverPort();
    closed.close();
    return port;
}

class RemoteScreenTest : public testing::Test {
protected:
    QTemporaryDir m_dir;
    const test::ManualClock m_clock;
    platform::Defaults m_defaults {m_dir.filePath(QStringLiteral("defaults.json")), m_clock};
};

} // namespace

TEST_F(RemoteScreenTest, BaseAddressFromWhatTheUserTyped)
{
    const std::pair<const char*, const char*> rows[] = {
        {"192.168.1.20", "http://192.168.1.20:8787"},
        {"  desk.local:9000 \n", "http://desk.local:9000"},
        {"https://screen.example.org", "https://screen.example.org:8787"},
        {"http://screen.example.org/", "http://screen.example.org/"},
        {"[fe80::1]", "http://[fe80::1]:8787"},
        {"http://host:8080/s/abc", "http://host:8080/s/abc"},
        // The default port goes after the host, never after a path or query.
        {"desk.local/s/team", "http://desk.local:8787/s/team"},
        {"https://host/screen", "https://host:8787/screen"},
        {"desk.local:9000/s/team", "http://desk.local:9000/s/team"},
        {"[::1]", "http://[::1]:8787"},
        {"[::1]/s/team", "http://[::1]:8787/s/team"},
        {"http://[::1]:9000/s", "http://[::1]:9000/s"},
        {"desk.local/s/team/", "http://desk.local/s/team/"},
        {"desk.local/", "http://desk.local/"},
        {"desk.local?room=2", "http://desk.local:8787?room=2"},
        {"desk.local/s/team?room=2", "http://desk.local:8787/s/team?room=2"},
        {"user@desk.local/s", "http://user@desk.local:8787/s"},
        {"desk.local#top", "http://desk.local:8787#top"},
        {"desk.local:80", "http://desk.local:80"},
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

TEST_F(RemoteScreenTest, TheListFollowsTheSettingsAndOnlyAnsweringScreensAreReachable)
{
    // Any answer counts, even a refusal.
    FixedAnswer answering("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n");
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
    const QJsonArray stored {entry("0a3e8f2c-1b4d-4e6f-8a9b-0c1d2e3f4a5b", answering.address()),
        entry("1b4d0a3e-8f2c-4e6f-8a9b-0c1d2e3f4a5b", QStringLiteral("127.0.0.1:%1").arg(refusing)),
        entry("2c1b4d0a-3e8f-4e6f-8a9b-0c1d2e3f4a5b", QStringLiteral("http://bad host")),
        entry("3d2c1b4d-0a3e-4f6f-8a9b-0c1d2e3f4a5b",
            QStringLiteral("127.0.0.1:%1").arg(trickling.serverPort())),
        entry("not a uuid", QStringLiteral("127.0.0.1"))};
    m_defaults.set(RemoteScreensManager::kScreensKey, stored);

    RemoteScreensManager remote(&m_defaults, m_clock);
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
    m_defaults.set(RemoteScreensManager::kScreensKey, QJsonArray {stored[1]});
    EXPECT_EQ(remote.screens().size(), 1);
    EXPECT_TRUE(reachable.wait(10000));
    EXPECT_TRUE(remote.reachable().isEmpty());
}

TEST_F(RemoteScreenTest, AScreenNotCheckedYetIsToldFromOneThatDidNotAnswer)
{
    FixedAnswer answering("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    const quint16 refusing = closedPort();
    const struct {
        const char* id;
        QString url;
        std::optional<ReachFailure> failure; // none: it answers
    } rows[] = {
        {"0a3e8f2c-1b4d-4e6f-8a9b-0c1d2e3f4a5b", answering.address(), std::nullopt},
        {"1b4d0a3e-8f2c-4e6f-8a9b-0c1d2e3f4a5b", QStringLiteral("127.0.0.1:%1").arg(refusing),
            ReachFailure::refused},
        {"2c1b4d0a-3e8f-4e6f-8a9b-0c1d2e3f4a5b", QStringLiteral("http://bad host"),
            ReachFailure::badAddress},
    };
    QJsonArray stored;
    for (const auto& row : rows)
        stored.append(QJsonObject {{"id", row.id}, {"name", row.id}, {"url", row.url}});
    m_defaults.set(RemoteScreensManager::kScreensKey, stored);

    RemoteScreensManager remote(&m_defaults, m_clock);
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
    m_defaults.set(RemoteScreensManager::kScreensKey, stored);
    const QUuid added(QStringLiteral("3d2c1b4d-0a3e-4f6f-8a9b-0c1d2e3f4a5b"));
    EXPECT_FALSE(remote.unreachable().contains(added) || remote.reachable().contains(added));
    ASSERT_TRUE(checked.wait(10000));
    EXPECT_EQ(remote.unreachable().value(added, ReachFailure::failed), ReachFailure::refused);
}

namespace {

QByteArray infoAnswer(const QByteArray& body, const QByteArray& status = "200 OK")
{
    return "HTTP/1.1 " + status + "\r\nContent-Type: application/json\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

// What a phone reads on a shared screen's "/api/info": whether the screen asks for an access
// code; none when it could not read it.
std::optional<bool> phoneIsAskedForCode(const RemoteScreensManager& remote, const QUuid& id)
{
    const HTTPServer* relay = remote.relayServer(id);
    if (!relay)
        return std::nullopt;
    QNetworkAccessManager phone;
    QNetworkReply* reply = phone.get(QNetworkRequest(
        QUrl(QStringLiteral("http://127.0.0.1:%1/api/info").arg(relay->serverPort()))));
    if (!QTest::qWaitFor([reply] { return reply->isFinished(); }, 10000))
        return std::nullopt;
    const QJsonValue value = QJsonDocument::fromJson(reply->readAll())["requiresCode"];
    return value.isBool() ? std::optional(value.toBool()) : std::nullopt;
}

} // namespace

TEST_F(RemoteScreenTest, PhonesAreToldWhatTheScreensOwnInfoSaysOfItsCode)
{
    const QByteArray padding(RemoteScreensManager::kInfoLimit, ' ');
    const struct {
        const char* name;
        QByteArray answer;
        bool asks;
    } rows[] {
        {"asks", infoAnswer(R"({"name":"B","requiresCode":true})"), true},
        {"asks not", infoAnswer(R"({"name":"B","requiresCode":false})"), false},
        {"says it in words", infoAnswer(R"({"requiresCode":"yes"})"), false},
        {"not JSON", infoAnswer("requiresCode: true"), false},
        {"longer than is read", infoAnswer(R"({"requiresCode":true})" + padding), false},
        {"longer, and of no told length",
            "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\n\r\n"
            R"({"requiresCode":true})"
                + padding,
            false},
        {"a refusal", infoAnswer(R"({"requiresCode":true})", "403 Forbidden"), false},
    };
    std::vector<std::unique_ptr<FixedAnswer>> servers;
    QJsonArray stored;
    for (const auto& row : rows) {
        servers.push_back(std::make_unique<FixedAnswer>(row.answer));
        stored.append(QJsonObject {{"id", QUuid::createUuid().toString()}, {"name", row.name},
            {"url", servers.back()->address()}, {"shareOnLAN", true}});
    }
    m_defaults.set(RemoteScreensManager::kScreensKey, stored);

    RemoteScreensManager remote(&m_defaults, m_clock);
    remote.setListenAddress(QHostAddress::LocalHost);
    remote.setRelayHooks({});
    // What a screen says of itself is known once the check that asked it is done.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return remote.reachable().size() == qsizetype(std::size(rows)); }, 10000));
    for (qsizetype i = 0; i < qsizetype(std::size(rows)); ++i)
        EXPECT_EQ(phoneIsAskedForCode(remote, remote.screens()[i].id), rows[i].asks)
            << rows[i].name;

    // A screen that stops asking is believed at the next check.
    const QUuid asking = remote.screens()[0].id;
    servers[0]->setAnswer(infoAnswer(R"({"requiresCode":false})"));
    remote.checkReachability();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return phoneIsAskedForCode(remote, asking) == false; }, 10000));

    // What a screen told holds for its address only.
    servers[0]->setAnswer(infoAnswer(R"({"requiresCode":true})"));
    remote.checkReachability();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return phoneIsAskedForCode(remote, asking) == true; }, 10000));
    stored[0] = QJsonObject {{"id", asking.toString()}, {"name", "moved"},
        {"url", servers[3]->address()}, {"shareOnLAN", true}};
    m_defaults.set(RemoteScreensManager::kScreensKey, stored);
    EXPECT_EQ(phoneIsAskedForCode(remote, asking), false);
}

TEST_F(RemoteScreenTest, ARefusalForWantOfACodeIsToldToPhonesOnTheSharedScreensInfo)
{
    // The screen's own info tells nothing: only its answers to the requests passed on do.
    FixedAnswer screen("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
    const QUuid id = QUuid::createUuid();
    m_defaults.set(RemoteScreensManager::kScreensKey,
        QJsonArray {QJsonObject {{"id", id.toString()}, {"name", "B"}, {"url", screen.address()},
            {"shareOnLAN", true}}});
    RemoteScreensManager remote(&m_defaults, m_clock);
    remote.setListenAddress(QHostAddress::LocalHost);
    int answer = 200;
    int forwarded = 0;
    remote.setRelayHooks(
        {.forward = [&](const QUrl&, const RelayRequest&, HTTPReplyFunction reply) {
            ++forwarded;
            reply(HTTPResponse::text(answer, QStringLiteral("Access code required or incorrect")));
        }});
    ASSERT_TRUE(QTest::qWaitFor([&] { return remote.reachable().contains(id); }, 10000));
    EXPECT_EQ(phoneIsAskedForCode(remote, id), false);

    const struct {
        const char* name;
        int status;
        const char* code;
        bool asks;
    } steps[] {
        {"refused without a code", 401, "", true},
        {"taken with the code", 200, "4711", true},
        {"refused for a wrong code", 401, "47", true},
        {"taken without a code", 200, "", false},
        {"refused again", 401, "", true},
        {"held without a code", 202, "", false},
        {"not reached", 502, "", false},
    };
    for (const auto& step : steps) {
        // Each goes out as the person allows it "Once", and the screen answers `status`.
        answer = step.status;
        const RelayRequest request {.screenID = id,
            .screenName = QStringLiteral("B"),
            .deviceID = QStringLiteral("PHONE"),
            .body = "text",
            .path = QStringLiteral("/text"),
            .code = QString::fromLatin1(step.code),
            .remoteAddress = QStringLiteral("127.0.0.1")};
        const int before = forwarded;
        EXPECT_TRUE(remote.hold(request)) << step.name;
        remote.allow(request.key(), GrantDuration::once);
        EXPECT_TRUE(QTest::qWaitFor([&] { return forwarded == before + 1; }, 10000)) << step.name;
        EXPECT_EQ(phoneIsAskedForCode(remote, id), step.asks) << step.name;
    }
}

// A screen whose head never ends, poured or dripped, is cut off at each check, every check
// closes its connection, and the checks go on at their pace.
TEST_F(RemoteScreenTest, ChecksOfAScreenWhoseHeadNeverEndsEndAndGoOn)
{
    const QByteArray letters(16 * 1024, 'a');
    test::EndlessAnswer pouring("HTTP/1.1 200 OK\r\nX-Long: ", letters);
    test::EndlessAnswer dripping("HTTP/1.1 200 OK\r\nX-Long: ", "a", 50);
    test::EndlessAnswer statusLine("HTTP/1.1 200 ", letters);
    const struct {
        const char* id;
        const test::EndlessAnswer& screen;
        ReachFailure failure;
    } rows[] = {
        {"0a3e8f2c-1b4d-4e6f-8a9b-0c1d2e3f4a5b", pouring, ReachFailure::failed},
        {"1b4d0a3e-8f2c-4e6f-8a9b-0c1d2e3f4a5b", dripping, ReachFailure::noAnswer},
        {"2c1b4d0a-3e8f-4e6f-8a9b-0c1d2e3f4a5b", statusLine, ReachFailure::failed},
    };
    QJsonArray stored;
    for (const auto& row : rows) {
        stored.append(QJsonObject {{"id", row.id}, {"name", row.id},
            {"url", QStringLiteral("127.0.0.1:%1").arg(row.screen.serverPort())}});
    }
    m_defaults.set(RemoteScreensManager::kScreensKey, stored);
    RemoteScreensManager remote(&m_defaults, m_clock);
    // A poured head passes its limit in milliseconds, long before the time-out that ends the
    // dripped one.
    remote.setCheckTiming({.intervalMs = 2'500, .timeoutMs = 2'000});

    constexpr int kChecks = 3;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return std::all_of(std::begin(rows), std::end(rows),
                [](const auto& row) { return row.screen.accepted() >= kChecks; });
        },
        60'000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return remote.unreachable().size() == 3; }, 30'000));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.id);
        EXPECT_EQ(remote.unreachable().value(QUuid(QString::fromLatin1(row.id))), row.failure);
        // Every check but the one under way has closed its connection.
        EXPECT_GE(row.screen.closed(), row.screen.accepted() - 1);
        EXPECT_LT(row.screen.taken(), qint64(row.screen.accepted()) * (24 << 20));
    }
}

// Whatever the remote screen answers ends the hold but "still waiting"; only a refusal or an
// expiry is told to the phone as such, and a hold its phone can no longer be waiting for goes.
TEST(RemoteHolds, AnAnswerEndsAHoldAndAStaleOneGoes)
{
    using State = RemoteHoldAnswer::State;
    test::ManualClock clock;
    const RemoteHolds::Device device {QUuid::createUuid(), QStringLiteral("PHONE"), {}};
    const struct {
        State told;
        bool ends;
        State outcome;
    } rows[] = {
        {State::waiting, false, State::waiting},
        {State::stored, true, State::waiting},
        {State::declined, true, State::declined},
        {State::expired, true, State::expired},
        {State::failed, true, State::waiting},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(int(row.told));
        RemoteHolds holds(clock);
        holds.answered(QStringLiteral("K"), device, 202);
        ASSERT_TRUE(holds.askNow(QStringLiteral("K")));
        EXPECT_FALSE(holds.askNow(QStringLiteral("K"))) << "one question at a time";
        EXPECT_EQ(holds.told(QStringLiteral("K"), {row.told}), row.ends);
        EXPECT_EQ(holds.isHeld(QStringLiteral("K")), !row.ends);
        EXPECT_EQ(holds.outcome(QStringLiteral("K")), row.outcome);
        holds.forget(QStringLiteral("K"));
        EXPECT_EQ(holds.outcome(QStringLiteral("K")), State::waiting);
    }

    RemoteHolds holds(clock);
    holds.answered(QStringLiteral("STORED"), device, 202);
    holds.answered(QStringLiteral("STORED"), device, 200);
    EXPECT_FALSE(holds.isHeld(QStringLiteral("STORED"))) << "let in with what it sent next";
    holds.answered(QStringLiteral("OLD"), device, 202);
    clock.advance(kMaxWaitSeconds + 1);
    holds.answered(QStringLiteral("NEW"), device, 202);
    EXPECT_FALSE(holds.isHeld(QStringLiteral("OLD")));
    EXPECT_TRUE(holds.isHeld(QStringLiteral("NEW")));
}
