#pragma once

#include <QHostAddress>
#include <QString>
#include <QUrl>

#include <optional>

#include <sys/socket.h>

namespace vesker {

// A peer's address as connections are counted by it: IPv4, also mapped into IPv6, and IPv6 by
// their 16 bytes as IPv6, the zone left out, so that two peers are one exactly when
// socketAddressText writes them alike. Compared and hashed for every connection, unlike text.
struct PeerAddress {
    quint64 high = 0;
    quint64 low = 0;

    bool operator==(const PeerAddress&) const = default;
    size_t hash() const { return size_t((high * 0x9E37'79B9'7F4A'7C15ULL) ^ low); }
};

// The PeerAddress of a socket address, such as accept gives; all zeros for one of neither IPv4
// nor IPv6.
PeerAddress peerAddressOf(const sockaddr_storage& address);

// The kinds of interface a server can be limited to.
enum class HTTPInterfaceType { wifi, wiredEthernet };

// A peer's address as owners see it: an IPv6 zone ("%wlan0") cut off, an IPv4-mapped IPv6
// address written as plain IPv4.
QString remoteAddressText(const QString& hostText);
// remoteAddressText of a connected socket's peer; empty when it has none of IPv4 or IPv6.
QString peerAddressText(int fd);
// remoteAddressText of a socket address, such as accept gives; empty for one of neither IPv4 nor
// IPv6.
QString socketAddressText(const sockaddr_storage& address);

// The kind of one interface by the rule the address list uses (interfaceKind): none for
// loopback, container bridges, tunnels and the like.
std::optional<HTTPInterfaceType> interfaceTypeOf(
    const QString& name, const QString& sysClassNet = QStringLiteral("/sys/class/net"));

// The kind of the local interface that holds `address`; none when no interface holds it.
std::optional<HTTPInterfaceType> interfaceTypeOfLocalAddress(
    const QHostAddress& address, const QString& sysClassNet = QStringLiteral("/sys/class/net"));

// `path` under a screen's base address, which may carry a path of its own; the base's query and
// fragment go. None unless the result is a web address with a host.
std::optional<QUrl> urlUnderBase(const QUrl& base, const QString& path);

} // namespace vesker
