#include "platform/host_name.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QSysInfo>

namespace vesker::platform {

namespace {

QString prettyHostName()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return {};
    QDBusInterface hostname(QStringLiteral("org.freedesktop.hostname1"),
        QStringLiteral("/org/freedesktop/hostname1"),
        QStringLiteral("org.freedesktop.DBus.Properties"), bus);
    // systemd-hostnamed starts on demand; a machine without it answers at once with an error.
    // Asked once, at start; a hung bus must not hold the start up for long.
    hostname.setTimeout(500);
    const QDBusReply<QDBusVariant> reply = hostname.call(QStringLiteral("Get"),
        QStringLiteral("org.freedesktop.hostname1"), QStringLiteral("PrettyHostname"));
    return reply.isValid() ? reply.value().variant().toString().trimmed() : QString();
}

} // namespace

QString computerName()
{
    static const QString name = [] {
        const QString pretty = prettyHostName();
        return pretty.isEmpty() ? hostName().trimmed() : pretty;
    }();
    return name;
}

QString hostName()
{
    return QSysInfo::machineHostName();
}

} // namespace vesker::platform
