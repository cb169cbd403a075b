#include "screens/hosted_screens_manager.h"

#include "platform/defaults.h"
#include "store/item_store.h"
#include "store/store_cleanup.h"

#include <QJsonArray>

namespace vesker {

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
    return screen;
}

QJsonObject HostedScreen::toJson() const
{
    return {{QStringLiteral("id"), id.toString(QUuid::WithoutBraces).toUpper()},
        {QStringLiteral("name"), name}, {QStringLiteral("slug"), slug},
        {QStringLiteral("pin"), pin}, {QStringLiteral("port"), port},
        {QStringLiteral("requirePinToSend"), requirePinToSend},
        {QStringLiteral("enabled"), enabled}};
}

HostedScreensManager::HostedScreensManager(platform::Defaults& defaults,
    const platform::Clock& clock, QString productFolder, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_clock(clock)
    , m_productFolder(std::move(productFolder))
{
    load();
}

HostedScreensManager::~HostedScreensManager() = default;

void HostedScreensManager::load()
{
    m_screens.clear();
    for (const QJsonValue& entry : m_defaults.value(QStringLiteral("hostedScreens")).toArray()) {
        if (auto screen = HostedScreen::fromJson(entry.toObject()))
            m_screens.append(*screen);
    }
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

void HostedScreensManager::restartAll()
{
    // No hosted screen listens on a port of its own in this build, so there is nothing to
    // restart; the stores above are what the receive side uses.
}

} // namespace vesker
