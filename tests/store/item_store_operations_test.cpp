#include "store_fixture.h"

using namespace vesker;
using namespace vesker::test;

TEST_F(StoreTest, AcknowledgingKeepsEachDevicesNewest200AndTellsTheRelayEveryTime)
{
    auto store = openStore();
    RelayRecorder relay(*store);
    QList<QUuid> ids;
    for (int i = 0; i < 201; ++i) {
        const ScreenItem item = makeItem(u"%1.jpg"_s.arg(i), 0, ItemStatus::inbox, u"relay:M-1"_s);
        store->append(item);
        store->acknowledge(item.id, u"got-it"_s);
        ids.append(item.id);
    }
    store->acknowledge(ids.last(), u"on-it"_s);
    ASSERT_EQ(relay.calls.size(), 202);
    EXPECT_EQ(relay.calls.last(), std::pair(u"M-1"_s, u"on-it"_s));
    const QStringList list = openStore()->acks().value(u"relay:M-1"_s);
    ASSERT_EQ(list.size(), 200);
    EXPECT_EQ(list.first(), uuidText(ids.at(1)));
    EXPECT_EQ(list.last(), uuidText(ids.last()));
}

TEST_F(StoreTest, AnUnknownIdWritesNothingAndAnItemWithoutDeviceNoAcks)
{
    auto store = openStore();
    store->acknowledge(QUuid::createUuid(), u"got-it"_s);
    store->flush();
    EXPECT_FALSE(QFile::exists(store->indexPath()));
    const ScreenItem item = makeItem(u"a.jpg"_s);
    store->append(item);
    store->acknowledge(item.id, u"got-it"_s);
    EXPECT_TRUE(openStore()->item(item.id)->acknowledged);
    EXPECT_FALSE(QFile::exists(store->acksPath()));
}

TEST_F(StoreTest, ArchivingOneItemOfAGroupArchivesTheGroupButDeleteTakesOne)
{
    QList<ScreenItem> items {makeItem(u"l.jpg"_s)};
    for (int i = 1; i <= 4; ++i) {
        items.append(makeItem(u"g%1.jpg"_s.arg(i), 0, ItemStatus::inbox, u"phone"_s));
        items.last().groupID = u"G"_s;
    }
    auto store = storeWith(items);
    writeFile(archive(u"g4.jpg"_s), "someone else's"); // the one member that cannot go
    store->delete_(items.at(1).id);
    EXPECT_FALSE(QFile::exists(inbox(u"g1.jpg"_s)));
    store->archive(items.at(2));
    for (const ScreenItem& member : {items.at(2), items.at(3)}) {
        EXPECT_EQ(store->item(member.id)->status, ItemStatus::archived);
        EXPECT_TRUE(store->item(member.id)->acknowledged);
        EXPECT_TRUE(QFile::exists(archive(member.filename)));
        EXPECT_FALSE(QFile::exists(inbox(member.filename)));
    }
    EXPECT_EQ(store->acks().value(u"phone"_s).size(), 3) << "not told of the one that stayed";
    EXPECT_EQ(store->item(items.at(0).id)->status, ItemStatus::inbox);
    EXPECT_EQ(store->item(items.at(4).id)->status, ItemStatus::inbox);
    EXPECT_FALSE(store->item(items.at(4).id)->acknowledged);
}

TEST_F(StoreTest, MovingCarriesTheFileOnlyBetweenFoldersAndNeverReplacesAnother)
{
    const ScreenItem item = makeItem(u"m.jpg"_s);
    const ScreenItem taken = makeItem(u"taken.jpg"_s);
    const ScreenItem gone = makeItem(u"gone.jpg"_s);
    auto store = storeWith({item, taken});
    store->append(gone);
    writeFile(archive(u"taken.jpg"_s), "an archived item's");
    writeFile(archive(u"gone.jpg"_s), "someone else's");

    EXPECT_TRUE(store->move(item, ItemStatus::later));
    EXPECT_TRUE(QFile::exists(inbox(u"m.jpg"_s)));
    EXPECT_TRUE(store->move(item, ItemStatus::archived));
    EXPECT_FALSE(store->move(taken, ItemStatus::archived)) << "a file of its name is there";
    store->move(gone, ItemStatus::archived);
    EXPECT_FALSE(QFile::exists(inbox(u"m.jpg"_s)));
    EXPECT_EQ(readFile(archive(u"m.jpg"_s)), "m.jpg");
    EXPECT_EQ(readFile(archive(u"taken.jpg"_s)), "an archived item's");
    EXPECT_EQ(readFile(inbox(u"taken.jpg"_s)), "taken.jpg");
    EXPECT_EQ(readFile(archive(u"gone.jpg"_s)), "someone else's");
    EXPECT_EQ(openStore()->item(item.id)->status, ItemStatus::archived);
    EXPECT_EQ(openStore()->item(taken.id)->status, ItemStatus::inbox);
    EXPECT_FALSE(store->item(item.id)->acknowledged) << "a move tells the sender nothing";

    // A rename that fails (here the Archive folder is a file) leaves the record as it was.
    QDir(root()).rename(u"Archive"_s, u"Archive.moved"_s);
    writeFile(root() + u"/Archive"_s, "not a folder");
    EXPECT_FALSE(store->move(*store->item(taken.id), ItemStatus::archived));
    EXPECT_EQ(store->item(taken.id)->status, ItemStatus::inbox);
    EXPECT_EQ(readFile(inbox(u"taken.jpg"_s)), "taken.jpg");
}

TEST_F(StoreTest, ReplacingAPhotoKeepsOnlyTheNewestFileAndClearsRecognition)
{
    ScreenItem photo = makeItem(u"p.heic"_s);
    photo.barcodes = {u"QR x"_s};
    photo.recognizedText = u"text"_s;
    ScreenItem text = makeItem(u"t.txt"_s);
    text.kind = ItemKind::text;
    const ScreenItem archived = makeItem(u"old.jpg"_s, 0, ItemStatus::archived);
    auto store = storeWith({photo, text, archived});
    store->replaceImage(archived.id, "edit", u"jpg"_s);
    store->flush();
    EXPECT_EQ(QDir(root() + u"/Archive"_s).entryList(QDir::Files).size(), 1);
    EXPECT_EQ(readFile(store->fileURL(*store->item(archived.id))), "edit");

    store->replaceImage(text.id, "new", u"jpg"_s);
    store->replaceImage(photo.id, "edit 1", u"jpg"_s);
    m_clock.advance(5);
    store->replaceImage(photo.id, "edit 2", u"JPG"_s);
    store->flush();
    const ScreenItem edited = *store->item(photo.id);
    const QString expected = ItemStore::fileDateText(m_clock.now()) + u'-'
        + uuidText(photo.id).left(8) + u"-e%1.jpg"_s.arg(m_clock.now().toSecsSinceEpoch());
    EXPECT_EQ(
        QDir(root() + u"/Inbox"_s).entryList(QDir::Files), (QStringList {expected, u"t.txt"_s}));
    EXPECT_EQ(readFile(inbox(u"t.txt"_s)), "t.txt") << "only photos are replaced";
    EXPECT_EQ(readFile(store->fileURL(edited)), "edit 2");
    EXPECT_TRUE(edited.barcodes.isEmpty() && edited.recognizedText.isEmpty());

    // A file where the Inbox folder should be makes every write into it fail.
    QDir(root()).rename(u"Inbox"_s, u"Inbox.moved"_s);
    writeFile(root() + u"/Inbox"_s, "not a folder");
    m_clock.advance(5);
    store->replaceImage(photo.id, "edit 3", u"jpg"_s);
    EXPECT_EQ(store->item(photo.id)->filename, expected) << "a failed replacement changes nothing";
    EXPECT_EQ(readFile(root() + u"/Inbox.moved/"_s + expected), "edit 2");
}

TEST_F(StoreTest, TagsAreTrimmedAndDeduplicatedWithoutLowerCasing)
{
    const ScreenItem item = makeItem(u"a.jpg"_s);
    auto store = storeWith({item});
    store->setTags({u"  Red "_s, u"red"_s, QString(), u"\tBlue\n"_s, u"BLUE"_s}, item.id);
    store->setLocation(item.id, 52.5, 13.4);
    auto reopened = openStore();
    EXPECT_EQ(reopened->item(item.id)->tags, (QStringList {u"Red"_s, u"Blue"_s}));
    EXPECT_EQ(reopened->item(item.id)->lon, 13.4);
}
