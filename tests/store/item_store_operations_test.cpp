#include "store_fixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>

using namespace vesker;
using namespace vesker::test;

namespace {

// Records what the relay hook was given, and uninstalls it when the test ends.
struct RelayRecorder {
    QList<std::pair<QString, QString>> calls;
    RelayRecorder()
    {
        ItemStore::setRelayAckHandler([this](const QString& id, const QString& action) {
            calls.append({id, action});
        });
    }
    ~RelayRecorder() { ItemStore::setRelayAckHandler(nullptr); }
};

} // namespace

TEST_F(StoreTest, AcknowledgingRecordsEachItemOncePerDeviceAndTellsTheRelayEveryTime)
{
    RelayRecorder relay;
    const ScreenItem relayItem
        = makeItem(QStringLiteral("r.jpg"), 0, ItemStatus::inbox, QStringLiteral("relay:MSG-1"));
    auto store = storeWith({relayItem});
    store->acknowledge(relayItem.id, QStringLiteral("got-it"));
    store->acknowledge(relayItem.id, QStringLiteral("on-it"));

    EXPECT_TRUE(store->item(relayItem.id)->acknowledged);
    const QList<std::pair<QString, QString>> expected {
        {QStringLiteral("MSG-1"), QStringLiteral("got-it")},
        {QStringLiteral("MSG-1"), QStringLiteral("on-it")}};
    EXPECT_EQ(relay.calls, expected);
    EXPECT_EQ(
        store->acks().value(QStringLiteral("relay:MSG-1")), QStringList {uuidText(relayItem.id)});
    // acks.json is compact and holds the same.
    const QByteArray acks = readFile(store->acksPath());
    EXPECT_FALSE(acks.contains('\n'));
    EXPECT_EQ(QJsonDocument::fromJson(acks)
                  .object()
                  .value(QStringLiteral("relay:MSG-1"))
                  .toArray()
                  .size(),
        1);
}

TEST_F(StoreTest, ADeviceKeepsItsNewest200Acknowledgements)
{
    auto store = openStore();
    QList<QUuid> ids;
    for (int i = 0; i < 201; ++i) {
        ScreenItem item = makeItem(
            QStringLiteral("%1.jpg").arg(i), 0, ItemStatus::inbox, QStringLiteral("phone"));
        store->append(item);
        store->acknowledge(item.id, QStringLiteral("got-it"));
        ids.append(item.id);
    }
    const QStringList list = store->acks().value(QStringLiteral("phone"));
    ASSERT_EQ(list.size(), 200);
    EXPECT_EQ(list.first(), uuidText(ids.at(1)));
    EXPECT_EQ(list.last(), uuidText(ids.at(200)));
    EXPECT_EQ(openStore()->acks().value(QStringLiteral("phone")), list);
}

TEST_F(StoreTest, AcknowledgingAnItemWithoutDeviceSavesOnlyTheIndex)
{
    const ScreenItem item = makeItem(QStringLiteral("a.jpg"));
    auto store = storeWith({item});
    store->acknowledge(item.id, QStringLiteral("got-it"));
    store->acknowledge(QUuid::createUuid(), QStringLiteral("got-it")); // unknown: nothing
    EXPECT_FALSE(QFile::exists(store->acksPath()));
    EXPECT_TRUE(openStore()->item(item.id)->acknowledged);
}

TEST_F(StoreTest, RelayAcknowledgementsWaitForTheHookAndArriveInOrder)
{
    ItemStore::setRelayAckHandler(nullptr);
    const ScreenItem a
        = makeItem(QStringLiteral("a.jpg"), 0, ItemStatus::inbox, QStringLiteral("relay:A"));
    const ScreenItem b
        = makeItem(QStringLiteral("b.jpg"), 0, ItemStatus::inbox, QStringLiteral("relay:B"));
    auto store = storeWith({a, b});
    store->acknowledge(a.id, QStringLiteral("archive"));
    store->delete_(b.id);
    EXPECT_EQ(store->acks().value(QStringLiteral("relay:A")), QStringList {uuidText(a.id)});

    RelayRecorder relay; // installing delivers what waited
    const QList<std::pair<QString, QString>> expected {
        {QStringLiteral("A"), QStringLiteral("archive")},
        {QStringLiteral("B"), QStringLiteral("delete")}};
    EXPECT_EQ(relay.calls, expected);
    store->acknowledge(a.id, QStringLiteral("got-it"));
    EXPECT_EQ(relay.calls.size(), 3);
}

TEST_F(StoreTest, ArchivingOneItemOfAGroupArchivesTheGroupButDeleteTakesOne)
{
    QList<ScreenItem> group;
    for (int i = 1; i <= 3; ++i) {
        ScreenItem item = makeItem(
            QStringLiteral("g%1.jpg").arg(i), 0, ItemStatus::inbox, QStringLiteral("phone"));
        item.groupID = QStringLiteral("G");
        item.groupIndex = i;
        item.groupCount = 3;
        group.append(item);
    }
    const ScreenItem loner = makeItem(QStringLiteral("l.jpg"));
    auto store = storeWith(group + QList<ScreenItem> {loner});

    store->delete_(group.at(0).id);
    EXPECT_EQ(store->items().size(), 3);
    EXPECT_FALSE(QFile::exists(inbox(QStringLiteral("g1.jpg"))));
    EXPECT_TRUE(QFile::exists(inbox(QStringLiteral("g2.jpg"))));

    store->archive(group.at(1));
    for (const ScreenItem& member : {group.at(1), group.at(2)}) {
        const auto stored = store->item(member.id);
        EXPECT_EQ(stored->status, ItemStatus::archived);
        EXPECT_TRUE(stored->acknowledged);
        EXPECT_TRUE(QFile::exists(archive(member.filename)));
        EXPECT_FALSE(QFile::exists(inbox(member.filename)));
    }
    EXPECT_EQ(store->acks().value(QStringLiteral("phone")).size(), 3);
    EXPECT_EQ(store->item(loner.id)->status, ItemStatus::inbox);
}

TEST_F(StoreTest, MovingCarriesTheFileOnlyBetweenFolders)
{
    const ScreenItem item = makeItem(QStringLiteral("m.jpg"));
    auto store = storeWith({item});
    writeFile(archive(QStringLiteral("m.jpg")), "stale");

    store->move(item, ItemStatus::later);
    EXPECT_TRUE(QFile::exists(inbox(QStringLiteral("m.jpg"))));
    store->move(item, ItemStatus::archived);
    EXPECT_FALSE(QFile::exists(inbox(QStringLiteral("m.jpg"))));
    EXPECT_EQ(readFile(archive(QStringLiteral("m.jpg"))), QByteArray("m.jpg"));
    EXPECT_EQ(openStore()->item(item.id)->status, ItemStatus::archived);
    EXPECT_FALSE(store->item(item.id)->acknowledged) << "a move tells the sender nothing";
}

TEST_F(StoreTest, MovingAnItemWhoseFileIsGoneKeepsTheFileAtTheDestination)
{
    ScreenItem item = makeItem(QStringLiteral("gone.jpg"));
    auto store = openStore();
    store->append(item);
    writeFile(archive(QStringLiteral("gone.jpg")), "someone else's");
    store->move(item, ItemStatus::archived);
    EXPECT_EQ(readFile(archive(QStringLiteral("gone.jpg"))), QByteArray("someone else's"));
    EXPECT_EQ(store->item(item.id)->status, ItemStatus::archived);
}

TEST_F(StoreTest, ReplacingAPhotoKeepsOnlyTheNewestFileAndClearsRecognition)
{
    ScreenItem photo = makeItem(QStringLiteral("p.heic"));
    photo.barcodes = {QStringLiteral("QR x")};
    photo.recognizedText = QStringLiteral("text");
    ScreenItem text = makeItem(QStringLiteral("t.txt"));
    text.kind = ItemKind::text;
    auto store = storeWith({photo, text});

    store->replaceImage(text.id, "new");
    EXPECT_EQ(store->item(text.id)->filename, QStringLiteral("t.txt"));

    store->replaceImage(photo.id, "edit 1");
    m_clock.advance(5);
    store->replaceImage(photo.id, "edit 2");
    const ScreenItem edited = *store->item(photo.id);
    const QString expected = ItemStore::fileDateText(m_clock.now()) + u'-'
        + uuidText(photo.id).left(8) + QStringLiteral("-e")
        + QString::number(m_clock.now().toSecsSinceEpoch()) + QStringLiteral(".heic");
    EXPECT_EQ(edited.filename, expected);
    EXPECT_EQ(QDir(root() + QStringLiteral("/Inbox")).entryList(QDir::Files),
        (QStringList {expected, QStringLiteral("t.txt")}));
    EXPECT_EQ(readFile(store->fileURL(edited)), QByteArray("edit 2"));
    EXPECT_TRUE(edited.barcodes.isEmpty());
    EXPECT_TRUE(edited.recognizedText.isEmpty());
}

TEST_F(StoreTest, AFailedReplacementLeavesTheItemAsItWas)
{
    const ScreenItem photo = makeItem(QStringLiteral("p.jpg"));
    auto store = storeWith({photo});
    // A file where the Inbox folder should be makes every write into it fail.
    QDir(root()).rename(QStringLiteral("Inbox"), QStringLiteral("Inbox.moved"));
    writeFile(root() + QStringLiteral("/Inbox"), "not a folder");
    store->replaceImage(photo.id, "edit");
    EXPECT_EQ(store->item(photo.id)->filename, QStringLiteral("p.jpg"));
    EXPECT_TRUE(QFile::exists(root() + QStringLiteral("/Inbox.moved/p.jpg")));
}

TEST_F(StoreTest, TagsAreTrimmedAndDeduplicatedWithoutLowerCasing)
{
    const ScreenItem item = makeItem(QStringLiteral("a.jpg"));
    auto store = storeWith({item});
    store->setTags({QStringLiteral("  Red "), QStringLiteral("red"), QString(),
                       QStringLiteral("\tBlue\n"), QStringLiteral("BLUE")},
        item.id);
    EXPECT_EQ(
        store->item(item.id)->tags, (QStringList {QStringLiteral("Red"), QStringLiteral("Blue")}));

    QSignalSpy changes(store.get(), &ItemStore::itemsChanged);
    store->setTags({QStringLiteral("Red"), QStringLiteral("Blue ")}, item.id);
    store->setNote(item.id, item.note);
    store->setGroup(item.id, QString(), 1, 2);
    EXPECT_EQ(changes.count(), 0) << "unchanged values change nothing";
    store->setLocation(item.id, 52.5, 13.4);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(openStore()->item(item.id)->lon, 13.4);
}
