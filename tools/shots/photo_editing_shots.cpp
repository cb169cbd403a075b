// The large photo zoomed in with its controls, and the crop-and-rotate editor in mid-crop.
#include "shots.h"

#include "card/item_row.h"
#include "card/zoomable_image_view.h"
#include "image_edit/image_edit_sheet.h"
#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/permissions.h"
#include "platform/thumbnail_loader.h"
#include "store/item_store.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLinearGradient>
#include <QPainter>
#include <QTemporaryDir>

namespace vesker::shots {

namespace {

// A sunset over hills with a sign on a post: enough shapes to see a crop and a zoom by.
QImage demoPhoto()
{
    QImage photo(1600, 1067, QImage::Format_RGB32);
    QPainter painter(&photo);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, photo.height());
    sky.setColorAt(0, QColor(0x2b, 0x4c, 0x7e));
    sky.setColorAt(0.6, QColor(0xf2, 0x9e, 0x4c));
    painter.fillRect(photo.rect(), sky);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xff, 0xd8, 0x6b));
    painter.drawEllipse(QPointF(1100, 560), 120, 120);
    painter.setBrush(QColor(0x3d, 0x5a, 0x3a));
    painter.drawEllipse(QRectF(-300, 620, 1300, 900));
    painter.setBrush(QColor(0x2e, 0x47, 0x2c));
    painter.drawEllipse(QRectF(600, 700, 1400, 800));
    painter.setBrush(QColor(0x5b, 0x3a, 0x22));
    painter.drawRect(QRectF(392, 560, 16, 260));
    painter.setBrush(QColor(0xf4, 0xf1, 0xe8));
    painter.drawRoundedRect(QRectF(290, 470, 220, 110), 8, 8);
    painter.setPen(QColor(0x22, 0x22, 0x22));
    QFont font = painter.font();
    font.setPixelSize(44);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QRectF(290, 470, 220, 110), Qt::AlignCenter, QStringLiteral("TRAIL 7"));
    return photo;
}

void waitFor(const std::function<bool()>& done)
{
    const QDeadlineTimer deadline(5000);
    while (!done() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

void photoEditingShots()
{
    QTemporaryDir dir;
    platform::Defaults defaults(
        dir.filePath(QStringLiteral("defaults.json")), platform::Clock::system());
    ItemStore store(dir.filePath(QStringLiteral("store")), defaults, platform::Clock::system());
    ThumbnailLoader loader(2);
    ScreenItem item {.id = QUuid::createUuid(),
        .receivedAt = QDateTime::currentDateTime().addSecs(-300),
        .sender = QStringLiteral("Anna's phone"),
        .kind = ItemKind::photo};
    item.filename = item.id.toString(QUuid::WithoutBraces) + QStringLiteral(".jpg");
    demoPhoto().save(QDir(store.inboxDir()).filePath(item.filename), "JPEG", 90);
    store.append(item);

    auto state = std::make_shared<CardState>();
    state->zoom = 2.5;
    Permissions permissions;
    const CardServices services {store, loader, permissions, nullptr, {}};
    ItemRow card(services, item, {.availableWidth = 840, .fitHeight = 460}, state);
    card.resize(900, card.heightForWidth(900));
    card.show();
    auto* photo = card.findChild<ZoomableImageView*>();
    waitFor([photo] { return !photo->image().isNull(); });
    card.resize(900, card.heightForWidth(900));
    save(card, QStringLiteral("card_photo_zoomed"));

    ImageEditSheet sheet(loader, store.fileURL(item), QStringLiteral("Edit photo"), {});
    sheet.show();
    waitFor([&sheet] { return !sheet.shownImage().isNull(); });
    sheet.setCrop(QRectF(0.12, 0.3, 0.5, 0.55));
    save(sheet, QStringLiteral("image_edit_sheet"));
}

} // namespace vesker::shots
