#include "screens/remote_screens_manager.h"

#include "http/http_address.h"
#include "http/http_exchange.h"
#include "http/http_request.h"
#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/log.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>

#include <algorithm>
#include <cmath>

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

HTTPResponse json(int status, const QJsonObject& object)
{
    return {status, QStringLiteral("application/json"),
        QJsonDocument(object).toJson(QJsonDocument::Compact)};
}

QString header(const HTTPRequest& request, const char* name)
{
    return percentDecode(request.headers.value(QLatin1String(name))).value_or(QString());
}

std::optional<Coordinate> location(const QString& text)
{
    const QStringList pieces = text.split(u',');
    if (pieces.size() != 2)
        return std::nullopt;
    bool latOK = false;
    bool lonOK = false;
    const double lat = pieces.at(0).toDouble(&latOK);
    const double lon = pieces.at(1).toDouble(&lonOK);
    if (!latOK || !lonOK || std::abs(lat) > 90 || std::abs(lon) > 180)
        return std::nullopt;
    return Coordinate {lat, lon};
}

ReachFailure reachFailure(HTTPExchangeResult::Failure failure)
{
    using Failure = HTTPExchangeResult::Failure;
    switch (failure) {
    case Failure::badAddress:
        return ReachFailure::badAddress;
    case Failure::hostNotFound:
        return ReachFailure::notFound;
    case Failure::refused:
        return ReachFailure::refused;
    case Failure::idle:
    case Failure::deadline:
        return ReachFailure::noAnswer;
    default:
        return ReachFailure::failed;
    }
}

} // namespace

struct RemoteScreensManager::Relay {
    QUuid id;
    std::unique_ptr<HTTPServer> server;
};

QString RelayRequest::key() const
{
    return screenID.toString(QUuid::WithoutBraces).toUpper() + u'|' + deviceID;
}

RemoteScreensManager::RemoteScreensManager(
    platform::Defaults* defaults, const platform::Clock& clock, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_clock(clock)
    , m_waitingDevices(clock)
    , m_grants(readList(defaults, kGrantsKey))
    , m_blocked(readList(defaults, kBlockedKey))
    , m_remoteHolds(clock)
{
    m_checkTimer.setInterval(m_checkTiming.intervalMs);
    connect(&m_checkTimer, &QTimer::timeout, this, &RemoteScreensManager::checkReachability);
    // What the user allowed goes out; its phone learns how it went by polling.
    connect(
        this, &RemoteScreensManager::forwardRequested, this, &RemoteScreensManager::forwardAllowed);
    connect(&m_waitingDevices, &WaitingDevices::dropped, this, [this](const QString& key) {
        dropWaiting([&key](const RelayRequest& request) { return request.key() == key; });
    });
    connect(&m_waitingDevices, &WaitingDevices::newestDropped, this, [this](const QString& key) {
        if (dropNewest(
                m_waiting, [&](const RelayRequest& request) { return request.key() == key; }))
            Q_EMIT pendingDevicesChanged();
    });
    if (!m_defaults)
        return;
    connect(m_defaults, &platform::Defaults::changed, this, [this](const QString& key) {
        if (key == QLatin1String(kScreensKey))
            loadScreens();
    });
    loadScreens();
}

RemoteScreensManager::~RemoteScreensManager()
{
    for (auto& relay : m_relays)
        relay->server.reset();
}

void RemoteScreensManager::loadScreens()
{
    QList<RemoteScreen> screens;
    for (const QJsonValue& entry : m_defaults->value(QString::fromLatin1(kScreensKey)).toArray()) {
        if (auto screen = screenFromJson(entry.toObject()))
            screens.append(*screen);
    }
    if (screens == m_screens && m_checkTimer.isActive())
        return;
    const bool relaysChanged
        = !std::equal(screens.begin(), screens.end(), m_screens.begin(), m_screens.end(),
              [](const RemoteScreen& a, const RemoteScreen& b) {
                  // A new name is advertised anew.
                  return a.id == b.id && a.name == b.name && a.url == b.url
                      && a.shareOnLAN == b.shareOnLAN && a.relayPort == b.relayPort;
              })
        || m_relays.empty();
    // What a screen told of itself holds for its address only.
    m_asksForCode.removeIf([&](const QUuid& id) {
        const auto before = screen(id);
        return std::none_of(screens.begin(), screens.end(), [&](const RemoteScreen& now) {
            return before && now.id == id && now.url == before->url;
        });
    });
    m_screens = std::move(screens);
    if (relaysChanged && m_relaysStarted)
        restartRelays();
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
    // Answers still to come, and what each screen asked so far in this round gave.
    auto outstanding = std::make_shared<int>(0);
    auto answered = std::make_shared<QSet<QUuid>>();
    auto failures = std::make_shared<QHash<QUuid, ReachFailure>>();
    const auto finish = [this, round, answered, failures] {
        if (round != m_checkRound)
            return;
        // Screens removed while the check ran do not count.
        QSet<QUuid> known;
        for (const RemoteScreen& screen : std::as_const(m_screens))
            known.insert(screen.id);
        const QSet<QUuid> found = *answered & known;
        failures->removeIf([&known](const auto& entry) { return !known.contains(entry.key()); });
        if (found != m_reachable || *failures != m_unreachable) {
            m_reachable = found;
            m_unreachable = *failures;
            Q_EMIT reachableChanged();
        }
    };
    // A check still under way is dropped with its connections.
    m_checks.clear();
    for (const RemoteScreen& screen : std::as_const(m_screens)) {
        const auto base = screen.baseURL();
        const auto url = base ? urlUnderBase(*base, QStringLiteral("/api/info")) : std::nullopt;
        if (!url) {
            failures->insert(screen.id, ReachFailure::badAddress);
            continue;
        }
        ++*outstanding;
        // The head tells whether the screen answers; a body is read only while it is short and
        // comes within the check's time, so that a long or slow one never holds the check or
        // fills memory. What a short one says is known when the check is done.
        const HTTPExchangeLimits limits {.maxBodyBytes = kInfoLimit,
            .idleTimeoutMs = m_checkTiming.timeoutMs,
            .deadlineMs = m_checkTiming.timeoutMs};
        m_checks.push_back(
            std::make_unique<HTTPExchange>(*url, HTTPExchange::Headers {}, QByteArray(), limits,
                [this, id = screen.id, outstanding, answered, failures, finish](
                    const HTTPExchangeResult& answer) {
                    // Any HTTP answer means something listens there, whatever it thinks of us.
                    if (answer.status > 0)
                        answered->insert(id);
                    else
                        failures->insert(id, reachFailure(answer.failure));
                    if (answer.ok() && answer.status == 200)
                        learnFromInfo(id, answer.body);
                    if (--*outstanding == 0)
                        finish();
                }));
    }
    if (*outstanding == 0)
        finish();
}

void RemoteScreensManager::setCheckTiming(CheckTiming timing)
{
    m_checkTiming = timing;
    m_checkTimer.setInterval(timing.intervalMs);
}

void RemoteScreensManager::learnFromInfo(const QUuid& id, const QByteArray& body)
{
    // Only a screen that says so either way changes what is known: an answer of another kind
    // of server, or of an older screen, leaves what its last refusal taught.
    const QJsonValue asks
        = QJsonDocument::fromJson(body).object().value(QLatin1String("requiresCode"));
    if (!asks.isBool())
        return;
    if (asks.toBool())
        m_asksForCode.insert(id);
    else
        m_asksForCode.remove(id);
}

std::optional<RemoteScreen> RemoteScreensManager::screen(const QUuid& id) const
{
    for (const RemoteScreen& entry : m_screens) {
        if (entry.id == id)
            return entry;
    }
    return std::nullopt;
}

QString RemoteScreensManager::sharedName(const RemoteScreen& screen) const
{
    const QString own = m_hooks.screenName ? m_hooks.screenName() : QString();
    return own.isEmpty() ? screen.name : screen.name + QStringLiteral(" via ") + own;
}

void RemoteScreensManager::setForwarder(decltype(RemoteRelayHooks::forward) forward)
{
    m_hooks.forward = std::move(forward);
}

void RemoteScreensManager::setHoldAsker(decltype(RemoteRelayHooks::askHold) askHold)
{
    m_hooks.askHold = std::move(askHold);
}

void RemoteScreensManager::setRelayHooks(RemoteRelayHooks hooks)
{
    if (!hooks.forward)
        hooks.forward = std::move(m_hooks.forward);
    if (!hooks.askHold)
        hooks.askHold = std::move(m_hooks.askHold);
    m_hooks = std::move(hooks);
    restartRelays();
}

HTTPServer* RemoteScreensManager::relayServer(const QUuid& id) const
{
    for (const auto& relay : m_relays) {
        if (relay->id == id)
            return relay->server.get();
    }
    return nullptr;
}

void RemoteScreensManager::restartRelays()
{
    m_relaysStarted = true;
    // Each old listener closes before its port is bound again.
    for (auto& relay : m_relays)
        relay->server.reset();
    m_relays.clear();
    m_relayProblems.clear();
    const bool advertise
        = m_defaults && m_defaults->boolValue(QStringLiteral("advertiseOnNetwork"), true);
    bool portsChosen = false;
    for (RemoteScreen& entry : m_screens) {
        if (!entry.shareOnLAN || !entry.baseURL())
            continue;
        HTTPServerConfig config;
        config.port = entry.relayPort;
        config.serviceName = sharedName(entry);
        config.handler = relayHandler(entry.id);
        config.advertise = advertise;
        config.address = m_listenAddress;
        auto relay = std::make_unique<Relay>();
        relay->id = entry.id;
        relay->server = std::make_unique<HTTPServer>(config);
        const QString name = entry.name;
        HTTPServer* server = relay->server.get();
        const auto onState = [weak = QPointer<RemoteScreensManager>(this), id = entry.id, server](
                                 HTTPServerState state, const QString& error) {
            // Reports of a listener that was replaced meanwhile are ignored.
            if (!weak || weak->relayServer(id) != server || state != HTTPServerState::failed)
                return;
            weak->m_relayProblems.insert(id, error);
            Q_EMIT weak->relaysChanged();
        };
        if (const auto error = server->start(onState)) {
            qCWarning(lcServer).noquote()
                << "[relay] sharing" << name << "failed:" << error->description;
            m_relayProblems.insert(entry.id, error->description);
            continue;
        }
        if (entry.relayPort == 0) {
            entry.relayPort = relay->server->serverPort();
            portsChosen = true;
        }
        m_relays.push_back(std::move(relay));
    }
    if (portsChosen && m_defaults) {
        // Stored so phones find the screen at the same port next time; the reload this causes
        // finds the list unchanged.
        QJsonArray array;
        for (const RemoteScreen& entry : std::as_const(m_screens))
            array.append(entry.toJson());
        m_defaults->set(QString::fromLatin1(kScreensKey), array);
    }
    Q_EMIT relaysChanged();
}

HTTPHandler RemoteScreensManager::relayHandler(const QUuid& screenID)
{
    return [weak = QPointer<RemoteScreensManager>(this), screenID](
               HTTPRequest request, HTTPReplyFunction reply) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak, screenID, request = std::move(request), reply = std::move(reply)]() mutable {
                if (weak)
                    weak->routeRelay(screenID, request, std::move(reply));
                else
                    reply(HTTPResponse::text(503, QStringLiteral("Server stopped")));
            },
            Qt::QueuedConnection);
    };
}

void RemoteScreensManager::routeRelay(
    const QUuid& screenID, const HTTPRequest& request, HTTPReplyFunction reply)
{
    const auto target = screen(screenID);
    if (!target || !target->shareOnLAN)
        return reply(HTTPResponse::text(503, QStringLiteral("Server stopped")));
    const QString& path = request.path;
    const bool get = request.method == QLatin1String("GET");
    const bool post = request.method == QLatin1String("POST");
    if (request.method == QLatin1String("OPTIONS"))
        return reply({204, QStringLiteral("text/plain"), {}});
    if (get && (path == QLatin1String("/") || path == QLatin1String("/index.html"))
        && m_hooks.uploadPage) {
        return reply({200, QStringLiteral("text/html; charset=utf-8"),
            m_hooks.uploadPage(sharedName(*target)).toUtf8()});
    }
    if (get && path == QLatin1String("/api/info")) {
        return reply(json(200,
            {{QStringLiteral("name"), sharedName(*target)}, {QStringLiteral("policy"), "ask"},
                {QStringLiteral("requiresCode"), m_asksForCode.contains(screenID)},
                {QStringLiteral("supportsText"), true}}));
    }
    if (get && path == QLatin1String("/api/status")) {
        const RelayRequest probe {
            .screenID = screenID, .deviceID = request.query.value(QStringLiteral("device"))};
        m_waitingDevices.polled(probe.key());
        askRemote(probe.key());
        return reply(json(200, statusOf(probe.key(), probe.deviceID)));
    }
    const bool upload = path == QLatin1String("/upload") || path == QLatin1String("/file")
        || path == QLatin1String("/text");
    if (!post || !upload)
        return reply(HTTPResponse::text(404, QStringLiteral("Not found")));
    if (request.body.isEmpty())
        return reply(HTTPResponse::text(400, QStringLiteral("Empty body")));

    RelayRequest relayed;
    relayed.screenID = screenID;
    relayed.screenName = target->name;
    relayed.deviceID = request.headers.value(QStringLiteral("x-device")).trimmed();
    // A page without a device id is told apart by its address.
    if (relayed.deviceID.isEmpty())
        relayed.deviceID = request.remoteAddress;
    relayed.sender = header(request, "x-sender").trimmed();
    relayed.deviceName = header(request, "x-device-name");
    if (relayed.deviceName.isEmpty())
        relayed.deviceName = relayed.sender.isEmpty() ? relayed.deviceID : relayed.sender;
    relayed.body = request.body;
    relayed.path = path;
    relayed.contentType = request.headers.value(QStringLiteral("content-type"));
    relayed.note = header(request, "x-note");
    relayed.fileName = header(request, "x-filename");
    relayed.itemID = request.headers.value(QStringLiteral("x-item-id")).trimmed();
    relayed.groupID = request.headers.value(QStringLiteral("x-group"));
    relayed.groupIndex
        = parseDecimalInt64(request.headers.value(QStringLiteral("x-group-index"))).value_or(0);
    relayed.groupCount
        = parseDecimalInt64(request.headers.value(QStringLiteral("x-group-count"))).value_or(0);
    relayed.location = location(request.headers.value(QStringLiteral("x-location")));
    relayed.code = header(request, "x-code");
    relayed.remoteAddress = request.remoteAddress;
    relay(relayed, std::move(reply));
}

bool RemoteScreensManager::isGranted(const QString& key) const
{
    const QDateTime now = m_clock.now();
    return std::any_of(m_grants.begin(), m_grants.end(),
        [&](const DeviceGrant& grant) { return grant.deviceID == key && grant.isLive(now); });
}

QJsonObject RemoteScreensManager::statusOf(const QString& key, const QString& deviceID) const
{
    const int forwarding = m_forwarding.value(key);
    const bool heldThere = m_remoteHolds.isHeld(key);
    const qint64 waiting = forwarding + m_waitingDevices.uploads(key) + (heldThere ? 1 : 0);
    const auto outcome = m_remoteHolds.outcome(key);
    QJsonObject status = DeviceStatus {.approved = isGranted(key) && waiting == 0,
        .denied = m_denied.contains(key) || isBlocked(deviceID)
            || outcome == RemoteHoldAnswer::State::declined,
        .pending = waiting,
        .expired = waiting == 0
            && (m_waitingDevices.expired(key) || outcome == RemoteHoldAnswer::State::expired)}
                             .toJson();
    if (const auto failure = m_failures.constFind(key); failure != m_failures.cend()) {
        status.insert(QStringLiteral("error"), failure->reason);
        if (failure->needsCode)
            status.insert(QStringLiteral("needsCode"), true);
    }
    return status;
}

bool RemoteScreensManager::isBlocked(const QString& deviceID) const
{
    return std::any_of(m_blocked.begin(), m_blocked.end(),
        [&](const DeviceGrant& b) { return b.deviceID == deviceID; });
}

void RemoteScreensManager::forwardAllowed(const RelayRequest& request)
{
    const QString key = request.key();
    const auto target = screen(request.screenID);
    const auto base = target ? target->baseURL() : std::nullopt;
    ++m_forwarding[key];
    if (!base || !m_hooks.forward)
        return forwarded(
            key, HTTPResponse::text(502, QStringLiteral("The remote screen could not be reached")));
    forward(*base, request,
        [weak = QPointer<RemoteScreensManager>(this), key](const HTTPResponse& response) {
            if (weak)
                weak->forwarded(key, response);
        });
}

void RemoteScreensManager::forward(const QUrl& base, const RelayRequest& request,
    std::function<void(const HTTPResponse&)> answered)
{
    m_hooks.forward(base, request,
        [weak = QPointer<RemoteScreensManager>(this), id = request.screenID,
            codeSent = !request.code.isEmpty(), key = request.key(),
            device = RemoteHolds::Device {request.screenID, request.deviceID, request.deviceName},
            answered = std::move(answered)](const HTTPResponse& response) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [weak, id, codeSent, key, device, answered, response] {
                    if (weak)
                        weak->m_remoteHolds.answered(key, device, response.status);
                    // Learnt before the phone hears it, so that its next look at "/api/info"
                    // already asks for the code.
                    if (weak && response.status == 401)
                        weak->m_asksForCode.insert(id);
                    else if (weak && !codeSent && response.status >= 200 && response.status < 300)
                        weak->m_asksForCode.remove(id);
                    answered(response);
                },
                Qt::AutoConnection);
        });
}

void RemoteScreensManager::forwarded(const QString& key, const HTTPResponse& response)
{
    if (--m_forwarding[key] <= 0)
        m_forwarding.remove(key);
    if (response.status >= 200 && response.status < 300)
        return;
    // The phone reads this where it would have read the reply, had it been waiting for it.
    QString reason = QString::fromUtf8(response.body.left(800)).simplified().left(200);
    if (reason.isEmpty() || !response.contentType.startsWith(QLatin1String("text/plain")))
        reason = QStringLiteral("The remote screen could not be reached");
    m_failures.insert(key, {reason, response.status == 401});
}

void RemoteScreensManager::askRemote(const QString& key)
{
    const auto device = m_remoteHolds.askNow(key);
    if (!device)
        return;
    const auto target = screen(device->screenID);
    const auto base = target ? target->baseURL() : std::nullopt;
    if (!base || !m_hooks.askHold)
        return (void)m_remoteHolds.told(key, {});
    const RelayRequest about {.screenID = device->screenID,
        .screenName = target->name,
        .deviceID = device->deviceID,
        .deviceName = device->deviceName};
    m_hooks.askHold(*base, about,
        [weak = QPointer<RemoteScreensManager>(this), key](const RemoteHoldAnswer& answer) {
            if (weak)
                weak->remoteHoldAnswered(key, answer);
        });
}

void RemoteScreensManager::remoteHoldAnswered(const QString& key, const RemoteHoldAnswer& answer)
{
    if (m_remoteHolds.told(key, answer) && answer.state == RemoteHoldAnswer::State::failed)
        m_failures.insert(key, {answer.error, answer.needsCode});
}

void RemoteScreensManager::relay(const RelayRequest& request, HTTPReplyFunction reply)
{
    const QString key = request.key();
    // What it sends now is told apart from what failed before.
    m_failures.remove(key);
    m_remoteHolds.forget(key);
    if (isBlocked(request.deviceID) || m_denied.contains(key))
        return reply(HTTPResponse::text(403, QStringLiteral("This screen declined the request")));
    const auto target = screen(request.screenID);
    const auto base = target ? target->baseURL() : std::nullopt;
    if (isGranted(key)) {
        if (!base || !m_hooks.forward)
            return reply(HTTPResponse::text(502, QStringLiteral("Remote screen unreachable")));
        return forward(*base, request, std::move(reply));
    }
    if (const auto refused = wait(request))
        return reply(HTTPResponse::text(503, refusalText(*refused)));
    if (m_hooks.announceWaiting)
        m_hooks.announceWaiting();
    reply(json(202, {{QStringLiteral("ok"), true}, {QStringLiteral("pending"), true}}));
}

bool RemoteScreensManager::hold(const RelayRequest& request)
{
    const QString key = request.key();
    if (isBlocked(request.deviceID) || m_denied.contains(key))
        return false;
    if (isGranted(key)) {
        Q_EMIT forwardRequested(request);
        return true;
    }
    return !wait(request);
}

std::optional<HoldRefusal> RemoteScreensManager::wait(const RelayRequest& request)
{
    if (const auto refused
        = m_waitingDevices.admit(request.key(), request.remoteAddress, request.body.size()))
        return refused;
    m_waiting.append(request);
    Q_EMIT pendingDevicesChanged();
    return std::nullopt;
}

QList<RelayPending> RemoteScreensManager::pendingDevices(qsizetype limit) const
{
    QList<RelayPending> entries;
    for (const RelayRequest& request : m_waiting) {
        const QString key = request.key();
        auto it = std::find_if(entries.begin(), entries.end(),
            [&](const RelayPending& entry) { return entry.key == key; });
        if (it != entries.end())
            ++it->count;
        else if (limit < 0 || entries.size() < limit)
            entries.append({key, request.screenName, request.deviceName, request.deviceID, 1});
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
    if (!isBlocked(device))
        m_blocked.append({.deviceID = device, .name = name, .grantedAt = m_clock.now()});
    removeGrant(key);
    save();
    dropWaiting([&](const RelayRequest& request) { return request.deviceID == device; });
    Q_EMIT blockedChanged();
}

void RemoteScreensManager::unblock(const QString& deviceID)
{
    if (m_blocked.removeIf([&](const DeviceGrant& b) { return b.deviceID == deviceID; }) == 0)
        return;
    m_denied.removeIf([&](const QString& key) { return deviceOf(key) == deviceID; });
    save();
    Q_EMIT blockedChanged();
}

void RemoteScreensManager::dropWaiting(const std::function<bool(const RelayRequest&)>& which)
{
    QSet<QString> keys;
    m_waiting.removeIf([&](const RelayRequest& request) {
        if (!which(request))
            return false;
        keys.insert(request.key());
        return true;
    });
    for (const QString& key : std::as_const(keys))
        m_waitingDevices.release(key);
    if (!keys.isEmpty())
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
