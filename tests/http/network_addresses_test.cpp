#include "http/http_address.h"
#include "http/network_addresses.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <net/if.h>

using namespace vesker;

namespace {

// A /sys/class/net of our own making: each interface with the entries its kind has there.
class FakeSysfs {
public:
    QTemporaryDir dir;

    FakeSysfs(std::initializer_list<std::tuple<const char*, QStringList, QByteArray>> interfaces)
    {
        for (const auto& [name, entries, type] : interfaces) {
            for (const QString& entry : entries + QStringList {QString()})
                QDir(dir.path()).mkpath(QLatin1String(name) + u'/' + entry);
            QFile file(dir.filePath(QLatin1String(name) + QLatin1String("/type")));
            EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(type + '\n') > 0);
        }
    }
};

constexpr unsigned kUp = IFF_UP | IFF_BROADCAST | IFF_RUNNING | IFF_MULTICAST;

InterfaceEntry entry(const char* name, const char* address, unsigned flags = kUp)
{
    return {QLatin1String(name), flags,
        address ? QHostAddress(QLatin1String(address)) : QHostAddress()};
}

} // namespace

TEST(NetworkAddresses, KeepsIPv4OfActivePortsSortedByName)
{
    const FakeSysfs sysfs {{"wlp2s0", {"wireless", "device"}, "1"}, {"wlan1", {"phy80211"}, "1"},
        {"enp3s0", {"device"}, "1"}, {"enp4s0", {"device"}, "1"}, {"en10", {"device"}, "1"},
        {"en2", {"device"}, "1"}, {"usb0", {"device"}, "1"},
        // A bridge over a wired port is that port; container and VM bridges have only
        // virtual Ethernet pairs and taps under them.
        {"br0", {"bridge", "brif/enp5s0"}, "1"}, {"enp5s0", {"device"}, "1"},
        {"bond0", {"lower_br0"}, "1"}, {"docker0", {"bridge", "brif/veth9"}, "1"},
        {"br-5f2c0e", {"bridge", "lower_vethb1"}, "1"}, {"virbr0", {"bridge", "brif/vnet0"}, "1"},
        {"vnet0", {}, "1"}, {"veth9", {}, "1"}, {"tun0", {}, "65534"}, {"enx0", {}, "65534"},
        {"lo", {}, "772"}};
    // In the kernel's order, which is not the order of the names. Those not in sysfs (eth7,
    // wlo1, ppp0, vethb1) are known by their names.
    QList<InterfaceEntry> entries = {entry("lo", "127.0.0.1", IFF_UP | IFF_LOOPBACK | IFF_RUNNING),
        entry("wlp2s0", nullptr), entry("wlp2s0", "192.168.1.20"), entry("wlp2s0", "fe80::1"),
        entry("enp4s0", "10.1.0.9", IFF_BROADCAST | IFF_MULTICAST), // down
        entry("tun0", "10.8.0.2", IFF_UP | IFF_POINTOPOINT | IFF_RUNNING)};
    const std::pair<const char*, const char*> up[] = {{"enp3s0", "10.0.0.6"},
        {"enp3s0", "10.0.0.5"}, {"veth9", "172.17.0.1"}, {"docker0", "172.17.0.1"},
        {"br-5f2c0e", "172.18.0.1"}, {"virbr0", "192.168.122.1"}, {"en2", "192.168.3.2"},
        {"en10", "192.168.3.10"}, {"br0", "192.168.2.1"}, {"bond0", "192.168.4.1"},
        {"eth7", "192.168.5.7"}, {"ppp0", "100.64.0.1"}, {"wlan1", "192.168.6.1"},
        {"usb0", "192.168.7.1"}, {"enx0", "10.9.0.1"}, {"wlo1", "192.168.8.1"}};
    for (const auto& [name, address] : up)
        entries.append(entry(name, address));
    const QString wifi = QStringLiteral(u"Wi\u2011Fi");
    const QList<NetworkAddress> expected = {{"bond0", "Ethernet", "192.168.4.1"},
        {"br0", "Ethernet", "192.168.2.1"}, {"en10", "Ethernet", "192.168.3.10"},
        {"en2", "Ethernet", "192.168.3.2"}, {"enp3s0", "Ethernet", "10.0.0.6"},
        {"enp3s0", "Ethernet", "10.0.0.5"}, {"eth7", "Ethernet", "192.168.5.7"},
        {"usb0", "Ethernet", "192.168.7.1"}, {"wlan1", wifi, "192.168.6.1"},
        {"wlo1", wifi, "192.168.8.1"}, {"wlp2s0", wifi, "192.168.1.20"}};
    EXPECT_EQ(selectNetworkAddresses(entries, sysfs.dir.path()), expected);
}

TEST(NetworkAddresses, TheListenerJudgesAnInterfaceAsTheAddressListDoes)
{
    // The loopback address stands for a card of each kind in turn; only sysfs says which.
    const struct {
        const char* what;
        QStringList entries;
        std::optional<HTTPInterfaceType> listener;
    } rows[] = {
        {"Wi-Fi card showing only phy80211", {"phy80211"}, HTTPInterfaceType::wifi},
        {"wired port", {"device"}, HTTPInterfaceType::wiredEthernet},
        {"container bridge", {"bridge", "brif/veth0"}, std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const FakeSysfs sysfs {{"lo", row.entries, "1"}};
        const QList<NetworkAddress> listed
            = selectNetworkAddresses({entry("lo", "127.0.0.1")}, sysfs.dir.path());
        EXPECT_EQ(
            interfaceTypeOfLocalAddress(QHostAddress::LocalHost, sysfs.dir.path()), row.listener);
        const QString label = !row.listener            ? QString()
            : *row.listener == HTTPInterfaceType::wifi ? kWifiLabel
                                                       : kEthernetLabel;
        EXPECT_EQ(listed.isEmpty() ? QString() : listed.first().label, label);
    }
}

TEST(NetworkAddresses, TheKernelsListIsRead)
{
    const QList<InterfaceEntry> entries = readInterfaceEntries();
    EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [](const InterfaceEntry& e) {
        return e.address == QHostAddress(QHostAddress::LocalHost) && (e.flags & IFF_LOOPBACK);
    }));
}
