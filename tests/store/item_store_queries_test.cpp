#include "store_fixture.h"

#include <QSignalSpy>

using namespace vesker;
using namespace vesker::test;

namespace {

QList<QUuid> idsOf(const QList<ScreenItem>& items)
{
    QList<QUuid> ids;
    for (const ScreenItem& item : items)
        ids.append(item.id);
    return ids;
}

} // namespace

TEST_F(StoreTest, FilterAndSearchNarrowNewestFirstByDisplayNameTagAndText)
{
    ScreenItem mum = makeItem(u"1.jpg"_s, 3);
    mum.sender = u"mum"_s;
    mum.tags = {u"Receipts"_s};
    ScreenItem mumPhone = makeItem(u"2.jpg"_s, 2);
    mumPhone.sender = u"Mum's iPhone"_s;
    mumPhone.barcodes = {u"EAN-13 4006381333931"_s};
    ScreenItem bob = makeItem(u"3.jpg"_s, 1);
    bob.sender = u"Bob"_s;
    bob.tags = {u"receipts"_s};
    auto store = storeWith({mum, mumPhone, bob, makeItem(u"4.jpg"_s, 0, ItemStatus::later)});
    store->setAlias(u" Mother "_s, u"mum"_s);
    store->setAlias(u"Mother"_s, u"Mum's iPhone"_s);
    EXPECT_EQ(store->count(ItemStatus::inbox), 3);
    EXPECT_EQ(store->count(ItemStatus::later), 1);
    EXPECT_EQ(store->count(ItemStatus::archived), 0);

    struct Row {
        const char* name;
        ItemFilter filter;
        QString search;
        QList<QUuid> expected;
    };
    const Row rows[] = {
        {"all", ItemFilter::all(), {}, {bob.id, mumPhone.id, mum.id}},
        {"sender by display name", ItemFilter::sender(u"Mother"_s), {}, {mumPhone.id, mum.id}},
        {"raw name of an aliased sender", ItemFilter::sender(u"mum"_s), {}, {}},
        {"tag ignoring case", ItemFilter::tag(u"RECEIPTS"_s), {}, {bob.id, mum.id}},
        {"search by alias", ItemFilter::all(), u"moth"_s, {mumPhone.id, mum.id}},
        {"search by barcode", ItemFilter::all(), u"400638"_s, {mumPhone.id}},
        {"filter then search", ItemFilter::tag(u"receipts"_s), u"bob"_s, {bob.id}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(idsOf(store->items(ItemStatus::inbox, row.filter, row.search)), row.expected)
            << row.name;
}

TEST_F(StoreTest, SendersGroupRawNamesUnderTheirAliasNewestFirstUntilTheAliasGoes)
{
    QList<ScreenItem> items;
    const std::pair<const char*, int> sent[]
        = {{"Ann's phone", 50}, {"Bob", 40}, {"Ann laptop", 30}, {"", 60}, {"Ann's phone", 20}};
    for (const auto& [sender, age] : sent) {
        items.append(makeItem(
            u"%1.jpg"_s.arg(age), age, age == 40 ? ItemStatus::archived : ItemStatus::inbox));
        items.last().sender = QString::fromUtf8(sender);
    }
    auto store = storeWith(items);

    store->renameSender(u"Ann's phone"_s, u" Ann "_s);
    store->setAlias(u"Ann"_s, u"Ann laptop"_s);
    const QList<SenderEntry> expected {
        {u"Ann"_s, {u"Ann's phone"_s, u"Ann laptop"_s}, 3},
        {u"Bob"_s, {u"Bob"_s}, 1},
        {QString(), {QString()}, 1},
    };
    EXPECT_EQ(store->senders(), expected);
    EXPECT_EQ(store->senderSummary(u"Ann"_s), expected.first().rawNames);
    EXPECT_EQ(store->senderSummary(u"Nobody"_s), QStringList {u"Nobody"_s});

    EXPECT_EQ(ItemStore::displayName(u"ann laptop"_s, *m_defaults), u"ann laptop"_s)
        << "exact match";

    // Renaming the merged sender renames every raw name; blanks or the raw name itself remove it.
    store->renameSender(u"Ann"_s, u"Anna"_s);
    EXPECT_EQ(ItemStore::displayName(u"Ann laptop"_s, *m_defaults), u"Anna"_s);
    store->renameSender(u"Anna"_s, u" \t"_s);
    QSignalSpy changes(store.get(), &ItemStore::changed);
    store->setAlias(u"Robert"_s, u"Bob"_s);
    store->setAlias(u" Bob "_s, u"Bob"_s);
    EXPECT_EQ(changes.count(), 2);
    EXPECT_TRUE(m_defaults->stringMap(u"senderAliases"_s).isEmpty());
    EXPECT_EQ(store->senders().size(), 4);
}

TEST_F(StoreTest, TagsAreCountedByExactTextAndSortedIgnoringCase)
{
    QList<ScreenItem> items {
        makeItem(u"1.jpg"_s), makeItem(u"2.jpg"_s, 0, ItemStatus::archived), makeItem(u"3.jpg"_s)};
    items[0].tags = {u"zebra"_s, u"Apple"_s};
    items[1].tags = {u"apple"_s, u"Mango"_s};
    items[2].tags = {u"Apple"_s};
    const QList<TagEntry> tags = storeWith(items)->tags();
    ASSERT_EQ(tags.size(), 4);
    EXPECT_EQ(tags.at(0).tag.toLower() + tags.at(1).tag.toLower(), u"appleapple"_s);
    EXPECT_EQ(tags.at(0).count + tags.at(1).count, 3);
    EXPECT_EQ(tags.at(2), (TagEntry {u"Mango"_s, 1}));
    EXPECT_EQ(tags.at(3), (TagEntry {u"zebra"_s, 1}));
}

TEST_F(StoreTest, ArrivalModeIsLookedUpByTheLowerCasedRawName)
{
    auto store = openStore();
    m_defaults->setStringMap(u"senderArrival"_s, {{u"mum"_s, u"quiet"_s}, {u"bob"_s, u"Quiet"_s}});
    EXPECT_EQ(store->arrivalMode(u"MUM"_s), SenderArrival::quiet);
    EXPECT_EQ(store->arrivalMode(u"Mum "_s), SenderArrival::normal);
    EXPECT_EQ(store->arrivalMode(u"bob"_s), SenderArrival::normal);
    EXPECT_EQ(store->arrivalMode(u"ann"_s), SenderArrival::normal);
}
