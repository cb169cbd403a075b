#include "http/http_address.h"

#include "http/network_addresses.h"

#include <QNetworkInterface>

#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

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

QString peerAddressText(int fd)
{
    sockaddr_storage storage {};
    socklen_t length = sizeof storage;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0)
        return QString();
    return socketAddressText(storage);
}

QString socketAddressText(const sockaddr_storage& address)
{
    // IPv4, also mapped into IPv6 as a dual-stack socket reports it, is written here: it is
    // what nearly every peer is, once per connection.
    const void* v4 = nullptr;
    if (address.ss_family == AF_INET) {
        v4 = &reinterpret_cast<const sockaddr_in&>(address).sin_addr;
    } else if (address.ss_family == AF_INET6) {
        const in6_addr& v6 = reinterpret_cast<const sockaddr_in6&>(address).sin6_addr;
        if (IN6_IS_ADDR_V4MAPPED(&v6))
            v4 = v6.s6_addr + 12;
    } else {
        return QString();
    }
    if (v4) {
        char text[INET_ADDRSTRLEN];
        if (::inet_ntop(AF_INET, v4, text, sizeof text))
            return QString::fromLatin1(text);
    }
    return remoteAddressText(QHostAddress(reinterpret_cast<const sockaddr*>(&address)).toString());
}

PeerAddress peerAddressOf(const sockaddr_storage& address)
{
    quint8 bytes[16] = {};
    if (address.ss_family == AF_INET) {
        bytes[10] = bytes[11] = 0xff;
        std::memcpy(bytes + 12, &reinterpret_cast<const sockaddr_in&>(address).sin_addr, 4);
    } else if (address.ss_family == AF_INET6) {
        std::memcpy(bytes, &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr, 16);
    }
    PeerAddress peer;
    std::memcpy(&peer.high, bytes, 8);
    std::memcpy(&peer.low, bytes + 8, 8);
    return peer;
}

std::optional<HTTPInterfaceType> interfaceTypeOf(const QString& name, const QString& sysClassNet)
{
    switch (interfaceKind(sysClassNet, name)) {
    case InterfaceKind::wifi:
        return HTTPInterfaceType::wifi;
    case InterfaceKind::ethernet:
        return HTTPInterfaceType::wiredEthernet;
    case InterfaceKind::other:
        break;
    }
    return std::nullopt;
}

std::optional<HTTPInterfaceType> interfaceTypeOfLocalAddress(
    const QHostAddress& address, const QString& sysClassNet)
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
                return interfaceTypeOf(interface.name(), sysClassNet);
        }
    }
    return std::nullopt;
}

std::optional<QUrl> urlUnderBase(const QUrl& base, const QString& path)
{
    QUrl url = base;
    QString basePath = url.path(QUrl::FullyEncoded);
    while (basePath.endsWith(u'/'))
        basePath.chop(1);
    url.setPath(basePath + path, QUrl::TolerantMode);
    url.setQuery(QString());
    url.setFragment(QString());
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty()
        || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return std::nullopt;
    return url;
}

} // namespace vesker
