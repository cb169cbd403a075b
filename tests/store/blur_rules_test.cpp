#include "platform/defaults.h"
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
    BlurRules rules(defaults);
    // What a card hears: a redraw for every change of what is blurred, and only for those.
    int heard = 0;
    QObject::connect(&defaults, &platform::Defaults::changed, [&](const QString& key) {
        if (BlurRules::readsSetting(key))
            ++heard;
    });

    defaults.set("blurSenders", " Mum ,, ,DAD");
    defaults.set("macSimpleMode", true);
    EXPECT_EQ(rules.blurSenders(), QStringList({"mum", "dad"}));

    const struct {
        const char* sender;
        bool known;
        QStringList stored;
        int heard;
    } steps[] = {
        {"  Mum\n", true, {"mum"}, 2},
        {"MUM", true, {"mum"}, 2},
        {" \t\n", true, {"mum"}, 2},
        {"Dad", true, {"mum", "dad"}, 3},
        {"mum", false, {"dad"}, 4},
    };
    for (const auto& step : steps) {
        rules.setKnown(step.sender, step.known);
        EXPECT_EQ(defaults.stringList("knownSenders"), step.stored) << step.sender;
        EXPECT_EQ(heard, step.heard) << step.sender;
    }
    EXPECT_TRUE(rules.shouldBlur("Mum"));
    EXPECT_FALSE(rules.shouldBlur(" dad "));
    // An entry written in capitals by other means never matches a key.
    defaults.setStringList("knownSenders", {"Mum"});
    EXPECT_TRUE(rules.shouldBlur("Mum"));
}
