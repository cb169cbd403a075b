#include "screens/remote_screens_manager.h"

#include "platform/clock.h"
#include "platform/defaults.h"

#include <QJsonArray>
#include <QJsonObject>

namespace vesker {

namespace {

QList<DeviceGrant> readList(const platform::Defaults* defaults, const char* key)
{
    QList<DeviceGrant> list;
    if (!defaults)
        return list;
    for (const QJsonValue& entry : defaults->value(QString::fromLatin1(key)).toArray()) {
        if (auto grant = DeviceGrant::fromJson(entry.toObject()))
            list.append(*grant);
    }
    return list;
}

QJsonArray toArray(const QList<DeviceGrant>& list)
{
    QJsonArray array;
    for (const DeviceGrant& grant : list)
        array.append(grant.toJson());
    return array;
}

QString deviceOf(const QString& key)
{
    return key.section(u'|', 1);
}

} // namespace

QString RelayRequest::key() const
{
    return screenID.toString(QUuid::WithoutBraces).toUpper() + u'|' + deviceID;
}

RemoteScreensManager::RemoteScreensManager(
    platform::Defaults* defaults, const platform::Clock* clock, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_clock(clock ? *clock : platform::Clock::system())
    , m_grants(readList(defaults, kGrantsKey))
    , m_blocked(readList(defaults, kBlockedKey))
{ }

bool RemoteScreensManager::hold(const RelayRequest& request)
{
    const QString key = request.key();
    const bool blocked = std::any_of(m_blocked.begin(), m_blocked.end(),
        [&](const DeviceGrant& b) { return b.deviceID == request.deviceID; });
    if (blocked || m_denied.contains(key))
        return false;
    const QDateTime now = m_clock.now();
    for (const DeviceGrant& grant : m_grants) {
        if (grant.deviceID == key && grant.isLive(now)) {
            Q_EMIT forwardRequested(request);
            return true;
        }
    }
    m_waiting.append(request);
    Q_EMIT pendingDevicesChanged();
    return true;
}

QList<RelayPending> RemoteScreensManager::pendingDevices() const
{
    QList<RelayPending> entries;
    for (const RelayRequest& request : m_waiting) {
        const QString key = request.key();
        auto it = std::find_if(entries.begin(), entries.end(),
            [&](const RelayPending& entry) { return entry.key == key; });
        if (it == entries.end())
            entries.append({key, request.screenName, request.deviceName, request.deviceID, 1});
        else
            ++it->count;
    }
    return entries;
}

void RemoteScreensManager::allow(const QString& key, GrantDuration duration)
{
    if (duration != GrantDuration::once) {
        removeGrant(key);
        DeviceGrant grant {.deviceID = key, .grantedAt = m_clock.now()};
        if (const auto seconds = grantSeconds(duration))
            grant.expiresAt = expiryDate(*seconds, m_clock);
        m_grants.append(grant);
        save();
    }
    m_denied.remove(key);
    QList<RelayRequest> allowed;
    for (const RelayRequest& request : std::as_const(m_waiting))
        if (request.key() == key)
            allowed.append(request);
    dropWaiting([&](const RelayRequest& request) { return request.key() == key; });
    for (const RelayRequest& request : allowed)
        Q_EMIT forwardRequested(request);
}

void RemoteScreensManager::deny(const QString& key)
{
    m_denied.insert(key);
    removeGrant(key);
    save();
    dropWaiting([&](const RelayRequest& request) { return request.key() == key; });
}

void RemoteScreensManager::block(const QString& key)
{
    const QString device = deviceOf(key);
    QString name;
    for (const RelayRequest& request : std::as_const(m_waiting))
        if (request.deviceID == device && name.isEmpty())
            name = request.deviceName;
    const bool known = std::any_of(m_blocked.begin(), m_blocked.end(),
        [&](const DeviceGrant& b) { return b.deviceID == device; });
    if (!known)
        m_blocked.append({.deviceID = device, .name = name, .grantedAt = m_clock.now()});
    removeGrant(key);
    save();
    dropWaiting([&](const RelayRequest& request) { return request.deviceID == device; });
}

void RemoteScreensManager::dropWaiting(const std::function<bool(const RelayRequest&)>& which)
{
    if (m_waiting.removeIf(which) > 0)
        Q_EMIT pendingDevicesChanged();
}

void RemoteScreensManager::removeGrant(const QString& key)
{
    m_grants.removeIf([&](const DeviceGrant& grant) { return grant.deviceID == key; });
}

void RemoteScreensManager::save()
{
    if (!m_defaults)
        return;
    m_defaults->set(QString::fromLatin1(kGrantsKey), toArray(m_grants));
    m_defaults->set(QString::fromLatin1(kBlockedKey), toArray(m_blocked));
}

} // namespace vesker
