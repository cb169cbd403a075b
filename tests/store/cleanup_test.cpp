#include "store_fixture.h"

#include "store/store_cleanup.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>

using namespace vesker;
using namespace vesker::test;

namespace {
constexpr qint64 kDay = 86400;
}

class CleanupTest : public StoreTest {
protected:
    void choose(const QJsonValue& age, const QString& action = {})
    {
        m_defaults->set(u"cleanupAge"_s, age);
        m_defaults->set(u"cleanupAction"_s, action);
    }
};

TEST_F(CleanupTest, OldInboxItemsAreArchivedAndAcknowledgedAtTheCutOff)
{
    const ScreenItem old = makeItem(u"old.jpg"_s, 25 * 3600, ItemStatus::inbox, u"relay:M1"_s);
    const ScreenItem atCutOff = makeItem(u"edge.jpg"_s, kDay);
    const ScreenItem justPast = makeItem(u"past.jpg"_s, kDay + 1);
    const ScreenItem laterOld = makeItem(u"later.jpg"_s, 10 * kDay, ItemStatus::later);
    const ScreenItem taken = makeItem(u"taken.jpg"_s, 3 * kDay, ItemStatus::inbox, u"relay:M2"_s);
    QList<ScreenItem> items {old, atCutOff, justPast, laterOld, taken};
    for (qint64 age : {8 * kDay, 0LL}) { // only the old member of a group goes
        items.append(makeItem(u"g%1.jpg"_s.arg(age), age));
        items.last().groupID = u"G"_s;
    }
    auto store = storeWith(items);
    writeFile(archive(u"taken.jpg"_s), "someone else's");
    RelayRecorder relay(*store);
    StoreCleanup cleanup(*store, *m_defaults, m_clock);
    choose(u"oneDay"_s);
    // The cleanup's own timer runs the rule.
    QMetaObject::invokeMethod(const_cast<QTimer*>(&cleanup.timer()), "timeout");

    EXPECT_TRUE(store->item(old.id)->acknowledged);
    EXPECT_TRUE(QFile::exists(archive(u"old.jpg"_s)));
    EXPECT_FALSE(QFile::exists(inbox(u"old.jpg"_s)));
    EXPECT_EQ(relay.calls, (RelayCalls {{u"M1"_s, u"archive"_s}}));
    // The batch ends with everything on disk.
    auto reopened = openStore();
    const std::pair<ScreenItem, ItemStatus> expected[] = {{old, ItemStatus::archived},
        {atCutOff, ItemStatus::inbox}, {justPast, ItemStatus::archived},
        {laterOld, ItemStatus::later}, {taken, ItemStatus::inbox},
        {items.at(5), ItemStatus::archived}, {items.at(6), ItemStatus::inbox}};
    for (const auto& [item, status] : expected)
        EXPECT_EQ(reopened->item(item.id)->status, status) << item.filename.toStdString();
    EXPECT_EQ(reopened->acks().value(u"relay:M1"_s), QStringList {uuidText(old.id)});
}

TEST_F(CleanupTest, UnknownSettingsCleanNothingOrArchive)
{
    const ScreenItem old = makeItem(u"old.jpg"_s, 40 * kDay);
    auto store = storeWith({old});
    StoreCleanup cleanup(*store, *m_defaults, m_clock);
    for (const QJsonValue& age : QJsonArray {u"never"_s, u"OneDay"_s, u"1 day"_s, u""_s, 7}) {
        choose(age, u"delete"_s);
        cleanup.run();
        EXPECT_EQ(store->item(old.id)->status, ItemStatus::inbox)
            << age.toVariant().toString().toStdString();
    }
    choose(u"oneMonth"_s, u"Delete"_s);
    cleanup.run();
    EXPECT_EQ(store->item(old.id)->status, ItemStatus::archived) << "only \"delete\" deletes";
}

TEST_F(CleanupTest, ChangingTheChoiceCleansAtOnce)
{
    const ScreenItem old = makeItem(u"old.jpg"_s, 2 * kDay);
    auto store = storeWith({old});
    StoreCleanup cleanup(*store, *m_defaults, m_clock);
    choose(u"oneDay"_s, u"delete"_s);
    QCoreApplication::processEvents();
    EXPECT_FALSE(store->item(old.id));
    EXPECT_FALSE(QFile::exists(inbox(u"old.jpg"_s)));
}

// As at launch: the first cleanup runs before anything listens for the relay.
TEST_F(CleanupTest, DeletingAsTheCleanupIsMadeRemovesFileAndRecordAndKeepsRelayAcksInOrder)
{
    const ScreenItem relayed = makeItem(u"r.jpg"_s, 5 * kDay, ItemStatus::inbox, u"relay:M9"_s);
    const ScreenItem phone = makeItem(u"p.jpg"_s, 4 * kDay, ItemStatus::inbox, u"phone"_s);
    const ScreenItem later = makeItem(u"l.jpg"_s, 4 * kDay, ItemStatus::inbox, u"relay:M10"_s);
    storeWith({relayed, phone, later}).reset();
    choose(u"threeDays"_s, u"delete"_s);
    auto store = openStore();
    StoreCleanup cleanup(*store, *m_defaults, m_clock);
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_FALSE(QFile::exists(inbox(u"p.jpg"_s)));
    EXPECT_EQ(openStore()->acks().value(u"phone"_s), QStringList {uuidText(phone.id)});
    RelayRecorder relay(*store);
    RelayRecorder second(*store);
    EXPECT_EQ(relay.calls, (RelayCalls {{u"M9"_s, u"delete"_s}, {u"M10"_s, u"delete"_s}}));
    EXPECT_TRUE(second.calls.isEmpty()) << "what waited is heard once";
}

// A damaged or hand-mended index may list one file twice, or one id twice; the age of one record
// never costs another its file or its place.
TEST_F(CleanupTest, CleanupTakesRecordsAndNeverAFileOrAnIdThatAKeptRecordHas)
{
    for (const QString& action : {u"archive"_s, u"delete"_s}) {
        SCOPED_TRACE(action.toStdString());
        QDir(root()).removeRecursively();
        const ScreenItem old = makeItem(u"shared.jpg"_s, 3 * kDay);
        const ScreenItem recent = makeItem(u"shared.jpg"_s);
        const ScreenItem twinOld = makeItem(u"twin-old.jpg"_s, 3 * kDay);
        ScreenItem twinNew = makeItem(u"twin-new.jpg"_s);
        twinNew.id = twinOld.id;
        QJsonArray records;
        for (const ScreenItem& item : {old, recent, twinOld, twinNew}) {
            records.append(item.toJson());
            writeFile(inbox(item.filename), item.filename.toUtf8());
        }
        writeFile(root() + u"/index.json"_s, QJsonDocument(records).toJson());
        choose(u"oneDay"_s, action);

        auto store = openStore();
        StoreCleanup cleanup(*store, *m_defaults, m_clock);
        store->flush();
        EXPECT_EQ(fileBytes(inbox(u"shared.jpg"_s)), "shared.jpg");
        EXPECT_EQ(store->item(recent.id)->status, ItemStatus::inbox);
        EXPECT_EQ(fileBytes(inbox(u"twin-new.jpg"_s)), "twin-new.jpg");
        EXPECT_FALSE(QFile::exists(inbox(u"twin-old.jpg"_s)));
        const auto kept = std::find_if(store->items().begin(), store->items().end(),
            [](const ScreenItem& item) { return item.filename == u"twin-new.jpg"_s; });
        ASSERT_NE(kept, store->items().end()) << "the recent record went with the old one";
        EXPECT_EQ(kept->status, ItemStatus::inbox);
        // Told apart for good: the next start finds the same records.
        const QList<ScreenItem> now = store->items();
        store.reset();
        EXPECT_EQ(openStore()->items(), now);
    }
}
