#include "platform/desktop_notifications.h"
#include "platform/permissions.h"
#include "support/private_bus.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace vesker;

namespace {

class AnsweringNotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public Q_SLOTS:
    QString GetServerInformation(QString& vendor, QString& version, QString& protocolVersion)
    {
        vendor = QStringLiteral("test");
        version = protocolVersion = QStringLiteral("1.2");
        return QStringLiteral("answering");
    }
};

} // namespace

TEST(Permissions, BannersFollowTheNotificationServerAndTypingNeedsAnXDisplay)
{
    test::PrivateBus bus;
    ASSERT_FALSE(bus.m_address.isEmpty()) << "could not start a private dbus-daemon";
    Permissions permissions(bus.connect(QStringLiteral("client")));
    EXPECT_EQ(permissions.notifications(), Permissions::Status::unknown);

    permissions.refresh();
    // This runs without a window system to type into.
    EXPECT_EQ(permissions.accessibility(), Permissions::Status::denied);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return permissions.notifications() == Permissions::Status::unavailable; }, 8000));

    AnsweringNotificationServer server;
    QDBusConnection serverBus = bus.connect(QStringLiteral("server"));
    ASSERT_TRUE(serverBus.registerObject(
                    platform::DesktopNotifications::kPath, &server, QDBusConnection::ExportAllSlots)
        && serverBus.registerService(platform::DesktopNotifications::kService));
    QSignalSpy changed(&permissions, &Permissions::notificationsChanged);
    permissions.refresh();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return permissions.notifications() == Permissions::Status::granted; }, 5000));
    EXPECT_EQ(changed.count(), 1);
}

// Which settings program a permission's button starts; none is started here.
TEST(Permissions, SettingsPageOfEachDesktop)
{
    struct Row {
        const char* name;
        QString desktops;
        QString anchor;
        QStringList installed;
        std::optional<QStringList> command;
    };
    const QString notifications = QStringLiteral("Privacy_Notifications");
    const QList<Row> rows {
        {"GNOME behind a vendor's name", "ubuntu:GNOME", notifications, {"gnome-control-center"},
            QStringList {"gnome-control-center", "notifications"}},
        {"Plasma 5 has only the older program", "KDE", notifications,
            {"systemsettings5", "gnome-control-center"},
            QStringList {"systemsettings5", "kcm_notifications"}},
        {"desktop without the program", "GNOME", notifications, {}, std::nullopt},
        {"unknown desktop", "Hyprland", notifications, {"gnome-control-center"}, std::nullopt},
        {"no page grants typing", "GNOME", "Privacy_Accessibility", {"gnome-control-center"},
            std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(privacySettingsCommand(row.desktops, row.anchor,
                      [&](const QString& program) { return row.installed.contains(program); }),
            row.command);
    }
}

#include "permissions_test.moc"
