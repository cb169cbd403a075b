// Uploads held under "ask" while a peer invents a new device name for each one.
#include "harness.h"

#include <gtest/gtest.h>

using namespace vesker::e2e;

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
    for (int device = 0; device < 200; ++device) {
        reply = send(device);
        if (reply.status != 202)
            break;
        ++held;
    }
    EXPECT_EQ(held, 50);
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
    for (int device = 0; device < 60; ++device)
        held += send("flood-" + QByteArray::number(device), flood).status == 202;
    EXPECT_EQ(held, 50);
    // The phone waits like any device; the flood's newest device gave way to it.
    EXPECT_EQ(send("phone", phone).status, 202);
    const Reply status = exchange(vesker.port, kBoundMs,
        "GET /api/status?device=phone HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(QJsonDocument::fromJson(status.body)["pending"].toInt(), 1) << status.body.data();
}

TEST(WaitingDevices, FiftyAddressesThatKeepAskingLeaveRoomForAPhoneOfANewOne)
{
    Vesker vesker({{"accessPolicy", "ask"}});
    ASSERT_TRUE(vesker.start());
    const auto from = [](int host) { return in_addr_t((127u << 24) | (1u << 8) | quint32(host)); };
    const auto send = [&](const QByteArray& device, int host) {
        return exchange(vesker.port, kBoundMs,
            "POST /text HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nContent-Length: 5\r\n"
            "X-Device: "
                + device + "\r\n\r\nhello",
            from(host));
    };
    const auto status = [&](const QByteArray& device, int host) {
        const Reply reply = exchange(vesker.port, kBoundMs,
            "GET /api/status?device=" + device
                + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n",
            from(host));
        return QJsonDocument::fromJson(reply.body).object();
    };
    // Each of fifty addresses holds one made-up device, and every one keeps asking about it.
    for (int host = 1; host <= 50; ++host)
        ASSERT_EQ(send("made-up-" + QByteArray::number(host), host).status, 202) << host;
    for (int host = 1; host <= 50; ++host)
        ASSERT_EQ(status("made-up-" + QByteArray::number(host), host)["pending"].toInt(), 1);

    const Reply phone = send("phone", 51);
    EXPECT_EQ(phone.status, 202) << phone.body.data();
    EXPECT_EQ(status("phone", 51)["pending"].toInt(), 1);
    // The device that waited longest gave way, and is told so when it asks.
    EXPECT_TRUE(status("made-up-1", 1)["expired"].toBool());
    EXPECT_EQ(status("made-up-50", 50)["pending"].toInt(), 1);
}
