// Peers that misbehave on purpose: they dribble, overrun the limits or guess the access code.
#include "http_client.h"
#include "vesker_instance.h"

#include "server/http_request.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace vesker::e2e;

namespace {

// Clients that send a request head one byte every two seconds and never finish it. One the
// server has closed comes back on a new connection, as a stubborn phone would.
class Dribblers {
public:
    Dribblers(quint16 port, int count)
        : m_port(port)
        , m_clients(count)
    {
        for (Client& client : m_clients)
            reconnect(client);
        m_thread = std::thread([this] { run(); });
    }

    ~Dribblers()
    {
        m_stop = true;
        m_thread.join();
        for (const Client& client : m_clients) {
            if (client.fd >= 0)
                ::close(client.fd);
        }
    }

private:
    struct Client {
        int fd = -1;
        size_t sent = 0;
    };

    static constexpr std::string_view kHead
        = "GET /api/info HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: a-very-slow-phone-that-"
          "takes-its-time-over-every-single-byte-of-its-request-head\r\n\r\n";

    void reconnect(Client& client)
    {
        if (client.fd >= 0)
            ::close(client.fd);
        client = {connectLoopback(m_port, 2000), 0};
        if (client.fd >= 0)
            ::fcntl(client.fd, F_SETFL, ::fcntl(client.fd, F_GETFL) | O_NONBLOCK);
        drip(client);
    }

    // One more byte of the head, never its last: the request must stay unfinished.
    static bool drip(Client& client)
    {
        if (client.fd < 0 || client.sent + 1 >= kHead.size())
            return false;
        return ::send(client.fd, kHead.data() + client.sent++, 1, MSG_NOSIGNAL) == 1;
    }

    void run()
    {
        while (!m_stop) {
            const QDeadlineTimer next(2000);
            while (!m_stop && !next.hasExpired())
                QThread::msleep(20);
            for (Client& client : m_clients) {
                char reply[512];
                const ssize_t got
                    = client.fd < 0 ? 0 : ::recv(client.fd, reply, sizeof reply, MSG_DONTWAIT);
                const bool closedOrAnswered = got >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
                if (closedOrAnswered || !drip(client))
                    reconnect(client);
            }
        }
    }

    quint16 m_port;
    std::vector<Client> m_clients;
    std::atomic<bool> m_stop {false};
    std::thread m_thread;
};

} // namespace

TEST(HostileClients, StalledClientsLeaveRoomForOthers)
{
    VeskerInstance vesker;
    ASSERT_TRUE(vesker.start()) << vesker.log().toStdString();

    const Dribblers stalled(vesker.port(), 300);
    QThread::sleep(4);
    for (int probe = 0; probe < 3; ++probe) {
        const HttpReply reply = httpRequest(vesker.port(), "GET", "/api/info", {}, {}, 5000);
        EXPECT_EQ(reply.status, 200)
            << "probe " << probe << ": " << reply.body.toStdString() << reply.error.toStdString();
        QThread::sleep(1);
    }
}

TEST(HostileClients, OversizedUploadReadsItsRefusal)
{
    VeskerInstance vesker;
    ASSERT_TRUE(vesker.start()) << vesker.log().toStdString();

    const qint64 declared = vesker::kHTTPMaxBodyBytes + 1;
    const int fd = connectLoopback(vesker.port(), 10000);
    ASSERT_GE(fd, 0) << strerror(errno);
    const QByteArray head = "POST /upload HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
                            "image/jpeg\r\nContent-Length: "
        + QByteArray::number(declared) + "\r\n\r\n";
    ASSERT_TRUE(sendAll(fd, head.constData(), head.size()));
    // A phone on a good network, writing its whole body (for about two seconds) before it
    // reads the reply, as simple clients do.
    constexpr double kBytesPerMs = 30'000;
    const QByteArray chunk(256 * 1024, '\0');
    QElapsedTimer clock;
    clock.start();
    qint64 sent = 0;
    int sendError = 0;
    while (sent < declared) {
        while (double(sent) > double(clock.elapsed()) * kBytesPerMs)
            QThread::msleep(1);
        const qsizetype part = qsizetype(std::min<qint64>(chunk.size(), declared - sent));
        if (!sendAll(fd, chunk.constData(), part)) {
            sendError = errno;
            break;
        }
        sent += part;
    }
    int readError = 0;
    const HttpReply reply = parseReply(readToEnd(fd, &readError));
    ::close(fd);
    EXPECT_EQ(sent, declared) << "sending stopped after " << clock.elapsed()
                              << " ms: " << strerror(sendError);
    EXPECT_EQ(reply.status, 400) << (readError ? strerror(readError) : "no status line");
    EXPECT_EQ(reply.body, "Bad request");
}

TEST(HostileClients, GuessingTheAccessCodeLocksTheSenderOut)
{
    VeskerInstance vesker({{QStringLiteral("accessPolicy"), QStringLiteral("code")},
        {QStringLiteral("accessCode"), QStringLiteral("428913")}});
    ASSERT_TRUE(vesker.start()) << vesker.log().toStdString();
    const auto send = [&](const QByteArray& code) {
        return upload(vesker.port(), UploadKind::text, "hello", {{"X-Code", code}}).status;
    };

    EXPECT_EQ(send("428913"), 200);
    for (int guess = 0; guess < 10; ++guess)
        EXPECT_EQ(send(QByteArray::number(100000 + guess)), 401) << "guess " << guess;
    EXPECT_EQ(send("428913"), 401) << "the right code went through after ten wrong ones";
}
