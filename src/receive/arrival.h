#pragma once

#include <QString>

namespace vesker {

class DesktopActions;
class ItemStore;
struct ScreenItem;

namespace platform {
class DesktopNotifications;
}

// Announces a new item of the main screen: the window (unless its sender is quiet), the sound,
// and one desktop notification per item. Main thread only.
class ArrivalAnnouncer {
public:
    ArrivalAnnouncer(const ItemStore& store, DesktopActions& desktop,
        platform::DesktopNotifications& notifications);

    void announce(const ScreenItem& item);

private:
    const ItemStore& m_store;
    DesktopActions& m_desktop;
    platform::DesktopNotifications& m_notifications;
};

} // namespace vesker
