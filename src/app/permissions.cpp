#include "app/permissions.h"

#include "platform/desktop_notifications.h"
#include "platform/key_synth.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace vesker {

Permissions& Permissions::shared()
{
    static Permissions* permissions = new Permissions;
    return *permissions;
}

Permissions::Permissions(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus)
{ }

void Permissions::refresh()
{
    setAccessibility(platform::KeySynth::available() ? Status::granted : Status::denied);

    using platform::DesktopNotifications;
    const QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(DesktopNotifications::kService), QLatin1String(DesktopNotifications::kPath),
        QLatin1String(DesktopNotifications::kService), QStringLiteral("GetServerInformation"));
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(
        watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
            done->deleteLater();
            setNotifications(done->isError() ? Status::denied : Status::granted);
        });
}

void Permissions::setNotifications(Status status)
{
    if (status == m_notifications)
        return;
    m_notifications = status;
    Q_EMIT notificationsChanged(status);
}

void Permissions::setAccessibility(Status status)
{
    if (status == m_accessibility)
        return;
    m_accessibility = status;
    Q_EMIT accessibilityChanged(status);
}

bool openPrivacySettings(const QString& anchor)
{
    Q_UNUSED(anchor)
    return false;
}

} // namespace vesker
