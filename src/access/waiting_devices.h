#pragma once

#include "access/access_types.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <optional>

namespace vesker {

namespace platform {
class Clock;
} // namespace platform

// The devices whose uploads are held until the person at this computer answers them: what
// each holds, from which address, and when it last asked about it. It keeps what may wait
// within kMaxHeldPerDevice uploads a device, kMaxHeldBytes in all and kMaxWaitingDevices
// devices, shares the last two between addresses, and lets go of a device that stops asking
// or whose newest upload has waited kMaxWaitSeconds.
// Addresses count one by one, IPv6 ones too: a network gives all of its hosts one /64.
// The uploads stay with the owner, which drops a device's when dropped() says so. A device is
// named as its owner answers it: by its id, or by the shared screen and id it sends to.
// Main thread only.
class WaitingDevices : public QObject {
    Q_OBJECT
public:
    explicit WaitingDevices(const platform::Clock& clock, QObject* parent = nullptr);

    // Counts one more upload of `bytes` from `device` at `address`, or says why it cannot wait.
    // When a bound is reached, room is made only for an address that holds less than its share
    // (the bound divided among the addresses waiting, the newcomer's included, compared
    // unrounded), and only at the cost of a device that stopped asking (the one quiet longest)
    // or of an address that holds more than its share and, after giving way, still no less
    // than the newcomer's (its newest device goes, before this returns, as if it had stopped
    // asking). So a device that waits and asks is never pushed out by later arrivals while its
    // address holds no more than its share, and a new address finds a place while the
    // addresses waiting number fewer than the bound.
    [[nodiscard]] std::optional<HoldRefusal> admit(
        const QString& device, const QString& address, qint64 bytes);
    // The device's held uploads were answered: it no longer waits, and is not told it expired.
    void release(const QString& device);
    // The device asked about its held uploads: they wait on.
    void polled(const QString& device);
    // Drops every device that has not asked for kWaitingExpirySeconds, or whose newest upload
    // is kMaxWaitSeconds old; a timer calls it while any device waits.
    void expire();

    qsizetype count() const { return m_waiting.size(); }
    qsizetype uploads(const QString& device) const { return m_waiting.value(device).uploads; }
    // Its uploads were dropped unanswered, and it has not sent again since.
    bool expired(const QString& device) const { return m_expired.contains(device); }

Q_SIGNALS:
    // The device gave way or stopped asking: its owner lets go of its held uploads.
    void dropped(const QString& device);

private:
    struct Waiting {
        QString address; // as it counts for the shares
        qsizetype uploads = 0;
        qint64 bytes = 0;
        QDateTime lastAsked;
        QDateTime lastUpload;
        quint64 lastArrival = 0; // tells the newest device of an address
    };
    void drop(const QString& device, const char* why);
    // Makes room in the bound `byBytes` (else in the devices) for `incoming` more of `device`
    // from the address counted as `own`, by the rule of admit(); false when there is none to
    // be made.
    bool makeRoomFor(const QString& own, const QString& device, qint64 incoming, bool byBytes);

    const platform::Clock& m_clock;
    QHash<QString, Waiting> m_waiting;
    qint64 m_bytes = 0;
    quint64 m_arrivals = 0;
    // Only for a poll that comes back later; bounded, so a flood of made-up ids cannot grow it.
    QSet<QString> m_expired;
    QTimer m_expiry;
};

} // namespace vesker
