#include "send/mac_browser.h"

#include "platform/dns_sd_browser.h"
#include "platform/log.h"

#include <QNetworkInformation>

#include <algorithm>
#include <utility>

namespace vesker {

QString MacBrowser::lookingText()
{
    return QStringLiteral("Looking for screens on your Wi\u2011Fi\u2026");
}

MacBrowser::MacBrowser(QObject* parent)
    : QObject(parent)
    , m_statusText(lookingText())
{ }

MacBrowser::~MacBrowser() = default;

void MacBrowser::setOwnName(const QString& name)
{
    if (name == m_ownName)
        return;
    m_ownName = name;
    rebuild();
}

void MacBrowser::start()
{
    m_browser = std::make_unique<platform::DnsSdBrowser>(serviceType());
    m_found.clear();
    rebuild();
    setStatusText(lookingText());
    auto* browser = m_browser.get();
    connect(
        browser, &platform::DnsSdBrowser::browsing, this, [this] { setStatusText(lookingText()); });
    connect(browser, &platform::DnsSdBrowser::waiting, this, [this](const QString& reason) {
        setStatusText(QStringLiteral("Waiting for the network: ") + reason);
    });
    connect(browser, &platform::DnsSdBrowser::failed, this, [this](const QString& reason) {
        qCWarning(lcDnsSd).noquote() << QStringLiteral("[MacBrowser] browse failed: ") + reason;
        setStatusText(QStringLiteral("Can't look for screens (%1). Trying again…").arg(reason));
    });
    connect(browser, &platform::DnsSdBrowser::found, this, &MacBrowser::onFound);
    connect(browser, &platform::DnsSdBrowser::removed, this, &MacBrowser::onRemoved);
}

void MacBrowser::startPathMonitor()
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

void MacBrowser::setStatusText(const QString& text)
{
    if (text == m_statusText)
        return;
    m_statusText = text;
    Q_EMIT statusTextChanged();
}

void MacBrowser::onFound(const platform::DnsSdFound& service)
{
    m_found.insert(service.name,
        {service.name, {service.address, service.port},
            service.txt.value(QStringLiteral("screen"))});
    rebuild();
}

void MacBrowser::onRemoved(const QString& name)
{
    if (m_found.remove(name))
        rebuild();
}

bool MacBrowser::isOwn(const QString& name) const
{
    return !m_ownName.isEmpty()
        && (name == m_ownName || name.endsWith(QStringLiteral(" via ") + m_ownName));
}

void MacBrowser::rebuild()
{
    QList<DiscoveredMac> macs;
    for (const DiscoveredMac& mac : std::as_const(m_found)) {
        if (!isOwn(mac.name))
            macs.append(mac);
    }
    std::stable_sort(macs.begin(), macs.end(), [](const DiscoveredMac& a, const DiscoveredMac& b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    if (macs == m_macs)
        return;
    m_macs = macs;
    Q_EMIT macsChanged();
}

} // namespace vesker
