#include "receive/browser_screen.h"

#include "access/access_manager.h"
#include "platform/defaults.h"
#include "platform/media.h"
#include "platform/time_text.h"
#include "receive/arrival.h"
#include "receive/web_pages.h"
#include "store/blur_rules.h"
#include "store/item_queries.h"
#include "store/item_store.h"
#include "store/senders.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

namespace vesker {

namespace {

const QString kScreen = QStringLiteral("/screen");
const QString kItems = QStringLiteral("/api/items");
const QString kImage = QStringLiteral("/api/image/");
const QString kThumb = QStringLiteral("/api/thumb/");
const QString kAck = QStringLiteral("/api/ack");
const QString kLater = QStringLiteral("/api/later");
const QString kArchive = QStringLiteral("/api/archive");

HTTPResponse notFound()
{
    return HTTPResponse::text(404, QStringLiteral("Not found"));
}

HTTPResponse json(const QJsonObject& object)
{
    return {200, QStringLiteral("application/json"),
        QJsonDocument(object).toJson(QJsonDocument::Compact)};
}

std::optional<QUuid> uuid(const QString& text)
{
    // The hyphenated form only, as ids are written in the index and the page's addresses.
    if (text.size() != 36)
        return std::nullopt;
    const QUuid id = QUuid::fromString(text);
    return id.isNull() ? std::nullopt : std::optional(id);
}

} // namespace

BrowserScreen::BrowserScreen(ItemStore& store, AccessManager& access, platform::Defaults& defaults,
    const platform::Clock& clock, std::function<QString()> screenName, ViewerGate gate)
    : m_store(store)
    , m_access(access)
    , m_defaults(defaults)
    , m_screenName(std::move(screenName))
    , m_gate(gate)
    , m_log(store.rootDir() + QStringLiteral("/browser-log.txt"), defaults, clock)
{ }

BrowserScreen::~BrowserScreen() = default;

bool BrowserScreen::handles(const QString& path)
{
    return path == kScreen || path.startsWith(kItems) || path.startsWith(kImage)
        || path.startsWith(kThumb) || path == kAck || path == kLater || path == kArchive;
}

bool BrowserScreen::flag(const char* key, bool fallback) const
{
    return m_defaults.boolValue(QLatin1String(key), fallback);
}

QString BrowserScreen::viewerPIN() const
{
    if (m_gate == ViewerGate::owner)
        return {};
    QString pin = m_defaults.string(QStringLiteral("viewerPIN"));
    qsizetype start = 0;
    qsizetype end = pin.size();
    auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (start < end && blank(pin.at(start)))
        ++start;
    while (end > start && blank(pin.at(end - 1)))
        --end;
    return pin.mid(start, end - start);
}

std::optional<QByteArray> BrowserScreen::screenPage(const QString& basePath) const
{
    if (m_gate == ViewerGate::settings && !flag("allowBrowserScreens", false))
        return std::nullopt;
    return screenPageHTML(m_screenName(), basePath).toUtf8();
}

void BrowserScreen::handle(
    const HTTPRequest& request, HTTPReplyFunction reply, const QString& basePath)
{
    const bool bySettings = m_gate == ViewerGate::settings;
    if (bySettings && !flag("allowBrowserScreens", false)) {
        return reply(HTTPResponse::text(
            404, QStringLiteral("Browser screens are turned off on this screen")));
    }
    const QString& path = request.path;
    if (path == kScreen)
        return reply({200, QStringLiteral("text/html; charset=utf-8"), *screenPage(basePath)});
    // The code is guessed no faster here than on the upload routes. A screen that gave the
    // right code is known by its address, as a phone is by its device id and address, so that
    // a flood of guesses does not blank it; a guess from there still counts.
    if (bySettings && m_access.codeRequired()) {
        const QString& address = request.remoteAddress;
        switch (m_access.tryCode(request.query.value(QStringLiteral("code")), address,
            QStringLiteral("browser-screen@") + address)) {
        case AccessManager::CodeCheck::right:
            break;
        case AccessManager::CodeCheck::wrong:
            return reply(HTTPResponse::text(401, QStringLiteral("Access code required")));
        case AccessManager::CodeCheck::notChecked:
            return reply(HTTPResponse::tooManyTries(m_access.secondsUntilChecked(address)));
        }
    }
    const bool get = request.method == QLatin1String("GET");
    const bool post = request.method == QLatin1String("POST");
    if (get && path == kItems)
        return items(request, std::move(reply));
    if (get && path.startsWith(kImage))
        return image(path, std::move(reply));
    if (get && path.startsWith(kThumb))
        return thumbnail(path, std::move(reply));
    if (post && path == kAck)
        return act(request, QStringLiteral("got-it"), std::move(reply));
    if (post && path == kLater)
        return act(request, QStringLiteral("later"), std::move(reply));
    if (post && path == kArchive)
        return act(request, QStringLiteral("archive"), std::move(reply));
    reply(notFound());
}

QJsonObject BrowserScreen::itemJSON(const ScreenItem& item, bool viewerBlurAll) const
{
    bool blurred = false;
    if (item.kind == ItemKind::photo) {
        const BlurRules rules(m_defaults);
        blurred = rules.shouldBlur(item.sender) || (viewerBlurAll && !rules.isKnown(item.sender));
    }
    return {{QStringLiteral("id"), item.id.toString(QUuid::WithoutBraces).toUpper()},
        {QStringLiteral("kind"), toString(item.kind)},
        {QStringLiteral("sender"), Senders::displayName(item.sender, m_defaults)},
        {QStringLiteral("when"), platform::shortTimeText(item.receivedAt)},
        {QStringLiteral("note"), item.note},
        {QStringLiteral("text"),
            item.kind == ItemKind::text ? QString::fromUtf8(item.text) : QString()},
        {QStringLiteral("barcodes"), QJsonArray::fromStringList(item.barcodes)},
        {QStringLiteral("acknowledged"), item.acknowledged}, {QStringLiteral("blurred"), blurred}};
}

std::optional<ScreenItem> BrowserScreen::itemFromPath(const QString& path) const
{
    const QStringList pieces = path.split(u'/', Qt::SkipEmptyParts);
    if (pieces.isEmpty())
        return std::nullopt;
    const auto id = uuid(pieces.last());
    return id ? m_store.item(*id) : std::nullopt;
}

void BrowserScreen::items(const HTTPRequest& request, HTTPReplyFunction reply)
{
    m_log.record(QStringLiteral("view"), request.remoteAddress);
    const bool blurAll = flag("viewerBlurAll", false);
    QJsonArray list;
    for (const ScreenItem& item : itemsIn(m_store.items(), ItemStatus::inbox))
        list.append(itemJSON(item, blurAll));
    reply(json({{QStringLiteral("items"), list},
        {QStringLiteral("can"),
            QJsonObject {{QStringLiteral("ack"), flag("viewerCanAck", true)},
                {QStringLiteral("later"), flag("viewerCanLater", false)},
                {QStringLiteral("archive"), flag("viewerCanArchive", false)}}},
        {QStringLiteral("needsPin"), !viewerPIN().isEmpty()}}));
}

void BrowserScreen::image(const QString& path, HTTPReplyFunction reply)
{
    const auto item = itemFromPath(path);
    if (!item || item->kind == ItemKind::text)
        return reply(notFound());
    const QString file = m_store.fileURL(*item);
    if (file.isEmpty() || !QFileInfo(file).isFile())
        return reply(notFound());
    // Sent from the file a piece at a time as the peer reads it, never read whole.
    reply({200, platform::mimeType(item->filename), {}, file});
}

void BrowserScreen::thumbnail(const QString& path, HTTPReplyFunction reply)
{
    const auto item = itemFromPath(path);
    if (!item || item->kind == ItemKind::text)
        return reply(notFound());
    m_thumbnails.request(item->id, m_store.fileURL(*item),
        [reply = std::move(reply)](const std::optional<QByteArray>& jpeg) {
            reply(jpeg ? HTTPResponse {200, QStringLiteral("image/jpeg"), *jpeg} : notFound());
        });
}

void BrowserScreen::act(const HTTPRequest& request, const QString& action, HTTPReplyFunction reply)
{
    const char* permission = action == QLatin1String("got-it") ? "viewerCanAck"
        : action == QLatin1String("later")                     ? "viewerCanLater"
                                                               : "viewerCanArchive";
    if (!flag(permission, action == QLatin1String("got-it")))
        return reply(HTTPResponse::text(403, QStringLiteral("Not allowed on browser screens")));

    if (const QString pin = viewerPIN(); !pin.isEmpty()) {
        const QString& address = request.remoteAddress;
        // A press before the PIN was typed is no guess: the viewer is only asked for it. A page
        // whose PIN was right is known by its address, as on the item list.
        SecretGuard& guard = m_access.secretGuard(AccessManager::kViewerPinSecret);
        switch (guard.check(request.query.value(QStringLiteral("pin")), pin, address,
            QStringLiteral("browser-screen"))) {
        case SecretGuard::Check::right:
            break;
        case SecretGuard::Check::wrong:
            m_log.record(QStringLiteral("bad-pin"), address);
            return reply(HTTPResponse::text(423, QStringLiteral("PIN required")));
        case SecretGuard::Check::notChecked:
            return reply(HTTPResponse::tooManyTries(guard.secondsToWait(address)));
        }
    }

    const auto id = uuid(request.query.value(QStringLiteral("id")));
    const std::optional<ScreenItem> item = id ? m_store.item(*id) : std::nullopt;
    if (!item)
        return reply(notFound());
    bool done = true;
    if (action == QLatin1String("got-it")) {
        m_store.acknowledge(item->id, action);
    } else if (action == QLatin1String("later")) {
        done = m_store.move(*item, ItemStatus::later);
    } else if ((done = m_store.move(*item, ItemStatus::archived))) {
        // Its sender hears "archived" only of an item that is.
        m_store.acknowledge(item->id, action);
    }
    // A refused move left the record as it was, and the store's log says why.
    if (!done)
        return reply(HTTPResponse::text(500, QStringLiteral("Couldn't move the item")));
    m_log.record(action, request.remoteAddress, &*item);
    // "ok" only once the change would outlive a crash of the program right after it.
    m_store.whenSaved([reply = std::move(reply)](const std::optional<QString>& error) {
        reply(error ? HTTPResponse::text(500, QStringLiteral("Save failed: ") + *error)
                    : json({{QStringLiteral("ok"), true}}));
    });
}

} // namespace vesker
