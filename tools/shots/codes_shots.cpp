#include "shots.h"

#include "card/item_row.h"
#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/permissions.h"
#include "platform/thumbnail_loader.h"
#include "store/item_store.h"

#include <QDir>
#include <QEventLoop>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

namespace vesker::shots {

namespace {

// Thumbnails arrive from their own threads.
void settle()
{
    QEventLoop loop;
    QTimer::singleShot(400, &loop, &QEventLoop::quit);
    loop.exec();
}

ScreenItem receipt(ItemStore& store)
{
    ScreenItem item {.id = QUuid::createUuid(),
        .receivedAt = QDateTime::currentDateTimeUtc().addSecs(-300),
        .sender = QStringLiteral("Ann's Pixel"),
        .kind = ItemKind::photo};
    item.filename = item.id.toString(QUuid::WithoutBraces) + QStringLiteral(".jpg");
    QImage photo(800, 500, QImage::Format_RGB32);
    photo.fill(QColor(0xe8, 0xe4, 0xda));
    QPainter painter(&photo);
    painter.fillRect(260, 40, 280, 420, Qt::white);
    painter.setPen(Qt::black);
    for (int line = 0; line < 8; ++line)
        painter.drawLine(290, 80 + line * 30, 510 - (line % 3) * 40, 80 + line * 30);
    for (int bar = 0; bar < 40; ++bar)
        painter.fillRect(300 + bar * 5, 360, 1 + bar % 3, 60, Qt::black);
    painter.end();
    photo.save(QDir(store.inboxDir()).filePath(item.filename), "JPEG");
    store.append(item);
    store.setRecognition(item.id,
        {QStringLiteral("EAN-13 4006381333931"), QStringLiteral("QR https://example.com/r/8841")},
        QStringLiteral("CORNER SHOP\nReceipt 8841\n\nMilk 1.20\nBread 2.40\nTotal 3.60"));
    store.setNote(item.id, QStringLiteral("Keep for the warranty"));
    store.setTags({QStringLiteral("receipts"), QStringLiteral("Kitchen")}, item.id);
    return store.items().first();
}

} // namespace

void codesShots()
{
    QTemporaryDir dir;
    platform::Defaults defaults(
        dir.filePath(QStringLiteral("defaults.json")), platform::Clock::system());
    ItemStore store(dir.filePath(QStringLiteral("store")), defaults, platform::Clock::system());
    ThumbnailLoader loader(1);
    const ScreenItem item = receipt(store);
    Permissions permissions;
    const CardServices services {store, loader, permissions};

    ItemRow large(services, item,
        {.mode = ViewMode::large, .availableWidth = 700, .fitHeight = 260},
        std::make_shared<CardState>());
    large.resize(760, large.heightForWidth(760));
    large.show();
    settle();
    save(large, QStringLiteral("card_codes_collapsed"));
    large.findChild<QPushButton*>(QStringLiteral("moreTextButton"))->click();
    settle();
    large.resize(760, large.heightForWidth(760));
    save(large, QStringLiteral("card_codes_expanded"));

    ItemRow compact(services, item, {.mode = ViewMode::compact, .availableWidth = 700},
        std::make_shared<CardState>());
    compact.resize(760, compact.heightForWidth(760));
    compact.show();
    compact.activateWindow();
    auto* note = compact.findChild<QPlainTextEdit*>(QStringLiteral("noteField"));
    note->setFocus();
    note->appendPlainText(QStringLiteral("until March 2027, box in the hall"));
    compact.findChild<QLineEdit*>(QStringLiteral("tagInput"))->setText(QStringLiteral("paper, sh"));
    settle();
    compact.resize(760, compact.heightForWidth(760));
    save(compact, QStringLiteral("card_note_tags_editing"));
}

} // namespace vesker::shots
