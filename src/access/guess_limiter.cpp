#include "access/guess_limiter.h"

#include "platform/clock.h"

#include <algorithm>
#include <vector>

namespace vesker {

GuessLimiter::GuessLimiter(const platform::Clock& clock)
    : m_clock(clock)
{ }

bool GuessLimiter::isStale(const Entry& entry, const QDateTime& now) const
{
    // A lock that ran out starts the address afresh; so does a count left alone for as long
    // as a lock would last.
    if (entry.lockedUntil.isValid())
        return entry.lockedUntil <= now;
    return entry.last.secsTo(now) >= kLockSeconds;
}

bool GuessLimiter::mayTry(const QString& address)
{
    const auto it = m_entries.find(address);
    if (it == m_entries.end())
        return true;
    if (isStale(*it, m_clock.now())) {
        m_entries.erase(it);
        return true;
    }
    return !it->lockedUntil.isValid();
}

void GuessLimiter::recordWrong(const QString& address, const QString& value)
{
    const QDateTime now = m_clock.now();
    auto it = m_entries.find(address);
    if (it != m_entries.end() && isStale(*it, now)) {
        m_entries.erase(it);
        it = m_entries.end();
    }
    const size_t hash = value.isEmpty() ? 0 : qHash(value, QHashSeed::globalSeed()) | 1;
    if (it != m_entries.end() && hash != 0 && it->lastValue == hash)
        return;
    if (it == m_entries.end()) {
        makeRoom(now);
        it = m_entries.insert(address, {});
    }
    it->last = now;
    it->lastValue = hash;
    if (++it->wrong >= kMaxWrong && !it->lockedUntil.isValid())
        it->lockedUntil = now.addSecs(kLockSeconds);
}

void GuessLimiter::recordRight(const QString& address)
{
    m_entries.remove(address);
}

void GuessLimiter::makeRoom(const QDateTime& now)
{
    if (m_entries.size() < kMaxAddresses)
        return;
    m_entries.removeIf([&](const auto& it) { return isStale(it.value(), now); });
    if (m_entries.size() < kMaxAddresses)
        return;
    // Still full of live entries: the eighth quiet for longest goes, in one pass, so that a
    // flood pays for this once per many addresses. A locked address gives up its lock only to
    // a flood of more than kMaxAddresses others within its minute.
    std::vector<QDateTime> times;
    times.reserve(m_entries.size());
    for (const Entry& entry : std::as_const(m_entries))
        times.push_back(entry.last);
    const auto cut = times.begin() + times.size() / 8;
    std::nth_element(times.begin(), cut, times.end());
    const QDateTime keepFrom = *cut;
    m_entries.removeIf([&](const auto& it) { return it.value().last < keepFrom; });
}

} // namespace vesker
