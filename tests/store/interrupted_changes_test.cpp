// What a start makes of the store's folders after the program died in the middle of a change, and
// of files in them that are not the store's own.
#include "store_fixture.h"

#include <QDirIterator>
#include <QTest>

#include <functional>

namespace vesker::test {

namespace {

// Every file under `root`'s item folders, by path inside the root, with its bytes.
QMap<QString, QByteArray> itemFiles(const QString& root)
{
    QMap<QString, QByteArray> files;
    for (const QString& folder : {u"Inbox"_s, u"Archive"_s}) {
        QDirIterator it(root + u'/' + folder, QDir::Files | QDir::Hidden);
        while (it.hasNext()) {
            const QString path = it.next();
            files.insert(folder + u'/' + it.fileName(), fileBytes(path));
        }
    }
    return files;
}

void copyTree(const QString& from, const QString& to)
{
    QDirIterator it(from, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + path.mid(from.size());
        QDir().mkpath(QFileInfo(target).path());
        ASSERT_TRUE(QFile::copy(path, target)) << path.toStdString();
    }
}

} // namespace

class InterruptedChangeTest : public StoreTest {
protected:
    // A copy of the store's files in `from`, with index.json and index.journal as they are in
    // `indexFrom`: the folders of a program killed before or after its index write.
    QString crashedCopy(const QString& from, const QString& indexFrom, const QString& name)
    {
        const QString copy = m_dir.filePath(name);
        copyTree(from, copy);
        for (const QString& file : {u"index.json"_s, u"index.journal"_s}) {
            QFile::remove(copy + u'/' + file);
            if (QFile::exists(indexFrom + u'/' + file)) {
                EXPECT_TRUE(QFile::copy(indexFrom + u'/' + file, copy + u'/' + file));
            }
        }
        return copy;
    }

    // Each record names a file that exists, and each file is named by a record; the files'
    // bytes by the record's id.
    QMap<QUuid, QByteArray> settled(const QString& copy)
    {
        ItemStore store(copy, *m_defaults, m_clock);
        QMap<QUuid, QByteArray> contents;
        QSet<QString> named;
        for (const ScreenItem& item : store.items()) {
            const QString path = store.fileURL(item);
            EXPECT_TRUE(QFile::exists(path)) << "no file for " << item.filename.toStdString();
            named.insert(path.mid(copy.size() + 1));
            contents.insert(item.id, fileBytes(path));
        }
        store.flush();
        for (const QString& file : itemFiles(copy).keys())
            EXPECT_TRUE(named.contains(file)) << "no record names " << file.toStdString();
        return contents;
    }
};

TEST_F(InterruptedChangeTest, AChangeCutOffAtAnyStepLeavesEveryRecordWithItsFileAndNoFileAlone)
{
    struct Case {
        const char* name;
        std::function<void(ItemStore&, const ScreenItem& photo, const ScreenItem& archived)> change;
    };
    const Case cases[] {
        {"archive",
            [](ItemStore& s, const ScreenItem& p, const ScreenItem&) {
                s.move(p, ItemStatus::archived);
            }},
        {"back to the inbox",
            [](ItemStore& s, const ScreenItem&, const ScreenItem& a) {
                s.move(a, ItemStatus::later);
            }},
        {"rotate",
            [](ItemStore& s, const ScreenItem& p, const ScreenItem&) {
                s.replaceImage(p.id, "rotated", u"jpg"_s);
            }},
        {"crop twice, then archive",
            [this](ItemStore& s, const ScreenItem& p, const ScreenItem&) {
                s.replaceImage(p.id, "cropped", u"png"_s);
                m_clock.advance(2);
                s.replaceImage(p.id, "cropped again", u"jpg"_s);
                s.move(p, ItemStatus::archived);
            }},
        {"delete",
            [](ItemStore& s, const ScreenItem& p, const ScreenItem& a) {
                s.delete_(p.id);
                s.removeWithGotIt(a.id);
            }},
        {"archive, then delete",
            [](ItemStore& s, const ScreenItem& p, const ScreenItem&) {
                s.move(p, ItemStatus::archived);
                s.delete_(p.id);
            }},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScreenItem photo = makeItem({});
        photo.filename = ItemStore::storedFileName(m_clock.now(), photo.id, u"jpg"_s);
        ScreenItem archived = makeItem({}, 0, ItemStatus::archived);
        archived.filename = ItemStore::storedFileName(m_clock.now(), archived.id, u"txt"_s);
        archived.kind = ItemKind::text;
        QDir(root()).removeRecursively();
        const QString before = m_dir.filePath(u"before-%1"_s.arg(round));
        const QString unwritten = m_dir.filePath(u"unwritten-%1"_s.arg(round));
        {
            auto store = storeWith({photo, archived});
            store->flush();
            copyTree(root(), before);
            c.change(*store, photo, archived);
            // The folders as the change left them before its record was written, with the
            // index from before it and from after it.
            copyTree(root(), unwritten);
            store->flush();
            const QString cutBefore = crashedCopy(unwritten, before, u"cut-before-%1"_s.arg(round));
            const QString cutAfter = crashedCopy(unwritten, root(), u"cut-after-%1"_s.arg(round));

            const auto beforeContents = settled(cutBefore);
            EXPECT_EQ(beforeContents.value(photo.id), photo.filename.toUtf8());
            EXPECT_EQ(beforeContents.value(archived.id), archived.filename.toUtf8());
            EXPECT_EQ(settled(cutAfter), settled(root()));
        }
        ++round;
    }
}

TEST_F(InterruptedChangeTest, AStartRemovesOnlyTheStoresOwnLeftoversAndGivesListedOnesTheirName)
{
    const QString listedName
        = ItemStore::storedFileName(m_clock.now(), QUuid::createUuid(), u"jpg"_s);
    const QString cutOff = ItemStore::storedFileName(m_clock.now(), QUuid::createUuid(), u"jpg"_s);
    {
        auto store = storeWith({makeItem(listedName)});
    }
    QFile::rename(inbox(listedName), inbox(listedName + u".unfinished"_s));
    const QMap<QString, QByteArray> own {
        {u"party.new-year.jpg"_s, "party"},
        {u"notes.unfinished"_s, "notes"},
        {u"draft.removed"_s, "draft"},
        {u"holiday.jpg.new-abc123"_s, "holiday"},
        {u"index.json.new-xyz"_s, "hers"},
    };
    for (auto it = own.begin(); it != own.end(); ++it)
        writeFile(inbox(it.key()), it.value());
    writeFile(archive(cutOff + u".unfinished"_s), "cut off");
    writeFile(inbox(cutOff + u".new-k3j9zz"_s), "half written");
    writeFile(inbox(cutOff + u".removed"_s), "deleted");
    writeFile(root() + u"/index.json.new-4fz0"_s, "half an index");

    auto store = openStore();
    store->flush();
    QMap<QString, QByteArray> expected;
    for (auto it = own.begin(); it != own.end(); ++it)
        expected.insert(u"Inbox/"_s + it.key(), it.value());
    expected.insert(u"Inbox/"_s + listedName, listedName.toUtf8());
    EXPECT_EQ(itemFiles(root()), expected);
    EXPECT_FALSE(QFile::exists(root() + u"/index.json.new-4fz0"_s));
}

TEST_F(InterruptedChangeTest, AnArrivalStillUnfinishedIsKeptWhenTheIndexIsDamaged)
{
    const QString name = ItemStore::storedFileName(m_clock.now(), QUuid::createUuid(), u"jpg"_s);
    writeFile(inbox(name + u".unfinished"_s), "photo");
    writeFile(root() + u"/index.json"_s, "[{\"id\": ");

    auto store = openStore();
    store->flush();
    EXPECT_EQ(fileBytes(inbox(name)), "photo");
}

TEST_F(InterruptedChangeTest, AFileOfTheStoreThatCannotBeReadLeavesTheStoreAsItIsAndRefusesArrivals)
{
    for (const QString& name : {u"index.json"_s, u"index.journal"_s, u"acks.json"_s}) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_TRUE(QDir(root()).removeRecursively());
        const ScreenItem kept = makeItem(u"kept.jpg"_s, 0, ItemStatus::inbox, u"phone-1"_s);
        const ScreenItem journaled = makeItem(u"journaled.jpg"_s);
        {
            auto store = storeWith({kept});
            store->acknowledge(kept.id, u"gotit"_s);
        }
        // A change not yet folded into the index, as a program that ended abruptly leaves it.
        QByteArray record;
        journaled.appendIndentedJson(record);
        QByteArray journalLines;
        IndexJournal::appendPut(journalLines, record);
        writeFile(inbox(journaled.filename), "journaled");
        writeFile(root() + u"/index.journal"_s, journalLines);

        const QString path = root() + u'/' + name;
        const QString held = m_dir.filePath(name);
        ASSERT_TRUE(QFile::rename(path, held));
        // A folder in its place: reading it fails as a permission would, also for root.
        ASSERT_TRUE(QDir().mkpath(path));
        writeFile(inbox(u"x.jpg.unfinished"_s), "x");
        const QStringList rootBefore
            = QDir(root()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        const auto filesBefore = itemFiles(root());

        auto store = openStore();
        ASSERT_TRUE(store->readProblem().has_value());
        EXPECT_TRUE(store->readProblem()->contains(name)) << store->readProblem()->toStdString();
        EXPECT_TRUE(store->items().isEmpty());
        EXPECT_EQ(store->countIn(ItemStatus::inbox), 0);
        const ScreenItem arrival = makeItem(u"new.jpg"_s);
        writeFile(store->unfinishedFileURL(arrival), "new");
        std::optional<std::optional<QString>> heard;
        store->appendWithUnfinishedFile(arrival, [&](const auto& error) { heard = error; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return heard.has_value(); }, 20000));
        ASSERT_TRUE(heard->has_value());
        EXPECT_TRUE((*heard)->contains(name)) << (*heard)->toStdString();
        store->flush();
        EXPECT_EQ(QDir(root()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            rootBefore);
        EXPECT_TRUE(QFileInfo(path).isDir());
        EXPECT_EQ(itemFiles(root()), filesBefore);

        // Readable again: the next arrival finds every earlier item and acknowledgement.
        ASSERT_TRUE(QDir(path).removeRecursively());
        ASSERT_TRUE(QFile::rename(held, path));
        heard.reset();
        writeFile(store->unfinishedFileURL(arrival), "new");
        store->appendWithUnfinishedFile(arrival, [&](const auto& error) { heard = error; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return heard.has_value(); }, 20000));
        EXPECT_FALSE(heard->has_value());
        EXPECT_FALSE(store->readProblem().has_value());
        EXPECT_EQ(fileBytes(inbox(arrival.filename)), "new");
        store.reset();
        const auto reopened = openStore();
        for (const ScreenItem& item : {kept, journaled, arrival})
            EXPECT_TRUE(reopened->item(item.id).has_value()) << item.filename.toStdString();
        EXPECT_EQ(reopened->acks().value(u"phone-1"_s), QStringList {uuidText(kept.id)});
    }
}

} // namespace vesker::test
