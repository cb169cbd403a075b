// The index's journal: what a start finds after a crash at any moment, and when the journal is
// folded into index.json.
#include "store_fixture.h"

#include "support/fail_device.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace vesker;
using namespace vesker::test;

namespace {

// The store's folder as a power cut at this moment would leave it, copied where a second start
// can read it while the first store goes on.
void copyFolder(const QString& from, const QString& to)
{
    QDirIterator it(from, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + path.mid(from.size());
        QDir().mkpath(QFileInfo(target).path());
        QFile::copy(path, target);
    }
}

QStringList idsOf(const QList<ScreenItem>& items)
{
    QStringList ids;
    for (const ScreenItem& item : items)
        ids.append(uuidText(item.id) + u' ' + item.note + u' ' + item.tags.join(u','));
    return ids;
}

QStringList indexIds(const QString& path)
{
    QStringList ids;
    for (const QJsonValue record : QJsonDocument::fromJson(fileBytes(path)).array())
        ids.append(record[u"id"_s].toString());
    return ids;
}

} // namespace

class JournalTest : public StoreTest {
protected:
    QString crashed() const { return m_dir.filePath(u"crashed"_s); }

    // Makes each change, then copies the folder as soon as the last change is on disk: with the
    // journal small and the store busy, index.json is older than the journal.
    void crashAfter(ItemStore& store, const std::function<void()>& changes)
    {
        changes();
        bool copied = false;
        store.append(makeItem(u"last.jpg"_s), [&](const std::optional<QString>& error) {
            ASSERT_FALSE(error);
            copyFolder(store.rootDir(), crashed());
            copied = true;
        });
        ASSERT_TRUE(QTest::qWaitFor([&] { return copied; }, 10000));
    }
};

TEST_F(JournalTest, AStartAfterACrashReplaysTheJournalInOrder)
{
    auto store = storeWith({makeItem(u"a.jpg"_s, 30), makeItem(u"b.jpg"_s, 20),
        makeItem(u"c.jpg"_s, 10, ItemStatus::inbox, u"dev"_s)});
    store->flush();
    const QByteArray folded = fileBytes(store->indexPath());

    crashAfter(*store, [&] {
        store->append(makeItem(u"d.jpg"_s));
        store->append(makeItem(u"e.jpg"_s));
        store->setNote(store->items().at(0).id, u"edited"_s);
        store->delete_(store->items().at(1).id);
        store->setTags({u"urgent"_s}, store->items().at(2).id);
        store->move(store->items().at(1), ItemStatus::archived);
        store->append(makeItem(u"f.jpg"_s));
        store->setNote(store->items().last().id, u"new, then edited"_s);
    });
    EXPECT_EQ(fileBytes(crashed() + u"/index.json"_s), folded) << "not the journal-only window";

    ItemStore reopened(crashed(), *m_defaults, m_clock);
    EXPECT_EQ(idsOf(reopened.items()), idsOf(store->items()));
    EXPECT_EQ(reopened.items(), store->items());
    EXPECT_TRUE(QDir(crashed()).entryList({u"*.unreadable-*"_s}, QDir::Files).isEmpty());
}

TEST_F(JournalTest, ALastLineCutShortIsIgnoredAndTheNextLineStartsAfresh)
{
    const ScreenItem kept = makeItem(u"kept.jpg"_s);
    const ScreenItem cut = makeItem(u"cut.jpg"_s);
    storeWith({makeItem(u"a.jpg"_s)})->flush();
    QByteArray lines;
    QByteArray record;
    kept.appendIndentedJson(record);
    IndexJournal::appendPut(lines, record);
    record.clear();
    cut.appendIndentedJson(record);
    IndexJournal::appendPut(lines, record);
    // The power went while the second line was being written.
    writeFile(root() + u"/index.journal"_s, lines.chopped(40));

    auto store = openStore();
    ASSERT_EQ(store->items().size(), 2);
    EXPECT_EQ(store->items().last(), kept);
    crashAfter(*store, [] {});
    const ItemStore reopened(crashed(), *m_defaults, m_clock);
    EXPECT_EQ(reopened.items(), store->items());
    EXPECT_TRUE(QDir(root()).entryList({u"*.unreadable-*"_s}, QDir::Files).isEmpty());
}

TEST_F(JournalTest, AnUnreadableJournalIsKeptAsideAndEveryGoodLineStillLoads)
{
    storeWith({makeItem(u"a.jpg"_s)})->flush();
    const ScreenItem first = makeItem(u"first.jpg"_s);
    const ScreenItem second = makeItem(u"second.jpg"_s);
    QByteArray lines;
    for (const ScreenItem& item : {first, second}) {
        QByteArray record;
        item.appendIndentedJson(record);
        IndexJournal::appendPut(lines, record);
        if (item == first)
            lines += "{\"put\": {\"id\": \"not an id\"}}\n{\"remove\": 7}\nnot json\n";
    }
    writeFile(root() + u"/index.journal"_s, lines);

    auto store = openStore();
    ASSERT_EQ(store->items().size(), 3);
    EXPECT_EQ(store->items().at(1), first);
    EXPECT_EQ(store->items().at(2), second);
    store->flush();
    const QStringList kept = QDir(root()).entryList({u"index.journal.unreadable-*"_s});
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(fileBytes(root() + u'/' + kept.first()), lines);
    EXPECT_FALSE(QFile::exists(store->journalPath()));
    EXPECT_EQ(indexIds(store->indexPath()).size(), 3);
    EXPECT_EQ(openStore()->items(), store->items());
}

TEST_F(JournalTest, TheJournalIsFoldedIntoTheIndexWhenItGrowsWhenIdleAndWhenClosed)
{
    const auto folded = [this](const QStringList& ids) {
        return QTest::qWaitFor(
            [&] {
                return indexIds(root() + u"/index.json"_s) == ids
                    && !QFile::exists(root() + u"/index.journal"_s);
            },
            20000);
    };
    QStringList ids;
    auto store = openStore();
    // Arrivals of 200 KB every few milliseconds: the store is never idle, the journal grows.
    for (int i = 0; i < 40 && indexIds(root() + u"/index.json"_s).isEmpty(); ++i) {
        ScreenItem item = makeItem(u"big%1.jpg"_s.arg(i));
        item.note = QString(200 * 1024, u'n');
        store->append(item);
        ids.append(uuidText(item.id));
        QTest::qWait(20);
    }
    ASSERT_FALSE(indexIds(root() + u"/index.json"_s).isEmpty()) << "never folded as it grew";
    EXPECT_LT(indexIds(root() + u"/index.json"_s).size(), 40);
    store->flush();

    const ScreenItem idle = makeItem(u"idle.jpg"_s);
    store->append(idle);
    ids.append(uuidText(idle.id));
    EXPECT_TRUE(folded(ids)) << "not folded once idle";

    const ScreenItem last = makeItem(u"last.jpg"_s);
    store->append(last);
    ids.append(uuidText(last.id));
    store.reset();
    EXPECT_EQ(indexIds(root() + u"/index.json"_s), ids) << "not folded when closed";
    EXPECT_FALSE(QFile::exists(root() + u"/index.journal"_s));
}

TEST_F(JournalTest, AFoldThatFailsKeepsTheJournalAndTheNextOneTakesItAll)
{
    auto store = storeWith({makeItem(u"a.jpg"_s), makeItem(u"b.jpg"_s)});
    store->flush();
    const QByteArray folded = fileBytes(store->indexPath());
    // Room for a line of the journal, not for the whole index.
    store->setWriteDevice(FailDevice::after(900));
    std::optional<QString> heard = u"not yet"_s;
    store->append(
        makeItem(u"c.jpg"_s), [&](const std::optional<QString>& error) { heard = error; });
    store->flush();
    EXPECT_EQ(heard, std::nullopt);
    EXPECT_EQ(fileBytes(store->indexPath()), folded);
    ASSERT_TRUE(QFile::exists(store->journalPath()));
    copyFolder(root(), crashed());
    EXPECT_EQ(ItemStore(crashed(), *m_defaults, m_clock).items(), store->items());

    store->setWriteDevice({});
    store->flush();
    EXPECT_EQ(indexIds(store->indexPath()).size(), 3);
    EXPECT_FALSE(QFile::exists(store->journalPath()));
}

// Between two folds each kind of change, each on disk in the journal before the next: the index
// a fold writes holds them all, its records written before and a long text alike.
TEST_F(JournalTest, AFoldWritesEveryChangeSinceTheLastOne)
{
    ScreenItem letter = makeItem(u"letter.txt"_s);
    letter.kind = ItemKind::text;
    letter.text = QByteArray(64 * 1024, 'w') + "\n\"end\" \u00e9";
    const ScreenItem edited = makeItem(u"edited.jpg"_s);
    const ScreenItem removed = makeItem(u"removed.jpg"_s);
    auto store = storeWith({edited, removed, letter});
    store->flush();
    const ScreenItem arrived = makeItem(u"arrived.jpg"_s);
    const ScreenItem gone = makeItem(u"gone.jpg"_s);
    const std::function<void()> changes[] {
        [&] { store->setNote(edited.id, u"edited"_s); },
        [&] { store->delete_(removed.id); },
        [&] { store->append(arrived); },
        [&] { store->setNote(arrived.id, u"arrived, then edited"_s); },
        [&] { store->append(gone); },
        [&] { store->delete_(gone.id); },
        [&] { store->setTags({u"kept"_s}, letter.id); },
    };
    for (const auto& change : changes) {
        change();
        bool saved = false;
        store->whenSaved([&saved](const std::optional<QString>&) { saved = true; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return saved; }, 5000));
    }
    store->flush();
    EXPECT_FALSE(QFile::exists(store->journalPath()));
    EXPECT_EQ(ItemStore(root(), *m_defaults, m_clock).items(), store->items());
    EXPECT_EQ(store->items().size(), 3);
}

TEST_F(JournalTest, AnIndexWithoutAJournalLoadsAsEarlierVersionsWroteIt)
{
    writeFile(root() + u"/index.json"_s, R"([
    {
        "acknowledged": false,
        "filename": "a.jpg",
        "id": "1A2B3C4D-0000-4000-8000-000000000001",
        "note": "Shelf 7",
        "receivedAt": "2025-03-01T09:30:00Z",
        "sender": "Ann",
        "status": "inbox"
    }
]
)");
    auto store = openStore();
    ASSERT_EQ(store->items().size(), 1);
    EXPECT_EQ(store->items().first().note, u"Shelf 7"_s);
    EXPECT_FALSE(QFile::exists(store->journalPath()));
    store->flush();
    EXPECT_FALSE(QFile::exists(store->journalPath()));
}
