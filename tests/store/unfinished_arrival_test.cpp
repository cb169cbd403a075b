// An arrival is in the store, and on screen, before the index that lists it is on disk; until
// then its file has a name the next start would clear. Whatever is done to the item in that
// time, the file follows it and takes its own name once the index lists the item.
#include "store_fixture.h"

#include "store/store_cleanup.h"

#include <QDirIterator>

using namespace vesker;
using namespace vesker::test;

namespace {

constexpr qint64 kDay = 86400;

// Every file in the store's two folders, as "Inbox/name" or "Archive/name".
QStringList itemFiles(const QString& root)
{
    QStringList files;
    for (const QString& folder : {u"Inbox"_s, u"Archive"_s}) {
        for (const QString& name : QDir(root + u'/' + folder).entryList(QDir::Files | QDir::Hidden))
            files.append(folder + u'/' + name);
    }
    return files;
}

QString relativeTo(const QString& root, const QString& path)
{
    return QDir(root).relativeFilePath(path);
}

} // namespace

TEST_F(StoreTest, AnythingDoneToAnArrivalBeforeItsIndexWriteKeepsItsFile)
{
    using Op = std::function<void(ItemStore&, const ScreenItem&)>;
    const auto edit
        = [](ItemStore& s, const ScreenItem& item) { s.replaceImage(item.id, "edited", u"jpg"_s); };
    const auto cleanUp = [this](const QString& action) {
        return [this, action](ItemStore& s, const ScreenItem&) {
            m_defaults->set(u"cleanupAge"_s, u"oneDay"_s);
            m_defaults->set(u"cleanupAction"_s, action);
            StoreCleanup(s, *m_defaults, m_clock).run();
        };
    };
    const struct {
        const char* name;
        Op op;
        std::optional<ItemStatus> status; // none: removed
        QByteArray content;
        qint64 age = 0;
    } cases[] = {
        {"later", [](ItemStore& s, const ScreenItem& i) { s.move(i, ItemStatus::later); },
            ItemStatus::later, "photo"},
        {"archive", [](ItemStore& s, const ScreenItem& i) { s.archive(i); }, ItemStatus::archived,
            "photo"},
        {"archive and back to Inbox",
            [](ItemStore& s, const ScreenItem& i) {
                s.archive(i);
                s.move(i, ItemStatus::inbox);
            },
            ItemStatus::inbox, "photo"},
        {"delete", [](ItemStore& s, const ScreenItem& i) { s.delete_(i.id); }, std::nullopt, {}},
        {"rotate, crop or replace", edit, ItemStatus::inbox, "edited"},
        {"later, then edited",
            [&](ItemStore& s, const ScreenItem& i) {
                s.move(i, ItemStatus::later);
                edit(s, i);
            },
            ItemStatus::later, "edited"},
        {"archive, then edited",
            [&](ItemStore& s, const ScreenItem& i) {
                s.archive(i);
                edit(s, i);
            },
            ItemStatus::archived, "edited"},
        {"edited, then archive",
            [&](ItemStore& s, const ScreenItem& i) {
                edit(s, i);
                s.archive(i);
            },
            ItemStatus::archived, "edited"},
        {"a cleanup that archives", cleanUp(u"archive"_s), ItemStatus::archived, "photo", 2 * kDay},
        {"a cleanup that deletes", cleanUp(u"delete"_s), std::nullopt, {}, 2 * kDay},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString root = dir.path();
        ScreenItem item = makeItem(u"arrival.jpg"_s, c.age);
        item.kind = ItemKind::photo;
        auto store = std::make_unique<ItemStore>(root, *m_defaults, m_clock);
        writeFile(store->unfinishedFileURL(item), "photo");
        std::optional<QString> saved = u"not told"_s;
        store->appendWithUnfinishedFile(
            item, [&](const std::optional<QString>& error) { saved = error; });
        // Before the main thread is idle again, so before the index write starts.
        c.op(*store, item);
        store->flush();
        EXPECT_EQ(saved, std::nullopt);

        const auto check = [&](const ItemStore& s, const char* when) {
            SCOPED_TRACE(when);
            const std::optional<ScreenItem> stored = s.item(item.id);
            ASSERT_EQ(stored.has_value(), c.status.has_value());
            if (!stored) {
                EXPECT_EQ(itemFiles(root), QStringList {});
                return;
            }
            EXPECT_EQ(stored->status, *c.status);
            const QString path = s.fileURL(*stored);
            EXPECT_FALSE(path.endsWith(ItemStore::kUnfinishedSuffix));
            EXPECT_EQ(fileBytes(path), c.content);
            EXPECT_EQ(itemFiles(root), QStringList {relativeTo(root, path)});
        };
        check(*store, "once the index is written");
        store.reset();
        check(ItemStore(root, *m_defaults, m_clock), "at the next start");
    }
}

// A process ended between the index write that lists an arrival and the renaming of its file
// (killed, or the session ending it) leaves the unfinished file where the item was moved to
// meanwhile, and a record whose status is from before or after that move.
TEST_F(StoreTest, TheNextStartFinishesAnUnfinishedFileWhereverItsRecordSaysItIs)
{
    const struct {
        const char* name;
        std::optional<ItemStatus> recorded; // none: no record lists it
        QString lies;
        QString expected; // empty: removed
    } cases[] = {
        {"Inbox", ItemStatus::inbox, u"Inbox"_s, u"Inbox"_s},
        {"Later", ItemStatus::later, u"Inbox"_s, u"Inbox"_s},
        {"archived", ItemStatus::archived, u"Archive"_s, u"Archive"_s},
        {"archived after the index write", ItemStatus::inbox, u"Archive"_s, u"Inbox"_s},
        {"back to Inbox after the index write", ItemStatus::archived, u"Inbox"_s, u"Archive"_s},
        // Never listed, in Archive: the store's own name, so its own leftover.
        {"2025-03-01_09-30-00-0BADF00D", std::nullopt, u"Archive"_s, {}},
    };
    QList<ScreenItem> listed;
    for (const auto& c : cases) {
        if (c.recorded)
            listed.append(makeItem(QString::fromLatin1(c.name) + u".jpg"_s, 0, *c.recorded));
    }
    storeWith(listed).reset();
    for (const auto& c : cases) {
        const QString name = QString::fromLatin1(c.name) + u".jpg"_s;
        QFile::remove(inbox(name));
        QFile::remove(archive(name));
        writeFile(root() + u'/' + c.lies + u'/' + name + ItemStore::kUnfinishedSuffix, "photo");
    }

    auto store = openStore();
    QStringList expected;
    for (const auto& c : cases) {
        if (!c.expected.isEmpty())
            expected.append(c.expected + u'/' + QString::fromLatin1(c.name) + u".jpg"_s);
    }
    QStringList files = itemFiles(root());
    std::sort(files.begin(), files.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(files, expected);
    for (const ScreenItem& item : store->items())
        EXPECT_EQ(fileBytes(store->fileURL(item)), "photo") << item.filename.toStdString();
}
