// Where nothing can be found by name, the windows say so: Settings ▸ Screens that phones cannot
// find this screen though it is meant to be found, and the Send sheet and Settings ▸ Screens that
// this computer cannot look for screens, and where one is added by address instead.
#include "focus_guard/focus_guard.h"
#include "platform/display_wake.h"
#include "platform/permissions.h"
#include "receive/controller_fixture.h"
#include "send/screen_browser.h"
#include "send/screen_directory.h"
#include "send/send_sheet.h"
#include "send/uploader.h"
#include "settings/settings_window.h"
#include "support/fake_workspace.h"
#include "support/private_bus.h"
#include "update/updater.h"
#include "window/window_manager.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QTabWidget>

#include <utility>

using namespace vesker;

namespace {

// The D-Bus library keeps the first system bus address a process uses, so each case takes its
// bus before anything talks D-Bus, in a process of its own as ctest runs it.
bool takeSystemBus(const QByteArray& address)
{
    static bool taken = false;
    if (std::exchange(taken, true))
        return false;
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", address);
    return true;
}

// This screen, advertising as it does unless told not to, with everything its Settings window
// and Send sheet work with.
struct Desk : test::ReceivingSide {
    Desk()
    {
        EXPECT_TRUE(QTest::qWaitFor([this] { return controller->isRunning(); }, 5000));
    }

    std::unique_ptr<SettingsWindow> settings()
    {
        auto window
            = std::make_unique<SettingsWindow>(SettingsWindowServices {.controller = *controller,
                .defaults = m_defaults,
                .clock = m_clock,
                .windows = windows,
                .focusGuard = focus,
                .permissions = permissions,
                .updater = updater,
                .directory = &directory});
        window->show();
        for (int i = 0; i < window->tabs().count(); ++i) {
            if (window->tabs().tabText(i) == QLatin1String("Screens"))
                window->tabs().setCurrentIndex(i);
        }
        return window;
    }

    std::unique_ptr<SendSheet> sheet()
    {
        auto made = std::make_unique<SendSheet>(QList<OutgoingItem> {{.text = "hello"}},
            SendSheet::Services {.session = {.defaults = m_defaults,
                                     .uploader = &uploader,
                                     .directory = &directory,
                                     .clock = m_clock,
                                     .screenName = [this] { return controller->screenName(); }}});
        made->show();
        return made;
    }

    std::unique_ptr<ServerController> controller = makeController();
    platform::Defaults group {m_dir.filePath(QStringLiteral("group.json")), m_clock};
    ScreenDirectory directory {group};
    Uploader uploader {{.deviceID = "SENDER-1", .deviceName = "Desk"}};
    platform::DisplayWake wake;
    WindowManager windows {m_defaults, wake};
    test::FakeWorkspace workspace;
    FocusGuard focus {m_defaults, workspace};
    Permissions permissions;
    Updater updater {m_defaults, m_clock, {.manifestUrl = QUrl()}};
};

QString shown(const QWidget& window, const char* name)
{
    const auto* label = window.findChild<QLabel*>(QString::fromLatin1(name));
    return label && label->isVisibleTo(&window) ? label->text() : QStringLiteral("(hidden)");
}

// What both windows say once the daemon did not answer, for the reason `why`.
void expectNothingFoundBecause(const QString& why)
{
    Desk desk;
    const auto settings = desk.settings();
    const QString status
        = QStringLiteral("Listening on port %1 (not discoverable)").arg(desk.port());
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return shown(*settings, "serverStatusLabel") == status; }, 10000))
        << shown(*settings, "serverStatusLabel").toStdString();
    EXPECT_TRUE(shown(*settings, "discoveryProblem")
                    .startsWith(QStringLiteral("Phones can't find this screen by name: ")))
        << shown(*settings, "discoveryProblem").toStdString();
    EXPECT_TRUE(settings->findChild<QCheckBox*>(QStringLiteral("advertiseCheck"))->isChecked())
        << "the setting stays as the user chose it";

    const QString cannotLook = ScreenBrowser::unavailableText(why);
    EXPECT_TRUE(cannotLook.endsWith(u"added by its address in Settings ▸ Remote."));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return shown(*settings, "screenBookStatus") == cannotLook; }, 10000))
        << shown(*settings, "screenBookStatus").toStdString();

    const auto sheet = desk.sheet();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return shown(*sheet, "discoveryStatus") == cannotLook; }, 10000))
        << shown(*sheet, "discoveryStatus").toStdString();
    const auto* spinner = sheet->findChild<QProgressBar*>();
    EXPECT_FALSE(spinner && spinner->isVisibleTo(sheet.get())) << "nothing is on its way";
}

} // namespace

TEST(WithoutAvahi, NoSystemBus)
{
    if (!takeSystemBus("unix:path=" + QFile::encodeName(QDir::homePath()) + "/no-bus-here"))
        GTEST_SKIP() << "needs a process of its own";
    expectNothingFoundBecause(QStringLiteral("the avahi-daemon service isn't answering"));
}

TEST(WithoutAvahi, NoDaemonOnTheSystemBus)
{
    test::PrivateBus bus;
    ASSERT_FALSE(bus.m_address.isEmpty()) << "dbus-daemon did not start";
    if (!takeSystemBus(bus.m_address.toUtf8()))
        GTEST_SKIP() << "needs a process of its own";
    expectNothingFoundBecause(QStringLiteral("avahi-daemon is not running"));
}
