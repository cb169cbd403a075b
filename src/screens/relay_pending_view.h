#pragma once

#include <QFrame>

namespace vesker {

class RemoteScreensManager;

// One card per device waiting to send through this computer to a remote screen, with how long
// to allow it, Deny and Block. Takes no room while nobody waits.
class RelayPendingView : public QFrame {
    Q_OBJECT
public:
    explicit RelayPendingView(RemoteScreensManager& remote, QWidget* parent = nullptr);
};

} // namespace vesker
