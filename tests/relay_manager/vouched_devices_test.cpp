#include "relay_manager/vouched_devices.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace vesker;

TEST(VouchedDevices, TheSetIsReplacedWholeAndCleared)
{
    clearVouchedDeviceIDs();
    EXPECT_FALSE(isVouchedDevice(QStringLiteral("mac-1")));

    replaceVouchedDeviceIDs({QStringLiteral("mac-1"), QStringLiteral("phone-2")});
    EXPECT_TRUE(isVouchedDevice(QStringLiteral("mac-1")));
    EXPECT_TRUE(isVouchedDevice(QStringLiteral("phone-2")));
    EXPECT_FALSE(isVouchedDevice(QStringLiteral("MAC-1"))) << "ids match exactly";
    EXPECT_FALSE(isVouchedDevice({}));

    replaceVouchedDeviceIDs({QStringLiteral("phone-2")});
    EXPECT_FALSE(isVouchedDevice(QStringLiteral("mac-1"))) << "a replacement drops the old ids";
    EXPECT_EQ(vouchedDeviceIDs(), QSet<QString> {QStringLiteral("phone-2")});

    replaceVouchedDeviceIDs({QString()});
    EXPECT_FALSE(isVouchedDevice({})) << "an empty id is never vouched for";

    clearVouchedDeviceIDs();
    EXPECT_TRUE(vouchedDeviceIDs().isEmpty());
}

TEST(VouchedDevices, AReaderNeverSeesHalfAReplacement)
{
    clearVouchedDeviceIDs();
    const QSet<QString> even {QStringLiteral("a"), QStringLiteral("b")};
    const QSet<QString> odd {QStringLiteral("c"), QStringLiteral("d")};
    std::atomic<bool> done = false;
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i)
            replaceVouchedDeviceIDs(i % 2 ? odd : even);
        done = true;
    });
    int mixed = 0;
    while (!done) {
        const QSet<QString> seen = vouchedDeviceIDs();
        if (!seen.isEmpty() && seen != even && seen != odd)
            ++mixed;
        isVouchedDevice(QStringLiteral("a"));
    }
    writer.join();
    EXPECT_EQ(mixed, 0);
    clearVouchedDeviceIDs();
}
