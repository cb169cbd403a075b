#include "store_fixture.h"

#include "store/item_queries.h"
#include "store/senders.h"

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
    Senders senders(*store, *m_defaults);
    senders.setAlias(u" Mother "_s, u"mum"_s);
    senders.setAlias(u"Mother"_s, u"Mum's iPhone"_s);
    EXPECT_EQ(countIn(store->items(), ItemStatus::inbox), 3);

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
        for (const ScreenItem& item :
            itemsIn(store->items(), ItemStatus::inbox, row.filter, row.search, *m_defaults))
            ids.append(item.id);
        EXPECT_EQ(ids, row.expected) << row.name;
    }
}

TEST_F(StoreTest, TagsAreCountedByExactTextAndSortedIgnoringCase)
{
    QList<ScreenItem> items {
        makeItem(u"1.jpg"_s), makeItem(u"2.jpg"_s, 0, ItemStatus::archived), makeItem(u"3.jpg"_s)};
    items[0].tags = {u"zebra"_s, u"apple"_s};
    items[1].tags = {u"apple"_s, u"Mango"_s};
    items[2].tags = {u"Apple"_s};
    EXPECT_EQ(tagsOf(items),
        (QList<TagEntry> {{u"Apple"_s, 1}, {u"apple"_s, 2}, {u"Mango"_s, 1}, {u"zebra"_s, 1}}));
}
