#include "receive/controller_fixture.h"

#include "access/access_manager.h"
#include "send/uploader.h"
#include "send/usage_stats.h"
#include "support/endless_answer.h"

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

// This computer's own id, or a phone's passed on by a shared screen: the screen asks about, allows
// and stores the sender by the very ids it sent, and answers its polls by them.
TEST_F(UploaderTest, TheScreenKnowsTheSenderAndGroupByTheIdsSent)
{
    m_defaults.set("accessPolicy", "ask");
    AccessManager& access = m_controller->access();
    const QString ids[] = {QStringLiteral("phone:1 two%"), QStringLiteral("1733561234567-0.8125"),
        QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()};
    for (const QString& id : ids) {
        SCOPED_TRACE(id.toStdString());
        Uploader uploader(options(id));
        UploadRequest request = textRequest(QStringLiteral("from ") + id);
        request.group = UploadGroup {id + QStringLiteral("/group"), 1, 1};
        ASSERT_EQ(run(uploader.send(request, local())).outcome, UploadOutcome::waitingForApproval);
        ASSERT_FALSE(access.pending().isEmpty());
        EXPECT_EQ(access.pending().last().deviceID, id);

        access.approve(id, QStringLiteral("Phone"), GrantDuration::forever);
        access.acceptPending(id);
        EXPECT_TRUE(run(uploader.waitForApproval(local())).ok());
        const auto stored = [&]() -> std::optional<ScreenItem> {
            for (const ScreenItem& item : uploaded()) {
                if (item.text == request.body)
                    return item;
            }
            return std::nullopt;
        };
        ASSERT_TRUE(QTest::qWaitFor([&] { return stored().has_value(); }, 5000));
        EXPECT_EQ(stored()->deviceID, id);
        EXPECT_EQ(stored()->groupID, request.group->id);
    }
}

// Sent as it is, a line end in an id would start a header of the sender's choosing.
TEST_F(UploaderTest, AnIdThatWouldBreakItsHeaderLineLetsNothingInWithIt)
{
    m_defaults.set("accessPolicy", "code");
    m_defaults.set("accessCode", "424242");
    Uploader uploader(options(QStringLiteral("phone\r\nX-Code: 424242")));
    EXPECT_EQ(
        failure(run(uploader.send(textRequest("let in?"), local()))), UploadError::Kind::needsCode);
    EXPECT_TRUE(uploaded().isEmpty());
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
        // Only the server that never answers may run into the time-out: on a loaded machine a
        // short one could end the others before their answers are read.
        o.timeoutMs = row.reply.isEmpty() ? 300 : 60'000;
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
    EXPECT_TRUE(refused.error->description().startsWith("Couldn't reach the screen ("));
    EXPECT_EQ(failure(run(uploader.send(textRequest("x"), UploadTarget::url(QUrl("file:///tmp"))))),
        UploadError::Kind::badURL);
    EXPECT_EQ(failure(run(uploader.send(textRequest("x"), UploadTarget::relayScreen({})))),
        UploadError::Kind::notConnected);
    EXPECT_TRUE(uploaded().isEmpty());
}

// A screen that keeps answering, or answers a byte at a time: the send ends within its limits,
// holds no more of the answer than the cap, and a success that never ends counts as none.
TEST_F(UploaderTest, AnAnswerThatDoesNotEndIsCutOffAndTakesNoMemory)
{
    const QByteArray piece(64 * 1024, 'x');
    const struct {
        const char* name;
        QByteArray head;
        QByteArray piece;
        int everyMs;
        const char* detail;
    } rows[] = {
        {"chunks for ever", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n",
            test::chunk(piece), 0, "Answer too long"},
        {"a hundred gigabytes told", "HTTP/1.1 200 OK\r\nContent-Length: 100000000000\r\n\r\n",
            piece, 0, "Answer too long"},
        {"no length, no end", "HTTP/1.1 202 Accepted\r\nConnection: close\r\n\r\n", piece, 0,
            "Answer too long"},
        {"a byte at a time", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n",
            test::chunk("x"), 20, "No whole answer in time"},
        {"a head without end", "HTTP/1.1 200 OK\r\nX-Long: ", QByteArray(64 * 1024, 'a'), 0,
            "Answer too long"},
        {"a head a byte at a time", "HTTP/1.1 200 OK\r\nX-Long: ", "a", 20,
            "No whole answer in time"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Uploader::Options o = options();
        // A poured answer reaches the cap long before any time limit, however loaded the
        // machine; a trickle keeps the idle time-out from firing (each byte counts as
        // progress) and only the whole exchange's limit ends it.
        o.timeoutMs = 60'000;
        o.answerTimeoutMs = row.everyMs > 0 ? 1000 : 60'000;
        Uploader quick(o);
        test::EndlessAnswer screen(row.head, row.piece, row.everyMs);
        std::unique_ptr<UploadJob> job = quick.send(
            textRequest("x"), UploadTarget::endpoint("127.0.0.1", screen.serverPort()));
        ASSERT_TRUE(QTest::qWaitFor([&] { return job->isFinished(); }, 90'000));
        EXPECT_EQ(job->result().error,
            UploadError(UploadError::Kind::connection, QString::fromLatin1(row.detail)));
        ASSERT_TRUE(QTest::qWaitFor([&] { return screen.closed() == 1; }, 30'000));
        // The cap, plus what the kernel's socket buffers hold on their way.
        EXPECT_LT(screen.taken(), 24 << 20);
    }
}
