#include "e2e/harness.h"

#include <QTest>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

using namespace vesker::e2e;

namespace {

// What the window manager tells every client about top-level windows, over a connection of the
// test's own.
class Screen {
public:
    Screen()
        : m_c(xcb_connect(nullptr, nullptr))
    {
        if (isOpen())
            m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
    }
    ~Screen() { xcb_disconnect(m_c); }

    bool isOpen() const { return !xcb_connection_has_error(m_c); }
    xcb_window_t active() const { return words(m_root, "_NET_ACTIVE_WINDOW").value(0); }
    qint64 pidOf(xcb_window_t window) const { return words(window, "_NET_WM_PID").value(0, -1); }

    // The program's managed windows titled `title`, its transient ones (alerts) only if asked.
    QList<xcb_window_t> windowsOf(qint64 pid, const char* title, bool transient = false) const
    {
        QList<xcb_window_t> found;
        for (const xcb_window_t window : words(m_root, "_NET_CLIENT_LIST")) {
            if (pidOf(window) == pid && raw(window, "_NET_WM_NAME") == title
                && words(window, "WM_TRANSIENT_FOR").isEmpty() != transient)
                found.append(window);
        }
        return found;
    }

    // As the close button of the window's frame does.
    void close(xcb_window_t window) const
    {
        xcb_client_message_event_t message {};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = atom("_NET_CLOSE_WINDOW");
        message.data.data32[1] = 2; // from a pager, which the window manager obeys
        xcb_send_event(m_c, 0, m_root,
            XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
            reinterpret_cast<const char*>(&message));
        xcb_flush(m_c);
    }

private:
    xcb_atom_t atom(const char* name) const
    {
        auto* reply = xcb_intern_atom_reply(
            m_c, xcb_intern_atom(m_c, 0, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t result = reply ? reply->atom : XCB_NONE;
        free(reply);
        return result;
    }
    QByteArray raw(xcb_window_t window, const char* name) const
    {
        auto* reply = xcb_get_property_reply(m_c,
            xcb_get_property(m_c, 0, window, atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 4096),
            nullptr);
        QByteArray value;
        if (reply)
            // The length xcb gives is in bytes already, whatever the property's format.
            value = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                xcb_get_property_value_length(reply));
        free(reply);
        return value;
    }
    QList<quint32> words(xcb_window_t window, const char* name) const
    {
        const QByteArray bytes = raw(window, name);
        QList<quint32> values(bytes.size() / 4);
        if (!values.isEmpty()) // an empty list has no storage to copy into
            memcpy(values.data(), bytes.constData(), size_t(values.size()) * 4);
        return values;
    }

    xcb_connection_t* m_c;
    xcb_window_t m_root = XCB_NONE;
};

// The program on the display, its main window shown and active, and the log captured.
void startShown(Vesker& vesker, const Screen& screen)
{
    vesker.useDisplay();
    vesker.captureLog();
    ASSERT_TRUE(vesker.start());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return screen.windowsOf(vesker.pid(), "Vesker").contains(screen.active()); },
        kBoundMs));
}

struct ArrivalCase {
    const char* name;
    QVariantMap settings;
    bool comesForward;
};

} // namespace

TEST(Desktop, AnArrivalMovesTheClosedWindowOnlyWhenTheSettingsLetIt)
{
    const ArrivalCase cases[] {
        {"bring forward", {{"arrivalBehavior", "bringForward"}}, true},
        {"do not disturb", {{"arrivalBehavior", "bringForward"}, {"focusGuardDoNotDisturb", true}},
            false},
    };
    const Screen screen;
    ASSERT_TRUE(screen.isOpen());
    for (const ArrivalCase& c : cases) {
        SCOPED_TRACE(c.name);
        QVariantMap settings = c.settings;
        settings.insert("didShowOnboarding", true);
        Vesker vesker(settings);
        startShown(vesker, screen);
        screen.close(screen.active());
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return screen.windowsOf(vesker.pid(), "Vesker").isEmpty(); }, kBoundMs));

        // Another application is in front when the item comes.
        QProcess other;
        other.start(VESKER_FOCUS_PROBE, {"e2e-other"});
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return screen.pidOf(screen.active()) == other.processId(); }, kBoundMs));

        ASSERT_EQ(vesker.upload(Kind::text, "hello", "X-Sender: Ann\r\n").status, 200);
        const auto veskerInFront
            = [&] { return screen.windowsOf(vesker.pid(), "Vesker").contains(screen.active()); };
        // Moving nothing can only be seen by waiting a while for what must not come.
        EXPECT_EQ(QTest::qWaitFor(veskerInFront, c.comesForward ? kBoundMs : 2000), c.comesForward);
        EXPECT_EQ(screen.pidOf(screen.active()) == other.processId(), !c.comesForward);
        EXPECT_EQ(vesker.inboxCount(), 1);
        other.kill();
        other.waitForFinished(kBoundMs);
    }
}

TEST(Desktop, AnInviteLinkOpenedAgainAsksOverTheRunningWindow)
{
    const Screen screen;
    ASSERT_TRUE(screen.isOpen());
    Vesker vesker({{"didShowOnboarding", true}});
    startShown(vesker, screen);

    EXPECT_EQ(vesker.launchAgain({"vesker://invite/ABCD-EFGH"}).exitCode, 0);
    // The alert: a window of the running copy, over its main window.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return screen.windowsOf(vesker.pid(), "Vesker", true).size() == 1; }, kBoundMs));
    EXPECT_TRUE(vesker.log().contains("[invite] an invite link waits for confirmation"));
}
