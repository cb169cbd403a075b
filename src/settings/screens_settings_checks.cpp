#include "settings/screens_settings_checks.h"

#include <QRegularExpression>

namespace vesker {

namespace {

// The same port is named alike on every tab that can refuse it.
QString sharedScreenPortText(const RemoteScreen& remote, int port)
{
    // In one pass: the name may hold "%1" itself.
    return QStringLiteral("Phones reach the shared screen “%1” on port %2.")
        .arg(remote.name, QString::number(port));
}

QString hostedPortText(int port)
{
    return QStringLiteral("A hosted screen already uses port %1.").arg(port);
}

} // namespace

std::optional<QString> hostedScreenProblem(const HostedScreen& candidate,
    const QList<HostedScreen>& existing, quint16 mainPort, const QList<RemoteScreen>& remotes,
    const std::function<bool(quint16)>& portFree)
{
    if (candidate.name.trimmed().isEmpty())
        return QStringLiteral("Give the screen a name.");
    // The slug becomes a folder and a piece of an address, so it stays a plain word.
    static const QRegularExpression plain(QStringLiteral("^[a-z0-9][a-z0-9-]{0,63}$"));
    if (!plain.match(candidate.slug).hasMatch())
        return QStringLiteral("The short name may hold only lower-case letters, digits and "
                              "hyphens.");
    if (candidate.port < 1024)
        return QStringLiteral("Choose a port from 1024 to 65535.");
    if (candidate.port == mainPort)
        return QStringLiteral("Port %1 is this screen's own port.").arg(candidate.port);
    // A screen that keeps its port listens on it itself, so the port is not free, and is its own.
    bool keepsPort = false;
    for (const HostedScreen& other : existing) {
        if (other.id == candidate.id) {
            keepsPort = other.port == candidate.port;
            continue;
        }
        if (other.slug == candidate.slug)
            return QStringLiteral("Another hosted screen already uses “%1”.").arg(candidate.slug);
        if (other.port == candidate.port)
            return QStringLiteral("Another hosted screen already uses port %1.")
                .arg(candidate.port);
    }
    for (const RemoteScreen& remote : remotes) {
        if (remote.shareOnLAN && remote.relayPort == candidate.port)
            return sharedScreenPortText(remote, candidate.port);
    }
    if (candidate.requirePinToSend && candidate.pin.trimmed().isEmpty())
        return QStringLiteral("Enter the PIN senders must give.");
    if (!keepsPort && portFree && !portFree(candidate.port))
        return QStringLiteral("Port %1 is in use by another program.").arg(candidate.port);
    return std::nullopt;
}

std::optional<QString> remoteScreenProblem(const RemoteScreen& candidate,
    const QList<RemoteScreen>& existing, quint16 mainPort, const QList<quint16>& hostedPorts,
    const std::function<bool(quint16)>& portFree)
{
    if (candidate.name.trimmed().isEmpty())
        return QStringLiteral("Give the screen a name.");
    if (!candidate.baseURL())
        return QStringLiteral("That address doesn't look right.");
    const int port = candidate.relayPort;
    if (!candidate.shareOnLAN || port == 0)
        return std::nullopt;
    if (port < 1024 || port > 65535)
        return QStringLiteral("Choose a port from 1024 to 65535, or any free port.");
    if (port == mainPort)
        return QStringLiteral("Port %1 is this screen's own port.").arg(port);
    if (hostedPorts.contains(quint16(port)))
        return hostedPortText(port);
    for (const RemoteScreen& other : existing) {
        if (other.id != candidate.id && other.shareOnLAN && other.relayPort == port)
            return QStringLiteral("Another shared screen already uses port %1.").arg(port);
    }
    if (portFree && !portFree(quint16(port)))
        return QStringLiteral("Port %1 is in use by another program.").arg(port);
    return std::nullopt;
}

std::optional<QString> mainPortProblem(
    int port, const QList<HostedScreen>& hosted, const QList<RemoteScreen>& remotes)
{
    for (const HostedScreen& screen : hosted) {
        if (screen.port == port)
            return hostedPortText(port);
    }
    for (const RemoteScreen& remote : remotes) {
        if (remote.shareOnLAN && remote.relayPort == port)
            return sharedScreenPortText(remote, port);
    }
    return std::nullopt;
}

QString notListeningText(const QString& problem, quint16 port, quint16 mainPort)
{
    if (problem.isEmpty())
        return QStringLiteral("Not listening");
    return QStringLiteral("Not listening: ")
        + (port == mainPort ? QStringLiteral("port %1 is this screen's own port").arg(port)
                            : problem);
}

QString slugFor(const QString& name)
{
    QString slug;
    for (const QChar c : name.trimmed().toLower()) {
        if ((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9'))
            slug += c;
        else if (!slug.isEmpty() && !slug.endsWith(u'-'))
            slug += u'-';
    }
    while (slug.endsWith(u'-'))
        slug.chop(1);
    return slug.left(64);
}

} // namespace vesker
