#pragma once

#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/permissions.h"
#include "platform/thumbnail_loader.h"
#include "store/item_store.h"
#include "support/manual_clock.h"
#include "support/test_images.h"

#include <QDir>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>

namespace vesker::test {

inline bool writePdf(const QString& path, int pages)
{
    const QByteArray pdf = pdfBytes(pages);
    return !pdf.isEmpty() && writeFile(path, pdf);
}

// A store in a temporary folder with its own settings, a loader of one thread and the
// permissions a card asks again.
struct CardWorld {
    QTemporaryDir dir;
    ManualClock settingsClock;
    platform::Defaults defaults {dir.filePath(QStringLiteral("defaults.json")), settingsClock};
    ItemStore store {dir.filePath(QStringLiteral("store")), defaults, platform::Clock::system()};
    ThumbnailLoader loader {1};
    Permissions permissions;

    ScreenItem add(ItemKind kind, const QString& sender, const QString& text = {})
    {
        ScreenItem item;
        item.id = QUuid::createUuid();
        item.receivedAt = QDateTime::currentDateTime();
        item.sender = sender;
        item.kind = kind;
        item.text = text.toUtf8();
        if (kind == ItemKind::photo) {
            item.filename = item.id.toString(QUuid::WithoutBraces) + QStringLiteral(".jpg");
            writeFile(QDir(store.inboxDir()).filePath(item.filename),
                imageBytes(whitePage(64, 48), "JPEG"));
        } else if (kind == ItemKind::pdf) {
            item.filename = item.id.toString(QUuid::WithoutBraces) + QStringLiteral(".pdf");
            writePdf(QDir(store.inboxDir()).filePath(item.filename), 3);
        }
        store.append(item);
        return item;
    }
};

} // namespace vesker::test
