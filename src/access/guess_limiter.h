#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>

#include <deque>

namespace vesker {

namespace platform {
class Clock;
} // namespace platform

// Bounds how many wrong values of a secret are checked from all addresses together. A guesser
// on the network can change its address at will (an IPv6 /64 alone holds 2^64 of them), so at
// most kMaxWrong wrong values are checked within any kWindowSeconds, from anywhere; past that,
// no value of an unknown sender is checked until the oldest of them is a window old. The
// sender is then told when to try again rather than that its value is wrong. Main thread only.
class GuessBudget {
public:
    static constexpr int kMaxWrong = 100;
    static constexpr qint64 kWindowSeconds = 60;

    explicit GuessBudget(const platform::Clock& clock);

    // 0 when a value may be checked now; else the whole seconds until one may.
    qint64 secondsToWait() const;
    void recordWrong();

private:
    const platform::Clock& m_clock;
    // The times of the latest wrong values, at most kMaxWrong of them.
    std::deque<QDateTime> m_wrong;
};

// Slows down guessing of a secret (the access code, the browser screen's PIN) per peer
// address: after kMaxWrong wrong values in a row an address is not checked for kLockSeconds,
// so a right guess within that minute is turned away too.
// An IPv6 peer counts by its /64 prefix, which is what one host or one network is given,
// and an IPv4-mapped one as its IPv4 address. A right value clears the address's count. The
// table is bounded, so a flood of made-up addresses cannot grow it. With a budget, every
// check also takes its turn in that budget shared by all addresses. Main thread only.
class GuessLimiter {
public:
    static constexpr int kMaxWrong = 10;
    static constexpr qint64 kLockSeconds = 60;
    static constexpr qsizetype kMaxAddresses = 4096;

    explicit GuessLimiter(const platform::Clock& clock, GuessBudget* budget = nullptr);

    // 0 when a value from the address may be checked now; else the whole seconds until the
    // address's lock or the budget lets one be (answer "try later" without checking).
    qint64 secondsToWait(const QString& address);
    bool mayTry(const QString& address) { return secondsToWait(address) == 0; }
    // The same wrong value sent again (a page that polls with a stored code) counts once.
    void recordWrong(const QString& address, const QString& value = {});
    void recordRight(const QString& address);
    // Addresses with a count or a lock.
    qsizetype trackedAddresses() const { return m_entries.size(); }

    // What an address is counted under: its /64 prefix for IPv6, the address itself otherwise.
    static QString addressKey(const QString& address);
    // One host's address in a single spelling: an IPv4-mapped one as its IPv4 address, an IPv6
    // one whole (a network gives all of its hosts one /64).
    static QString hostKey(const QString& address);

private:
    struct Entry {
        int wrong = 0;
        QDateTime last; // the latest wrong value
        QDateTime lockedUntil; // null while not locked
        size_t lastValue = 0; // a hash of the latest wrong value, 0 when none was given
    };
    bool isStale(const Entry& entry, const QDateTime& now) const;
    void makeRoom(const QDateTime& now);

    const platform::Clock& m_clock;
    GuessBudget* m_budget;
    QHash<QString, Entry> m_entries;
};

} // namespace vesker
