// The sender and tag sidebar with a combined sender, a quiet one and tags; a speed review
// half-way through the Archive and at its end.
#include "shots.h"

#include "inbox/inbox_state.h"
#include "inbox/sidebar.h"
#include "inbox/sidebar_view.h"
#include "inbox/speed_review_sheet.h"
#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/thumbnail_loader.h"
#include "store/item_queries.h"
#include "store/item_store.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>

namespace vesker::shots {

namespace {

ScreenItem add(ItemStore& store, const QString& sender, ItemKind kind, int minutesAgo,
    const QString& text = {}, const QStringList& tags = {})
{
    ScreenItem item;
    item.id = QUuid::createUuid();
    item.receivedAt = QDateTime::currentDateTime().addSecs(-60 * minutesAgo);
    item.sender = sender;
    item.kind = kind;
    item.text = text.toUtf8();
    item.tags = tags;
    if (kind == ItemKind::photo) {
        item.filename = ItemStore::storedFileName(item.receivedAt, item.id, QStringLiteral("jpg"));
        QImage image(1200, 900, QImage::Format_RGB32);
        image.fill(QColor(70, 110, 140));
        QPainter painter(&image);
        painter.setBrush(QColor(250, 248, 240));
        painter.drawRoundedRect(QRect(200, 250, 800, 400), 24, 24);
        QFont font;
        font.setPixelSize(64);
        painter.setFont(font);
        painter.drawText(QRect(200, 250, 800, 400), Qt::AlignCenter, QStringLiteral("Shelf B-12"));
        painter.end();
        image.save(store.fileURL(item), "JPEG", 85);
    }
    store.append(item);
    return item;
}

void settle()
{
    for (int i = 0; i < 30; ++i) {
        QApplication::processEvents();
        QThread::msleep(20);
    }
}

} // namespace

void sidebarShots()
{
    QTemporaryDir dir;
    platform::Defaults defaults(
        dir.filePath(QStringLiteral("defaults.json")), platform::Clock::system());
    ItemStore store(dir.filePath(QStringLiteral("store")), defaults, platform::Clock::system());
    add(store, QStringLiteral("mum"), ItemKind::text, 50, QStringLiteral("Dinner at 7"));
    add(store, QStringLiteral("Mum-Phone"), ItemKind::photo, 40, {}, {QStringLiteral("receipts")});
    add(store, QStringLiteral("Warehouse iPad"), ItemKind::photo, 30, {},
        {QStringLiteral("stock"), QStringLiteral("receipts")});
    add(store, QStringLiteral("Sam & Alex's Pixel"), ItemKind::text, 20,
        QStringLiteral("Gate 4471"));
    add(store, QStringLiteral("Kiosk"), ItemKind::photo, 10, {}, {QStringLiteral("stock")});
    Sidebar::combine(QStringLiteral("Mum-Phone"), QStringLiteral("mum"), store, ItemFilter::all());
    Sidebar::setArrivalMode(SenderArrival::quiet, {QStringLiteral("Kiosk")}, store);
    Sidebar::setKnown(true, {QStringLiteral("Warehouse iPad")}, store);

    InboxState state(store, defaults);
    state.setFilter(ItemFilter::sender(QStringLiteral("mum")));
    SidebarView sidebar(state);
    sidebar.resize(SidebarView::kIdealWidth, 520);
    sidebar.show();
    settle();
    save(sidebar, QStringLiteral("sidebar"));

    {
        ItemStore nothing(
            dir.filePath(QStringLiteral("empty")), defaults, platform::Clock::system());
        InboxState fresh(nothing, defaults);
        SidebarView empty(fresh);
        empty.resize(SidebarView::kIdealWidth, 360);
        empty.show();
        save(empty, QStringLiteral("sidebar_empty"));
    }

    ThumbnailLoader thumbnails(2);
    for (const ScreenItem& item : store.items())
        store.move(item, ItemStatus::archived);
    SpeedReviewSheet review(store, thumbnails, itemsIn(store.items(), ItemStatus::archived));
    review.show();
    review.decide(false);
    review.decide(true);
    review.decide(false);
    settle();
    save(review, QStringLiteral("speed_review_midway"));
    review.previous();
    review.previous();
    settle();
    save(review, QStringLiteral("speed_review_marked"));
    review.decide(true);
    review.decide(true);
    review.decide(false);
    review.decide(true);
    settle();
    save(review, QStringLiteral("speed_review_end"));
    review.finish();
    settle();
    if (QWidget* box = review.confirmation()) {
        box->adjustSize();
        save(*box, QStringLiteral("speed_review_confirm"));
    }
}

} // namespace vesker::shots
