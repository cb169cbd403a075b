#include "receive/upload_handler.h"

#include "access/access_manager.h"
#include "platform/clock.h"
#include "platform/media.h"
#include "receive/desktop_actions.h"
#include "receive/intake.h"
#include "store/item_store.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>

#include <algorithm>
#include <cmath>

namespace vesker {

namespace {

// A header percent-decoded; a malformed encoding counts as missing.
QString decodedHeader(const HTTPRequest& request, const char* name)
{
    return percentDecode(request.headers.value(QLatin1String(name))).value_or(QString());
}

qint64 integerHeader(const HTTPRequest& request, const char* name)
{
    return parseDecimalInt64(request.headers.value(QLatin1String(name))).value_or(0);
}

bool isValidCoordinate(const QString& piece, double limit, double* value)
{
    // A number as it stands: a space around it (", 10") makes it no number at all.
    if (std::any_of(piece.cbegin(), piece.cend(), [](QChar c) { return c.isSpace(); }))
        return false;
    bool ok = false;
    *value = piece.toDouble(&ok);
    return ok && std::isfinite(*value) && std::abs(*value) <= limit;
}

} // namespace

UploadHandler::UploadHandler(AccessManager& access, ItemIntake& intake, DesktopActions& desktop,
    const platform::Clock& clock, QObject* parent)
    : QObject(parent)
    , m_access(access)
    , m_intake(intake)
    , m_desktop(desktop)
    , m_clock(clock)
{ }

UploadHandler::~UploadHandler()
{
    for (const QList<HTTPReplyFunction>& waiting : std::as_const(m_inFlight)) {
        for (const HTTPReplyFunction& reply : waiting)
            reply(HTTPResponse::text(503, QStringLiteral("Server stopped")));
    }
}

std::optional<Coordinate> UploadHandler::parseLocation(const std::optional<QString>& header)
{
    if (!header)
        return std::nullopt;
    const QStringList pieces = header->split(u',', Qt::SkipEmptyParts);
    if (pieces.size() != 2)
        return std::nullopt;
    double lat = 0;
    double lon = 0;
    if (!isValidCoordinate(pieces.at(0), 90, &lat) || !isValidCoordinate(pieces.at(1), 180, &lon))
        return std::nullopt;
    return Coordinate {lat, lon};
}

std::variant<PendingUpload, HTTPResponse> UploadHandler::readUpload(
    const HTTPRequest& request, ItemKind kind, const platform::Clock& clock)
{
    // Told before the upload can be held, so that what the person lets through is never
    // refused after; a PDF picked where photos are asked for is still a PDF.
    if (kind == ItemKind::photo) {
        switch (platform::sniffContent(request.body)) {
        case platform::SniffedContent::picture:
            break;
        case platform::SniffedContent::pdf:
            kind = ItemKind::pdf;
            break;
        case platform::SniffedContent::other:
            return HTTPResponse::text(415, QStringLiteral("Not a photo or PDF"));
        }
    } else if (kind == ItemKind::pdf
        && platform::sniffContent(request.body) != platform::SniffedContent::pdf) {
        return HTTPResponse::text(415, QStringLiteral("Not a PDF"));
    }
    PendingUpload upload;
    upload.id = QUuid::createUuid();
    upload.receivedAt = clock.now();
    upload.kind = kind;
    // What the sender claims is no guide: the file is named, and later served, as what it is.
    upload.fileExtension = kind == ItemKind::pdf ? QStringLiteral("pdf")
        : kind == ItemKind::photo                ? platform::pictureExtension(request.body)
                                                 : QString();
    upload.deviceID = request.headers.value(QStringLiteral("x-device")).trimmed();
    upload.remoteAddress = request.remoteAddress;
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
        upload.text = ItemIntake::keptText(QString::fromUtf8(request.body)).trimmed();
        if (upload.text.isEmpty())
            return HTTPResponse::text(400, QStringLiteral("Empty text"));
    } else {
        upload.imageData = request.body;
    }
    return upload;
}

void UploadHandler::handle(const HTTPRequest& request, ItemKind kind, HTTPReplyFunction reply)
{
    if (request.body.isEmpty())
        return reply(HTTPResponse::text(400, QStringLiteral("Empty body")));
    if (kind == ItemKind::text && request.body.size() > ItemIntake::kMaxTextBytes)
        return reply(HTTPResponse::text(413, QStringLiteral("Text too long")));
    // What it sends now is told apart from what failed before.
    m_failures.remove(request.headers.value(QStringLiteral("x-device")).trimmed());
    const QString itemKey = request.headers.value(QStringLiteral("x-item-id")).trimmed();
    if (!itemKey.isEmpty()) {
        if (const auto remembered = m_recentItems.constFind(itemKey);
            remembered != m_recentItems.cend())
            return reply(*remembered);
        // A repeat of an upload still being saved waits for its answer rather than storing
        // the item twice.
        if (const auto saving = m_inFlight.find(itemKey); saving != m_inFlight.end())
            return saving->append(std::move(reply));
    }

    auto read = readUpload(request, kind, m_clock);
    if (auto* refused = std::get_if<HTTPResponse>(&read))
        return reply(std::move(*refused));
    PendingUpload upload = std::move(std::get<PendingUpload>(read));

    switch (
        m_access.decide(upload.deviceID, decodedHeader(request, "x-code"), request.remoteAddress)) {
    case AccessDecision::allow:
        if (!itemKey.isEmpty())
            m_inFlight.insert(itemKey, {});
        return m_intake.storeUpload(upload,
            [weak = QPointer<UploadHandler>(this), itemKey, reply = std::move(reply)](
                HTTPResponse response) {
                if (weak && !itemKey.isEmpty())
                    weak->finish(itemKey, response);
                reply(std::move(response));
            });
    case AccessDecision::refuse:
        return reply(refusal());
    case AccessDecision::tooManyTries:
        return reply(
            HTTPResponse::tooManyTries(m_access.secondsUntilChecked(request.remoteAddress)));
    case AccessDecision::ask:
        break;
    }
    const QUuid heldID = upload.id;
    if (const auto refused = m_access.enqueue(std::move(upload))) {
        // Memory for held uploads and the devices a person must answer are bounded; the sender
        // may try again later.
        return reply(HTTPResponse::text(503, refusalText(*refused)));
    }
    m_desktop.showWindow();
    m_desktop.playSound(QStringLiteral("Tink"));
    const QJsonObject pending {{QStringLiteral("ok"), true}, {QStringLiteral("pending"), true}};
    const HTTPResponse held {202, QStringLiteral("application/json"),
        QJsonDocument(pending).toJson(QJsonDocument::Compact)};
    finish(itemKey, held);
    if (!itemKey.isEmpty())
        m_heldKeys.insert(itemKey, heldID);
    reply(held);
}

void UploadHandler::storeReleased(const PendingUpload& upload)
{
    ++m_storing[upload.deviceID];
    m_intake.storeUpload(upload,
        [weak = QPointer<UploadHandler>(this), deviceID = upload.deviceID, id = upload.id](
            const HTTPResponse& response) {
            if (weak)
                weak->released(deviceID, id, response);
        });
}

void UploadHandler::released(
    const QString& deviceID, const QUuid& uploadID, const HTTPResponse& response)
{
    if (--m_storing[deviceID] <= 0)
        m_storing.remove(deviceID);
    const QString itemKey = m_heldKeys.key(uploadID);
    m_heldKeys.remove(itemKey);
    if (response.status >= 200 && response.status < 300)
        return;
    // Its sender was told it is held; a repeat under the same key must not be told so again
    // when nothing is held any more.
    forget(itemKey);
    QString reason = QString::fromUtf8(response.body.left(800)).simplified().left(200);
    if (reason.isEmpty())
        reason = QStringLiteral("Save failed");
    m_failures.insert(deviceID, reason);
}

QJsonObject UploadHandler::deviceStatus(const QString& deviceID) const
{
    DeviceStatus status = m_access.deviceStatus(deviceID);
    // Until its item is on disk, "allowed" would be read as "sent".
    if (const int storing = m_storing.value(deviceID); storing > 0) {
        status.approved = false;
        status.pending += storing;
        status.expired = false;
    }
    QJsonObject json = status.toJson();
    if (const auto failure = m_failures.constFind(deviceID); failure != m_failures.cend())
        json.insert(QStringLiteral("error"), *failure);
    return json;
}

void UploadHandler::replyStatus(
    ItemStore& store, const QString& deviceID, QJsonObject status, HTTPReplyFunction reply)
{
    store.whenSaved([&store, deviceID, status = std::move(status), reply = std::move(reply)](
                        const std::optional<QString>&) mutable {
        status.insert(
            QStringLiteral("acked"), QJsonArray::fromStringList(store.savedAcks().value(deviceID)));
        reply({200, QStringLiteral("application/json"),
            QJsonDocument(status).toJson(QJsonDocument::Compact)});
    });
}

std::optional<HTTPResponse> UploadHandler::refusalBeforeBody(const HTTPRequest& head, ItemKind kind)
{
    const qint64 length
        = parseDecimalInt64(head.headers.value(QStringLiteral("content-length"))).value_or(0);
    if (kind == ItemKind::text && length > ItemIntake::kMaxTextBytes)
        return HTTPResponse::text(413, QStringLiteral("Text too long"));
    // A repeat gets the answer its first sending got, which the body is read for.
    const QString itemKey = head.headers.value(QStringLiteral("x-item-id")).trimmed();
    if (!itemKey.isEmpty() && (m_recentItems.contains(itemKey) || m_inFlight.contains(itemKey)))
        return std::nullopt;
    // The same question handle() asks: a wrong code counts once, whether it is refused here or
    // there, and a right one is asked again when the body has come.
    switch (m_access.decide(head.headers.value(QStringLiteral("x-device")).trimmed(),
        decodedHeader(head, "x-code"), head.remoteAddress)) {
    case AccessDecision::refuse:
        return refusal();
    case AccessDecision::tooManyTries:
        return HTTPResponse::tooManyTries(m_access.secondsUntilChecked(head.remoteAddress));
    case AccessDecision::allow:
    case AccessDecision::ask:
        break;
    }
    return std::nullopt;
}

HTTPResponse UploadHandler::refusal() const
{
    return m_access.policy() == AccessPolicy::code
        ? HTTPResponse::text(401, QStringLiteral("Access code required or incorrect"))
        : HTTPResponse::text(403, QStringLiteral("This screen declined the request"));
}

void UploadHandler::finish(const QString& itemKey, const HTTPResponse& response)
{
    const QList<HTTPReplyFunction> waiting = m_inFlight.take(itemKey);
    if (itemKey.isEmpty())
        return;
    // A server error is never remembered: the sender's retry must be able to succeed.
    if (response.status < 500) {
        if (!m_recentItems.contains(itemKey)) {
            if (m_recentItemOrder.size() >= kRememberedReplies) {
                const QString oldest = m_recentItemOrder.takeFirst();
                m_recentItems.remove(oldest);
                m_heldKeys.remove(oldest);
            }
            m_recentItemOrder.append(itemKey);
        }
        m_recentItems.insert(itemKey, response);
    }
    for (const HTTPReplyFunction& reply : waiting)
        reply(response);
}

void UploadHandler::forget(const QString& itemKey)
{
    if (itemKey.isEmpty() || !m_recentItems.remove(itemKey))
        return;
    m_recentItemOrder.removeOne(itemKey);
}

} // namespace vesker
