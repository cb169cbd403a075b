#include "send/screen_browser.h"

#include "platform/defaults.h"
#include "platform/dns_sd_browser.h"
#include "platform/log.h"
#include "relay_manager/relay_manager.h"

#include <QNetworkInformation>

#include <algorithm>
#include <utility>

namespace vesker {

QString ScreenBrowser::lookingText()
{
    return QStringLiteral("Looking for screens on your Wi\u2011Fi\u2026");
}

QString ScreenBrowser::unavailableText(const QString& why)
{
    return QStringLiteral("Can't look for screens on this network: %1. A screen can still be "
                          "added by its address in Settings \u25B8 Remote.")
        .arg(why);
}

ScreenBrowser::ScreenBrowser(QObject* parent)
    : QObject(parent)
    , m_statusText(lookingText())
{ }

ScreenBrowser::~ScreenBrowser() = default;

void ScreenBrowser::setOwnName(const QString& name)
{
    if (name == m_ownName)
        return;
    m_ownName = name;
    rebuild();
}

void ScreenBrowser::setOwnScreenID(const QString& id)
{
    if (id == m_ownScreenID)
        return;
    m_ownScreenID = id;
    rebuild();
}

void ScreenBrowser::followOwnAdvertisement(
    platform::Defaults& defaults, std::function<QString()> screenName)
{
    const auto follow = [this, &defaults, screenName = std::move(screenName)] {
        setOwnScreenID(defaults.string(QString::fromLatin1(RelayManager::kScreenIDKey)));
        // Missing or not a Bool, the server advertises.
        QString name;
        if (defaults.boolValue(QStringLiteral("advertiseOnNetwork"), true)) {
            name = defaults.string(QStringLiteral("advertisedName"));
            if (name.isEmpty() && screenName)
                name = screenName();
        }
        setOwnName(name);
    };
    follow();
    connect(&defaults, &platform::Defaults::changed, this, [follow](const QString& key) {
        if (key == QLatin1String("advertisedName") || key == QLatin1String("advertiseOnNetwork")
            || key == QLatin1String(RelayManager::kScreenIDKey))
            follow();
    });
}

void ScreenBrowser::start()
{
    m_browser = std::make_unique<platform::DnsSdBrowser>(serviceType());
    m_found.clear();
    rebuild();
    setStatusText(lookingText());
    auto* browser = m_browser.get();
    m_looking = true;
    connect(browser, &platform::DnsSdBrowser::browsing, this, [this] {
        m_looking = true;
        setStatusText(lookingText());
    });
    // Waiting is for the daemon, which may never come: nothing is on its way until it does.
    connect(browser, &platform::DnsSdBrowser::waiting, this, [this](const QString& reason) {
        m_looking = false;
        setStatusText(unavailableText(reason));
    });
    connect(browser, &platform::DnsSdBrowser::failed, this, [this](const QString& reason) {
        qCWarning(lcDnsSd).noquote() << QStringLiteral("[ScreenBrowser] browse failed: ") + reason;
        // The daemon's own words stay in the log: a sheet has room for a plain sentence, and
        // for the way that still works without the daemon.
        m_looking = false;
        setStatusText(unavailableText(QStringLiteral("the avahi-daemon service isn't answering")));
    });
    connect(browser, &platform::DnsSdBrowser::found, this, &ScreenBrowser::onFound);
    connect(browser, &platform::DnsSdBrowser::removed, this, &ScreenBrowser::onRemoved);
}

void ScreenBrowser::startPathMonitor()
{
    if (m_monitoring)
        return;
    m_monitoring = true;
    if (!QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability))
        return; // no monitor on this system: browsing follows the daemon only
    auto* info = QNetworkInformation::instance();
    connect(info, &QNetworkInformation::reachabilityChanged, this,
        [this, usable = info->reachability() >= QNetworkInformation::Reachability::Local](
            QNetworkInformation::Reachability reachability) mutable {
            const bool nowUsable = reachability >= QNetworkInformation::Reachability::Local;
            // A browser that ran while the network was down may hold stale entries and has
            // seen no announcements: begin again once the network is back.
            if (nowUsable && !usable && m_running && m_browser)
                start();
            usable = nowUsable;
        });
}

void ScreenBrowser::setStatusText(const QString& text)
{
    if (text == m_statusText)
        return;
    m_statusText = text;
    Q_EMIT statusTextChanged();
}

void ScreenBrowser::onFound(const platform::DnsSdFound& service)
{
    m_found.insert(service.name,
        {service.name, {service.address, service.port},
            service.txt.value(QStringLiteral("screen"))});
    rebuild();
}

void ScreenBrowser::onRemoved(const QString& name)
{
    if (m_found.remove(name))
        rebuild();
}

bool ScreenBrowser::isOwn(const DiscoveredScreen& screen) const
{
    if (!m_ownScreenID.isEmpty() && screen.screenID == m_ownScreenID)
        return true;
    return !m_ownName.isEmpty()
        && (screen.name == m_ownName || screen.name.endsWith(QStringLiteral(" via ") + m_ownName));
}

void ScreenBrowser::rebuild()
{
    QList<DiscoveredScreen> macs;
    for (const DiscoveredScreen& mac : std::as_const(m_found)) {
        if (!isOwn(mac))
            macs.append(mac);
    }
    std::stable_sort(
        macs.begin(), macs.end(), [](const DiscoveredScreen& a, const DiscoveredScreen& b) {
            return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
        });
    if (macs == m_macs)
        return;
    m_macs = macs;
    Q_EMIT macsChanged();
}

} // namespace vesker
