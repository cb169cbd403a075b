#pragma once

#include "platform/coalesced_call.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace vesker {

class Permissions;
class ServerController;
class WindowManager;

namespace platform {
class Defaults;
}

namespace onboarding {
struct StatusLine;
}

struct OnboardingSheetServices {
    ServerController& server;
    platform::Defaults& defaults;
    Permissions& permissions;
    // None: "Continue" leaves the login item and the task bar entry as they are.
    WindowManager* windows = nullptr;
    // The name the desktop gives this computer; empty when it gives none.
    QString computerName;
};

// "Before you start", shown once on the first run: the screen's name on the network, whether the
// server listens and banners and typing into other apps are allowed, and the start-up choices.
// The name and "Open at login" are drafts until "Continue"; the tray switches are stored as they
// move. Closing it any other way, Escape or the window's close button, applies neither draft.
class OnboardingSheet : public QDialog {
    Q_OBJECT
public:
    explicit OnboardingSheet(const OnboardingSheetServices& services, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
    // Its window closing dismisses it: left open, it would float alone on the screen and hold
    // back every sheet after it.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // One status beside a section's title: a coloured dot and a short text.
    struct Status {
        QLabel* dot = nullptr;
        QLabel* text = nullptr;
        void show(const onboarding::StatusLine& line) const;
    };

    void addNameSection();
    void addNetworkSection();
    void addNotificationsSection();
    void addAccessibilitySection();
    void addLoginSection();
    void addTraySection();
    // Gives the section's column of lines, under its header.
    QVBoxLayout* addSection(const QString& symbol, const QString& title, const QString& description,
        QWidget* control, Status* status = nullptr);
    // A line under a section saying what to do where the desktop has no page to open.
    QLabel* addHint(QVBoxLayout* lines, const QString& objectName);
    void openSettings(const QString& anchor, QLabel* hint, const QString& text);

    // Wrapped lines take the height they need at the sheet's fixed width. A change refits once
    // its sections have laid themselves out again, so the sizes asked for are the new ones.
    void fitHeight();
    void refitLater();
    void showServer();
    void showNotifications();
    void showAccessibility();
    void continueAction();

    OnboardingSheetServices m_services;
    QVBoxLayout* m_column = nullptr;
    QLineEdit* m_name = nullptr;
    QCheckBox* m_launchAtLogin = nullptr;
    Status m_network;
    Status m_notifications;
    Status m_accessibility;
    QPushButton* m_notificationsButton = nullptr;
    QPushButton* m_accessibilityButton = nullptr;
    QLabel* m_networkHint = nullptr;
    QLabel* m_notificationsHint = nullptr;
    QLabel* m_accessibilityHint = nullptr;
    platform::CoalescedCall m_refit {this, [this] { fitHeight(); }};
};

} // namespace vesker
