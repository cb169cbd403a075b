#include "receive/routes.h"

#include "access/access_manager.h"
#include "receive/browser_screen.h"
#include "receive/server_controller.h"
#include "receive/upload_handler.h"
#include "receive/web_pages.h"
#include "relay_manager/relay_manager.h"
#include "screens/hosted_screens_manager.h"
#include "store/item_queries.h"
#include "store/item_store.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace vesker {

Routes::Routes(ServerController& controller, UploadHandler& uploads, BrowserScreen& browserScreen)
    : m_controller(controller)
    , m_uploads(uploads)
    , m_browserScreen(browserScreen)
{ }

QByteArray Routes::info() const
{
    const AccessManager& access = m_controller.access();
    return QJsonDocument(
        QJsonObject {{QStringLiteral("name"), m_controller.screenName()},
            {QStringLiteral("screen"), m_controller.relay().relayScreenID()},
            {QStringLiteral("inbox"), m_controller.store().countIn(ItemStatus::inbox)},
            {QStringLiteral("policy"), toString(access.policy())},
            {QStringLiteral("requiresCode"), access.codeRequired()},
            {QStringLiteral("supportsText"), true}})
        .toJson(QJsonDocument::Compact);
}

std::shared_ptr<const RouteSnapshot> Routes::snapshot() const
{
    auto snapshot = std::make_shared<RouteSnapshot>();
    snapshot->info = info();
    snapshot->uploadPage = uploadPageHTML(m_controller.screenName()).toUtf8();
    snapshot->screenPage = m_browserScreen.screenPage();
    return snapshot;
}

void Routes::route(const HTTPRequest& request, HTTPReplyFunction reply)
{
    const QString& method = request.method;
    const QString& path = request.path;
    const bool get = method == QLatin1String("GET");
    const bool post = method == QLatin1String("POST");

    if (get && (path == QLatin1String("/") || path == QLatin1String("/index.html"))) {
        return reply({200, QStringLiteral("text/html; charset=utf-8"),
            uploadPageHTML(m_controller.screenName()).toUtf8()});
    }
    if (get && path == QLatin1String("/api/info"))
        return reply({200, QStringLiteral("application/json"), info()});
    if (get && path == QLatin1String("/api/status")) {
        const QString device = request.query.value(QStringLiteral("device"));
        m_controller.access().devicePolled(device);
        return UploadHandler::replyStatus(
            m_controller.store(), device, m_uploads.deviceStatus(device), std::move(reply));
    }
    if (post && path == QLatin1String("/upload"))
        return m_uploads.handle(request, ItemKind::photo, std::move(reply));
    if (post && path == QLatin1String("/file"))
        return m_uploads.handle(request, ItemKind::pdf, std::move(reply));
    if (post && path == QLatin1String("/text"))
        return m_uploads.handle(request, ItemKind::text, std::move(reply));
    if (method == QLatin1String("OPTIONS"))
        return reply({204, QStringLiteral("text/plain"), {}});
    // A path under "/s/" that names no enabled hosted screen ends as any unknown path.
    if (path.startsWith(QLatin1String("/s/"))
        && m_controller.hosted().handleSharedPath(request, reply))
        return;
    if (BrowserScreen::handles(path))
        return m_browserScreen.handle(request, std::move(reply));
    reply(HTTPResponse::text(404, QStringLiteral("Not found")));
}

std::optional<HTTPResponse> Routes::refusalBeforeBody(const HTTPRequest& head)
{
    if (head.method != QLatin1String("POST"))
        return std::nullopt;
    if (head.path.startsWith(QLatin1String("/s/")))
        return m_controller.hosted().sharedRefusalBeforeBody(head);
    if (head.path == QLatin1String("/upload"))
        return m_uploads.refusalBeforeBody(head, ItemKind::photo);
    if (head.path == QLatin1String("/file"))
        return m_uploads.refusalBeforeBody(head, ItemKind::pdf);
    if (head.path == QLatin1String("/text"))
        return m_uploads.refusalBeforeBody(head, ItemKind::text);
    return std::nullopt;
}

} // namespace vesker
