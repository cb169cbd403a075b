#pragma once

#include "inbox/send_request.h"

#include <QPointer>
#include <QWidget>

#include <optional>

#include <QDialog>
class QLabel;
class QListWidget;
class QStackedWidget;

namespace vesker {

class PendingApprovalsView;
class ItemStore;
class ServerController;
class WindowManager;

namespace platform {
class Defaults;
}

// The main window's content: the approval prompt over the Inbox, the Send sheet for what the
// "Paste and Send" and "Capture and Send" commands hand it, and onboarding on the first run.
// The window it is shown in becomes the window manager's main window.
class ContentView : public QWidget {
    Q_OBJECT
public:
    static constexpr auto kDidShowOnboarding = "didShowOnboarding";
    static constexpr int kOnboardingDelayMs = 600;

    ContentView(ItemStore& store, ServerController& server, platform::Defaults& defaults,
        WindowManager* windows, QWidget* parent = nullptr);

    const std::optional<SendRequest>& sendRequest() const { return m_sendRequest; }
    // Presents the Send sheet for the request.
    void setSendRequest(const SendRequest& request);
    bool showsOnboarding() const { return m_onboarding != nullptr; }

Q_SIGNALS:
    void sendRequestChanged();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void rebuildList();
    void pasteAndSend();
    void captureAndSend(const QVariant& object);
    void showOnboarding();
    void askNotificationServer();

    ItemStore& m_store;
    ServerController& m_server;
    platform::Defaults& m_defaults;
    WindowManager* m_windows = nullptr;

    PendingApprovalsView* m_prompt = nullptr;
    QStackedWidget* m_pages = nullptr;
    QListWidget* m_list = nullptr;
    std::optional<SendRequest> m_sendRequest;
    QPointer<QDialog> m_sendSheet;
    QPointer<QDialog> m_onboarding;
    bool m_askedNotifications = false;
};

} // namespace vesker
