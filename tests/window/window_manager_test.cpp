#include "platform/defaults.h"
#include "platform/display_wake.h"
#include "support/manual_clock.h"
#include "support/private_bus.h"
#include "window/window_manager.h"
#include "x11_probe.h"

#include <QDBusPendingCallWatcher>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

using namespace vesker;
using namespace vesker::test;

namespace {

constexpr int kWaitMs = 5000;

class FakeScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    int activity = 0;

public Q_SLOTS:
    void SimulateUserActivity() { ++activity; }
    bool GetActive() { return false; }
};

class FakeHold : public ArrivalHold {
public:
    bool dnd = false;
    QString reason;
    int held = 0;
    bool doNotDisturb() const override { return dnd; }
    QString holdReason() const override { return reason; }
    int heldBack() const override { return held; }
    void setHeldBack(int count) override { held = count; }
};

class WindowManagerTest : public ::testing::Test {
protected:
    QTemporaryDir m_dir;
    test::ManualClock m_clock;
    platform::Defaults m_settings {m_dir.filePath("defaults.json"), m_clock};
    X11Probe m_x11;
    QWidget m_main;
    // Another window of the program that has the focus when an item arrives.
    QWidget m_other;

    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "needs scripts/with-test-services";
        ASSERT_TRUE(m_x11.isOpen());
        m_main.setWindowTitle("main");
        m_main.setGeometry(100, 100, 400, 300);
        m_other.setWindowTitle("other");
        m_other.setGeometry(600, 200, 300, 200);
    }

    bool activate(QWidget& window)
    {
        window.show();
        window.activateWindow();
        return waitActive(window);
    }
    bool waitActive(const QWidget& window)
    {
        return QTest::qWaitFor([&] { return m_x11.activeWindow() == window.winId(); }, kWaitMs);
    }
};

TEST_F(WindowManagerTest, AnArrivalBringsTheWindowForwardUnlessItOnlyNotifies)
{
    platform::DisplayWake wake;
    WindowManager manager(m_settings, wake);
    m_main.show();
    manager.attach(&m_main);
    ASSERT_TRUE(activate(m_other));

    m_settings.set("arrivalBehavior", "notify");
    manager.handleArrival();
    QTest::qWait(500);
    EXPECT_EQ(m_x11.activeWindow(), m_other.winId()) << "notify leaves the window alone";

    m_settings.set("arrivalBehavior", "bringFrward"); // misspelled: brings forward
    manager.handleArrival();
    EXPECT_TRUE(waitActive(m_main));
}

TEST_F(WindowManagerTest, FillCoversTheWorkAreaOnceAndGivesTheFrameBack)
{
    platform::DisplayWake wake;
    WindowManager manager(m_settings, wake);
    m_settings.set("fullScreenStyle", "sideways"); // unknown: fill
    m_settings.set(
        "fullScreenDisplay", WindowManager::displayName(QGuiApplication::screens().first()));
    ASSERT_TRUE(activate(m_main));
    manager.attach(&m_main);
    // The window manager may still be placing the new window; its frame is taken once it has.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return m_x11.geometry(m_main) == m_main.geometry(); }, kWaitMs));
    const QRect frame = m_main.geometry();

    manager.enterFullScreen();
    const QRect workArea = QGuiApplication::screens().first()->availableGeometry();
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_x11.geometry(m_main) == workArea; }, kWaitMs))
        << "at " << m_x11.geometry(m_main).x() << "," << m_x11.geometry(m_main).y() << " "
        << m_x11.geometry(m_main).width() << "x" << m_x11.geometry(m_main).height();
    manager.enterFullScreen();
    EXPECT_EQ(manager.savedFrame(), frame) << "a second fill keeps the first frame";

    manager.restoreSavedFrame();
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_x11.geometry(m_main) == frame; }, kWaitMs))
        << "at " << m_x11.geometry(m_main).x() << "," << m_x11.geometry(m_main).y() << " "
        << m_x11.geometry(m_main).width() << "x" << m_x11.geometry(m_main).height() << ", not "
        << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
    EXPECT_FALSE(manager.savedFrame());
}

TEST_F(WindowManagerTest, AFullScreenArrivalForAClosedWindowOpensItInTheWindowManagersFullScreen)
{
    platform::DisplayWake wake;
    WindowManager manager(m_settings, wake);
    m_settings.set("arrivalBehavior", "fullScreen");
    m_settings.set("fullScreenStyle", "space");
    ASSERT_TRUE(activate(m_main));
    manager.attach(&m_main);
    m_main.close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !manager.window(); }, kWaitMs));

    manager.handleArrival();
    const auto fullScreen
        = [&] { return m_x11.netWmState(m_main).contains("_NET_WM_STATE_FULLSCREEN"); };
    ASSERT_TRUE(QTest::qWaitFor(fullScreen, kWaitMs));
    // The delayed steps of the arrival are over by now; none of them may undo it.
    QTest::qWait(1000);
    EXPECT_TRUE(fullScreen());
    EXPECT_TRUE(m_main.isFullScreen());
    EXPECT_FALSE(manager.savedFrame());
}

TEST_F(WindowManagerTest, HidingTheTaskbarEntryKeepsWindowsOutOfTheTaskBar)
{
    platform::DisplayWake wake;
    WindowManager manager(m_settings, wake);
    ASSERT_TRUE(activate(m_main));
    const auto skipped = [&](const QWidget& w) {
        return m_x11.netWmState(w).contains("_NET_WM_STATE_SKIP_TASKBAR");
    };

    manager.applyActivationPolicy(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return skipped(m_main); }, kWaitMs));
    m_other.show(); // a window that opens later
    EXPECT_TRUE(QTest::qWaitFor([&] { return skipped(m_other); }, kWaitMs));

    manager.applyActivationPolicy(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !skipped(m_main) && !skipped(m_other); }, kWaitMs));
}

// One arrival wakes the display once, and only when asked to and Do Not Disturb is off.
TEST_F(WindowManagerTest, AnArrivalWakesTheDisplayOnceWhenAskedAndNotDisturbed)
{
    PrivateBus bus;
    ASSERT_FALSE(bus.m_address.isEmpty()) << "could not start a private dbus-daemon";
    FakeScreenSaver saver;
    QDBusConnection saverBus = bus.connect("saver");
    ASSERT_TRUE(saverBus.registerObject(
                    platform::DisplayWake::kPath, &saver, QDBusConnection::ExportAllSlots)
        && saverBus.registerService(platform::DisplayWake::kService));
    QDBusConnection client = bus.connect("client");
    platform::DisplayWake wake(client);
    FakeHold hold;
    WindowManager manager(m_settings, wake, &hold);
    m_settings.set("arrivalBehavior", "notify");

    manager.handleArrival(); // waking is off by default
    m_settings.set("wakeDisplayOnArrival", true);
    hold.dnd = true;
    hold.reason = "Do Not Disturb is on";
    manager.handleArrival();
    EXPECT_EQ(hold.held, 1);
    hold = FakeHold();
    manager.handleArrival();

    ASSERT_TRUE(QTest::qWaitFor([&] { return saver.activity > 0; }, kWaitMs));
    // Whatever the program sent before this question has arrived once it is answered.
    QDBusPendingCallWatcher asked(
        client.asyncCall(QDBusMessage::createMethodCall(platform::DisplayWake::kService,
            platform::DisplayWake::kPath, platform::DisplayWake::kService, "GetActive")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return asked.isFinished(); }, kWaitMs));
    EXPECT_EQ(saver.activity, 1);
}

} // namespace

#include "window_manager_test.moc"
