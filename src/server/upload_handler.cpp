// The three upload routes: decide, store or hold, and remember the reply per item key.
#include "server/server_controller.h"

#include "app/window_manager.h"
#include "platform/clock.h"
#include "server/access_manager.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace vesker {

namespace {

constexpr qsizetype kRememberedReplies = 200;

// A header percent-decoded; a malformed encoding counts as missing.
QString decodedHeader(const HTTPRequest& request, const char* name)
{
    return percentDecode(request.headers.value(QLatin1String(name))).value_or(QString());
}

qint64 integerHeader(const HTTPRequest& request, const char* name)
{
    return parseDecimalInt64(request.headers.value(QLatin1String(name))).value_or(0);
}

} // namespace

HTTPResponse ServerController::handleUpload(const HTTPRequest& request, ItemKind kind)
{
    if (request.body.isEmpty())
        return HTTPResponse::text(400, QStringLiteral("Empty body"));
    const QString itemKey = request.headers.value(QStringLiteral("x-item-id")).trimmed();
    if (!itemKey.isEmpty()) {
        const auto remembered = m_recentItems.constFind(itemKey);
        if (remembered != m_recentItems.cend())
            return *remembered;
    }

    PendingUpload upload;
    upload.id = QUuid::createUuid();
    upload.receivedAt = m_clock.now();
    upload.kind = kind;
    upload.fileExtension = kind == ItemKind::pdf
        ? QStringLiteral("pdf")
        : photoExtension(request.headers.value(QStringLiteral("content-type")));
    upload.deviceID = request.headers.value(QStringLiteral("x-device")).trimmed();
    upload.note = decodedHeader(request, "x-note");
    upload.sender = decodedHeader(request, "x-sender").trimmed();
    if (upload.sender.isEmpty())
        upload.sender = QStringLiteral("Phone");
    upload.deviceName = decodedHeader(request, "x-device-name");
    if (upload.deviceName.isEmpty())
        upload.deviceName = upload.sender;
    upload.originalName = decodedHeader(request, "x-filename");
    const auto location = request.headers.constFind(QStringLiteral("x-location"));
    upload.location = parseLocation(
        location == request.headers.cend() ? std::nullopt : std::optional<QString>(*location));
    upload.groupID = request.headers.value(QStringLiteral("x-group"));
    upload.groupIndex = integerHeader(request, "x-group-index");
    upload.groupCount = integerHeader(request, "x-group-count");
    if (kind == ItemKind::text) {
        upload.text = QString::fromUtf8(request.body).trimmed();
        if (upload.text.isEmpty())
            return HTTPResponse::text(400, QStringLiteral("Empty text"));
    } else {
        upload.imageData = request.body;
    }

    switch (m_access->decide(
        upload.deviceID, decodedHeader(request, "x-code"), request.remoteAddress)) {
    case AccessDecision::allow:
        return rememberResponse(itemKey, storeUpload(upload));
    case AccessDecision::refuse:
        return m_access->policy() == AccessPolicy::code
            ? HTTPResponse::text(401, QStringLiteral("Access code required or incorrect"))
            : HTTPResponse::text(403, QStringLiteral("This Mac declined the request"));
    case AccessDecision::ask:
        break;
    }
    if (m_access->enqueue(std::move(upload))) {
        // Memory for held uploads is bounded; the sender may try again later.
        return HTTPResponse::text(503, QStringLiteral("Too many uploads waiting for approval"));
    }
    WindowManager::shared().show();
    playSound(QStringLiteral("Tink"));
    const QJsonObject pending {{QStringLiteral("ok"), true}, {QStringLiteral("pending"), true}};
    return rememberResponse(itemKey,
        {202, QStringLiteral("application/json"),
            QJsonDocument(pending).toJson(QJsonDocument::Compact)});
}

HTTPResponse ServerController::rememberResponse(
    const QString& itemKey, const HTTPResponse& response)
{
    // A server error is never remembered: the sender's retry must be able to succeed.
    if (itemKey.isEmpty() || response.status >= 500)
        return response;
    if (!m_recentItems.contains(itemKey)) {
        if (m_recentItemOrder.size() >= kRememberedReplies)
            m_recentItems.remove(m_recentItemOrder.takeFirst());
        m_recentItemOrder.append(itemKey);
    }
    m_recentItems.insert(itemKey, response);
    return response;
}

} // namespace vesker
