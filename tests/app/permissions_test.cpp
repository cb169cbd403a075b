#include "app/permissions.h"
#include "platform/desktop_notifications.h"
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
        [&] { return permissions.notifications() == Permissions::Status::denied; }, 5000));

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

#include "permissions_test.moc"
