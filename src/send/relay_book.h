#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

namespace vesker {

// A screen paired over the internet relay: where a sealed item may be sent.
struct RelayScreen {
    QString id;
    QString name;
    QByteArray encPub; // the screen's public encryption key
    QString status; // "approved", "pending", "denied", or a word a newer relay uses
    std::optional<qint64> grantedUntil; // seconds since 1970; none: no end
    bool online = false;
    std::optional<QString> via;
    bool operator==(const RelayScreen&) const = default;
};

// The screens this computer may send to over the relay. Pairing is not built yet, so the book
// stays empty; the send sheet already lists and resolves from it.
class RelayBook : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    const QList<RelayScreen>& screens() const { return m_screens; }

Q_SIGNALS:
    void screensChanged();

private:
    QList<RelayScreen> m_screens;
};

} // namespace vesker
