// Intake: what the receive side accepted becomes a stored item.
#include "server/server_controller.h"

#include "platform/atomic_file.h"
#include "platform/clock.h"
#include "platform/defaults.h"
#include "screens/hosted_screens_manager.h"
#include "store/item_store.h"
#include "store/recognizer.h"

#include <QClipboard>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>

namespace vesker {

namespace {

// Reads the item's photo on the recognizer's pool and hands the result to `done` on the main
// thread, unless the store has gone meanwhile.
template <typename Done>
void recognizeInBackground(ItemStore& store, const ScreenItem& item, Done done)
{
    const QString path = store.fileURL(item);
    if (path.isEmpty())
        return;
    auto* watcher = new QFutureWatcher<Recognizer::Result>(&store);
    QObject::connect(watcher, &QFutureWatcher<Recognizer::Result>::finished, &store,
        [&store, watcher, item, done] {
            watcher->deleteLater();
            done(store, item, watcher->result());
        });
    watcher->setFuture(Recognizer::recognize(path));
}

QString itemFilePath(const ItemStore& store, const ScreenItem& item)
{
    return store.inboxDir() + u'/' + item.filename;
}

} // namespace

HTTPResponse ServerController::storeUpload(const PendingUpload& upload)
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
        item.text = upload.text;
        break;
    case ItemKind::pdf:
        extension = QStringLiteral("pdf");
        item.originalName = upload.originalName;
        break;
    }
    item.filename = ItemStore::storedFileName(item.receivedAt, item.id, extension);

    QString error;
    const QByteArray content
        = upload.kind == ItemKind::text ? upload.text.toUtf8() : upload.imageData;
    // A text whose file cannot be written is still stored: its text is in the record.
    if (!platform::writeFileAtomically(itemFilePath(m_store, item), content, &error)
        && upload.kind != ItemKind::text) {
        return HTTPResponse::text(500,
            upload.kind == ItemKind::photo ? QStringLiteral("Save failed: ") + error
                                           : QStringLiteral("Couldn't save the file"));
    }

    {
        // One index write for the item with its place and group, not three: the sender is
        // waiting for the reply.
        const SaveBatch batch(m_store);
        m_store.append(item);
        if (upload.location)
            m_store.setLocation(item.id, upload.location->lat, upload.location->lon);
        m_store.setGroup(item.id, upload.groupID, upload.groupIndex, upload.groupCount);
    }
    if (item.kind == ItemKind::photo)
        recognizeIfEnabled(item);
    announceArrival(*m_store.item(item.id));

    const QJsonObject reply {
        {QStringLiteral("ok"), true}, {QStringLiteral("id"), uuidText(item.id)}};
    return {200, QStringLiteral("application/json"),
        QJsonDocument(reply).toJson(QJsonDocument::Compact)};
}

void ServerController::acceptRelayItem(const RelayManager::Incoming& incoming)
{
    ItemStore* target = nullptr;
    if (incoming.screenID == m_relay.relayScreenID()) {
        target = &m_store;
    } else {
        for (const HostedScreen& screen : m_hosted->screens()) {
            if (screen.id.toString(QUuid::Id128) == incoming.screenID) {
                target = m_hosted->store(screen);
                break;
            }
        }
    }
    if (!target)
        return;
    const bool mainStore = target == &m_store;

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
        item.kind = ItemKind::text;
        item.text = QString::fromUtf8(incoming.data);
        content = item.text.toUtf8();
        extension = QStringLiteral("txt");
    } else if (incoming.kind == QLatin1String("pdf")) {
        item.kind = ItemKind::pdf;
        item.originalName = incoming.header.filename.value_or(QString());
        extension = QStringLiteral("pdf");
    } else {
        item.kind = ItemKind::photo;
        extension = photoExtension(incoming.contentType);
    }
    item.filename = ItemStore::storedFileName(item.receivedAt, item.id, extension);
    if (!platform::writeFileAtomically(itemFilePath(*target, item), content)
        && item.kind != ItemKind::text)
        return;

    {
        const SaveBatch batch(*target);
        target->append(item);
        if (incoming.header.lat && incoming.header.lon)
            target->setLocation(item.id, *incoming.header.lat, *incoming.header.lon);
        if (const auto& group = incoming.header.group)
            target->setGroup(item.id, group->id, group->index, group->count);
    }
    if (item.kind == ItemKind::photo) {
        if (mainStore) {
            recognizeIfEnabled(item);
        } else {
            // A hosted screen reads every photo; its result is stored even when empty.
            recognizeInBackground(*target, item,
                [](ItemStore& store, const ScreenItem& item, const Recognizer::Result& result) {
                    store.setRecognition(item.id, result.barcodes, result.text);
                });
        }
    }
    if (mainStore)
        announceArrival(*target->item(item.id));
}

void ServerController::recognizeIfEnabled(const ScreenItem& item)
{
    if (!m_defaults.boolValue(QStringLiteral("recognizeOnArrival"), true))
        return;
    const QPointer<ServerController> weak(this);
    recognizeInBackground(m_store, item,
        [weak](ItemStore& store, const ScreenItem& item, const Recognizer::Result& result) {
            if (result.barcodes.isEmpty() && result.text.isEmpty())
                return;
            store.setRecognition(item.id, result.barcodes, result.text);
            // The clipboard needs a GUI application; a headless run has none.
            auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
            if (weak && gui && !result.barcodes.isEmpty()
                && weak->m_defaults.boolValue(QStringLiteral("autoCopyBarcode"), false)) {
                QGuiApplication::clipboard()->clear();
                QGuiApplication::clipboard()->setText(Recognizer::payload(result.barcodes.first()));
            }
        });
}

} // namespace vesker
