#include "receive/controller_fixture.h"

#include "screens/remote_screens_manager.h"
#include "send/uploader.h"
#include "send/usage_stats.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTimer>

using namespace vesker;
using namespace vesker::test;

namespace {

// A server that answers every request with one canned reply once its body is in, or, given
// none, accepts and never answers.
class CannedServer : public QTcpServer {
public:
    explicit CannedServer(QByteArray reply)
        : m_reply(std::move(reply))
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        });
    }

private:
    void read(QTcpSocket* socket)
    {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
        const qsizetype lengthAt = buffer.toLower().indexOf("content-length:");
        if (headEnd < 0 || m_reply.isEmpty())
            return;
        const qint64 length = lengthAt < 0
            ? 0
            : buffer.mid(lengthAt + 15, buffer.indexOf('\r', lengthAt) - lengthAt - 15)
                  .trimmed()
                  .toLongLong();
        if (buffer.size() - headEnd - 4 >= length) {
            socket->write(m_reply);
            socket->disconnectFromHost();
        }
    }

    QByteArray m_reply;
    QHash<QTcpSocket*, QByteArray> m_buffers;
};

UploadRequest textRequest(const QString& text, const QString& code = {})
{
    return {.path = "/text",
        .kind = "text",
        .body = text.toUtf8(),
        .contentType = "text/plain; charset=utf-8",
        .sender = "Desk",
        .code = code,
        .itemID = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()};
}

} // namespace

class UploaderTest : public ControllerTest {
protected:
    std::unique_ptr<ServerController> m_controller = makeController();
    platform::Defaults m_group {m_dir.filePath(QStringLiteral("group.json")), m_clock};
    UsageStats m_stats {m_group};

    void SetUp() override { ASSERT_TRUE(waitUntilRunning(*m_controller)); }

    Uploader::Options options(const QString& deviceID = "MAC-1")
    {
        return {.deviceID = deviceID,
            .deviceName = "Büro Mac",
            .stats = &m_stats,
            .pollIntervalMs = 10};
    }
    UploadTarget local() const { return UploadTarget::endpoint("127.0.0.1", port()); }

    static UploadResult run(std::unique_ptr<UploadJob> job)
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return job->isFinished(); }, 10000));
        return job->result();
    }
    static std::optional<UploadError::Kind> failure(const UploadResult& result)
    {
        return result.error ? std::optional(result.error->kind()) : std::nullopt;
    }
};

TEST_F(UploaderTest, AScreenThatWantsACodeTakesOnlyTheRightOne)
{
    m_defaults.set("accessPolicy", "code");
    m_defaults.set("accessCode", "424242");
    Uploader uploader(options());
    const UploadResult without = run(uploader.send(textRequest("a"), local()));
    EXPECT_EQ(failure(without), UploadError::Kind::needsCode);
    EXPECT_EQ(without.error->description(), "Access code required");
    EXPECT_TRUE(run(uploader.send(textRequest("b", "424242"), local())).ok());
    EXPECT_EQ(uploaded().size(), 1);
    EXPECT_EQ(m_stats.sentCount(), 1) << "a refused upload is not counted";
    EXPECT_EQ(m_stats.sentCount("text"), 1);
}

// The answers themselves are shown through the sending session's tests.
TEST_F(UploaderTest, AHeldUploadThatIsNeverAnsweredTimesOut)
{
    m_defaults.set("accessPolicy", "ask");
    Uploader::Options o = options();
    o.maxPolls = 5;
    Uploader uploader(o);
    const UploadResult held = run(uploader.send(textRequest("held"), local()));
    ASSERT_TRUE(held.ok());
    EXPECT_EQ(held.outcome, UploadOutcome::waitingForApproval);
    EXPECT_EQ(failure(run(uploader.waitForApproval(local()))), UploadError::Kind::approvalTimeout);
    EXPECT_TRUE(uploaded().isEmpty());
    EXPECT_EQ(m_stats.sentCount(), 0) << "a held upload is not counted as sent";
}

TEST_F(UploaderTest, RepliesAndTransportFailuresBecomeTheirErrors)
{
    Uploader uploader(options());
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 closedPort = probe.serverPort();
    probe.close();
    const QByteArray moved = "HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:"
        + QByteArray::number(port()) + "/upload\r\nContent-Length: 5\r\n\r\nMoved";
    const struct {
        const char* name;
        QByteArray reply; // empty: a server that never answers; "closed": nobody listens
        const char* kind;
        UploadError expected;
    } rows[] = {
        {"redirect is not followed", moved, "text", {UploadError::Kind::badResponse, "Moved"}},
        {"pdf to an old screen", "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nNot found",
            "pdf", UploadError::Kind::tooOldForPDF},
        {"404 to a text", "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nNot found", "text",
            {UploadError::Kind::badResponse, "Not found"}},
        {"declined", "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n", "text",
            UploadError::Kind::denied},
        {"server error without text", "HTTP/1.1 500 Oops\r\nContent-Length: 0\r\n\r\n", "text",
            {UploadError::Kind::badResponse, "HTTP 500"}},
        {"never answers", {}, "text", UploadError::Kind::timeout},
    };
    for (const auto& row : rows) {
        Uploader::Options o = options();
        o.timeoutMs = 300;
        Uploader quick(o);
        CannedServer server(row.reply);
        UploadRequest request = textRequest("x");
        request.kind = row.kind;
        const UploadResult result
            = run(quick.send(request, UploadTarget::endpoint("127.0.0.1", server.serverPort())));
        EXPECT_EQ(result.error, row.expected) << row.name;
    }
    // A screen that never stops talking: its status decides, and the send ends.
    QTcpServer flood;
    flood.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&flood, &QTcpServer::newConnection, &flood, [&] {
        flood.nextPendingConnection()->write(
            "HTTP/1.1 500 Oops\r\nContent-Length: 100000000000\r\n\r\n");
    });
    QTimer pour;
    QObject::connect(&pour, &QTimer::timeout, &flood, [&] {
        for (QTcpSocket* socket : flood.findChildren<QTcpSocket*>())
            socket->write(QByteArray(64 * 1024, ' '));
    });
    pour.start(5);
    EXPECT_EQ(failure(run(uploader.send(
                  textRequest("x"), UploadTarget::endpoint("127.0.0.1", flood.serverPort())))),
        UploadError::Kind::badResponse);
    pour.stop();

    const UploadResult refused
        = run(uploader.send(textRequest("x"), UploadTarget::endpoint("127.0.0.1", closedPort)));
    EXPECT_EQ(failure(refused), UploadError::Kind::connection);
    EXPECT_TRUE(refused.error->description().startsWith("Couldn't reach the Mac ("));
    EXPECT_EQ(failure(run(uploader.send(textRequest("x"), UploadTarget::url(QUrl("file:///tmp"))))),
        UploadError::Kind::badURL);
    EXPECT_EQ(failure(run(uploader.send(textRequest("x"), UploadTarget::relayScreen({})))),
        UploadError::Kind::notConnected);
    EXPECT_TRUE(uploaded().isEmpty());
}

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
    const ManualClock clock;
    platform::Defaults defaults(dir.filePath(QStringLiteral("defaults.json")), clock);
    CannedServer answering("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n");
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    const quint16 closedPort = closed.serverPort();
    closed.close();
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
        entry(
            "1b4d0a3e-8f2c-4e6f-8a9b-0c1d2e3f4a5b", QStringLiteral("127.0.0.1:%1").arg(closedPort)),
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
