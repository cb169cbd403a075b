#include "platform/permissions.h"

#include "platform/desktop_notifications.h"
#include "platform/key_synth.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QProcess>
#include <QStandardPaths>

namespace vesker {

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
    // A bus that starts no notification service may keep the call waiting for its default
    // timeout; the status should not read "Not asked yet" for that long.
    constexpr int kAnswerTimeoutMs = 5000;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kAnswerTimeoutMs), this);
    connect(
        watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
            done->deleteLater();
            setNotifications(done->isError() ? Status::unavailable : Status::granted);
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

namespace {

struct SettingsPage {
    const char* desktop; // as $XDG_CURRENT_DESKTOP names it
    const char* anchor;
    const char* command; // program and arguments, split at spaces
};

// Only notifications have a page of their own. Nothing on a desktop grants typing into other
// windows (that is the X server's XTest), and nothing stands between this program and the local
// network but a firewall, which no desktop here sets up in its settings.
// Plasma 6 renamed its settings program; Plasma 5 has only the older name.
constexpr SettingsPage kSettingsPages[] {
    {"GNOME", "Privacy_Notifications", "gnome-control-center notifications"},
    {"Unity", "Privacy_Notifications", "gnome-control-center notifications"},
    {"Budgie", "Privacy_Notifications", "budgie-control-center notifications"},
    {"KDE", "Privacy_Notifications", "systemsettings kcm_notifications"},
    {"KDE", "Privacy_Notifications", "systemsettings5 kcm_notifications"},
    {"X-Cinnamon", "Privacy_Notifications", "cinnamon-settings notifications"},
    {"XFCE", "Privacy_Notifications", "xfce4-notifyd-config"},
    {"MATE", "Privacy_Notifications", "mate-notification-properties"},
    {"LXQt", "Privacy_Notifications", "lxqt-config-notificationd"},
};

} // namespace

std::optional<QStringList> privacySettingsCommand(const QString& desktops, const QString& anchor,
    const std::function<bool(const QString& program)>& installed)
{
    for (const QString& desktop : desktops.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        for (const SettingsPage& page : kSettingsPages) {
            if (desktop.compare(QLatin1String(page.desktop), Qt::CaseInsensitive) != 0
                || anchor != QLatin1String(page.anchor))
                continue;
            QStringList command = QString::fromLatin1(page.command).split(QLatin1Char(' '));
            if (installed(command.first()))
                return command;
        }
    }
    return std::nullopt;
}

bool openPrivacySettings(const QString& anchor)
{
    const auto command = privacySettingsCommand(qEnvironmentVariable("XDG_CURRENT_DESKTOP"), anchor,
        [](const QString& program) { return !QStandardPaths::findExecutable(program).isEmpty(); });
    if (!command)
        return false;
    return QProcess::startDetached(command->first(), command->mid(1));
}

} // namespace vesker
