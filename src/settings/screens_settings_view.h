#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QVBoxLayout;

namespace vesker {

class ServerController;

namespace platform {
class Defaults;
}

// This screen as phones find it: its name, its port and the addresses it answers on.
class ScreensSettingsView : public QWidget {
    Q_OBJECT
public:
    ScreensSettingsView(
        ServerController& controller, platform::Defaults& defaults, QWidget* parent = nullptr);

private:
    QWidget* makeNameGroup();
    QWidget* makePortGroup();
    QWidget* makeAddressGroup();
    void rename();
    void changePort();
    void listAddresses();

    ServerController& m_controller;
    platform::Defaults& m_defaults;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_port = nullptr;
    QLabel* m_portMessage = nullptr;
    QVBoxLayout* m_addresses = nullptr;
};

} // namespace vesker
