#pragma once

#include <QMainWindow>

class QAction;

namespace vesker {

class ContentView;
class FocusGuard;
class HelpWindowController;
class InviteAlerts;
class ItemStore;
class InviteHandler;
class MenuCommands;
class Permissions;
class RelayBook;
class ScreenDirectory;
class ServerController;
class ThumbnailLoader;
class Updater;
class UsageStats;
class WindowManager;

namespace platform {
class Clock;
class Defaults;
} // namespace platform

// What the main window, and the Settings and Help windows it opens, work with.
struct MainWindowServices {
    ItemStore& store;
    ServerController& server;
    InviteHandler& invites;
    platform::Defaults& defaults;
    // The app-group settings, where this computer's device id is kept.
    platform::Defaults& groupDefaults;
    const platform::Clock& clock;
    WindowManager& windows;
    FocusGuard& focusGuard;
    Updater& updater;
    ThumbnailLoader& thumbnails;
    Permissions& permissions;
    ScreenDirectory& directory;
    RelayBook& relayBook;
    // Counts what the Send sheet delivers.
    UsageStats& usage;
    HelpWindowController& help;
};

// The window titled "Vesker": the Inbox, the questions about opened invite links, and a File
// menu with Settings and Quit (this desktop has no application menu to hold them). Closing it
// hides it; the program goes on, and a later launch or an arrival shows it again.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr QSize kDefaultSize {1100, 760};
    static constexpr QSize kMinimumSize {720, 520};

    using Services = MainWindowServices;

    // The window attaches itself to `services.windows` as the main window when it is shown.
    explicit MainWindow(const Services& services, QWidget* parent = nullptr);

    ContentView& content() const { return *m_content; }
    InviteAlerts& inviteAlerts() const { return *m_inviteAlerts; }
    QAction* settingsAction() const { return m_settings; }
    QAction* quitAction() const { return m_quit; }
    MenuCommands& commands() const { return *m_commands; }

private:
    Services m_services;
    ContentView* m_content = nullptr;
    InviteAlerts* m_inviteAlerts = nullptr;
    QAction* m_settings = nullptr;
    QAction* m_quit = nullptr;
    MenuCommands* m_commands = nullptr;
};

} // namespace vesker
