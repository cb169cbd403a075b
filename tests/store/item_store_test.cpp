#include "store_fixture.h"

#include "store/item_queries.h"
#include "support/fail_device.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSemaphore>
#include <QTest>

#include <malloc.h>

#include <atomic>
#include <cmath>
#include <limits>

using namespace vesker;
using namespace vesker::test;

// A record no version of the program wrote, among good ones, a file cut short, and acks.json.
TEST_F(StoreTest, ADamagedIndexIsKeptAsideWholeButEveryGoodRecordIsLoaded)
{
    const QByteArray damaged = R"([
        {"id": "not an id", "receivedAt": "2025-03-01T09:30:00Z",
         "filename": "b.jpg", "note": "", "sender": "Ann", "status": "inbox"},
        {"id": "1A2B3C4D-0000-4000-8000-000000000001", "receivedAt": "2025-03-01T09:30:00Z",
         "filename": "a.jpg", "note": "[\"{,", "sender": "Ann", "status": "inbox"},
        {"id": "1A2B3C4D-0000-4000-8000-000000000002", "receivedAt": "2025-03-0)";
    writeFile(root() + u"/index.json"_s, damaged);
    writeFile(root() + u"/acks.json"_s, R"({"dev": [1, 2]})");
    auto store = openStore();
    ASSERT_EQ(store->items().size(), 1);
    EXPECT_EQ(store->items().first().note, u"[\"{,"_s);
    EXPECT_TRUE(store->acks().isEmpty());

    store->append(makeItem(u"d.jpg"_s, 0, ItemStatus::inbox, u"dev"_s));
    store->acknowledge(store->items().last().id, u"got-it"_s);
    store->flush();
    for (const QByteArray& file : {damaged, QByteArray(R"({"dev": [1, 2]})")}) {
        const QString name = file == damaged ? u"index.json"_s : u"acks.json"_s;
        const QStringList kept = QDir(root()).entryList({name + u".unreadable-*"_s});
        ASSERT_EQ(kept.size(), 1) << name.toStdString();
        EXPECT_EQ(readFile(root() + u'/' + kept.first()), file);
    }
    EXPECT_EQ(openStore()->items().size(), 2);
}

// What a failed write reports and leaves on disk is checked for every writer in
// write_failure_test.cpp; here, what happens to the changes it did not write.
TEST_F(StoreTest, AfterAFailedWriteEveryArrivalHearsAndTheNextWriteTakesWhatWaited)
{
    const ScreenItem kept = makeItem(u"a.jpg"_s, 0, ItemStatus::inbox, u"dev"_s);
    auto store = storeWith({kept});
    QList<std::optional<QString>> results;
    auto record = [&results](const std::optional<QString>& error) { results.append(error); };

    store->setWriteDevice(FailDevice::after(40));
    store->append(makeItem(u"b.jpg"_s), record);
    store->append(makeItem(u"c.jpg"_s), record);
    store->acknowledge(kept.id, u"on-it"_s);
    store->setNote(kept.id, u"kept in memory"_s);
    store->flush();
    EXPECT_EQ(results, QList<std::optional<QString>>(2, QString::fromLatin1(FailDevice::kError)));
    EXPECT_EQ(store->items().size(), 1);

    // With space again the next change writes what was waiting as well.
    store->setWriteDevice({});
    results.clear();
    store->append(makeItem(u"d.jpg"_s), record);
    store->flush();
    EXPECT_EQ(results, (QList<std::optional<QString>> {std::nullopt}));
    auto reopened = openStore();
    EXPECT_EQ(reopened->items().size(), 2);
    EXPECT_EQ(reopened->item(kept.id)->note, u"kept in memory"_s);
}

// A crash mid-write leaves temporary files and uploads whose record never reached the index; the
// next start removes what nothing can use, finishes what a record lists, and keeps every file
// with an item's own name, listed or not, and every file not named as the store names them.
TEST_F(StoreTest, TheNextStartClearsWhatCutOffWritesLeftAndKeepsEveryItemFile)
{
    flushAll();
    {
        auto store = storeWith({makeItem(u"listed.jpg"_s)});
        store->flush();
    }
    QFile::rename(inbox(u"listed.jpg"_s), inbox(u"listed.jpg.unfinished"_s));
    const struct {
        QString path;
        bool keptAfter;
    } files[] = {
        {inbox(u"2025-03-01_09-30-00-0BADF00D.jpg.unfinished"_s), false},
        {inbox(u"2025-03-01_09-30-00-0BADF00D.jpg.unfinished.new-1x2y3z"_s), false},
        {inbox(u"2025-03-01_09-30-00-1A2B3C4D.jpg.new-k8s7"_s), false},
        {archive(u"2025-03-01_09-30-00-1A2B3C4D-e1740821400.png.new-a1"_s), false},
        {archive(u"listed.jpg.new-a1"_s), false},
        // Not of the store's own naming: the person's, whatever the suffix.
        {inbox(u"never-answered.jpg.unfinished"_s), true},
        {archive(u"moved.jpg.new-a1"_s), true},
        {root() + u"/index.json.new-5ffe2"_s, false},
        {root() + u"/acks.json.new-9"_s, false},
        {inbox(u"no-record-lists-me.jpg"_s), true},
        {archive(u"nor-me.pdf"_s), true},
        {root() + u"/grants.json"_s, true},
    };
    for (const auto& file : files)
        writeFile(file.path, "bytes");

    auto store = openStore();
    for (const auto& file : files)
        EXPECT_EQ(QFile::exists(file.path), file.keptAfter) << file.path.toStdString();
    ASSERT_EQ(store->items().size(), 1);
    EXPECT_EQ(store->fileURL(store->items().first()), inbox(u"listed.jpg"_s));
    EXPECT_EQ(fileBytes(inbox(u"listed.jpg"_s)), "listed.jpg");
}

// Until the index lists it, an arrival's file has a name the next start would clear; once it
// is listed, the file has its own name before anyone hears it is stored.
TEST_F(StoreTest, AnArrivalsFileTakesItsNameOnlyOnceTheIndexListsIt)
{
    auto store = openStore();
    const ScreenItem item = makeItem(u"arrived.jpg"_s);
    writeFile(store->unfinishedFileURL(item), "photo");
    QStringList seenWhenSaved;
    store->appendWithUnfinishedFile(item, [&](const std::optional<QString>& error) {
        EXPECT_FALSE(error);
        seenWhenSaved = QDir(root() + u"/Inbox"_s).entryList(QDir::Files);
    });
    EXPECT_EQ(store->fileURL(item), inbox(u"arrived.jpg.unfinished"_s));
    store->flush();
    EXPECT_EQ(seenWhenSaved, QStringList {u"arrived.jpg"_s});
    EXPECT_EQ(store->fileURL(item), inbox(u"arrived.jpg"_s));
    EXPECT_EQ(fileBytes(inbox(u"arrived.jpg"_s)), "photo");

    // A write that fails takes the unfinished file with the record.
    const ScreenItem lost = makeItem(u"lost.jpg"_s);
    writeFile(store->unfinishedFileURL(lost), "photo");
    store->setWriteDevice(FailDevice::after(0));
    store->appendWithUnfinishedFile(
        lost, [](const std::optional<QString>& error) { EXPECT_TRUE(error); });
    store->flush();
    EXPECT_EQ(QDir(root() + u"/Inbox"_s).entryList(QDir::Files), QStringList {u"arrived.jpg"_s});
}

TEST_F(StoreTest, ItemsOfOneSecondKeepTheirStoredOrder)
{
    auto store = openStore();
    QList<QUuid> ids;
    for (int ms : {900, 100, 500}) {
        ScreenItem item = makeItem(u"x%1.jpg"_s.arg(ms));
        item.receivedAt
            = QDateTime(QDate(2025, 3, 1), QTime(10, 30, 0, ms), Qt::OffsetFromUTC, 3600);
        store->append(item);
        ids.append(item.id);
    }
    EXPECT_TRUE(readFile(store->indexPath()).contains("\"receivedAt\": \"2025-03-01T09:30:00Z\""));
    store.reset();
    QList<QUuid> listed;
    for (const ScreenItem& item : itemsIn(openStore()->items(), ItemStatus::inbox))
        listed.append(item.id);
    EXPECT_EQ(listed, ids);
}

TEST_F(StoreTest, FileNamesFromADamagedIndexNeverLeaveTheStore)
{
    writeFile(m_dir.filePath(u"outside.jpg"_s), "precious");
    auto store = openStore();
    for (const QString& name :
        {u"../../outside.jpg"_s, u"sub/../../../outside.jpg"_s, u""_s, u".."_s, u"/etc/passwd"_s}) {
        ScreenItem item = makeItem(name);
        store->append(item);
        EXPECT_TRUE(store->fileURL(item).isEmpty()) << name.toStdString();
        store->move(item, ItemStatus::archived);
        store->delete_(item.id);
    }
    EXPECT_EQ(readFile(m_dir.filePath(u"outside.jpg"_s)), "precious");
    EXPECT_TRUE(store->items().isEmpty());
}

// The index is written by hand, so every kind of text and number must come back whole.
TEST_F(StoreTest, EveryFieldSurvivesTheIndexWhateverItHolds)
{
    ScreenItem item = makeItem(u"weird \"name\".jpg"_s, 0, ItemStatus::later, u"relay:abc"_s);
    item.note = u"line\nbreak\ttab \\ back \"quote\" \x01 ctrl — ünïcödé 😀"_s;
    item.sender = u"</script>"_s;
    item.text = (QString(QChar(0x2028)) + u"\r\f\b"_s).toUtf8();
    item.barcodes = {u"QR a\"b"_s, QString()};
    item.acknowledged = true;
    item.tags = {u"a"_s};
    item.lat = 52.520008;
    item.groupIndex = std::numeric_limits<qint64>::max();
    item.groupCount = std::numeric_limits<qint64>::min();
    item.kind = ItemKind::pdf;
    ScreenItem nowhere = makeItem(u"n.jpg"_s);
    nowhere.lat = std::nan("");
    nowhere.lon = -INFINITY;
    openStore()->append(item);
    openStore()->append(nowhere);

    const QByteArray text = readFile(root() + u"/index.json"_s);
    EXPECT_EQ(QJsonDocument::fromJson(text).array().first().toObject(), item.toJson());
    auto reopened = openStore();
    EXPECT_EQ(reopened->item(item.id), item);
    EXPECT_FALSE(reopened->item(nowhere.id)->lat || reopened->item(nowhere.id)->lon);
}

// Arrivals made while the index is being written wait for the next write, all in one, and each
// hears only once the index on disk lists it.
TEST_F(StoreTest, ArrivalsDuringAWriteShareTheNextOneAndHearOnlyOnceOnDisk)
{
    auto store = openStore();
    QSemaphore firstWriteMayGo;
    std::atomic<int> writes = 0;
    store->setWriteDevice([&](QIODevice&) -> std::unique_ptr<QIODevice> {
        if (writes++ == 0)
            firstWriteMayGo.acquire();
        return nullptr;
    });
    QList<QUuid> heard;
    QList<bool> listedWhenHeard;
    const auto append = [&](const QString& name) {
        const ScreenItem item = makeItem(name);
        store->append(item, [&, id = item.id](const std::optional<QString>& error) {
            EXPECT_EQ(error, std::nullopt);
            heard.append(id);
            listedWhenHeard.append(
                (fileBytes(root() + u"/index.json"_s) + fileBytes(store->journalPath()))
                    .contains(uuidText(id).toUtf8()));
        });
    };
    append(u"first.jpg"_s);
    ASSERT_TRUE(QTest::qWaitFor([&] { return writes == 1; }, 5000));
    for (int i = 0; i < 5; ++i)
        append(u"later-%1.jpg"_s.arg(i));
    QCoreApplication::processEvents();
    EXPECT_TRUE(heard.isEmpty());
    firstWriteMayGo.release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return heard.size() == 6; }, 5000));
    EXPECT_EQ(writes, 2);
    EXPECT_EQ(listedWhenHeard, QList<bool>(6, true));
}

// Each write takes only what changed since the last; whatever the changes between two writes,
// the index read back holds the store as it was.
TEST_F(StoreTest, TheIndexFollowsEveryKindOfChangeBetweenWrites)
{
    auto store = storeWith({makeItem(u"a.jpg"_s, 30), makeItem(u"b.jpg"_s, 20)});
    store->flush();
    store = openStore();
    const struct {
        const char* name;
        std::function<void(ItemStore&)> change;
    } steps[] {
        {"a note on a loaded item",
            [](ItemStore& s) { s.setNote(s.items().first().id, u"Shelf 7731"_s); }},
        {"arrivals",
            [this](ItemStore& s) {
                s.append(makeItem(u"c.jpg"_s));
                s.append(makeItem(u"d.jpg"_s));
            }},
        {"an arrival and an edit of it",
            [this](ItemStore& s) {
                const ScreenItem item = makeItem(u"e.jpg"_s);
                s.append(item);
                s.setTags({u"urgent"_s}, item.id);
            }},
        {"archived", [](ItemStore& s) { s.move(s.items().at(1), ItemStatus::archived); }},
        {"deleted, then an arrival",
            [this](ItemStore& s) {
                s.delete_(s.items().at(2).id);
                s.append(makeItem(u"f.jpg"_s));
            }},
        {"an edit after a deletion",
            [](ItemStore& s) { s.setNote(s.items().last().id, u"after"_s); }},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        step.change(*store);
        store->flush();
        EXPECT_EQ(ItemStore(root(), *m_defaults, m_clock).items(), store->items());
    }
}

// Records read at start are written back as they were read, and come out as the store that
// made them writes them.
TEST_F(StoreTest, ARecordReadAtStartIsWrittenBackByteForByte)
{
    ScreenItem item = makeItem(u"a.jpg"_s, 30);
    item.note = u"Shelf \"7731\"\n\u00e9"_s;
    item.barcodes = {u"QR one"_s};
    auto made = storeWith({item, makeItem(u"b.jpg"_s, 20)});
    made->setNote(made->items().last().id, u"edited"_s);
    made->flush();
    const QByteArray written = fileBytes(root() + u"/index.json"_s);

    auto read = openStore();
    read->setNote(read->items().last().id, u"edited again"_s);
    read->setNote(read->items().last().id, u"edited"_s);
    read->flush();
    EXPECT_EQ(fileBytes(root() + u"/index.json"_s), written);
}

// A store of long texts holds each once, at about its size in the file, read at start and
// written into the index again alike.
TEST_F(StoreTest, LongTextsTakeTheHeapAboutTheirOwnSize)
{
    constexpr int kTexts = 12;
    constexpr qsizetype kTextBytes = 1 << 20;
    QJsonArray records;
    for (int i = 0; i < kTexts; ++i) {
        QJsonObject record = makeItem(u"%1.txt"_s.arg(i)).toJson();
        record.insert(u"kind"_s, u"text"_s);
        record.insert(u"text"_s, QString(kTextBytes - 2, QChar(u'a' + i)) + u"é"_s);
        records.append(record);
    }
    writeFile(root() + u"/index.json"_s, QJsonDocument(records).toJson());
    records = {};
    const auto heap = [] {
        const struct mallinfo2 info = mallinfo2();
        return info.uordblks + info.hblkhd;
    };
    const size_t before = heap();

    auto store = openStore();
    ASSERT_EQ(store->items().size(), kTexts);
    store->setNote(store->items().first().id, u"read"_s);
    store->flush();
    ASSERT_FALSE(QFile::exists(store->journalPath()));

    const double grown = double(heap()) - double(before);
    EXPECT_LT(grown, 1.5 * kTexts * kTextBytes) << grown / (kTexts * kTextBytes) << " times";
}
