#pragma once

#include <QObject>

namespace vesker {

// Screens reached by address. This build keeps none and shares none with local phones.
class RemoteScreensManager : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Restarts the local listeners of the screens shared on the network.
    void restartRelays() { }
};

} // namespace vesker
