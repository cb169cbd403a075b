#pragma once

#include "access/approval_banner.h"

namespace vesker {

class RemoteScreensManager;

// One card per device waiting to send through this computer to a remote screen, with how long
// to allow it, Deny and Block, for the first few to wait. Takes no room while nobody waits.
class RelayPendingView : public ApprovalBanner {
    Q_OBJECT
public:
    explicit RelayPendingView(RemoteScreensManager& remote, QWidget* parent = nullptr);

protected:
    QList<ApprovalCardContent> cards() override;
    qsizetype waiting() const override;

private:
    RemoteScreensManager& m_remote;
};

} // namespace vesker
