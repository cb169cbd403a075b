#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>

namespace vesker {

namespace platform {
class Clock;
} // namespace platform

// Slows down guessing of a secret (the access code, the browser screen's PIN) per peer
// address: after kMaxWrong wrong values in a row an address is refused for kLockSeconds
// without its value being looked at, so a right guess within that minute is refused too.
// A right value clears the address's count. The table is bounded, so a flood of made-up
// addresses cannot grow it. Main thread only.
class GuessLimiter {
public:
    static constexpr int kMaxWrong = 10;
    static constexpr qint64 kLockSeconds = 60;
    static constexpr qsizetype kMaxAddresses = 4096;

    explicit GuessLimiter(const platform::Clock& clock);

    // False while the address is locked out: answer as wrong without checking.
    bool mayTry(const QString& address);
    // The same wrong value sent again (a page that polls with a stored code) counts once.
    void recordWrong(const QString& address, const QString& value = {});
    void recordRight(const QString& address);
    // Addresses with a count or a lock.
    qsizetype trackedAddresses() const { return m_entries.size(); }

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
    QHash<QString, Entry> m_entries;
};

} // namespace vesker
