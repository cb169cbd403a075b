#include "screens/remote_holds.h"

#include "access/access_types.h"
#include "platform/clock.h"

namespace vesker {

void RemoteHolds::answered(const QString& key, const Device& device, qint64 status)
{
    if (status != 202) {
        // Stored there: whatever it held of the device before was let in with it.
        if (status >= 200 && status < 300)
            m_held.remove(key);
        return;
    }
    const qint64 now = m_clock.now().toSecsSinceEpoch();
    // A phone waits kMaxWaitSeconds at most; what it no longer waits for is not asked about.
    m_held.removeIf([now](const auto& entry) {
        return !entry.value().asking && now - entry.value().since > kMaxWaitSeconds;
    });
    m_outcomes.remove(key);
    Held& held = m_held[key];
    held.device = device;
    held.since = now;
}

std::optional<RemoteHolds::Device> RemoteHolds::askNow(const QString& key)
{
    const auto held = m_held.find(key);
    if (held == m_held.end() || held->asking
        || (held->lastAsked.isValid() && held->lastAsked.elapsed() < kAskIntervalMs))
        return std::nullopt;
    held->asking = true;
    held->lastAsked.start();
    return held->device;
}

bool RemoteHolds::told(const QString& key, const RemoteHoldAnswer& answer)
{
    const auto held = m_held.find(key);
    if (held == m_held.end())
        return false;
    held->asking = false;
    using State = RemoteHoldAnswer::State;
    if (answer.state == State::waiting)
        return false;
    m_held.erase(held);
    if (answer.state == State::declined || answer.state == State::expired)
        m_outcomes.insert(key, answer.state);
    return true;
}

} // namespace vesker
