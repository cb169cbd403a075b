#include "inbox/inbox_bar_view.h"
#include "inbox/inbox_state.h"
#include "receive/controller_fixture.h"
#include "store/item_queries.h"

#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace vesker;
using namespace vesker::test;
using namespace Qt::Literals::StringLiterals;

namespace {

class InboxBarViewTest : public ControllerTest {
protected:
    std::unique_ptr<ServerController> m_controller = makeController();
    InboxState m_state {m_store, m_defaults};
    InboxBarView m_bar {m_state, *m_controller};

    ScreenItem addText(const QString& text)
    {
        const ScreenItem item {.id = QUuid::createUuid(),
            .receivedAt = QDateTime::currentDateTimeUtc(),
            .kind = ItemKind::text,
            .text = text.toUtf8()};
        m_store.append(item);
        return item;
    }
    template <typename T> T* find(const QString& name) const { return m_bar.findChild<T*>(name); }
    QStringList tabTitles() const
    {
        QStringList titles;
        for (const char* name : {"tabInbox", "tabLater", "tabArchive"})
            titles.append(find<QToolButton>(QString::fromLatin1(name))->text());
        return titles;
    }
    bool shown(const QString& name) const
    {
        const QWidget* widget = find<QWidget>(name);
        return widget && widget->isVisibleTo(&m_bar);
    }
};

} // namespace

TEST_F(InboxBarViewTest, CountsFollowTheStore)
{
    const ScreenItem first = addText(u"one"_s);
    addText(u"two"_s);
    EXPECT_EQ(tabTitles(), QStringList({u"Inbox (2)"_s, u"Later (0)"_s, u"Archive (0)"_s}));

    m_bar.setSpeedReviewAvailable(true);
    find<QToolButton>(u"tabArchive"_s)->click();
    EXPECT_EQ(m_state.tab(), ItemStatus::archived);
    EXPECT_FALSE(shown(u"speedReviewButton"_s)) << "nothing archived to review";
    m_store.archive(first);
    EXPECT_EQ(tabTitles(), QStringList({u"Inbox (1)"_s, u"Later (0)"_s, u"Archive (1)"_s}));
    EXPECT_TRUE(shown(u"speedReviewButton"_s));
    m_state.setTab(ItemStatus::inbox);
    EXPECT_FALSE(shown(u"speedReviewButton"_s));

    m_state.setSimpleMode(true);
    EXPECT_TRUE(shown(u"simpleBar"_s));
    EXPECT_EQ(find<QLabel>(u"inboxBadge"_s)->text(), u"1"_s);
    EXPECT_TRUE(shown(u"inboxBadge"_s));
    m_store.archive(itemsIn(m_store.items(), ItemStatus::inbox).value(0));
    EXPECT_FALSE(shown(u"inboxBadge"_s)) << "no badge at 0";
}

TEST_F(InboxBarViewTest, NarrowingDropsPhotoControlsThenTitles)
{
    struct Row {
        int width;
        int variant;
        bool photoControls;
        Qt::ToolButtonStyle connect;
    };
    m_state.setViewMode(ViewMode::large);
    m_bar.show();
    for (const Row& row : {Row {1400, 1, true, Qt::ToolButtonTextBesideIcon},
             Row {900, 2, false, Qt::ToolButtonTextBesideIcon},
             Row {600, 3, false, Qt::ToolButtonIconOnly}}) {
        m_bar.resize(row.width, 40);
        EXPECT_EQ(m_bar.variant(), row.variant) << row.width;
        EXPECT_EQ(shown(u"photoScaleSlider"_s), row.photoControls) << row.width;
        const auto* connect = find<QToolButton>(u"connectButton"_s);
        EXPECT_EQ(connect->toolButtonStyle(), row.connect) << row.width;
        EXPECT_EQ(connect->accessibleName(), u"Connect"_s) << "still named for screen readers";
    }
    m_bar.resize(1400, 40);
    m_state.setViewMode(ViewMode::compact);
    EXPECT_FALSE(shown(u"photoScaleSlider"_s)) << "photo size means nothing for compact cards";
}

TEST_F(InboxBarViewTest, ACountThatBringsAButtonNarrowsABarThatJustFitted)
{
    const ScreenItem item = addText(u"item"_s);
    m_bar.setSpeedReviewAvailable(true);
    m_state.setTab(ItemStatus::archived);
    m_state.setViewMode(ViewMode::large);
    m_bar.show();
    ASSERT_FALSE(shown(u"speedReviewButton"_s));
    // The narrowest width at which the widest form fits without Speed Review.
    int narrow = 300;
    int wide = 4000;
    m_bar.resize(wide, 40);
    ASSERT_EQ(m_bar.variant(), 1);
    while (wide - narrow > 1) {
        const int middle = (narrow + wide) / 2;
        m_bar.resize(middle, 40);
        (m_bar.variant() == 1 ? wide : narrow) = middle;
    }
    m_bar.resize(wide, 40);
    ASSERT_EQ(m_bar.variant(), 1);

    m_store.archive(item);
    ASSERT_TRUE(shown(u"speedReviewButton"_s));
    EXPECT_EQ(m_bar.variant(), 2) << "Speed Review no longer fits beside the photo controls";
    EXPECT_FALSE(shown(u"photoScaleSlider"_s));
}

TEST_F(InboxBarViewTest, SearchFieldWritesTheStateAndFollowsIt)
{
    auto* field = find<QLineEdit>(u"searchField"_s);
    EXPECT_FALSE(shown(u"searchClear"_s));

    QTest::keyClicks(field, u"milk"_s);
    EXPECT_EQ(m_state.search(), u"milk"_s);
    ASSERT_TRUE(shown(u"searchClear"_s));
    find<QToolButton>(u"searchClear"_s)->click();
    EXPECT_TRUE(m_state.search().isEmpty());
    EXPECT_TRUE(field->text().isEmpty());

    m_state.setFilter(ItemFilter::tag(u"receipts"_s));
    EXPECT_EQ(field->placeholderText(), u"Search #receipts"_s);
}

TEST_F(InboxBarViewTest, TheWindowSaysWhenTheStoreCannotBeRead)
{
    ASSERT_TRUE(waitUntilRunning(*m_controller)) << m_controller->statusText().toStdString();
    const QString root = m_dir.filePath(u"unreadable"_s);
    // A folder in the index's place cannot be read, also by root.
    ASSERT_TRUE(QDir().mkpath(root + u"/index.json"_s));
    ItemStore store(root, m_defaults, m_clock);
    InboxState state(store, m_defaults);
    const InboxBarView bar(state, *m_controller);
    const auto* dot = bar.findChild<QLabel*>(u"statusDot"_s);
    const QString problem = u"index.json could not be read (it is a folder)"_s;
    EXPECT_EQ(dot->accessibleName().toStdString(), "Not receiving: " + problem.toStdString());
    const EmptyStateContent empty = state.emptyState({u"http://10.0.0.2:8787"_s}, {});
    EXPECT_EQ(empty.title.toStdString(), "Saved items can't be read");
    EXPECT_TRUE(empty.description.startsWith(problem + u" in "_s + root + u'.'))
        << empty.description.toStdString();
    EXPECT_FALSE(empty.offersConnect);

    // Readable again: the next arrival loads the store, and the dot says so.
    ASSERT_TRUE(QDir(root + u"/index.json"_s).removeRecursively());
    store.append({.id = QUuid::createUuid(), .kind = ItemKind::text, .text = "hi"});
    EXPECT_EQ(dot->accessibleName().toStdString(), "Ready to receive");
}
