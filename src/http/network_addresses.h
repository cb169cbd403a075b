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

enum class InterfaceKind { wifi, ethernet, other };

// What kind of port an interface is, from its folder under sysfsRoot (normally
// /sys/class/net): `wireless` or `phy80211` there means Wi-Fi, an Ethernet type with a
// `device` link a wired port. A bridge, bond or VLAN takes the kind of a port under it, so a
// container or VM bridge (docker0, virbr0, br-*) whose ports are virtual Ethernet pairs and
// taps is `other`, as are those pairs, tunnels and the like. An interface the folder does not
// know is judged by its name alone. The one rule for the address list and for the listener's
// choice of interface.
InterfaceKind interfaceKind(const QString& sysfsRoot, const QString& name);

// The kernel's interface address list, in its own order; empty when it cannot be read.
QList<InterfaceEntry> readInterfaceEntries();

// The addresses a phone can use among entries: IPv4 on an interface that is up, not loopback,
// and a Wi-Fi or wired Ethernet port (or a bridge over one). Sorted by interface name (plain
// comparison, so en10 comes before en2); one interface's addresses keep the given order.
QList<NetworkAddress> selectNetworkAddresses(
    const QList<InterfaceEntry>& entries, const QString& sysfsRoot);

} // namespace vesker
