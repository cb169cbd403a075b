#include "screens/remote_screens_manager.h"

#include "http/http_address.h"
#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/local_proxy.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>

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

std::optional<RemoteScreen> screenFromJson(const QJsonObject& object)
{
    const QUuid id(object.value(QLatin1String("id")).toString());
    if (id.isNull())
        return std::nullopt;
    return RemoteScreen {.id = id,
        .name = object.value(QLatin1String("name")).toString(),
        .url = object.value(QLatin1String("url")).toString(),
        .shareOnLAN = object.value(QLatin1String("shareOnLAN")).toBool(),
        .relayPort = object.value(QLatin1String("relayPort")).toInt()};
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
    platform::Defaults* defaults, const platform::Clock& clock, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_clock(clock)
    , m_grants(readList(defaults, kGrantsKey))
    , m_blocked(readList(defaults, kBlockedKey))
{
    m_checkTimer.setInterval(kCheckIntervalMs);
    connect(&m_checkTimer, &QTimer::timeout, this, &RemoteScreensManager::checkReachability);
    if (!m_defaults)
        return;
    connect(m_defaults, &platform::Defaults::changed, this, [this](const QString& key) {
        if (key == QLatin1String(kScreensKey))
            loadScreens();
    });
    loadScreens();
}

RemoteScreensManager::~RemoteScreensManager() = default;

void RemoteScreensManager::loadScreens()
{
    QList<RemoteScreen> screens;
    for (const QJsonValue& entry : m_defaults->value(QString::fromLatin1(kScreensKey)).toArray()) {
        if (auto screen = screenFromJson(entry.toObject()))
            screens.append(*screen);
    }
    if (screens == m_screens && m_checkTimer.isActive())
        return;
    m_screens = std::move(screens);
    Q_EMIT screensChanged();
    if (m_screens.isEmpty()) {
        m_checkTimer.stop();
    } else {
        m_checkTimer.start();
    }
    checkReachability();
}

void RemoteScreensManager::checkReachability()
{
    const quint64 round = ++m_checkRound;
    // Answers still to come, and who has answered so far in this round.
    auto outstanding = std::make_shared<int>(0);
    auto answered = std::make_shared<QSet<QUuid>>();
    const auto finish = [this, round, answered] {
        if (round != m_checkRound)
            return;
        // Screens removed while the check ran do not count.
        QSet<QUuid> known;
        for (const RemoteScreen& screen : std::as_const(m_screens))
            known.insert(screen.id);
        const QSet<QUuid> found = *answered & known;
        if (found != m_reachable) {
            m_reachable = found;
            Q_EMIT reachableChanged();
        }
    };
    for (const RemoteScreen& screen : std::as_const(m_screens)) {
        const auto base = screen.baseURL();
        const auto url = base ? urlUnderBase(*base, QStringLiteral("/api/info")) : std::nullopt;
        if (!url)
            continue;
        if (!m_network)
            m_network = std::make_unique<QNetworkAccessManager>();
        QNetworkRequest request(*url);
        request.setTransferTimeout(kCheckTimeoutMs);
        request.setAttribute(
            QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        m_network->setProxy(platform::proxyFor(url->host()));
        QNetworkReply* reply = m_network->get(request);
        ++*outstanding;
        // The head is the whole answer: a body, however long or slow, is never waited for.
        reply->setReadBufferSize(1);
        connect(reply, &QNetworkReply::metaDataChanged, reply, [reply] {
            if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() > 0)
                reply->abort();
        });
        connect(reply, &QNetworkReply::finished, this,
            [reply, id = screen.id, outstanding, answered, finish] {
                reply->deleteLater();
                // Any HTTP answer means something listens there, whatever it thinks of us.
                if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() > 0)
                    answered->insert(id);
                if (--*outstanding == 0)
                    finish();
            });
    }
    if (*outstanding == 0)
        finish();
}

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
