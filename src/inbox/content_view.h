#pragma once

#include "card/item_actions.h"
#include "inbox/send_request.h"

#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QUuid>
#include <QWidget>

#include <memory>
#include <optional>

class QKeyEvent;

#include <QDialog>
class QLabel;
class QPushButton;
class QSplitter;
class QStackedWidget;

namespace vesker {

class CardListView;
class EmptyState;
class InboxBarView;
class InboxState;
class ItemCardFactory;
class ItemStore;
struct StoreChange;
class RelayBook;
class ScreenDirectory;
class InviteHandler;
class PendingApprovalsView;
class Permissions;
class ServerController;
class SheetQueue;
class SidebarView;
class ThumbnailLoader;
class Updater;
class UsageStats;
class WindowManager;
struct ScreenItem;

namespace platform {
class Clock;
class Defaults;
} // namespace platform

// What the Inbox window works with. `invites` may be none (cards then offer no invite button),
// `windows` too (no full screen, and the window is not the window manager's main window).
struct ContentViewServices {
    ItemStore& store;
    ServerController& server;
    platform::Defaults& defaults;
    const platform::Clock& clock;
    ThumbnailLoader& thumbnails;
    Updater& updater;
    Permissions& permissions;
    InviteHandler* invites = nullptr;
    WindowManager* windows = nullptr;
    ScreenDirectory* directory = nullptr; // none: no nicknames or groups when sending
    RelayBook* relayBook = nullptr; // none: no relay screens to send to
    // The app-group settings, where this computer's device id is kept; none: `defaults`.
    platform::Defaults* groupDefaults = nullptr;
    UsageStats* usage = nullptr; // none: what is sent is not counted
};

// The main window's content, the Inbox: its bar, the banners of devices waiting for an answer,
// the cards of the listed items (or what an empty list says), and the sheets it opens one at a
// time: Connect, Preview, Send and, on the first run, onboarding. Files dropped anywhere on it,
// "Paste and Send" and "Capture and Send" open the Send sheet; an arrival is scrolled into view.
class ContentView : public QWidget {
    Q_OBJECT
public:
    static constexpr auto kDidShowOnboarding = "didShowOnboarding";
    static constexpr int kOnboardingDelayMs = 600;
    static constexpr int kArrivalScrollDelayMs = 50;
    // Narrower than this, the window gives all its width to the list.
    static constexpr int kCrowdedWidth = 900;

    explicit ContentView(const ContentViewServices& services, QWidget* parent = nullptr);
    ~ContentView() override;

    InboxState& state() const { return *m_state; }
    CardListView& cardList() const { return *m_list; }
    // The sheet open now; none while no sheet is open.
    QDialog* currentSheet() const;

    const std::optional<SendRequest>& sendRequest() const { return m_sendRequest; }
    // Presents the Send sheet for the request, once any sheet open now has closed.
    void setSendRequest(const SendRequest& request);
    // The Send sheet with what the clipboard holds now.
    void pasteAndSend();
    // The Send sheet with a captured image; anything but a local file is ignored.
    void sendCapture(const QUrl& image);
    bool showsOnboarding() const { return m_onboarding != nullptr; }

    SidebarView& sidebar() const { return *m_sidebar; }
    bool sidebarShown() const;
    // Opens or closes the sidebar column, as the user does by dragging its edge.
    void setSidebarShown(bool shown);

Q_SIGNALS:
    void sendRequestChanged();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Drags and drops anywhere in the window, fields included, are the window's.
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    // Reveal, Got it, Archive, Skip and Delete of the item whose card has the keyboard focus, or
    // of the newest item while no card has it; in that order.
    static constexpr QKeyCombination kItemKeys[] {Qt::CTRL | Qt::Key_R, Qt::CTRL | Qt::Key_G,
        Qt::CTRL | Qt::Key_E, Qt::CTRL | Qt::Key_L, Qt::CTRL | Qt::Key_Backspace};

private:
    static bool isItemKey(const QKeyEvent* key);
    static bool isTextField(const QWidget* widget);
    void relist();
    void storeChanged(const StoreChange& change);
    void showEmptyState();
    // The item keys act on the card holding the keyboard focus; elsewhere on the first item
    // listed, whether or not its card exists.
    std::optional<ScreenItem> keyTarget() const;
    ItemActions::Offered offeredOn(const ScreenItem& item) const;
    // What an item key changes, given what the target's bar offers; `offered` none: always.
    using KeyAction = void (*)(ItemStore&, const ScreenItem&);
    void actByKey(bool ItemActions::Offered::*offered, KeyAction act);
    void revealByKey();
    void gotItByKey();
    void archiveByKey();
    void skipByKey();
    void deleteByKey();
    // After an item key, the focus stays on the card it was on, or on the card now in its place.
    void keepFocusInList(const QUuid& id, int row, const QString& control);
    // The content's Tab stops in order: the toolbar, then the banners and prompts as drawn, then
    // the list as one stop, whenever each was made.
    QList<QWidget*> tabStops() const;
    // Focuses the stop after (or before) `from`, entering the list as one stop; false when
    // there is none.
    bool focusAfter(QWidget* from, bool forward);
    void showConnect();
    void showPreview(const ScreenItem& item, const QImage& shown);
    void toggleFullScreen();
    void bringIntoView(const QUuid& id);
    void scrollToArrival();
    void applicationStateChanged(Qt::ApplicationState state);
    bool handleDrag(QEvent* event);
    void showOnboarding();
    void askNotificationServer();
    bool sidebarWanted() const;
    void followSidebarSettings();
    void showSpeedReview();

    ContentViewServices m_services;
    InboxState* m_state = nullptr;
    std::unique_ptr<ItemCardFactory> m_factory;
    SheetQueue* m_sheets = nullptr;

    QSplitter* m_split = nullptr;
    SidebarView* m_sidebar = nullptr;
    int m_sidebarWidth = 0;
    bool m_crowded = false;
    bool m_groupBySender = false;
    bool m_simpleMode = false;
    InboxBarView* m_bar = nullptr;
    PendingApprovalsView* m_prompt = nullptr;
    // Drawn between the toolbar and the list, in this order.
    QList<QWidget*> m_banners;
    QStackedWidget* m_area = nullptr;
    CardListView* m_list = nullptr;
    EmptyState* m_empty = nullptr;
    QPushButton* m_connectPhone = nullptr;
    // The look the cards were last made with: a change refills every card.
    QString m_lookKey;
    // The tab, filter and search the list was last read for.
    QString m_choiceKey;
    bool m_refillQueued = false;

    QTimer m_arrivalScroll;
    QUuid m_arrivalTarget;
    std::optional<QUuid> m_pendingScroll;

    std::optional<SendRequest> m_sendRequest;
    QPointer<QDialog> m_onboarding;
    bool m_onboardingQueued = false;
    bool m_askedNotifications = false;
};

} // namespace vesker
