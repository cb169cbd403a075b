// Whatever takes a card away while it holds the keyboard focus, the card's going hands the focus
// on to a card still listed, and the list is never laid out half changed on the way.
#include "inbox/card_list_view.h"
#include "inbox/content_view.h"
#include "inbox/inbox_state.h"
#include "inbox/sidebar_view.h"
#include "inbox_window_fixture.h"
#include "store/store_cleanup.h"
#include "support/test_images.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPlainTextEdit>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>

using namespace vesker;
using namespace Qt::StringLiterals;

namespace {

class ListChangeFocusTest : public test::InboxWindowTest {
protected:
    QUuid uploadPhoto(const QByteArray& sender)
    {
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        const auto [status, body] = http(u"/upload"_s, test::encoded(image, "png"),
            {{"Content-Type", "image/png"}, {"x-device", "dev-" + sender}, {"x-sender", sender}});
        EXPECT_EQ(status, 200) << body.toStdString();
        return QUuid::fromString(QJsonDocument::fromJson(body)["id"_L1].toString());
    }

    void addText(const QString& text, ItemStatus status)
    {
        ScreenItem item;
        item.id = QUuid::createUuid();
        item.receivedAt = m_clock.now();
        item.kind = ItemKind::text;
        item.text = text.toUtf8();
        item.sender = u"Bob"_s;
        item.tags = {u"keys"_s};
        item.status = status;
        m_store.append(item);
        m_clock.advance(60);
    }

    // Ann's photos, older by two days, under two newer texts of Bob's, tagged, one archived.
    // Several cards going at once go in no order of theirs: the focused one is seldom the last,
    // and the others are still on screen when it hands the focus on.
    QList<QUuid> fill()
    {
        QList<QUuid> ids;
        for (const ScreenItem& item : m_store.items())
            ids.append(item.id);
        m_store.delete_(ids);
        ids.clear();
        for (int i = 0; i < 6; ++i) {
            ids.append(uploadPhoto("Ann"));
            m_clock.advance(60);
        }
        m_clock.advance(2 * 86400);
        addText(u"Spare key under the mat"_s, ItemStatus::archived);
        addText(u"Gate code 4711"_s, ItemStatus::inbox);
        return ids;
    }

    void archive(const QList<QUuid>& ids)
    {
        for (const QUuid& id : ids)
            m_store.move(*m_store.item(id), ItemStatus::archived);
    }

    void click(QWidget* widget)
    {
        ASSERT_NE(widget, nullptr);
        QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
    }
};

} // namespace

TEST_F(ListChangeFocusTest, APhotoCardTakenAwayWithTheFocusHandsItToACardStillListed)
{
    struct Case {
        const char* name;
        std::function<void(const QList<QUuid>& photos)> change;
        // What the window shows before; the focus then goes into the first of Ann's cards.
        std::function<void(const QList<QUuid>& photos)> before = {};
    };
    const Case cases[] = {
        {"a sender chosen", [this](auto) { click(m_view->sidebar().senderRow(u"Bob"_s)); }},
        {"a tag chosen", [this](auto) { click(m_view->sidebar().tagRow(u"keys"_s)); }},
        {"a tab chosen", [this](auto) { click(m_view->findChild<QToolButton*>(u"tabArchive"_s)); }},
        {"a search typed", [this](auto) { m_view->state().setSearch(u"Bob"_s); }},
        {"archived from elsewhere", [this](const QList<QUuid>& photos) { archive(photos); }},
        {"deleted from elsewhere", [this](const QList<QUuid>& photos) { m_store.delete_(photos); }},
        {"cleanup",
            [this](auto) {
                m_defaults.set(u"cleanupAge"_s, u"oneDay"_s);
                m_defaults.set(u"cleanupAction"_s, u"archive"_s);
                const StoreCleanup cleanup(m_store, m_defaults, m_clock);
                m_defaults.set(u"cleanupAge"_s, u"never"_s);
            }},
        {"an arrival that the archive does not list", [this](auto) { uploadPhoto("Bob"); },
            [this](const QList<QUuid>& photos) {
                archive(photos);
                m_view->state().setTab(ItemStatus::archived);
            }},
    };
    open();
    m_view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_view.get()));
    CardListView& list = m_view->cardList();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_view->state().setTab(ItemStatus::inbox);
        m_view->state().setFilter(ItemFilter::all());
        m_view->state().setSearch({});
        const QList<QUuid> photos = fill();
        if (c.before)
            c.before(photos);
        QApplication::processEvents();
        QWidget* card = nullptr;
        for (const ScreenItem& item : list.items()) {
            card = photos.contains(item.id) ? list.cardFor(item.id) : nullptr;
            if (card)
                break;
        }
        ASSERT_NE(card, nullptr);
        auto* note = card->findChild<QPlainTextEdit*>(u"noteField"_s);
        ASSERT_NE(note, nullptr);
        note->setFocus();
        ASSERT_TRUE(note->hasFocus());

        c.change(photos);
        QTest::qWait(2 * ContentView::kArrivalScrollDelayMs);

        ASSERT_FALSE(list.items().isEmpty());
        for (const QUuid& id : photos)
            ASSERT_EQ(list.rowOf(id), -1) << "Ann's photos left the list";
        EXPECT_EQ(focusedItem(), list.items().first().id)
            << "the focus goes to the first card, where the list is read from";
    }
}
