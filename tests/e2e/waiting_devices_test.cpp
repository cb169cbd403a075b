// Uploads held under "ask" while a peer invents a new device name for each one.
#include "access/access_types.h"
#include "harness.h"

#include <gtest/gtest.h>

using namespace vesker::e2e;
using vesker::kMaxWaitingDevices;

TEST(WaitingDevices, ANewDeviceNameEachTimeMeetsABoundOnWaitingDevices)
{
    Vesker vesker({{"accessPolicy", "ask"}});
    ASSERT_TRUE(vesker.start());
    const auto send = [&](int device) {
        return vesker.upload(Kind::text, "hello",
            "X-Device: flood-" + QByteArray::number(device) + "\r\nX-Device-Name: Flood\r\n");
    };
    int held = 0;
    Reply reply;
    for (int device = 0; device < kMaxWaitingDevices + 50; ++device) {
        reply = send(device);
        if (reply.status != 202)
            break;
        ++held;
    }
    EXPECT_EQ(held, kMaxWaitingDevices);
    EXPECT_EQ(reply.status, 503);
    EXPECT_EQ(reply.body, "Too many waiting");
    // A device already waiting may still add to what it waits with.
    EXPECT_EQ(send(0).status, 202);
    EXPECT_EQ(vesker.info().status, 200);
}

TEST(WaitingDevices, AFloodFromOneAddressLeavesRoomForAPhoneOfAnother)
{
    Vesker vesker({{"accessPolicy", "ask"}});
    ASSERT_TRUE(vesker.start());
    const auto send = [&](const QByteArray& device, in_addr_t from) {
        return exchange(vesker.port, kBoundMs,
            "POST /text HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nContent-Length: 5\r\n"
            "X-Device: "
                + device + "\r\n\r\nhello",
            from);
    };
    const in_addr_t flood = (127u << 24) | 1;
    const in_addr_t phone = (127u << 24) | 2;
    int held = 0;
    for (int device = 0; device < kMaxWaitingDevices + 10; ++device)
        held += send("flood-" + QByteArray::number(device), flood).status == 202;
    EXPECT_EQ(held, kMaxWaitingDevices);
    // The phone waits like any device; the flood's newest device gave way to it.
    EXPECT_EQ(send("phone", phone).status, 202);
    const Reply status = exchange(vesker.port, kBoundMs,
        "GET /api/status?device=phone HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(QJsonDocument::fromJson(status.body)["pending"].toInt(), 1) << status.body.data();
}

TEST(WaitingDevices, APhoneThatAsksKeepsItsPlaceAgainstANetworkOfAddressesThatAskToo)
{
    Vesker vesker({{"accessPolicy", "ask"}});
    ASSERT_TRUE(vesker.start());
    // 127.0.<n / 256>.<n % 256>: every n a peer of its own.
    const auto from = [](int n) { return in_addr_t((127u << 24) | quint32(n)); };
    const auto send = [&](const QByteArray& device, int n) {
        return exchange(vesker.port, kBoundMs,
            "POST /text HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nContent-Length: 5\r\n"
            "X-Device: "
                + device + "\r\n\r\nhello",
            from(n));
    };
    const auto status = [&](const QByteArray& device, int n) {
        const Reply reply = exchange(vesker.port, kBoundMs,
            "GET /api/status?device=" + device
                + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n",
            from(n));
        return QJsonDocument::fromJson(reply.body).object();
    };
    const int phone = 2 * 256 + 1;
    ASSERT_EQ(send("phone", phone).status, 202);
    // Each of 250 addresses of a network sends a made-up device, then another, and every one
    // keeps asking; the phone asks between their rounds.
    for (int round = 0; round < 3; ++round) {
        for (int host = 1; host <= 250; ++host) {
            const QByteArray device
                = "made-up-" + QByteArray::number(host) + "-" + QByteArray::number(round);
            const Reply reply = send(device, 256 + host);
            ASSERT_TRUE(reply.status == 202 || reply.status == 503) << reply.status;
            if (host % 50 == 0)
                ASSERT_EQ(status("phone", phone)["pending"].toInt(), 1) << round << " " << host;
        }
        for (int host = 1; host <= 250; ++host)
            status("made-up-" + QByteArray::number(host) + "-0", 256 + host);
        // A phone that comes in the middle of it finds a place.
        if (round == 1)
            ASSERT_EQ(send("late-phone", phone + 1).status, 202);
    }
    const QJsonObject mine = status("phone", phone);
    EXPECT_EQ(mine["pending"].toInt(), 1) << QJsonDocument(mine).toJson().data();
    EXPECT_FALSE(mine["expired"].toBool());
    EXPECT_EQ(status("late-phone", phone + 1)["pending"].toInt(), 1);
    // The first device of each address waits on too; the addresses share what is left.
    EXPECT_EQ(status("made-up-1-0", 257)["pending"].toInt(), 1);
    EXPECT_EQ(status("made-up-250-0", 256 + 250)["pending"].toInt(), 1);
}
