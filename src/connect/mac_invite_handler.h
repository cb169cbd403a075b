#pragma once

#include <QObject>
#include <QUuid>

#include <functional>

namespace vesker {

// Turns opened invite links into a pairing. Here: the hook through which an invitation that
// arrived as an Inbox item is removed once it has been answered.
class MacInviteHandler : public QObject {
    Q_OBJECT
public:
    static MacInviteHandler& shared();

    // Installed once by the receive side; while it is not installed nothing happens.
    std::function<void(const QUuid& itemID)> itemHook;

    // Called once the invitation that came in as the given item has been answered.
    void finishedWithItem(const QUuid& itemID);
};

} // namespace vesker
