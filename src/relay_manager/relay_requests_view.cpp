#include "relay_manager/relay_requests_view.h"

namespace vesker {

// The relay manager does not take pairing requests yet: none can wait, so the view stays out of
// the way.
RelayRequestsView::RelayRequestsView(RelayManager&, ServerController&, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("relayRequests"));
    hide();
}

} // namespace vesker
