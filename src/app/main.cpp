#include "app/command_line.h"
#include "app/desktop_shell.h"
#include "app/main_window.h"
#include "app/single_instance.h"
#include "app/vesker_app.h"
#include "connect/invite_handler.h"
#include "focus_guard/focus_guard.h"
#include "help/help_window.h"
#include "http/network_addresses.h"
#include "inbox/content_view.h"
#include "platform/address_watcher.h"
#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/desktop_notifications.h"
#include "platform/display_wake.h"
#include "platform/dns_sd.h"
#include "platform/host_name.h"
#include "platform/log.h"
#include "platform/quit_signals.h"
#include "platform/workspace.h"
#include "receive/server_controller.h"
#include "send/capture_overlay_view.h"
#include "send/screen_capture.h"
#include "store/item_store.h"
#include "tray/tray_icon_view.h"
#include "tray/tray_panel_model.h"
#include "ui/app_icon.h"
#include "ui/text_style.h"
#include "ui/tray_availability.h"
#include "window/window_keys.h"
#include "window/window_manager.h"

#include <QApplication>

#include <cstdio>
#include <memory>

#include <malloc.h>

using namespace vesker;

// The process entry: one copy per user, then the application's parts in their order, then the
// main window.
int main(int argc, char** argv)
{
    // Uploads held for approval are buffers of up to megabytes that come and go by the
    // thousand. Each gets a mapping of its own, given back the moment it is freed: left to
    // itself, glibc raises this threshold to the size of the first such buffer freed, and the
    // later ones stay in the heap, which keeps their pages long after they are gone.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    // --help, --version and a mistyped option are answered before anything starts: no display
    // is needed, and no running copy, port or file is touched.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const CommandLine command = CommandLine::parse(arguments, QStringLiteral(VESKER_VERSION));
    if (command.action != CommandLine::Action::run) {
        std::FILE* out = command.action == CommandLine::Action::print ? stdout : stderr;
        const bool written
            = std::fputs(command.text.toLocal8Bit().constData(), out) >= 0 && std::fflush(out) == 0;
        return written ? command.exitStatus : 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vesker"));
    QGuiApplication::setDesktopFileName(QStringLiteral("com.halvane.Vesker"));
    QApplication::setWindowIcon(appIcon());
    // The desktop's colours, with field prompts that read on its fields.
    keepPlaceholdersReadable();
    QApplication::setApplicationVersion(QStringLiteral(VESKER_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);
    // A logout, a shutdown or a plain `kill` quits as the Quit command does.
    platform::QuitSignals quitSignals;
    QObject::connect(&quitSignals, &platform::QuitSignals::quitRequested, &app,
        &QCoreApplication::quit, Qt::QueuedConnection);

    // One copy per user: a later launch hands its request (the window, an opened invite link)
    // to the running copy before it touches the store or the port.
    const QString& inviteUrl = command.invite;
    SingleInstance instance;
    switch (instance.start(inviteUrl)) {
    case SingleInstance::Outcome::handedOver:
        return 0;
    case SingleInstance::Outcome::unanswered:
        std::fputs("vesker: Vesker is already running but does not answer; not starting a second "
                   "copy over the same files\n",
            stderr);
        return 1;
    case SingleInstance::Outcome::running:
        break;
    }

    // The desktop's services, one of each for the run. Nothing below reaches for them: each
    // part is handed what it works with, here or in VeskerApp.
    const platform::Clock& clock = platform::Clock::system();
    platform::Defaults& defaults = platform::Defaults::standard();
    platform::Defaults& groupDefaults = platform::Defaults::group();
    platform::DesktopNotifications notifications;
    platform::DnsSdHostName hostName;
    platform::AddressWatcher addressWatcher;
    platform::DisplayWake wake;
    FocusGuard focusGuard(defaults, platform::Workspace::system());
    FocusGuardHold hold(focusGuard);
    WindowManager windows(defaults, wake, &hold);
    // With no tray to come back through, the task bar entry stays, whatever the setting says.
    TrayAvailability trayShown;
    const auto hideTaskbarEntry = [&windows, &trayShown](bool hide) {
        windows.applyActivationPolicy(hide && trayShown.available());
    };
    QObject::connect(&trayShown, &TrayAvailability::availableChanged, &windows, [&] {
        hideTaskbarEntry(defaults.boolValue(QLatin1String(window_keys::kHideTaskbarEntry), false));
    });
    DesktopShell desktop(windows);
    VeskerApp vesker({.defaults = defaults,
        .groupDefaults = groupDefaults,
        .clock = clock,
        .notifications = notifications,
        .desktop = &desktop,
        .computerName = platform::computerName,
        .networkAddresses = NetworkAddress::current,
        .hostName = &hostName,
        .addressWatcher = &addressWatcher,
        .applyHideTaskbarEntry = hideTaskbarEntry});
    InviteHandler& invites = vesker.invites();
    HelpWindowController help(vesker.helpSelection(), defaults);
    ScreenCapture capture;

    // The window is made once; closing it only hides it, and an arrival or a second launch
    // shows it again.
    std::unique_ptr<MainWindow> window;
    const auto makeWindow = [&] {
        if (!window)
            window = std::make_unique<MainWindow>(MainWindow::Services {.store = vesker.store(),
                .server = vesker.server(),
                .invites = invites,
                .defaults = defaults,
                .groupDefaults = groupDefaults,
                .clock = clock,
                .windows = windows,
                .focusGuard = focusGuard,
                .updater = vesker.updater(),
                .thumbnails = vesker.thumbnails(),
                .permissions = vesker.permissions(),
                .directory = vesker.directory(),
                .relayBook = vesker.relayBook(),
                .usage = vesker.usage(),
                .help = help});
        window->show();
    };
    windows.setWindowFactory(makeWindow);
    makeWindow();

    TrayPanelModel trayModel(vesker.store(), &vesker.server(), focusGuard);
    TrayIcon tray({.model = trayModel,
        .defaults = defaults,
        .thumbnails = vesker.thumbnails(),
        .capture = capture,
        .windows = &windows});
    // The panel has shown the window by now; the capture opens its Send sheet.
    QObject::connect(&tray, &TrayIcon::captureAndSendRequested, &app, [&window](const QUrl& image) {
        if (window)
            window->content().sendCapture(image);
    });

    const auto openInvite
        = [&](const QString& url) { invites.handle(url, vesker.server().screenName()); };
    QObject::connect(
        &instance, &SingleInstance::showRequested, &app, [&windows] { windows.show(); });
    QObject::connect(&instance, &SingleInstance::inviteOpened, &invites, openInvite);
    qCInfo(lcApp).noquote() << "[app] Vesker" << QApplication::applicationVersion() << "- items in"
                            << vesker.store().rootDir()
                            << "- started:" << vesker.steps().join(u", ");

    if (!inviteUrl.isEmpty())
        openInvite(inviteUrl);

    const int status = QApplication::exec();
    // The window goes before the parts it shows.
    window.reset();
    return status;
}
