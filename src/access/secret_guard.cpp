#include "access/secret_guard.h"

namespace vesker {

namespace {

// Sender names are the peer's to choose; only those that gave the right value are kept, and no
// more than this many.
constexpr qsizetype kMaxKnownSenders = 4096;

} // namespace

SecretGuard::SecretGuard(const platform::Clock& clock)
    : m_budget(clock)
    , m_guesses(clock, &m_budget)
{ }

SecretGuard::Check SecretGuard::check(
    const QString& given, const QString& secret, const QString& address, const QString& sender)
{
    // A page asks for the value only after a refusal of a request without one.
    if (given.isEmpty())
        return Check::wrong;
    // A sender that gave the right value shares its network, and so its address count and the
    // budget, with whoever guesses there; it must not be locked out by them. Its name alone is
    // no pass, as a sender names itself: it is known together with the very address it gave
    // the value from, and a wrong value from there ends that, so sharing its address and
    // naming it buys a guesser one check at most.
    const QString known
        = sender.isEmpty() ? QString() : GuessLimiter::hostKey(address) + u'\n' + sender;
    const bool isKnown = !known.isEmpty() && m_known.contains(known);
    if (!isKnown && !m_guesses.mayTry(address))
        return Check::notChecked;
    if (given == secret) {
        if (!isKnown) {
            m_guesses.recordRight(address);
            if (!known.isEmpty() && m_known.size() < kMaxKnownSenders)
                m_known.insert(known);
        }
        return Check::right;
    }
    m_guesses.recordWrong(address, given);
    if (isKnown)
        m_known.remove(known);
    return Check::wrong;
}

} // namespace vesker
