#include "platform/defaults.h"
#include "relay_manager/relay_manager.h"
#include "support/manual_clock.h"

#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vesker;

TEST(RelayManager, ScreenIdIsMadeOnceStoredAndAnUnusableOneReplaced)
{
    QTemporaryDir dir;
    const test::ManualClock clock;
    const std::pair<const char*, QJsonValue> rows[] = {{"missing", QJsonValue::Undefined},
        {"empty", ""}, {"not text", 1234}, {"from an earlier version", "ABC-123"}};
    QStringList made;
    for (const auto& [name, stored] : rows) {
        const QString path = dir.filePath(QLatin1String(name));
        {
            platform::Defaults defaults(path, clock);
            if (!stored.isUndefined())
                defaults.set("relayScreenID", stored);
            made.append(RelayManager(defaults).relayScreenID());
        }
        platform::Defaults reread(path, clock);
        EXPECT_EQ(RelayManager(reread).relayScreenID(), made.last()) << name << ": it is kept";
        const bool usable = stored.isString() && !stored.toString().isEmpty();
        EXPECT_TRUE(usable ? made.last() == stored.toString()
                           : QRegularExpression("^[0-9a-f]{32}$").match(made.last()).hasMatch())
            << name << ": " << made.last().toStdString();
    }
    EXPECT_NE(made[0], made[1]) << "every device makes its own";
}
