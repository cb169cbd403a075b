#pragma once

#include "access/access_types.h"
#include "http/http_server.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QStringList>

#include <optional>
#include <variant>

namespace vesker {

class AccessManager;
class DesktopActions;
class ItemIntake;
class ItemStore;

namespace platform {
class Clock;
}

// The three upload routes: read the request, ask the access policy, then store, refuse or hold
// the upload. Replies are remembered by the sender's item key (the newest 200 keys, never a
// server error), so a sender that repeats a request after a lost reply gets the same answer
// instead of a second item. Main thread only.
class UploadHandler : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype kRememberedReplies = 200;

    UploadHandler(AccessManager& access, ItemIntake& intake, DesktopActions& desktop,
        const platform::Clock& clock, QObject* parent = nullptr);
    // Repeats still waiting for a save are told that the server stopped.
    ~UploadHandler() override;

    // Answers through `reply`, at once or once the upload is on disk.
    void handle(const HTTPRequest& request, ItemKind kind, HTTPReplyFunction reply);
    // The reply handle() would give whatever the body, from the head alone: a text too long, a
    // sender the access policy refuses. None when the body is needed to answer.
    std::optional<HTTPResponse> refusalBeforeBody(const HTTPRequest& head, ItemKind kind);

    // The upload a request carries, as its headers and first bytes describe it, or the reply
    // that refuses it: a text that is blank, or a body for a photo that is neither a picture nor
    // a PDF (a PDF is taken as the PDF it is).
    static std::variant<PendingUpload, HTTPResponse> readUpload(
        const HTTPRequest& request, ItemKind kind, const platform::Clock& clock);

    // Stores an upload the person let through. Nobody waits for its reply: its sender learns
    // the outcome from deviceStatus(), which counts it as waiting until it is on disk and then
    // says why it could not be stored, if so.
    void storeReleased(const PendingUpload& upload);
    // The device's answer as the access policy gives it, with what storeReleased() adds: its
    // released uploads still being stored count as pending, and "error" is why the last one
    // failed, until the device sends again.
    QJsonObject deviceStatus(const QString& deviceID) const;
    // Answers a device's "/api/status" with `status` and the items acknowledged to it, once
    // every change made so far is on disk. Only acknowledgements on disk are listed: a crash
    // right after the answer must not take back what the phone was told.
    static void replyStatus(
        ItemStore& store, const QString& deviceID, QJsonObject status, HTTPReplyFunction reply);

    // "lat,lon" of the "x-location" header.
    static std::optional<Coordinate> parseLocation(const std::optional<QString>& header);

private:
    HTTPResponse refusal() const;
    // Remembers the reply for the key and answers the repeats that waited for it.
    void finish(const QString& itemKey, const HTTPResponse& response);
    void forget(const QString& itemKey);
    void released(const QString& deviceID, const QUuid& uploadID, const HTTPResponse& response);

    AccessManager& m_access;
    ItemIntake& m_intake;
    DesktopActions& m_desktop;
    const platform::Clock& m_clock;
    // Replies by item key, newest last.
    QHash<QString, HTTPResponse> m_recentItems;
    QStringList m_recentItemOrder;
    // Keys whose upload is being saved, with the repeats that wait for its answer.
    QHash<QString, QList<HTTPReplyFunction>> m_inFlight;
    // Held uploads by the item key their 202 is remembered under, so that one the disk then
    // refuses can be sent again under the same key.
    QHash<QString, QUuid> m_heldKeys;
    // Released uploads being stored, by device.
    QHash<QString, int> m_storing;
    // Why a device's last released upload was not stored, until it sends again.
    QHash<QString, QString> m_failures;
};

} // namespace vesker
