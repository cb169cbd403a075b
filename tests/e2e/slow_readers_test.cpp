// Peers that ask for a large item and then never read what they asked for.
#include "harness.h"

#include <gtest/gtest.h>

#include <QThread>

#include <vector>

using namespace vesker::e2e;

TEST(SlowReaders, ManyPeersNotReadingALargeItemHoldLittleMemory)
{
    Vesker vesker({{"allowBrowserScreens", true}});
    ASSERT_TRUE(vesker.start());
    const QByteArray pdf = sample(Kind::pdf, 40 << 20);
    const Reply stored = vesker.upload(Kind::pdf, pdf);
    ASSERT_EQ(stored.status, 200);
    const QByteArray get = "GET /api/image/" + stored.id().toLatin1()
        + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    const qint64 peakBefore = statusKiB(vesker.pid(), "VmHWM:");
    ASSERT_GT(peakBefore, 0);

    // Forty peers ask for the item and read nothing of it (their receive buffers kept small).
    std::vector<int> stalled;
    for (int i = 0; i < 40; ++i) {
        const int fd = connectLoopback(vesker.port, kBoundMs, 4096);
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(sendAll(fd, get));
        stalled.push_back(fd);
    }
    // Meanwhile a peer that reads gets the whole item, byte for byte.
    const Reply whole = exchange(vesker.port, kBoundMs, get);
    EXPECT_EQ(whole.status, 200);
    EXPECT_EQ(whole.body.size(), pdf.size());
    EXPECT_TRUE(whole.body == pdf);
    EXPECT_EQ(vesker.info().status, 200);

    // Forty copies of the item would be 1600 MiB; what waits to be sent is held in pieces.
    const qint64 grownMiB = (statusKiB(vesker.pid(), "VmHWM:") - peakBefore) / 1024;
    EXPECT_LT(grownMiB, 200) << "peak resident size grew by " << grownMiB << " MiB";
    for (const int fd : stalled)
        ::close(fd);
}

TEST(SlowReaders, HundredsOfStalledReadersShutNobodyElseOut)
{
    Vesker vesker({{"allowBrowserScreens", true}});
    ASSERT_TRUE(vesker.start());
    const Reply stored = vesker.upload(Kind::pdf, sample(Kind::pdf, 16 << 20));
    ASSERT_EQ(stored.status, 200);
    const QByteArray get = "GET /api/image/" + stored.id().toLatin1()
        + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";

    // 300 peers of one address ask for the item and never read it; far more than the
    // connections the server keeps.
    std::vector<int> stalled;
    for (int i = 0; i < 300; ++i) {
        const int fd = connectLoopback(vesker.port, kBoundMs, 4096);
        ASSERT_GE(fd, 0);
        sendAll(fd, get);
        stalled.push_back(fd);
    }
    // A phone on another address is answered, at once and again after the readers stalled.
    const in_addr_t phone = (127u << 24) | 2;
    for (int round = 0; round < 2; ++round, QThread::sleep(2)) {
        EXPECT_EQ(
            exchange(vesker.port, kBoundMs,
                "GET /api/info HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n", phone)
                .status,
            200)
            << "round " << round;
        EXPECT_EQ(exchange(vesker.port, kBoundMs,
                      "POST /text HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                      "Content-Length: 5\r\n\r\nhello",
                      phone)
                      .status,
            200)
            << "round " << round;
    }
    for (const int fd : stalled)
        ::close(fd);
}
