#pragma once

#include "relay/header_plain.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <utility>

namespace vesker {

namespace platform {
class Defaults;
} // namespace platform

// This device's side of the relay: its screen id, and the hooks through which opened relay
// messages reach the receive side and acknowledgements go back. The relay connection itself is
// not built yet: the calls that would reach the relay only log that they did nothing.
// Main thread only.
class RelayManager : public QObject {
    Q_OBJECT
public:
    // One opened relay message, handed to the receive side.
    struct Incoming {
        QString messageID;
        QString screenID; // the relay screen id it was addressed to
        QString kind; // "text", "pdf", anything else is a photo
        QString contentType;
        QByteArray data;
        HeaderPlain header;
        QString senderID;
        QDateTime sentAt;
    };

    // Hooks the server controller sets once.
    std::function<QString()> screenName;
    // (id, name) of every hosted screen to publish beside this one.
    std::function<QList<std::pair<QString, QString>>()> extraScreens;
    std::function<void(const Incoming&)> onReceive;
    std::function<void()> onPairingRequest;

    explicit RelayManager(platform::Defaults& defaults, QObject* parent = nullptr);
    // Created on first use over the standard settings; alive for the run.
    static RelayManager& shared();

    // The stored "relayScreenID", made and stored on first use: 32 lowercase hex characters.
    QString relayScreenID() const;

    // Publishes this screen and the hosted ones to the relay again.
    void republish();
    // Tells the relay one acknowledgement (an AckAction raw value) of one relay message.
    void sendAck(const QString& messageID, const QString& action);

private:
    platform::Defaults& m_defaults;
};

} // namespace vesker
