// The Inbox window over a real server on 127.0.0.1: what an empty Inbox says, how an arrival is
// brought into view, the approval cards, drops and the one-sheet-at-a-time rule.
#include "access/access_manager.h"
#include "inbox/card_list_view.h"
#include "inbox/content_view.h"
#include "inbox/inbox_bar_view.h"
#include "inbox/inbox_state.h"
#include "inbox/sidebar.h"
#include "inbox/sidebar_view.h"
#include "inbox_window_fixture.h"
#include "platform/thumbnail_loader.h"
#include "screens/remote_screens_manager.h"
#include "send/send_sheet.h"
#include "store/item_queries.h"
#include "support/palettes.h"
#include "ui/text_style.h"
#include "update/updater.h"

#include <QBuffer>
#include <QDir>
#include <QDropEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QPdfWriter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QToolButton>

#include <functional>

#include <algorithm>

using namespace vesker;

namespace {

class ContentViewTest : public test::InboxWindowTest {
protected:
    static QByteArray smallPng()
    {
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return png;
    }

    int uploadPhoto(const QByteArray& device = "dev-1")
    {
        return http(QStringLiteral("/upload"), smallPng(),
            {{"Content-Type", "image/png"}, {"x-device", device}, {"x-sender", "Ann"}})
            .first;
    }

    template <typename T = QWidget> T* find(const QString& name) const
    {
        return m_view->findChild<T*>(name);
    }

    QString sheetName() const
    {
        return m_view->currentSheet() ? m_view->currentSheet()->objectName() : QString();
    }

    // The window made wider, and the item's card refilled for the new width.
    bool resizedAndRefilled(const QUuid& id)
    {
        const QWidget* card = m_view->cardList().cardFor(id);
        const QPointer<QWidget> body
            = card ? card->findChild<QWidget*>(QStringLiteral("cardBody")) : nullptr;
        if (!body)
            return false;
        m_view->resize(m_view->width() + 100, m_view->height());
        return QTest::qWaitFor([&] { return !body && m_view->cardList().cardFor(id); });
    }

    ScreenItem storedText(const QString& text)
    {
        ScreenItem item;
        item.id = QUuid::createUuid();
        item.receivedAt = m_clock.now();
        item.kind = ItemKind::text;
        item.text = text.toUtf8();
        item.sender = QStringLiteral("Ode");
        m_clock.advance(60);
        return item;
    }
};

TEST_F(ContentViewTest, EmptyInboxSaysHowToConnectAndOffersTheConnectSheet)
{
    open();
    m_addresses.append(
        {QStringLiteral("eth0"), QStringLiteral("Ethernet"), QStringLiteral("192.0.2.7")});
    m_controller->refreshAddresses();
    QApplication::processEvents();
    EXPECT_TRUE(find<QLabel>(QStringLiteral("emptyStateDescription"))
                    ->text()
                    .contains(QStringLiteral("http://192.0.2.7:%1 ").arg(port())));
    find<QPushButton>(QStringLiteral("connectPhoneButton"))->click();
    EXPECT_EQ(sheetName(), "connectSheet");
}

TEST_F(ContentViewTest, AnUploadWhileArchiveIsSearchedShowsTheInboxAndScrollsToIt)
{
    open();
    for (int i = 0; i < 30; ++i)
        m_store.append(storedText(QStringLiteral("older %1").arg(i)));
    m_view->state().setTab(ItemStatus::archived);
    m_view->state().setSearch(QStringLiteral("pump"));
    CardListView& list = m_view->cardList();
    QSignalSpy scrolled(&list, &CardListView::scrolledTo);

    ASSERT_EQ(uploadPhoto(), 200);
    ASSERT_TRUE(QTest::qWaitFor([&] { return scrolled.count() == 1; }, 2000));
    EXPECT_EQ(m_view->state().tab(), ItemStatus::inbox);
    EXPECT_TRUE(find<QLineEdit>(QStringLiteral("searchField"))->text().isEmpty());
    const QUuid uploaded = list.items().first().id;
    EXPECT_EQ(scrolled.takeFirst().at(0).toUuid(), uploaded);
    EXPECT_EQ(list.topId(), uploaded);

    // Two in one go: only the later one is scrolled to.
    list.verticalScrollBar()->setValue(list.verticalScrollBar()->maximum());
    const ScreenItem first = storedText(QStringLiteral("first"));
    const ScreenItem second = storedText(QStringLiteral("second"));
    m_store.append(first);
    m_store.append(second);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !scrolled.isEmpty(); }, 2000));
    QTest::qWait(2 * ContentView::kArrivalScrollDelayMs);
    ASSERT_EQ(scrolled.count(), 1);
    EXPECT_EQ(scrolled.at(0).at(0).toUuid(), second.id);
    EXPECT_EQ(list.topId(), second.id);
}

TEST_F(ContentViewTest, ApprovalCardsShowTheDeviceAsSentAndAnswerIt)
{
    open(QStringLiteral("ask"));
    const QString name = QStringLiteral("<b>Ann</b> & Co");
    struct Case {
        QByteArray device;
        QString button;
        bool stored;
        bool approved;
        bool denied;
    };
    for (const Case& c : {Case {"dev-once", "Once", true, false, false},
             Case {"dev-always", "Always", true, true, false},
             Case {"dev-deny", "Deny", false, false, true},
             Case {"dev-block", "Block", false, false, true}}) {
        SCOPED_TRACE(c.button.toStdString());
        const QByteArray text = "SN " + c.device;
        ASSERT_EQ(http(QStringLiteral("/text"), text,
                      {{"Content-Type", "text/plain"}, {"x-device", c.device},
                          {"x-device-name", QUrl::toPercentEncoding(name)}})
                      .first,
            202);
        QWidget* banner = find(QStringLiteral("pendingApprovals"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return banner->isVisible(); }, 2000));
        auto* title = banner->findChild<QLabel*>(QStringLiteral("approvalTitle"));
        ASSERT_NE(title, nullptr);
        EXPECT_EQ(title->text(), name + " wants to send something");
        EXPECT_EQ(title->textFormat(), Qt::PlainText);

        for (auto* button : banner->findChildren<QPushButton*>())
            if (button->accessibleName() == c.button)
                button->click();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !banner->isVisible(); }, 2000));
        // The item's file is written off the main thread; its record follows.
        const auto stored = [&] {
            return std::any_of(m_store.items().begin(), m_store.items().end(),
                [&](const ScreenItem& item) { return item.text == text; });
        };
        EXPECT_EQ(c.stored ? QTest::qWaitFor(stored, 2000) : stored(), c.stored);
        // A device counts as allowed once what it was let send is on disk, after its record.
        QJsonObject status;
        const auto answered = [&] {
            status = QJsonDocument::fromJson(
                http(QStringLiteral("/api/status?device=") + c.device).second)
                         .object();
            return status.value("pending").toInt() == 0;
        };
        EXPECT_TRUE(QTest::qWaitFor(answered, 5000));
        EXPECT_EQ(status.value("denied").toBool(), c.denied);
        EXPECT_EQ(status.value("approved").toBool(), c.approved);
    }
}

TEST_F(ContentViewTest, DroppedImagesAndPdfsOpenTheSendSheetAsCopies)
{
    open();
    QTemporaryDir files;
    const auto make = [&](const QString& name) {
        QFile file(files.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write("x");
        return QUrl::fromLocalFile(file.fileName());
    };
    const QUrl photo = make(QStringLiteral("shelf.jpg"));
    const QUrl pdf = make(QStringLiteral("manual.pdf"));
    const QUrl text = make(QStringLiteral("notes.txt"));
    QDir(files.path()).mkdir(QStringLiteral("scans.png"));
    const QUrl folder = QUrl::fromLocalFile(files.filePath(QStringLiteral("scans.png")));
    const QUrl web(QStringLiteral("https://example.com/a.jpg"));

    // Dropped over the search field, through the window as a real drag arrives: the field
    // must not keep it for itself.
    QWidget* field = find(QStringLiteral("searchField"));
    const auto drop = [&](const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        const QPoint at = field->mapTo(m_view.get(), field->rect().center());
        QDragEnterEvent enter(
            at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_view->windowHandle(), &enter);
        QDropEvent event(
            QPointF(at), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_view->windowHandle(), &event);
        EXPECT_TRUE(event.isAccepted());
        EXPECT_EQ(event.dropAction(), Qt::CopyAction);
    };
    const auto sentFiles = [&] {
        QList<QUrl> urls;
        if (auto* sheet = qobject_cast<SendSheet*>(m_view->currentSheet()))
            for (const OutgoingItem& item : sheet->items())
                urls.append(item.imageURL);
        return urls;
    };

    drop({text, folder, web});
    QApplication::processEvents();
    EXPECT_EQ(m_view->currentSheet(), nullptr) << "nothing sendable, nothing opens";

    drop({photo, pdf, text, folder, web});
    EXPECT_EQ(sentFiles(), QList<QUrl>({photo, pdf}));
    m_view->currentSheet()->reject();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_view->currentSheet() == nullptr; }));

    // While the Connect sheet is open, a drop waits for it to close.
    Q_EMIT find<InboxBarView>(QStringLiteral("inboxBar"))->connectRequested();
    ASSERT_EQ(sheetName(), "connectSheet");
    drop({pdf});
    EXPECT_EQ(sheetName(), "connectSheet");
    m_view->currentSheet()->reject();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sheetName() == "sendSheet"; }));
    EXPECT_EQ(sentFiles(), QList<QUrl>({pdf}));
}

TEST_F(ContentViewTest, RelayedRequestsAreCountedPerScreenAndDevice)
{
    open();
    RemoteScreensManager& remote = m_controller->remote();
    QWidget* banner = find(QStringLiteral("relayPending"));
    QApplication::processEvents();
    EXPECT_FALSE(banner->isVisible());

    const RelayRequest request {.screenID = QUuid::createUuid(),
        .screenName = QStringLiteral("Lobby TV"),
        .deviceID = QStringLiteral("dev-9"),
        .deviceName = QStringLiteral("Ines")};
    for (const QString& count : {QStringLiteral("1 item"), QStringLiteral("2 items")}) {
        ASSERT_TRUE(remote.hold(request));
        ASSERT_TRUE(QTest::qWaitFor([&] {
            auto* detail = banner->findChild<QLabel*>(QStringLiteral("approvalDetail"));
            return detail && detail->isVisible()
                && detail->text() == count + " waiting. Allow this device to use the relay?";
        }));
    }
    EXPECT_EQ(banner->findChild<QLabel*>(QStringLiteral("approvalTitle"))->text(),
        "Ines wants to send to Lobby TV through this computer");

    QSignalSpy forwarded(&remote, &RemoteScreensManager::forwardRequested);
    for (auto* button : banner->findChildren<QPushButton*>())
        if (button->accessibleName() == QStringLiteral("30 min"))
            button->click();
    EXPECT_EQ(forwarded.count(), 2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !banner->isVisible(); }));
    ASSERT_TRUE(remote.hold(request)) << "the grant lets the next one through";
    EXPECT_EQ(forwarded.count(), 3);
    EXPECT_TRUE(remote.pendingDevices().isEmpty());
}

} // namespace

TEST_F(ContentViewTest, RevealShortcutActsOnTheNewestPhotoOnly)
{
    m_defaults.set(QStringLiteral("blurAll"), true);
    open();
    ASSERT_EQ(uploadPhoto(), 200);
    m_clock.advance(60);
    ASSERT_EQ(uploadPhoto(), 200);
    QApplication::processEvents();
    const QList<ScreenItem> listed = m_view->cardList().items();
    ASSERT_EQ(listed.size(), 2);
    const auto blurred = [this](const ScreenItem& item) {
        QWidget* card = m_view->cardList().cardFor(item.id);
        return card && card->findChild<QPushButton*>(QStringLiteral("revealButton"));
    };
    ASSERT_TRUE(blurred(listed.at(0)) && blurred(listed.at(1)));

    QTest::keyClick(m_view.get(), Qt::Key_R, Qt::ControlModifier);
    QApplication::processEvents();
    EXPECT_FALSE(blurred(listed.at(0)));
    EXPECT_TRUE(blurred(listed.at(1)));
}

TEST_F(ContentViewTest, AnotherTabOrSearchIsReadFromItsTop)
{
    for (int i = 0; i < 30; ++i) {
        ScreenItem item = storedText(QStringLiteral("note %1\nsecond line").arg(i));
        item.status = i % 2 ? ItemStatus::archived : ItemStatus::inbox;
        m_store.append(item);
    }
    open();
    QScrollBar* bar = m_view->cardList().verticalScrollBar();
    for (const auto& choose : std::initializer_list<std::function<void()>> {
             [this] { m_view->state().setTab(ItemStatus::archived); },
             [this] { m_view->state().setSearch(QStringLiteral("note 1")); }}) {
        bar->setValue(bar->maximum());
        ASSERT_GT(bar->value(), 0);
        choose();
        QApplication::processEvents();
        EXPECT_EQ(bar->value(), 0);
    }
}

TEST_F(ContentViewTest, TheSidebarFollowsTheWidthOnlyWhereItCrosses900)
{
    open();
    auto widen = [this](int width) {
        m_view->resize(width, 700);
        QApplication::processEvents();
        return m_view->sidebarShown();
    };
    EXPECT_TRUE(widen(1000));
    EXPECT_FALSE(widen(899)) << "crowded out";
    m_view->setSidebarShown(true);
    EXPECT_TRUE(widen(850)) << "opened by hand, and the width did not cross";
    EXPECT_TRUE(widen(1200));
    m_view->setSidebarShown(false);
    EXPECT_FALSE(widen(1100)) << "closed by hand";
    EXPECT_FALSE(widen(800));
    EXPECT_TRUE(widen(950));
    m_view->state().setSimpleMode(true);
    EXPECT_FALSE(m_view->sidebarShown());
    EXPECT_FALSE(widen(800));
    EXPECT_FALSE(widen(1000)) << "simple mode has no sidebar";
}

TEST_F(ContentViewTest, CombiningSendersFromTheMenuLeavesOneRowNamingBoth)
{
    open();
    m_view->resize(1000, 700);
    for (const QString& sender :
        {QStringLiteral("mum"), QStringLiteral("Mum-Phone"), QStringLiteral("<b>R&D</b>")}) {
        ScreenItem item = storedText(QStringLiteral("hi"));
        item.sender = sender;
        m_store.append(item);
    }
    QApplication::processEvents();
    SidebarView& sidebar = m_view->sidebar();
    QWidget* odd = sidebar.senderRow(QStringLiteral("<b>R&D</b>"));
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(odd->findChild<QLabel*>(QStringLiteral("rowTitle"))->textFormat(), Qt::PlainText);
    m_view->state().setFilter(ItemFilter::sender(QStringLiteral("mum")));

    std::unique_ptr<QMenu> menu(sidebar.senderMenu(QStringLiteral("Mum-Phone"), nullptr));
    QMenu* combine = menu->actions().at(1)->menu();
    ASSERT_NE(combine, nullptr);
    QStringList titles;
    for (QAction* action : combine->actions())
        titles.append(action->text());
    EXPECT_EQ(titles, (QStringList {QStringLiteral("<b>R&&D</b>"), QStringLiteral("mum")}));
    combine->actions().at(1)->trigger();
    QApplication::processEvents();

    EXPECT_EQ(sidebar.senderRow(QStringLiteral("Mum-Phone")), nullptr);
    EXPECT_EQ(m_view->state().filter(), ItemFilter::sender(QStringLiteral("mum")));
    EXPECT_EQ(m_view->cardList().items().size(), 2);
}

TEST_F(ContentViewTest, NoteTypedIntoACardSurvivesTheStoresRoundTripWithFocus)
{
    open();
    const ScreenItem item = storedText(QStringLiteral("Gate code"));
    m_store.append(item);
    QApplication::processEvents();
    QWidget* card = m_view->cardList().cardFor(item.id);
    ASSERT_NE(card, nullptr);
    auto* note = card->findChild<QPlainTextEdit*>(QStringLiteral("noteField"));
    m_view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_view.get()));
    note->setFocus();

    QTest::keyClicks(note, QStringLiteral("Ring <b>twice</b> & wait"));
    QApplication::processEvents();
    EXPECT_EQ(m_store.items().first().note, QStringLiteral("Ring <b>twice</b> & wait"));
    EXPECT_EQ(m_view->cardList().cardFor(item.id), card);
    EXPECT_TRUE(note->hasFocus());
    EXPECT_EQ(note->textCursor().position(), note->toPlainText().size());
    EXPECT_EQ(note->toPlainText(), QStringLiteral("Ring <b>twice</b> & wait"));
}

TEST_F(ContentViewTest, ArrivalsWhileACardHoldsTheFocusKeepItsFieldItsTextAndTheFocus)
{
    // Enough arrivals to bring the list's scroll bar, which narrows every card.
    constexpr int kArrivals = 12;
    const struct {
        const char* name;
        std::function<QWidget*(QWidget* card)> focus;
    } rows[] {
        {"typing a note",
            [](QWidget* card) {
                return card->findChild<QPlainTextEdit*>(QStringLiteral("noteField"));
            }},
        {"on a button",
            [](QWidget* card) {
                return card->findChild<QPushButton*>(QStringLiteral("archiveButton"));
            }},
    };
    open();
    m_view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_view.get()));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        for (const ScreenItem& item : m_store.items())
            m_store.delete_(item.id);
        const ScreenItem focused = storedText(QStringLiteral("Gate code"));
        m_store.append(focused);
        QApplication::processEvents();
        QWidget* card = m_view->cardList().cardFor(focused.id);
        ASSERT_NE(card, nullptr);
        const QPointer<QWidget> control = row.focus(card);
        ASSERT_TRUE(control);
        control->setFocus();
        auto* note = qobject_cast<QPlainTextEdit*>(control.data());
        QString typed;
        for (int i = 0; i < kArrivals; ++i) {
            if (note) {
                const QString word = QStringLiteral("w%1 ").arg(i);
                QTest::keyClicks(note, word);
                typed += word;
            }
            m_store.append(storedText(QStringLiteral("Arrival %1").arg(i)));
            QApplication::processEvents();
        }
        QTest::qWait(2 * ContentView::kArrivalScrollDelayMs);
        QApplication::processEvents();

        ASSERT_TRUE(control) << "the focused control was destroyed";
        EXPECT_TRUE(control->hasFocus());
        EXPECT_EQ(m_view->cardList().cardFor(focused.id), card);
        if (note) {
            EXPECT_EQ(note->toPlainText(), typed);
            EXPECT_EQ(note->textCursor().position(), typed.size());
            EXPECT_EQ(m_store.item(focused.id)->note, typed);
        }
    }
}

TEST_F(ContentViewTest, ItemKeysTypedInANoteEditTheNoteAndLeaveTheItemsAlone)
{
    // Ctrl+Backspace deletes the previous word in every Linux text field.
    const struct {
        Qt::Key key;
        QString note;
    } rows[] {{Qt::Key_Backspace, QStringLiteral("Ring ")},
        {Qt::Key_G, QStringLiteral("Ring twice")}, {Qt::Key_E, QStringLiteral("Ring twice")},
        {Qt::Key_L, QStringLiteral("Ring twice")}, {Qt::Key_R, QStringLiteral("Ring twice")}};
    m_defaults.set(QStringLiteral("confirmDelete"), false);
    open();
    m_view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_view.get()));
    for (const auto& row : rows) {
        SCOPED_TRACE(QKeySequence(row.key).toString().toStdString());
        for (const ScreenItem& item : m_store.items())
            m_store.delete_(item.id);
        m_store.append(storedText(QStringLiteral("older")));
        const ScreenItem newest = storedText(QStringLiteral("newest"));
        m_store.append(newest);
        QApplication::processEvents();
        QWidget* card = m_view->cardList().cardFor(newest.id);
        ASSERT_NE(card, nullptr);
        auto* note = card->findChild<QPlainTextEdit*>(QStringLiteral("noteField"));
        note->setFocus();
        QTest::keyClicks(note, QStringLiteral("Ring twice"));
        QTest::keyClick(note, row.key, Qt::ControlModifier);
        QApplication::processEvents();

        ASSERT_EQ(m_store.items().size(), 2);
        for (const ScreenItem& item : m_store.items())
            EXPECT_EQ(item.status, ItemStatus::inbox);
        EXPECT_EQ(note->toPlainText(), row.note);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
        EXPECT_EQ(m_view->findChildren<QMessageBox*>().size(), 0);
    }
}

TEST_F(ContentViewTest, ADoubleClickOnGotItLeavesTheItemInTheInbox)
{
    open();
    ASSERT_EQ(uploadPhoto(), 200);
    QApplication::processEvents();
    const QUuid id = m_view->cardList().items().first().id;
    QWidget* card = m_view->cardList().cardFor(id);
    ASSERT_NE(card, nullptr);
    auto* gotIt = card->findChild<QPushButton*>(QStringLiteral("gotItButton"));
    ASSERT_NE(gotIt, nullptr);
    const QPoint spot = gotIt->mapTo(m_view.get(), gotIt->rect().center());
    const QRect skipBefore
        = card->findChild<QPushButton*>(QStringLiteral("skipButton"))->geometry();

    for (int click = 0; click < 2; ++click) {
        QWidget* under = m_view->childAt(spot);
        ASSERT_NE(under, nullptr);
        QTest::mouseClick(under, Qt::LeftButton, {}, under->mapFrom(m_view.get(), spot));
        QApplication::processEvents();
    }

    ASSERT_EQ(m_store.items().size(), 1);
    EXPECT_TRUE(m_store.items().first().acknowledged);
    EXPECT_EQ(m_store.items().first().status, ItemStatus::inbox);
    card = m_view->cardList().cardFor(id);
    ASSERT_NE(card, nullptr);
    EXPECT_EQ(card->findChild<QPushButton*>(QStringLiteral("skipButton"))->geometry(), skipBefore);
}

TEST_F(ContentViewTest, TabWalksEveryCardsControlsInReadingOrderWithAVisibleFocus)
{
    open();
    CardListView& list = m_view->cardList();
    // The arrivals scroll the list to the newest once they have settled; the walk starts after
    // that, or the scroll would carry the focused card away under it.
    QSignalSpy scrolled(&list, &CardListView::scrolledTo);
    QList<ScreenItem> sent;
    for (int i = 0; i < 12; ++i) {
        sent.prepend(storedText(QStringLiteral("Parcel %1").arg(i)));
        m_store.append(sent.first());
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return !scrolled.isEmpty(); }));
    ASSERT_EQ(scrolled.last().first().toUuid(), sent.first().id);
    ASSERT_EQ(list.items().size(), 12);
    ASSERT_EQ(list.cardFor(sent.last().id), nullptr) << "the oldest card is made on the way";
    m_view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_view.get()));
    m_view->setFocus();

    QList<QUuid> cardsInOrder;
    QHash<QUuid, QPoint> lastPlace;
    bool left = false;
    for (int press = 0; press < 600 && !left; ++press) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QApplication::processEvents();
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr) << "press " << press;
        SCOPED_TRACE(
            QStringLiteral("press %1 on %2 %3")
                .arg(press)
                .arg(QString::fromLatin1(focus->metaObject()->className()), focus->objectName())
                .toStdString());
        // On screen, and drawn differently with the focus than without.
        const QRect place(focus->mapTo(m_view.get(), QPoint()), focus->size());
        ASSERT_TRUE(focus->isVisible());
        ASSERT_TRUE(m_view->rect().contains(place))
            << place.x() << "," << place.y() << " " << place.width() << "x" << place.height()
            << " in " << m_view->width() << "x" << m_view->height();
        const QRect around = place.adjusted(-3, -3, 3, 3) & m_view->rect();
        const QImage focused = m_view->grab(around).toImage();
        focus->clearFocus();
        const QImage plain = m_view->grab(around).toImage();
        focus->setFocus(Qt::TabFocusReason);
        EXPECT_NE(focused, plain) << "no focus frame";

        QUuid id;
        for (const ScreenItem& item : list.items()) {
            QWidget* card = list.cardFor(item.id);
            if (card && card->isAncestorOf(focus))
                id = item.id;
        }
        if (id.isNull()) {
            left = !cardsInOrder.isEmpty();
            continue;
        }
        const QRect viewport(
            list.viewport()->mapTo(m_view.get(), QPoint()), list.viewport()->size());
        EXPECT_TRUE(viewport.contains(place)) << "the list scrolls to the focus";
        if (cardsInOrder.isEmpty() || cardsInOrder.last() != id) {
            ASSERT_FALSE(cardsInOrder.contains(id)) << "back to a card already left";
            cardsInOrder.append(id);
        } else {
            // Down the card, and left to right along a row.
            const QPoint at = focus->mapTo(list.cardFor(id), QPoint(0, focus->height() / 2));
            const QPoint before = lastPlace.value(id);
            EXPECT_TRUE(at.y() > before.y() + 4
                || (std::abs(at.y() - before.y()) <= 4 && at.x() > before.x()))
                << "from " << before.x() << "," << before.y() << " to " << at.x() << "," << at.y();
        }
        lastPlace[id] = focus->mapTo(list.cardFor(id), QPoint(0, focus->height() / 2));
    }
    EXPECT_TRUE(left) << "Tab leaves the list after its last card";
    QList<QUuid> expected;
    for (const ScreenItem& item : sent)
        expected.append(item.id);
    EXPECT_EQ(cardsInOrder, expected);
}

// A prompt is drawn between the toolbar and the cards, and Tab reaches it there, however many
// cards there are and though its buttons were made after theirs.
TEST_F(ContentViewTest, TabReachesAWaitingDevicesPromptRightAfterTheToolbar)
{
    open(QStringLiteral("ask"));
    for (int i = 0; i < 4; ++i)
        m_store.append(storedText(QStringLiteral("Parcel %1").arg(i)));
    const RelayRequest relayed {.screenID = QUuid::createUuid(),
        .screenName = QStringLiteral("Lobby TV"),
        .deviceID = QStringLiteral("dev-9"),
        .deviceName = QStringLiteral("Ines")};
    struct Case {
        const char* banner;
        std::function<void()> ask;
    };
    for (const Case& c :
        {Case {"pendingApprovals",
             [this] {
                 ASSERT_EQ(http(QStringLiteral("/text"), "SN 1",
                               {{"Content-Type", "text/plain"}, {"x-device", "dev-phone"}})
                               .first,
                     202);
             }},
            Case {"relayPending", [&] { ASSERT_TRUE(m_controller->remote().hold(relayed)); }}}) {
        SCOPED_TRACE(c.banner);
        c.ask();
        auto* banner = find(QString::fromLatin1(c.banner));
        ASSERT_TRUE(QTest::qWaitFor([&] {
            return banner->isVisible() && !banner->findChildren<QPushButton*>().isEmpty();
        }));
        QApplication::processEvents();
        QPushButton* first = nullptr;
        for (auto* button : banner->findChildren<QPushButton*>()) {
            if (button->isVisible()
                && (!first
                    || button->mapTo(banner, QPoint()).x() < first->mapTo(banner, QPoint()).x()))
                first = button;
        }
        ASSERT_NE(first, nullptr);
        // Narrowed and widened again, as a person drags the window: the toolbar changes form.
        m_view->resize(500, 700);
        QApplication::processEvents();
        m_view->resize(1000, 700);
        QApplication::processEvents();
        m_view->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_view.get()));
        m_view->setFocus();
        auto* toolbar = find(QStringLiteral("inboxBar"));
        ASSERT_NE(toolbar, nullptr);
        QSet<QWidget*> passed;
        int presses = 0;
        while (QApplication::focusWidget() != first && presses < 60) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            ++presses;
            QWidget* focus = QApplication::focusWidget();
            ASSERT_NE(focus, nullptr);
            ASSERT_FALSE(m_view->cardList().isAncestorOf(focus))
                << "press " << presses << ": a card before the prompt";
            if (toolbar->isAncestorOf(focus))
                passed.insert(focus);
        }
        EXPECT_EQ(QApplication::focusWidget(), first) << presses << " presses";
        // Every control of the toolbar comes first, wherever its form put it.
        QSet<QWidget*> controls;
        for (QWidget* control : toolbar->findChildren<QWidget*>()) {
            if ((control->focusPolicy() & Qt::TabFocus) && control->isVisible()
                && control->isEnabled() && !control->focusProxy())
                controls.insert(control);
        }
        EXPECT_FALSE(controls.isEmpty());
        EXPECT_EQ(passed, controls);
        // Backtab from the first card comes back to the prompt's last button.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::NoModifier);
        for (int i = 0; i < 10 && !m_view->cardList().isAncestorOf(QApplication::focusWidget());
             ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_TRUE(m_view->cardList().isAncestorOf(QApplication::focusWidget()));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        EXPECT_TRUE(QApplication::focusWidget()
            && !m_view->cardList().isAncestorOf(QApplication::focusWidget())
            && !toolbar->isAncestorOf(QApplication::focusWidget()))
            << "Backtab from the first card leaves for the prompts";
        for (auto* button : banner->findChildren<QPushButton*>())
            if (button->isVisible() && button->accessibleName() == QStringLiteral("Deny"))
                button->click();
        QTest::qWaitFor([&] { return !banner->isVisible(); }, 2000);
    }
}

// The contrast a person sees, read from the drawn pixels: the colour farthest from a widget's
// own background inside it, against that background (the colour most of it is drawn in).
double drawnContrast(QWidget& widget, int inset)
{
    // Grabbed from the window, so that whatever a parent paints under the widget is there too.
    QWidget* window = widget.window();
    const QImage image = window->grab(QRect(widget.mapTo(window, QPoint()), widget.size()))
                             .toImage()
                             .convertToFormat(QImage::Format_RGB32);
    const QRect inner = image.rect().adjusted(inset, inset, -inset, -inset);
    QHash<QRgb, int> counts;
    for (int y = inner.top(); y <= inner.bottom(); ++y)
        for (int x = inner.left(); x <= inner.right(); ++x)
            ++counts[image.pixel(x, y)];
    QRgb ground = 0;
    int most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            ground = it.key();
        }
    }
    double best = 1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        best = std::max(best, contrastRatio(QColor(it.key()), QColor(ground)));
    return best;
}

// Red buttons, secondary text and field prompts read at 4.5:1 or more in a light, a Breeze
// Dark and a qt6ct "darker" palette, measured where they are drawn.
TEST_F(ContentViewTest, DestructiveButtonsSecondaryTextAndPromptsReadInLightAndDarkPalettes)
{
    const QPalette saved = QApplication::palette();
    keepPlaceholdersReadable();
    for (const auto& [name, palette] :
        {std::pair {"light", test::lightPalette()}, std::pair {"breeze dark", test::darkPalette()},
            std::pair {"darker", test::darkerPalette()}}) {
        SCOPED_TRACE(name);
        QApplication::setPalette(palette);
        if (!m_controller)
            open(QStringLiteral("ask"));
        else
            showView();
        // Tall enough for the prompt and the whole card under it.
        m_view->resize(900, 1200);
        m_store.append(storedText(QStringLiteral("Crate 12")));
        if (m_controller->access().waitingDevices() == 0) {
            ASSERT_EQ(http(QStringLiteral("/text"), "SN 1",
                          {{"Content-Type", "text/plain"}, {"x-device", "dev-phone"}})
                          .first,
                202);
        }
        auto* banner = find(QStringLiteral("pendingApprovals"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return banner->isVisible(); }));
        QApplication::processEvents();

        QList<std::pair<QString, QWidget*>> texts;
        for (auto* button : banner->findChildren<QPushButton*>())
            if (button->text() == u"Deny" || button->text() == u"Block")
                texts.append({button->text(), button});
        texts.append({QStringLiteral("Allow this device?"),
            banner->findChild<QLabel*>(QStringLiteral("approvalDetail"))});
        QWidget* card = m_view->cardList().cardFor(m_store.items().first().id);
        ASSERT_NE(card, nullptr);
        texts.append({QStringLiteral("Delete"),
            card->findChild<QPushButton*>(QStringLiteral("deleteButton"))});
        texts.append(
            {QStringLiteral("sender"), card->findChild<QLabel*>(QStringLiteral("cardSender"))});
        texts.append(
            {QStringLiteral("search prompt"), find<QLineEdit>(QStringLiteral("searchField"))});
        ASSERT_EQ(texts.size(), 6);
        for (const auto& [text, widget] : texts) {
            ASSERT_NE(widget, nullptr) << text.toStdString();
            EXPECT_GE(drawnContrast(*widget, qobject_cast<QPushButton*>(widget) ? 4 : 0), 4.5)
                << text.toStdString();
        }
    }
    QApplication::setPalette(saved);
}

TEST_F(ContentViewTest, CtrlFGoesToTheSearchAndArrowsWalkTheSidebar)
{
    open();
    m_store.append(storedText(QStringLiteral("one")));
    m_view->resize(1200, 700);
    m_view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_view.get()));
    QApplication::processEvents();
    ASSERT_TRUE(m_view->sidebarShown());

    std::vector<QWidget*> rows;
    for (QFrame* frame : find<QWidget>(QStringLiteral("sidebar"))->findChildren<QFrame*>()) {
        if (frame->focusPolicy() == Qt::TabFocus && frame->isVisible())
            rows.push_back(frame);
    }
    std::ranges::sort(rows, [this](QWidget* a, QWidget* b) {
        return a->mapTo(m_view.get(), QPoint()).y() < b->mapTo(m_view.get(), QPoint()).y();
    });
    ASSERT_GE(rows.size(), 2u) << "All and the sender";
    rows[0]->setFocus(Qt::TabFocusReason);
    QTest::keyClick(rows[0], Qt::Key_Down);
    EXPECT_EQ(QApplication::focusWidget(), rows[1]);
    QTest::keyClick(rows[1], Qt::Key_Down);
    EXPECT_EQ(QApplication::focusWidget(), rows[1]) << "the last row stays";
    QTest::keyClick(rows[1], Qt::Key_Up);
    EXPECT_EQ(QApplication::focusWidget(), rows[0]);

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), find<QLineEdit>(QStringLiteral("searchField")));
}

TEST_F(ContentViewTest, EscapeClearsTheSearchAndThenLeavesIt)
{
    open();
    const ScreenItem item = storedText(QStringLiteral("Shelf 7731"));
    m_store.append(item);
    m_view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_view.get()));
    auto* search = find<QLineEdit>(QStringLiteral("searchField"));
    search->setFocus(Qt::ShortcutFocusReason);
    QTest::keyClicks(search, QStringLiteral("7731"));
    ASSERT_EQ(m_view->state().search(), QStringLiteral("7731"));
    QTest::keyClick(search, Qt::Key_Escape);
    EXPECT_EQ(search->text(), QString());
    EXPECT_EQ(m_view->state().search(), QString());
    EXPECT_EQ(QApplication::focusWidget(), search) << "the first Escape only clears";
    QTest::keyClick(search, Qt::Key_Escape);
    EXPECT_EQ(focusedItem(), item.id) << "the second goes on to what was found";
}

TEST_F(ContentViewTest, TheSidebarFollowsEachChangeAsARebuiltOneWouldShowIt)
{
    const auto tagged = [this](const QString& sender, const QStringList& tags) {
        ScreenItem item = storedText(QStringLiteral("parcel"));
        item.sender = sender;
        item.tags = tags;
        return item;
    };
    m_store.append(tagged(QStringLiteral("Ann"), {QStringLiteral("urgent")}));
    m_store.append(tagged(QStringLiteral("Ode"), {}));
    open();
    m_view->resize(1000, 700);
    QApplication::processEvents();
    ASSERT_TRUE(m_view->sidebarShown());
    SidebarView& sidebar = m_view->sidebar();
    // The rows as shown, top to bottom: each title with its count.
    const auto shown = [&sidebar] {
        QList<std::pair<int, QString>> placed;
        for (QFrame* row : sidebar.findChildren<QFrame*>()) {
            if (const auto* count
                = row->findChild<QLabel*>(QStringLiteral("rowCount"), Qt::FindDirectChildrenOnly);
                count && row->isVisible())
                placed.append({row->mapTo(&sidebar, QPoint()).y(),
                    row->accessibleName() + u' ' + count->text()});
        }
        std::sort(placed.begin(), placed.end());
        QStringList rows;
        for (const auto& [y, row] : placed)
            rows.append(row);
        return rows.join(QStringLiteral(", ")).toStdString();
    };
    const auto rebuilt = [this] {
        QStringList rows {QStringLiteral("All %1").arg(m_store.items().size())};
        for (const SenderRow& sender : Sidebar::senderRows(m_store))
            rows.append(QStringLiteral("%1 %2").arg(sender.name).arg(sender.count));
        for (const TagEntry& tag : tagsOf(m_store.items()))
            rows.append(QStringLiteral("%1 %2").arg(tag.tag).arg(tag.count));
        return rows.join(QStringLiteral(", ")).toStdString();
    };
    const struct {
        const char* name;
        std::function<void()> change;
        bool keepsRows;
    } rows[] {
        {"an arrival of the sender below",
            [&] { m_store.append(tagged(QStringLiteral("Ann"), {QStringLiteral("urgent")})); },
            true},
        {"an arrival of the sender on top",
            [&] { m_store.append(tagged(QStringLiteral("Ann"), {})); }, true},
        {"an item archived", [&] { m_store.move(m_store.items().first(), ItemStatus::archived); },
            true},
        {"a note edited",
            [&] { m_store.setNote(m_store.items().last().id, QStringLiteral("Shelf 7")); }, true},
        {"a new sender", [&] { m_store.append(tagged(QStringLiteral("Bea"), {})); }, false},
        {"a new tag",
            [&] { m_store.setTags({QStringLiteral("fragile")}, m_store.items().first().id); },
            false},
        {"an item deleted", [&] { m_store.delete_(m_store.items().first().id); }, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QPointer<QWidget> ann = sidebar.senderRow(QStringLiteral("Ann"));
        row.change();
        QApplication::processEvents();
        QApplication::processEvents();
        EXPECT_EQ(shown(), rebuilt());
        if (row.keepsRows)
            EXPECT_EQ(sidebar.senderRow(QStringLiteral("Ann")), ann.data()) << "rebuilt";
    }
}

TEST_F(ContentViewTest, TheSidebarCountsEveryItemUnderAllAndEndsLongNamesWithAnEllipsis)
{
    const QString longName = QStringLiteral("Maximilian Alexander von Wolkenstein-Trostburg");
    for (const ItemStatus status : {ItemStatus::archived, ItemStatus::archived,
             ItemStatus::archived, ItemStatus::inbox, ItemStatus::later}) {
        ScreenItem item = storedText(QStringLiteral("filed"));
        item.status = status;
        item.sender = longName;
        m_store.append(item);
    }
    open();
    m_view->resize(1000, 700);
    QApplication::processEvents();
    ASSERT_TRUE(m_view->sidebarShown());
    auto* sidebar = find<QWidget>(QStringLiteral("sidebar"));
    const auto rowNamed = [sidebar](const QString& name) -> QWidget* {
        for (QWidget* row : sidebar->findChildren<QFrame*>()) {
            if (row->accessibleName() == name)
                return row;
        }
        return nullptr;
    };
    // Like the sender rows, "All" counts what the store keeps, whichever tab is open.
    for (const ItemStatus tab : {ItemStatus::inbox, ItemStatus::later, ItemStatus::archived}) {
        SCOPED_TRACE(toString(tab).toStdString());
        m_view->state().setTab(tab);
        QApplication::processEvents();
        QWidget* all = rowNamed(QStringLiteral("All"));
        ASSERT_NE(all, nullptr);
        EXPECT_EQ(all->findChild<QLabel*>(QStringLiteral("rowCount"))->text(), "5");
        QWidget* sender = rowNamed(longName);
        ASSERT_NE(sender, nullptr);
        EXPECT_EQ(sender->findChild<QLabel*>(QStringLiteral("rowCount"))->text(), "5");
    }

    QWidget* sender = rowNamed(longName);
    ASSERT_NE(sender, nullptr);
    const auto* title = sender->findChild<QLabel*>(QStringLiteral("rowTitle"));
    EXPECT_TRUE(title->text().endsWith(QChar(0x2026))) << title->text().toStdString();
    EXPECT_LE(title->fontMetrics().horizontalAdvance(title->text()), title->width());
    EXPECT_EQ(title->toolTip(), longName);
}

TEST_F(ContentViewTest, TheDeleteQuestionShowsTheProgramsOwnSymbol)
{
    open();
    m_store.append(storedText(QStringLiteral("keep?")));
    QApplication::processEvents();
    m_view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_view.get()));
    QTest::keyClick(m_view.get(), Qt::Key_Backspace, Qt::ControlModifier);
    QApplication::processEvents();
    auto* box = m_view->findChild<QMessageBox*>(QStringLiteral("deleteConfirmation"));
    ASSERT_NE(box, nullptr);
    ASSERT_FALSE(box->iconPixmap().isNull());
    EXPECT_NE(
        box->iconPixmap().toImage(), QMessageBox::standardIcon(QMessageBox::Warning).toImage());
    box->reject();
}

TEST_F(ContentViewTest, CardsInTheListShowTheirWholeActionBar)
{
    // The list sizes cards by heightForWidth; a bar measured as empty was cut off.
    open();
    ASSERT_EQ(uploadPhoto(), 200);
    m_store.append(storedText(QStringLiteral("Shelf 3")));
    QApplication::processEvents();
    for (const ScreenItem& item : m_view->cardList().items()) {
        QWidget* card = m_view->cardList().cardFor(item.id);
        ASSERT_NE(card, nullptr);
        const QWidget* bar = card->findChild<QWidget*>(QStringLiteral("actionBar"));
        ASSERT_NE(bar, nullptr);
        EXPECT_GE(bar->height(), bar->findChild<QPushButton*>()->sizeHint().height());
        EXPECT_TRUE(card->rect().contains(bar->mapTo(card, bar->rect().bottomRight())));
    }
}

TEST_F(ContentViewTest, OnboardingComesOnceHoweverItGoesAway)
{
    open();
    const QString shown = QString::fromLatin1(ContentView::kDidShowOnboarding);
    const std::pair<const char*, std::function<void(QDialog&)>> closers[] = {
        {"Continue",
            [](QDialog& sheet) { sheet.findChild<QPushButton*>("continueButton")->click(); }},
        {"Escape", [](QDialog& sheet) { QTest::keyClick(&sheet, Qt::Key_Escape); }},
        {"its window closed", [](QDialog& sheet) { sheet.close(); }},
        {"the Inbox closed", [this](QDialog&) { m_view->close(); }},
        {"the Inbox gone", [this](QDialog&) { m_view.reset(); }},
    };
    for (const auto& [how, close] : closers) {
        SCOPED_TRACE(how);
        m_view.reset();
        m_defaults.set(shown, false);
        showView();
        ASSERT_TRUE(QTest::qWaitFor([&] { return sheetName() == "onboardingSheet"; }, 3000));
        QPointer<QDialog> sheet = m_view->currentSheet();
        close(*sheet);
        EXPECT_TRUE(QTest::qWaitFor([&] { return m_defaults.boolValue(shown, false); }));
        EXPECT_TRUE(!sheet || !sheet->isVisible());
    }
    // The next window, even after a wait longer than the sheet's delay, opens without it.
    showView();
    QTest::qWait(2 * ContentView::kOnboardingDelayMs);
    EXPECT_EQ(m_view->currentSheet(), nullptr);
}

namespace {

QByteArray pdfBytes(int pages)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    QPainter painter(&writer);
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            writer.newPage();
        painter.drawText(100, 100, QStringLiteral("Page %1").arg(page + 1));
    }
    painter.end();
    return bytes;
}

QString shownPageCount(const QWidget* card)
{
    const auto* pages = card ? card->findChild<QLabel*>(QStringLiteral("pdfPages")) : nullptr;
    return pages ? pages->text() : QString();
}

} // namespace

// The list layout over a PDF, as a person first meets it: the toolbar's button, then every
// start after it, which opens in that layout.
TEST_F(ContentViewTest, APdfSurvivesTheListLayoutAndEveryStartInIt)
{
    open();
    ASSERT_EQ(http(QStringLiteral("/file"), pdfBytes(3),
                  {{"Content-Type", "application/pdf"}, {"x-device", "dev-1"}, {"x-sender", "Ann"},
                      {"x-filename", "plan.pdf"}})
                  .first,
        200);
    CardListView& list = m_view->cardList();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !list.items().isEmpty(); }, 5000));
    const QUuid pdf = list.items().first().id;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return shownPageCount(list.cardFor(pdf)) == QStringLiteral("3 pages"); }, 5000));

    find<QToolButton>(QStringLiteral("compactMode"))->click();
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const QWidget* card = list.cardFor(pdf);
        return card && card->findChild<QWidget*>(QStringLiteral("compactThumbnail"));
    }));
    EXPECT_EQ(m_defaults.string(QStringLiteral("viewMode")), QStringLiteral("compact"));

    for (int start = 0; start < 2; ++start) {
        SCOPED_TRACE(start);
        showView();
        // Shown, laid out for its size, resized: each refills the cards.
        const auto compactShown = [&] {
            const QWidget* card = m_view->cardList().cardFor(pdf);
            return card && card->isVisible()
                && card->findChild<QWidget*>(QStringLiteral("compactThumbnail"));
        };
        ASSERT_TRUE(QTest::qWaitFor(compactShown));
        ASSERT_TRUE(resizedAndRefilled(pdf));
        EXPECT_TRUE(compactShown());
    }
    find<QToolButton>(QStringLiteral("largeMode"))->click();
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return shownPageCount(m_view->cardList().cardFor(pdf)) == QStringLiteral("3 pages");
    }));
}

// Every kind of item arriving at a window in each layout, its card refilled for the others, and
// the window opened again over them in each.
TEST_F(ContentViewTest, EveryKindOfItemInEveryLayoutKeepsTheWindowRunning)
{
    open();
    m_defaults.set(QStringLiteral("blurSenders"), QStringLiteral("Eve"));
    const auto post = [this](const QString& path, const QByteArray& type, const QByteArray& body,
                          const QByteArray& sender) {
        return [=, this] {
            return http(path, body,
                       {{"Content-Type", type}, {"x-device", "dev-" + sender},
                           {"x-sender", sender}})
                       .first
                == 200;
        };
    };
    const auto stored = [this](const QByteArray& bytes) {
        return [=, this] {
            ScreenItem item;
            item.id = QUuid::createUuid();
            item.receivedAt = m_clock.now();
            item.kind = ItemKind::photo;
            item.sender = QStringLiteral("Ode");
            item.filename = item.id.toString(QUuid::WithoutBraces) + QStringLiteral(".jpg");
            // No bytes at all: the file is missing.
            if (!bytes.isNull()) {
                QFile file(QDir(m_store.inboxDir()).filePath(item.filename));
                if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
                    return false;
            }
            m_store.append(item);
            return true;
        };
    };
    const QByteArray png = smallPng();
    const struct {
        const char* name;
        std::function<bool()> arrive;
    } kinds[] = {
        {"photo", post(QStringLiteral("/upload"), "image/png", png, "Ann")},
        {"PDF", post(QStringLiteral("/file"), "application/pdf", pdfBytes(2), "Ann")},
        {"text", post(QStringLiteral("/text"), "text/plain; charset=utf-8", "hello", "Ann")},
        {"missing photo", stored({})},
        {"unreadable photo", stored("not a picture")},
        {"blurred photo", post(QStringLiteral("/upload"), "image/png", png, "Eve")},
    };
    const struct {
        const char* name;
        const char* viewMode;
        bool simple;
    } looks[]
        = {{"large", "large", false}, {"compact", "compact", false}, {"simple", "compact", true}};
    CardListView* list = &m_view->cardList();
    // Until the newest card is drawn in the layout, refilled as the window does it.
    const auto take = [&](const auto& look) {
        m_defaults.set(QStringLiteral("viewMode"), QString::fromLatin1(look.viewMode));
        m_defaults.set(QString::fromLatin1(InboxState::kSimpleMode), look.simple);
        const bool compact = std::string_view(look.viewMode) == "compact" && !look.simple;
        return QTest::qWaitFor([&] {
            const QList<ScreenItem>& items = list->items();
            if (items.isEmpty())
                return true;
            const QWidget* card = list->cardFor(items.first().id);
            const auto* body
                = card ? card->findChild<QWidget*>(QStringLiteral("cardBody")) : nullptr;
            return body && card->isVisible()
                && (qobject_cast<QHBoxLayout*>(body->layout()) != nullptr) == compact;
        });
    };
    qsizetype expected = list->items().size();
    for (const auto& look : looks) {
        SCOPED_TRACE(look.name);
        for (const auto& kind : kinds) {
            SCOPED_TRACE(kind.name);
            ASSERT_TRUE(take(look));
            ASSERT_TRUE(kind.arrive());
            ++expected;
            ASSERT_TRUE(QTest::qWaitFor([&] { return list->items().size() == expected; }, 5000));
            // Shown, then refilled for each other layout while what it loads lands.
            for (const auto& other : looks)
                EXPECT_TRUE(take(other)) << other.name;
        }
        // The next start, in this layout, over everything so far, shown and then resized.
        ASSERT_TRUE(take(look));
        showView();
        list = &m_view->cardList();
        ASSERT_TRUE(take(look));
        ASSERT_TRUE(resizedAndRefilled(list->items().first().id));
        EXPECT_EQ(list->items().size(), expected);
        for (const auto& other : looks)
            EXPECT_TRUE(take(other)) << other.name;
    }
}
