#pragma once

#include <QObject>

class QAction;
class QMenu;
class QMenuBar;

namespace vesker {

class HelpWindowController;
class Updater;

namespace platform {
class Defaults;
}

// The main window's commands beyond Settings and Quit: Check for Updates in the File menu,
// Paste and Send in Edit, Simple Mode in View, and the Help menu.
class MenuCommands : public QObject {
    Q_OBJECT
public:
    struct Services {
        platform::Defaults& defaults;
        Updater& updater;
        HelpWindowController& help;
    };

    // Puts "Check for Updates…" at the top of `file` and adds the other menus to `bar`.
    MenuCommands(QMenuBar& bar, QMenu& file, Services services, QObject* parent = nullptr);

    QAction* checkForUpdates() const { return m_checkForUpdates; }
    QAction* simpleMode() const { return m_simpleMode; }
    QAction* pasteAndSend() const { return m_pasteAndSend; }
    QAction* help() const { return m_help; }
    QAction* keyboardShortcuts() const { return m_keyboardShortcuts; }
    QAction* troubleshooting() const { return m_troubleshooting; }
    QAction* supportWebsite() const { return m_supportWebsite; }
    QAction* privacy() const { return m_privacy; }

Q_SIGNALS:
    // The window that can send takes it, reading the clipboard then rather than here.
    void pasteAndSendRequested();

private:
    void addHelpMenu(QMenuBar& bar);
    void followSimpleMode();

    Services m_services;
    QAction* m_checkForUpdates = nullptr;
    QAction* m_simpleMode = nullptr;
    QAction* m_pasteAndSend = nullptr;
    QAction* m_help = nullptr;
    QAction* m_keyboardShortcuts = nullptr;
    QAction* m_troubleshooting = nullptr;
    QAction* m_supportWebsite = nullptr;
    QAction* m_privacy = nullptr;
};

} // namespace vesker
