#include "store_fixture.h"

#include "support/temp_env.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

using namespace vesker;
using namespace vesker::test;

namespace {

// Restores the program version a test changes.
struct VersionScope {
    QString saved = QCoreApplication::applicationVersion();
    explicit VersionScope(const QString& version)
    {
        QCoreApplication::setApplicationVersion(version);
    }
    ~VersionScope() { QCoreApplication::setApplicationVersion(saved); }
};

} // namespace

TEST_F(StoreTest, FirstLaunchCreatesTheFoldersAndFourWelcomeItemsOnce)
{
    VersionScope version(u"1.11.4"_s);
    const QString folder = testHome() + u"/Pictures/Vesker"_s;
    ASSERT_EQ(ItemStore::defaultRoot(), folder);
    {
        ItemStore store(std::nullopt, m_defaults.get(), &m_clock);
        EXPECT_TRUE(QFileInfo(folder + u"/Archive"_s).isDir());
        ASSERT_EQ(store.items().size(), 4);
        const QByteArray index = readFile(store.indexPath());
        EXPECT_TRUE(index.startsWith("[\n    {\n        \"acknowledged\": false,\n"));
        for (int i = 0; i < 4; ++i) {
            const ScreenItem& item = store.items().at(i);
            EXPECT_TRUE(item.text.startsWith(u"Welcome — %1 of 4"_s.arg(i + 1)));
            EXPECT_EQ(item.note + item.sender, u"Getting startedVesker"_s);
            EXPECT_EQ(item.kind, ItemKind::text);
            // All four are made in one second; their ids keep the names apart.
            const QString name
                = u"^2025-03-01_\\d\\d-30-00-%1\\.txt$"_s.arg(uuidText(item.id).left(8));
            EXPECT_TRUE(QRegularExpression(name).match(item.filename).hasMatch());
            EXPECT_EQ(readFile(store.fileURL(item)), item.text.toUtf8());
        }
        EXPECT_EQ(store.lastArrival(), store.items().last().id);
        EXPECT_TRUE(m_defaults->boolValue(u"didSeedWelcome"_s, false));
        EXPECT_EQ(m_defaults->string(u"lastSeenVersion"_s), u"1.11.4"_s);
    }
    EXPECT_EQ(ItemStore(std::nullopt, m_defaults.get(), &m_clock).items().size(), 4);
    EXPECT_EQ(QDir(folder + u"/Inbox"_s).entryList(QDir::Files).size(), 4);
}

TEST_F(StoreTest, ExistingItemsWithoutTheSeedFlagGetNoWelcome)
{
    writeFile(ItemStore::defaultRoot() + u"/index.json"_s,
        R"([{"id": "1A2B3C4D-0000-4000-8000-000000000001", "receivedAt": "2025-03-01T09:30:00Z",
            "filename": "a.jpg", "note": "", "sender": "Ann", "status": "inbox"}])");
    EXPECT_EQ(ItemStore(std::nullopt, m_defaults.get(), &m_clock).items().size(), 1);
    EXPECT_FALSE(m_defaults->contains(u"didSeedWelcome"_s));
}

TEST_F(StoreTest, AnUpgradeAddsOneWhatsNewItemOnlyWhenNotesExist)
{
    m_defaults->set(u"didSeedWelcome"_s, true);
    m_defaults->set(u"lastSeenVersion"_s, u"1.11.2"_s);
    {
        VersionScope version(u"1.11.3"_s);
        ItemStore store(std::nullopt, m_defaults.get(), &m_clock);
        ASSERT_EQ(store.items().size(), 1);
        const ScreenItem& item = store.items().first();
        EXPECT_EQ(item.note, u"Version 1.11.3"_s);
        EXPECT_TRUE(item.text.startsWith(u"What's new in 1.11.3\n\nSomething that"_s));
        EXPECT_EQ(readFile(store.fileURL(item)), item.text.toUtf8());
    }
    VersionScope version(u"9.9"_s);
    EXPECT_EQ(ItemStore(std::nullopt, m_defaults.get(), &m_clock).items().size(), 1);
    EXPECT_EQ(m_defaults->string(u"lastSeenVersion"_s), u"9.9"_s);
}

TEST_F(StoreTest, AnIndexThatFailsToDecodeIsKeptAsideBeforeTheNextSave)
{
    // The second record lacks its status: reading is all or nothing.
    const QByteArray damaged = R"([
        {"id": "1A2B3C4D-0000-4000-8000-000000000001", "receivedAt": "2025-03-01T09:30:00Z",
         "filename": "a.jpg", "note": "", "sender": "Ann", "status": "inbox"},
        {"id": "1A2B3C4D-0000-4000-8000-000000000002", "receivedAt": "2025-03-01T09:30:00Z",
         "filename": "b.jpg", "note": "", "sender": "Ann"}])";
    writeFile(root() + u"/index.json"_s, damaged);
    writeFile(root() + u"/acks.json"_s, R"({"dev": [1, 2]})");
    auto store = openStore();
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_TRUE(store->acks().isEmpty());
    EXPECT_EQ(readFile(store->indexPath()), damaged) << "loading alone writes nothing";

    store->append(makeItem(u"c.jpg"_s));
    const QStringList kept = QDir(root()).entryList({u"index.json.unreadable-*"_s});
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(readFile(root() + u'/' + kept.first()), damaged);
    EXPECT_EQ(openStore()->items().size(), 1);
}

TEST_F(StoreTest, AHostedStoreNeverSeedsAndKeepsItemsOfOneSecondInStoredOrder)
{
    auto store = openStore();
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_FALSE(m_defaults->contains(u"didSeedWelcome"_s));
    EXPECT_TRUE(store->cleanupTimer().isActive());
    EXPECT_EQ(store->cleanupTimer().interval(), 1800 * 1000);
    QList<QUuid> ids;
    for (int ms : {900, 100, 500}) {
        ScreenItem item = makeItem(u"x%1.jpg"_s.arg(ms));
        item.receivedAt
            = QDateTime(QDate(2025, 3, 1), QTime(10, 30, 0, ms), Qt::OffsetFromUTC, 3600);
        store->append(item);
        ids.append(item.id);
    }
    const QByteArray text = readFile(store->indexPath());
    EXPECT_TRUE(text.contains("\"id\": \"" + uuidText(ids.first()).toLatin1() + '"'));
    EXPECT_TRUE(text.contains("\"receivedAt\": \"2025-03-01T09:30:00Z\""));
    store.reset();
    const QList<ScreenItem> listed = openStore()->items(ItemStatus::inbox);
    ASSERT_EQ(listed.size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(listed.at(i).id, ids.at(i));
    EXPECT_EQ(listed.first().receivedAt.time().msec(), 0);
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
    item.text = QString(QChar(0x2028)) + u"\r\f\b"_s;
    item.barcodes = {u"QR a\"b"_s, QString()};
    item.recognizedText = u"x"_s;
    item.acknowledged = true;
    item.groupID = u"G"_s;
    item.groupIndex = -9007199254740991LL;
    item.groupCount = 9007199254740991LL;
    item.tags = {u"a"_s};
    item.originalName = u"IMG_0001.HEIC"_s;
    item.lat = 52.520008;
    item.lon = -0.1;
    item.kind = ItemKind::pdf;
    openStore()->append(item);

    const QByteArray text = readFile(root() + u"/index.json"_s);
    EXPECT_EQ(QJsonDocument::fromJson(text).array().first().toObject(), item.toJson());
    QList<qsizetype> keyAt;
    for (const QString& key : item.toJson().keys()) // sorted
        keyAt.append(text.indexOf("\"" + key.toLatin1() + "\":"));
    EXPECT_TRUE(std::is_sorted(keyAt.begin(), keyAt.end()) && keyAt.first() > 0);
    EXPECT_EQ(openStore()->item(item.id), item);
}
