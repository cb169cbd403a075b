#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>

#include <deque>

namespace vesker {

namespace platform {
class Clock;
} // namespace platform

// Bounds how fast a secret can be guessed from all addresses together. A guesser on the network
// can change its address at will (an IPv6 /64 alone holds 2^64 of them), so once more than
// kMaxWrong wrong values arrived within kWindowSeconds from anywhere, checks take turns: at most
// kChecksPerSecond a second across every address, and a check that finds no turn free is
// answered as wrong at once, never queued, so the server stays responsive and no thread waits.
// Main thread only.
class GuessBudget {
public:
    static constexpr int kMaxWrong = 100;
    static constexpr qint64 kWindowSeconds = 60;
    static constexpr int kChecksPerSecond = 4;

    explicit GuessBudget(const platform::Clock& clock);

    // Whether a value may be checked now; while throttled this takes one of the turns.
    bool mayCheck();
    void recordWrong();
    bool throttled() const;

private:
    const platform::Clock& m_clock;
    // The times of the latest wrong values, at most kMaxWrong of them.
    std::deque<QDateTime> m_wrong;
    // Turns left while throttled, refilled at kChecksPerSecond up to that many.
    double m_turns = kChecksPerSecond;
    QDateTime m_refilled;
};

// Slows down guessing of a secret (the access code, the browser screen's PIN) per peer
// address: after kMaxWrong wrong values in a row an address is refused for kLockSeconds
// without its value being looked at, so a right guess within that minute is refused too.
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

    // False while the address is locked out or no turn of the budget is free: answer as wrong
    // without checking.
    bool mayTry(const QString& address);
    // The same wrong value sent again (a page that polls with a stored code) counts once.
    void recordWrong(const QString& address, const QString& value = {});
    void recordRight(const QString& address);
    // Addresses with a count or a lock.
    qsizetype trackedAddresses() const { return m_entries.size(); }

    // What an address is counted under: its /64 prefix for IPv6, the address itself otherwise.
    static QString addressKey(const QString& address);

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
