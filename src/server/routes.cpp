// The local HTTP interface: which handler answers which request.
#include "server/server_controller.h"

#include "relay_manager/relay_manager.h"
#include "server/access_manager.h"
#include "store/item_store.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace vesker {

namespace {

HTTPResponse json(const QJsonObject& object)
{
    return {200, QStringLiteral("application/json"),
        QJsonDocument(object).toJson(QJsonDocument::Compact)};
}

} // namespace

HTTPResponse ServerController::route(const HTTPRequest& request)
{
    const QString& method = request.method;
    const QString& path = request.path;
    const bool get = method == QLatin1String("GET");
    const bool post = method == QLatin1String("POST");

    if (get && path == QLatin1String("/api/info")) {
        return json({{QStringLiteral("name"), screenName()},
            {QStringLiteral("screen"), m_relay.relayScreenID()},
            {QStringLiteral("inbox"), m_store.count(ItemStatus::inbox)},
            {QStringLiteral("policy"), toString(m_access->policy())},
            {QStringLiteral("requiresCode"), m_access->codeRequired()},
            {QStringLiteral("supportsText"), true}});
    }
    if (get && path == QLatin1String("/api/status")) {
        const QString device = request.query.value(QStringLiteral("device"));
        QJsonObject status = m_access->deviceStatus(device).toJson();
        status.insert(
            QStringLiteral("acked"), QJsonArray::fromStringList(m_store.acks().value(device)));
        return json(status);
    }
    if (post && path == QLatin1String("/upload"))
        return handleUpload(request, ItemKind::photo);
    if (post && path == QLatin1String("/file"))
        return handleUpload(request, ItemKind::pdf);
    if (post && path == QLatin1String("/text"))
        return handleUpload(request, ItemKind::text);
    if (method == QLatin1String("OPTIONS"))
        return {204, QStringLiteral("text/plain"), {}};
    // The upload page at "/", the browser screen and the hosted screens' own routes are not
    // served by this build; their paths end here like any unknown one.
    return HTTPResponse::text(404, QStringLiteral("Not found"));
}

} // namespace vesker
