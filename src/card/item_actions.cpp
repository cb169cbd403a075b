#include "card/item_actions.h"

#include "platform/defaults.h"
#include "platform/thumbnail_loader.h"
#include "store/item_queries.h"
#include "store/item_recognition.h"
#include "store/item_store.h"

#include <charconv>
#include <cmath>

namespace vesker {

namespace {

constexpr int kLargestEdit = 6000;
constexpr auto kRelayPrefix = "relay:";
// A free map that needs no account.
constexpr auto kMapsAddress = "https://www.openstreetmap.org/";
// Streets and their names.
constexpr int kMapZoom = 16;

// The shortest decimal that reads back as the same double, without an exponent: an address is
// read by people too.
QString shortestDecimal(double value)
{
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    return QString::fromLatin1(text, result.ptr - text);
}

} // namespace

ItemActions::AckLook ItemActions::look(AckAction action)
{
    switch (action) {
    case AckAction::gotIt:
        return {QStringLiteral("Got it"), QStringLiteral("hand.thumbsup")};
    case AckAction::archive:
        return {QStringLiteral("Archived"), QStringLiteral("archivebox")};
    case AckAction::delete_:
        return {QStringLiteral("Deleted"), QStringLiteral("trash")};
    case AckAction::later:
        return {QStringLiteral("Saved for later"), QStringLiteral("clock")};
    case AckAction::onIt:
        return {QStringLiteral("On it"), QStringLiteral("figure.walk")};
    case AckAction::cantRead:
        return {QStringLiteral("Can't read it"), QStringLiteral("eye.slash")};
    case AckAction::sendAnother:
        return {QStringLiteral("Send another"), QStringLiteral("camera.rotate")};
    case AckAction::wrongScreen:
        return {QStringLiteral("Wrong screen"), QStringLiteral("arrow.uturn.left")};
    }
    return {};
}

const QList<AckAction>& ItemActions::relayReplies()
{
    static const QList<AckAction> replies {
        AckAction::onIt, AckAction::cantRead, AckAction::sendAnother, AckAction::wrongScreen};
    return replies;
}

ItemActions::Offered ItemActions::offered(const ScreenItem& item, bool compactBar)
{
    Offered offered;
    offered.gotIt = !item.acknowledged && !item.deviceID.isEmpty();
    if (compactBar) {
        offered.archive = true;
        return offered;
    }
    offered.reply = item.deviceID.startsWith(QLatin1String(kRelayPrefix));
    offered.skip = item.status == ItemStatus::inbox;
    offered.backToInbox = item.status != ItemStatus::inbox;
    offered.archive = item.status != ItemStatus::archived;
    offered.wholeSet = item.status != ItemStatus::archived && item.groupCount >= 2;
    offered.location = item.lat.has_value() && item.lon.has_value();
    return offered;
}

bool ItemActions::asksBeforeDelete(const platform::Defaults& defaults)
{
    return defaults.boolValue(QStringLiteral("confirmDelete"), true);
}

void ItemActions::gotIt(ItemStore& store, const ScreenItem& item)
{
    store.acknowledge(item.id, toString(AckAction::gotIt));
}

void ItemActions::reply(ItemStore& store, const ScreenItem& item, AckAction action)
{
    store.acknowledge(item.id, toString(action));
}

void ItemActions::skip(ItemStore& store, const ScreenItem& item)
{
    store.move(item, ItemStatus::later);
}

void ItemActions::backToInbox(ItemStore& store, const ScreenItem& item)
{
    store.move(item, ItemStatus::inbox);
}

void ItemActions::archive(ItemStore& store, const ScreenItem& item)
{
    SaveBatch batch(store);
    // Its sender hears "archived" only of an item that is.
    if (store.move(item, ItemStatus::archived))
        store.acknowledge(item.id, toString(AckAction::archive));
}

void ItemActions::delete_(ItemStore& store, const ScreenItem& item)
{
    store.delete_(item.id);
}

void ItemActions::archiveSet(ItemStore& store, const ScreenItem& item)
{
    SaveBatch batch(store);
    store.archive(item);
}

void ItemActions::deleteSet(ItemStore& store, const ScreenItem& item)
{
    const QList<ScreenItem> members = groupOf(store.items(), item);
    SaveBatch batch(store);
    for (const ScreenItem& member : members)
        store.delete_(member.id);
}

OutgoingItem ItemActions::forward(const ItemStore& store, const ScreenItem& item)
{
    OutgoingItem outgoing {.note = item.note};
    if (item.kind == ItemKind::text)
        outgoing.text = QString::fromUtf8(item.text);
    else
        outgoing.imageURL = QUrl::fromLocalFile(store.fileURL(item));
    return outgoing;
}

std::optional<QUrl> ItemActions::locationLink(double lat, double lon)
{
    if (!std::isfinite(lat) || !std::isfinite(lon))
        return std::nullopt;
    // The map puts its marker at mlat/mlon and centres where the fragment says; it ignores the
    // "ll" and "q" of other map services.
    const QString north = shortestDecimal(lat);
    const QString east = shortestDecimal(lon);
    const QUrl link(QString::fromLatin1(kMapsAddress) + QStringLiteral("?mlat=") + north
            + QStringLiteral("&mlon=") + east + QStringLiteral("#map=") + QString::number(kMapZoom)
            + u'/' + north + u'/' + east,
        QUrl::StrictMode);
    if (!link.isValid())
        return std::nullopt;
    return link;
}

QString ItemActions::locationHelp(double lat, double lon)
{
    return QStringLiteral("Where this photo was taken — %1, %2")
        .arg(lat, 0, 'f', 5)
        .arg(lon, 0, 'f', 5);
}

std::optional<ImageEditOperations::Encoded> ItemActions::quarterTurned(
    const QString& path, bool clockwise)
{
    const QImage image = ThumbnailLoader::makeThumbnail(path, kLargestEdit);
    if (image.isNull())
        return std::nullopt;
    const std::optional<QImage> whole = ImageEditOperations::crop(
        ImageEditOperations::rotate(image, clockwise), QRectF(0, 0, 1, 1));
    if (!whole)
        return std::nullopt;
    return ImageEditOperations::encode(*whole, path);
}

void ItemActions::saveEditedImage(
    ItemStore& store, const QUuid& id, const ImageEditOperations::Encoded& image)
{
    const std::optional<ScreenItem> before = store.item(id);
    if (image.data.isEmpty() || !before)
        return;
    store.replaceImage(id, image.data, image.extension);
    const std::optional<ScreenItem> replaced = store.item(id);
    // A failed write keeps the old photo and what was read from it.
    if (!replaced || replaced->filename == before->filename)
        return;
    recognizeInBackground(
        store, *replaced, [](ItemStore& s, const QUuid& itemId, const Recognizer::Result& result) {
            s.setRecognition(itemId, result.barcodes, result.text);
        });
}

} // namespace vesker
