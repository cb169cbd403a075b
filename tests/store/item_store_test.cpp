#include "store_fixture.h"

#include "inbox/app_version.h"
#include "support/temp_env.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSignalSpy>

using namespace vesker;
using namespace vesker::test;

namespace {

// Restores the program version a test changes.
struct VersionScope {
    explicit VersionScope(const QString& version)
        : m_saved(QCoreApplication::applicationVersion())
    {
        QCoreApplication::setApplicationVersion(version);
    }
    ~VersionScope() { QCoreApplication::setApplicationVersion(m_saved); }
    QString m_saved;
};

} // namespace

TEST_F(StoreTest, FirstLaunchCreatesTheFoldersAndFourWelcomeItemsOnce)
{
    VersionScope version(QStringLiteral("1.11.4"));
    const QString productFolder = testHome() + QStringLiteral("/Pictures/Vesker");
    ASSERT_EQ(ItemStore::defaultRoot(), productFolder);
    {
        ItemStore store(std::nullopt, m_defaults.get(), &m_clock);
        EXPECT_TRUE(QFileInfo(productFolder + QStringLiteral("/Inbox")).isDir());
        EXPECT_TRUE(QFileInfo(productFolder + QStringLiteral("/Archive")).isDir());
        ASSERT_EQ(store.items().size(), 4);
        const QRegularExpression name(
            QStringLiteral("^2025-03-01_\\d\\d-30-00-[0-9A-F]{8}\\.txt$"));
        QSet<QString> names;
        for (int i = 0; i < 4; ++i) {
            const ScreenItem& item = store.items().at(i);
            EXPECT_TRUE(item.text.startsWith(QStringLiteral("Welcome — %1 of 4").arg(i + 1)));
            EXPECT_EQ(item.note, QStringLiteral("Getting started"));
            EXPECT_EQ(item.sender, QStringLiteral("Vesker"));
            EXPECT_EQ(item.kind, ItemKind::text);
            EXPECT_TRUE(name.match(item.filename).hasMatch()) << item.filename.toStdString();
            EXPECT_TRUE(item.filename.contains(uuidText(item.id).left(8)));
            EXPECT_EQ(readFile(store.fileURL(item)), item.text.toUtf8());
            names.insert(item.filename);
        }
        // All four are made in one second; their ids keep the names apart.
        EXPECT_EQ(names.size(), 4);
        EXPECT_EQ(store.lastArrival(), store.items().last().id);
        EXPECT_TRUE(m_defaults->boolValue(QStringLiteral("didSeedWelcome"), false));
        EXPECT_EQ(m_defaults->string(QStringLiteral("lastSeenVersion")), QStringLiteral("1.11.4"));
    }
    ItemStore again(std::nullopt, m_defaults.get(), &m_clock);
    EXPECT_EQ(again.items().size(), 4);
    EXPECT_EQ(QDir(productFolder + QStringLiteral("/Inbox")).entryList(QDir::Files).size(), 4);
}

TEST_F(StoreTest, IndexIsPrettySortedWithUtcDatesAndUpperCaseIds)
{
    auto store = openStore();
    ScreenItem item = makeItem(QStringLiteral("a.jpg"));
    item.id = QUuid(QStringLiteral("{1a2b3c4d-0000-4000-8000-00000000abcd}"));
    item.receivedAt = QDateTime(QDate(2025, 3, 1), QTime(10, 30, 0, 750), Qt::OffsetFromUTC, 3600);
    store->append(item);

    const QByteArray text = readFile(store->indexPath());
    EXPECT_TRUE(text.contains("\"id\": \"1A2B3C4D-0000-4000-8000-00000000ABCD\""));
    EXPECT_TRUE(text.contains("\"receivedAt\": \"2025-03-01T09:30:00Z\""));
    EXPECT_TRUE(text.contains("\n    {\n")) << "pretty-printed";
    const QJsonObject record = QJsonDocument::fromJson(text).array().first().toObject();
    QStringList keys = record.keys();
    const QList<QByteArray> order {"\"acknowledged\"", "\"barcodes\"", "\"deviceID\"",
        "\"filename\"", "\"id\"", "\"note\"", "\"text\""};
    for (qsizetype i = 1; i < order.size(); ++i)
        EXPECT_LT(text.indexOf(order[i - 1]), text.indexOf(order[i])) << "keys sorted";
}

TEST_F(StoreTest, ExistingItemsWithoutTheSeedFlagGetNoWelcome)
{
    const QString productFolder = ItemStore::defaultRoot();
    writeFile(productFolder + QStringLiteral("/index.json"),
        R"([{"id": "1A2B3C4D-0000-4000-8000-000000000001", "receivedAt":
                  "2025-03-01T09:30:00Z", "filename": "a.jpg", "note": "", "sender": "Ann",
                  "status": "inbox"}])");
    ItemStore store(std::nullopt, m_defaults.get(), &m_clock);
    EXPECT_EQ(store.items().size(), 1);
    EXPECT_FALSE(m_defaults->contains(QStringLiteral("didSeedWelcome")));
}

TEST_F(StoreTest, AnUpgradeAddsOneWhatsNewItemOnlyWhenNotesExist)
{
    m_defaults->set(QStringLiteral("didSeedWelcome"), true);
    m_defaults->set(QStringLiteral("lastSeenVersion"), QStringLiteral("1.11.2"));
    {
        VersionScope version(QStringLiteral("1.11.3"));
        ItemStore store(std::nullopt, m_defaults.get(), &m_clock);
        ASSERT_EQ(store.items().size(), 1);
        const ScreenItem& item = store.items().first();
        EXPECT_EQ(item.note, QStringLiteral("Version 1.11.3"));
        EXPECT_TRUE(item.text.startsWith(QStringLiteral("What's new in 1.11.3\n\nSomething that")));
        EXPECT_EQ(readFile(store.fileURL(item)), item.text.toUtf8());
    }
    {
        VersionScope version(QStringLiteral("9.9"));
        ItemStore store(std::nullopt, m_defaults.get(), &m_clock);
        EXPECT_EQ(store.items().size(), 1);
        EXPECT_EQ(m_defaults->string(QStringLiteral("lastSeenVersion")), QStringLiteral("9.9"));
    }
}

TEST_F(StoreTest, AHostedStoreNeverSeedsButCleansUpOnATimer)
{
    auto store = openStore();
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_FALSE(m_defaults->contains(QStringLiteral("didSeedWelcome")));
    EXPECT_TRUE(store->cleanupTimer().isActive());
    EXPECT_EQ(store->cleanupTimer().interval(), 1800 * 1000);
}

TEST_F(StoreTest, AnIndexThatFailsToDecodeIsKeptAsideBeforeTheNextSave)
{
    // The second record lacks its status: reading is all or nothing.
    const QByteArray damaged = R"([
        {"id": "1A2B3C4D-0000-4000-8000-000000000001", "receivedAt": "2025-03-01T09:30:00Z",
         "filename": "a.jpg", "note": "", "sender": "Ann", "status": "inbox"},
        {"id": "1A2B3C4D-0000-4000-8000-000000000002", "receivedAt": "2025-03-01T09:30:00Z",
         "filename": "b.jpg", "note": "", "sender": "Ann"}])";
    writeFile(root() + QStringLiteral("/index.json"), damaged);
    writeFile(root() + QStringLiteral("/acks.json"), R"({"dev": [1, 2]})");
    auto store = openStore();
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_TRUE(store->acks().isEmpty());
    EXPECT_EQ(readFile(store->indexPath()), damaged) << "loading alone writes nothing";

    store->append(makeItem(QStringLiteral("c.jpg")));
    const QStringList kept
        = QDir(root()).entryList({QStringLiteral("index.json.unreadable-*")}, QDir::Files);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(readFile(root() + u'/' + kept.first()), damaged);
    EXPECT_EQ(openStore()->items().size(), 1);
}

TEST_F(StoreTest, ItemsOfOneSecondKeepTheirStoredOrderAfterReload)
{
    auto store = openStore();
    QList<QUuid> ids;
    for (int ms : {900, 100, 500}) {
        ScreenItem item = makeItem(QStringLiteral("x%1.jpg").arg(ms));
        item.receivedAt = QDateTime(QDate(2025, 3, 1), QTime(9, 30, 0, ms), Qt::UTC);
        store->append(item);
        ids.append(item.id);
    }
    store.reset();
    auto reloaded = openStore();
    const QList<ScreenItem> listed = reloaded->items(ItemStatus::inbox);
    ASSERT_EQ(listed.size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(listed.at(i).id, ids.at(i));
    EXPECT_EQ(listed.first().receivedAt.time().msec(), 0);
}

TEST_F(StoreTest, FileNamesFromADamagedIndexNeverLeaveTheStore)
{
    writeFile(m_dir.filePath(QStringLiteral("outside.jpg")), "precious");
    auto store = openStore();
    for (const char* name :
        {"../../outside.jpg", "sub/../../../outside.jpg", "", "..", "/etc/passwd"}) {
        ScreenItem item = makeItem(QString::fromLatin1(name));
        store->append(item);
        EXPECT_TRUE(store->fileURL(item).isEmpty()) << name;
        store->move(item, ItemStatus::archived);
        store->delete_(item.id);
    }
    EXPECT_EQ(readFile(m_dir.filePath(QStringLiteral("outside.jpg"))), QByteArray("precious"));
    EXPECT_TRUE(store->items().isEmpty());
}

TEST_F(StoreTest, EveryFieldSurvivesTheIndexWhateverItHolds)
{
    ScreenItem item = makeItem(QStringLiteral("weird \"name\".jpg"));
    item.note = QStringLiteral("line\nbreak\ttab \\ back \"quote\" \x01 ctrl — ünïcödé 😀");
    item.sender = QStringLiteral("</script>");
    item.text = QString(QChar(0x2028)) + QStringLiteral("\r\f\b");
    item.deviceID = QStringLiteral("relay:abc");
    item.barcodes = {QStringLiteral("QR a\"b"), QString()};
    item.recognizedText = QStringLiteral("x");
    item.acknowledged = true;
    item.groupID = QStringLiteral("G");
    item.groupIndex = -9007199254740991LL;
    item.groupCount = 9007199254740991LL;
    item.tags = {QStringLiteral("a")};
    item.originalName = QStringLiteral("IMG_0001.HEIC");
    item.lat = 52.520008;
    item.lon = -0.1;
    item.status = ItemStatus::later;
    item.kind = ItemKind::pdf;
    openStore()->append(item);

    const QJsonDocument doc
        = QJsonDocument::fromJson(readFile(root() + QStringLiteral("/index.json")));
    ASSERT_TRUE(doc.isArray());
    EXPECT_EQ(doc.array().first().toObject(), item.toJson());
    EXPECT_EQ(openStore()->item(item.id), item);
}
