#pragma once

#include "access/approval_banner.h"

namespace vesker {

class RemoteScreensManager;

// One card per device waiting to send through this computer to a remote screen, with how long
// to allow it, Deny and Block. Takes no room while nobody waits.
class RelayPendingView : public ApprovalBanner {
    Q_OBJECT
public:
    explicit RelayPendingView(RemoteScreensManager& remote, QWidget* parent = nullptr);

protected:
    QStringList waitingKeys() override;
    QList<ApprovalCardContent> cards(qsizetype first, qsizetype count) override;

private:
    RemoteScreensManager& m_remote;
};

} // namespace vesker
