#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

namespace vesker {

// What the desktop lets this program do that the user may have to allow: show banners, and type
// into another application ("Paste into front app"). Both start unknown until refresh() asks.
class Permissions : public QObject {
    Q_OBJECT
public:
    enum class Status { granted, denied, unknown };

    static Permissions& shared();
    explicit Permissions(
        const QDBusConnection& bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    Status notifications() const { return m_notifications; }
    Status accessibility() const { return m_accessibility; }

    // Typing into other windows is known at once; banners when the notification server answers
    // on the session bus (or fails to).
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

// Opens the desktop's settings page for a permission, named by its anchor
// ("Privacy_Accessibility"). This desktop has no such page for either permission: nothing opens
// and the answer is false, so the caller says in plain words what to do instead.
bool openPrivacySettings(const QString& anchor);

} // namespace vesker
