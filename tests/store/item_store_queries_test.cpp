#include "store_fixture.h"

using namespace vesker;
using namespace vesker::test;

TEST_F(StoreTest, FilterAndSearchNarrowNewestFirstByDisplayNameTagAndText)
{
    ScreenItem mum = makeItem(u"1.jpg"_s, 3);
    mum.sender = u"mum"_s;
    mum.tags = {u"Receipts"_s};
    mum.note = u"Hauptstraße 1"_s;
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

    const struct {
        const char* name;
        ItemFilter filter;
        QString search;
        QList<QUuid> expected;
    } rows[] = {
        {"all", ItemFilter::all(), {}, {bob.id, mumPhone.id, mum.id}},
        {"sender by display name", ItemFilter::sender(u"Mother"_s), {}, {mumPhone.id, mum.id}},
        {"raw name of an aliased sender", ItemFilter::sender(u"mum"_s), {}, {}},
        {"tag ignoring case", ItemFilter::tag(u"RECEIPTS"_s), {}, {bob.id, mum.id}},
        {"search by alias", ItemFilter::all(), u"moth"_s, {mumPhone.id, mum.id}},
        {"search by barcode", ItemFilter::all(), u"400638"_s, {mumPhone.id}},
        {"search by full case folding", ItemFilter::all(), u"STRASSE"_s, {mum.id}},
        {"blank search", ItemFilter::all(), u" \n "_s, {bob.id, mumPhone.id, mum.id}},
        {"filter then search", ItemFilter::tag(u"receipts"_s), u"bob"_s, {bob.id}},
    };
    for (const auto& row : rows) {
        QList<QUuid> ids;
        for (const ScreenItem& item : store->items(ItemStatus::inbox, row.filter, row.search))
            ids.append(item.id);
        EXPECT_EQ(ids, row.expected) << row.name;
    }
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
    EXPECT_EQ(store->senders(),
        (QList<SenderEntry> {{u"Ann"_s, {u"Ann's phone"_s, u"Ann laptop"_s}, 3},
            {u"Bob"_s, {u"Bob"_s}, 1}, {QString(), {QString()}, 1}}));

    // Renaming the merged sender renames every raw name; a blank name removes the alias.
    store->renameSender(u"Ann"_s, u"Anna"_s);
    EXPECT_EQ(ItemStore::displayName(u"Ann laptop"_s, *m_defaults), u"Anna"_s);
    store->renameSender(u"Anna"_s, u" \t"_s);
    store->setAlias(u"Robert"_s, u"Bob"_s);
    store->setAlias(u" Bob "_s, u"Bob"_s);
    EXPECT_TRUE(m_defaults->stringMap(u"senderAliases"_s).isEmpty());
}

TEST_F(StoreTest, TagsAreCountedByExactTextAndSortedIgnoringCase)
{
    QList<ScreenItem> items {
        makeItem(u"1.jpg"_s), makeItem(u"2.jpg"_s, 0, ItemStatus::archived), makeItem(u"3.jpg"_s)};
    items[0].tags = {u"zebra"_s, u"apple"_s};
    items[1].tags = {u"apple"_s, u"Mango"_s};
    items[2].tags = {u"Apple"_s};
    EXPECT_EQ(storeWith(items)->tags(),
        (QList<TagEntry> {{u"Apple"_s, 1}, {u"apple"_s, 2}, {u"Mango"_s, 1}, {u"zebra"_s, 1}}));
}
