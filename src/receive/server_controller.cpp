#include "receive/server_controller.h"

#include "access/access_manager.h"
#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/desktop_notifications.h"
#include "platform/enum_table.h"
#include "platform/log.h"
#include "receive/arrival.h"
#include "receive/browser_screen.h"
#include "receive/desktop_actions.h"
#include "receive/hosted_routes.h"
#include "receive/intake.h"
#include "receive/routes.h"
#include "receive/upload_handler.h"
#include "receive/web_pages.h"
#include "relay_manager/relay_manager.h"
#include "relay_manager/sibling_sync.h"
#include "screens/hosted_screens_manager.h"
#include "screens/remote_screens_manager.h"
#include "store/item_store.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QTcpServer>
#include <QTimer>

namespace vesker {

namespace {

constexpr auto kAdvertisedName = "advertisedName";
constexpr auto kAdvertiseKey = "advertiseOnNetwork";
constexpr platform::EnumTable<HTTPInterfaceType, 2> kInterfaceKinds {{
    {HTTPInterfaceType::wifi, "wifi"},
    {HTTPInterfaceType::wiredEthernet, "wired"},
}};

// For a controller without a desktop (benchmarks, a headless tool).
class NoDesktop final : public DesktopActions {
public:
    void showWindow() override { }
    void handleArrival(const ScreenItem&) override { }
    void copyToClipboard(const QString&) override { }
    void playSound(const QString&) override { }
};

DesktopActions& noDesktop()
{
    static NoDesktop none;
    return none;
}

} // namespace

ServerController::ServerController(ItemStore& store, Services services, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_services(std::move(services))
    , m_defaults(m_services.defaults)
    , m_clock(m_services.clock)
    , m_relay(m_services.relay)
    , m_sync(m_services.sync)
    , m_desktop(m_services.desktop ? *m_services.desktop : noDesktop())
    , m_statusText(QStringLiteral("Starting…"))
{
    m_access = std::make_unique<AccessManager>(m_defaults, m_clock);
    m_hosted
        = std::make_unique<HostedScreensManager>(m_defaults, m_clock, ItemStore::defaultRoot());
    m_remote = std::make_unique<RemoteScreensManager>(&m_defaults, m_clock);
    m_arrival = std::make_unique<ArrivalAnnouncer>(m_store, m_desktop, m_services.notifications);
    m_intake = std::make_unique<ItemIntake>(
        m_store, *m_hosted, m_relay, m_defaults, m_clock, m_desktop, *m_arrival);
    m_uploads = std::make_unique<UploadHandler>(*m_access, *m_intake, m_desktop, m_clock);
    m_browserScreen = std::make_unique<BrowserScreen>(
        m_store, *m_access, m_defaults, m_clock, [this] { return screenName(); });
    m_routes = std::make_unique<Routes>(*this, *m_uploads, *m_browserScreen);
    m_snapshots = std::make_shared<RouteSnapshots>();
    const auto stale = [snapshots = m_snapshots] { snapshots->publish(nullptr); };
    connect(&m_store, &ItemStore::itemsChanged, this, stale);
    connect(&m_store, &ItemStore::changed, this, stale);
    connect(&m_defaults, &platform::Defaults::changed, this, stale);
    m_remote->setListenAddress(m_services.listenAddress);
    m_hosted->setListenAddress(m_services.listenAddress);

    // An upload released by the user's approval is stored; its sender, no longer waiting for a
    // reply, learns how that went from its status.
    connect(m_access.get(), &AccessManager::uploadAccepted, this,
        [this](const PendingUpload& upload) { m_uploads->storeReleased(upload); });
    connect(m_access.get(), &AccessManager::pendingChanged, this, &ServerController::changed);
    // Switching advertising off or on, wherever it is done, goes out under the new setting at
    // once: the main server, the hosted screens and the shared remote screens alike.
    connect(&m_defaults, &platform::Defaults::changed, this, [this](const QString& key) {
        if (key == QLatin1String(kAdvertiseKey) && advertiseOnNetwork(m_defaults) != m_advertising)
            restart();
    });
    start();
    // The hosted screens and the relays listen once this screen's own port is bound: a port of
    // theirs stored on it must not take it away.
    m_hosted->setRoutesFactory([this](const HostedScreen& screen, ItemStore& store) {
        return std::make_unique<HostedRoutes>(
            screen, store, *m_intake, *m_access, m_defaults, m_clock);
    });
    m_remote->setRelayHooks({.screenName = [this] { return screenName(); },
        .uploadPage = [](const QString& name) { return uploadPageHTML(name); },
        .announceWaiting =
            [this] {
                m_desktop.showWindow();
                m_desktop.playSound(QStringLiteral("Tink"));
            }});
    connectSubsystems();
}

ServerController::~ServerController() = default;

QString ServerController::screenName(
    const platform::Defaults& defaults, const QString& computerName)
{
    const QString stored = defaults.string(QStringLiteral("screenName")).trimmed();
    if (!stored.isEmpty())
        return stored;
    return computerName.isEmpty() ? QStringLiteral("This computer") : computerName;
}

QString ServerController::screenName() const
{
    return screenName(m_defaults, m_services.computerName ? m_services.computerName() : QString());
}

quint16 ServerController::port(const platform::Defaults& defaults)
{
    const qint64 p = defaults.integer(QStringLiteral("serverPort"), 0);
    return p >= 1024 && p <= 65535 ? quint16(p) : kDefaultPort;
}

QString ServerController::portNotice(const platform::Defaults& defaults)
{
    const QString key = QStringLiteral("serverPort");
    if (!defaults.contains(key) || defaults.integer(key, 0) == port(defaults))
        return {};
    return QStringLiteral("The port setting is not a port from 1024 to 65535; using port %1.")
        .arg(kDefaultPort);
}

bool ServerController::advertiseOnNetwork(const platform::Defaults& defaults)
{
    return defaults.boolValue(QLatin1String(kAdvertiseKey), true);
}

std::optional<HTTPInterfaceType> ServerController::interfaceKind(const platform::Defaults& defaults)
{
    return platform::caseOf(kInterfaceKinds, defaults.string(QStringLiteral("serverInterface")));
}

void ServerController::start()
{
    const bool advertise = advertiseOnNetwork(m_defaults);
    m_advertising = advertise;
    const QString name = screenName();

    if (const QString notice = portNotice(); !notice.isEmpty()) {
        qCWarning(lcServer).noquote()
            << "[server]" << notice << "Setting:"
            << QJsonDocument(QJsonArray {m_defaults.value(QStringLiteral("serverPort"))})
                   .toJson(QJsonDocument::Compact);
    }

    HTTPServerConfig config;
    config.port = port(m_defaults);
    config.serviceName = name;
    config.screenID = m_relay.relayScreenID();
    config.handler = requestHandler();
    config.headCheck = headCheck();
    config.interfaceType = interfaceKind(m_defaults);
    config.advertise = advertise;
    config.address = m_services.listenAddress;
    // The old server, if any, closes its listening socket before the new one binds.
    m_server.reset();
    m_server = std::make_unique<HTTPServer>(config);

    if (advertise)
        m_defaults.set(QLatin1String(kAdvertisedName), name);
    else
        m_defaults.remove(QLatin1String(kAdvertisedName));
    // The daemon may have renamed us after a collision; other parts of the program leave our
    // own advertisement out of their lists by this name.
    connect(m_server.get(), &HTTPServer::advertised, this, [this](const QString& registered) {
        if (advertiseOnNetwork(m_defaults))
            m_defaults.set(QLatin1String(kAdvertisedName), registered);
        // The daemon came back: phones find this screen again.
        if (!m_discoveryProblem.isEmpty()) {
            m_discoveryProblem.clear();
            Q_EMIT changed();
        }
    });
    m_discoveryProblem.clear();
    connect(m_server.get(), &HTTPServer::notAdvertised, this, [this](const QString& reason) {
        m_discoveryProblem = reason;
        Q_EMIT changed();
    });

    // Reports of a server that was replaced meanwhile are ignored.
    HTTPServer* current = m_server.get();
    const auto error = m_server->start([weak = QPointer<ServerController>(this), current](
                                           HTTPServerState state, const QString& error) {
        if (weak && weak->m_server.get() == current)
            weak->onServerState(state, error);
    });
    if (error) {
        // A port another program holds leaves phones nothing to reach: never say it only
        // where nobody may look.
        qCWarning(lcServer).noquote()
            << "[server] could not listen on port" << config.port << "-" << error->description;
        setStatus(QStringLiteral("Could not start: ") + error->description);
    }
    refreshAddresses();
}

void ServerController::onServerState(HTTPServerState state, const QString& error)
{
    switch (state) {
    case HTTPServerState::ready: {
        setRunning(true);
        QString status = QStringLiteral("Listening on port ") + QString::number(port(m_defaults));
        if (!advertiseOnNetwork(m_defaults))
            status += QStringLiteral(" (not discoverable)");
        setStatus(status);
        refreshAddresses();
        break;
    }
    case HTTPServerState::waiting:
        setStatus(QStringLiteral("Waiting: ") + error);
        break;
    case HTTPServerState::failed:
        setRunning(false);
        setStatus(QStringLiteral("Failed: ") + error);
        break;
    case HTTPServerState::cancelled:
        setRunning(false);
        setStatus(QStringLiteral("Stopped"));
        break;
    case HTTPServerState::setup:
        break;
    }
}

void ServerController::restart()
{
    if (m_server)
        m_server->stop();
    m_server.reset();
    setRunning(false);
    start();
    m_remote->restartRelays();
    m_hosted->restartAll();
}

void ServerController::setScreenName(const QString& name)
{
    const QString trimmed = name.trimmed();
    if (trimmed == m_defaults.string(QStringLiteral("screenName")))
        return;
    m_defaults.set(QStringLiteral("screenName"), trimmed);
    restart();
    publishScreens();
    QTimer::singleShot(0, &m_relay, [relay = &m_relay] { relay->republish(); });
}

std::optional<QString> ServerController::changePort(int wanted)
{
    const quint16 current = port(m_defaults);
    if (wanted < 1024 || wanted > 65535)
        return QStringLiteral("Choose a port from 1024 to 65535. The screen stays on port %1.")
            .arg(current);
    if (wanted == current)
        return std::nullopt;
    {
        // Asked before anything is written: a refused port must not stop the screen.
        QTcpServer probe;
        if (!probe.listen(m_services.listenAddress, quint16(wanted)))
            return QStringLiteral(
                "Port %1 is in use by another program. The screen stays on port %2.")
                .arg(wanted)
                .arg(current);
    }
    m_defaults.set(QStringLiteral("serverPort"), wanted);
    restart();
    return std::nullopt;
}

void ServerController::refreshAddresses()
{
    QList<NetworkAddress> list
        = m_services.networkAddresses ? m_services.networkAddresses() : QList<NetworkAddress>();
    if (const auto kind = interfaceKind(m_defaults)) {
        const QString wanted = *kind == HTTPInterfaceType::wifi ? kWifiLabel : kEthernetLabel;
        QList<NetworkAddress> matching;
        for (const NetworkAddress& entry : std::as_const(list)) {
            if (entry.label.contains(wanted, Qt::CaseInsensitive))
                matching.append(entry);
        }
        // A setting that matches no interface must not hide the screen altogether.
        if (!matching.isEmpty())
            list = matching;
    }
    const QString preferred = m_defaults.string(QStringLiteral("preferredAddress"));
    if (!preferred.isEmpty()) {
        for (qsizetype i = 1; i < list.size(); ++i) {
            if (list.at(i).address == preferred) {
                list.move(i, 0);
                break;
            }
        }
    }

    const QString suffix = u':' + QString::number(port(m_defaults));
    QStringList urls;
    for (const NetworkAddress& entry : std::as_const(list))
        urls.append(QStringLiteral("http://") + entry.address + suffix);
    const QString host = m_services.hostName ? m_services.hostName() : QString();
    if (host.endsWith(QLatin1String(".local")))
        urls.append(QStringLiteral("http://") + host + suffix);

    if (list == m_networkAddresses && urls == m_addresses)
        return;
    m_networkAddresses = list;
    m_addresses = urls;
    Q_EMIT addressesChanged();
}

std::optional<QString> ServerController::pairingURL() const
{
    return linkTo(QStringLiteral("/"));
}

std::optional<QString> ServerController::browserScreenURL() const
{
    return linkTo(QStringLiteral("/screen"));
}

std::optional<QString> ServerController::linkTo(const QString& path) const
{
    if (m_addresses.isEmpty())
        return std::nullopt;
    QString url = m_addresses.first();
    if (m_access->codeRequired()) {
        // Only ASCII letters and digits stay as they are, so no code can break the link.
        const QByteArray encoded
            = m_access->accessCode().toUtf8().toPercentEncoding({}, QByteArrayLiteral("-._~"));
        url += path + QStringLiteral("?code=") + QString::fromLatin1(encoded);
    } else if (path != u'/') {
        url += path;
    }
    return url;
}

HTTPHandler ServerController::requestHandler()
{
    return [alive = std::weak_ptr<int>(m_alive), weak = QPointer<ServerController>(this),
               snapshots = m_snapshots](HTTPRequest request, HTTPReplyFunction reply) {
        const auto stopped
            = [] { return HTTPResponse::text(503, QStringLiteral("Server stopped")); };
        if (alive.expired()) {
            reply(stopped());
            return;
        }
        if (const auto snapshot = snapshots->current()) {
            if (std::optional<HTTPResponse> answer = snapshot->answer(request)) {
                reply(std::move(*answer));
                return;
            }
        }
        // The application object outlives the controller, so the hop itself always happens and
        // every request gets an answer; whether the controller is still there is asked on the
        // main thread, where it is deleted.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak, request = std::move(request), reply = std::move(reply), stopped]() mutable {
                if (weak)
                    weak->route(request, std::move(reply));
                else
                    reply(stopped());
            },
            Qt::QueuedConnection);
    };
}

HTTPHeadCheck ServerController::headCheck()
{
    return [alive = std::weak_ptr<int>(m_alive), weak = QPointer<ServerController>(this)](
               HTTPRequest head, HTTPHeadVerdict verdict) {
        const auto stopped
            = [] { return HTTPResponse::text(503, QStringLiteral("Server stopped")); };
        if (alive.expired()) {
            verdict(stopped());
            return;
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak, head = std::move(head), verdict = std::move(verdict), stopped] {
                verdict(weak ? weak->m_routes->refusalBeforeBody(head)
                             : std::optional<HTTPResponse>(stopped()));
            },
            Qt::QueuedConnection);
    };
}

void ServerController::route(const HTTPRequest& request, HTTPReplyFunction reply)
{
    if (!m_snapshots->current())
        m_snapshots->publish(m_routes->snapshot());
    m_routes->route(request, std::move(reply));
}

void ServerController::publishScreens()
{
    QList<std::pair<QString, QString>> extra;
    for (const HostedScreen& screen : m_hosted->screens()) {
        if (screen.enabled)
            extra.append({screen.id.toString(QUuid::Id128), screen.name});
    }
    const QString name = screenName();
    m_relay.setPublishedScreens(name, extra);
    m_sync.setDeviceName(name);
}

void ServerController::connectSubsystems()
{
    publishScreens();
    connect(&m_relay, &RelayManager::received, m_intake.get(), &ItemIntake::acceptRelayItem);
    connect(&m_relay, &RelayManager::pairingRequested, this, [this] {
        m_desktop.showWindow();
        m_desktop.playSound(QStringLiteral("Tink"));
    });

    const QPointer<RelayManager> relay(&m_relay);
    auto sendAck = [relay](const QString& messageID, const QString& action) {
        if (relay)
            QTimer::singleShot(
                0, relay, [relay, messageID, action] { relay->sendAck(messageID, action); });
    };
    // What the store acknowledged before this existed (the cleanup at launch) comes now.
    connect(&m_store, &ItemStore::relayAcknowledged, this, sendAck);
    connect(m_hosted.get(), &HostedScreensManager::relayAcknowledged, this, sendAck);

    connect(m_hosted.get(), &HostedScreensManager::screensChanged, this, [this] {
        publishScreens();
        QTimer::singleShot(0, &m_relay, [relay = &m_relay] { relay->republish(); });
    });

    m_sync.start();
}

void ServerController::setRunning(bool running)
{
    if (m_isRunning == running)
        return;
    m_isRunning = running;
    Q_EMIT isRunningChanged();
}

void ServerController::setStatus(const QString& text)
{
    if (m_statusText == text)
        return;
    m_statusText = text;
    Q_EMIT statusTextChanged();
}

} // namespace vesker
