#include "relay_manager/sibling_sync.h"
#include "relay_manager/vouched_devices.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace vesker;

TEST(SiblingSync, StartingRecordsThatSyncIsUnavailable)
{
    SiblingSync sync;
    QSignalSpy status(&sync, &SiblingSync::statusChanged);
    EXPECT_TRUE(sync.status().isEmpty());
    sync.start();
    sync.start();
    EXPECT_TRUE(sync.isStarted());
    EXPECT_FALSE(sync.available());
    EXPECT_EQ(sync.status(), QStringLiteral("Device sync is not available."));
    EXPECT_EQ(status.size(), 1);
    EXPECT_TRUE(vouchedDeviceIDs().isEmpty()) << "without sync nobody is vouched for";
}
