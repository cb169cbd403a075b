// What the tray panel shows and does, on a real store in a temporary folder.
#include "app/focus_guard.h"
#include "app/menu_bar_model.h"
#include "platform/defaults.h"
#include "store/item_store.h"
#include "support/fake_workspace.h"
#include "support/temp_env.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vesker;
using namespace Qt::Literals::StringLiterals;

namespace {

struct Panel {
    QUuid add(
        ItemKind kind, int minute, ItemStatus status = ItemStatus::inbox, ScreenItem item = {})
    {
        item.id = QUuid::createUuid();
        item.receivedAt = QDateTime(QDate(2026, 5, 1), QTime(9, minute), Qt::UTC);
        item.kind = kind;
        item.status = status;
        item.sender = u"Ana's phone"_s;
        item.deviceID = u"DEVICE-1"_s;
        store.append(item);
        return item.id;
    }
    QList<QUuid> shownIDs() const
    {
        QList<QUuid> ids;
        for (const RecentRow& row : model.recentRows())
            ids.append(row.id);
        return ids;
    }

    QTemporaryDir dir;
    platform::Defaults defaults {dir.filePath(u"defaults.json"_s)};
    ItemStore store {dir.filePath(u"Vesker"_s), &defaults};
    test::FakeWorkspace workspace;
    FocusGuard focus {defaults, workspace};
    MenuBarModel model {store, nullptr, focus};
};

} // namespace

TEST(MenuBar, ShowsTheSixNewestInboxItemsAndCountsOnlyTheInbox)
{
    Panel panel;
    EXPECT_TRUE(panel.model.recentRows().isEmpty());
    QList<QUuid> inbox;
    for (int minute = 0; minute < 7; ++minute)
        inbox.prepend(panel.add(ItemKind::text, minute));
    panel.add(ItemKind::text, 30, ItemStatus::later);
    panel.add(ItemKind::photo, 31, ItemStatus::archived);
    EXPECT_EQ(panel.model.inboxCountText(), u"7 in Inbox"_s);
    EXPECT_EQ(panel.shownIDs(), inbox.first(6));

    panel.store.move(*panel.store.item(inbox.first()), ItemStatus::later);
    EXPECT_EQ(panel.shownIDs(), inbox.mid(1, 6));
    EXPECT_EQ(MenuBarModel::label(0).title, QString());
    EXPECT_EQ(MenuBarModel::label(panel.model.inboxCount()).toolTip, u"Vesker — 6 in Inbox"_s);
}

TEST(MenuBar, TitlesFollowTheItemsKindAndCaptionsTheSendersAlias)
{
    struct Row {
        ItemKind kind;
        QString text, note;
        QStringList barcodes;
        QString title;
    };
    const QList<Row> rows {
        {ItemKind::text, u"Buy milk"_s, u"a note"_s, {}, u"Buy milk"_s},
        {ItemKind::pdf, {}, {}, {}, u"Photo"_s},
        {ItemKind::photo, {}, u"Shelf 3"_s, {}, u"Shelf 3"_s},
        {ItemKind::photo, {}, u"Shelf 3"_s,
            {u"QR https://a.example/x"_s, u"EAN-13 4006381333931"_s}, u"QR https://a.example/x"_s},
    };
    for (const Row& row : rows) {
        Panel panel;
        panel.defaults.setStringMap(u"senderAliases"_s, {{u"Ana's phone"_s, u"Ana"_s}});
        panel.add(row.kind, 5, ItemStatus::inbox,
            {.note = row.note, .text = row.text, .barcodes = row.barcodes});
        const RecentRow shown = panel.model.recentRows().value(0);
        EXPECT_EQ(shown.title, row.title);
        EXPECT_TRUE(shown.caption.startsWith(u"Ana · "_s)) << shown.caption.toStdString();
        EXPECT_EQ(shown.barcode.has_value(), !row.barcodes.isEmpty());
    }
}

TEST(MenuBar, CopyPutsOnlyThePayloadAndArchiveAcknowledgesThenMoves)
{
    MenuBarModel::copyPayload(u"QR https://a.example/x y"_s);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), u"https://a.example/x y"_s);

    Panel panel;
    const QUuid id = panel.add(ItemKind::photo, 1);
    panel.model.archive(id);
    panel.store.flush();
    EXPECT_EQ(panel.store.item(id)->status, ItemStatus::archived);
    EXPECT_TRUE(test::fileBytes(panel.store.acksPath()).contains(uuidText(id).toUtf8()));
    EXPECT_TRUE(panel.model.recentRows().isEmpty());
}

TEST(MenuBar, HoldAndHeldBackLinesFollowTheFocusGuard)
{
    Panel panel;
    panel.workspace.activate(u"org.example.Slides"_s);
    QCoreApplication::processEvents();
    panel.focus.addRule(u"org.example.Slides"_s, u"Slides"_s, FocusGuard::Trigger::frontmost);
    EXPECT_EQ(panel.model.holdLine(), u"Waiting — Slides is in front"_s);
    panel.model.setDoNotDisturb(true);
    EXPECT_EQ(panel.model.holdLine(), std::nullopt);
    EXPECT_TRUE(panel.defaults.boolValue(u"focusGuardDoNotDisturb"_s, false));

    EXPECT_EQ(panel.model.heldBackLine(), std::nullopt);
    panel.focus.holdArrival();
    EXPECT_EQ(panel.model.heldBackLine(), u"1 arrived without interrupting you"_s);
    panel.focus.setHeldBack(0);
    EXPECT_EQ(panel.model.heldBackLine(), std::nullopt);
}
