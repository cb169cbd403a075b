#include "server/network_addresses.h"

#include <QDir>
#include <QFile>
#include <QNetworkInterface>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <net/if.h>

using vesker::InterfaceEntry;
using vesker::InterfaceKind;
using vesker::NetworkAddress;

namespace {

// A /sys/class/net of our own making. Each interface gets the entries its kind has there.
class FakeSysfs {
public:
    QString root() const { return m_dir.path(); }

    void add(const QString& name, const QStringList& entries, const QByteArray& type = "1")
    {
        QDir dir(m_dir.path());
        ASSERT_TRUE(dir.mkpath(name));
        for (const QString& entry : entries)
            ASSERT_TRUE(dir.mkpath(name + QLatin1Char('/') + entry));
        QFile typeFile(dir.filePath(name + QStringLiteral("/type")));
        ASSERT_TRUE(typeFile.open(QIODevice::WriteOnly));
        typeFile.write(type + '\n');
    }

private:
    QTemporaryDir m_dir;
};

constexpr unsigned kUp = IFF_UP | IFF_BROADCAST | IFF_RUNNING | IFF_MULTICAST;

InterfaceEntry entry(const char* name, const char* address, unsigned flags = kUp)
{
    return {QString::fromLatin1(name), flags,
        address ? QHostAddress(QString::fromLatin1(address)) : QHostAddress()};
}

const QString kWifi = QStringLiteral(u"Wi\u2011Fi");

} // namespace

TEST(NetworkAddresses, KindComesFromSysfsElseFromTheName)
{
    FakeSysfs sysfs;
    sysfs.add(QStringLiteral("wlp2s0"), {QStringLiteral("wireless"), QStringLiteral("device")});
    sysfs.add(QStringLiteral("wlan1"), {QStringLiteral("phy80211"), QStringLiteral("device")});
    sysfs.add(QStringLiteral("enp3s0"), {QStringLiteral("device")});
    sysfs.add(QStringLiteral("br0"), {QStringLiteral("bridge")});
    sysfs.add(QStringLiteral("veth1a2b"), {}); // Ethernet type, no device
    sysfs.add(QStringLiteral("enx0"), {}, "65534"); // a tunnel with an Ethernet-like name
    sysfs.add(QStringLiteral("usb0"), {QStringLiteral("device")}); // a phone's USB tethering

    const struct {
        const char* name;
        InterfaceKind kind;
    } rows[] = {
        {"wlp2s0", InterfaceKind::wifi},
        {"wlan1", InterfaceKind::wifi},
        {"enp3s0", InterfaceKind::ethernet},
        {"usb0", InterfaceKind::ethernet},
        {"br0", InterfaceKind::bridge},
        {"veth1a2b", InterfaceKind::other},
        {"enx0", InterfaceKind::other},
        // Unknown to sysfs: the naming schemes decide.
        {"wlo1", InterfaceKind::wifi},
        {"eth3", InterfaceKind::ethernet},
        {"eno2", InterfaceKind::ethernet},
        {"bridge100", InterfaceKind::bridge},
        {"tun0", InterfaceKind::other},
        // Never joined to the folder.
        {"..", InterfaceKind::other},
        {"../wlp2s0", InterfaceKind::other},
        {"", InterfaceKind::other},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(vesker::interfaceKind(sysfs.root(), QString::fromLatin1(row.name)), row.kind);
    }
}

TEST(NetworkAddresses, KeepsIPv4OfActivePortsAndBridgesSortedByName)
{
    FakeSysfs sysfs;
    sysfs.add(QStringLiteral("wlp2s0"), {QStringLiteral("wireless"), QStringLiteral("device")});
    sysfs.add(QStringLiteral("enp3s0"), {QStringLiteral("device")});
    sysfs.add(QStringLiteral("enp4s0"), {QStringLiteral("device")});
    sysfs.add(QStringLiteral("en10"), {QStringLiteral("device")});
    sysfs.add(QStringLiteral("en2"), {QStringLiteral("device")});
    sysfs.add(QStringLiteral("bridge0"), {QStringLiteral("bridge")});
    sysfs.add(QStringLiteral("veth9"), {});
    sysfs.add(QStringLiteral("tun0"), {}, "65534");
    sysfs.add(QStringLiteral("lo"), {}, "772");

    // In the kernel's order, which is not the order of the names.
    const QList<InterfaceEntry> entries = {
        entry("lo", "127.0.0.1", IFF_UP | IFF_LOOPBACK | IFF_RUNNING),
        entry("lo", "::1", IFF_UP | IFF_LOOPBACK | IFF_RUNNING),
        entry("wlp2s0", nullptr), // the link-layer entry
        entry("wlp2s0", "192.168.1.20"), entry("wlp2s0", "fe80::1"), entry("enp3s0", "10.0.0.6"),
        entry("enp3s0", "10.0.0.5"), // a second address keeps the kernel's order
        entry("enp4s0", "10.1.0.9", IFF_BROADCAST | IFF_MULTICAST), // down
        entry("tun0", "10.8.0.2", IFF_UP | IFF_POINTOPOINT | IFF_RUNNING),
        entry("veth9", "172.17.0.1"), entry("en2", "192.168.3.2"), entry("en10", "192.168.3.10"),
        entry("bridge0", "192.168.2.1"),
        entry("eth7", "192.168.5.7"), // not in sysfs: its name says Ethernet
        entry("ppp0", "100.64.0.1"), // not in sysfs, nothing in its name
    };

    const QList<NetworkAddress> expected = {
        {"bridge0", "bridge0", "192.168.2.1"},
        {"en10", "Ethernet", "192.168.3.10"},
        {"en2", "Ethernet", "192.168.3.2"},
        {"enp3s0", "Ethernet", "10.0.0.6"},
        {"enp3s0", "Ethernet", "10.0.0.5"},
        {"eth7", "Ethernet", "192.168.5.7"},
        {"wlp2s0", kWifi, "192.168.1.20"},
    };
    EXPECT_EQ(vesker::selectNetworkAddresses(entries, sysfs.root()), expected);
}

TEST(NetworkAddresses, CurrentListLeavesOutLoopbackOfThisMachine)
{
    // The kernel's list is really read: it has the loopback address.
    bool sawLoopback = false;
    for (const InterfaceEntry& e : vesker::readInterfaceEntries())
        sawLoopback |= e.address == QHostAddress(QHostAddress::LocalHost);
    ASSERT_TRUE(sawLoopback);

    const QList<NetworkAddress> current = NetworkAddress::current();
    QStringList names;
    for (const NetworkAddress& a : current) {
        SCOPED_TRACE(a.id().toStdString());
        const QHostAddress address(a.address);
        EXPECT_EQ(address.protocol(), QAbstractSocket::IPv4Protocol);
        EXPECT_FALSE(address.isLoopback());
        const QNetworkInterface nic = QNetworkInterface::interfaceFromName(a.interface);
        ASSERT_TRUE(nic.isValid());
        EXPECT_TRUE(nic.flags() & QNetworkInterface::IsUp);
        bool held = false;
        for (const QNetworkAddressEntry& e : nic.addressEntries())
            held |= e.ip() == address;
        EXPECT_TRUE(held);
        names.append(a.interface);
    }
    QStringList sorted = names;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(names, sorted);
}
