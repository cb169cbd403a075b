#pragma once

#include "access/access_types.h"
#include "access/secret_guard.h"
#include "access/waiting_devices.h"

#include <QHash>
#include <QJsonValue>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace vesker {

namespace platform {
class Clock;
class Defaults;
} // namespace platform

// Decides who may send over the local network: approved devices (with or without an end),
// blocked devices, devices declined during this run, the user's own devices (always let in
// unless blocked), and the uploads held while their device waits for the user's answer.
// Approvals and blocks are kept in the settings; the policy and the access code are read from
// them at every decision. Main thread only.
class AccessManager : public QObject {
    Q_OBJECT
public:
    AccessManager(
        platform::Defaults& defaults, const platform::Clock& clock, QObject* parent = nullptr);

    // Published to the views.
    const QList<DeviceGrant>& blocked() const { return m_blocked; }
    const QList<DeviceGrant>& grants() const { return m_grants; }
    const QList<PendingUpload>& pending() const { return m_pending; }
    qsizetype waitingDevices() const { return m_waiting.count(); }
    const QSet<QString>& deniedThisSession() const { return m_denied; }

    // Reads the approved and blocked devices from the settings; a stored list that does not
    // decode reads as empty and is kept aside under "<key>.unreadable-<UTC time>" by the next
    // save, rather than overwritten.
    void load();
    void save();

    AccessPolicy policy() const;
    // "accessCode" trimmed; empty when missing.
    QString accessCode() const;
    // The policy is `code` and a code is set.
    bool codeRequired() const;

    // The Settings window's writes. Choosing `code` while no code is set makes one first, so
    // that the choice never lets every phone in; while `code` is chosen a blank code is refused
    // (false, nothing written). A settings file written by hand is taken as it is: `code`
    // without a code lets every phone in, as decide() says.
    void choosePolicy(AccessPolicy policy);
    bool setAccessCode(const QString& code);
    // Six random digits, leading zeros kept, written as the access code and returned.
    QString makeNewCode();

    // `remoteAddress` is the peer's address: the code is checked no faster than its guard
    // (secretGuard(kAccessCodeSecret)) allows, and a code that is not checked is answered
    // `tooManyTries`, never as wrong. A device that sent the right code during this run is
    // checked at once either way, from the address it sent it from and until it sends a wrong
    // one.
    AccessDecision decide(
        const QString& deviceID, const QString& code, const QString& remoteAddress = {});
    DeviceStatus deviceStatus(const QString& deviceID) const;
    // The device asked about its held uploads: they wait on.
    void devicePolled(const QString& deviceID) { m_waiting.polled(deviceID); }
    // Drops the held uploads of every device that has not asked about them for
    // kWaitingExpirySeconds; a timer calls it while anything waits.
    void expireWaiting() { m_waiting.expire(); }
    using CodeCheck = SecretGuard::Check;
    // `code` checked against the access code, counted as decide() counts it.
    CodeCheck tryCode(
        const QString& code, const QString& remoteAddress, const QString& deviceID = {});
    // After `notChecked` or `tooManyTries`: the whole seconds until a code from the address
    // would be checked.
    qint64 secondsUntilChecked(const QString& remoteAddress);

    // Every secret a peer may guess has a guard of its own, made on first use and kept for the
    // run, so that guessing at one shuts out the senders and viewers of no other.
    static inline const QString kAccessCodeSecret = QStringLiteral("accessCode");
    static inline const QString kViewerPinSecret = QStringLiteral("viewerPIN");
    static QString hostedPinSecret(const QUuid& screen);
    SecretGuard& secretGuard(const QString& secret);

    // Holds an upload until its device is answered, unless that would pass the bounds on what
    // may wait (then the refusal says why), which are shared between addresses as
    // WaitingDevices::admit() says.
    [[nodiscard]] std::optional<HoldRefusal> enqueue(PendingUpload upload);
    // One group per device, ordered by each device's earliest held upload; at most `limit`
    // groups (the first ones) when given.
    QList<PendingGroup> pendingGroups(qsizetype limit = -1) const;

    void approve(const QString& deviceID, const QString& name, GrantDuration duration);
    // Releases the device's held uploads through uploadAccepted, in arrival order.
    void acceptPending(const QString& deviceID);
    void deny(const QString& deviceID);
    void block(const QString& deviceID, const QString& name);
    // The Settings window's edits: forget an approved device; unblock one.
    void removeGrants(const QString& deviceID);
    void unblock(const QString& deviceID);
    // Forgets grants whose end has passed; saves only when one was removed.
    void pruneExpiredGrants();

Q_SIGNALS:
    void blockedChanged();
    void grantsChanged();
    void pendingChanged();
    // A held upload was released by the user's approval: the owner stores it.
    void uploadAccepted(const PendingUpload& upload);

private:
    const DeviceGrant* firstGrant(const QString& deviceID) const;
    bool isBlocked(const QString& deviceID) const;
    // Takes the device's held uploads out of the waiting list, in arrival order; it no longer
    // waits.
    QList<PendingUpload> takePending(const QString& deviceID);
    bool removeGrantsOf(const QString& deviceID);
    void storeList(const char* key, const QList<DeviceGrant>& list, QJsonValue& unreadable);

    platform::Defaults& m_defaults;
    const platform::Clock& m_clock;
    QList<DeviceGrant> m_blocked;
    QList<DeviceGrant> m_grants;
    QList<PendingUpload> m_pending;
    QSet<QString> m_denied;
    // Named by the program, never by a peer: a few for the run.
    std::map<QString, std::unique_ptr<SecretGuard>> m_guards;
    // Kept in step with m_pending.
    WaitingDevices m_waiting;
    // Stored values that did not decode, to be kept aside before the next save replaces them.
    QJsonValue m_unreadableGrants {QJsonValue::Undefined};
    QJsonValue m_unreadableBlocked {QJsonValue::Undefined};
};

} // namespace vesker
