// The tray icon as a tray host sees it: a StatusNotifierWatcher served by a thread of its own
// (the program asks the watcher a blocking question, which its own event loop could not answer).
#include "panel_fixture.h"
#include "platform/thumbnail_loader.h"
#include "send/capture_overlay_view.h"
#include "send/screen_capture.h"
#include "support/temp_env.h"
#include "tray/tray_icon_view.h"
#include "ui/text_style.h"
#include "window/window_keys.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusPendingReply>
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
public:
    bool hostRegistered() const { return true; }
public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service) { Q_EMIT itemRegistered(service); }
Q_SIGNALS:
    void itemRegistered(const QString& service);
};

namespace {

struct Tray : test::PanelFixture {
    ThumbnailLoader thumbnails;
    ScreenCapture capture;
    TrayIcon icon {
        {.model = model, .defaults = defaults, .thumbnails = thumbnails, .capture = capture}};
};

const QString kHost = u"tray-host"_s;

QDBusMessage callItem(const QString& service, const QString& interface, const QString& method,
    const QVariantList& arguments)
{
    QDBusMessage call
        = QDBusMessage::createMethodCall(service, u"/StatusNotifierItem"_s, interface, method);
    call.setArguments(arguments);
    QDBusPendingCall reply = QDBusConnection(kHost).asyncCall(call);
    QTest::qWaitFor([&] { return reply.isFinished(); }, 5000);
    return reply.reply();
}

// The tooltip's title and text, (sa(iiay)ss), as the host reads them; the pictures are skipped.
QString toolTip(const QString& service)
{
    const QDBusMessage reply = callItem(service, u"org.freedesktop.DBus.Properties"_s, u"Get"_s,
        {u"org.kde.StatusNotifierItem"_s, u"ToolTip"_s});
    const auto argument
        = reply.arguments().value(0).value<QDBusVariant>().variant().value<QDBusArgument>();
    QString icon, title, text;
    QVariant images;
    argument.beginStructure();
    argument >> icon >> images >> title >> text;
    argument.endStructure();
    return title + text;
}

// A tray host on a bus connection of its own, for as long as it lives.
struct TrayHost {
    TrayHost()
    {
        thread.start();
        watcher->moveToThread(&thread);
        QObject::connect(watcher, &TrayWatcher::itemRegistered, &receiver,
            [this](const QString& service) { items.append(service); });
        QMetaObject::invokeMethod(
            watcher,
            [watcher = watcher] {
                QDBusConnection bus
                    = QDBusConnection::connectToBus(QDBusConnection::SessionBus, kHost);
                bus.registerObject(u"/StatusNotifierWatcher"_s, watcher,
                    QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties);
                bus.registerService(u"org.kde.StatusNotifierWatcher"_s);
            },
            Qt::BlockingQueuedConnection);
    }
    ~TrayHost()
    {
        QMetaObject::invokeMethod(
            watcher, [watcher = watcher] { delete watcher; }, Qt::BlockingQueuedConnection);
        QDBusConnection::disconnectFromBus(kHost);
        thread.quit();
        thread.wait();
    }

    QThread thread;
    TrayWatcher* watcher = new TrayWatcher;
    QStringList items;
    // Registrations still queued when the host goes are dropped with it.
    QObject receiver;
};

} // namespace

TEST(TrayIcon, RegistersWithTheHostFollowsTheInboxAndOpensThePanel)
{
    TrayHost host;
    QStringList& items = host.items;
    Tray tray;
    tray.add(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !items.isEmpty(); }, 5000));
    const QString service = items.first();
    EXPECT_TRUE(toolTip(service).contains(u"1 in Inbox"_s));
    const QUuid newest = tray.add(59);
    EXPECT_TRUE(QTest::qWaitFor([&] { return toolTip(service).contains(u"2 in Inbox"_s); }));

    callItem(service, u"org.kde.StatusNotifierItem"_s, u"Activate"_s, {0, 0});
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return tray.icon.panel() && tray.icon.panel()->isVisible(); }));
    QWidget* first = tray.icon.panel()->findChild<QWidget*>(u"recentRow"_s);
    ASSERT_EQ(first->property("itemID").toUuid(), newest);
    first->findChild<QToolButton*>(u"archiveButton"_s)->click();
    tray.store.flush();
    EXPECT_TRUE(test::fileBytes(tray.store.acksPath()).contains(uuidText(newest).toUtf8()));

    // Turned off in the settings, the item leaves the host's tray at once.
    tray.defaults.set(QLatin1String(window_keys::kShowTrayIcon), false);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !QDBusConnection(kHost).interface()->isServiceRegistered(service).value(); }));
}

TEST(TrayIcon, RedrawsOnlyWhenWhatItShowsChangesAndOnlyWhileATrayShowsIt)
{
    const auto drawn = [](Tray& tray) { return tray.icon.trayIcon().icon().cacheKey(); };
    {
        TrayHost host;
        Tray tray;
        for (int minute = 0; minute < 100; ++minute)
            tray.add(minute % 60);
        const qint64 badge99 = drawn(tray);
        ASSERT_FALSE(tray.icon.trayIcon().icon().isNull());
        // Past 99 the badge reads the same: only the tooltip follows the count.
        tray.add(1);
        EXPECT_EQ(drawn(tray), badge99);
        EXPECT_TRUE(tray.icon.trayIcon().toolTip().contains(u"101 in Inbox"_s));

        // Hidden by the setting, arrivals draw nothing; shown again, it shows the count of now.
        tray.defaults.set(QLatin1String(window_keys::kShowTrayIcon), false);
        QList<QUuid> all;
        for (const ScreenItem& item : tray.store.items())
            all.append(item.id);
        tray.store.delete_(all);
        tray.add(2);
        EXPECT_EQ(drawn(tray), badge99);
        tray.defaults.set(QLatin1String(window_keys::kShowTrayIcon), true);
        EXPECT_NE(drawn(tray), badge99);
        EXPECT_TRUE(tray.icon.trayIcon().toolTip().contains(u"1 in Inbox"_s));
        // Taken out of the tray before its host goes, as at the end of a session.
        tray.defaults.set(QLatin1String(window_keys::kShowTrayIcon), false);
    }
    // Without a tray host nothing is drawn at all.
    Tray tray;
    tray.add(1);
    EXPECT_TRUE(tray.icon.trayIcon().icon().isNull());
}

TEST(TrayIcon, WithoutATrayHostTheProgramRunsOnWithoutTheIcon)
{
    Tray tray;
    tray.add(30);
    QCoreApplication::processEvents();
    EXPECT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    // No stand-in window of the icon shows up on the desktop.
    for (const QWidget* window : QApplication::topLevelWidgets())
        EXPECT_FALSE(window->isVisible()) << window->metaObject()->className();
}

#include "tray_icon_test.moc"

TEST(TrayIcon, TheBadgeLeavesTheSymbolInSightAtEverySize)
{
    const QColor red = destructiveColor();
    for (const int side : {16, 22, 24, 32, 48}) {
        for (const int count : {3, 42, 150}) {
            SCOPED_TRACE(testing::Message() << side << " px, " << count);
            const QImage icon = TrayIcon::iconPixmap(count, side).toImage();
            int badgeLeft = side;
            for (int y = 0; y < side; ++y) {
                for (int x = 0; x < side; ++x) {
                    const QColor pixel = icon.pixelColor(x, y);
                    if (pixel.alpha() == 255 && pixel.rgb() == red.rgb())
                        badgeLeft = std::min(badgeLeft, x);
                }
            }
            EXPECT_LT(badgeLeft, side) << "a badge is drawn";
            EXPECT_GE(badgeLeft, side * 0.3) << "the badge covers the symbol";
        }
    }
}
