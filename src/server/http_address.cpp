#include "server/http_address.h"

#include <QFileInfo>

namespace vesker {

QString remoteAddressText(const QString& hostText)
{
    QString text = hostText;
    const qsizetype zone = text.indexOf(u'%');
    if (zone >= 0)
        text.truncate(zone);
    if (text.startsWith(u"::ffff:"))
        text.remove(0, 7);
    return text;
}

std::optional<HTTPInterfaceType> interfaceTypeOf(
    const QString& name, QNetworkInterface::InterfaceType type, const QString& sysClassNet)
{
    // Wi-Fi drivers present themselves as Ethernet; only sysfs tells them apart.
    if (!name.isEmpty()
        && QFileInfo::exists(sysClassNet + u'/' + name + QStringLiteral("/wireless")))
        return HTTPInterfaceType::wifi;
    if (type == QNetworkInterface::Wifi || type == QNetworkInterface::Ieee80211)
        return HTTPInterfaceType::wifi;
    if (type == QNetworkInterface::Ethernet)
        return HTTPInterfaceType::wiredEthernet;
    return std::nullopt;
}

std::optional<HTTPInterfaceType> interfaceTypeOfLocalAddress(const QHostAddress& address)
{
    // A dual-stack socket reports IPv4 locals as ::ffff:a.b.c.d, and a link-local address
    // carries its zone; interfaces list neither form.
    QHostAddress wanted = address;
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    if (isV4)
        wanted = QHostAddress(v4);
    wanted.setScopeId(QString());

    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& interface : interfaces) {
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            QHostAddress candidate = entry.ip();
            candidate.setScopeId(QString());
            if (candidate == wanted)
                return interfaceTypeOf(interface.name(), interface.type());
        }
    }
    return std::nullopt;
}

} // namespace vesker
