// What the tray panel shows and does, on a real store in a temporary folder.
#include "panel_fixture.h"

#include "receive/controller_fixture.h"

#include "support/test_images.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace vesker;
using namespace Qt::Literals::StringLiterals;

namespace {

struct Panel : test::PanelFixture {
    QList<QUuid> shownIDs() const
    {
        QList<QUuid> ids;
        for (const RecentRow& row : model.recentRows())
            ids.append(row.id);
        return ids;
    }
};

} // namespace

TEST(TrayPanel, ShowsTheSixNewestInboxItemsAndCountsOnlyTheInbox)
{
    Panel panel;
    QList<QUuid> inbox;
    for (int minute = 0; minute < 7; ++minute)
        inbox.prepend(panel.add(minute));
    panel.add(30, ItemStatus::later);
    panel.add(31, ItemStatus::archived);
    EXPECT_EQ(panel.model.inboxCountText(), u"7 in Inbox"_s);
    EXPECT_EQ(panel.shownIDs(), inbox.first(6));

    panel.store.move(*panel.store.item(inbox.first()), ItemStatus::later);
    EXPECT_EQ(panel.shownIDs(), inbox.mid(1, 6));
    EXPECT_EQ(TrayPanelModel::label(panel.model.inboxCount()).toolTip, u"Vesker — 6 in Inbox"_s);
}

TEST(TrayPanel, TitlesFollowTheKindAndCopyTakesOnlyTheCodesContent)
{
    const QStringList codes {u"QR https://a.example/x y"_s, u"EAN-13 4006381333931"_s};
    const QList<std::pair<ScreenItem, QString>> rows {
        {{.note = u"a note"_s, .kind = ItemKind::text, .text = "Buy milk"}, u"Buy milk"_s},
        {{.kind = ItemKind::pdf}, u"Photo"_s},
        {{.note = u"Shelf 3"_s, .kind = ItemKind::photo}, u"Shelf 3"_s},
        {{.note = u"Shelf 3"_s, .kind = ItemKind::photo, .barcodes = codes}, codes.first()},
    };
    for (const auto& [item, title] : rows) {
        Panel panel;
        panel.defaults.setStringMap(u"senderAliases"_s, {{u"Ana's phone"_s, u"Ana"_s}});
        // The panel must not show clearly what the Inbox blurs.
        panel.defaults.set(u"blurAll"_s, true);
        panel.add(5, ItemStatus::inbox, item);
        const RecentRow shown = panel.model.recentRows().value(0);
        EXPECT_EQ(shown.title, title);
        EXPECT_TRUE(shown.caption.startsWith(u"Ana · "_s)) << shown.caption.toStdString();
        EXPECT_EQ(shown.barcode.has_value(), !item.barcodes.isEmpty());
        EXPECT_EQ(shown.blurred, item.kind == ItemKind::photo);
    }
    TrayPanelModel::copyPayload(codes.first());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), u"https://a.example/x y"_s);
}

TEST(TrayPanel, HoldAndHeldBackLinesFollowTheFocusGuard)
{
    Panel panel;
    panel.workspace.activate(u"org.example.Slides"_s);
    QCoreApplication::processEvents();
    panel.focus.addRule(u"org.example.Slides"_s, u"Slides"_s, FocusGuard::Trigger::frontmost);
    EXPECT_EQ(panel.model.holdLine(), u"Waiting — Slides is in front"_s);
    panel.model.setDoNotDisturb(true);
    EXPECT_EQ(panel.model.holdLine(), std::nullopt);
    EXPECT_TRUE(panel.defaults.boolValue(u"focusGuardDoNotDisturb"_s, false));

    panel.focus.holdArrival();
    EXPECT_EQ(panel.model.heldBackLine(), u"1 arrived without interrupting you"_s);
    panel.focus.setHeldBack(0);
    EXPECT_EQ(panel.model.heldBackLine(), std::nullopt);
}

// The panel's Archive tells the phone only of an item that went: one whose name is taken in the
// Archive folder stays in the Inbox, unacknowledged.
TEST(TrayPanel, ArchiveTellsThePhoneOnlyOfAnItemArchived)
{
    Panel panel;
    QDir().mkpath(panel.store.inboxDir());
    QDir().mkpath(panel.store.archiveDir());
    QList<QUuid> ids;
    for (const QString& name : {u"free.jpg"_s, u"taken.jpg"_s}) {
        test::writeFile(panel.store.inboxDir() + u'/' + name, "a photo");
        ids.append(panel.add(int(ids.size()), ItemStatus::inbox, ScreenItem {.filename = name}));
    }
    test::writeFile(panel.store.archiveDir() + u"/taken.jpg"_s, "someone else's");
    for (const QUuid& id : ids)
        panel.model.archive(id);
    EXPECT_EQ(panel.store.item(ids.at(0))->status, ItemStatus::archived);
    EXPECT_EQ(panel.store.item(ids.at(1))->status, ItemStatus::inbox);
    EXPECT_EQ(panel.store.acks().value(u"DEVICE-1"_s), QStringList {uuidText(ids.at(0))});
}

namespace {
class TrayReceiving : public test::ControllerTest { };
} // namespace

// A store that cannot be read refuses every arrival, so the panel's dot must not say receiving
// while it lasts, however well the server runs.
TEST_F(TrayReceiving, OnlyWhileTheStoreCanTakeWhatArrives)
{
    const auto controller = makeController();
    ASSERT_TRUE(waitUntilRunning(*controller));
    const QString root = m_dir.filePath(u"unreadable"_s);
    ASSERT_TRUE(QDir().mkpath(root + u"/index.journal"_s));
    ItemStore store(root, m_defaults, m_clock);
    test::FakeWorkspace workspace;
    FocusGuard focus(m_defaults, workspace);
    const TrayPanelModel model(store, controller.get(), focus);
    QSignalSpy changed(&model, &TrayPanelModel::changed);
    EXPECT_FALSE(model.receiving());

    ASSERT_TRUE(QDir(root + u"/index.journal"_s).removeRecursively());
    store.append({.id = QUuid::createUuid(), .kind = ItemKind::text, .text = "hi"});
    EXPECT_TRUE(model.receiving());
    EXPECT_FALSE(changed.isEmpty());
}
