#include "receive/hosted_routes.h"

#include "access/access_manager.h"
#include "access/access_types.h"
#include "http/http_request.h"
#include "receive/intake.h"
#include "receive/upload_handler.h"
#include "receive/web_pages.h"
#include "store/item_queries.h"
#include "store/item_store.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace vesker {

namespace {

HTTPResponse json(const QJsonObject& object)
{
    return {200, QStringLiteral("application/json"),
        QJsonDocument(object).toJson(QJsonDocument::Compact)};
}

HTTPResponse wrongPin()
{
    return HTTPResponse::text(401, QStringLiteral("Access code required or incorrect"));
}

std::optional<ItemKind> uploadKind(const HTTPRequest& request)
{
    if (request.method != QLatin1String("POST"))
        return std::nullopt;
    if (request.path == QLatin1String("/upload"))
        return ItemKind::photo;
    if (request.path == QLatin1String("/file"))
        return ItemKind::pdf;
    if (request.path == QLatin1String("/text"))
        return ItemKind::text;
    return std::nullopt;
}

} // namespace

HostedRoutes::HostedRoutes(const HostedScreen& screen, ItemStore& store, ItemIntake& intake,
    AccessManager& access, platform::Defaults& defaults, const platform::Clock& clock)
    : m_screen(screen)
    , m_store(store)
    , m_intake(intake)
    , m_clock(clock)
    , m_browserScreen(
          store, access, defaults, clock, [name = screen.name] { return name; }, ViewerGate::owner)
    , m_pinGuard(access.secretGuard(AccessManager::hostedPinSecret(screen.id)))
{ }

std::optional<HTTPResponse> HostedRoutes::pinRefusal(
    const QString& given, const QString& address, const QString& sender, const HTTPResponse& wrong)
{
    switch (m_pinGuard.check(given, m_screen.pin, address, sender)) {
    case SecretGuard::Check::right:
        return std::nullopt;
    case SecretGuard::Check::wrong:
        return wrong;
    case SecretGuard::Check::notChecked:
        return HTTPResponse::tooManyTries(m_pinGuard.secondsToWait(address));
    }
    return wrong;
}

void HostedRoutes::browserScreen(
    const HTTPRequest& request, const QString& basePath, HTTPReplyFunction reply)
{
    if (!m_screen.allowBrowserScreen) {
        return reply(HTTPResponse::text(
            404, QStringLiteral("Browser screens are turned off on this screen")));
    }
    // Its Inbox is its own: only its PIN opens it, whatever opens this computer's. The page
    // itself asks for it, so it needs none.
    if (!m_screen.pin.isEmpty() && request.path != QLatin1String("/screen")) {
        // A page that was let in is known by its address, as a phone is by its id and address.
        if (auto refused = pinRefusal(request.query.value(QStringLiteral("code")),
                request.remoteAddress, QStringLiteral("browser-screen"),
                HTTPResponse::text(401, QStringLiteral("Access code required"))))
            return reply(*refused);
    }
    m_browserScreen.handle(request, std::move(reply), basePath);
}

void HostedRoutes::route(
    const HTTPRequest& request, const QString& basePath, HTTPReplyFunction reply)
{
    const QString& path = request.path;
    const bool get = request.method == QLatin1String("GET");

    // Under the main server the screen's own address is its browser screen.
    if (!basePath.isEmpty() && (path.isEmpty() || path == QLatin1String("/"))) {
        HTTPRequest page = request;
        page.path = QStringLiteral("/screen");
        return browserScreen(page, basePath, std::move(reply));
    }
    // Its pages send and look under the base they were reached at, so that what a phone sends
    // from them lands here and nowhere else.
    if (get && (path == QLatin1String("/") || path == QLatin1String("/index.html"))) {
        return reply({200, QStringLiteral("text/html; charset=utf-8"),
            uploadPageHTML(m_screen.name, basePath).toUtf8()});
    }
    if (get && path == QLatin1String("/api/info")) {
        return reply(json({{QStringLiteral("name"), m_screen.name},
            {QStringLiteral("screen"), m_screen.id.toString(QUuid::Id128)},
            {QStringLiteral("inbox"), m_store.countIn(ItemStatus::inbox)},
            {QStringLiteral("policy"),
                toString(pinRequired() ? AccessPolicy::code : AccessPolicy::anyone)},
            {QStringLiteral("requiresCode"), pinRequired()},
            {QStringLiteral("supportsText"), true}}));
    }
    if (get && path == QLatin1String("/api/status")) {
        // Nobody is asked about a hosted screen's senders: the PIN is the only gate.
        const QString device = request.query.value(QStringLiteral("device"));
        return UploadHandler::replyStatus(
            m_store, device, DeviceStatus {.approved = true}.toJson(), std::move(reply));
    }
    if (const auto kind = uploadKind(request))
        return upload(request, *kind, std::move(reply));
    if (request.method == QLatin1String("OPTIONS"))
        return reply({204, QStringLiteral("text/plain"), {}});
    if (BrowserScreen::handles(path))
        return browserScreen(request, basePath, std::move(reply));
    reply(HTTPResponse::text(404, QStringLiteral("Not found")));
}

void HostedRoutes::upload(const HTTPRequest& request, ItemKind kind, HTTPReplyFunction reply)
{
    if (pinRequired()) {
        if (auto refused = pinRefusal(
                percentDecode(request.headers.value(QStringLiteral("x-code"))).value_or(QString()),
                request.remoteAddress, request.headers.value(QStringLiteral("x-device")).trimmed(),
                wrongPin()))
            return reply(*refused);
    }
    if (request.body.isEmpty())
        return reply(HTTPResponse::text(400, QStringLiteral("Empty body")));
    if (kind == ItemKind::text && request.body.size() > ItemIntake::kMaxTextBytes)
        return reply(HTTPResponse::text(413, QStringLiteral("Text too long")));
    const auto read = UploadHandler::readUpload(request, kind, m_clock);
    if (const auto* refused = std::get_if<HTTPResponse>(&read))
        return reply(*refused);
    m_intake.storeHostedUpload(m_store, std::get<PendingUpload>(read), std::move(reply));
}

std::optional<HTTPResponse> HostedRoutes::refusalBeforeBody(const HTTPRequest& head)
{
    const auto kind = uploadKind(head);
    if (!kind)
        return std::nullopt;
    const qint64 length
        = parseDecimalInt64(head.headers.value(QStringLiteral("content-length"))).value_or(0);
    if (*kind == ItemKind::text && length > ItemIntake::kMaxTextBytes)
        return HTTPResponse::text(413, QStringLiteral("Text too long"));
    if (!pinRequired())
        return std::nullopt;
    // Only a missing PIN is refused here; a wrong one is counted once, when the body has come.
    const QString code
        = percentDecode(head.headers.value(QStringLiteral("x-code"))).value_or(QString());
    return code.isEmpty() ? std::optional(wrongPin()) : std::nullopt;
}

} // namespace vesker
