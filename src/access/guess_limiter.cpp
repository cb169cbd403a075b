#include "access/guess_limiter.h"

#include "platform/clock.h"

#include <QHostAddress>

#include <algorithm>
#include <vector>

namespace vesker {

GuessBudget::GuessBudget(const platform::Clock& clock)
    : m_clock(clock)
{ }

qint64 GuessBudget::secondsToWait() const
{
    if (qsizetype(m_wrong.size()) < kMaxWrong)
        return 0;
    // A clock set back waits no longer than a window.
    const qint64 left = qBound<qint64>(
        0, kWindowSeconds * 1000 - m_wrong.front().msecsTo(m_clock.now()), kWindowSeconds * 1000);
    return (left + 999) / 1000;
}

void GuessBudget::recordWrong()
{
    m_wrong.push_back(m_clock.now());
    if (qsizetype(m_wrong.size()) > kMaxWrong)
        m_wrong.pop_front();
}

GuessLimiter::GuessLimiter(const platform::Clock& clock, GuessBudget* budget)
    : m_clock(clock)
    , m_budget(budget)
{ }

QString GuessLimiter::addressKey(const QString& address)
{
    const QHostAddress host(address);
    bool isV4 = false;
    const quint32 v4 = host.toIPv4Address(&isV4);
    if (isV4)
        return QHostAddress(v4).toString();
    if (host.protocol() != QAbstractSocket::IPv6Protocol)
        return address;
    Q_IPV6ADDR prefix = host.toIPv6Address();
    std::fill(prefix.c + 8, prefix.c + 16, 0);
    return QHostAddress(prefix).toString() + QStringLiteral("/64");
}

QString GuessLimiter::hostKey(const QString& address)
{
    const QHostAddress host(address);
    bool isV4 = false;
    const quint32 v4 = host.toIPv4Address(&isV4);
    if (isV4)
        return QHostAddress(v4).toString();
    return host.protocol() == QAbstractSocket::IPv6Protocol ? host.toString() : address;
}

bool GuessLimiter::isStale(const Entry& entry, const QDateTime& now) const
{
    // A lock that ran out starts the address afresh; so does a count left alone for as long
    // as a lock would last.
    if (entry.lockedUntil.isValid())
        return entry.lockedUntil <= now;
    return entry.last.secsTo(now) >= kLockSeconds;
}

qint64 GuessLimiter::secondsToWait(const QString& address)
{
    const QDateTime now = m_clock.now();
    const auto it = m_entries.find(addressKey(address));
    if (it != m_entries.end()) {
        if (isStale(*it, now))
            m_entries.erase(it);
        else if (it->lockedUntil.isValid())
            return qMax<qint64>(1, (now.msecsTo(it->lockedUntil) + 999) / 1000);
    }
    return m_budget ? m_budget->secondsToWait() : 0;
}

void GuessLimiter::recordWrong(const QString& address, const QString& value)
{
    const QString key = addressKey(address);
    const QDateTime now = m_clock.now();
    auto it = m_entries.find(key);
    if (it != m_entries.end() && isStale(*it, now)) {
        m_entries.erase(it);
        it = m_entries.end();
    }
    const size_t hash = value.isEmpty() ? 0 : qHash(value, QHashSeed::globalSeed()) | 1;
    // Nothing was learnt from it that was not known: it takes nothing of the budget either.
    if (it != m_entries.end() && hash != 0 && it->lastValue == hash)
        return;
    if (m_budget)
        m_budget->recordWrong();
    if (it == m_entries.end()) {
        makeRoom(now);
        it = m_entries.insert(key, {});
    }
    it->last = now;
    it->lastValue = hash;
    if (++it->wrong >= kMaxWrong && !it->lockedUntil.isValid())
        it->lockedUntil = now.addSecs(kLockSeconds);
}

void GuessLimiter::recordRight(const QString& address)
{
    m_entries.remove(addressKey(address));
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
