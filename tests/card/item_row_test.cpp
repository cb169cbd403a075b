#include "card/card_keys.h"
#include "card/item_row.h"
#include "card/zoomable_image_view.h"
#include "card_fixture.h"
#include "connect/invite_handler.h"
#include "platform/service_hosts.h"
#include "store/senders.h"
#include "support/palettes.h"
#include "ui/text_style.h"
#include "ui/thumbnail_view.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTextDocument>

#include <gtest/gtest.h>

using namespace vesker;
using namespace Qt::Literals::StringLiterals;

namespace {

struct ItemRowTest : ::testing::Test {
    test::CardWorld world;
    InviteHandler invites;

    std::unique_ptr<ItemRow> card(const ScreenItem& item, ViewMode mode = ViewMode::large)
    {
        const CardServices services {
            world.store, world.loader, world.permissions, &invites, [] { return u"Desk"_s; }};
        auto row = std::make_unique<ItemRow>(services, item,
            ItemRowLayout {.mode = mode, .availableWidth = 600, .fitHeight = 400},
            std::make_shared<CardState>());
        row->show();
        return row;
    }
};

bool isBlurred(const ItemRow& row)
{
    return row.findChild<QPushButton*>(u"revealButton"_s) != nullptr;
}

QString labelText(const QWidget& parent, const QString& name)
{
    const auto* holder = parent.findChild<QWidget*>(name);
    if (!holder)
        return {};
    if (const auto* label = qobject_cast<const QLabel*>(holder))
        return label->text();
    const auto* text = holder->findChild<QLabel*>(u"text"_s);
    return text ? text->text() : QString();
}

} // namespace

TEST_F(ItemRowTest, BlursPhotosOnlyBySenderRules)
{
    const struct {
        const char* name;
        ItemKind kind;
        bool blurAll;
        QString blurSenders;
        QStringList known;
        bool blurred;
    } rows[] = {
        {"known sender beats blur-all", ItemKind::photo, true, {}, {u"mum"_s}, false},
        {"blur-all", ItemKind::photo, true, {}, {}, true},
        {"listed sender", ItemKind::photo, false, u"dad, MUM "_s, {}, true},
        {"PDF never", ItemKind::pdf, true, {}, {}, false},
    };
    for (const auto& row : rows) {
        world.defaults.set(u"blurAll"_s, row.blurAll);
        world.defaults.set(u"blurSenders"_s, row.blurSenders);
        world.defaults.setStringList(u"knownSenders"_s, row.known);
        const auto shown = card(world.add(row.kind, u" Mum"_s, u"hi"_s));
        EXPECT_EQ(isBlurred(*shown), row.blurred) << row.name;
    }
}

TEST_F(ItemRowTest, RevealIsPerCardAndAlwaysShowUnblursTheSendersOtherCards)
{
    world.defaults.set(u"blurAll"_s, true);
    const auto first = card(world.add(ItemKind::photo, u"Mum"_s));
    const auto second = card(world.add(ItemKind::photo, u"Mum"_s));
    const auto stranger = card(world.add(ItemKind::photo, u"Bob"_s));
    const auto compact = card(world.add(ItemKind::photo, u"Mum"_s), ViewMode::compact);
    EXPECT_EQ(compact->findChild<QLabel*>(u"revealOverlay"_s)->text(), u"Reveal"_s);

    first->findChild<QPushButton*>(u"revealButton"_s)->click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(isBlurred(*first));
    EXPECT_TRUE(isBlurred(*second)) << "revealing is one card's business";

    second->findChild<QPushButton*>(u"alwaysShowButton"_s)->click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(isBlurred(*second));
    EXPECT_TRUE(isBlurred(*stranger));
    EXPECT_EQ(compact->findChild<QLabel*>(u"revealOverlay"_s), nullptr);
    EXPECT_EQ(world.defaults.stringList(u"knownSenders"_s), QStringList {u"mum"_s});
}

TEST_F(ItemRowTest, HeaderShowsSeenSetAndAliasWithItsBroadcastName)
{
    Senders(world.store, world.defaults).setAlias(u"Mum"_s, u"Pixel 7"_s);
    ScreenItem item = world.add(ItemKind::text, u"Pixel 7"_s, u"hi"_s);
    item.acknowledged = true;
    item.groupIndex = 2;
    item.groupCount = 3;
    const auto row = card(item);
    EXPECT_EQ(labelText(*row, u"cardSender"_s), u"from Mum"_s);
    EXPECT_EQ(row->findChild<QLabel*>(u"cardSender"_s)->toolTip(), u"Broadcast name: Pixel 7"_s);
    EXPECT_EQ(labelText(*row, u"cardSeen"_s), u"Seen"_s);
    EXPECT_EQ(labelText(*row, u"cardSet"_s), u"Set 2 of 3"_s);

    item.acknowledged = false;
    item.groupCount = 1;
    item.sender = u"Bob"_s;
    row->setItem(item, std::make_shared<CardState>());
    EXPECT_EQ(row->findChild<QWidget*>(u"cardSeen"_s), nullptr);
    EXPECT_EQ(row->findChild<QWidget*>(u"cardSet"_s), nullptr);
    EXPECT_TRUE(row->findChild<QLabel*>(u"cardSender"_s)->toolTip().isEmpty());
}

TEST_F(ItemRowTest, PdfShowsItsTitleAndPageCount)
{
    const auto row = card(world.add(ItemKind::pdf, u"Mum"_s));
    EXPECT_EQ(labelText(*row, u"pdfTitle"_s), u"Document.pdf"_s);
    QTRY_COMPARE(labelText(*row, u"pdfPages"_s), u"3 pages"_s);
    EXPECT_TRUE(row->findChild<QLabel*>(u"pdfPages"_s)->isVisible());
}

TEST_F(ItemRowTest, OutsideTextShowsLiterallyAndAnInviteLinkIsOffered)
{
    const QString link = u"https://"_s + QString::fromLatin1(kInviteServiceHost) + u"/i/AB12CD34"_s;
    const QString text = u"<b>Tom & Jerry</b> join me: ("_s + link + u")."_s;
    const auto row = card(world.add(ItemKind::text, u"<i>R&D</i>"_s, text));
    EXPECT_EQ(labelText(*row, u"cardText"_s), text);
    EXPECT_EQ(labelText(*row, u"cardSender"_s), u"from <i>R&D</i>"_s);
    const auto compact = card(row->item(), ViewMode::compact);
    EXPECT_NE(compact->findChild<QPushButton*>(u"connectButton"_s), nullptr);
    EXPECT_EQ(compact->findChild<QPushButton*>(u"copyTextButton"_s), nullptr);

    row->findChild<QPushButton*>(u"connectButton"_s)->click();
    EXPECT_EQ(invites.pending(), link);

    const auto plain = card(world.add(ItemKind::text, u"Bob"_s, u"see x.com/i/ later"_s));
    EXPECT_EQ(plain->findChild<QPushButton*>(u"connectButton"_s), nullptr);

    world.defaults.set(u"blurAll"_s, true);
    const auto photo = card(world.add(ItemKind::photo, u"R&D"_s));
    EXPECT_EQ(
        photo->findChild<QPushButton*>(u"alwaysShowButton"_s)->text(), u"Always show from R&&D"_s);
    // The note names the rule that blurs: every photo, or this sender's.
    EXPECT_EQ(
        labelText(*photo, u"blurredMessage"_s), u"Every photo is blurred by your settings."_s);
    world.defaults.set(u"blurAll"_s, false);
    world.defaults.set(u"blurSenders"_s, u"R&D"_s);
    const auto named = card(world.add(ItemKind::photo, u"R&D"_s));
    EXPECT_EQ(
        labelText(*named, u"blurredMessage"_s), u"Photos from R&D are blurred by your settings."_s);
}

TEST_F(ItemRowTest, CardOnScreenMeasuresItsNewLookAtOnce)
{
    // The list measures a card right after handing it another look or item; a card that
    // measured as empty then was drawn zero pixels high.
    const auto row = card(world.add(ItemKind::photo, u"Mum"_s));
    const int large = row->heightForWidth(600);
    row->setRowLayout({.mode = ViewMode::compact, .availableWidth = 600});
    EXPECT_GE(row->heightForWidth(600), 140);
    row->setItem(world.add(ItemKind::text, u"Ann"_s, u"hello"_s), nullptr);
    EXPECT_GE(row->heightForWidth(600), 140);
    row->setRowLayout({.mode = ViewMode::large, .availableWidth = 600, .fitHeight = 400});
    row->setItem(world.add(ItemKind::photo, u"Mum"_s), nullptr);
    EXPECT_EQ(row->heightForWidth(600), large);
}

// The list hands a card that scrolled away the next item to show; a photo card keeps its widgets
// for another photo, and nothing of what was shown, typed or zoomed on the last one may stay.
TEST_F(ItemRowTest, ACardHandedAnotherPhotoShowsOnlyThatPhotosOwnThings)
{
    ScreenItem first = world.add(ItemKind::photo, u"Mum"_s);
    first.barcodes = {u"4006381333931"_s};
    ScreenItem second = world.add(ItemKind::photo, u"Bob"_s);
    QImage red(64, 48, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(test::writeFile(world.store.fileURL(second), test::imageBytes(red, "JPEG")));
    const CardServices services {world.store, world.loader, world.permissions, nullptr, {}};
    const auto firstState = std::make_shared<CardState>();
    ItemRow row(services, first,
        ItemRowLayout {.mode = ViewMode::large, .availableWidth = 600, .fitHeight = 400},
        firstState);
    row.show();
    auto* note = row.findChild<QPlainTextEdit*>(u"noteField"_s);
    auto* tags = row.findChild<QLineEdit*>(u"tagInput"_s);
    ASSERT_TRUE(note && tags);
    // Typed and taken back: both notes are empty, and Undo must not type it into the other.
    QTest::keyClicks(note, u"left"_s);
    QTest::keyClick(note, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(note, Qt::Key_Delete);
    QTest::keyClicks(tags, u"fragile"_s);
    row.findChild<QSlider*>(u"zoomSlider"_s)->setValue(300);
    ASSERT_TRUE(note->document()->isUndoAvailable());
    ASSERT_NE(row.findChild<QWidget*>(u"barcodeChip"_s), nullptr);

    row.setItem(second, std::make_shared<CardState>());
    // What the card replaced goes once the event loop has run.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(note->toPlainText(), QString());
    EXPECT_FALSE(note->document()->isUndoAvailable()) << "Undo would bring back the other note";
    EXPECT_EQ(tags->text(), QString());
    EXPECT_EQ(row.findChild<QWidget*>(u"barcodeChip"_s), nullptr);
    EXPECT_EQ(labelText(row, u"cardSender"_s), u"from Bob"_s);
    auto* photo = row.findChild<ZoomableImageView*>();
    EXPECT_EQ(photo->zoom(), 1.0);
    EXPECT_EQ(row.findChild<QSlider*>(u"zoomSlider"_s)->value(), 100);
    EXPECT_TRUE(QTest::qWaitFor([photo] {
        return !photo->image().isNull() && qRed(photo->image().pixel(32, 24)) > 200
            && qGreen(photo->image().pixel(32, 24)) < 60;
    })) << "the other photo is shown";
    row.findChild<QPushButton*>(u"archiveButton"_s)->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(world.store.item(second.id)->status, ItemStatus::archived);
    EXPECT_EQ(world.store.item(first.id)->status, ItemStatus::inbox);

    // Back to the first: what its state kept comes back with it.
    row.setItem(first, firstState);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(tags->text(), u"fragile"_s);
    EXPECT_EQ(photo->zoom(), 3.0);
    EXPECT_EQ(labelText(row, u"cardSender"_s), u"from Mum"_s);
}

TEST_F(ItemRowTest, ALongTextShowsItsBeginningInACardNoTallerThanTheList)
{
    QString text;
    while (text.size() < 256 * 1024)
        text += u"words of a long letter, "_s + (text.size() % 7 == 0 ? u"\n"_s : QString());
    const CardServices services {
        world.store, world.loader, world.permissions, &invites, [] { return u"Desk"_s; }};
    for (const int area : {300, 700, 1200}) {
        SCOPED_TRACE(area);
        ItemRow row(services, world.add(ItemKind::text, u"Ann"_s, text),
            ItemRowLayout {.availableWidth = 600, .areaHeight = area},
            std::make_shared<CardState>());
        row.show();
        EXPECT_LE(row.heightForWidth(640), std::max(area, 400));
        EXPECT_TRUE(text.startsWith(labelText(row, u"cardText"_s).chopped(1)));

        auto* more = row.findChild<QPushButton*>(u"moreTextButton"_s);
        ASSERT_NE(more, nullptr);
        more->click();
        auto* whole = row.window()->findChild<QPlainTextEdit*>(u"wholeTextView"_s);
        ASSERT_NE(whole, nullptr);
        EXPECT_EQ(whole->toPlainText(), text);
    }
}

TEST_F(ItemRowTest, SecondaryTextReadsOnLightAndDarkPalettes)
{
    // The palettes `make shots` draws in; the names, times and hints are in the faded colour.
    const QPalette saved = QApplication::palette();
    for (const auto& [name, palette] :
        {std::pair {"light", test::lightPalette()}, std::pair {"dark", test::darkPalette()}}) {
        SCOPED_TRACE(name);
        QApplication::setPalette(palette);
        ScreenItem sent = world.add(ItemKind::photo, u"Mara"_s);
        const auto row = card(sent);
        int faded = 0;
        for (const QLabel* label : row->findChildren<QLabel*>()) {
            const QColor ink = label->palette().color(QPalette::WindowText);
            if (!label->isVisible() || label->text().isEmpty() || ink == successColor()
                || ink == destructiveColor() || ink == palette.color(QPalette::WindowText))
                continue;
            ++faded;
            EXPECT_GE(contrastRatio(ink, label->palette().color(QPalette::Window)), 4.5)
                << label->text().toStdString() << " in " << ink.name().toStdString();
        }
        EXPECT_GE(faded, 2);
    }
    QApplication::setPalette(saved);
}

// The list takes a card up again for another look or another item at any moment, and whatever
// the card counted or loaded for the last one may still land afterwards.
TEST_F(ItemRowTest, EveryKindInEveryLookSurvivesRebuildsAndBeingHandedOn)
{
    world.defaults.set(u"blurSenders"_s, u"Eve"_s);
    const ScreenItem missing = world.add(ItemKind::photo, u"Mum"_s);
    ASSERT_TRUE(QFile::remove(world.store.fileURL(missing)));
    const ScreenItem unreadable = world.add(ItemKind::photo, u"Mum"_s);
    ASSERT_TRUE(test::writeFile(world.store.fileURL(unreadable), "no picture at all"));
    const struct {
        const char* name;
        ScreenItem item;
    } kinds[] = {
        {"photo", world.add(ItemKind::photo, u"Mum"_s)},
        {"PDF", world.add(ItemKind::pdf, u"Mum"_s)},
        {"text", world.add(ItemKind::text, u"Mum"_s, u"hello"_s)},
        {"missing photo", missing},
        {"unreadable photo", unreadable},
        {"blurred photo", world.add(ItemKind::photo, u"Eve"_s)},
    };
    const struct {
        const char* name;
        ViewMode mode;
        bool simple;
    } looks[] = {
        {"large", ViewMode::large, false},
        {"compact", ViewMode::compact, false},
        {"simple", ViewMode::large, true},
    };
    const auto layout = [](ViewMode mode) {
        return ItemRowLayout {.mode = mode, .availableWidth = 600, .fitHeight = 400};
    };
    const CardServices services {world.store, world.loader, world.permissions, nullptr, {}};
    const QString simpleKey = QString::fromLatin1(card_keys::kSimpleMode);
    for (const auto& look : looks) {
        for (const auto& first : kinds) {
            SCOPED_TRACE(std::string(look.name) + ", first " + first.name);
            world.defaults.set(simpleKey, look.simple);
            ItemRow row(services, first.item, layout(look.mode), nullptr);
            row.show();
            for (const auto& next : looks) {
                SCOPED_TRACE(std::string("then ") + next.name);
                world.defaults.set(simpleKey, next.simple);
                row.setRowLayout(layout(next.mode));
                for (const auto& other : kinds) {
                    row.setItem(other.item, nullptr);
                    QCoreApplication::processEvents();
                }
                row.setItem(first.item, nullptr);
                QCoreApplication::processEvents();
                EXPECT_EQ(row.item().id, first.item.id);
            }
            // Back in the large look, a PDF shows its own count, whatever the card went through.
            world.defaults.set(simpleKey, false);
            row.setRowLayout(layout(ViewMode::large));
            if (first.item.kind == ItemKind::pdf)
                QTRY_COMPARE(labelText(row, u"pdfPages"_s), u"3 pages"_s);
        }
    }
}

// A click runs once its own event is over; the list may hand the card the next item before then.
TEST_F(ItemRowTest, AClickIsNeverDoneToTheItemTheCardIsHandedBeforeItsTurn)
{
    world.defaults.set(u"confirmDelete"_s, false);
    world.defaults.set(u"blurSenders"_s, u"Eve"_s);
    const struct {
        const char* name;
        QString sender;
        QString button;
    } cases[] = {
        {"Delete on the action bar", u"Mum"_s, u"deleteButton"_s},
        {"Reveal on a blurred photo", u"Eve"_s, u"revealButton"_s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto row = card(world.add(ItemKind::photo, c.sender));
        const ScreenItem next = world.add(ItemKind::photo, c.sender);
        const auto nextState = std::make_shared<CardState>();
        auto* button = row->findChild<QPushButton*>(c.button);
        ASSERT_NE(button, nullptr);
        button->click();
        row->setItem(next, nextState);
        QCoreApplication::processEvents();
        EXPECT_TRUE(world.store.item(next.id).has_value());
        EXPECT_FALSE(nextState->revealed);
    }
}

TEST_F(ItemRowTest, APhotoThatCannotBeDecodedSaysSoInEveryLayout)
{
    ScreenItem item = world.add(ItemKind::photo, u"Ann"_s);
    // Taken as a picture by its first bytes; nothing after them decodes.
    ASSERT_TRUE(test::writeFile(world.store.fileURL(item),
        QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(2000, '\x5a')));
    const auto compact = card(item, ViewMode::compact);
    const auto* thumbnail = compact->findChild<ThumbnailView*>(u"compactThumbnail"_s);
    ASSERT_TRUE(thumbnail);
    // Four attempts a little apart, for a file still being written, before it gives up.
    ASSERT_TRUE(QTest::qWaitFor([&] { return thumbnail->failed(); }, 20000));
    const auto* said = thumbnail->findChild<QLabel*>(u"thumbnailFailure"_s);
    ASSERT_TRUE(said);
    EXPECT_TRUE(said->isVisible());
    EXPECT_EQ(said->text(), u"This photo could not be opened"_s);

    const auto large = card(item, ViewMode::large);
    const auto* error = large->findChild<QWidget*>(u"photoError"_s);
    ASSERT_TRUE(error);
    ASSERT_TRUE(QTest::qWaitFor([&] { return error->isVisible(); }, 20000));
    EXPECT_TRUE(error->findChildren<QLabel*>().size() >= 2);
    bool same = false;
    for (const QLabel* label : error->findChildren<QLabel*>())
        same = same || label->text() == said->text();
    EXPECT_TRUE(same) << "one text for an unreadable photo";
}

// A card that showed another item is handed a PDF whose arrival is still being written: the page
// shows once the file has its own name.
TEST_F(ItemRowTest, ACardReusedForAnArrivingPdfShowsItsFirstPage)
{
    for (const ViewMode mode : {ViewMode::large, ViewMode::compact}) {
        SCOPED_TRACE(toString(mode).toStdString());
        const auto row = card(world.add(ItemKind::photo, u"Mum"_s), mode);
        ScreenItem pdf;
        pdf.id = QUuid::createUuid();
        pdf.receivedAt = QDateTime::currentDateTime();
        pdf.sender = u"Mum"_s;
        pdf.kind = ItemKind::pdf;
        pdf.filename = pdf.id.toString(QUuid::WithoutBraces) + u".pdf"_s;
        ASSERT_TRUE(test::writePdf(world.store.unfinishedFileURL(pdf), 2));
        world.store.appendWithUnfinishedFile(pdf, {});
        row->setItem(pdf, std::make_shared<CardState>());

        ThumbnailView* page = nullptr;
        const bool shown = QTest::qWaitFor(
            [&] {
                page = row->findChild<ThumbnailView*>();
                return page && !page->image().isNull();
            },
            10000);
        EXPECT_TRUE(shown) << (page && page->failed() ? "the placeholder is shown" : "no page");
    }
}
