// What a card's actions and the window's item keys do, seen where the sender, the disk and the
// user see it: "/api/status" of the real server on 127.0.0.1, the store's folders and files,
// the card.
#include "card/item_actions.h"
#include "card/item_row.h"
#include "card/zoomable_image_view.h"
#include "image_edit/image_edit_operations.h"
#include "inbox/card_list_view.h"
#include "inbox/content_view.h"
#include "inbox_window_fixture.h"
#include "platform/thumbnail_loader.h"
#include "store/recognizer.h"
#include "support/temp_env.h"
#include "support/test_images.h"
#include "update/updater.h"

#include <QDir>
#include <QDrag>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QScrollBar>
#include <QTextDocumentFragment>
#include <QTimer>

using namespace vesker;
using namespace Qt::Literals::StringLiterals;

namespace {

class ItemActionsTest : public test::InboxWindowTest {
protected:
    // A photo (or text) from "dev-1", newer than every item before it.
    ScreenItem add(ItemKind kind = ItemKind::photo, const QByteArray& file = {},
        const QString& extension = u"jpg"_s)
    {
        ScreenItem item {.id = QUuid::createUuid(),
            .receivedAt = m_clock.now(),
            .sender = u"Ann"_s,
            .kind = kind,
            .text = "Table 4\nline two",
            .deviceID = u"dev-1"_s};
        m_clock.advance(60);
        if (kind == ItemKind::photo) {
            item.filename = uuidText(item.id) + u'.' + extension;
            test::writeFile(m_store.inboxDir() + u'/' + item.filename,
                file.isEmpty() ? test::imageBytes(test::whitePage(64, 48), "JPEG") : file);
        }
        m_store.append(item);
        QApplication::processEvents();
        return item;
    }

    // The delete confirmation on screen now, the card's or the window's own.
    QMessageBox* confirmation() const
    {
        for (auto* box : m_view->findChildren<QMessageBox*>(u"deleteConfirmation"_s))
            if (box->isVisible())
                return box;
        return nullptr;
    }

    QWidget* card(const ScreenItem& item) const { return m_view->cardList().cardFor(item.id); }

    void click(QWidget* parent, const QString& name)
    {
        auto* button = parent ? parent->findChild<QPushButton*>(name) : nullptr;
        ASSERT_NE(button, nullptr) << name.toStdString();
        button->click();
        QApplication::processEvents();
    }

    // What the disk says: the item's stored status, or "gone"; and whether dev-1 heard of it.
    std::pair<QString, bool> onDisk(const ScreenItem& item)
    {
        m_store.flush();
        const auto read
            = [](const QString& path) { return QJsonDocument::fromJson(test::fileBytes(path)); };
        QString status = u"gone"_s;
        for (const QJsonValue record : read(m_store.indexPath()).array())
            if (record[u"id"_s].toString().compare(uuidText(item.id), Qt::CaseInsensitive) == 0)
                status = record[u"status"_s].toString();
        const bool acked
            = read(m_store.acksPath())[u"dev-1"_s].toArray().contains(uuidText(item.id));
        return {status, acked};
    }
};

TEST_F(ItemActionsTest, GotItTellsThePhoneAndShowsSeen)
{
    open();
    const ScreenItem item = add();
    click(card(item), u"gotItButton"_s);
    const QJsonObject status
        = QJsonDocument::fromJson(http(u"/api/status?device=dev-1"_s).second).object();
    EXPECT_EQ(status[u"acked"_s].toArray(), QJsonArray {uuidText(item.id)});
    EXPECT_NE(card(item)->findChild<QWidget*>(u"cardSeen"_s), nullptr);
    EXPECT_EQ(card(item)->findChild<QWidget*>(u"gotItButton"_s), nullptr);
}

// Once said, "Got it" is gone from the full bar and from simple mode's compact one alike; the
// header's "Seen" says it.
TEST_F(ItemActionsTest, AnAcknowledgedItemShowsNoGotItInEitherBar)
{
    open();
    for (const bool simple : {false, true}) {
        SCOPED_TRACE(simple ? "compact bar" : "full bar");
        m_defaults.set(u"macSimpleMode"_s, simple);
        const ScreenItem item = add();
        // The bar is made again for the new setting; the press counts on the one that stays.
        ASSERT_TRUE(QTest::qWaitFor([&] {
            for (QPushButton* button : card(item)->findChildren<QPushButton*>(u"gotItButton"_s)) {
                if (button->isVisibleTo(card(item)))
                    button->click();
            }
            return m_store.item(item.id)->acknowledged;
        }));
        QWidget* shown = card(item);
        ASSERT_NE(shown, nullptr);
        for (const QAbstractButton* button : shown->findChildren<QAbstractButton*>()) {
            EXPECT_FALSE(button->isVisibleTo(shown) && button->text().contains(u"Got it"_s))
                << button->objectName().toStdString();
        }
        EXPECT_NE(shown->findChild<QWidget*>(u"cardSeen"_s), nullptr);
    }
}

TEST_F(ItemActionsTest, BarButtonsFileAwayOrDeleteAsTheySay)
{
    open();
    struct Case {
        const char* button;
        bool asksFirst;
        QString status; // in the index afterwards
        QString folder; // where the file is then; empty: nowhere
        bool acked;
        bool takenInArchive = false; // another file of its name is in Archive
    };
    for (const Case& c : {Case {"skipButton", true, u"later"_s, u"Inbox"_s, false},
             Case {"archiveButton", true, u"archived"_s, u"Archive"_s, true},
             Case {"deleteButton", false, u"gone"_s, {}, true},
             Case {"deleteButton", true, u"gone"_s, {}, true},
             // Last: it stays in the Inbox, where it would share the list with the next.
             Case {"archiveButton", true, u"inbox"_s, u"Inbox"_s, false, true}}) {
        SCOPED_TRACE(std::string(c.button) + (c.asksFirst ? " asking" : ""));
        m_defaults.set(u"confirmDelete"_s, c.asksFirst);
        const ScreenItem item = add();
        const QString name = item.filename;
        if (c.takenInArchive)
            test::writeFile(m_store.archiveDir() + u'/' + name, "someone else's");
        click(card(item), QString::fromLatin1(c.button));
        if (c.asksFirst && c.status == u"gone"_s) {
            QTest::keyClick(confirmation(), Qt::Key_Return);
            ASSERT_TRUE(QTest::qWaitFor([&] { return !confirmation(); }));
            EXPECT_EQ(onDisk(item).first, u"inbox"_s) << "Return never deletes";
            click(card(item), QString::fromLatin1(c.button));
            ASSERT_NE(confirmation(), nullptr);
            for (QAbstractButton* button : confirmation()->buttons())
                if (button->text() == u"Delete"_s)
                    button->click();
        }
        for (const auto* folder : {"Inbox", "Archive"})
            EXPECT_EQ(QFile::exists(m_store.rootDir() + u'/' + QLatin1String(folder) + u'/' + name),
                c.folder == QLatin1String(folder) || c.takenInArchive);
        EXPECT_EQ(onDisk(item), std::make_pair(c.status, c.acked));
    }
}

TEST_F(ItemActionsTest, ItemKeysActOnTheNewestItemEvenScrolledAway)
{
    open();
    QList<ScreenItem> items;
    for (int i = 0; i < 30; ++i)
        items.prepend(add(ItemKind::text));
    QScrollBar* bar = m_view->cardList().verticalScrollBar();
    bar->setValue(bar->maximum());
    QApplication::processEvents();
    ASSERT_EQ(card(items.at(0)), nullptr) << "the newest card is scrolled out of existence";

    QTest::keyClick(m_view.get(), Qt::Key_G, Qt::ControlModifier);
    EXPECT_TRUE(m_store.item(items.at(0).id)->acknowledged);
    EXPECT_FALSE(m_store.item(items.at(1).id)->acknowledged);

    // Asking first, without a card to ask: the window asks with the card's words.
    QTest::keyClick(m_view.get(), Qt::Key_Backspace, Qt::ControlModifier);
    ASSERT_NE(confirmation(), nullptr);
    EXPECT_EQ(confirmation()->text(), u"Delete this item?"_s);
    for (QAbstractButton* button : confirmation()->buttons())
        if (button->text() == u"Delete"_s)
            button->click();
    EXPECT_FALSE(m_store.item(items.at(0).id));
    EXPECT_TRUE(m_store.item(items.at(1).id));
}

// With the keyboard focus inside a card, the item keys are that card's: the item that moves or
// goes is the one the person is on, and the focus stays in the list.
TEST_F(ItemActionsTest, ItemKeysActOnTheCardHoldingTheFocus)
{
    open();
    m_defaults.set(u"confirmDelete"_s, true);
    m_view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_view.get()));
    struct Case {
        Qt::Key key;
        QString status; // of the focused card's item afterwards
        QString folder; // where its file is then; empty: nowhere
        bool staysListed;
    };
    for (const Case& c : {Case {Qt::Key_G, u"inbox"_s, u"Inbox"_s, true},
             Case {Qt::Key_E, u"archived"_s, u"Archive"_s, false},
             Case {Qt::Key_L, u"later"_s, u"Inbox"_s, false},
             Case {Qt::Key_Backspace, u"gone"_s, {}, false}}) {
        SCOPED_TRACE(QKeySequence(c.key | Qt::ControlModifier).toString().toStdString());
        const ScreenItem older = add();
        const ScreenItem target = add();
        const ScreenItem newest = add();
        auto* archive = card(target)->findChild<QPushButton*>(u"archiveButton"_s);
        ASSERT_NE(archive, nullptr);
        archive->setFocus(Qt::TabFocusReason);
        QTest::keyClick(archive, c.key, Qt::ControlModifier);
        if (c.key == Qt::Key_Backspace) {
            ASSERT_NE(confirmation(), nullptr);
            EXPECT_EQ(confirmation()->text(), u"Delete this item?"_s);
            const QString named
                = QTextDocumentFragment::fromHtml(confirmation()->informativeText()).toPlainText();
            EXPECT_TRUE(named.startsWith(u"Ann · "_s)) << named.toStdString();
            EXPECT_TRUE(named.contains(target.filename)) << named.toStdString();
            for (QAbstractButton* button : confirmation()->buttons())
                if (button->text() == u"Delete"_s)
                    button->click();
        }
        const bool acked = c.key != Qt::Key_L;
        EXPECT_EQ(onDisk(target), std::make_pair(c.status, acked));
        EXPECT_EQ(onDisk(newest), std::make_pair(u"inbox"_s, false));
        EXPECT_EQ(onDisk(older), std::make_pair(u"inbox"_s, false));
        for (const auto* folder : {"Inbox", "Archive"})
            EXPECT_EQ(QFile::exists(m_store.rootDir() + u'/' + QLatin1String(folder) + u'/'
                          + target.filename),
                c.folder == QLatin1String(folder));
        // On the same card, or on the one that took its place.
        const QUuid expected = c.staysListed ? target.id : older.id;
        EXPECT_TRUE(QTest::qWaitFor([&] { return focusedItem() == expected; }))
            << "focus on "
            << (QApplication::focusWidget()
                       ? QApplication::focusWidget()->objectName().toStdString()
                       : "nothing");
        ItemActions::archive(m_store, newest);
        ItemActions::archive(m_store, older);
        if (c.staysListed)
            ItemActions::archive(m_store, target);
        QApplication::processEvents();
    }
}

// The preview shows the card's picture from its first frame, while the whole photo loads.
TEST_F(ItemActionsTest, ThePreviewShowsTheCardsPictureAtOnce)
{
    open();
    QImage red(64, 48, QImage::Format_RGB32);
    red.fill(QColor(220, 30, 30));
    const ScreenItem item = add(ItemKind::photo, test::imageBytes(red, "PNG"), u"png"_s);
    auto* photo = card(item)->findChild<QWidget*>(u"cardPhoto"_s);
    ASSERT_NE(photo, nullptr);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !qobject_cast<ZoomableImageView*>(photo)->image().isNull(); }));

    // Drawn the moment the sheet shows, before any loading could have finished.
    struct FirstFrame : QObject {
        QImage frame;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::Show && watched->objectName() == u"previewSheet"_s
                && frame.isNull())
                frame = static_cast<QWidget*>(watched)->grab().toImage();
            return false;
        }
    } first;
    qApp->installEventFilter(&first);
    QTest::mouseClick(photo, Qt::LeftButton, {}, photo->rect().center());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !first.frame.isNull(); }));
    qApp->removeEventFilter(&first);
    const QImage frame = first.frame.convertToFormat(QImage::Format_RGB32);
    int reddish = 0;
    for (int y = 0; y < frame.height(); y += 4)
        for (int x = 0; x < frame.width(); x += 4)
            if (const QColor c = frame.pixelColor(x, y); c.red() > 180 && c.green() < 80)
                ++reddish;
    EXPECT_GT(reddish, frame.width() * frame.height() / 16 / 4) << "a quarter of it is the photo";
}

// A portrait photo with a dark mark in its top-left corner and a QR code in the middle.
QImage markedPhoto(int width, int height)
{
    QImage photo = test::whitePage(width, height);
    QPainter painter(&photo);
    painter.fillRect(0, 0, width / 8, width / 8, Qt::black);
    const QImage code = test::barcodeImage(ZXing::BarcodeFormat::QRCode, "SHELF-42", 300, 300);
    painter.drawImage((width - code.width()) / 2, (height - code.height()) / 2, code);
    return photo;
}

TEST_F(ItemActionsTest, TurningAPhotoSavesItUprightAsItsBytesAndReadsItsCodeAgain)
{
    const QImage upright = markedPhoto(400, 600);
    QTemporaryDir scratch;
    const QString heic = scratch.filePath(u"a.heic"_s);
    ASSERT_TRUE(test::writeHeic(heic, upright));
    QFile heicFile(heic);
    ASSERT_TRUE(heicFile.open(QIODevice::ReadOnly));
    struct Case {
        const char* name;
        QByteArray file;
        QString extension;
        bool clockwise;
        QSize saved;
        QPoint mark; // a point of the saved photo inside the dark mark
        bool code;
    };
    for (const Case& c : {// Stored sideways, shown upright by its orientation tag.
             Case {"tagged JPEG",
                 test::jpegWithOrientation(upright.transformed(QTransform().rotate(-90)), 6),
                 u"jpg"_s, true, {600, 400}, {580, 20}, true},
             Case {"HEIC", heicFile.readAll(), u"heic"_s, false, {600, 400}, {20, 380}, true},
             Case {"8000 by 6000", test::imageBytes(markedPhoto(8000, 6000), "JPEG", 60), u"jpg"_s,
                 true, {4500, 6000}, {4480, 20}, false}}) {
        SCOPED_TRACE(c.name);
        const ScreenItem item = add(ItemKind::photo, c.file, c.extension);
        auto state = std::make_shared<CardState>();
        state->zoom = 3;
        ItemRow row({.store = m_store, .thumbnails = m_thumbnails, .permissions = m_permissions},
            item, {.availableWidth = 600, .fitHeight = 400}, state);
        row.rotate(c.clockwise);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return m_store.item(item.id)->filename != item.filename; }, 20000));
        const ScreenItem turned = *m_store.item(item.id);
        EXPECT_TRUE(turned.filename.endsWith(u".jpg"_s)) << turned.filename.toStdString();
        EXPECT_FALSE(QFile::exists(m_store.fileURL(item)));
        EXPECT_EQ(state->zoom, 1.0);
        QImageReader reader(m_store.fileURL(turned));
        reader.setAutoTransform(false);
        const QImage saved = reader.read();
        EXPECT_EQ(saved.size(), c.saved);
        EXPECT_LT(qGray(saved.pixel(c.mark)), 64) << "the mark is where an upright turn puts it";
        if (c.code) {
            ASSERT_TRUE(
                QTest::qWaitFor([&] { return !m_store.item(item.id)->barcodes.isEmpty(); }, 20000));
            EXPECT_EQ(m_store.item(item.id)->barcodes, QStringList {u"QR SHELF-42"_s});
        }
    }
    Recognizer::pool().waitForDone();
}

TEST_F(ItemActionsTest, DraggingAPhotoOutOffersOnlyACopyOfTheStoredFile)
{
    const ScreenItem item = add();
    ItemRow row({.store = m_store, .thumbnails = m_thumbnails, .permissions = m_permissions}, item,
        {.availableWidth = 600, .fitHeight = 400}, std::make_shared<CardState>());
    row.show();
    auto* photo = row.findChild<QWidget*>(u"cardPhoto"_s);
    ASSERT_NE(photo, nullptr);
    const QPointF from = photo->rect().center();
    QMouseEvent press(QEvent::MouseButtonPress, from, photo->mapToGlobal(from), Qt::LeftButton,
        Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(photo, &press);
    // The drag runs its own loop until it ends; this ends it.
    QTimer::singleShot(50, [] { QDrag::cancel(); });
    const QPointF to = from + QPointF(40, 40);
    QMouseEvent move(QEvent::MouseMove, to, photo->mapToGlobal(to), Qt::LeftButton, Qt::LeftButton,
        Qt::NoModifier);
    QApplication::sendEvent(photo, &move);

    auto* drag = photo->findChild<QDrag*>();
    ASSERT_NE(drag, nullptr);
    EXPECT_EQ(drag->supportedActions(), Qt::CopyAction);
    EXPECT_EQ(drag->mimeData()->urls(), QList<QUrl> {QUrl::fromLocalFile(m_store.fileURL(item))});
}

TEST(ItemActions, LocationLinkCarriesBothCoordinatesInTheirShortestExactForm)
{
    struct Case {
        double lat, lon;
        QString place, help;
    };
    for (const Case& c : {Case {48.8584, 2.2945, u"48.8584,2.2945"_s, u"48.85840, 2.29450"_s},
             Case {-33.86, 151.2093, u"-33.86,151.2093"_s, u"-33.86000, 151.20930"_s},
             Case {0.00001, 0, u"0.00001,0"_s, u"0.00001, 0.00000"_s}}) {
        EXPECT_EQ(ItemActions::locationLink(c.lat, c.lon),
            QUrl(u"https://www.openstreetmap.org/?mlat=%1&mlon=%2#map=16/%1/%2"_s.arg(
                c.place.section(u',', 0, 0), c.place.section(u',', 1, 1))));
        EXPECT_EQ(
            ItemActions::locationHelp(c.lat, c.lon), u"Where this photo was taken — "_s + c.help);
    }
    EXPECT_FALSE(ItemActions::locationLink(std::nan(""), 1));
}

TEST(ImageEdits, EncodeNamesItsBytesAndCropRoundsHalvesOut)
{
    const QImage image = test::whitePage(101, 20);
    for (const auto& [like, extension, magic] :
        {std::tuple {"Shelf.PNG", "png", QByteArray("\x89PNG")},
            std::tuple {"a.heic", "jpg", QByteArray("\xff\xd8")},
            std::tuple {"b.jpeg", "jpg", QByteArray("\xff\xd8")}}) {
        const auto encoded = ImageEditOperations::encode(image, QString::fromLatin1(like));
        ASSERT_TRUE(encoded);
        EXPECT_EQ(encoded->extension, QLatin1String(extension));
        EXPECT_TRUE(encoded->data.startsWith(magic)) << like;
    }
    EXPECT_EQ(ImageEditOperations::crop(image, {0, 0, 0.5, 1})->width(), 51);
    EXPECT_FALSE(ImageEditOperations::crop(image, {1.2, 0, 0.5, 1}));
}

} // namespace
