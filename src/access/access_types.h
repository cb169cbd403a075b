#pragma once

#include "store/screen_item.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QLocale>
#include <QString>
#include <QUuid>

#include <optional>

namespace vesker {

namespace platform {
class Clock;
} // namespace platform

// Who may send over the local network; stored as its raw value under "accessPolicy".
enum class AccessPolicy { anyone, ask, code };
QString toString(AccessPolicy policy);
std::optional<AccessPolicy> accessPolicyFromString(const QString& raw);
// "Anyone on my network", ...: what the Settings window shows.
QString label(AccessPolicy policy);
const QList<AccessPolicy>& allAccessPolicies();

// How long an approval lasts. Not stored: its id is its label ("Once", "30 min", "1 day",
// "Always"), which the approval prompt shows on its buttons.
enum class GrantDuration { once, thirtyMinutes, oneDay, forever };
QString toString(GrantDuration duration);
std::optional<GrantDuration> grantDurationFromString(const QString& id);
const QList<GrantDuration>& allGrantDurations();
// Seconds a grant of this duration lasts; none for `once` (no grant) and `forever` (no end).
std::optional<qint64> grantSeconds(GrantDuration duration);
// The clock's now plus `seconds`: when a grant made now ends.
QDateTime expiryDate(qint64 seconds, const platform::Clock& clock);

// The answer for one upload. `tooManyTries`: its code was not checked (too many wrong codes
// came lately); the sender may try again later.
enum class AccessDecision { allow, refuse, ask, tooManyTries };
QString toString(AccessDecision decision);

// One approved device, or one blocked device (which never has an end).
struct DeviceGrant {
    QString deviceID; // also the record's identity
    QString name;
    QDateTime grantedAt;
    std::optional<QDateTime> expiresAt; // none: no end

    // True while the grant lets the device in: no end, or an end later than `now`.
    bool isLive(const QDateTime& now) const;
    // "Always", "Expired", or "Until " and the end in the locale's abbreviated date and short
    // time, in local time.
    QString expiryText(const QDateTime& now, const QLocale& locale = QLocale()) const;

    // `deviceID`, `name` and `grantedAt` are required; `expiresAt` is left out when empty.
    static std::optional<DeviceGrant> fromJson(const QJsonObject& json);
    QJsonObject toJson() const;

    bool operator==(const DeviceGrant&) const = default;
};

// Where a photo was taken.
struct Coordinate {
    double lat = 0;
    double lon = 0;
    bool operator==(const Coordinate&) const = default;
};

// One upload as the upload handler received it: held while its device waits for approval, and
// the form in which an allowed upload is handed to storage. Memory only.
struct PendingUpload {
    QUuid id;
    QString deviceID;
    QString deviceName;
    // The peer's address: what may wait is shared between addresses.
    QString remoteAddress;
    QDateTime receivedAt;
    ItemKind kind = ItemKind::photo;
    QByteArray imageData; // the photo or PDF
    QString fileExtension;
    QString text;
    QString note;
    QString sender;
    QString originalName;
    std::optional<Coordinate> location;
    QString groupID;
    qint64 groupIndex = 0;
    qint64 groupCount = 0;

    // Roughly what holding this upload costs in memory; the waiting list is bounded by it.
    qint64 heldBytes() const;

    bool operator==(const PendingUpload&) const = default;
};

// The held uploads of one device, as the approval prompt shows them.
struct PendingGroup {
    QString deviceID;
    QString deviceName; // of the device's first held upload
    QList<PendingUpload> uploads; // in arrival order
};

// What a device polling for its answer is told.
struct DeviceStatus {
    bool approved = false;
    bool denied = false;
    qint64 pending = 0;
    // Its uploads were dropped unanswered: it stopped asking about them, or gave way to
    // devices of other addresses.
    bool expired = false;

    // {"approved": ..., "denied": ..., "pending": ...}, and "expired": true when it is
    QJsonObject toJson() const;
    bool operator==(const DeviceStatus&) const = default;
};

// Why an upload could not be held for approval. Each is answered 503 with its text.
enum class HoldRefusal {
    tooManyFromDevice, // the device already has kMaxHeldPerDevice uploads waiting
    tooManyBytes, // holding it would pass kMaxHeldBytes in all
    tooManyDevices, // kMaxWaitingDevices other devices already wait for an answer
};
// "Too many waiting" for the devices, else "Too many uploads waiting for approval".
QString refusalText(HoldRefusal refusal);
constexpr qsizetype kMaxHeldPerDevice = 20;
constexpr qint64 kMaxHeldBytes = 512LL * 1024 * 1024;
// More devices than a person can answer one by one is a flood, whatever their names say; but
// every address of a /24 network must find a place beside it, twice over, so that a flood's
// addresses never outnumber the places and a phone's place is never the price of another's.
constexpr qsizetype kMaxWaitingDevices = 512;
// A device's held uploads are dropped when it has not asked about them ("/api/status", or a new
// upload) for this long: its sender has given up, or never meant to wait. A phone asks every 2 s.
constexpr qint64 kWaitingExpirySeconds = 120;
// Nor does asking keep a device waiting past this long after its newest upload: a phone's page
// waits that long for an answer (90 polls, 2 s apart) and then gives up; what asks on after
// that only holds a place.
constexpr qint64 kMaxWaitSeconds = 180;

} // namespace vesker
