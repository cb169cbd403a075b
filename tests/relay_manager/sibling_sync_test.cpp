#include "relay_manager/sibling_sync.h"
#include "relay_manager/vouched_devices.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace vesker;

TEST(SiblingSync, StartingRecordsThatSyncIsUnavailable)
{
    SiblingSync sync;
    sync.deviceName = [] { return QStringLiteral("Desk"); };
    QSignalSpy status(&sync, &SiblingSync::statusChanged);
    EXPECT_TRUE(sync.status().isEmpty());

    sync.start();
    sync.start();
    EXPECT_TRUE(sync.isStarted());
    EXPECT_FALSE(sync.available());
    EXPECT_EQ(sync.status(), QStringLiteral("Device sync is not available."));
    EXPECT_EQ(status.size(), 1);
    // Without sync nobody is vouched for.
    EXPECT_TRUE(vouchedDeviceIDs().isEmpty());
}
