// The tray icon as a desktop's tray host sees it over D-Bus: a StatusNotifierWatcher of the
// test's own, on a connection served by a thread of its own (the program's blocking question
// to the watcher would otherwise wait on its own event loop).
#include "app/focus_guard.h"
#include "app/menu_bar_model.h"
#include "app/tray_icon.h"
#include "app/vesker_app.h"
#include "card/thumbnail_loader.h"
#include "platform/defaults.h"
#include "send/capture_overlay_view.h"
#include "send/screen_capture.h"
#include "store/item_store.h"
#include "support/fake_workspace.h"
#include "support/temp_env.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace vesker;
using namespace Qt::Literals::StringLiterals;

class TrayWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
public:
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service) { Q_EMIT itemRegistered(service); }
    void RegisterStatusNotifierHost(const QString&) { }
Q_SIGNALS:
    void itemRegistered(const QString& service);
};

namespace {

const QString kHost = u"tray-host"_s;

struct Tray {
    Tray()
    {
        for (int minute = 0; minute < 7; ++minute)
            add(minute);
    }
    ScreenItem add(int minute)
    {
        ScreenItem item {.id = QUuid::createUuid(),
            .receivedAt = QDateTime::currentDateTimeUtc().addSecs(minute * 60 - 3600),
            .sender = u"Ana"_s,
            .kind = ItemKind::text,
            .text = u"Note %1"_s.arg(minute),
            .deviceID = u"DEVICE-1"_s};
        store.append(item);
        return item;
    }

    QTemporaryDir dir;
    platform::Defaults defaults {dir.filePath(u"defaults.json"_s)};
    ItemStore store {dir.filePath(u"Vesker"_s), &defaults};
    test::FakeWorkspace workspace;
    FocusGuard focus {defaults, workspace};
    MenuBarModel model {store, nullptr, focus};
    ThumbnailLoader thumbnails;
    ScreenCapture capture;
    std::unique_ptr<TrayIcon> icon;
    void show()
    {
        icon = std::make_unique<TrayIcon>(TrayIcon::Services {
            .model = model, .defaults = defaults, .thumbnails = thumbnails, .capture = capture});
    }
};

// The tooltip's title and text as the host reads them.
QString toolTip(const QString& service)
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        service, u"/StatusNotifierItem"_s, u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    get << u"org.kde.StatusNotifierItem"_s << u"ToolTip"_s;
    QDBusPendingReply<QDBusVariant> reply = QDBusConnection(kHost).asyncCall(get);
    QTest::qWaitFor([&] { return reply.isFinished(); }, 5000);
    const QDBusArgument argument = reply.value().variant().value<QDBusArgument>();
    QString icon, title, text;
    argument.beginStructure();
    argument >> icon;
    argument.beginArray();
    while (!argument.atEnd()) {
        int width, height;
        QByteArray pixels;
        argument.beginStructure();
        argument >> width >> height >> pixels;
        argument.endStructure();
    }
    argument.endArray();
    argument >> title >> text;
    argument.endStructure();
    return title + text;
}

} // namespace

TEST(TrayIcon, RegistersWithTheHostFollowsTheInboxAndOpensThePanel)
{
    QThread hostThread;
    hostThread.start();
    auto* watcher = new TrayWatcher;
    watcher->moveToThread(&hostThread);
    QStringList items;
    QObject::connect(watcher, &TrayWatcher::itemRegistered, qApp,
        [&](const QString& service) { items.append(service); });
    QMetaObject::invokeMethod(
        watcher,
        [watcher] {
            QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, kHost);
            bus.registerObject(u"/StatusNotifierWatcher"_s, watcher,
                QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties);
            bus.registerService(u"org.kde.StatusNotifierWatcher"_s);
        },
        Qt::BlockingQueuedConnection);

    Tray tray;
    tray.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !items.isEmpty(); }, 5000));
    const QString service = items.first();
    EXPECT_TRUE(toolTip(service).contains(u"7 in Inbox"_s));
    const ScreenItem newest = tray.add(59);
    EXPECT_TRUE(QTest::qWaitFor([&] { return toolTip(service).contains(u"8 in Inbox"_s); }));

    QDBusMessage activate = QDBusMessage::createMethodCall(
        service, u"/StatusNotifierItem"_s, u"org.kde.StatusNotifierItem"_s, u"Activate"_s);
    activate << 0 << 0;
    QDBusConnection(kHost).asyncCall(activate);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return tray.icon->panel() && tray.icon->panel()->isVisible(); }));
    QList<QWidget*> rows = tray.icon->panel()->findChildren<QWidget*>(u"recentRow"_s);
    rows.removeIf([](QWidget* row) { return !row->isVisible(); });
    ASSERT_EQ(rows.size(), 6);
    EXPECT_EQ(rows.first()->property("itemID").toUuid(), newest.id);
    rows.first()->findChild<QToolButton*>(u"archiveButton"_s)->click();
    tray.store.flush();
    EXPECT_TRUE(test::fileBytes(tray.store.acksPath()).contains(uuidText(newest.id).toUtf8()));

    // Turned off in the settings, the item leaves the host's tray at once.
    tray.defaults.set(QLatin1String(VeskerApp::kShowInMenuBar), false);
    QDBusConnectionInterface* names = QDBusConnection(kHost).interface();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !names->isServiceRegistered(service).value(); }));

    QMetaObject::invokeMethod(
        watcher, [watcher] { delete watcher; }, Qt::BlockingQueuedConnection);
    QDBusConnection::disconnectFromBus(kHost);
    hostThread.quit();
    hostThread.wait();
}

TEST(TrayIcon, WithoutATrayHostTheProgramRunsOnWithoutTheIcon)
{
    Tray tray;
    tray.show();
    EXPECT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    tray.add(30);
    tray.icon->openPanel();
    EXPECT_EQ(tray.icon->panel()->findChild<QLabel*>(u"inboxCount"_s)->text(), u"8 in Inbox"_s);
}

#include "tray_icon_test.moc"
