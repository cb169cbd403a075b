#include "inbox/card_list_model.h"
#include "inbox/card_list_view.h"

#include <QApplication>
#include <QFrame>
#include <QLineEdit>
#include <QPointer>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace vesker;

namespace {

ScreenItem itemNamed(QChar name)
{
    ScreenItem item;
    item.id = QUuid::createUuidV5(QUuid(), QString(name));
    item.note = QString(name);
    return item;
}

// "ab'c": items a, b, c, with b's note edited.
QList<ScreenItem> itemsFrom(const QString& names)
{
    QList<ScreenItem> items;
    for (const QChar c : names) {
        if (c == u'\'')
            items.last().note += u" edited";
        else
            items.append(itemNamed(c));
    }
    return items;
}

TEST(CardListModel, AppliesTheFewestEditsById)
{
    struct Case {
        const char* name;
        QString before, after;
        QList<int> removals, insertions, updates;
        QString listed = after;
    };
    const Case cases[] = {
        {"arrival at the top", "abc", "xabc", {}, {0}, {}},
        {"note edit", "abc", "ab'c", {}, {}, {1}},
        {"deletions", "abcd", "ad", {1, 2}, {}, {}},
        {"one moved to the top", "abcd", "dabc", {3}, {0}, {}},
        {"moved and edited, another edited in place", "abc", "c'ab'", {2}, {0}, {2}},
        {"everything filtered out", "abc", "", {0, 1, 2}, {}, {}},
        {"an id listed twice", "ab", "xaxb", {}, {0}, {}, "xab"},
    };
    for (const Case& c : cases) {
        CardListModel model;
        model.setItems(itemsFrom(c.before));
        QList<int> removed, inserted, updated;
        QObject::connect(&model, &CardListModel::removed, [&](auto rows) { removed += rows; });
        QObject::connect(&model, &CardListModel::inserted, [&](auto rows) { inserted += rows; });
        QObject::connect(&model, &CardListModel::updated, [&](auto rows) { updated += rows; });
        model.setItems(itemsFrom(c.after));
        EXPECT_EQ(removed, c.removals) << c.name;
        EXPECT_EQ(inserted, c.insertions) << c.name;
        EXPECT_EQ(updated, c.updates) << c.name;
        EXPECT_EQ(model.items(), itemsFrom(c.listed)) << c.name;
    }
}

// One item's change placed by itself lands where a whole relist would put it, and every row
// is still found by id afterwards.
TEST(CardListModel, PlacesOneItemWhereTheWholeListWouldHaveIt)
{
    const QDateTime start = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
    const auto at = [&](QChar name, int seconds) {
        ScreenItem item = itemNamed(name);
        item.receivedAt = start.addSecs(seconds);
        return item;
    };
    // Newer first; items of one second in the order their letters have.
    const CardListModel::ListedBefore before = [](const ScreenItem& a, const ScreenItem& b) {
        return a.receivedAt != b.receivedAt ? a.receivedAt > b.receivedAt : a.note < b.note;
    };
    struct Case {
        const char* name;
        std::optional<ScreenItem> placed;
        QUuid id;
        QString listed;
        QList<int> removals, insertions, updates;
    };
    const QList<ScreenItem> list {at(u'e', 50), at(u'd', 40), at(u'c', 30), at(u'b', 20)};
    ScreenItem edited = list[1];
    edited.recognizedText = QStringLiteral("read");
    const Case cases[] = {
        {"an arrival", at(u'x', 60), itemNamed(u'x').id, "xedcb", {}, {0}, {}},
        {"an older arrival", at(u'x', 25), itemNamed(u'x').id, "edcxb", {}, {3}, {}},
        {"an arrival of the same second", at(u'x', 40), itemNamed(u'x').id, "edxcb", {}, {2}, {}},
        {"an edit", edited, edited.id, "edcb", {}, {}, {1}},
        {"no longer listed", std::nullopt, itemNamed(u'd').id, "ecb", {1}, {}, {}},
        {"received at another time", at(u'b', 45), itemNamed(u'b').id, "ebdc", {3}, {1}, {}},
        {"not listed and still not", std::nullopt, itemNamed(u'x').id, "edcb", {}, {}, {}},
    };
    for (const Case& c : cases) {
        CardListModel model;
        model.setItems(list);
        // An arrival at the top first, so rows are found through a shifted key.
        model.place(itemNamed(u'z').id, at(u'z', 90), before);
        QList<int> removed, inserted, updated;
        QObject::connect(&model, &CardListModel::removed, [&](auto rows) { removed += rows; });
        QObject::connect(&model, &CardListModel::inserted, [&](auto rows) { inserted += rows; });
        QObject::connect(&model, &CardListModel::updated, [&](auto rows) { updated += rows; });
        model.place(c.id, c.placed, before);
        const auto shifted = [](QList<int> rows) {
            for (int& row : rows)
                ++row;
            return rows;
        };
        EXPECT_EQ(removed, shifted(c.removals)) << c.name;
        EXPECT_EQ(inserted, shifted(c.insertions)) << c.name;
        EXPECT_EQ(updated, shifted(c.updates)) << c.name;
        QString names;
        for (qsizetype row = 1; row < model.items().size(); ++row)
            names += model.items()[row].note.front();
        EXPECT_EQ(names, c.listed) << c.name;
        for (int row = 0; row < model.count(); ++row)
            EXPECT_EQ(model.indexOf(model.items()[row].id), row) << c.name;
    }
}

class TestCard : public QFrame {
public:
    using QFrame::QFrame;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int) const override { return height; }
    int height = 0;
    QUuid id;
    QLineEdit* field = new QLineEdit(this);
};

// Cards come out 30 px taller than estimated, so every card made corrects its row.
class TestFactory : public CardFactory {
public:
    QWidget* create(const ScreenItem& item, bool isFirst, QWidget* parent) override
    {
        auto* card = new TestCard(parent);
        reuse(card, item, isFirst);
        return card;
    }
    void reuse(QWidget* widget, const ScreenItem& item, bool) override
    {
        auto* card = static_cast<TestCard*>(widget);
        card->id = item.id;
        card->height = estimateHeight(item, 0) + 30;
    }
    int estimateHeight(const ScreenItem& item, int) const override
    {
        return 60 + int(item.groupIndex * 37 % 300);
    }
    void forget(const QUuid& id) override { forgotten.append(id); }
    QList<QUuid> forgotten;
};

class CardListViewTest : public ::testing::Test {
public:
    void SetUp() override
    {
        for (int i = 0; i < 1000; ++i) {
            ScreenItem item;
            item.id = QUuid::createUuid();
            item.groupIndex = i;
            items.append(item);
        }
        view.resize(400, 760);
        view.setItems(items);
        view.show();
        QCoreApplication::processEvents();
    }
    TestCard* card(int row) const { return static_cast<TestCard*>(view.cardFor(items[row].id)); }
    int topY(int row) const { return card(row)->geometry().top(); }
    void scrollTo(int value)
    {
        view.verticalScrollBar()->setValue(value);
        QCoreApplication::processEvents();
    }
    int topRow() const
    {
        const auto at = std::find_if(items.begin(), items.end(),
            [this](const ScreenItem& item) { return item.id == view.topId(); });
        return int(at - items.begin());
    }

    TestFactory factory;
    CardListView view {factory};
    QList<ScreenItem> items;
};

TEST_F(CardListViewTest, ScrollingEndToEndKeepsFewCardsAndAlwaysShowsTheTopOne)
{
    QScrollBar* bar = view.verticalScrollBar();
    int most = 0;
    for (int steps = 0; bar->value() < bar->maximum() && steps < 5000; ++steps) {
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCoreApplication::processEvents();
        most = std::max(most, view.cardWidgetCount());
        const TestCard* top = card(topRow());
        ASSERT_TRUE(top && top->isVisible()) << "at " << bar->value();
        ASSERT_TRUE(top->geometry().intersects(view.viewport()->rect()));
        ASSERT_EQ(top->id, view.topId()) << "a reused card shows its new item";
    }
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_LE(most, 40);
    EXPECT_TRUE(card(999) && card(999)->isVisible());
}

TEST_F(CardListViewTest, TheFocusedCardSurvivesScrollingAwayAndBack)
{
    QPointer<TestCard> focused = card(1);
    ASSERT_TRUE(focused);
    focused->field->setFocus();
    focused->field->setText(QStringLiteral("half a note"));
    scrollTo(view.verticalScrollBar()->maximum());
    ASSERT_TRUE(focused) << "not destroyed";
    EXPECT_EQ(focused->id, items[1].id) << "not reused for another item";
    scrollTo(0);
    EXPECT_EQ(view.cardFor(items[1].id), focused.data());
    EXPECT_EQ(focused->field->text(), QStringLiteral("half a note"));
    EXPECT_EQ(view.window()->focusWidget(), focused->field);
}

TEST_F(CardListViewTest, ChangesAboveTheTopLeaveTheTopCardInPlace)
{
    struct Case {
        const char* name;
        std::function<void(CardListViewTest&, int top)> change;
    };
    const Case cases[] = {
        {"a card above grows",
            [](CardListViewTest& t, int top) {
                t.card(top - 2)->height += 120;
                QCoreApplication::postEvent(t.card(top - 2), new QEvent(QEvent::LayoutRequest));
            }},
        {"an item arrives at the top",
            [](CardListViewTest& t, int) {
                ScreenItem arrived;
                arrived.id = QUuid::createUuid();
                t.items.prepend(arrived);
                t.view.setItems(t.items);
            }},
        {"an item above is removed",
            [](CardListViewTest& t, int top) {
                t.items.removeAt(top - 1);
                t.view.setItems(t.items);
            }},
    };
    for (const Case& c : cases) {
        scrollTo(20000 + 37);
        const QUuid topId = view.topId();
        const int top = topRow();
        const int y = topY(top);
        c.change(*this, top);
        QCoreApplication::processEvents();
        EXPECT_EQ(view.topId(), topId) << c.name;
        EXPECT_EQ(topY(topRow()), y) << c.name;
    }
}

// A burst of arrivals has its cards placed a frame at a time: scrolled down, the card being read
// stays put and a scroll step goes on from it; at the top, the newest card is there to be asked
// for at once.
TEST_F(CardListViewTest, ABurstOfArrivalsKeepsTheCardBeingReadOrShowsTheNewestAtTheTop)
{
    const auto before
        = [](const ScreenItem& a, const ScreenItem& b) { return a.groupIndex < b.groupIndex; };
    int next = 0;
    const auto arrive = [&](int count) {
        ScreenItem arrived;
        for (int i = 0; i < count; ++i) {
            arrived.id = QUuid::createUuid();
            arrived.groupIndex = --next;
            view.placeItem(arrived.id, arrived, before);
        }
        return arrived.id;
    };
    scrollTo(20000 + 37);
    const int read = topRow();
    const int y = topY(read);
    arrive(8);
    // As a wheel or an arrow key on the scroll bar makes it.
    view.verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCoreApplication::processEvents();
    ASSERT_NE(card(read), nullptr);
    EXPECT_EQ(topY(read), y - view.verticalScrollBar()->singleStep());

    scrollTo(0);
    const QUuid newest = arrive(5);
    EXPECT_EQ(view.topId(), newest);
    ASSERT_NE(view.cardFor(newest), nullptr);
    EXPECT_EQ(view.cardFor(newest)->geometry().top(), 16);
    EXPECT_EQ(view.items().size(), items.size() + 13);
}

TEST_F(CardListViewTest, ScrollToIdPutsTheCardAtTheTop)
{
    view.scrollToId(items[500].id, false);
    EXPECT_EQ(view.topId(), items[500].id);
    EXPECT_EQ(topY(500), 16) << "below the list's inset";

    QSignalSpy arrived(&view, &CardListView::scrolledTo);
    QSignalSpy moved(view.verticalScrollBar(), &QScrollBar::valueChanged);
    view.scrollToId(items[3].id, true);
    ASSERT_TRUE(arrived.wait(2000));
    ASSERT_FALSE(moved.isEmpty());
    EXPECT_LE(moved.first().first().toInt(),
        view.verticalScrollBar()->value() + 2 * view.viewport()->height())
        << "from far away the scroll starts close to the item, not a thousand cards off";
    EXPECT_EQ(arrived.first().first().toUuid(), items[3].id);
    EXPECT_EQ(view.topId(), items[3].id);
    EXPECT_EQ(topY(3), 16);
}

TEST_F(CardListViewTest, LargeCardsAreSpacedAndInsetCompactOnesDivided)
{
    struct Case {
        int spacing, inset;
        bool dividers;
    };
    for (const Case c : {Case {0, 0, true}, Case {16, 16, false}}) {
        view.setMetrics(c.spacing, c.inset, c.dividers);
        QCoreApplication::processEvents();
        const QRect first = card(0)->geometry();
        EXPECT_EQ(first.topLeft(), QPoint(c.inset, c.inset));
        EXPECT_EQ(first.width(), view.viewport()->width() - 2 * c.inset);
        EXPECT_EQ(topY(1), first.bottom() + 1 + (c.dividers ? 1 : 0) + c.spacing);
    }
}

// The dividers are the viewport's own drawing, between the cards: leaving the divided layout
// repaints where they were, or the margins keep a line under every former row.
TEST_F(CardListViewTest, LeavingTheDividedLayoutRepaintsWhereTheDividersWere)
{
    struct PaintLog : QObject {
        QRegion painted;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint)
                painted += static_cast<QPaintEvent*>(event)->region();
            return false;
        }
    } log;
    view.setMetrics(0, 0, true);
    QCoreApplication::processEvents();
    const int dividerY = card(0)->geometry().bottom() + 1;
    view.viewport()->installEventFilter(&log);
    view.setMetrics(16, 16, false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return log.painted.contains(QPoint(4, dividerY)); }, 5000));
}

TEST_F(CardListViewTest, ForgetsOnlyTheIdsThatLeaveTheList)
{
    const QList<QUuid> gone {items[0].id, items[700].id};
    items.removeAt(700);
    items.removeAt(0);
    items.move(5, 900);
    view.setItems(items);
    EXPECT_THAT(factory.forgotten, ::testing::UnorderedElementsAreArray(gone));
}

} // namespace
