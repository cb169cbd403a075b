#pragma once

#include <QObject>
#include <QString>
#include <QUuid>

#include <optional>

namespace vesker {

// Turns opened invite links into a pairing. Here: the link waiting for the user's confirmation,
// and the signal through which an invitation that arrived as an Inbox item is removed once it
// has been answered. Looking the invite up needs the relay, which this program has not yet.
class InviteHandler : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // An opened link. Anything but an invite is ignored; an invite becomes `pending`, to be
    // confirmed, with the inviting screen's name not known yet, and clears any earlier result
    // as if it had been dismissed.
    void handle(const QString& url, const QString& hostName, const QUuid& sourceItem = {});
    const std::optional<QString>& pending() const { return m_pending; }
    const std::optional<QString>& screenName() const { return m_screenName; }
    // What came of accepting or sharing back, and the screen that was joined (by its name).
    const std::optional<QString>& result() const { return m_result; }
    const std::optional<QString>& joined() const { return m_joined; }

    // Accepts the pending invite. Without a relay connection it can only say so.
    void accept();
    // Sends the joined screen an invite to this one. Needs the relay as well.
    void offerBack();
    // The user turned the pending link down, or the result was read.
    void cancelPending();
    void dismissResult();
    // Publishes an outcome, as the relay's answer does: with the screen joined when the
    // invitation went through.
    void publishResult(const QString& text, const std::optional<QString>& joined = std::nullopt);

    // Called once the invitation that came in as the given item has been answered.
    void finishedWithItem(const QUuid& itemID) { Q_EMIT itemFinished(itemID); }

Q_SIGNALS:
    void pendingChanged();
    void resultChanged();
    void itemFinished(const QUuid& itemID);

private:
    std::optional<QString> m_pending;
    std::optional<QString> m_screenName;
    std::optional<QString> m_result;
    std::optional<QString> m_joined;
    QString m_hostName;
    QUuid m_sourceItem;
    // The pending invitation was accepted and its screen joined.
    bool m_wentThrough = false;
};

} // namespace vesker
