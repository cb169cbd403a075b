#include "platform/defaults.h"
#include "relay_manager/relay_manager.h"

#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vesker;

namespace {

struct RelayManagerTest : ::testing::Test {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("defaults.json"));
};

} // namespace

TEST_F(RelayManagerTest, ScreenIdIsMadeOnceAndStored)
{
    QString id;
    {
        platform::Defaults defaults(path);
        RelayManager relay(defaults);
        id = relay.relayScreenID();
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9a-f]{32}$")).match(id).hasMatch())
            << id.toStdString();
        EXPECT_EQ(relay.relayScreenID(), id);
        EXPECT_EQ(defaults.string(QStringLiteral("relayScreenID")), id);
    }
    // A relaunch keeps it; another device makes its own.
    platform::Defaults reread(path);
    EXPECT_EQ(RelayManager(reread).relayScreenID(), id);
    platform::Defaults other(dir.filePath(QStringLiteral("other.json")));
    EXPECT_NE(RelayManager(other).relayScreenID(), id);
}

TEST_F(RelayManagerTest, AStoredScreenIdIsUsedAndAnUnusableOneReplaced)
{
    struct Row {
        const char* name;
        QJsonValue stored;
        bool kept;
    };
    for (const Row& row : {Row {"an id from an earlier version", QStringLiteral("ABC-123"), true},
             Row {"empty", QStringLiteral(""), false}, Row {"not text", 1234, false}}) {
        SCOPED_TRACE(row.name);
        platform::Defaults defaults(dir.filePath(QString::fromLatin1(row.name) + ".json"));
        defaults.set(QStringLiteral("relayScreenID"), row.stored);
        const QString id = RelayManager(defaults).relayScreenID();
        if (row.kept) {
            EXPECT_EQ(id, row.stored.toString());
        } else {
            EXPECT_EQ(id.size(), 32);
            EXPECT_EQ(defaults.value(QStringLiteral("relayScreenID")), QJsonValue(id));
        }
    }
}
