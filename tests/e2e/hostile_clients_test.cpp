// Peers that misbehave on purpose: they dribble their requests and never finish them.
#include "harness.h"

#include <gtest/gtest.h>

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

TEST(HostileClients, SlowUploadsPushNoPhoneOutAndEveryWholeRequestIsAnswered)
{
    Vesker vesker;
    ASSERT_TRUE(vesker.start());

    // 300 uploads from one address that declare 60 MB and send 6 KB a second, above the
    // minimum rate. One the server has dropped comes back on a new connection.
    const QByteArray head = "POST /upload HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
                            "image/jpeg\r\nContent-Length: 60000000\r\n\r\n";
    const QByteArray piece(600, 'j');
    const std::jthread uploaders([&](std::stop_token done) {
        std::vector<int> clients(300, -1);
        while (!done.stop_requested()) {
            for (int& fd : clients) {
                if (fd < 0
                    || ::send(fd, piece.data(), piece.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0) {
                    ::close(fd);
                    fd = connectLoopback(vesker.port, 2000);
                    ::send(fd, head.data(), head.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                }
            }
            for (int tick = 0; tick < 5 && !done.stop_requested(); ++tick)
                QThread::msleep(20);
        }
        for (const int fd : clients)
            ::close(fd);
    });
    QThread::sleep(3);

    // Phones on another address whose requests come a moment after they connect, as over a
    // real network: every one is answered, and let in.
    const in_addr_t phone = (127u << 24) | 2;
    for (int n = 0; n < 20; ++n) {
        const int fd = connectLoopback(vesker.port, kBoundMs, 0, phone);
        ASSERT_GE(fd, 0) << strerror(errno);
        QThread::msleep(30);
        sendAll(fd,
            "POST /text HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
            "Content-Length: 5\r\n\r\nhello");
        const Reply reply = readReply(fd);
        EXPECT_EQ(reply.status, 200) << "phone " << n << ": " << reply.error << reply.body.data();
    }
}
