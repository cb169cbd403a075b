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
