#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QStackedWidget;

namespace vesker {

class ServerController;

namespace platform {
class Defaults;
}

// The Connect sheet, in two tabs. "Phones": the pairing link as a QR code for a phone's camera,
// the addresses to type, and the access code when one is required. "Browser screen": while
// browser screens are allowed, the link that shows this Inbox in any browser, as a QR code and
// to copy; while they are not, what they are and where they are allowed. It follows the
// addresses, the access code and the settings while it is open.
class QRSheet : public QDialog {
    Q_OBJECT
public:
    QRSheet(ServerController& server, platform::Defaults& defaults, QWidget* parent = nullptr);

private:
    QWidget* makePhonesTab();
    QWidget* makeBrowserScreenTab();
    void refresh();

    ServerController& m_server;
    platform::Defaults& m_defaults;
    QLabel* m_phoneCode = nullptr;
    QLabel* m_phoneHint = nullptr;
    QLabel* m_phoneNoAddress = nullptr;
    QLabel* m_phoneStatus = nullptr;
    QLabel* m_addresses = nullptr;
    QLabel* m_accessCode = nullptr;
    QStackedWidget* m_screenPages = nullptr;
    QLabel* m_screenCode = nullptr;
    QLabel* m_screenHint = nullptr;
    QLabel* m_screenNoAddress = nullptr;
    QLabel* m_screenStatus = nullptr;
    QLabel* m_screenLink = nullptr;
    QPushButton* m_copyScreenLink = nullptr;
    QLabel* m_viewerPin = nullptr;
};

} // namespace vesker
