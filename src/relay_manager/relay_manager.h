#pragma once

#include "relay/header_plain.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <utility>

namespace vesker {

namespace platform {
class Defaults;
} // namespace platform

// This device's side of the relay: its screen id, the screens it publishes, and the signals
// through which opened relay messages reach the receive side; acknowledgements go back through
// sendAck(). The relay connection itself is
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

    // Where relayScreenID() is kept, in the standard settings.
    static constexpr auto kScreenIDKey = "relayScreenID";

    explicit RelayManager(platform::Defaults& defaults, QObject* parent = nullptr);

    // The stored "relayScreenID", made and stored on first use: 32 lowercase hex characters.
    QString relayScreenID() const;

    // What the next publication names: this screen, and (id, name) of every hosted screen
    // published beside it.
    void setPublishedScreens(const QString& name, const QList<std::pair<QString, QString>>& extra);
    QString publishedName() const { return m_publishedName; }
    QList<std::pair<QString, QString>> publishedExtraScreens() const { return m_publishedExtra; }

    // Publishes this screen and the hosted ones to the relay again.
    void republish();
    // Tells the relay one acknowledgement (an AckAction raw value) of one relay message.
    void sendAck(const QString& messageID, const QString& action);

Q_SIGNALS:
    // An opened relay message for this screen or a hosted one.
    void received(const vesker::RelayManager::Incoming& incoming);
    // Another device asks to pair through the relay.
    void pairingRequested();

private:
    platform::Defaults& m_defaults;
    QString m_publishedName;
    QList<std::pair<QString, QString>> m_publishedExtra;
};

} // namespace vesker
