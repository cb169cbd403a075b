#include "http/http_exchange.h"

#include "support/endless_answer.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

using namespace vesker;
using Failure = HTTPExchangeResult::Failure;

namespace {

// Answers each request once it has its head with `answer`, then closes; given none, it never
// answers.
class OneAnswer : public QTcpServer {
public:
    explicit OneAnswer(QByteArray answer)
        : m_answer(std::move(answer))
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    m_request += socket->readAll();
                    if (!m_request.contains("\r\n\r\n") || m_answer.isEmpty())
                        return;
                    socket->write(m_answer);
                    socket->disconnectFromHost();
                });
            }
        });
    }
    const QByteArray& request() const { return m_request; }

private:
    QByteArray m_answer;
    QByteArray m_request;
};

QUrl at(quint16 port, const char* path = "/api/info")
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(QLatin1String(path)));
}

std::optional<HTTPExchangeResult> run(
    const QUrl& url, HTTPExchangeLimits limits, const QByteArray& body = QByteArray())
{
    std::optional<HTTPExchangeResult> result;
    HTTPExchange exchange(url, {{"X-Device", "PHONE"}}, body, limits,
        [&](const HTTPExchangeResult& answer) { result = answer; });
    // Far longer than any limit below: each row ends by its own limit or answer.
    EXPECT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 60'000));
    return result;
}

} // namespace

TEST(HTTPExchange, ReadsWholeAnswersOfEveryShape)
{
    const struct {
        const char* name;
        QByteArray answer;
        int status;
        QByteArray body;
    } rows[] = {
        {"told length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", 200, "hello"},
        {"chunked",
            "HTTP/1.1 202 Accepted\r\nTransfer-Encoding: chunked\r\n\r\n"
            "3\r\nhel\r\n2;x=y\r\nlo\r\n0\r\nX-Trailer: 1\r\n\r\n",
            202, "hello"},
        {"until the close", "HTTP/1.1 403 Forbidden\r\nConnection: close\r\n\r\nno", 403, "no"},
        {"lone line feeds", "HTTP/1.0 200 OK\nContent-Length: 2\n\nok", 200, "ok"},
        {"a go-ahead first",
            "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n"
            "Content-Length: 2\r\n\r\nok",
            200, "ok"},
        {"no body", "HTTP/1.1 204 No Content\r\n\r\n", 204, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        OneAnswer server(row.answer);
        const auto result = run(at(server.serverPort()), {}, "sent");
        ASSERT_TRUE(result);
        EXPECT_EQ(result->failure, Failure::none) << result->errorText.toStdString();
        EXPECT_EQ(result->status, row.status);
        EXPECT_EQ(result->body, row.body);
        EXPECT_TRUE(server.request().startsWith("POST /api/info HTTP/1.1\r\n"));
        EXPECT_TRUE(server.request().contains("\r\nX-Device: PHONE\r\n"));
        EXPECT_TRUE(server.request().endsWith("Content-Length: 4\r\nConnection: close\r\n\r\nsent"))
            << server.request().toStdString();
    }
}

TEST(HTTPExchange, FailuresAreToldApart)
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 closed = probe.serverPort();
    probe.close();
    OneAnswer silent({});
    OneAnswer garbage("SSH-2.0-OpenSSH_9.2\r\n\r\n");
    OneAnswer cutShort("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhalf");
    OneAnswer badLength("HTTP/1.1 200 OK\r\nContent-Length: +5\r\n\r\nhello");
    const struct {
        const char* name;
        QUrl url;
        Failure failure;
    } rows[] = {
        {"nobody listens", at(closed), Failure::refused},
        {"no answer", at(silent.serverPort()), Failure::idle},
        {"not HTTP", at(garbage.serverPort()), Failure::badAnswer},
        {"closed before its length", at(cutShort.serverPort()), Failure::network},
        {"a length that is no number", at(badLength.serverPort()), Failure::badAnswer},
        {"not a web address", QUrl(QStringLiteral("file:///tmp")), Failure::badAddress},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        // Only the silent server may run into the time-out.
        const bool silence = row.failure == Failure::idle;
        const auto result
            = run(row.url, {.idleTimeoutMs = silence ? 500 : 30'000, .deadlineMs = 60'000});
        ASSERT_TRUE(result);
        EXPECT_EQ(result->failure, row.failure);
        EXPECT_TRUE(result->body.isEmpty());
    }
}

// A screen whose head or body never ends, poured or dripped: the exchange ends at its limit,
// holds no more than the limit, and closes the connection.
TEST(HTTPExchange, AnAnswerWithoutEndIsCutOffAndClosed)
{
    const QByteArray letters(16 * 1024, 'a');
    QByteArray lines;
    while (lines.size() < 16 * 1024)
        lines += "X-More: a\r\n";
    const struct {
        const char* name;
        QByteArray head;
        QByteArray piece;
        int everyMs;
        Failure failure;
        int status;
    } rows[] = {
        {"a header without end", "HTTP/1.1 200 OK\r\nX-Long: ", letters, 0, Failure::headTooLong,
            0},
        {"headers without end", "HTTP/1.1 200 OK\r\n", lines, 0, Failure::headTooLong, 0},
        {"a status line without end", "HTTP/1.1 200 ", letters, 0, Failure::headTooLong, 0},
        {"a head dripped", "HTTP/1.1 200 OK\r\nX-Long: ", "a", 20, Failure::deadline, 0},
        {"chunks for ever", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n",
            test::chunk(letters), 0, Failure::bodyTooLong, 200},
        {"no length, no end", "HTTP/1.1 500 Oops\r\n\r\n", letters, 0, Failure::bodyTooLong, 500},
        {"a hundred gigabytes told", "HTTP/1.1 200 OK\r\nContent-Length: 100000000000\r\n\r\n",
            letters, 0, Failure::bodyTooLong, 200},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        test::EndlessAnswer screen(row.head, row.piece, row.everyMs);
        // The deadline ends only the dripped rows; the others end by size long before it.
        const bool dripped = row.everyMs > 0;
        const auto result = run(at(screen.serverPort()),
            {.idleTimeoutMs = 30'000, .deadlineMs = dripped ? 1'000 : 30'000});
        ASSERT_TRUE(result);
        EXPECT_EQ(result->failure, row.failure);
        EXPECT_EQ(result->status, row.status);
        EXPECT_TRUE(result->body.isEmpty());
        EXPECT_TRUE(QTest::qWaitFor([&] { return screen.closed() == 1; }, 30'000));
        // The limits, plus what the kernel's socket buffers hold on their way.
        EXPECT_LT(screen.taken(), 24 << 20);
    }
}

// Deleted before it ends, an exchange tells nothing and closes its connection.
TEST(HTTPExchange, DeletedEarlyItTellsNothingAndCloses)
{
    test::EndlessAnswer screen("HTTP/1.1 200 OK\r\nX-Long: ", "a", 20);
    bool told = false;
    auto exchange
        = std::make_unique<HTTPExchange>(at(screen.serverPort()), HTTPExchange::Headers {},
            QByteArray(), HTTPExchangeLimits {}, [&](const HTTPExchangeResult&) { told = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return screen.taken() > 0; }, 30'000));
    exchange.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return screen.closed() == 1; }, 30'000));
    QTest::qWait(50);
    EXPECT_FALSE(told);
}
