#include "screens/hosted_screens_manager.h"

#include "http/http_server.h"
#include "platform/defaults.h"
#include "platform/log.h"
#include "store/item_store.h"
#include "store/store_cleanup.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QPointer>

namespace vesker {

namespace {

constexpr auto kScreensKey = "hostedScreens";

HTTPResponse stopped()
{
    return HTTPResponse::text(503, QStringLiteral("Server stopped"));
}

} // namespace

struct HostedScreensManager::Running {
    QUuid id;
    std::unique_ptr<HostedScreenRoutes> routes;
    std::unique_ptr<HTTPServer> server;
};

std::optional<HostedScreen> HostedScreen::fromJson(const QJsonObject& json)
{
    HostedScreen screen;
    screen.id = QUuid::fromString(json.value(QLatin1String("id")).toString());
    const QJsonValue port = json.value(QLatin1String("port"));
    if (screen.id.isNull() || !json.value(QLatin1String("slug")).isString() || !port.isDouble()
        || port.toInt(-1) < 0 || port.toInt(-1) > 65535)
        return std::nullopt;
    screen.name = json.value(QLatin1String("name")).toString();
    screen.slug = json.value(QLatin1String("slug")).toString();
    screen.pin = json.value(QLatin1String("pin")).toString();
    screen.port = quint16(port.toInt());
    screen.requirePinToSend = json.value(QLatin1String("requirePinToSend")).toBool(false);
    screen.enabled = json.value(QLatin1String("enabled")).toBool(true);
    screen.allowBrowserScreen = json.value(QLatin1String("allowBrowserScreen")).toBool(false);
    return screen;
}

QJsonObject HostedScreen::toJson() const
{
    return {{QStringLiteral("id"), id.toString(QUuid::WithoutBraces).toUpper()},
        {QStringLiteral("name"), name}, {QStringLiteral("slug"), slug},
        {QStringLiteral("pin"), pin}, {QStringLiteral("port"), port},
        {QStringLiteral("requirePinToSend"), requirePinToSend},
        {QStringLiteral("enabled"), enabled},
        {QStringLiteral("allowBrowserScreen"), allowBrowserScreen}};
}

HostedScreensManager::HostedScreensManager(platform::Defaults& defaults,
    const platform::Clock& clock, QString productFolder, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_clock(clock)
    , m_productFolder(std::move(productFolder))
{
    load();
    connect(&m_defaults, &platform::Defaults::changed, this, [this](const QString& key) {
        if (key != QLatin1String(kScreensKey) || !load())
            return;
        restartAll();
        Q_EMIT screensChanged();
    });
}

HostedScreensManager::~HostedScreensManager()
{
    // Servers first: their requests still in flight find no routes and are told so.
    for (auto& running : m_running)
        running->server.reset();
}

bool HostedScreensManager::load()
{
    QList<HostedScreen> screens;
    for (const QJsonValue& entry : m_defaults.value(QLatin1String(kScreensKey)).toArray()) {
        if (auto screen = HostedScreen::fromJson(entry.toObject()))
            screens.append(*screen);
    }
    if (screens == m_screens)
        return false;
    m_screens = std::move(screens);
    return true;
}

ItemStore* HostedScreensManager::store(const HostedScreen& screen)
{
    if (ItemStore* existing = m_stores.value(screen.id))
        return existing;
    if (!ItemStore::isPlainFileName(screen.slug))
        return nullptr;
    auto* store = new ItemStore(
        m_productFolder + QStringLiteral("/Hosted/") + screen.slug, m_defaults, m_clock, this);
    // Connected before the first cleanup, so what it acknowledges reaches the relay too.
    connect(store, &ItemStore::relayAcknowledged, this, &HostedScreensManager::relayAcknowledged);
    new StoreCleanup(*store, m_defaults, m_clock, store);
    m_stores.insert(screen.id, store);
    return store;
}

std::optional<HostedScreen> HostedScreensManager::sharedScreen(const QString& path) const
{
    if (!path.startsWith(QLatin1String("/s/")))
        return std::nullopt;
    const QString slug = path.section(u'/', 2, 2);
    for (const HostedScreen& screen : m_screens) {
        if (screen.enabled && !slug.isEmpty() && screen.slug == slug)
            return screen;
    }
    return std::nullopt;
}

HostedScreenRoutes* HostedScreensManager::sharedRoutes(HTTPRequest& request, QString& base) const
{
    const auto screen = sharedScreen(request.path);
    HostedScreenRoutes* target = screen ? routes(screen->id) : nullptr;
    if (!target)
        return nullptr;
    base = QStringLiteral("/s/") + screen->slug;
    request.path = request.path.mid(base.size());
    return target;
}

bool HostedScreensManager::handleSharedPath(const HTTPRequest& request, HTTPReplyFunction& reply)
{
    HTTPRequest inner = request;
    QString base;
    HostedScreenRoutes* target = sharedRoutes(inner, base);
    if (!target)
        return false;
    target->route(inner, base, std::move(reply));
    return true;
}

std::optional<HTTPResponse> HostedScreensManager::sharedRefusalBeforeBody(const HTTPRequest& head)
{
    HTTPRequest inner = head;
    QString base;
    HostedScreenRoutes* target = sharedRoutes(inner, base);
    return target ? target->refusalBeforeBody(inner) : std::nullopt;
}

void HostedScreensManager::setRoutesFactory(HostedRoutesFactory factory)
{
    m_factory = std::move(factory);
    restartAll();
}

HostedScreenRoutes* HostedScreensManager::routes(const QUuid& id) const
{
    for (const auto& running : m_running) {
        if (running->id == id)
            return running->routes.get();
    }
    return nullptr;
}

HTTPServer* HostedScreensManager::server(const QUuid& id) const
{
    for (const auto& running : m_running) {
        if (running->id == id)
            return running->server.get();
    }
    return nullptr;
}

HTTPHandler HostedScreensManager::handlerFor(const QUuid& id)
{
    return [weak = QPointer<HostedScreensManager>(this), id](
               HTTPRequest request, HTTPReplyFunction reply) {
        // Asked on the main thread, where the manager and the routes are deleted.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak, id, request = std::move(request), reply = std::move(reply)]() mutable {
                HostedScreenRoutes* routes = weak ? weak->routes(id) : nullptr;
                if (routes)
                    routes->route(request, {}, std::move(reply));
                else
                    reply(stopped());
            },
            Qt::QueuedConnection);
    };
}

HTTPHeadCheck HostedScreensManager::headCheckFor(const QUuid& id)
{
    return [weak = QPointer<HostedScreensManager>(this), id](
               HTTPRequest head, HTTPHeadVerdict verdict) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak, id, head = std::move(head), verdict = std::move(verdict)] {
                HostedScreenRoutes* routes = weak ? weak->routes(id) : nullptr;
                verdict(routes ? routes->refusalBeforeBody(head)
                               : std::optional<HTTPResponse>(stopped()));
            },
            Qt::QueuedConnection);
    };
}

void HostedScreensManager::restartAll()
{
    // Each old listener closes before its port is bound again.
    for (auto& running : m_running)
        running->server.reset();
    m_running.clear();
    m_problems.clear();
    if (!m_factory)
        return;
    const bool advertise = m_defaults.boolValue(QStringLiteral("advertiseOnNetwork"), true);
    for (const HostedScreen& screen : std::as_const(m_screens)) {
        ItemStore* itemStore = screen.enabled ? store(screen) : nullptr;
        if (!itemStore)
            continue;
        auto running = std::make_unique<Running>();
        running->id = screen.id;
        running->routes = m_factory(screen, *itemStore);
        HTTPServerConfig config;
        config.port = screen.port;
        config.serviceName = screen.name;
        config.screenID = screen.id.toString(QUuid::Id128);
        config.handler = handlerFor(screen.id);
        config.headCheck = headCheckFor(screen.id);
        config.advertise = advertise;
        config.address = m_listenAddress;
        running->server = std::make_unique<HTTPServer>(config);
        HTTPServer* server = running->server.get();
        const auto onState
            = [weak = QPointer<HostedScreensManager>(this), id = screen.id, name = screen.name,
                  server](HTTPServerState state, const QString& why) {
                  if (state != HTTPServerState::failed)
                      return;
                  qCWarning(lcServer).noquote() << "[hosted] screen" << name << "failed:" << why;
                  // Reports of a listener that was replaced meanwhile are ignored.
                  if (!weak || weak->server(id) != server)
                      return;
                  weak->m_problems.insert(id, why);
                  Q_EMIT weak->listenersChanged();
              };
        if (const auto error = server->start(onState)) {
            qCWarning(lcServer).noquote()
                << "[hosted] screen" << screen.name << "could not start:" << error->description;
            m_problems.insert(screen.id, error->description);
            running->server.reset();
        }
        m_running.push_back(std::move(running));
    }
    Q_EMIT listenersChanged();
}

} // namespace vesker
