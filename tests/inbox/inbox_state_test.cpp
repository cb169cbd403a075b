#include "inbox/inbox_state.h"

#include "../store/store_fixture.h"

#include <QSignalSpy>

#include <cmath>

using namespace vesker;
using namespace vesker::test;

namespace {

class InboxStateTest : public StoreTest { };

TEST_F(InboxStateTest, EmptyAreaSaysWhyNothingIsListed)
{
    auto store = openStore();
    InboxState state(*store, *m_defaults);
    const QString status = u"Listening on port 8787"_s;

    EXPECT_EQ(state.emptyState({}, status).description, status) << "no address to offer";
    EXPECT_TRUE(state.emptyState({u"http://10.0.0.2:8787"_s}, status).offersConnect);

    state.setTab(ItemStatus::archived);
    state.setFilter(ItemFilter::tag(u"parcel"_s));
    EXPECT_EQ(state.emptyState({}, status).title, u"No results for \u201cSearch #parcel\u201d"_s);
    state.setSearch(u"abc"_s);
    const EmptyStateContent search = state.emptyState({}, status);
    EXPECT_EQ(search.title, u"No results for \u201cabc\u201d"_s);
    EXPECT_FALSE(search.offersConnect);
}

TEST_F(InboxStateTest, ArrivalHiddenByTabFilterOrSearchResetsThemOnlyOutsideSimpleMode)
{
    auto store = storeWith({makeItem(u"old.jpg"_s, 60, ItemStatus::archived)});
    InboxState state(*store, *m_defaults);
    QSignalSpy arrivals(&state, &InboxState::arrivalRequested);

    state.setTab(ItemStatus::archived);
    state.setSearch(u"old"_s);
    const ScreenItem first = makeItem(u"new.jpg"_s);
    store->append(first);
    EXPECT_EQ(state.tab(), ItemStatus::inbox);
    EXPECT_TRUE(state.search().isEmpty());
    ASSERT_EQ(arrivals.count(), 1);
    EXPECT_EQ(arrivals.last().at(0).toUuid(), first.id);

    // Already shown: nothing the user chose changes.
    state.setSearch(u"ann"_s);
    QSignalSpy changes(&state, &InboxState::changed);
    store->append(makeItem(u"new2.jpg"_s));
    EXPECT_EQ(state.search(), u"ann"_s);
    EXPECT_EQ(changes.count(), 0);

    state.setTab(ItemStatus::archived);
    state.setSimpleMode(true);
    EXPECT_EQ(state.tab(), ItemStatus::inbox) << "simple mode starts on the Inbox";
    state.setTab(ItemStatus::later);
    store->append(makeItem(u"simple.jpg"_s, -10));
    EXPECT_EQ(state.tab(), ItemStatus::later) << "simple mode lists the Inbox whatever the tab";
    EXPECT_EQ(state.listedItems().first().filename, u"simple.jpg"_s);
    EXPECT_EQ(arrivals.count(), 3);
}

TEST_F(InboxStateTest, ItemsSentTogetherAreScrolledToFromTheFirstOfThem)
{
    ScreenItem a = makeItem(u"a.jpg"_s);
    ScreenItem b = makeItem(u"b.jpg"_s);
    auto store = storeWith({makeItem(u"older.jpg"_s, 5), a, b});
    InboxState state(*store, *m_defaults);
    const QUuid firstListed = state.listedItems().first().id;
    EXPECT_EQ(state.scrollTarget(b.id), firstListed);
    EXPECT_EQ(state.scrollTarget(a.id), firstListed);
    EXPECT_EQ(state.scrollTarget(QUuid::createUuid()), std::nullopt);
}

TEST_F(InboxStateTest, CardSpaceFollowsTheAreaAndTheLookSettings)
{
    auto store = openStore();
    InboxState state(*store, *m_defaults);
    EXPECT_EQ(InboxState::availableWidth(1000), 940);
    EXPECT_EQ(state.fitHeight(700), 458);
    EXPECT_EQ(state.fitHeight(400), 200);
    state.setFitToWindow(false);
    EXPECT_EQ(state.fitHeight(700), std::nullopt);
    m_defaults->set(u"photoScale"_s, 7.0);
    EXPECT_EQ(state.photoScale(), 1.0);
    m_defaults->set(u"photoScale"_s, std::nan(""));
    EXPECT_EQ(state.photoScale(), 0.25);
    state.setViewMode(ViewMode::compact);
    state.setSimpleMode(true);
    EXPECT_EQ(state.effectiveViewMode(), ViewMode::large);
    EXPECT_EQ(state.fitHeight(700), 458);
    EXPECT_EQ(state.effectiveScale(), 1.0);
}

} // namespace
