#pragma once

#include <QMainWindow>

class QAction;

namespace vesker {

class ContentView;
class InviteAlerts;
class ItemStore;
class InviteHandler;
class MenuCommands;
class ServerController;
class ThumbnailLoader;
class Updater;
class WindowManager;

namespace platform {
class Defaults;
}

// The window titled "Vesker": the Inbox, the questions about opened invite links, and a File
// menu with Settings and Quit (this desktop has no application menu to hold them). Closing it
// hides it; the program goes on, and a later launch or an arrival shows it again.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr QSize kDefaultSize {1100, 760};
    static constexpr QSize kMinimumSize {720, 520};

    // Without an updater or a thumbnail loader, the program's own.
    MainWindow(ItemStore& store, ServerController& server, InviteHandler& invites,
        platform::Defaults& defaults, WindowManager* windows, Updater* updater = nullptr,
        ThumbnailLoader* thumbnails = nullptr, QWidget* parent = nullptr);

    ContentView& content() const { return *m_content; }
    InviteAlerts& inviteAlerts() const { return *m_inviteAlerts; }
    QAction* settingsAction() const { return m_settings; }
    QAction* quitAction() const { return m_quit; }
    MenuCommands& commands() const { return *m_commands; }

private:
    ContentView* m_content = nullptr;
    InviteAlerts* m_inviteAlerts = nullptr;
    QAction* m_settings = nullptr;
    QAction* m_quit = nullptr;
    MenuCommands* m_commands = nullptr;
};

} // namespace vesker
