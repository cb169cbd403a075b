#pragma once

#include "access/access_types.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <iterator>
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
// The uploads stay with the owner, which drops a device's when dropped() says so, and its newest
// when newestDropped() does. A device is named as its owner answers it: by its id, or by the shared
// screen and id it sends to. Main thread only.
class WaitingDevices : public QObject {
    Q_OBJECT
public:
    explicit WaitingDevices(const platform::Clock& clock, QObject* parent = nullptr);

    // Counts one more upload of `bytes` from `device` at `address`, or says why it cannot wait.
    // When a bound is reached, room is made only for an address that holds less than its share
    // (the bound divided among the addresses waiting, the newcomer's included, compared
    // unrounded), and only by what can be spared, before this returns:
    //  - a device that stopped asking (the one quiet longest) goes, whoever it belongs to;
    //  - else, of the addresses that have something to spare, the one that holds the most
    //    gives up its newest device while it has more than one (for the bound on devices, only
    //    while it holds more than its share and keeps no fewer than the newcomer's address
    //    will);
    //  - else, for the bound on bytes, the one that holds the most of the addresses with one
    //    device gives up that device's newest upload while the device holds more than one.
    // An address's only device and its first upload are never taken, so a device that waits and
    // asks keeps its place against later arrivals, however large its upload. When everything
    // that could be spared would not make the room, nothing is taken and the newcomer is
    // refused. Shares compared unrounded leave some address with more than one device while
    // the addresses are fewer than the places, so a new address always finds a place among the
    // devices; among the bytes, whenever the other addresses' extra devices and uploads hold
    // as much as its upload needs.
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
    qsizetype uploads(const QString& device) const { return m_waiting.value(device).sizes.size(); }
    // Its uploads were dropped unanswered, and it has not sent again since.
    bool expired(const QString& device) const { return m_expired.contains(device); }

Q_SIGNALS:
    // The device gave way or stopped asking: its owner lets go of its held uploads.
    void dropped(const QString& device);
    // The device's newest held upload gave way to another address: its owner lets go of that
    // one, and the others wait on.
    void newestDropped(const QString& device);

private:
    struct Waiting {
        QString address; // as it counts for the shares
        QList<qint64> sizes; // of its held uploads, in arrival order
        qint64 bytes = 0;
        QDateTime lastAsked;
        QDateTime lastUpload;
        quint64 lastArrival = 0; // tells the newest device of an address
    };
    using Devices = QHash<QString, Waiting>;
    // One thing given up to make room: a device, or the newest upload of one.
    struct Giving {
        QString device;
        bool wholeDevice = true;
    };
    void drop(const QString& device, const char* why);
    // Plans room in the bound `byBytes` (else in the devices) for `incoming` more of `device`
    // from the address counted as `own`, by the rule of admit(), on `devices` as the plan leaves
    // them; false when there is not enough to be spared.
    bool planRoom(Devices& devices, QList<Giving>& plan, const QString& own, const QString& device,
        qint64 incoming, bool byBytes) const;
    // The next thing to give up in `devices`, if any may be.
    std::optional<Giving> nextToGive(const Devices& devices, const QString& own,
        const QString& device, qint64 incoming, bool byBytes) const;

    const platform::Clock& m_clock;
    Devices m_waiting;
    qint64 m_bytes = 0;
    quint64 m_arrivals = 0;
    // Only for a poll that comes back later; bounded, so a flood of made-up ids cannot grow it.
    QSet<QString> m_expired;
    QTimer m_expiry;
};

// What an owner does on newestDropped(): takes the newest of `held` (in arrival order) that is
// the device's; false when none is.
template <typename List, typename IsTheDevices>
bool dropNewest(List& held, IsTheDevices isTheDevices)
{
    const auto newest = std::find_if(held.rbegin(), held.rend(), isTheDevices);
    if (newest == held.rend())
        return false;
    held.erase(std::next(newest).base());
    return true;
}

} // namespace vesker
