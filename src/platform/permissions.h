#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace vesker {

// What the desktop lets this program do that the user may have to allow: show banners, and type
// into another application ("Paste into front app"). Both start unknown until refresh() asks.
class Permissions : public QObject {
    Q_OBJECT
public:
    // `unavailable`: nothing on this desktop could grant it (no notification service answers).
    enum class Status { granted, denied, unknown, unavailable };

    explicit Permissions(
        const QDBusConnection& bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    Status notifications() const { return m_notifications; }
    Status accessibility() const { return m_accessibility; }

    // Typing into other windows is known at once; banners when the notification server answers
    // on the session bus, or fails to within a few seconds.
    void refresh();

Q_SIGNALS:
    void notificationsChanged(Status status);
    void accessibilityChanged(Status status);

private:
    void setNotifications(Status status);
    void setAccessibility(Status status);

    QDBusConnection m_bus;
    Status m_notifications = Status::unknown;
    Status m_accessibility = Status::unknown;
};

// The program and arguments that open the settings page for a permission, named by its anchor
// ("Privacy_Notifications"), on the first of `desktops` ($XDG_CURRENT_DESKTOP, "ubuntu:GNOME")
// that has one and whose program `installed` finds. Nothing where no desktop has such a page.
std::optional<QStringList> privacySettingsCommand(const QString& desktops, const QString& anchor,
    const std::function<bool(const QString& program)>& installed);

// Opens this desktop's settings page for a permission, started without a shell. False when the
// desktop has none for it or it did not start: the caller then says in plain words what to do.
bool openPrivacySettings(const QString& anchor);

} // namespace vesker
