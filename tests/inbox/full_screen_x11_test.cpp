// F11 in the Inbox window under the test display's window manager, in both full-screen styles,
// with the keys pressed on the X server's keyboard: the window covers the screen, the keyboard
// still works in it without a click, and a second F11 gives the frame back where it was.
#include "inbox_window_fixture.h"
#include "platform/display_wake.h"
#include "window/window_manager.h"
#include "window/x11_probe.h"

#include <QApplication>
#include <QLineEdit>
#include <QScreen>

#include <X11/keysym.h>

using namespace vesker;

namespace {

constexpr int kWaitMs = 5000;

class FullScreenKeyTest : public test::InboxWindowTest {
protected:
    test::X11Probe m_x11;
    platform::DisplayWake m_wake;
    WindowManager m_windows {m_defaults, m_wake};
    ContentView* m_inbox = nullptr;

    // The window goes before the window manager it was given.
    ~FullScreenKeyTest() override { m_view.reset(); }

    void SetUp() override
    {
        test::InboxWindowTest::SetUp();
        ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "needs scripts/with-test-services";
        ASSERT_TRUE(m_x11.isOpen());
        m_defaults.set(QString::fromLatin1(ContentView::kDidShowOnboarding), true);
        m_defaults.set(QStringLiteral("advertiseOnNetwork"), false);
        m_defaults.set(QStringLiteral("fullScreenDisplay"),
            WindowManager::displayName(QGuiApplication::screens().first()));
        m_controller = makeController();
        ASSERT_TRUE(waitUntilRunning(*m_controller));
        showView(&m_windows);
        m_inbox = m_view.get();
        m_inbox->setGeometry(100, 100, 900, 700);
        m_inbox->activateWindow();
        // Active for the window manager and for the program alike, or the key goes nowhere.
        ASSERT_TRUE(QTest::qWaitFor([&] { return active(); }, kWaitMs));
        ASSERT_TRUE(QTest::qWaitFor([&] { return settled(); }, kWaitMs));
    }

    bool active() const
    {
        return m_x11.activeWindow() == m_inbox->winId() && m_inbox->isActiveWindow();
    }
    // The window knows the state and place the window manager gave it.
    bool settled() const
    {
        return m_inbox->isFullScreen() == fullScreen()
            && m_inbox->geometry() == m_x11.geometry(*m_inbox);
    }
    bool fullScreen() const
    {
        return m_x11.netWmState(*m_inbox).contains("_NET_WM_STATE_FULLSCREEN");
    }
    bool placedAt(const QRect& where) const
    {
        return QTest::qWaitFor([&] { return m_x11.geometry(*m_inbox) == where; }, kWaitMs);
    }
    QString where() const
    {
        const QRect at = m_x11.geometry(*m_inbox);
        return QStringLiteral("at %1,%2 %3x%4")
            .arg(at.x())
            .arg(at.y())
            .arg(at.width())
            .arg(at.height());
    }
    int titleBarHeight() const
    {
        const QList<quintptr> extents = m_x11.frameExtents(*m_inbox);
        return extents.size() == 4 ? int(extents.at(2)) : 0;
    }
    // Ctrl+F, typed on the keyboard, takes the focus to the search field from elsewhere in the
    // window: a window shortcut, so it works only in the window the program knows is active.
    bool ctrlFFindsTheSearch() const
    {
        auto* search = m_inbox->findChild<QLineEdit*>(QStringLiteral("searchField"));
        auto* elsewhere = m_inbox->findChild<QWidget*>(QStringLiteral("tabPicker"));
        if (!search || !elsewhere)
            return false;
        elsewhere->setFocus();
        if (search->hasFocus())
            return false;
        return m_x11.pressKey(XK_f, true)
            && QTest::qWaitFor([&] { return search->hasFocus(); }, kWaitMs);
    }
};

TEST_F(FullScreenKeyTest, F11CoversTheScreenKeepsTheKeyboardAndASecondGivesTheFrameBack)
{
    const QRect frame = m_inbox->geometry();
    ASSERT_GT(titleBarHeight(), 0);
    const QScreen* screen = QGuiApplication::screens().first();
    const struct {
        const char* style;
        QRect covered;
    } styles[] = {{"space", screen->geometry()}, {"fill", screen->availableGeometry()}};
    for (const auto& [style, covered] : styles) {
        SCOPED_TRACE(style);
        m_defaults.set(QStringLiteral("fullScreenStyle"), QString::fromLatin1(style));
        ASSERT_TRUE(m_x11.pressKey(XK_F11));
        EXPECT_TRUE(placedAt(covered)) << where().toStdString();
        EXPECT_EQ(fullScreen(), QByteArray(style) == "space");
        EXPECT_EQ(titleBarHeight(), 0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return settled(); }, kWaitMs));
        EXPECT_TRUE(QTest::qWaitFor([&] { return active(); }, kWaitMs))
            << "the full-screen window is the active one, for the window manager and the program";
        ASSERT_TRUE(ctrlFFindsTheSearch()) << "Ctrl+F works in full screen without a click";

        ASSERT_TRUE(m_x11.pressKey(XK_F11));
        EXPECT_TRUE(placedAt(frame)) << "F11 again gives the frame back, " << where().toStdString();
        EXPECT_FALSE(fullScreen());
        ASSERT_TRUE(QTest::qWaitFor([&] { return settled(); }, kWaitMs));
        EXPECT_TRUE(QTest::qWaitFor([&] { return titleBarHeight() > 0; }, kWaitMs))
            << "with its title bar";
        EXPECT_TRUE(ctrlFFindsTheSearch()) << "and the keyboard still works in it";
    }
}

TEST_F(FullScreenKeyTest, AnArrivalThatFillsTheScreenLeavesTheKeyboardWorking)
{
    m_defaults.set(QStringLiteral("fullScreenStyle"), QStringLiteral("fill"));
    m_defaults.set(QStringLiteral("arrivalBehavior"), QStringLiteral("fullScreen"));
    const QRect frame = m_inbox->geometry();
    const QRect workArea = QGuiApplication::screens().first()->availableGeometry();
    QWidget other;
    other.setGeometry(600, 200, 300, 200);
    enum class Before { InboxActive, OtherActive, InboxClosed };
    const struct {
        const char* name;
        Before before;
    } cases[] = {{"the Inbox is in use", Before::InboxActive},
        {"another window is in use", Before::OtherActive},
        {"the Inbox was closed", Before::InboxClosed}};
    for (const auto& [name, before] : cases) {
        SCOPED_TRACE(name);
        QWidget& inUse = before == Before::OtherActive ? other : *m_inbox;
        inUse.show();
        inUse.activateWindow();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return m_x11.activeWindow() == inUse.winId() && inUse.isActiveWindow(); },
            kWaitMs));
        if (before == Before::InboxClosed) {
            m_inbox->close();
            ASSERT_TRUE(QTest::qWaitFor([&] { return !m_windows.window(); }, kWaitMs));
        }

        m_windows.handleArrival();
        EXPECT_TRUE(placedAt(workArea)) << where().toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] { return settled(); }, kWaitMs));
        ASSERT_TRUE(ctrlFFindsTheSearch()) << "Ctrl+F works in the filled window without a click";
        ASSERT_TRUE(m_x11.pressKey(XK_F11));
        EXPECT_TRUE(placedAt(frame)) << where().toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] { return settled() && titleBarHeight() > 0; }, kWaitMs));
    }
}

} // namespace
