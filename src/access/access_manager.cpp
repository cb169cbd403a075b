#include "access/access_manager.h"

#include "platform/log.h"

#include "platform/clock.h"
#include "platform/defaults.h"
#include "relay_manager/vouched_devices.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QRandomGenerator>

#include <algorithm>

namespace vesker {

namespace {

constexpr auto kGrantsKey = "deviceGrants";
constexpr auto kBlockedKey = "blockedDevices";
constexpr auto kPolicyKey = "accessPolicy";
constexpr auto kCodeKey = "accessCode";

// All or nothing: a list that lost one entry could quietly let a blocked device back in.
std::optional<QList<DeviceGrant>> decodeList(const QJsonArray& array)
{
    QList<DeviceGrant> list;
    list.reserve(array.size());
    for (const QJsonValue& entry : array) {
        auto grant = entry.isObject() ? DeviceGrant::fromJson(entry.toObject()) : std::nullopt;
        if (!grant)
            return std::nullopt;
        list.append(std::move(*grant));
    }
    return list;
}

QByteArray encodeList(const QList<DeviceGrant>& list)
{
    QJsonArray array;
    for (const DeviceGrant& grant : list)
        array.append(grant.toJson());
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

} // namespace

AccessManager::AccessManager(
    platform::Defaults& defaults, const platform::Clock& clock, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_clock(clock)
    , m_waiting(clock)
{
    connect(&m_waiting, &WaitingDevices::dropped, this, &AccessManager::takePending);
    connect(&m_waiting, &WaitingDevices::newestDropped, this, [this](const QString& deviceID) {
        if (dropNewest(m_pending, [&](const PendingUpload& u) { return u.deviceID == deviceID; }))
            Q_EMIT pendingChanged();
    });
    load();
}

void AccessManager::load()
{
    auto read = [this](const char* key, QList<DeviceGrant>& list, QJsonValue& unreadable) {
        const QJsonValue stored = m_defaults.value(QLatin1String(key));
        unreadable = QJsonValue(QJsonValue::Undefined);
        if (stored.isUndefined()) {
            list.clear();
            return;
        }
        // Stored as a data value holding a JSON array; an array written straight into the
        // settings file by hand is read too.
        std::optional<QList<DeviceGrant>> decoded;
        if (stored.isArray()) {
            decoded = decodeList(stored.toArray());
        } else {
            const QJsonDocument doc = QJsonDocument::fromJson(m_defaults.bytes(QLatin1String(key)));
            if (doc.isArray())
                decoded = decodeList(doc.array());
        }
        if (decoded) {
            list = std::move(*decoded);
        } else {
            qCWarning(lcAccess).noquote()
                << "[access]" << key << "could not be read; starting with none";
            list.clear();
            unreadable = stored;
        }
    };
    read(kGrantsKey, m_grants, m_unreadableGrants);
    read(kBlockedKey, m_blocked, m_unreadableBlocked);
    Q_EMIT grantsChanged();
    Q_EMIT blockedChanged();
}

void AccessManager::storeList(
    const char* key, const QList<DeviceGrant>& list, QJsonValue& unreadable)
{
    if (!unreadable.isUndefined()) {
        const QString stamp
            = m_clock.now().toUTC().toString(QStringLiteral("yyyy-MM-ddTHH-mm-ss")) + u'Z';
        const QString base = QLatin1String(key) + QStringLiteral(".unreadable-") + stamp;
        QString aside = base;
        for (int n = 2; m_defaults.contains(aside); ++n)
            aside = base + u'-' + QString::number(n);
        m_defaults.set(aside, unreadable);
        qCWarning(lcAccess).noquote() << "[access] kept the unreadable" << key << "as" << aside;
        unreadable = QJsonValue(QJsonValue::Undefined);
    }
    m_defaults.setBytes(QLatin1String(key), encodeList(list));
}

void AccessManager::save()
{
    storeList(kGrantsKey, m_grants, m_unreadableGrants);
    storeList(kBlockedKey, m_blocked, m_unreadableBlocked);
}

AccessPolicy AccessManager::policy() const
{
    return accessPolicyFromString(m_defaults.string(QLatin1String(kPolicyKey)))
        .value_or(AccessPolicy::anyone);
}

QString AccessManager::accessCode() const
{
    return m_defaults.string(QLatin1String(kCodeKey)).trimmed();
}

bool AccessManager::codeRequired() const
{
    return policy() == AccessPolicy::code && !accessCode().isEmpty();
}

void AccessManager::choosePolicy(AccessPolicy policy)
{
    if (policy == AccessPolicy::code && accessCode().isEmpty())
        makeNewCode();
    m_defaults.set(QLatin1String(kPolicyKey), toString(policy));
}

bool AccessManager::setAccessCode(const QString& code)
{
    if (policy() == AccessPolicy::code && code.trimmed().isEmpty())
        return false;
    m_defaults.set(QLatin1String(kCodeKey), code);
    return true;
}

QString AccessManager::makeNewCode()
{
    const QString code
        = QString::asprintf("%06d", int(QRandomGenerator::system()->bounded(1000000)));
    m_defaults.set(QLatin1String(kCodeKey), code);
    return code;
}

const DeviceGrant* AccessManager::firstGrant(const QString& deviceID) const
{
    const auto it = std::find_if(m_grants.begin(), m_grants.end(),
        [&deviceID](const DeviceGrant& g) { return g.deviceID == deviceID; });
    return it == m_grants.end() ? nullptr : &*it;
}

bool AccessManager::isBlocked(const QString& deviceID) const
{
    return std::any_of(m_blocked.begin(), m_blocked.end(),
        [&deviceID](const DeviceGrant& g) { return g.deviceID == deviceID; });
}

QString AccessManager::hostedPinSecret(const QUuid& screen)
{
    return QStringLiteral("hosted:") + screen.toString(QUuid::WithoutBraces);
}

SecretGuard& AccessManager::secretGuard(const QString& secret)
{
    auto& guard = m_guards[secret];
    if (!guard)
        guard = std::make_unique<SecretGuard>(m_clock);
    return *guard;
}

AccessManager::CodeCheck AccessManager::tryCode(
    const QString& code, const QString& remoteAddress, const QString& deviceID)
{
    return secretGuard(kAccessCodeSecret).check(code, accessCode(), remoteAddress, deviceID);
}

qint64 AccessManager::secondsUntilChecked(const QString& remoteAddress)
{
    return secretGuard(kAccessCodeSecret).secondsToWait(remoteAddress);
}

AccessDecision AccessManager::decide(
    const QString& deviceID, const QString& code, const QString& remoteAddress)
{
    if (!deviceID.isEmpty()) {
        if (isBlocked(deviceID))
            return AccessDecision::refuse;
        if (isVouchedDevice(deviceID))
            return AccessDecision::allow;
    }
    switch (policy()) {
    case AccessPolicy::anyone:
        return AccessDecision::allow;
    case AccessPolicy::code: {
        if (accessCode().isEmpty())
            return AccessDecision::allow;
        switch (tryCode(code.trimmed(), remoteAddress, deviceID)) {
        case CodeCheck::right:
            return AccessDecision::allow;
        case CodeCheck::wrong:
            return AccessDecision::refuse;
        case CodeCheck::notChecked:
            return AccessDecision::tooManyTries;
        }
        return AccessDecision::refuse;
    }
    case AccessPolicy::ask:
        break;
    }
    if (deviceID.isEmpty())
        return AccessDecision::refuse;
    const DeviceGrant* grant = firstGrant(deviceID);
    if (grant && grant->isLive(m_clock.now()))
        return AccessDecision::allow;
    return m_denied.contains(deviceID) ? AccessDecision::refuse : AccessDecision::ask;
}

DeviceStatus AccessManager::deviceStatus(const QString& deviceID) const
{
    const DeviceGrant* grant = firstGrant(deviceID);
    DeviceStatus status;
    status.approved = isVouchedDevice(deviceID) || (grant && grant->isLive(m_clock.now()))
        || policy() != AccessPolicy::ask;
    status.denied = m_denied.contains(deviceID);
    status.pending = m_waiting.uploads(deviceID);
    status.expired = status.pending == 0 && m_waiting.expired(deviceID);
    return status;
}

std::optional<HoldRefusal> AccessManager::enqueue(PendingUpload upload)
{
    if (const auto refused
        = m_waiting.admit(upload.deviceID, upload.remoteAddress, upload.heldBytes()))
        return refused;
    m_denied.remove(upload.deviceID);
    m_pending.append(std::move(upload));
    Q_EMIT pendingChanged();
    return std::nullopt;
}

QList<PendingGroup> AccessManager::pendingGroups(qsizetype limit) const
{
    QList<PendingGroup> groups;
    QHash<QString, qsizetype> indexOfDevice;
    for (const PendingUpload& upload : m_pending) {
        auto it = indexOfDevice.find(upload.deviceID);
        if (it == indexOfDevice.end()) {
            if (limit >= 0 && groups.size() >= limit)
                continue;
            it = indexOfDevice.insert(upload.deviceID, groups.size());
            groups.append({upload.deviceID, upload.deviceName, {}});
        }
        groups[*it].uploads.append(upload);
    }
    return groups;
}

QList<PendingUpload> AccessManager::takePending(const QString& deviceID)
{
    QList<PendingUpload> taken;
    QList<PendingUpload> kept;
    kept.reserve(m_pending.size());
    for (PendingUpload& upload : m_pending)
        (upload.deviceID == deviceID ? taken : kept).append(std::move(upload));
    m_pending = std::move(kept);
    m_waiting.release(deviceID);
    if (!taken.isEmpty())
        Q_EMIT pendingChanged();
    return taken;
}

bool AccessManager::removeGrantsOf(const QString& deviceID)
{
    const qsizetype removed
        = m_grants.removeIf([&deviceID](const DeviceGrant& g) { return g.deviceID == deviceID; });
    if (removed > 0)
        Q_EMIT grantsChanged();
    return removed > 0;
}

void AccessManager::approve(const QString& deviceID, const QString& name, GrantDuration duration)
{
    if (duration != GrantDuration::once) {
        DeviceGrant grant {deviceID, name, m_clock.now(), std::nullopt};
        if (const auto seconds = grantSeconds(duration))
            grant.expiresAt = expiryDate(*seconds, m_clock);
        m_grants.removeIf([&deviceID](const DeviceGrant& g) { return g.deviceID == deviceID; });
        m_grants.append(std::move(grant));
        Q_EMIT grantsChanged();
        save();
    }
    m_denied.remove(deviceID);
    acceptPending(deviceID);
}

void AccessManager::acceptPending(const QString& deviceID)
{
    const QList<PendingUpload> released = takePending(deviceID);
    for (const PendingUpload& upload : released)
        Q_EMIT uploadAccepted(upload);
}

void AccessManager::deny(const QString& deviceID)
{
    m_denied.insert(deviceID);
    removeGrantsOf(deviceID);
    takePending(deviceID);
    save();
}

void AccessManager::block(const QString& deviceID, const QString& name)
{
    if (deviceID.isEmpty())
        return;
    if (!isBlocked(deviceID)) {
        m_blocked.append({deviceID, name, m_clock.now(), std::nullopt});
        Q_EMIT blockedChanged();
    }
    // Also declined, so a poll from a page that is still waiting learns its uploads were dropped
    // rather than waiting on.
    deny(deviceID);
}

void AccessManager::removeGrants(const QString& deviceID)
{
    removeGrantsOf(deviceID);
    save();
}

void AccessManager::unblock(const QString& deviceID)
{
    if (m_blocked.removeIf([&deviceID](const DeviceGrant& g) { return g.deviceID == deviceID; })
        > 0)
        Q_EMIT blockedChanged();
    m_denied.remove(deviceID);
    save();
}

void AccessManager::pruneExpiredGrants()
{
    const QDateTime now = m_clock.now();
    if (m_grants.removeIf([&now](const DeviceGrant& g) { return !g.isLive(now); }) == 0)
        return;
    Q_EMIT grantsChanged();
    save();
}

} // namespace vesker
