#pragma once

#include <QWidget>

namespace vesker {

class RelayManager;
class ServerController;

// Incoming internet pairing requests with their answers; takes no room while none waits.
class RelayRequestsView : public QWidget {
    Q_OBJECT
public:
    RelayRequestsView(RelayManager& relay, ServerController& server, QWidget* parent = nullptr);
};

} // namespace vesker
