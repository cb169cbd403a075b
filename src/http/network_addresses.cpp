#include "http/network_addresses.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <ifaddrs.h>
#include <net/if.h>
#include <net/if_arp.h>

#include <algorithm>

namespace vesker {

namespace {

const QString kSysClassNet = QStringLiteral("/sys/class/net");

// Interface names come from the kernel, but nothing that could leave the folder is ever
// joined to a path.
bool isPlainName(const QString& name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && name != QLatin1String(".")
        && name != QLatin1String("..");
}

QString readSmallFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.read(64)).trimmed();
}

// Without a sysfs entry (a sandbox that hides /sys), the usual naming schemes still tell.
InterfaceKind kindFromName(const QString& name)
{
    if (name.startsWith(QLatin1String("wl")))
        return InterfaceKind::wifi;
    if (name.startsWith(QLatin1String("en")) || name.startsWith(QLatin1String("eth")))
        return InterfaceKind::ethernet;
    return InterfaceKind::other;
}

// Bridges, bonds and VLANs stack at most a few deep; the bound also ends a loop of links.
constexpr int kMaxStackDepth = 4;

InterfaceKind kindAt(const QString& sysfsRoot, const QString& name, int depth)
{
    if (!isPlainName(name))
        return InterfaceKind::other;
    const QDir dir(sysfsRoot + QLatin1Char('/') + name);
    if (!dir.exists())
        return kindFromName(name);
    if (dir.exists(QStringLiteral("wireless")) || dir.exists(QStringLiteral("phy80211")))
        return InterfaceKind::wifi;
    const bool ether
        = readSmallFile(dir.filePath(QStringLiteral("type"))) == QString::number(ARPHRD_ETHER);
    if (ether && QFileInfo::exists(dir.filePath(QStringLiteral("device"))))
        return InterfaceKind::ethernet;
    if (depth >= kMaxStackDepth)
        return InterfaceKind::other;
    // The interfaces under this one: a bridge lists its ports in brif/, and every stacked
    // interface (bridge, bond, VLAN) has a lower_<name> link to each.
    QStringList lower = QDir(dir.filePath(QStringLiteral("brif")))
                            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    for (const QString& link : dir.entryList(
             {QStringLiteral("lower_*")}, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System))
        lower.append(link.mid(6));
    InterfaceKind found = InterfaceKind::other;
    for (const QString& port : std::as_const(lower)) {
        const InterfaceKind kind = kindAt(sysfsRoot, port, depth + 1);
        if (kind == InterfaceKind::ethernet)
            return kind;
        if (kind == InterfaceKind::wifi)
            found = kind;
    }
    return found;
}

} // namespace

size_t qHash(const NetworkAddress& address, size_t seed)
{
    return qHashMulti(seed, address.interface, address.label, address.address);
}

InterfaceKind interfaceKind(const QString& sysfsRoot, const QString& name)
{
    return kindAt(sysfsRoot, name, 0);
}

QList<InterfaceEntry> readInterfaceEntries()
{
    struct ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return {};
    QList<InterfaceEntry> entries;
    for (const struct ifaddrs* it = list; it; it = it->ifa_next) {
        InterfaceEntry entry;
        entry.name = QString::fromLocal8Bit(it->ifa_name);
        entry.flags = it->ifa_flags;
        if (it->ifa_addr
            && (it->ifa_addr->sa_family == AF_INET || it->ifa_addr->sa_family == AF_INET6))
            entry.address = QHostAddress(it->ifa_addr);
        entries.append(entry);
    }
    freeifaddrs(list);
    return entries;
}

QList<NetworkAddress> selectNetworkAddresses(
    const QList<InterfaceEntry>& entries, const QString& sysfsRoot)
{
    QHash<QString, InterfaceKind> kinds;
    QList<NetworkAddress> result;
    for (const InterfaceEntry& entry : entries) {
        if (entry.address.protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        if (!(entry.flags & IFF_UP) || (entry.flags & IFF_LOOPBACK))
            continue;
        auto kind = kinds.constFind(entry.name);
        if (kind == kinds.cend())
            kind = kinds.insert(entry.name, interfaceKind(sysfsRoot, entry.name));
        if (*kind == InterfaceKind::other)
            continue;
        result.append({entry.name, *kind == InterfaceKind::wifi ? kWifiLabel : kEthernetLabel,
            entry.address.toString()});
    }
    std::stable_sort(result.begin(), result.end(),
        [](const NetworkAddress& a, const NetworkAddress& b) { return a.interface < b.interface; });
    return result;
}

QList<NetworkAddress> NetworkAddress::current()
{
    return selectNetworkAddresses(readInterfaceEntries(), kSysClassNet);
}

} // namespace vesker
