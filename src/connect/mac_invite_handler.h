#pragma once

#include <QObject>
#include <QUuid>

namespace vesker {

// Turns opened invite links into a pairing. Here: the signal through which an invitation that
// arrived as an Inbox item is removed once it has been answered.
class MacInviteHandler : public QObject {
    Q_OBJECT
public:
    static MacInviteHandler& shared();

    // Called once the invitation that came in as the given item has been answered.
    void finishedWithItem(const QUuid& itemID) { Q_EMIT itemFinished(itemID); }

Q_SIGNALS:
    void itemFinished(const QUuid& itemID);
};

} // namespace vesker
