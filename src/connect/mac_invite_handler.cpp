#include "connect/mac_invite_handler.h"

#include "platform/log.h"

namespace vesker {

MacInviteHandler& MacInviteHandler::shared()
{
    static MacInviteHandler* handler = new MacInviteHandler;
    return *handler;
}

void MacInviteHandler::handle(const QString& url, const QString& hostName, const QUuid& sourceItem)
{
    if (!url.contains(QLatin1String("/i/")) && !url.startsWith(QLatin1String("vesker://invite/")))
        return;
    m_hostName = hostName;
    m_sourceItem = sourceItem;
    m_pending = url;
    m_screenName.reset();
    // The link itself is a credential; the log only says that one is waiting.
    qCInfo(lcApp).noquote() << "[invite] an invite link waits for confirmation";
    Q_EMIT pendingChanged();
}

} // namespace vesker
