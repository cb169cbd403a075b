#include "connect/mac_invite_handler.h"

namespace vesker {

MacInviteHandler& MacInviteHandler::shared()
{
    static MacInviteHandler* handler = new MacInviteHandler;
    return *handler;
}

} // namespace vesker
