#pragma once

#include <QHostAddress>
#include <QNetworkInterface>
#include <QString>

#include <optional>

namespace vesker {

// The kinds of interface a server can be limited to.
enum class HTTPInterfaceType { wifi, wiredEthernet };

// A peer's address as owners see it: an IPv6 zone ("%wlan0") cut off, an IPv4-mapped IPv6
// address written as plain IPv4.
QString remoteAddressText(const QString& hostText);

// The kind of one interface: Wi-Fi when the kernel lists it as wireless, wired Ethernet for
// any other Ethernet interface; none for loopback, tunnels and the like.
std::optional<HTTPInterfaceType> interfaceTypeOf(const QString& name,
    QNetworkInterface::InterfaceType type,
    const QString& sysClassNet = QStringLiteral("/sys/class/net"));

// The kind of the local interface that holds `address`; none when no interface holds it.
std::optional<HTTPInterfaceType> interfaceTypeOfLocalAddress(const QHostAddress& address);

} // namespace vesker
