#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QVBoxLayout;

namespace vesker {

class ScreenDirectory;
class ServerController;

namespace platform {
class Defaults;
}

// This screen as phones find it: its name, its port and the addresses it answers on; and, with
// a directory, the other screens as this one sends to them: nicknames and groups.
class ScreensSettingsView : public QWidget {
    Q_OBJECT
public:
    struct Book {
        ScreenDirectory* directory = nullptr; // none: no nicknames or groups
        bool discover = true; // looks for screens on the network while shown
    };

    ScreensSettingsView(ServerController& controller, platform::Defaults& defaults, Book book,
        QWidget* parent = nullptr);

private:
    QWidget* makeNameGroup();
    QWidget* makePortGroup();
    QWidget* makeAddressGroup();
    void rename();
    void changePort();
    void listAddresses();
    // The server's status, saying so when phones cannot find this screen by name though it
    // is meant to be found.
    void showStatus();

    ServerController& m_controller;
    platform::Defaults& m_defaults;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_port = nullptr;
    QLabel* m_portMessage = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_discoveryProblem = nullptr;
    QVBoxLayout* m_addresses = nullptr;
};

} // namespace vesker
