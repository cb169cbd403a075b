#include "shots.h"

#include "card/item_row.h"
#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/permissions.h"
#include "platform/thumbnail_loader.h"
#include "store/item_store.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>

namespace vesker::shots {

namespace {

QString writePhoto(const QString& folder, const QUuid& id)
{
    QImage photo(1200, 800, QImage::Format_RGB32);
    QPainter painter(&photo);
    QLinearGradient sky(0, 0, 0, 800);
    sky.setColorAt(0, QColor(0x6a, 0x9f, 0xd8));
    sky.setColorAt(1, QColor(0xe8, 0xd9, 0xb5));
    painter.fillRect(photo.rect(), sky);
    painter.setBrush(QColor(0x3c, 0x5a, 0x3a));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPoint(300, 900), 700, 380);
    painter.end();
    const QString name = uuidText(id) + QStringLiteral(".jpg");
    photo.save(folder + u'/' + name, "JPEG", 85);
    return name;
}

// The photo comes from the loader's pool: a moment for it to arrive.
void settle()
{
    for (int i = 0; i < 60; ++i) {
        QThread::msleep(20);
        QApplication::processEvents();
    }
}

// The card with one of its bar's menus open below its button, as the user sees them together.
void saveWithMenu(ItemRow& card, const QString& buttonName, const QString& name)
{
    card.show();
    QApplication::processEvents();
    auto* button = card.findChild<QPushButton*>(buttonName);
    if (!button || !button->menu())
        return;
    QMenu* menu = button->menu();
    menu->adjustSize();
    const QPoint at = button->mapTo(&card, QPoint(0, button->height()));
    QPixmap picture(card.width(), std::max(card.height(), at.y() + menu->height() + 8));
    picture.fill(card.palette().color(QPalette::Window));
    QPainter painter(&picture);
    painter.drawPixmap(0, 0, card.grab());
    painter.drawPixmap(at, menu->grab());
    painter.setPen(card.palette().color(QPalette::Mid));
    painter.drawRect(QRect(at, menu->size()).adjusted(0, 0, -1, -1));
    painter.end();
    saveImage(picture, name);
}

} // namespace

void cardActionsShots()
{
    QTemporaryDir dir;
    platform::Defaults defaults(
        dir.filePath(QStringLiteral("defaults.json")), platform::Clock::system());
    ItemStore store(dir.filePath(QStringLiteral("store")), defaults, platform::Clock::system());
    ThumbnailLoader loader(1);
    Permissions permissions;
    const CardServices services {.store = store, .thumbnails = loader, .permissions = permissions};
    const ItemRowLayout layout {.availableWidth = 640, .fitHeight = 300};
    const QDateTime now = QDateTime::currentDateTimeUtc();

    ScreenItem seen {.id = QUuid::createUuid(),
        .receivedAt = now.addSecs(-300),
        .sender = QStringLiteral("Ann's phone"),
        .kind = ItemKind::photo,
        .deviceID = QStringLiteral("dev-1"),
        .acknowledged = true,
        .lat = 48.8584,
        .lon = 2.2945};
    seen.filename = writePhoto(store.inboxDir(), seen.id);
    store.append(seen);

    ScreenItem relayed {.id = QUuid::createUuid(),
        .receivedAt = now.addSecs(-90),
        .sender = QStringLiteral("Ben"),
        .kind = ItemKind::text,
        .text = "Parcel for flat 3 is at the front desk",
        .deviceID = QStringLiteral("relay:4f2a")};
    store.append(relayed);

    ScreenItem member {.id = QUuid::createUuid(),
        .receivedAt = now.addSecs(-30),
        .sender = QStringLiteral("Cleo"),
        .kind = ItemKind::photo,
        .deviceID = QStringLiteral("dev-2"),
        .groupID = QStringLiteral("set-1"),
        .groupIndex = 2,
        .groupCount = 3};
    member.filename = writePhoto(store.inboxDir(), member.id);
    store.append(member);

    const auto shoot = [&](const ScreenItem& item, const QString& name) {
        ItemRow card(services, item, layout, std::make_shared<CardState>());
        card.resize(700, card.heightForWidth(700));
        card.show();
        settle();
        card.resize(700, card.heightForWidth(700));
        save(card, name);
    };
    shoot(*store.item(seen.id), QStringLiteral("card_acknowledged"));
    {
        ItemRow card(services, *store.item(relayed.id), layout, std::make_shared<CardState>());
        card.resize(700, card.heightForWidth(700));
        saveWithMenu(card, QStringLiteral("replyButton"), QStringLiteral("card_reply_menu"));
    }
    {
        ItemRow card(services, *store.item(member.id), layout, std::make_shared<CardState>());
        card.resize(700, card.heightForWidth(700));
        card.show();
        settle();
        saveWithMenu(card, QStringLiteral("wholeSetButton"), QStringLiteral("card_set_menu"));
    }
    defaults.set(QStringLiteral("macSimpleMode"), true);
    shoot(*store.item(member.id), QStringLiteral("card_simple_bar"));
}

} // namespace vesker::shots
