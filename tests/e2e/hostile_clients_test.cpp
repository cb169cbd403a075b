// Peers that misbehave on purpose: they dribble, overrun the limits or guess the access code.
#include "harness.h"

#include "server/http_request.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include <string_view>
#include <thread>
#include <vector>

using namespace vesker::e2e;

TEST(HostileClients, StalledClientsLeaveRoomForOthers)
{
    Vesker vesker;
    ASSERT_TRUE(vesker.start());

    // 300 phones that send a request head one byte every two seconds and never its last byte.
    // One the server has dropped comes back on a new connection, as a stubborn phone would.
    constexpr std::string_view kHead
        = "GET /api/info HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: a-very-slow-phone-that-"
          "takes-its-time-over-every-single-byte-of-its-request-head\r\n\r\n";
    const std::jthread dribblers([&](std::stop_token done) {
        std::vector<std::pair<int, size_t>> clients(300, {-1, 0});
        while (!done.stop_requested()) {
            for (auto& [fd, sent] : clients) {
                char reply[512];
                if (fd < 0 || ::recv(fd, reply, sizeof reply, MSG_DONTWAIT) >= 0 || errno != EAGAIN
                    || sent + 1 >= kHead.size()) {
                    ::close(fd);
                    fd = connectLoopback(vesker.port, 2000);
                    sent = 0;
                }
                ::send(fd, kHead.data() + sent++, 1, MSG_NOSIGNAL);
            }
            for (int tick = 0; tick < 100 && !done.stop_requested(); ++tick)
                QThread::msleep(20);
        }
        for (const auto& [fd, sent] : clients)
            ::close(fd);
    });
    QThread::sleep(4);
    for (int probe = 0; probe < 3; ++probe, QThread::sleep(1))
        EXPECT_EQ(vesker.info(5000).status, 200) << "probe " << probe;
}

TEST(HostileClients, OversizedUploadReadsItsRefusal)
{
    Vesker vesker;
    ASSERT_TRUE(vesker.start());
    const qint64 declared = vesker::kHTTPMaxBodyBytes + 1;
    const int fd = connectLoopback(vesker.port, 10000);
    ASSERT_TRUE(sendAll(fd,
        "POST /upload HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: image/jpeg\r\nContent-Length: "
            + QByteArray::number(declared) + "\r\n\r\n"));

    // A phone on a good network, writing its whole body (for about two seconds) before it
    // reads the reply, as simple clients do.
    const QByteArray chunk(256 * 1024, '\0');
    QElapsedTimer clock;
    clock.start();
    qint64 sent = 0;
    while (sent < declared) {
        while (double(sent) > double(clock.elapsed()) * 30'000)
            QThread::msleep(1);
        const qsizetype part = qsizetype(std::min<qint64>(chunk.size(), declared - sent));
        if (!sendAll(fd, QByteArrayView(chunk).first(part)))
            break;
        sent += part;
    }
    const std::string sendError = strerror(errno);
    const Reply reply = readReply(fd);
    EXPECT_EQ(sent, declared) << "sending stopped: " << sendError;
    EXPECT_EQ(reply.status, 400) << reply.error;
    EXPECT_EQ(reply.body, "Bad request");
}

TEST(HostileClients, GuessingTheAccessCodeLocksTheSenderOut)
{
    Vesker vesker({{"accessPolicy", "code"}, {"accessCode", "428913"}});
    ASSERT_TRUE(vesker.start());
    const auto send = [&](const QByteArray& code) {
        return vesker.upload(Kind::text, "hello", "X-Code: " + code + "\r\n").status;
    };
    EXPECT_EQ(send("428913"), 200);
    for (int guess = 0; guess < 10; ++guess)
        EXPECT_EQ(send(QByteArray::number(100000 + guess)), 401) << "guess " << guess;
    EXPECT_EQ(send("428913"), 401) << "the right code went through after ten wrong ones";
}
