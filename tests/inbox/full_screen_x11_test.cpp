// F11 in the Inbox window under the test display's window manager: the window manager's full
// screen, and a second F11 gives the frame back.
#include "inbox_window_fixture.h"
#include "platform/display_wake.h"
#include "window/window_manager.h"
#include "window/x11_probe.h"

#include <QApplication>
#include <QScreen>

using namespace vesker;

namespace {

constexpr int kWaitMs = 5000;

class FullScreenKeyTest : public test::InboxWindowTest { };

TEST_F(FullScreenKeyTest, F11GoesFullScreenAndASecondGivesTheFrameBack)
{
    ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "needs scripts/with-test-services";
    test::X11Probe x11;
    ASSERT_TRUE(x11.isOpen());
    m_defaults.set(QString::fromLatin1(ContentView::kDidShowOnboarding), true);
    m_defaults.set(QStringLiteral("advertiseOnNetwork"), false);
    m_controller = makeController();
    ASSERT_TRUE(waitUntilRunning(*m_controller));
    platform::DisplayWake wake;
    WindowManager windows(m_defaults, wake);
    m_defaults.set(QStringLiteral("fullScreenDisplay"),
        WindowManager::displayName(QGuiApplication::screens().first()));
    ContentView view({.store = m_store,
        .server = *m_controller,
        .defaults = m_defaults,
        .clock = m_clock,
        .thumbnails = m_thumbnails,
        .updater = m_updater,
        .permissions = m_permissions,
        .windows = &windows});
    view.setGeometry(100, 100, 900, 700);
    view.show();
    view.activateWindow();
    // Active for the window manager and for the program alike, or the key goes nowhere.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return x11.activeWindow() == view.winId() && view.isActiveWindow(); }, kWaitMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return x11.geometry(view) == view.geometry(); }, kWaitMs));
    const QRect frame = view.geometry();
    const QRect screen = QGuiApplication::screens().first()->geometry();

    const auto fullScreen
        = [&] { return x11.netWmState(view).contains("_NET_WM_STATE_FULLSCREEN"); };
    for (const auto& [style, filled] : {std::pair {"space", screen}}) {
        SCOPED_TRACE(style);
        m_defaults.set(QStringLiteral("fullScreenStyle"), QString::fromLatin1(style));
        QTest::keyClick(&view, Qt::Key_F11);
        EXPECT_TRUE(QTest::qWaitFor([&] { return x11.geometry(view) == filled; }, kWaitMs))
            << "at " << x11.geometry(view).x() << "," << x11.geometry(view).y() << " "
            << x11.geometry(view).width() << "x" << x11.geometry(view).height();
        EXPECT_EQ(fullScreen(), QByteArray(style) == "space");
        // The window knows its new state before the key is pressed again, as a person's would.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return view.isFullScreen() == fullScreen() && view.geometry() == x11.geometry(view);
            },
            kWaitMs));
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return x11.activeWindow() == view.winId() && view.isActiveWindow(); }, kWaitMs))
            << "the filled window keeps the keyboard, for the next F11";
        QTest::keyClick(&view, Qt::Key_F11);
        EXPECT_TRUE(QTest::qWaitFor([&] { return x11.geometry(view) == frame; }, kWaitMs))
            << "at " << x11.geometry(view).x() << "," << x11.geometry(view).y() << " "
            << x11.geometry(view).width() << "x" << x11.geometry(view).height();
        EXPECT_FALSE(fullScreen());
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return !view.isFullScreen() && view.geometry() == x11.geometry(view); },
            kWaitMs));
    }
}

} // namespace
