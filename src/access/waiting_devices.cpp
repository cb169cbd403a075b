#include "access/waiting_devices.h"

#include "access/guess_limiter.h"
#include "platform/clock.h"
#include "platform/log.h"

#include <QStringList>

namespace vesker {

namespace {

// Past this many, the devices told that they expired are forgotten at once.
constexpr qsizetype kMaxExpiredRemembered = 4096;
// A page asks every 2 s; one that has not asked for this long has gone to sleep or never
// meant to ask, and is the first to give way when the bounds are reached.
constexpr qint64 kQuietSeconds = 20;

} // namespace

WaitingDevices::WaitingDevices(const platform::Clock& clock, QObject* parent)
    : QObject(parent)
    , m_clock(clock)
{
    m_expiry.setInterval(5000);
    connect(&m_expiry, &QTimer::timeout, this, &WaitingDevices::expire);
}

std::optional<HoldRefusal> WaitingDevices::admit(
    const QString& device, const QString& address, qint64 bytes)
{
    const qsizetype held = uploads(device);
    // A bound that is reached first sheds those that only hold their places.
    if ((held == 0 && m_waiting.size() >= kMaxWaitingDevices) || bytes > kMaxHeldBytes - m_bytes)
        expire();
    if (held >= kMaxHeldPerDevice)
        return HoldRefusal::tooManyFromDevice;
    if (bytes > kMaxHeldBytes)
        return HoldRefusal::tooManyBytes;
    const QString own = held > 0 ? m_waiting.value(device).address : GuessLimiter::hostKey(address);
    // Planned on a copy first, so that nothing gives way for a newcomer that is refused after all.
    Devices after = m_waiting;
    QList<Giving> plan;
    if (held == 0 && !planRoom(after, plan, own, device, 1, false))
        return HoldRefusal::tooManyDevices;
    if (!planRoom(after, plan, own, device, bytes, true))
        return HoldRefusal::tooManyBytes;
    for (const Giving& giving : std::as_const(plan)) {
        if (giving.wholeDevice) {
            drop(giving.device, "gave way to another address");
            continue;
        }
        Waiting& giver = m_waiting[giving.device];
        const qint64 size = giver.sizes.takeLast();
        giver.bytes -= size;
        m_bytes -= size;
        qCInfo(lcAccess).noquote() << "[access] dropped the newest held upload of a device that"
                                   << "gave way to another address";
        Q_EMIT newestDropped(giving.device);
    }

    Waiting& waiting = m_waiting[device];
    waiting.address = own;
    waiting.sizes.append(bytes);
    waiting.bytes += bytes;
    waiting.lastAsked = m_clock.now();
    waiting.lastUpload = waiting.lastAsked;
    waiting.lastArrival = ++m_arrivals;
    m_bytes += bytes;
    m_expired.remove(device);
    if (!m_expiry.isActive())
        m_expiry.start();
    return std::nullopt;
}

void WaitingDevices::release(const QString& device)
{
    m_expired.remove(device);
    const auto it = m_waiting.constFind(device);
    if (it == m_waiting.cend())
        return;
    m_bytes -= it->bytes;
    m_waiting.erase(it);
    if (m_waiting.isEmpty())
        m_expiry.stop();
}

void WaitingDevices::polled(const QString& device)
{
    if (const auto it = m_waiting.find(device); it != m_waiting.end())
        it->lastAsked = m_clock.now();
}

void WaitingDevices::expire()
{
    const QDateTime now = m_clock.now();
    QStringList gone;
    for (auto it = m_waiting.cbegin(); it != m_waiting.cend(); ++it) {
        if (it->lastAsked.secsTo(now) >= kWaitingExpirySeconds
            || it->lastUpload.secsTo(now) >= kMaxWaitSeconds)
            gone.append(it.key());
    }
    for (const QString& device : std::as_const(gone))
        drop(device, "stopped asking about them");
}

void WaitingDevices::drop(const QString& device, const char* why)
{
    qCInfo(lcAccess).noquote() << "[access] dropped" << uploads(device)
                               << "held uploads of a device that" << why;
    release(device);
    Q_EMIT dropped(device);
    // Marked after the owner let go, which may release it again on the way.
    if (m_expired.size() >= kMaxExpiredRemembered)
        m_expired.clear();
    m_expired.insert(device);
}

bool WaitingDevices::planRoom(Devices& devices, QList<Giving>& plan, const QString& own,
    const QString& device, qint64 incoming, bool byBytes) const
{
    const auto spare = [&] {
        if (!byBytes)
            return qint64(kMaxWaitingDevices - devices.size());
        qint64 held = 0;
        for (const Waiting& waiting : std::as_const(devices))
            held += waiting.bytes;
        return kMaxHeldBytes - held;
    };
    for (qint64 room = spare(); room < incoming; room = spare()) {
        const auto giving = nextToGive(devices, own, device, incoming, byBytes);
        if (!giving)
            return false;
        plan.append(*giving);
        if (giving->wholeDevice) {
            devices.remove(giving->device);
        } else {
            Waiting& giver = devices[giving->device];
            giver.bytes -= giver.sizes.takeLast();
        }
    }
    return true;
}

std::optional<WaitingDevices::Giving> WaitingDevices::nextToGive(const Devices& devices,
    const QString& own, const QString& device, qint64 incoming, bool byBytes) const
{
    // What each address holds, in devices or bytes, how many devices, and its newest device; and
    // the device that has been quiet longest.
    struct Held {
        qint64 amount = 0;
        qsizetype devices = 0;
        QString newestDevice;
        quint64 newestArrival = 0;
    };
    QHash<QString, Held> byAddress;
    const QDateTime now = m_clock.now();
    QString quietest;
    QDateTime quietSince;
    for (auto it = devices.cbegin(); it != devices.cend(); ++it) {
        Held& held = byAddress[it->address];
        held.amount += byBytes ? it->bytes : 1;
        ++held.devices;
        if (it.key() == device)
            continue; // it is the newcomer's own, never taken from it
        if (it->lastArrival > held.newestArrival) {
            held.newestArrival = it->lastArrival;
            held.newestDevice = it.key();
        }
        if (it->lastAsked.secsTo(now) >= kQuietSeconds
            && (quietest.isEmpty() || it->lastAsked < quietSince)) {
            quietest = it.key();
            quietSince = it->lastAsked;
        }
    }
    const qint64 bound = byBytes ? kMaxHeldBytes : kMaxWaitingDevices;
    // Shares are compared unrounded: an address that holds nothing is under its share however
    // many addresses wait, and one device of each of fifty addresses is over the 50/51 of a
    // device that is each one's share once a new address comes.
    const qint64 addresses = byAddress.size() + (byAddress.contains(own) ? 0 : 1);
    const qint64 ownAmount = byAddress.value(own).amount;
    if (ownAmount * addresses >= bound)
        return std::nullopt;
    if (!quietest.isEmpty())
        return Giving {quietest};
    // Of the addresses that can spare something, the one that holds the most gives way; between
    // addresses that hold alike, the one whose newest device came last, so that those that came
    // first keep their places. Extra devices go before any upload of a device that is its
    // address's only one.
    const auto crowdedOf = [&](bool severalDevices) {
        auto crowded = byAddress.cend();
        for (auto it = byAddress.cbegin(); it != byAddress.cend(); ++it) {
            if (it.key() == own || (it->devices > 1) != severalDevices
                || (!severalDevices && devices.value(it->newestDevice).sizes.size() < 2))
                continue;
            if (crowded == byAddress.cend() || it->amount > crowded->amount
                || (it->amount == crowded->amount && it->newestArrival > crowded->newestArrival))
                crowded = it;
        }
        return crowded;
    };
    if (const auto crowded = crowdedOf(true); crowded != byAddress.cend()) {
        // A device is a place of its own: the address gives one up only while it holds more
        // than its share and keeps no fewer than the newcomer's address will, so that places do
        // not change hands back and forth between addresses that hold alike. Bytes are taken
        // from whoever can spare them, or a large photo would find no room while a crowd of
        // addresses each holds its share through several devices.
        if (!byBytes
            && (crowded->amount * addresses <= bound || crowded->amount - 1 < ownAmount + incoming))
            return std::nullopt;
        return Giving {crowded->newestDevice};
    }
    if (!byBytes)
        return std::nullopt;
    if (const auto crowded = crowdedOf(false); crowded != byAddress.cend())
        return Giving {crowded->newestDevice, false};
    return std::nullopt;
}

} // namespace vesker
