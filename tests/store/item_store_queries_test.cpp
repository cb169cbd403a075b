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

TEST_F(StoreTest, ListsAreNewestFirstWithTiesInStoredOrder)
{
    ScreenItem old = makeItem(QStringLiteral("o.jpg"), 60);
    ScreenItem tieA = makeItem(QStringLiteral("a.jpg"), 10);
    ScreenItem tieB = makeItem(QStringLiteral("b.jpg"), 10);
    ScreenItem later = makeItem(QStringLiteral("l.jpg"), 0, ItemStatus::later);
    auto store = storeWith({old, tieA, tieB, later});
    EXPECT_EQ(idsOf(store->items(ItemStatus::inbox)), (QList<QUuid> {tieA.id, tieB.id, old.id}));
    EXPECT_EQ(store->count(ItemStatus::inbox), 3);
    EXPECT_EQ(store->count(ItemStatus::later), 1);
    EXPECT_EQ(store->count(ItemStatus::archived), 0);
}

TEST_F(StoreTest, FilterAndSearchNarrowByDisplayNameTagAndText)
{
    ScreenItem mum = makeItem(QStringLiteral("1.jpg"), 3);
    mum.sender = QStringLiteral("mum");
    mum.tags = {QStringLiteral("Receipts")};
    ScreenItem mumPhone = makeItem(QStringLiteral("2.jpg"), 2);
    mumPhone.sender = QStringLiteral("Mum's iPhone");
    mumPhone.barcodes = {QStringLiteral("EAN-13 4006381333931")};
    ScreenItem bob = makeItem(QStringLiteral("3.jpg"), 1);
    bob.sender = QStringLiteral("Bob");
    bob.tags = {QStringLiteral("receipts")};
    auto store = storeWith({mum, mumPhone, bob});
    store->setAlias(QStringLiteral(" Mother "), QStringLiteral("mum"));
    store->setAlias(QStringLiteral("Mother"), QStringLiteral("Mum's iPhone"));

    struct Row {
        const char* name;
        ItemFilter filter;
        QString search;
        QList<QUuid> expected;
    };
    const Row rows[] = {
        {"all", ItemFilter::all(), {}, {bob.id, mumPhone.id, mum.id}},
        {"sender by display name", ItemFilter::sender(QStringLiteral("Mother")), {},
            {mumPhone.id, mum.id}},
        {"raw name of an aliased sender", ItemFilter::sender(QStringLiteral("mum")), {}, {}},
        {"tag ignoring case", ItemFilter::tag(QStringLiteral("RECEIPTS")), {}, {bob.id, mum.id}},
        {"search by alias", ItemFilter::all(), QStringLiteral("moth"), {mumPhone.id, mum.id}},
        {"search by barcode", ItemFilter::all(), QStringLiteral("400638"), {mumPhone.id}},
        {"filter then search", ItemFilter::tag(QStringLiteral("receipts")), QStringLiteral("bob"),
            {bob.id}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(idsOf(store->items(ItemStatus::inbox, row.filter, row.search)), row.expected)
            << row.name;
}

TEST_F(StoreTest, SendersGroupRawNamesUnderTheirAliasNewestFirst)
{
    ScreenItem a1 = makeItem(QStringLiteral("1.jpg"), 50);
    a1.sender = QStringLiteral("Ann's phone");
    ScreenItem b = makeItem(QStringLiteral("2.jpg"), 40, ItemStatus::archived);
    b.sender = QStringLiteral("Bob");
    ScreenItem a2 = makeItem(QStringLiteral("3.jpg"), 30, ItemStatus::later);
    a2.sender = QStringLiteral("Ann laptop");
    ScreenItem anonymous = makeItem(QStringLiteral("4.jpg"), 60);
    anonymous.sender = QString();
    ScreenItem a3 = makeItem(QStringLiteral("5.jpg"), 20);
    a3.sender = QStringLiteral("Ann's phone");
    auto store = storeWith({a1, b, a2, anonymous, a3});

    store->renameSender(QStringLiteral("Ann's phone"), QStringLiteral(" Ann "));
    store->setAlias(QStringLiteral("Ann"), QStringLiteral("Ann laptop"));
    const QList<SenderEntry> senders = store->senders();
    const QList<SenderEntry> expected {
        {QStringLiteral("Ann"), {QStringLiteral("Ann's phone"), QStringLiteral("Ann laptop")}, 3},
        {QStringLiteral("Bob"), {QStringLiteral("Bob")}, 1},
        {QString(), {QString()}, 1},
    };
    EXPECT_EQ(senders, expected);
    EXPECT_EQ(store->senderSummary(QStringLiteral("Ann")), expected.first().rawNames);
    EXPECT_EQ(
        store->senderSummary(QStringLiteral("Nobody")), QStringList {QStringLiteral("Nobody")});

    // Renaming the merged sender renames every raw name; clearing splits them again.
    store->renameSender(QStringLiteral("Ann"), QStringLiteral("Anna"));
    EXPECT_EQ(store->displayName(QStringLiteral("Ann laptop")), QStringLiteral("Anna"));
    store->renameSender(QStringLiteral("Anna"), QStringLiteral("  "));
    EXPECT_EQ(store->senders().size(), 4);
}

TEST_F(StoreTest, AnAliasOfBlanksOrOfTheRawNameRemovesIt)
{
    auto store = openStore();
    QSignalSpy changes(store.get(), &ItemStore::changed);
    store->setAlias(QStringLiteral("Mother"), QStringLiteral("mum"));
    EXPECT_EQ(store->displayName(QStringLiteral("mum")), QStringLiteral("Mother"));
    EXPECT_EQ(store->displayName(QStringLiteral("Mum")), QStringLiteral("Mum")) << "exact match";
    store->setAlias(QStringLiteral(" \t"), QStringLiteral("mum"));
    EXPECT_EQ(store->displayName(QStringLiteral("mum")), QStringLiteral("mum"));
    store->setAlias(QStringLiteral("Mother"), QStringLiteral("mum"));
    store->setAlias(QStringLiteral(" mum "), QStringLiteral("mum"));
    EXPECT_TRUE(m_defaults->stringMap(QStringLiteral("senderAliases")).isEmpty());
    EXPECT_EQ(changes.count(), 4);

    // An alias map spoiled by hand (a value that is not text) reads as no aliases at all.
    m_defaults->set(QStringLiteral("senderAliases"),
        QJsonObject {
            {QStringLiteral("mum"), QStringLiteral("Mother")}, {QStringLiteral("dad"), 3}});
    EXPECT_EQ(store->displayName(QStringLiteral("mum")), QStringLiteral("mum"));
}

TEST_F(StoreTest, TagsAreCountedByExactTextAndSortedIgnoringCase)
{
    ScreenItem a = makeItem(QStringLiteral("1.jpg"));
    a.tags = {QStringLiteral("zebra"), QStringLiteral("Apple")};
    ScreenItem b = makeItem(QStringLiteral("2.jpg"), 0, ItemStatus::archived);
    b.tags = {QStringLiteral("apple"), QStringLiteral("Mango")};
    ScreenItem c = makeItem(QStringLiteral("3.jpg"));
    c.tags = {QStringLiteral("Apple")};
    auto store = storeWith({a, b, c});
    const QList<TagEntry> tags = store->tags();
    ASSERT_EQ(tags.size(), 4);
    EXPECT_EQ(tags.at(0).tag.toLower(), QStringLiteral("apple"));
    EXPECT_EQ(tags.at(1).tag.toLower(), QStringLiteral("apple"));
    EXPECT_EQ(tags.at(0).count + tags.at(1).count, 3);
    EXPECT_EQ(tags.at(2), (TagEntry {QStringLiteral("Mango"), 1}));
    EXPECT_EQ(tags.at(3), (TagEntry {QStringLiteral("zebra"), 1}));
}

TEST_F(StoreTest, ArrivalModeIsLookedUpByTheLowerCasedRawName)
{
    auto store = openStore();
    m_defaults->setStringMap(QStringLiteral("senderArrival"),
        {{QStringLiteral("mum"), QStringLiteral("quiet")},
            {QStringLiteral("bob"), QStringLiteral("Quiet")}});
    EXPECT_EQ(store->arrivalMode(QStringLiteral("Mum")), SenderArrival::quiet);
    EXPECT_EQ(store->arrivalMode(QStringLiteral("MUM")), SenderArrival::quiet);
    EXPECT_EQ(store->arrivalMode(QStringLiteral("Mum ")), SenderArrival::normal);
    EXPECT_EQ(store->arrivalMode(QStringLiteral("bob")), SenderArrival::normal);
    EXPECT_EQ(store->arrivalMode(QStringLiteral("ann")), SenderArrival::normal);
}
