#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

namespace vesker {

// One IPv4 address of this machine that a phone on the same network can use, with the name
// of its port as people know it ("Wi‑Fi", "Ethernet").
struct NetworkAddress {
    QString interface;
    QString label;
    QString address;

    // The interface's name followed directly by the address.
    QString id() const { return interface + address; }

    friend bool operator==(const NetworkAddress&, const NetworkAddress&) = default;

    // Every such address of this machine, sorted by interface name; empty when nothing can be
    // read. Reads the kernel's address list and /sys/class/net.
    static QList<NetworkAddress> current();
};

size_t qHash(const NetworkAddress& address, size_t seed = 0);

// The label of a Wi-Fi port, with a non-breaking hyphen (U+2011). The server controller
// matches labels against this exact text.
inline const QString kWifiLabel = QStringLiteral(u"Wi\u2011Fi");
inline const QString kEthernetLabel = QStringLiteral("Ethernet");

// One entry of the kernel's interface address list, as getifaddrs gives it.
struct InterfaceEntry {
    QString name;
    // IFF_* flags of the interface.
    unsigned int flags = 0;
    // Null for an entry without an address or with one that is neither IPv4 nor IPv6.
    QHostAddress address;
};

enum class InterfaceKind { wifi, ethernet, bridge, other };

// What kind of port an interface is, from its folder under sysfsRoot (normally
// /sys/class/net): `wireless` or `phy80211` there means Wi-Fi, `bridge` a bridge, an Ethernet
// type with a `device` link a wired port (virtual Ethernet pairs, tunnels and the like have no
// device). An interface the folder does not know is judged by its name alone.
InterfaceKind interfaceKind(const QString& sysfsRoot, const QString& name);

// The kernel's interface address list, in its own order; empty when it cannot be read.
QList<InterfaceEntry> readInterfaceEntries();

// The addresses worth showing among entries: IPv4 on an interface that is up, not loopback,
// and a Wi-Fi port, a wired Ethernet port or a bridge. Sorted by interface name (plain
// comparison, so en10 comes before en2); one interface's addresses keep the given order.
QList<NetworkAddress> selectNetworkAddresses(
    const QList<InterfaceEntry>& entries, const QString& sysfsRoot);

} // namespace vesker
