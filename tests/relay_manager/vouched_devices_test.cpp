#include "relay_manager/vouched_devices.h"

#include <gtest/gtest.h>

using namespace vesker;

TEST(VouchedDevices, TheSetIsReplacedWholeAndCleared)
{
    replaceVouchedDeviceIDs({"mac-1", "phone-2", QString()});
    EXPECT_TRUE(isVouchedDevice("mac-1"));
    EXPECT_TRUE(isVouchedDevice("phone-2"));
    EXPECT_FALSE(isVouchedDevice("MAC-1")) << "ids match exactly";
    EXPECT_FALSE(isVouchedDevice({})) << "an empty id is never vouched for";

    replaceVouchedDeviceIDs({"phone-2"});
    EXPECT_FALSE(isVouchedDevice("mac-1")) << "a replacement drops the old ids";
    EXPECT_EQ(vouchedDeviceIDs(), QSet<QString> {"phone-2"});
    clearVouchedDeviceIDs();
    EXPECT_TRUE(vouchedDeviceIDs().isEmpty());
}
