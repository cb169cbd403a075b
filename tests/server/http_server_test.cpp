#include "server/http_server.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace vesker {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A plain blocking-free TCP client, so that tests see exactly the bytes on the wire.
class Client {
public:
    explicit Client(quint16 port, const char* host = "127.0.0.1", int receiveBuffer = 0)
    {
        sockaddr_storage address {};
        socklen_t length = 0;
        auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
        if (::inet_pton(AF_INET, host, &v4->sin_addr) == 1) {
            v4->sin_family = AF_INET;
            v4->sin_port = htons(port);
            length = sizeof *v4;
        } else if (::inet_pton(AF_INET6, host, &v6->sin6_addr) == 1) {
            v6->sin6_family = AF_INET6;
            v6->sin6_port = htons(port);
            length = sizeof *v6;
        }
        m_fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (receiveBuffer > 0)
            ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        if (::connect(m_fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
            ::close(m_fd);
            m_fd = -1;
            return;
        }
        ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    }
    ~Client() { close(); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool isConnected() const { return m_fd >= 0; }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    void shutdownWrite() { ::shutdown(m_fd, SHUT_WR); }

    bool sendAll(QByteArrayView data, std::chrono::milliseconds timeout = 5s)
    {
        const auto deadline = Clock::now() + timeout;
        while (!data.isEmpty() && Clock::now() < deadline) {
            const ssize_t sent = ::send(m_fd, data.data(), size_t(data.size()), MSG_NOSIGNAL);
            if (sent > 0) {
                data = data.sliced(sent);
                continue;
            }
            if (sent < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            pollFor(POLLOUT, 50ms);
        }
        return data.isEmpty();
    }

    // Everything the server sends until it ends its side (or the time is up).
    QByteArray readToEnd(std::chrono::milliseconds timeout = 5s)
    {
        QByteArray received;
        const auto deadline = Clock::now() + timeout;
        while (!m_ended && Clock::now() < deadline) {
            if (!readSome(received))
                pollFor(POLLIN, 50ms);
        }
        return received;
    }

    // Sends `data` and reads at the same time, as an uploading browser does, until the server
    // has ended its side. `sentBeforeReply` is how much had been sent when the first byte of
    // the reply arrived.
    QByteArray sendWhileReading(
        QByteArrayView data, qsizetype* sentBeforeReply, std::chrono::milliseconds timeout = 10s)
    {
        QByteArray received;
        qsizetype sent = 0;
        *sentBeforeReply = -1;
        const auto deadline = Clock::now() + timeout;
        while (!m_ended && Clock::now() < deadline) {
            const bool got = readSome(received);
            if (!received.isEmpty() && *sentBeforeReply < 0)
                *sentBeforeReply = sent;
            bool wrote = false;
            if (sent < data.size()) {
                const ssize_t n = ::send(m_fd, data.data() + sent,
                    size_t(std::min<qsizetype>(data.size() - sent, 65536)), MSG_NOSIGNAL);
                if (n > 0) {
                    sent += n;
                    wrote = true;
                } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                    sent = data.size(); // the server has gone; keep reading what it said
                }
            }
            if (!got && !wrote)
                pollFor(sent < data.size() ? POLLIN | POLLOUT : POLLIN, 50ms);
        }
        return received;
    }

    bool endedByServer() const { return m_ended; }

private:
    bool readSome(QByteArray& into)
    {
        char buffer[65536];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            into.append(buffer, n);
            return true;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR))
            m_ended = true;
        return n == 0;
    }
    void pollFor(short events, std::chrono::milliseconds timeout)
    {
        pollfd entry {m_fd, events, 0};
        ::poll(&entry, 1, int(timeout.count()));
    }

    int m_fd = -1;
    bool m_ended = false;
};

// The requests a handler saw, and on which thread.
struct Seen {
    std::mutex mutex;
    QList<HTTPRequest> requests;
    QThread* thread = nullptr;

    void add(const HTTPRequest& request)
    {
        std::lock_guard lock(mutex);
        requests.append(request);
        thread = QThread::currentThread();
    }
    qsizetype count()
    {
        std::lock_guard lock(mutex);
        return requests.size();
    }
};

HTTPResponse okText(const QByteArray& body = "ok")
{
    return {200, QStringLiteral("text/plain; charset=utf-8"), body};
}

HTTPServerConfig localConfig(Seen& seen)
{
    HTTPServerConfig config;
    config.address = QHostAddress::LocalHost;
    config.handler = [&seen](HTTPRequest request, HTTPReplyFunction reply) {
        seen.add(request);
        reply(okText());
    };
    return config;
}

std::unique_ptr<HTTPServer> startServer(HTTPServerConfig config)
{
    auto server = std::make_unique<HTTPServer>(std::move(config));
    const std::optional<HTTPServerError> error = server->start(nullptr);
    EXPECT_FALSE(error.has_value()) << (error ? error->description.toStdString() : "");
    return server;
}

QByteArray refusal(int status, const char* text)
{
    return HTTPResponse::text(status, QString::fromUtf8(text)).encode();
}

qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

TEST(HTTPServer, RepliesWithTheEightHeadLinesInOrder)
{
    Seen seen;
    HTTPServerConfig config = localConfig(seen);
    config.handler = [&seen](HTTPRequest request, HTTPReplyFunction reply) {
        seen.add(request);
        reply(okText("hello"));
    };
    auto server = startServer(std::move(config));

    Client client(server->serverPort());
    ASSERT_TRUE(client.sendAll("get /x%20y?name=a+b HTTP/1.1\r\nHost: h\r\n\r\n"));
    EXPECT_EQ(client.readToEnd(),
        QByteArray("HTTP/1.1 200 OK\r\n"
                   "Content-Type: text/plain; charset=utf-8\r\n"
                   "Content-Length: 5\r\n"
                   "Cache-Control: no-store\r\n"
                   "Access-Control-Allow-Origin: *\r\n"
                   "Access-Control-Allow-Headers: *\r\n"
                   "Access-Control-Allow-Methods: GET, POST, OPTIONS\r\n"
                   "Connection: close\r\n"
                   "\r\n"
                   "hello"));
    EXPECT_TRUE(client.endedByServer());

    std::lock_guard lock(seen.mutex);
    ASSERT_EQ(seen.requests.size(), 1);
    const HTTPRequest& request = seen.requests.first();
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.path, "/x%20y");
    EXPECT_EQ(request.query.value("name"), "a b");
    EXPECT_EQ(request.headers.value("host"), "h");
    EXPECT_EQ(request.remoteAddress, "127.0.0.1");
    // The handler runs on the server's thread, never on the main thread.
    EXPECT_NE(seen.thread, nullptr);
    EXPECT_NE(seen.thread, QCoreApplication::instance()->thread());
}

TEST(HTTPServer, AnswersOneRequestPerConnection)
{
    Seen seen;
    HTTPServerConfig config = localConfig(seen);
    config.handler = [&seen](HTTPRequest request, HTTPReplyFunction reply) {
        seen.add(request);
        reply(okText("first"));
        reply(okText("second")); // a faulty owner: the second reply must not reach the wire
    };
    auto server = startServer(std::move(config));

    Client client(server->serverPort());
    ASSERT_TRUE(client.sendAll("GET /1 HTTP/1.1\r\n\r\nGET /2 HTTP/1.1\r\n\r\n"));
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(client.sendAll("GET /3 HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(client.readToEnd(), okText("first").encode());
    EXPECT_TRUE(client.endedByServer());
    EXPECT_EQ(seen.count(), 1);
}

TEST(HTTPServer, RefusesMalformedRequestsWith400)
{
    const std::pair<const char*, QByteArray> cases[] = {
        {"one-word request line", "GET\r\n\r\n"},
        {"chunked body",
            "POST /u HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n"},
        {"negative length", "POST /u HTTP/1.1\r\nContent-Length: -1\r\n\r\n"},
        {"length over the limit", "POST /u HTTP/1.1\r\nContent-Length: 62914561\r\n\r\n"},
        {"head without end", "GET / HTTP/1.1\r\nX-Pad: " + QByteArray(70'000, 'a')},
    };
    Seen seen;
    auto server = startServer(localConfig(seen));
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        Client client(server->serverPort());
        ASSERT_TRUE(client.sendAll(bytes));
        EXPECT_EQ(client.readToEnd(), refusal(400, "Bad request"));
        EXPECT_TRUE(client.endedByServer());
    }
    EXPECT_EQ(seen.count(), 0);
}

TEST(HTTPServer, RefusalArrivesWhileTheClientIsStillSending)
{
    const QByteArray body(8 * 1024 * 1024, 'x');
    struct Case {
        const char* name;
        QByteArray head;
        QByteArray reply;
    };
    const Case cases[] = {
        {"declared body too large", "POST /u HTTP/1.1\r\nContent-Length: 62914561\r\n\r\n",
            refusal(400, "Bad request")},
        // Limit 1 MiB: a long head and a body within the declared length pass the buffer limit.
        {"buffer over the limit",
            "POST /u HTTP/1.1\r\nContent-Length: 1048576\r\nX-Pad: " + QByteArray(70'000, 'p')
                + "\r\n\r\n",
            refusal(413, "Payload too large")},
    };
    Seen seen;
    HTTPServerConfig config = localConfig(seen);
    config.maxBodyBytes = 1024 * 1024;
    auto server = startServer(std::move(config));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Client client(server->serverPort());
        ASSERT_TRUE(client.isConnected());
        qsizetype sentBeforeReply = 0;
        const QByteArray upload = c.head + body;
        EXPECT_EQ(client.sendWhileReading(upload, &sentBeforeReply), c.reply);
        EXPECT_TRUE(client.endedByServer());
        EXPECT_GE(sentBeforeReply, 0);
        EXPECT_LT(sentBeforeReply, upload.size());

        // A simpler client sends all of its upload before it reads: the server must take the
        // rest in rather than reset the connection under it.
        Client naive(server->serverPort());
        EXPECT_TRUE(naive.sendAll(upload));
        EXPECT_EQ(naive.readToEnd(), c.reply);
    }
    EXPECT_EQ(seen.count(), 0);
}

TEST(HTTPServer, LargeReplyFromAnotherThreadArrivesWhole)
{
    QByteArray body(5 * 1024 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < body.size(); ++i)
        body[i] = char(i * 7 + i / 251);
    std::thread worker;
    HTTPServerConfig config;
    config.address = QHostAddress::LocalHost;
    config.handler = [&](HTTPRequest, HTTPReplyFunction reply) {
        worker = std::thread([reply, &body] {
            std::this_thread::sleep_for(50ms);
            reply({200, QStringLiteral("application/octet-stream"), body});
        });
    };
    auto server = startServer(std::move(config));

    // A small receive window and a late reader: the reply cannot be written out within the
    // close delay, so a close timer that started when the reply was queued would cut it.
    Client client(server->serverPort(), "127.0.0.1", 16 * 1024);
    ASSERT_TRUE(client.sendAll("GET /big HTTP/1.1\r\n\r\n"));
    std::this_thread::sleep_for(1500ms);
    const QByteArray received = client.readToEnd(10s);
    if (worker.joinable())
        worker.join();
    const QByteArray expected
        = HTTPResponse {200, QStringLiteral("application/octet-stream"), body}.encode();
    EXPECT_EQ(received.size(), expected.size());
    EXPECT_TRUE(received == expected);
    EXPECT_TRUE(client.endedByServer());
}

TEST(HTTPServer, PeerThatStopsHalfWayGetsNothing)
{
    Seen seen;
    auto server = startServer(localConfig(seen));
    Client client(server->serverPort());
    ASSERT_TRUE(
        client.sendAll("POST /u HTTP/1.1\r\nContent-Length: 1000\r\n\r\n" + QByteArray(500, 'b')));
    client.shutdownWrite();
    EXPECT_EQ(client.readToEnd(), QByteArray());
    EXPECT_TRUE(client.endedByServer());
    EXPECT_EQ(seen.count(), 0);
}

TEST(HTTPServer, PeerThatFinishedSendingStillGetsTheReply)
{
    // Tools that send a request and then close their sending side wait for the reply all the
    // same; it comes later, from another thread.
    std::thread worker;
    HTTPServerConfig config;
    config.address = QHostAddress::LocalHost;
    config.handler = [&](HTTPRequest, HTTPReplyFunction reply) {
        worker = std::thread([reply] {
            std::this_thread::sleep_for(100ms);
            reply(okText("late"));
        });
    };
    auto server = startServer(std::move(config));
    Client client(server->serverPort());
    ASSERT_TRUE(client.sendAll("GET / HTTP/1.1\r\n\r\n"));
    client.shutdownWrite();
    EXPECT_EQ(client.readToEnd(), okText("late").encode());
    if (worker.joinable())
        worker.join();
}

TEST(HTTPServer, ReportsPeerAddressesAsPlainText)
{
    struct Case {
        const char* name;
        QHostAddress listen;
        const char* connect;
        const char* expected;
    };
    const Case cases[] = {
        // Listening on every address puts IPv4 peers on an IPv6 socket as ::ffff:127.0.0.1
        // (Qt cannot bind that mapped address alone). The peer is still only 127.0.0.1.
        {"IPv4-mapped", QHostAddress::Any, "127.0.0.1", "127.0.0.1"},
        {"IPv6 loopback", QHostAddress::LocalHostIPv6, "::1", "::1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Seen seen;
        HTTPServerConfig config = localConfig(seen);
        config.address = c.listen;
        auto server = std::make_unique<HTTPServer>(std::move(config));
        if (server->start(nullptr)) {
            std::cout << "[ skipped  ] " << c.name << ": cannot listen here\n";
            continue;
        }
        Client client(server->serverPort(), c.connect);
        ASSERT_TRUE(client.isConnected());
        ASSERT_TRUE(client.sendAll("GET / HTTP/1.1\r\n\r\n"));
        EXPECT_EQ(client.readToEnd(), okText().encode());
        std::lock_guard lock(seen.mutex);
        ASSERT_EQ(seen.requests.size(), 1);
        EXPECT_EQ(seen.requests.first().remoteAddress, c.expected);
    }
}

TEST(HTTPServer, IdleConnectionsAreClosedWhileOthersAreServed)
{
    constexpr int kIdle = 200;
    Seen seen;
    HTTPServerConfig config = localConfig(seen);
    config.idleTimeout = 1s;
    // Above the idle crowd, so that this test shows the timeout and not the connection cap.
    config.maxConnections = kIdle + 8;
    auto server = startServer(std::move(config));

    const qint64 before = residentKiB();
    std::vector<std::unique_ptr<Client>> idle;
    for (int i = 0; i < kIdle; ++i) {
        idle.push_back(std::make_unique<Client>(server->serverPort()));
        ASSERT_TRUE(idle.back()->sendAll("POST /u HTTP/1.1\r\nContent-Length: 10\r\n"));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->openConnections() == kIdle; }, 5000));
    const qint64 after = residentKiB();
    std::cout << "[ figures  ] resident memory with " << kIdle << " idle connections: +"
              << (after - before) << " KiB (" << before << " -> " << after << " KiB)\n";
    EXPECT_LT(after - before, 16 * 1024);

    const auto served = Clock::now();
    Client normal(server->serverPort());
    ASSERT_TRUE(normal.sendAll("GET / HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(normal.readToEnd(), okText().encode());
    EXPECT_LT(Clock::now() - served, 500ms);

    // Every idle one is closed without a reply, about a second after its last byte.
    for (auto& client : idle) {
        EXPECT_EQ(client->readToEnd(3s), QByteArray());
        EXPECT_TRUE(client->endedByServer());
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return server->openConnections() == 0; }, 3000));
    EXPECT_EQ(seen.count(), 1);
}

TEST(HTTPServer, RefusesConnectionsOverTheCap)
{
    Seen seen;
    HTTPServerConfig config = localConfig(seen);
    config.maxConnections = 4;
    auto server = startServer(std::move(config));

    std::vector<std::unique_ptr<Client>> idle;
    for (int i = 0; i < 4; ++i) {
        idle.push_back(std::make_unique<Client>(server->serverPort()));
        ASSERT_TRUE(idle.back()->sendAll("GET / HTTP/1.1\r\n"));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->openConnections() == 4; }, 5000));
    {
        Client over(server->serverPort());
        ASSERT_TRUE(over.sendAll("GET / HTTP/1.1\r\n\r\n"));
        EXPECT_EQ(over.readToEnd(), refusal(503, "Server busy"));
    }
    idle.pop_back();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->openConnections() == 3; }, 5000));
    Client next(server->serverPort());
    ASSERT_TRUE(next.sendAll("GET / HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(next.readToEnd(), okText().encode());
    EXPECT_EQ(seen.count(), 1);
}

TEST(HTTPServer, RefusesRequestsOverTheBufferBudget)
{
    Seen seen;
    HTTPServerConfig config = localConfig(seen);
    auto budget = std::make_shared<HTTPBufferBudget>(256 * 1024);
    config.bufferBudget = budget;
    auto server = startServer(std::move(config));
    const QByteArray small
        = "POST /u HTTP/1.1\r\nContent-Length: 102400\r\n\r\n" + QByteArray(100 * 1024, 's');

    // A slow upload holds 200 KiB of the budget...
    auto slow = std::make_unique<Client>(server->serverPort());
    ASSERT_TRUE(slow->sendAll(
        "POST /u HTTP/1.1\r\nContent-Length: 1048576\r\n\r\n" + QByteArray(200 * 1024, 'b')));
    ASSERT_TRUE(QTest::qWaitFor([&] { return budget->used() >= 200 * 1024; }, 5000));
    // ...so another that needs 100 KiB more is refused,
    {
        Client refused(server->serverPort());
        qsizetype sentBeforeReply = 0;
        EXPECT_EQ(refused.sendWhileReading(small, &sentBeforeReply), refusal(503, "Server busy"));
    }
    // and accepted once the slow one has gone.
    slow.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return budget->used() == 0; }, 5000));
    Client accepted(server->serverPort());
    ASSERT_TRUE(accepted.sendAll(small));
    EXPECT_EQ(accepted.readToEnd(), okText().encode());
    EXPECT_EQ(seen.count(), 1);
    EXPECT_EQ(budget->used(), 0);
}

TEST(HTTPServer, PeerThatDoesNotReadItsReplyIsClosed)
{
    HTTPServerConfig config;
    config.address = QHostAddress::LocalHost;
    config.idleTimeout = 500ms;
    config.handler = [](HTTPRequest, HTTPReplyFunction reply) {
        reply({200, QStringLiteral("application/octet-stream"), QByteArray(32 * 1024 * 1024, 'r')});
    };
    auto server = startServer(std::move(config));
    Client client(server->serverPort(), "127.0.0.1", 16 * 1024);
    ASSERT_TRUE(client.sendAll("GET / HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->openConnections() == 1; }, 2000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return server->openConnections() == 0; }, 4000));
}

TEST(HTTPServer, StopFreesThePortAndPendingRepliesStillArrive)
{
    std::mutex mutex;
    HTTPReplyFunction pending;
    HTTPServerConfig config;
    config.address = QHostAddress::LocalHost;
    config.handler = [&](HTTPRequest, HTTPReplyFunction reply) {
        std::lock_guard lock(mutex);
        pending = std::move(reply);
    };
    auto first = startServer(config);
    const quint16 port = first->serverPort();
    ASSERT_NE(port, 0);
    Client waiting(port);
    ASSERT_TRUE(waiting.sendAll("GET /first HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            std::lock_guard lock(mutex);
            return bool(pending);
        },
        5000));

    // The owner drops the server and makes another on the same port at once.
    first.reset();
    Seen seen;
    HTTPServerConfig second = localConfig(seen);
    second.port = port;
    auto replacement = startServer(std::move(second));
    EXPECT_EQ(replacement->serverPort(), port);

    // The request the old server handed over is still answered on its own connection.
    {
        std::lock_guard lock(mutex);
        pending(okText("from the first"));
    }
    EXPECT_EQ(waiting.readToEnd(), okText("from the first").encode());
    Client fresh(port);
    ASSERT_TRUE(fresh.sendAll("GET / HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(fresh.readToEnd(), okText().encode());
}

TEST(HTTPServer, StartRefusesBadPortsAndPassesBindErrorsOn)
{
    for (const int port : {70'000, -1}) {
        HTTPServerConfig config;
        config.address = QHostAddress::LocalHost;
        config.port = port;
        HTTPServer server(config);
        const std::optional<HTTPServerError> error = server.start(nullptr);
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->domain, "HTTPServer");
        EXPECT_EQ(error->code, 1);
        EXPECT_EQ(error->description, QStringLiteral("Bad port %1").arg(port));
        EXPECT_FALSE(server.isListening());
    }

    Seen seen;
    auto taken = startServer(localConfig(seen));
    HTTPServerConfig config = localConfig(seen);
    config.port = taken->serverPort();
    HTTPServer second(config);
    const std::optional<HTTPServerError> error = second.start(nullptr);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->domain, "QAbstractSocket");
    EXPECT_EQ(error->code, int(QAbstractSocket::AddressInUseError));
    EXPECT_FALSE(error->description.isEmpty());
}

TEST(HTTPServer, ReportsStatesOnTheMainThreadInOrder)
{
    QList<HTTPServerState> states;
    bool allOnMain = true;
    Seen seen;
    HTTPServer server(localConfig(seen));
    ASSERT_FALSE(server.start([&](HTTPServerState state, const QString&) {
        states.append(state);
        allOnMain = allOnMain && QThread::currentThread() == QCoreApplication::instance()->thread();
    }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return states.size() == 2; }, 2000));
    server.stop();
    EXPECT_FALSE(server.isListening());
    ASSERT_TRUE(QTest::qWaitFor([&] { return states.size() == 3; }, 2000));
    EXPECT_EQ(states,
        (QList<HTTPServerState> {
            HTTPServerState::setup, HTTPServerState::ready, HTTPServerState::cancelled}));
    EXPECT_TRUE(allOnMain);
}

TEST(HTTPServer, RequiredInterfaceTypeDropsConnectionsFromOtherInterfaces)
{
    // The loopback interface is neither Wi-Fi nor Ethernet.
    for (const HTTPInterfaceType type :
        {HTTPInterfaceType::wifi, HTTPInterfaceType::wiredEthernet}) {
        Seen seen;
        HTTPServerConfig config = localConfig(seen);
        config.interfaceType = type;
        auto server = startServer(std::move(config));
        Client client(server->serverPort());
        client.sendAll("GET / HTTP/1.1\r\n\r\n");
        EXPECT_EQ(client.readToEnd(), QByteArray());
        EXPECT_TRUE(client.endedByServer());
        EXPECT_EQ(seen.count(), 0);
    }
}

// Collects the warnings logged while it lives.
class LogCapture {
public:
    LogCapture()
    {
        {
            std::lock_guard lock(s_mutex);
            s_warnings.clear();
        }
        m_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    static QStringList warnings()
    {
        std::lock_guard lock(s_mutex);
        return s_warnings;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext&, const QString& message)
    {
        if (type != QtWarningMsg)
            return;
        std::lock_guard lock(s_mutex);
        s_warnings.append(message);
    }
    static inline std::mutex s_mutex;
    static inline QStringList s_warnings;
    QtMessageHandler m_previous = nullptr;
};

TEST(HTTPServer, OwnerLearnsTheRegisteredName)
{
    Seen seen;
    HTTPServerConfig config = localConfig(seen);
    config.advertise = true;
    config.serviceName = QStringLiteral("Vesker test %1-%2")
                             .arg(QCoreApplication::applicationPid())
                             .arg(QRandomGenerator::global()->bounded(100000));
    LogCapture log;
    auto server = startServer(config);
    QSignalSpy advertised(server.get(), &HTTPServer::advertised);
    (void)QTest::qWaitFor(
        [&] {
            return !advertised.isEmpty()
                || !log.warnings().filter(QStringLiteral("not discoverable")).isEmpty();
        },
        10000);
    if (advertised.isEmpty())
        GTEST_SKIP() << "no avahi-daemon to advertise with";
    EXPECT_EQ(advertised.constFirst().at(0).toString(), config.serviceName);
    EXPECT_EQ(server->advertisedName(), config.serviceName);
    server->stop();
    EXPECT_TRUE(server->advertisedName().isEmpty());
}

TEST(HTTPServer, ServesWhenItCannotBeAdvertised)
{
    // No daemon can be reached on a bus that does not exist.
    const QByteArray bus = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/vesker-test-bus");
    LogCapture log;
    Seen seen;
    HTTPServerConfig config = localConfig(seen);
    config.advertise = true;
    config.serviceName = QStringLiteral("Front desk");
    auto server = startServer(std::move(config));
    QSignalSpy advertised(server.get(), &HTTPServer::advertised);

    Client client(server->serverPort());
    ASSERT_TRUE(client.sendAll("GET / HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(client.readToEnd(), okText().encode());
    (void)QTest::qWaitFor(
        [&] {
            return !advertised.isEmpty()
                || !log.warnings().filter(QStringLiteral("not discoverable")).isEmpty();
        },
        5000);
    QTest::qWait(200); // a second line would come now
    // The bus address is read once per process: one that reached a daemon before keeps it.
    if (!advertised.isEmpty())
        GTEST_SKIP() << "this process reached avahi-daemon already";
    const QStringList lines = log.warnings().filter(QStringLiteral("not discoverable"));
    EXPECT_EQ(lines.size(), 1) << lines.join(u'\n').toStdString();
    EXPECT_TRUE(server->advertisedName().isEmpty());
    server.reset();
    if (bus.isNull())
        qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    else
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus);
}

} // namespace
} // namespace vesker
