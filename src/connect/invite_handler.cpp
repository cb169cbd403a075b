#include "connect/invite_handler.h"

#include "connect/invite_links.h"
#include "platform/log.h"

#include <utility>

namespace vesker {

void InviteHandler::handle(const QString& url, const QString& hostName, const QUuid& sourceItem)
{
    if (!InviteLinks::isInviteLink(url))
        return;
    // The new link takes the place of the last outcome, which counts as read: its alert goes,
    // and so does the Inbox item its invitation came in, unless this link came in the same.
    const bool hadResult = m_result || m_joined;
    const QUuid answered = hadResult && m_wentThrough ? m_sourceItem : QUuid();
    m_wentThrough = false;
    m_hostName = hostName;
    m_sourceItem = sourceItem;
    m_pending = url;
    m_screenName.reset();
    m_result.reset();
    m_joined.reset();
    // The link itself is a credential; the log only says that one is waiting.
    qCInfo(lcApp).noquote() << "[invite] an invite link waits for confirmation";
    if (hadResult)
        Q_EMIT resultChanged();
    if (!answered.isNull() && answered != sourceItem)
        finishedWithItem(answered);
    Q_EMIT pendingChanged();
}

void InviteHandler::accept()
{
    if (!m_pending)
        return;
    m_pending.reset();
    Q_EMIT pendingChanged();
    publishResult(
        QStringLiteral("Could not connect: this computer is not connected to the relay."));
}

void InviteHandler::offerBack()
{
    if (!m_joined)
        return;
    publishResult(
        QStringLiteral("Could not send the invite: this computer is not connected to the relay."));
}

void InviteHandler::cancelPending()
{
    if (!m_pending)
        return;
    m_pending.reset();
    Q_EMIT pendingChanged();
}

void InviteHandler::dismissResult()
{
    if (!m_result && !m_joined)
        return;
    m_result.reset();
    m_joined.reset();
    Q_EMIT resultChanged();
    // An invitation that came in as an Inbox item has had its answer. One that failed stays
    // where it was, to be tried again.
    const QUuid item = std::exchange(m_sourceItem, QUuid());
    if (!item.isNull() && std::exchange(m_wentThrough, false))
        finishedWithItem(item);
}

void InviteHandler::publishResult(const QString& text, const std::optional<QString>& joined)
{
    m_result = text;
    m_joined = joined;
    // The screen joined: the invitation went through, whatever sharing back says later.
    m_wentThrough = m_wentThrough || joined.has_value();
    Q_EMIT resultChanged();
}

} // namespace vesker
