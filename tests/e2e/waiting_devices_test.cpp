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
