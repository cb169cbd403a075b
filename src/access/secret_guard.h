#pragma once

#include "access/guess_limiter.h"

#include <QSet>
#include <QString>

namespace vesker {

namespace platform {
class Clock;
} // namespace platform

// Checks the values offered for one secret (the access code, the viewer PIN, one hosted
// screen's PIN) no faster than guessing it allows: per address (GuessLimiter) and from all
// addresses together (GuessBudget), each secret on its own, so that guessing at one shuts out
// no sender of another. A sender that gave the right value passes both from the address it gave
// it from, until it offers a wrong one. Main thread only.
class SecretGuard {
public:
    enum class Check { right, wrong, notChecked };

    explicit SecretGuard(const platform::Clock& clock);

    // `given` compared with `secret`, exactly. An empty `given` is no guess: `wrong`, counted
    // nowhere. `sender` names who offers it (a device id, a page); a value that is not checked
    // is `notChecked`, never `wrong`.
    Check check(const QString& given, const QString& secret, const QString& address,
        const QString& sender = {});
    // After `notChecked`: the whole seconds until a value from the address would be checked.
    qint64 secondsToWait(const QString& address) { return m_guesses.secondsToWait(address); }

private:
    GuessBudget m_budget;
    GuessLimiter m_guesses;
    // The senders that gave the right value during this run, each with the address it came
    // from.
    QSet<QString> m_known;
};

} // namespace vesker
