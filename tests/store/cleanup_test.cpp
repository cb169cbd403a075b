#include "store_fixture.h"

using namespace vesker;
using namespace vesker::test;

namespace {
constexpr qint64 kDay = 86400;
}

class CleanupTest : public StoreTest {
protected:
    void choose(const char* age, const char* action = nullptr)
    {
        m_defaults->set(QStringLiteral("cleanupAge"), QString::fromLatin1(age));
        if (action)
            m_defaults->set(QStringLiteral("cleanupAction"), QString::fromLatin1(action));
    }
};

TEST_F(CleanupTest, OldInboxItemsAreArchivedAndAcknowledgedAtTheCutOff)
{
    QList<std::pair<QString, QString>> relayCalls;
    ItemStore::setRelayAckHandler([&](const QString& id, const QString& action) {
        relayCalls.append({id, action});
    });
    const ScreenItem old = makeItem(
        QStringLiteral("old.jpg"), 25 * 3600, ItemStatus::inbox, QStringLiteral("relay:M1"));
    const ScreenItem atCutOff = makeItem(QStringLiteral("edge.jpg"), kDay);
    const ScreenItem justPast = makeItem(QStringLiteral("past.jpg"), kDay + 1);
    const ScreenItem laterOld = makeItem(QStringLiteral("later.jpg"), 10 * kDay, ItemStatus::later);
    auto store = storeWith({old, atCutOff, justPast, laterOld});
    choose("oneDay");
    store->runCleanup();
    ItemStore::setRelayAckHandler(nullptr);

    EXPECT_EQ(store->item(old.id)->status, ItemStatus::archived);
    EXPECT_TRUE(store->item(old.id)->acknowledged);
    EXPECT_TRUE(QFile::exists(archive(QStringLiteral("old.jpg"))));
    EXPECT_FALSE(QFile::exists(inbox(QStringLiteral("old.jpg"))));
    EXPECT_EQ(store->item(atCutOff.id)->status, ItemStatus::inbox);
    EXPECT_EQ(store->item(justPast.id)->status, ItemStatus::archived);
    EXPECT_EQ(store->item(laterOld.id)->status, ItemStatus::later);
    EXPECT_EQ(relayCalls,
        (QList<std::pair<QString, QString>> {{QStringLiteral("M1"), QStringLiteral("archive")}}));
    EXPECT_EQ(store->acks().value(QStringLiteral("relay:M1")), QStringList {uuidText(old.id)});
    // The batch ends with everything on disk.
    auto reopened = openStore();
    EXPECT_EQ(reopened->item(justPast.id)->status, ItemStatus::archived);
    EXPECT_EQ(reopened->acks(), store->acks());
}

TEST_F(CleanupTest, DeletingRemovesFileAndRecordAndTellsTheDevice)
{
    const ScreenItem old
        = makeItem(QStringLiteral("old.jpg"), 4 * kDay, ItemStatus::inbox, QStringLiteral("phone"));
    auto store = storeWith({old});
    choose("threeDays", "delete");
    store->runCleanup();
    EXPECT_FALSE(store->item(old.id));
    EXPECT_FALSE(QFile::exists(inbox(QStringLiteral("old.jpg"))));
    EXPECT_EQ(openStore()->acks().value(QStringLiteral("phone")), QStringList {uuidText(old.id)});
}

TEST_F(CleanupTest, UnknownSettingsCleanNothingOrArchive)
{
    const ScreenItem old = makeItem(QStringLiteral("old.jpg"), 40 * kDay);
    auto store = storeWith({old});
    for (const char* age : {"never", "OneDay", "1 day", ""}) {
        choose(age, "delete");
        store->runCleanup();
        EXPECT_EQ(store->item(old.id)->status, ItemStatus::inbox) << age;
    }
    m_defaults->set(QStringLiteral("cleanupAge"), 7); // not text
    store->runCleanup();
    EXPECT_EQ(store->item(old.id)->status, ItemStatus::inbox);

    choose("oneMonth", "Delete");
    store->runCleanup();
    EXPECT_EQ(store->item(old.id)->status, ItemStatus::archived) << "only \"delete\" deletes";
}

TEST_F(CleanupTest, OnlyTheOldMemberOfAGroupIsCleanedUp)
{
    QList<ScreenItem> group;
    for (qint64 age : {8 * kDay, kDay, 0LL}) {
        ScreenItem item = makeItem(QStringLiteral("g%1.jpg").arg(age), age);
        item.groupID = QStringLiteral("G");
        group.append(item);
    }
    auto store = storeWith(group);
    choose("oneWeek");
    store->runCleanup();
    EXPECT_EQ(store->item(group.at(0).id)->status, ItemStatus::archived);
    EXPECT_EQ(store->item(group.at(1).id)->status, ItemStatus::inbox);
    EXPECT_EQ(store->item(group.at(2).id)->status, ItemStatus::inbox);
}

TEST_F(CleanupTest, RunsWhenTheStoreOpensAndQueuesRelayAcknowledgements)
{
    ItemStore::setRelayAckHandler(nullptr);
    const ScreenItem old = makeItem(
        QStringLiteral("old.jpg"), 2 * kDay, ItemStatus::inbox, QStringLiteral("relay:M9"));
    storeWith({old}).reset();
    choose("oneDay", "delete");
    auto store = openStore();
    EXPECT_FALSE(store->item(old.id));

    QList<std::pair<QString, QString>> relayCalls;
    ItemStore::setRelayAckHandler([&](const QString& id, const QString& action) {
        relayCalls.append({id, action});
    });
    ItemStore::setRelayAckHandler(nullptr);
    EXPECT_EQ(relayCalls,
        (QList<std::pair<QString, QString>> {{QStringLiteral("M9"), QStringLiteral("delete")}}));
}
