#include "receive/intake.h"

#include "access/access_types.h"
#include "platform/atomic_file.h"
#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/log.h"
#include "platform/media.h"
#include "receive/arrival.h"
#include "receive/desktop_actions.h"
#include "screens/hosted_screens_manager.h"
#include "store/item_recognition.h"
#include "store/item_store.h"
#include "store/recognizer.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QPointer>

#include <algorithm>

namespace vesker {

namespace {

// A phone shows the reason for a photo; a PDF's sender is told only that it was not kept.
HTTPResponse saveFailed(ItemKind kind, const QString& reason)
{
    if (kind == ItemKind::pdf)
        return HTTPResponse::text(500, QStringLiteral("Couldn't save the file"));
    return HTTPResponse::text(500, QStringLiteral("Save failed: ") + reason);
}

} // namespace

QString ItemIntake::keptText(const QString& text)
{
    const auto dropped = [](QChar c) {
        const char16_t u = c.unicode();
        return (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || (u >= 0x7f && u < 0xa0);
    };
    // Most texts have none: they are kept as they came, without a copy.
    if (std::none_of(text.begin(), text.end(), dropped))
        return text;
    QString kept = text;
    kept.removeIf(dropped);
    return kept;
}

ItemIntake::ItemIntake(ItemStore& store, HostedScreensManager& hosted, RelayManager& relay,
    platform::Defaults& defaults, const platform::Clock& clock, DesktopActions& desktop,
    ArrivalAnnouncer& arrival, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_hosted(hosted)
    , m_relay(relay)
    , m_defaults(defaults)
    , m_clock(clock)
    , m_desktop(desktop)
    , m_arrival(arrival)
{
    // Writes are disk-bound; a few at once keep the disk busy without crowding recognition.
    m_fileWriters.setMaxThreadCount(4);
}

ItemIntake::~ItemIntake()
{
    // Results of writes still under way are dropped with this object; their files are left
    // unfinished, which the store removes at its next start.
    m_fileWriters.waitForDone();
}

void ItemIntake::save(ItemStore& target, const ScreenItem& item, const QByteArray& content,
    const std::function<void(ItemStore&)>& extras, Stored stored)
{
    const QString path = target.unfinishedFileURL(item);
    // Syncing a photo of several megabytes to disk takes longer than everything else an arrival
    // costs the main thread, so it happens on a writer thread; the record follows once the
    // bytes are on disk.
    m_fileWriters.start([this, store = QPointer<ItemStore>(&target), item, content, extras, path,
                            stored = std::move(stored)]() mutable {
        QString error;
        const bool written = platform::writeFileAtomically(path, content, &error);
        QMetaObject::invokeMethod(
            this,
            [store, item, extras, path, written, error, stored = std::move(stored)] {
                if (!written) {
                    stored(error);
                    return;
                }
                if (!store) {
                    QFile::remove(path);
                    stored(QStringLiteral("the screen was closed"));
                    return;
                }
                // One index write for the item with its place and group: the sender is waiting
                // for it. Should that write fail, the store removes the file with the record.
                const SaveBatch batch(*store);
                store->appendWithUnfinishedFile(item, stored);
                if (extras)
                    extras(*store);
            },
            Qt::QueuedConnection);
    });
}

void ItemIntake::storeUpload(const PendingUpload& upload, HTTPReplyFunction done)
{
    storeInto(m_store, upload, std::move(done));
}

void ItemIntake::storeHostedUpload(
    ItemStore& target, const PendingUpload& upload, HTTPReplyFunction done)
{
    storeInto(target, upload, std::move(done));
}

void ItemIntake::storeInto(ItemStore& target, const PendingUpload& upload, HTTPReplyFunction done)
{
    ScreenItem item;
    item.id = QUuid::createUuid();
    item.receivedAt = m_clock.now();
    item.note = upload.note;
    item.sender = upload.sender;
    item.status = ItemStatus::inbox;
    item.kind = upload.kind;
    item.deviceID = upload.deviceID;

    QString extension;
    switch (upload.kind) {
    case ItemKind::photo:
        // Chosen by the upload handler from a fixed list; anything else is not trusted as a
        // file name part.
        extension = ItemStore::isPlainFileName(upload.fileExtension) ? upload.fileExtension
                                                                     : QStringLiteral("jpg");
        break;
    case ItemKind::text:
        extension = QStringLiteral("txt");
        item.text = keptUtf8(upload.text);
        break;
    case ItemKind::pdf:
        extension = QStringLiteral("pdf");
        item.originalName = upload.originalName;
        break;
    }
    item.filename = ItemStore::storedFileName(item.receivedAt, item.id, extension);
    const QByteArray content = upload.kind == ItemKind::text ? item.text : upload.imageData;

    const auto extras = [id = item.id, location = upload.location, groupID = upload.groupID,
                            index = upload.groupIndex, count = upload.groupCount](ItemStore& s) {
        if (location)
            s.setLocation(id, location->lat, location->lon);
        s.setGroup(id, groupID, index, count);
    };
    const QPointer<ItemIntake> weak(this);
    const QPointer<ItemStore> store(&target);
    save(target, item, content, extras,
        [weak, store, item, done = std::move(done)](const std::optional<QString>& error) {
            if (error) {
                qCWarning(lcServer).noquote() << "[intake] upload not stored:" << *error;
                if (done)
                    done(saveFailed(item.kind, *error));
                return;
            }
            if (weak && store == &weak->m_store) {
                if (item.kind == ItemKind::photo)
                    weak->recognizeIfEnabled(item);
                if (const auto stored = weak->m_store.item(item.id))
                    weak->m_arrival.announce(*stored);
            } else if (store && item.kind == ItemKind::photo) {
                // A hosted screen reads every photo and arrives without sound or window.
                recognizeInBackground(*store, item,
                    [](ItemStore& s, const QUuid& id, const Recognizer::Result& result) {
                        s.setRecognition(id, result.barcodes, result.text);
                    });
            }
            if (done) {
                const QJsonObject reply {
                    {QStringLiteral("ok"), true}, {QStringLiteral("id"), uuidText(item.id)}};
                done({200, QStringLiteral("application/json"),
                    QJsonDocument(reply).toJson(QJsonDocument::Compact)});
            }
        });
}

void ItemIntake::acceptRelayItem(const RelayManager::Incoming& incoming)
{
    ItemStore* target = nullptr;
    if (incoming.screenID == m_relay.relayScreenID()) {
        target = &m_store;
    } else {
        for (const HostedScreen& screen : m_hosted.screens()) {
            if (screen.id.toString(QUuid::Id128) == incoming.screenID) {
                target = m_hosted.store(screen);
                break;
            }
        }
    }
    if (!target)
        return;

    ScreenItem item;
    item.id = QUuid::createUuid();
    const QDateTime now = m_clock.now();
    item.receivedAt = incoming.sentAt.isValid() && incoming.sentAt < now ? incoming.sentAt : now;
    item.note = incoming.header.note;
    item.sender = incoming.header.senderName.isEmpty() ? QStringLiteral("Someone")
                                                       : incoming.header.senderName;
    item.status = ItemStatus::inbox;
    item.deviceID = QStringLiteral("relay:") + incoming.messageID;

    QString extension;
    QByteArray content = incoming.data;
    if (incoming.kind == QLatin1String("text")) {
        if (incoming.data.size() > kMaxTextBytes) {
            qCWarning(lcServer) << "[intake] a relay text over the size limit was dropped";
            return;
        }
        item.kind = ItemKind::text;
        item.text = keptUtf8(keptText(QString::fromUtf8(incoming.data)));
        content = item.text;
        extension = QStringLiteral("txt");
    } else if (incoming.kind == QLatin1String("pdf")) {
        item.kind = ItemKind::pdf;
        item.originalName = incoming.header.filename.value_or(QString());
        extension = QStringLiteral("pdf");
    } else {
        item.kind = ItemKind::photo;
        // Named as what it is; the type it came under only where its bytes do not say.
        extension = platform::pictureExtension(incoming.data);
        if (extension.isEmpty())
            extension = platform::photoExtension(incoming.contentType);
    }
    item.filename = ItemStore::storedFileName(item.receivedAt, item.id, extension);

    const HeaderPlain header = incoming.header;
    const auto extras = [id = item.id, header](ItemStore& s) {
        if (header.lat && header.lon)
            s.setLocation(id, *header.lat, *header.lon);
        if (const auto& group = header.group)
            s.setGroup(id, group->id, group->index, group->count);
    };
    const QPointer<ItemIntake> weak(this);
    const QPointer<ItemStore> store(target);
    save(*target, item, content, extras, [weak, store, item](const std::optional<QString>& error) {
        if (error) {
            qCWarning(lcServer).noquote() << "[intake] relay item not stored:" << *error;
            return;
        }
        if (!weak || !store)
            return;
        const bool mainStore = store == &weak->m_store;
        if (item.kind == ItemKind::photo && mainStore) {
            weak->recognizeIfEnabled(item);
        } else if (item.kind == ItemKind::photo) {
            // A hosted screen reads every photo; its result is stored even when empty.
            recognizeInBackground(
                *store, item, [](ItemStore& s, const QUuid& id, const Recognizer::Result& result) {
                    s.setRecognition(id, result.barcodes, result.text);
                });
        }
        // Items of a hosted screen arrive without sound, banner or window.
        if (const auto stored = store->item(item.id); stored && mainStore)
            weak->m_arrival.announce(*stored);
    });
}

void ItemIntake::recognizeIfEnabled(const ScreenItem& item)
{
    if (!m_defaults.boolValue(QStringLiteral("recognizeOnArrival"), true))
        return;
    const QPointer<ItemIntake> weak(this);
    recognizeInBackground(
        m_store, item, [weak](ItemStore& store, const QUuid& id, const Recognizer::Result& result) {
            if (result.barcodes.isEmpty() && result.text.isEmpty())
                return;
            store.setRecognition(id, result.barcodes, result.text);
            if (weak && !result.barcodes.isEmpty()
                && weak->m_defaults.boolValue(QStringLiteral("autoCopyBarcode"), false))
                weak->m_desktop.copyToClipboard(Recognizer::payload(result.barcodes.first()));
        });
}

} // namespace vesker
