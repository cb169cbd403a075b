#pragma once

#include <QObject>
#include <QString>
#include <QUuid>

#include <optional>

namespace vesker {

// Turns opened invite links into a pairing. Here: the link waiting for the user's confirmation,
// and the signal through which an invitation that arrived as an Inbox item is removed once it
// has been answered. Looking the invite up needs the relay, which this program has not yet.
class MacInviteHandler : public QObject {
    Q_OBJECT
public:
    static MacInviteHandler& shared();

    // An opened link. Anything but an invite is ignored; an invite becomes `pending`, to be
    // confirmed, with the inviting screen's name not known yet.
    void handle(const QString& url, const QString& hostName, const QUuid& sourceItem = {});
    const std::optional<QString>& pending() const { return m_pending; }
    const std::optional<QString>& screenName() const { return m_screenName; }

    // Called once the invitation that came in as the given item has been answered.
    void finishedWithItem(const QUuid& itemID) { Q_EMIT itemFinished(itemID); }

Q_SIGNALS:
    void pendingChanged();
    void itemFinished(const QUuid& itemID);

private:
    std::optional<QString> m_pending;
    std::optional<QString> m_screenName;
    QString m_hostName;
    QUuid m_sourceItem;
};

} // namespace vesker
