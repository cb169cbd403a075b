#include "platform/defaults.h"
#include "relay_manager/relay_manager.h"

#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vesker;

TEST(RelayManager, ScreenIdIsMadeOnceStoredAndAnUnusableOneReplaced)
{
    QTemporaryDir dir;
    const QRegularExpression fresh(QStringLiteral("^[0-9a-f]{32}$"));
    const std::pair<const char*, QJsonValue> rows[] = {{"missing", QJsonValue::Undefined},
        {"empty", ""}, {"not text", 1234}, {"from an earlier version", "ABC-123"}};
    QStringList made;
    for (const auto& [name, stored] : rows) {
        const QString path = dir.filePath(QLatin1String(name));
        QString id;
        {
            platform::Defaults defaults(path);
            if (!stored.isUndefined())
                defaults.set("relayScreenID", stored);
            RelayManager relay(defaults);
            id = relay.relayScreenID();
            EXPECT_EQ(relay.relayScreenID(), id) << name;
            EXPECT_EQ(defaults.value("relayScreenID"), QJsonValue(id)) << name;
        }
        platform::Defaults reread(path);
        EXPECT_EQ(RelayManager(reread).relayScreenID(), id) << name << ": a relaunch keeps it";
        if (stored.isString() && !stored.toString().isEmpty())
            EXPECT_EQ(id, stored.toString());
        else
            EXPECT_TRUE(fresh.match(id).hasMatch()) << name << ": " << id.toStdString();
        made.append(id);
    }
    EXPECT_NE(made[0], made[1]) << "every device makes its own";
}
