#include "http/http_address.h"
#include "http/http_server.h"
#include "support/loopback_socket.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <future>
#include <linux/sockios.h>
#include <mutex>
#include <poll.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace vesker {
namespace {

using namespace std::chrono_literals;

// Every wait on a client ends after 5 s without progress.
class Client {
public:
    // `from`: the source address, any of 127.0.0.0/8.
    explicit Client(quint16 port, int receiveBuffer = 0, in_addr_t from = 0)
        : m_fd(test::connectLoopback(port, 5000, receiveBuffer, from))
    { }
    ~Client() { ::close(m_fd); }
    int fd() const { return m_fd; }

    void shutdownWrite() { ::shutdown(m_fd, SHUT_WR); }
    // What the server sends up to the end of its first head; the rest stays unread.
    QByteArray readHead()
    {
        QByteArray head;
        char byte = 0;
        while (!head.endsWith("\r\n\r\n") && ::recv(m_fd, &byte, 1, 0) == 1)
            head.append(byte);
        return head;
    }
    bool sendAll(QByteArrayView data) { return test::sendAll(m_fd, data); }
    // Waits until the server's side has taken all that was sent (it is in its socket, read or
    // not).
    bool waitDelivered()
    {
        return QTest::qWaitFor(
            [&] {
                int unacknowledged = -1;
                return ::ioctl(m_fd, SIOCOUTQ, &unacknowledged) == 0 && unacknowledged == 0;
            },
            5000);
    }
    // Up to `most` bytes of what has arrived; 0 when nothing has, or the server closed.
    qsizetype readSome(qsizetype most)
    {
        QByteArray buffer(most, Qt::Uninitialized);
        return std::max<ssize_t>(0, ::recv(m_fd, buffer.data(), size_t(most), MSG_DONTWAIT));
    }
    // Marked when the server never ends its side.
    QByteArray readToEnd()
    {
        int error = 0;
        const QByteArray received = test::readToEnd(m_fd, error);
        return error == EAGAIN ? received + "<still open>" : received;
    }

private:
    int m_fd;
};

const QByteArray kGet = "GET / HTTP/1.1\r\n\r\n";

// Sends all of `request` on a connection of its own before it reads.
QByteArray exchange(quint16 port, QByteArrayView request = kGet)
{
    Client client(port);
    return client.sendAll(request) ? client.readToEnd() : "<not sent>";
}

HTTPResponse okText(const QByteArray& body = "ok")
{
    return {200, QStringLiteral("text/plain; charset=utf-8"), body};
}

QByteArray refusal(int status, const char* text)
{
    return HTTPResponse::text(status, QString::fromUtf8(text)).encode();
}

QByteArray busy()
{
    return HTTPResponse::busy().encode();
}

QByteArray post(qint64 length, qint64 sent)
{
    return "POST /u HTTP/1.1\r\nContent-Length: " + QByteArray::number(length) + "\r\n\r\n"
        + QByteArray(sent, 'b');
}

// Holds every request and its reply until release(), which answers okText().
struct Held {
    std::mutex mutex;
    QList<std::pair<HTTPRequest, HTTPReplyFunction>> requests;

    HTTPHandler handler()
    {
        return [this](HTTPRequest request, HTTPReplyFunction reply) {
            std::lock_guard lock(mutex);
            requests.append({std::move(request), std::move(reply)});
        };
    }
    bool waitFor(qsizetype count)
    {
        return QTest::qWaitFor(
            [&] { return std::lock_guard(mutex), requests.size() >= count; }, 5000);
    }
    void release()
    {
        std::lock_guard lock(mutex);
        for (const auto& [request, reply] : std::exchange(requests, {}))
            reply(okText());
    }
};

// For servers that must not hand any request on.
void unexpected(HTTPRequest request, HTTPReplyFunction)
{
    ADD_FAILURE() << "handed on: " << request.path.toStdString();
}

// A server on 127.0.0.1 and a port of the system's choice, unless `adjust` says otherwise.
std::unique_ptr<HTTPServer> startServer(HTTPHandler handler,
    const std::function<void(HTTPServerConfig&)>& adjust = {},
    HTTPServer::StateCallback onState = {})
{
    HTTPServerConfig config;
    config.address = QHostAddress::LocalHost;
    config.handler = std::move(handler);
    if (adjust)
        adjust(config);
    auto server = std::make_unique<HTTPServer>(std::move(config));
    const std::optional<HTTPServerError> error = server->start(std::move(onState));
    EXPECT_FALSE(error.has_value()) << (error ? error->description.toStdString() : "");
    return server;
}

TEST(HTTPServer, AnswersOneRequestPerConnectionOnce)
{
    std::promise<HTTPRequest> seen;
    // Listening on every address puts IPv4 peers on an IPv6 socket as ::ffff:127.0.0.1 (Qt
    // cannot bind that mapped address alone); the peer is still only 127.0.0.1.
    auto server = startServer(
        [&](HTTPRequest request, HTTPReplyFunction reply) {
            seen.set_value(std::move(request));
            reply({423, QStringLiteral("text/x-%1; q=é"), QByteArray("lo\0ck", 5)});
            reply(okText("second")); // a faulty owner: the second reply must not reach the wire
        },
        [](auto& config) { config.address = QHostAddress::Any; });
    // 423 has its own phrase; a content type that looks like a format string goes out as it is.
    EXPECT_EQ(exchange(server->serverPort(),
                  "get /x%20y?name=a+b HTTP/1.1\r\nHost: h\r\n\r\nGET /2 HTTP/1.1\r\n\r\n"),
        QByteArray("HTTP/1.1 423 Locked\r\nContent-Type: text/x-%1; q=\xc3\xa9\r\n"
                   "Content-Length: 5\r\nCache-Control: no-store\r\n"
                   "Access-Control-Allow-Origin: *\r\nAccess-Control-Allow-Headers: *\r\n"
                   "Access-Control-Allow-Methods: GET, POST, OPTIONS\r\nConnection: close\r\n\r\n")
            + QByteArray("lo\0ck", 5));
    EXPECT_EQ(seen.get_future().get(),
        (HTTPRequest {"GET", "/x%20y", {{"name", "a b"}}, {{"host", "h"}}, {}, "127.0.0.1"}));
    // A peer on a link-local address loses its zone.
    EXPECT_EQ(remoteAddressText(QStringLiteral("::ffff:10.0.0.1%3")), "10.0.0.1");
}

TEST(HTTPAddress, APeerAddressIsWrittenAsOwnersSeeIt)
{
    const auto v6 = [](const char* text, uint32_t scope = 0) {
        sockaddr_storage storage {};
        auto& address = reinterpret_cast<sockaddr_in6&>(storage);
        address.sin6_family = AF_INET6;
        address.sin6_scope_id = scope;
        ::inet_pton(AF_INET6, text, &address.sin6_addr);
        return storage;
    };
    sockaddr_storage v4 {};
    reinterpret_cast<sockaddr_in&>(v4).sin_family = AF_INET;
    ::inet_pton(AF_INET, "192.168.1.20", &reinterpret_cast<sockaddr_in&>(v4).sin_addr);
    sockaddr_storage local {};
    local.ss_family = AF_UNIX;
    const std::pair<sockaddr_storage, QString> cases[] = {
        {v4, "192.168.1.20"},
        {v6("::ffff:10.0.0.1"), "10.0.0.1"},
        {v6("fe80::1:2", 3), "fe80::1:2"},
        {v6("2001:db8::ff00:42:8329"), "2001:db8::ff00:42:8329"},
        {local, QString()},
    };
    for (const auto& [address, text] : cases)
        EXPECT_EQ(socketAddressText(address), text);
    // Connections are counted by address as bytes: one address exactly when one text, whichever
    // way the socket wrote it (IPv4 or mapped, any zone).
    const sockaddr_storage addresses[] = {v4, v6("::ffff:192.168.1.20"), v6("::ffff:192.168.1.21"),
        v6("fe80::1:2", 3), v6("fe80::1:2", 4), v6("fe80::1:3", 3), v6("::c0a8:114"), local};
    for (const sockaddr_storage& a : addresses) {
        for (const sockaddr_storage& b : addresses) {
            EXPECT_EQ(
                peerAddressOf(a) == peerAddressOf(b), socketAddressText(a) == socketAddressText(b))
                << socketAddressText(a).toStdString() << " " << socketAddressText(b).toStdString();
        }
    }
}

TEST(HTTPServer, ABodyOverTheLimitIsRefusedBeforeTheCloseWhileTheClientStillSends)
{
    // A long head with a body within the declared length passes the buffer limit; the body
    // limit refuses it. The client sends all of its upload before it reads: the server must
    // take the rest in rather than reset the connection under it.
    auto server = startServer(unexpected, [](auto& config) { config.maxBodyBytes = 1 << 20; });
    const QByteArray upload = "POST /u HTTP/1.1\r\nContent-Length: 1048576\r\nX-Pad: "
        + QByteArray(70'000, 'p') + "\r\n\r\n" + QByteArray(8 << 20, 'x');
    EXPECT_EQ(exchange(server->serverPort(), upload), refusal(413, "Payload too large"));
    // A head that declares more than the limit is refused as it comes, and its body drained.
    EXPECT_EQ(exchange(server->serverPort(), post((1 << 20) + 1, (1 << 20) + 1)),
        refusal(400, "Bad request"));
}

TEST(HTTPServer, AClientThatAsksBeforeSendingItsBodyIsToldToGoOn)
{
    // curl asks before a body over 1 MB, and sends it only after a second without an answer.
    Held held;
    auto server = startServer(held.handler());
    const QByteArray body(2 << 20, 'b');
    Client client(server->serverPort());
    ASSERT_TRUE(client.sendAll("POST /u HTTP/1.1\r\nExpect: 100-Continue\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n\r\n"));
    EXPECT_EQ(client.readHead(), "HTTP/1.1 100 Continue\r\n\r\n");
    ASSERT_TRUE(client.sendAll(body) && held.waitFor(1));
    EXPECT_EQ(held.requests.first().first.body, body);
    held.release();
    EXPECT_EQ(client.readToEnd(), okText().encode());
}

TEST(HTTPServer, AHeadCheckRefusesBeforeTheBodyOrLetsItCome)
{
    // The owner judges heads on a thread of its own, a while later, as the program does on its
    // main thread.
    std::mutex mutex;
    QList<std::pair<HTTPRequest, HTTPHeadVerdict>> asked;
    Held held;
    auto budget = std::make_shared<HTTPBufferBudget>(64 << 20);
    auto server = startServer(held.handler(), [&](auto& config) {
        config.bufferBudget = budget;
        config.headCheck = [&](HTTPRequest head, HTTPHeadVerdict verdict) {
            std::lock_guard lock(mutex);
            asked.append({std::move(head), std::move(verdict)});
        };
    });
    const auto judge = [&](std::optional<HTTPResponse> refusal) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return std::lock_guard(mutex), !asked.isEmpty(); }));
        std::lock_guard lock(mutex);
        if (asked.isEmpty())
            return HTTPRequest();
        auto [head, verdict] = asked.takeFirst();
        std::jthread([verdict, refusal] {
            verdict(refusal);
            verdict(std::nullopt); // a second answer changes nothing
        });
        return head;
    };
    const QByteArray body(2 << 20, 'b');
    const QByteArray head = "POST /u HTTP/1.1\r\nExpect: 100-continue\r\nX-Code: 1\r\n"
                            "Content-Length: "
        + QByteArray::number(body.size()) + "\r\n\r\n";

    // Refused: the final answer without a go-ahead, and nothing handed on.
    {
        Client client(server->serverPort());
        ASSERT_TRUE(client.sendAll(head));
        const HTTPResponse refused = HTTPResponse::text(401, QStringLiteral("No"));
        EXPECT_EQ(judge(refused),
            (HTTPRequest {"POST", "/u", {},
                {{"expect", "100-continue"}, {"x-code", "1"},
                    {"content-length", QString::number(body.size())}},
                {}, "127.0.0.1"}));
        EXPECT_EQ(client.readToEnd(), refused.encode());
    }
    // Let come: the go-ahead, then the body is read and handed on.
    {
        Client client(server->serverPort());
        ASSERT_TRUE(client.sendAll(head));
        judge(std::nullopt);
        EXPECT_EQ(client.readHead(), "HTTP/1.1 100 Continue\r\n\r\n");
        ASSERT_TRUE(client.sendAll(body) && held.waitFor(1));
        held.release();
        EXPECT_EQ(client.readToEnd(), okText().encode());
    }
    // A client that stops waiting and sends its body is handed on once the head is judged, and
    // told nothing but the reply.
    {
        Client client(server->serverPort());
        ASSERT_TRUE(client.sendAll(head));
        EXPECT_TRUE(QTest::qWaitFor([&] { return std::lock_guard(mutex), !asked.isEmpty(); }));
        ASSERT_TRUE(client.sendAll(body));
        // Judged once the server has read some of the body (room for all of it is made after
        // the first MiB), not while it still looks like a client that waits.
        EXPECT_TRUE(QTest::qWaitFor([&] { return budget->used() >= body.size(); }));
        judge(std::nullopt);
        ASSERT_TRUE(held.waitFor(1));
        EXPECT_EQ(held.requests.first().first.body, body);
        held.release();
        EXPECT_EQ(client.readToEnd(), okText().encode());
    }
}

TEST(HTTPServer, RefusedClientThatPausesMidUploadStillReadsItsReply)
{
    // Each refusal comes while the client has most of its upload still to send, and the client
    // pauses for longer than the close delay before it sends the rest, as on a weak network:
    // once for want of buffer room, once because the one place is taken by a request awaiting
    // its reply, so that nothing can give way.
    Held held;
    auto noRoom = startServer(held.handler(), [](auto& config) {
        config.closeDelay = 300ms;
        config.bufferBudget = std::make_shared<HTTPBufferBudget>(65536);
    });
    auto full = startServer(held.handler(), [](auto& config) {
        config.closeDelay = 300ms;
        config.maxConnections = 1;
    });
    Client occupant(full->serverPort());
    ASSERT_TRUE(occupant.sendAll(kGet) && held.waitFor(1));
    const QByteArray upload = post(4 << 20, 4 << 20);
    for (const quint16 port : {noRoom->serverPort(), full->serverPort()}) {
        Client client(port);
        ASSERT_TRUE(client.sendAll(upload.first(upload.size() / 4)));
        std::this_thread::sleep_for(800ms);
        EXPECT_TRUE(client.sendAll(upload.sliced(upload.size() / 4))) << "reset under the client";
        client.shutdownWrite();
        EXPECT_EQ(client.readToEnd(), busy());
    }
    held.release();
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
    Client client(server->serverPort(), 16 * 1024);
    ASSERT_TRUE(client.sendAll(post(body.size(), 0) + body));
    client.shutdownWrite();
    std::this_thread::sleep_for(1500ms);
    const QByteArray received = client.readToEnd();
    const HTTPResponse expected {200, QStringLiteral("application/octet-stream"), body};
    EXPECT_TRUE(received == expected.encode()) << received.size() << " bytes";
}

TEST(HTTPServer, ABodyOfManyReadsEndsWhereItsRequestDoesOrWithItsPeer)
{
    // Sent at once, so that much of it waits in the socket at every read: bytes after the
    // request are never taken into its body, and a peer that ends partway is closed without a
    // reply however much of the body came.
    constexpr qint64 kLength = 3 << 20;
    auto server = startServer([](HTTPRequest request, HTTPReplyFunction reply) {
        reply(okText(request.body == QByteArray(kLength, 'b') ? "whole" : "wrong"));
    });
    const std::pair<QByteArray, QByteArray> cases[] = {
        {post(kLength, kLength) + kGet, okText("whole").encode()},
        {post(kLength, kLength - 1000), QByteArray()},
    };
    for (const auto& [sent, reply] : cases) {
        Client client(server->serverPort());
        ASSERT_TRUE(client.sendAll(sent));
        client.shutdownWrite();
        EXPECT_EQ(client.readToEnd(), reply);
    }
}

TEST(HTTPServer, ABodyThatTricklesOrStopsIsClosedWithoutAReply)
{
    auto server = startServer([](HTTPRequest, HTTPReplyFunction reply) { reply(okText()); },
        [](auto& config) {
            config.minBodyBytesPerSecond = 64 * 1024;
            config.bodyRateWindow = 300ms;
        });
    // However steadily a trickle comes, it is too slow.
    Client trickle(server->serverPort());
    ASSERT_TRUE(trickle.sendAll(post(65536, 0)));
    for (int i = 0; i < 64 && trickle.sendAll(QByteArray(1024, 'b')); ++i)
        std::this_thread::sleep_for(50ms);
    EXPECT_EQ(trickle.readToEnd(), QByteArray());
    Client halfWay(server->serverPort());
    ASSERT_TRUE(halfWay.sendAll(post(1000, 500)));
    halfWay.shutdownWrite();
    EXPECT_EQ(halfWay.readToEnd(), QByteArray());
}

TEST(HTTPServer, PeerThatDoesNotReadItsReplyIsClosed)
{
    auto server = startServer(
        [](HTTPRequest, HTTPReplyFunction reply) {
            reply({200, QStringLiteral("application/octet-stream"), QByteArray(32 << 20, 'r')});
        },
        [](auto& config) { config.idleTimeout = 500ms; });
    Client client(server->serverPort(), 16 * 1024);
    ASSERT_TRUE(client.sendAll(kGet));
    // The reply began; a look at the connection count could come after the time-out already
    // ended it on a loaded machine.
    ASSERT_TRUE(client.readHead().startsWith("HTTP/1.1 200 "));
    EXPECT_TRUE(QTest::qWaitFor([&] { return server->openConnections() == 0; }, 30'000));
}

TEST(HTTPServer, PeerThatTakesItsReplyTooSlowlyIsEnded)
{
    auto server = startServer(
        [](HTTPRequest, HTTPReplyFunction reply) {
            reply({200, QStringLiteral("application/octet-stream"), QByteArray(32 << 20, 'r')});
        },
        [](auto& config) {
            config.minBodyBytesPerSecond = 256 * 1024;
            config.bodyRateWindow = 300ms;
        });
    // It reads now and then, so it is never idle for long, but far below the rate.
    Client client(server->serverPort(), 16 * 1024);
    ASSERT_TRUE(client.sendAll(kGet));
    ASSERT_TRUE(client.readHead().startsWith("HTTP/1.1 200 "));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            client.readSome(1024);
            return server->openConnections() == 0;
        },
        30'000));
}

TEST(HTTPServer, AtTheCapStalledReadersAndACrowdedAddressGiveWay)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("large.bin"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(16 << 20));
    file.close();
    auto server = startServer(
        [&](HTTPRequest request, HTTPReplyFunction reply) {
            if (request.path == u"/file")
                reply({200, QStringLiteral("application/octet-stream"), {}, path});
            else
                reply(okText());
        },
        [](auto& config) { config.maxConnections = 4; });
    const in_addr_t crowd = (127u << 24) | 1;
    const in_addr_t other = (127u << 24) | 2;
    std::vector<std::unique_ptr<Client>> stalled;
    for (int i = 0; i < 4; ++i) {
        stalled.push_back(std::make_unique<Client>(server->serverPort(), 4096, crowd));
        ASSERT_TRUE(stalled.back()->sendAll("GET /file HTTP/1.1\r\n\r\n"));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->openConnections() == 4; }, 2000));
    // Another address is let in at once: one address holds more than its share.
    Client fromOther(server->serverPort(), 0, other);
    ASSERT_TRUE(fromOther.sendAll(kGet));
    EXPECT_EQ(fromOther.readToEnd(), okText().encode());
    // The same address is let in once a reader has stalled for a moment.
    std::this_thread::sleep_for(1500ms);
    Client fromCrowd(server->serverPort(), 0, crowd);
    ASSERT_TRUE(fromCrowd.sendAll(kGet));
    EXPECT_EQ(fromCrowd.readToEnd(), okText().encode());
}

TEST(HTTPServer, AtTheCapARequestWaitingUnreadIsNotCutForAnIdleConnection)
{
    // The server is taken over its cap while it is busy, and meanwhile a client accepted earlier
    // sends its whole request: that request waits in the socket unread when the server chooses
    // whom to cut. It must be answered, and the younger connection that sent nothing cut
    // instead, as a crowd of idle peers that reconnect at once is always younger than a client.
    // The server's thread is held inside the handler at both moments, so that nothing is read
    // meanwhile, whatever the timing.
    struct Gate {
        std::promise<void> entered;
        std::promise<void> leave;
    };
    Gate hold;
    Gate over;
    auto server = startServer(
        [&](HTTPRequest request, HTTPReplyFunction reply) {
            Gate* gate = request.path == u"/hold" ? &hold
                : request.path == u"/over"        ? &over
                                                  : nullptr;
            if (gate) {
                gate->entered.set_value();
                gate->leave.get_future().wait_for(5s);
            }
            reply(okText());
        },
        [](auto& config) { config.maxConnections = 3; });
    const quint16 port = server->serverPort();
    Client client(port);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->openConnections() == 1; }, 5000));
    Client idle(port);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->openConnections() == 2; }, 5000));
    Client holder(port);
    ASSERT_TRUE(holder.sendAll("GET /hold HTTP/1.1\r\n\r\n"));
    ASSERT_EQ(hold.entered.get_future().wait_for(5s), std::future_status::ready);
    // Its request is in its socket before the server accepts it, so that it is served at once
    // and puts the server over the cap.
    Client newcomer(port);
    ASSERT_TRUE(newcomer.sendAll("GET /over HTTP/1.1\r\n\r\n") && newcomer.waitDelivered());
    hold.leave.set_value();
    ASSERT_EQ(over.entered.get_future().wait_for(5s), std::future_status::ready);
    ASSERT_TRUE(client.sendAll(kGet) && client.waitDelivered());
    over.leave.set_value();
    EXPECT_EQ(client.readToEnd(), okText().encode());
    EXPECT_EQ(idle.readToEnd(), busy());
    EXPECT_EQ(newcomer.readToEnd(), okText().encode());
    EXPECT_EQ(holder.readToEnd(), okText().encode());
}

TEST(HTTPServer, RepliesGoOutWhileConnectionsKeepArriving)
{
    // Clients refused at the cap come back at once, so the queue of connections to accept may
    // never run empty; the replies and closes that free places must not wait for it to. Here
    // the queue is filled while the server is busy, and the last request taken from it checks
    // whether the first one's reply has gone out meanwhile.
    constexpr int kQueued = 200;
    std::promise<void> entered;
    std::promise<void> leave;
    std::vector<std::unique_ptr<Client>> queued;
    std::atomic<bool> firstReplied = false;
    auto server = startServer(
        [&](HTTPRequest request, HTTPReplyFunction reply) {
            if (request.path == u"/hold") {
                entered.set_value();
                leave.get_future().wait_for(5s);
            } else if (request.path == u"/last") {
                // Sent before this request was taken in, its reply arrives while the server is
                // held here; if it had not been, it never could.
                pollfd first {queued.front()->fd(), POLLIN, 0};
                firstReplied = ::poll(&first, 1, 5000) == 1;
            }
            reply(okText());
        },
        [](auto& config) { config.maxConnections = 2 * kQueued; });
    Client holder(server->serverPort());
    ASSERT_TRUE(holder.sendAll("GET /hold HTTP/1.1\r\n\r\n"));
    ASSERT_EQ(entered.get_future().wait_for(5s), std::future_status::ready);
    for (int i = 0; i < kQueued; ++i) {
        queued.push_back(std::make_unique<Client>(server->serverPort()));
        ASSERT_TRUE(queued.back()->sendAll(i + 1 < kQueued ? kGet : "GET /last HTTP/1.1\r\n\r\n"));
    }
    ASSERT_TRUE(queued.back()->waitDelivered());
    leave.set_value();
    EXPECT_EQ(holder.readToEnd(), okText().encode());
    for (const auto& client : queued)
        EXPECT_EQ(client->readToEnd(), okText().encode());
    EXPECT_TRUE(firstReplied);
}

TEST(HTTPServer, RepliesWaitingToBeReadCountAgainstTheBudget)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("large.bin"));
    QByteArray content(24 << 20, '\0');
    for (qsizetype i = 0; i < content.size(); ++i)
        content[i] = char(i * 7 / 3);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    file.close();

    auto budget = std::make_shared<HTTPBufferBudget>(4 << 20);
    auto server = startServer(
        [&](HTTPRequest request, HTTPReplyFunction reply) {
            if (request.path == u"/file")
                reply({200, QStringLiteral("application/octet-stream"), {}, path});
            else if (request.path == u"/gone")
                reply({200, QStringLiteral("application/octet-stream"), {}, path + ".gone"});
            else
                reply(okText(QByteArray(5 << 20, 'm')));
        },
        [&](auto& config) { config.bufferBudget = budget; });
    // Peers that ask for a file six times the budget and read none of it hold only pieces.
    std::vector<std::unique_ptr<Client>> stalled;
    for (int i = 0; i < 3; ++i) {
        stalled.push_back(std::make_unique<Client>(server->serverPort(), 4096));
        ASSERT_TRUE(stalled.back()->sendAll("GET /file HTTP/1.1\r\n\r\n"));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return budget->used() > 0; }, 5000));
    EXPECT_LE(budget->used(), 3 * (qint64(1) << 20));
    // A reader gets it byte for byte meanwhile; a reply held whole that passes the budget is
    // refused, and a file that is not there is not found.
    const QByteArray whole = exchange(server->serverPort(), "GET /file HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(whole.endsWith(content)) << whole.size();
    EXPECT_TRUE(
        whole.startsWith("HTTP/1.1 200 OK\r\n") && whole.contains("Content-Length: 25165824\r\n"));
    EXPECT_EQ(exchange(server->serverPort()), busy());
    EXPECT_EQ(
        exchange(server->serverPort(), "GET /gone HTTP/1.1\r\n\r\n"), refusal(404, "Not found"));
    stalled.clear();
    EXPECT_TRUE(QTest::qWaitFor([&] { return budget->used() == 0; }, 5000));
}

TEST(HTTPServer, BudgetCountsReservedBytesUntilTheRequestIsFreed)
{
    Held held;
    auto budget = std::make_shared<HTTPBufferBudget>(3 << 20);
    auto server = startServer(held.handler(), [&](auto& config) { config.bufferBudget = budget; });
    // A body handed to the owner stays counted while the owner holds it.
    Client first(server->serverPort());
    ASSERT_TRUE(first.sendAll(post(1'600'000, 1'600'000)) && held.waitFor(1));
    // What no longer fits is refused, also when that shows only after the first MiB, and the
    // refused client reads why.
    EXPECT_EQ(exchange(server->serverPort(), post(1'600'000, 1'600'000)), busy());
    // A head that declares 60 MiB and sends nothing more holds only a first step of it.
    Client declared(server->serverPort());
    ASSERT_TRUE(declared.sendAll(post(kHTTPMaxBodyBytes, 0)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return budget->used() > 2'600'000; }, 5000));
    EXPECT_LT(budget->used(), 3 << 20);
    EXPECT_EQ(exchange(server->serverPort(), post(1 << 20, 1 << 20)), busy());

    // Once the owner lets go of the request, its bytes are free again.
    held.release();
    EXPECT_EQ(first.readToEnd(), okText().encode());
    Client again(server->serverPort());
    ASSERT_TRUE(again.sendAll(post(1 << 20, 1 << 20)));
    EXPECT_TRUE(held.waitFor(1));
    held.release();
}

TEST(HTTPServer, RestartBindsTheSamePortAtOnceAndDropsTheOldServersReports)
{
    Held held;
    QList<HTTPServerState> oldStates, newStates;
    auto first = startServer(held.handler(), {},
        [&](HTTPServerState state, const QString&) { oldStates.append(state); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return oldStates.size() == 2; }, 2000));
    const quint16 port = first->serverPort();
    Client waiting(port);
    ASSERT_TRUE(waiting.sendAll(kGet) && held.waitFor(1));
    first->stop();
    auto replacement
        = startServer([](HTTPRequest, HTTPReplyFunction reply) { reply(okText("new")); },
            [&](auto& config) { config.port = port; },
            [&](HTTPServerState state, const QString&) {
                EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
                newStates.append(state);
            });
    EXPECT_TRUE(newStates.isEmpty()) << "reported inside start";
    // The request the old server handed over is still answered on its own connection, also
    // once the old server is gone, whose late reports are dropped with it.
    first.reset();
    held.release();
    EXPECT_EQ(waiting.readToEnd(), okText().encode());
    EXPECT_EQ(exchange(port), okText("new").encode());
    replacement->stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return newStates.size() == 3; }, 2000));
    EXPECT_EQ(newStates,
        (QList<HTTPServerState> {
            HTTPServerState::setup, HTTPServerState::ready, HTTPServerState::cancelled}));
    EXPECT_EQ(oldStates, (QList<HTTPServerState> {HTTPServerState::setup, HTTPServerState::ready}));
}

TEST(HTTPServer, RequiredInterfaceTypeDropsConnectionsFromOtherKinds)
{
    // The loopback interface is of neither kind.
    auto server = startServer(
        unexpected, [](auto& config) { config.interfaceType = HTTPInterfaceType::wiredEthernet; });
    EXPECT_EQ(exchange(server->serverPort()), QByteArray());
}

} // namespace
} // namespace vesker
