#include "server/http_server.h"

#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace vesker {
namespace {

using namespace std::chrono_literals;

// A plain TCP client, so that tests see exactly the bytes on the wire. Every wait on it ends
// after 5 s without progress.
class Client {
public:
    explicit Client(quint16 port, const char* host = "127.0.0.1", int receiveBuffer = 0)
    {
        sockaddr_in v4 {AF_INET, htons(port), {}, {}};
        sockaddr_in6 v6 {AF_INET6, htons(port), 0, {}, 0};
        const bool isV4 = ::inet_pton(AF_INET, host, &v4.sin_addr) == 1;
        if (!isV4)
            ::inet_pton(AF_INET6, host, &v6.sin6_addr);
        m_fd = ::socket(isV4 ? AF_INET : AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const timeval timeout {5, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        if (receiveBuffer > 0)
            ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        ::connect(m_fd, isV4 ? reinterpret_cast<sockaddr*>(&v4) : reinterpret_cast<sockaddr*>(&v6),
            isV4 ? sizeof v4 : sizeof v6);
    }
    ~Client() { ::close(m_fd); }

    bool endedByServer() const { return m_ended; }
    void shutdownWrite() { ::shutdown(m_fd, SHUT_WR); }

    bool sendAll(QByteArrayView data)
    {
        while (!data.isEmpty()) {
            const ssize_t sent = ::send(m_fd, data.data(), size_t(data.size()), MSG_NOSIGNAL);
            if (sent <= 0)
                return false;
            data = data.sliced(sent);
        }
        return true;
    }

    // Everything the server sends until it ends its side.
    QByteArray readToEnd()
    {
        QByteArray received;
        while (readSome(received, 0)) { }
        return received;
    }

    // Sends `data` while reading, as an uploading browser does, until the reply begins; then
    // reads the reply to its end.
    QByteArray upload(QByteArrayView data, qsizetype* sentBeforeReply = nullptr)
    {
        QByteArray received;
        qsizetype sent = 0;
        pollfd entry {m_fd, POLLIN | POLLOUT, 0};
        while (sent < data.size() && ::poll(&entry, 1, 5000) > 0) {
            if (readSome(received, MSG_DONTWAIT) || m_ended)
                break;
            const ssize_t n = ::send(m_fd, data.data() + sent,
                size_t(std::min<qsizetype>(data.size() - sent, 65536)),
                MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n < 0 && errno != EAGAIN)
                break; // the server has gone; read what it said
            sent += std::max<ssize_t>(n, 0);
        }
        if (sentBeforeReply)
            *sentBeforeReply = sent;
        return received + readToEnd();
    }

    // Sends `data` a piece every `period`, as a stalling client does, until all is sent or the
    // server ends the connection; true when the server ended it first.
    bool dribble(QByteArrayView data, qsizetype piece, std::chrono::milliseconds period,
        QByteArray* reply = nullptr)
    {
        QByteArray received;
        for (; !data.isEmpty() && !m_ended; data = data.sliced(std::min(piece, data.size()))) {
            while (readSome(received, MSG_DONTWAIT)) { }
            if (m_ended || !sendAll(data.first(std::min(piece, data.size()))))
                break;
            std::this_thread::sleep_for(period);
        }
        while (!m_ended && readSome(received, MSG_DONTWAIT)) { }
        if (reply)
            *reply = received;
        return !data.isEmpty();
    }

private:
    bool readSome(QByteArray& into, int flags)
    {
        char buffer[65536];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, flags);
        if (n > 0)
            into.append(buffer, n);
        else if (n == 0 || errno != EAGAIN)
            m_ended = true;
        return n > 0;
    }

    int m_fd = -1;
    bool m_ended = false;
};

const QByteArray kGet = "GET / HTTP/1.1\r\n\r\n";

// Sends all of `request` on a connection of its own before it reads; the reply, which must end
// with the server's close.
QByteArray exchange(quint16 port, QByteArrayView request = kGet)
{
    Client client(port);
    EXPECT_TRUE(client.sendAll(request));
    const QByteArray reply = client.readToEnd();
    EXPECT_TRUE(client.endedByServer());
    return reply;
}

HTTPResponse okText(const QByteArray& body = "ok")
{
    return {200, QStringLiteral("text/plain; charset=utf-8"), body};
}

QByteArray refusal(int status, const char* text)
{
    return HTTPResponse::text(status, QString::fromUtf8(text)).encode();
}

// The requests a handler saw, and on which thread; held ones wait for release().
struct Seen {
    std::mutex mutex;
    QList<HTTPRequest> requests;
    QList<HTTPReplyFunction> held;
    QThread* thread = nullptr;

    HTTPHandler handler(std::optional<HTTPResponse> response = okText())
    {
        return [this, response](HTTPRequest request, HTTPReplyFunction reply) {
            std::lock_guard lock(mutex);
            requests.append(std::move(request));
            thread = QThread::currentThread();
            if (response)
                reply(*response);
            else
                held.append(std::move(reply));
        };
    }
    HTTPHandler holding() { return handler(std::nullopt); }
    qsizetype count()
    {
        std::lock_guard lock(mutex);
        return requests.size();
    }
    bool waitFor(qsizetype count)
    {
        return QTest::qWaitFor([&] { return this->count() >= count; }, 5000);
    }
    // Answers the held requests with okText() and lets go of every request.
    void release()
    {
        std::lock_guard lock(mutex);
        for (const HTTPReplyFunction& reply : std::exchange(held, {}))
            reply(okText());
        requests.clear();
    }
};

// A server on 127.0.0.1 and a port of the system's choice, unless `adjust` says otherwise.
std::unique_ptr<HTTPServer> startServer(
    HTTPHandler handler, const std::function<void(HTTPServerConfig&)>& adjust = {})
{
    HTTPServerConfig config;
    config.address = QHostAddress::LocalHost;
    config.handler = std::move(handler);
    if (adjust)
        adjust(config);
    auto server = std::make_unique<HTTPServer>(std::move(config));
    const std::optional<HTTPServerError> error = server->start(nullptr);
    EXPECT_FALSE(error.has_value()) << (error ? error->description.toStdString() : "");
    return server;
}

TEST(HTTPServer, RepliesWithTheEightHeadLinesInOrder)
{
    Seen seen;
    // 423 has its own phrase; a content type that looks like a format string goes out as it is.
    auto server = startServer(seen.handler(
        HTTPResponse {423, QStringLiteral("text/x-%1; q=é"), QByteArray("lo\0ck", 5)}));
    EXPECT_EQ(exchange(server->serverPort(), "get /x%20y?name=a+b HTTP/1.1\r\nHost: h\r\n\r\n"),
        QByteArray("HTTP/1.1 423 Locked\r\n"
                   "Content-Type: text/x-%1; q=\xc3\xa9\r\n"
                   "Content-Length: 5\r\n"
                   "Cache-Control: no-store\r\n"
                   "Access-Control-Allow-Origin: *\r\n"
                   "Access-Control-Allow-Headers: *\r\n"
                   "Access-Control-Allow-Methods: GET, POST, OPTIONS\r\n"
                   "Connection: close\r\n"
                   "\r\n")
            + QByteArray("lo\0ck", 5));

    std::lock_guard lock(seen.mutex);
    EXPECT_EQ(seen.requests,
        (QList<HTTPRequest> {
            {"GET", "/x%20y", {{"name", "a b"}}, {{"host", "h"}}, {}, "127.0.0.1"}}));
    EXPECT_NE(seen.thread, QCoreApplication::instance()->thread());
}

TEST(HTTPServer, AnswersOneRequestPerConnection)
{
    Seen seen;
    const HTTPHandler record = seen.handler();
    auto server = startServer([&](HTTPRequest request, HTTPReplyFunction reply) {
        record(request, reply);
        reply(okText("second")); // a faulty owner: the second reply must not reach the wire
    });
    Client client(server->serverPort());
    ASSERT_TRUE(client.sendAll("GET /1 HTTP/1.1\r\n\r\nGET /2 HTTP/1.1\r\n\r\n"));
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(client.sendAll("GET /3 HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(client.readToEnd(), okText().encode());
    EXPECT_TRUE(client.endedByServer());
    EXPECT_EQ(seen.count(), 1);
}

TEST(HTTPServer, RefusalArrivesBeforeTheCloseWhileTheClientIsStillSending)
{
    const QByteArray pad(70'000, 'p');
    const QByteArray bad = refusal(400, "Bad request");
    const std::pair<QByteArray, QByteArray> cases[] = {
        {"GET\r\n\r\n", bad},
        {"POST /u HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", bad},
        {"POST /u HTTP/1.1\r\nContent-Length: 62914561\r\n\r\n", bad},
        {"GET / HTTP/1.1\r\nX-Pad: " + pad, bad},
        // Limit 1 MiB: a long head and a body within the declared length pass the buffer limit.
        {"POST /u HTTP/1.1\r\nContent-Length: 1048576\r\nX-Pad: " + pad + "\r\n\r\n",
            refusal(413, "Payload too large")},
    };
    Seen seen;
    auto server = startServer(seen.handler(), [](auto& config) { config.maxBodyBytes = 1 << 20; });
    for (const auto& [head, reply] : cases) {
        SCOPED_TRACE(head.left(48).toStdString());
        const QByteArray upload = head + QByteArray(8 * 1024 * 1024, 'x');
        Client client(server->serverPort());
        qsizetype sentBeforeReply = 0;
        EXPECT_EQ(client.upload(upload, &sentBeforeReply), reply);
        EXPECT_TRUE(client.endedByServer());
        EXPECT_LT(sentBeforeReply, upload.size());
        // A simpler client sends all of its upload before it reads: the server must take the
        // rest in rather than reset the connection under it (the send would fail).
        EXPECT_EQ(exchange(server->serverPort(), upload), reply);
    }
    EXPECT_EQ(seen.count(), 0);
}

TEST(HTTPServer, LargeUploadEchoedFromAnotherThreadArrivesWhole)
{
    QByteArray body(5 * 1024 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < body.size(); ++i)
        body[i] = char(i * 7 + i / 251);
    std::jthread worker;
    auto server = startServer([&](HTTPRequest request, HTTPReplyFunction reply) {
        worker = std::jthread([reply, body = std::move(request.body)] {
            std::this_thread::sleep_for(50ms);
            reply({200, QStringLiteral("application/octet-stream"), body});
        });
    });

    // The peer finishes its sending side after the upload, as some tools do, and still waits.
    // A small receive window and a late reader: the reply cannot be written out within the
    // close delay, so a close timer that started when the reply was queued would cut it.
    Client client(server->serverPort(), "127.0.0.1", 16 * 1024);
    ASSERT_TRUE(client.sendAll("POST /echo HTTP/1.1\r\nContent-Length: 5242880\r\n\r\n" + body));
    client.shutdownWrite();
    std::this_thread::sleep_for(1500ms);
    const QByteArray received = client.readToEnd();
    const HTTPResponse expected {200, QStringLiteral("application/octet-stream"), body};
    EXPECT_TRUE(received == expected.encode()) << received.size() << " bytes";
    EXPECT_TRUE(client.endedByServer());
}

TEST(HTTPServer, PeerThatStopsHalfWayGetsNothing)
{
    Seen seen;
    auto server = startServer(seen.handler());
    Client client(server->serverPort());
    ASSERT_TRUE(
        client.sendAll("POST /u HTTP/1.1\r\nContent-Length: 1000\r\n\r\n" + QByteArray(500, 'b')));
    client.shutdownWrite();
    EXPECT_EQ(client.readToEnd(), QByteArray());
    EXPECT_TRUE(client.endedByServer());
    EXPECT_EQ(seen.count(), 0);
}

TEST(HTTPServer, ReportsPeerAddressesAsPlainText)
{
    // Listening on every address puts IPv4 peers on an IPv6 socket as ::ffff:127.0.0.1 (Qt
    // cannot bind that mapped address alone). The peer is still only 127.0.0.1.
    const std::pair<QHostAddress, const char*> cases[]
        = {{QHostAddress::Any, "127.0.0.1"}, {QHostAddress::LocalHostIPv6, "::1"}};
    for (const auto& [listen, peer] : cases) {
        SCOPED_TRACE(peer);
        Seen seen;
        HTTPServerConfig config;
        config.address = listen;
        config.handler = seen.handler();
        HTTPServer server(config);
        if (server.start(nullptr)) {
            std::cout << "[ skipped  ] " << peer << ": cannot listen here\n";
            continue;
        }
        Client client(server.serverPort(), peer);
        ASSERT_TRUE(client.sendAll(kGet));
        EXPECT_EQ(client.readToEnd(), okText().encode());
        std::lock_guard lock(seen.mutex);
        EXPECT_EQ(seen.requests.value(0).remoteAddress, peer);
    }
    // Loopback peers have no zone; one on a link-local address loses it.
    EXPECT_EQ(remoteAddressText(QStringLiteral("fe80::1%wlp2s0")), "fe80::1");
    EXPECT_EQ(remoteAddressText(QStringLiteral("::ffff:10.0.0.1%3")), "10.0.0.1");
}

// Connections that each send the start of a request and then nothing.
std::vector<std::unique_ptr<Client>> idleClients(HTTPServer& server, int count)
{
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < count; ++i) {
        clients.push_back(std::make_unique<Client>(server.serverPort()));
        EXPECT_TRUE(clients.back()->sendAll("POST /u HTTP/1.1\r\nContent-Length: 10\r\n"));
        // In order of arrival, so that the first is the one silent for longest.
        EXPECT_TRUE(QTest::qWaitFor([&] { return server.openConnections() == i + 1; }, 5000));
    }
    return clients;
}

TEST(HTTPServer, StalledClientsMakeRoomForFreshRequests)
{
    Seen seen;
    auto server = startServer(seen.handler(), [](auto& config) {
        config.maxConnections = 4;
        config.headTimeout = 500ms;
        config.minBodyBytesPerSecond = 64 * 1024;
        config.bodyRateWindow = 300ms;
    });
    // At the cap, the connection silent for longest gives way: it is told why, and the fresh
    // request is served.
    const auto idle = idleClients(*server, 4);
    EXPECT_EQ(exchange(server->serverPort()), okText().encode());
    EXPECT_EQ(idle.front()->readToEnd(), refusal(503, "Server busy"));

    // A head sent a byte at a time never completes, nor does a body sent a trickle at a time:
    // both are closed without a reply however steadily the bytes come.
    Client head(server->serverPort());
    QByteArray reply = "unset";
    EXPECT_TRUE(head.dribble(
        "GET / HTTP/1.1\r\nX-Pad: " + QByteArray(40, 'p') + "\r\n\r\n", 1, 50ms, &reply));
    EXPECT_EQ(reply, QByteArray());
    Client body(server->serverPort());
    reply = "unset";
    EXPECT_TRUE(
        body.dribble("POST /u HTTP/1.1\r\nContent-Length: 65536\r\n\r\n" + QByteArray(65536, 'b'),
            1024, 50ms, &reply));
    EXPECT_EQ(reply, QByteArray());
    EXPECT_EQ(seen.count(), 1);
}

TEST(HTTPServer, RefusedClientThatPausesMidUploadStillReadsItsReply)
{
    // Each refusal comes while the client has most of its upload still to send, and the client
    // pauses for longer than the close delay before it sends the rest, as on a weak network.
    const QByteArray upload
        = "POST /u HTTP/1.1\r\nContent-Length: 4194304\r\n\r\n" + QByteArray(4 << 20, 'x');
    const std::pair<std::function<void(HTTPServerConfig&)>, QByteArray> cases[] = {
        {[](auto& config) { config.maxBodyBytes = 1 << 20; }, refusal(400, "Bad request")},
        {[](auto& config) { config.bufferBudget = std::make_shared<HTTPBufferBudget>(65536); },
            refusal(503, "Server busy")},
        // The one place is taken by a request awaiting its reply: nothing can give way.
        {[](auto& config) { config.maxConnections = 1; }, refusal(503, "Server busy")},
    };
    Seen held;
    std::vector<std::unique_ptr<HTTPServer>> servers;
    std::optional<Client> occupant;
    std::vector<std::future<QByteArray>> replies;
    for (const auto& [adjust, reply] : cases) {
        servers.push_back(startServer(held.holding(), [&](auto& config) {
            config.closeDelay = 300ms;
            adjust(config);
        }));
        const quint16 port = servers.back()->serverPort();
        if (servers.back()->config().maxConnections == 1) {
            ASSERT_TRUE(occupant.emplace(port).sendAll(kGet) && held.waitFor(1));
        }
        replies.push_back(std::async(std::launch::async, [port, &upload] {
            Client client(port);
            const qsizetype first = upload.size() / 4;
            if (!client.sendAll(upload.first(first)))
                return QByteArray("first part not sent");
            std::this_thread::sleep_for(800ms);
            if (!client.sendAll(upload.sliced(first)))
                return QByteArray("reset before the rest was sent");
            client.shutdownWrite();
            return client.readToEnd();
        }));
    }
    for (size_t i = 0; i < replies.size(); ++i)
        EXPECT_EQ(replies[i].get(), cases[i].second) << i;
    held.release();
}

TEST(HTTPServer, BudgetCountsReservedBytesUntilTheRequestIsFreed)
{
    Seen held;
    auto budget = std::make_shared<HTTPBufferBudget>(3 << 20);
    auto server = startServer(held.holding(), [&](auto& config) { config.bufferBudget = budget; });
    const auto post = [](qint64 length, qint64 sent) {
        return "POST /u HTTP/1.1\r\nContent-Length: " + QByteArray::number(length) + "\r\n\r\n"
            + QByteArray(sent, 'b');
    };

    // A body handed to the owner stays counted while the owner holds it.
    Client first(server->serverPort());
    ASSERT_TRUE(first.sendAll(post(1'600'000, 1'600'000)) && held.waitFor(1));
    EXPECT_GE(budget->used(), 1'600'000);
    // What no longer fits is refused, also when that shows only after the first MiB, and the
    // refused client reads why.
    EXPECT_EQ(
        exchange(server->serverPort(), post(1'600'000, 1'600'000)), refusal(503, "Server busy"));
    // A head that declares 60 MiB and sends nothing more holds only a first step of it.
    Client declared(server->serverPort());
    ASSERT_TRUE(declared.sendAll(post(kHTTPMaxBodyBytes, 0)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return budget->used() > 2'600'000; }, 5000));
    EXPECT_LT(budget->used(), 3 << 20);
    EXPECT_EQ(exchange(server->serverPort(), post(1 << 20, 1 << 20)), refusal(503, "Server busy"));

    // Once the owner lets go of the request, its bytes are free again.
    held.release();
    EXPECT_EQ(first.readToEnd(), okText().encode());
    Client again(server->serverPort());
    ASSERT_TRUE(again.sendAll(post(1 << 20, 1 << 20)));
    EXPECT_TRUE(held.waitFor(1));
    held.release();
}

TEST(HTTPServer, PeerThatDoesNotReadItsReplyIsClosed)
{
    auto server = startServer(
        [](HTTPRequest, HTTPReplyFunction reply) {
            reply({200, QStringLiteral("application/octet-stream"), QByteArray(32 << 20, 'r')});
        },
        [](auto& config) { config.idleTimeout = 500ms; });
    Client client(server->serverPort(), "127.0.0.1", 16 * 1024);
    ASSERT_TRUE(client.sendAll(kGet));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->openConnections() == 1; }, 2000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return server->openConnections() == 0; }, 4000));
}

TEST(HTTPServer, RestartOnTheSamePortBindsAtOnceAndPendingRepliesStillArrive)
{
    std::promise<HTTPReplyFunction> pending;
    auto first = startServer(
        [&](HTTPRequest, HTTPReplyFunction reply) { pending.set_value(std::move(reply)); });
    const quint16 port = first->serverPort();
    Client waiting(port);
    ASSERT_TRUE(waiting.sendAll(kGet));
    std::future<HTTPReplyFunction> reply = pending.get_future();
    ASSERT_EQ(reply.wait_for(5s), std::future_status::ready);

    first->stop();
    Seen seen;
    auto replacement = startServer(seen.handler(), [&](auto& config) { config.port = port; });
    EXPECT_EQ(replacement->serverPort(), port);
    // The request the old server handed over is still answered on its own connection, also
    // once the old server is gone.
    first.reset();
    reply.get()(okText("from the first"));
    EXPECT_EQ(waiting.readToEnd(), okText("from the first").encode());
    EXPECT_EQ(exchange(port), okText().encode());
}

TEST(HTTPServer, StartRefusesBadPortsAndPassesBindErrorsOn)
{
    HTTPServerConfig config;
    config.address = QHostAddress::LocalHost;
    for (const int port : {70'000, -1}) {
        config.port = port;
        const std::optional<HTTPServerError> error = HTTPServer(config).start(nullptr);
        EXPECT_EQ(
            error.value_or(HTTPServerError()).description, QStringLiteral("Bad port %1").arg(port));
    }
    auto taken = startServer({});
    config.port = taken->serverPort();
    const std::optional<HTTPServerError> error = HTTPServer(config).start(nullptr);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code, int(QAbstractSocket::AddressInUseError));
}

TEST(HTTPServer, ReportsStatesOnTheMainThreadInOrder)
{
    QList<HTTPServerState> states;
    bool allOnMain = true;
    HTTPServerConfig config;
    config.address = QHostAddress::LocalHost;
    HTTPServer server(config);
    ASSERT_FALSE(server.start([&](HTTPServerState state, const QString&) {
        states.append(state);
        allOnMain = allOnMain && QThread::currentThread() == QCoreApplication::instance()->thread();
    }));
    server.stop();
    EXPECT_TRUE(states.isEmpty()) << "reported inside start or stop";
    ASSERT_TRUE(QTest::qWaitFor([&] { return states.size() == 3; }, 2000));
    EXPECT_EQ(states,
        (QList<HTTPServerState> {
            HTTPServerState::setup, HTTPServerState::ready, HTTPServerState::cancelled}));
    EXPECT_TRUE(allOnMain);
}

TEST(HTTPServer, RequiredInterfaceTypeDropsConnectionsFromOtherKinds)
{
    // Wi-Fi drivers report Ethernet; the wireless folder decides.
    QTemporaryDir sys;
    ASSERT_TRUE(QDir(sys.path()).mkpath(QStringLiteral("wlp2s0/wireless")));
    EXPECT_EQ(interfaceTypeOf(QStringLiteral("wlp2s0"), sys.path()), HTTPInterfaceType::wifi);
    EXPECT_EQ(
        interfaceTypeOf(QStringLiteral("enp3s0"), sys.path()), HTTPInterfaceType::wiredEthernet);
    EXPECT_EQ(interfaceTypeOf(QStringLiteral("lo"), sys.path()), std::nullopt);

    // So the loopback interface is neither kind.
    Seen seen;
    auto server = startServer(seen.handler(),
        [](auto& config) { config.interfaceType = HTTPInterfaceType::wiredEthernet; });
    EXPECT_EQ(exchange(server->serverPort()), QByteArray());
    EXPECT_EQ(seen.count(), 0);
}

TEST(HTTPServer, OwnerLearnsTheRegisteredName)
{
    const QString name = QStringLiteral("Vesker test %1-%2")
                             .arg(QCoreApplication::applicationPid())
                             .arg(QRandomGenerator::global()->bounded(100000));
    auto server = startServer({}, [&](auto& config) {
        config.advertise = true;
        config.serviceName = name;
    });
    QSignalSpy advertised(server.get(), &HTTPServer::advertised);
    if (!advertised.wait(10000)) {
        if (qEnvironmentVariable("VESKER_TEST_SERVICES") == QLatin1String("1"))
            FAIL() << "the test services' avahi-daemon did not register the name";
        GTEST_SKIP() << "no avahi-daemon to advertise with; run under scripts/with-test-services";
    }
    EXPECT_EQ(advertised.constFirst().at(0).toString(), name);
    EXPECT_EQ(server->advertisedName(), name);
    server->stop();
    EXPECT_TRUE(server->advertisedName().isEmpty());
}

} // namespace
} // namespace vesker
