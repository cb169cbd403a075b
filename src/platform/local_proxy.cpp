#include "platform/local_proxy.h"

#include <QHostAddress>

namespace vesker::platform {

namespace {

bool isLocalHost(const QString& host)
{
    const QString name = host.toLower();
    if (name == QLatin1String("localhost") || name.endsWith(QLatin1String(".local")))
        return true;
    const QHostAddress address(host);
    if (address.isNull())
        return false;
    return address.isLoopback() || address.isLinkLocal() || address.isUniqueLocalUnicast()
        || address.isInSubnet(QHostAddress::parseSubnet(QStringLiteral("10.0.0.0/8")))
        || address.isInSubnet(QHostAddress::parseSubnet(QStringLiteral("172.16.0.0/12")))
        || address.isInSubnet(QHostAddress::parseSubnet(QStringLiteral("192.168.0.0/16")));
}

} // namespace

QNetworkProxy proxyFor(const QString& host)
{
    return isLocalHost(host) ? QNetworkProxy(QNetworkProxy::NoProxy)
                             : QNetworkProxy(QNetworkProxy::DefaultProxy);
}

} // namespace vesker::platform
