#include "platform/defaults.h"
#include "platform/notification_center.h"
#include "store/blur_rules.h"
#include "support/manual_clock.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vesker;

TEST(BlurRules, KnownSendersAreKeptOnceAndOnlyForRealNames)
{
    QTemporaryDir dir;
    const test::ManualClock clock;
    platform::Defaults defaults(dir.filePath("defaults.json"), clock);
    BlurRules rules(&defaults);
    int posts = 0;
    QObject receiver;
    platform::NotificationCenter::shared().observe(
        platform::kBlurRulesChanged, &receiver, [&](const QVariant&) { ++posts; });

    defaults.set("blurSenders", " Mum ,, ,DAD");
    EXPECT_EQ(rules.blurSenders(), QStringList({"mum", "dad"}));

    const struct {
        const char* sender;
        bool known;
        QStringList stored;
        int posts;
    } steps[] = {
        {"  Mum\n", true, {"mum"}, 1},
        {"MUM", true, {"mum"}, 2},
        {" \t\n", true, {"mum"}, 2},
        {"Dad", true, {"mum", "dad"}, 3},
        {"mum", false, {"dad"}, 4},
    };
    for (const auto& step : steps) {
        rules.setKnown(step.sender, step.known);
        EXPECT_EQ(defaults.stringList("knownSenders"), step.stored) << step.sender;
        EXPECT_EQ(posts, step.posts) << step.sender;
    }
    EXPECT_TRUE(rules.shouldBlur("Mum"));
    EXPECT_FALSE(rules.shouldBlur(" dad "));
    // An entry written in capitals by other means never matches a key.
    defaults.setStringList("knownSenders", {"Mum"});
    EXPECT_TRUE(rules.shouldBlur("Mum"));
}
