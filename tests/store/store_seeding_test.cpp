#include "store_fixture.h"

#include "store/store_seeding.h"
#include "support/temp_env.h"

#include <QCoreApplication>

using namespace vesker;
using namespace vesker::test;

namespace {

// Restores the program version a test changes.
struct VersionScope {
    QString saved = QCoreApplication::applicationVersion();
    explicit VersionScope(const QString& v) { QCoreApplication::setApplicationVersion(v); }
    ~VersionScope() { QCoreApplication::setApplicationVersion(saved); }
};

} // namespace

class SeedingTest : public StoreTest {
protected:
    // The application's own store, as the program opens it.
    std::unique_ptr<ItemStore> openSeeded()
    {
        auto store = std::make_unique<ItemStore>(ItemStore::defaultRoot(), *m_defaults, m_clock);
        seedStore(*store, *m_defaults, m_clock);
        m_opened.append(store.get());
        return store;
    }
};

TEST_F(SeedingTest, FirstLaunchCreatesFourWelcomeItemsOnceNamedInLocalTime)
{
    VersionScope version(u"1.11.4"_s);
    // 09:30 UTC is 15:00 five and a half hours east.
    qputenv("TZ", "IST-5:30");
    ASSERT_EQ(ItemStore::defaultRoot(), testHome() + u"/Pictures/Vesker"_s);
    {
        auto store = openSeeded();
        ASSERT_EQ(store->items().size(), 4);
        store->flush();
        EXPECT_TRUE(readFile(store->indexPath())
                        .startsWith("[\n    {\n        \"acknowledged\": false,\n"));
        for (int i = 0; i < 4; ++i) {
            const ScreenItem& item = store->items().at(i);
            EXPECT_TRUE(item.text.startsWith(u"Welcome — %1 of 4"_s.arg(i + 1).toUtf8()));
            // All four are made in one second; their ids keep the names apart.
            EXPECT_EQ(
                item.filename, u"2025-03-01_15-00-00-%1.txt"_s.arg(uuidText(item.id).left(8)));
            EXPECT_EQ(readFile(store->fileURL(item)), item.text);
        }
    }
    EXPECT_EQ(openSeeded()->items().size(), 4);
}

TEST_F(SeedingTest, ExistingItemsWithoutTheSeedFlagGetNoWelcome)
{
    writeFile(ItemStore::defaultRoot() + u"/index.json"_s,
        R"([{"id": "1A2B3C4D-0000-4000-8000-000000000001", "receivedAt": "2025-03-01T09:30:00Z",
            "filename": "a.jpg", "note": "", "sender": "Ann", "status": "inbox"}])");
    EXPECT_EQ(openSeeded()->items().size(), 1);
}

TEST_F(SeedingTest, AnUpgradeAddsOneWhatsNewItemOnlyWhenNotesExist)
{
    m_defaults->set(u"didSeedWelcome"_s, true);
    m_defaults->set(u"lastSeenVersion"_s, u"1.11.2"_s);
    {
        VersionScope version(u"1.11.3"_s);
        auto store = openSeeded();
        ASSERT_EQ(store->items().size(), 1);
        const ScreenItem& item = store->items().first();
        EXPECT_EQ(item.note, u"Version 1.11.3"_s);
        EXPECT_TRUE(item.text.startsWith("What's new in 1.11.3\n\n"));
        EXPECT_EQ(readFile(store->fileURL(item)), item.text);
    }
    VersionScope version(u"9.9"_s);
    EXPECT_EQ(openSeeded()->items().size(), 1);
    EXPECT_EQ(m_defaults->string(u"lastSeenVersion"_s), u"9.9"_s);
}
