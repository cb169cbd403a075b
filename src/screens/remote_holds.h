#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QUuid>

#include <optional>

namespace vesker {

namespace platform {
class Clock;
} // namespace platform

// What a remote screen said, when last asked, of a device whose uploads it holds for its own
// user's answer.
struct RemoteHoldAnswer {
    enum class State { waiting, stored, declined, expired, failed };
    State state = State::waiting;
    // failed: why what it was allowed to pass on reached no screen (a screen that is itself
    // shared through another computer says so).
    QString error;
    bool needsCode = false;
};

// The keys ("<screen UUID>|<device id>") whose uploads a remote screen holds for its own user's
// answer, and how it answered: while a key is held there its phone waits, and the phone's polls
// become questions to the remote screen, one at a time and at most one a kAskIntervalMs.
class RemoteHolds {
public:
    // A phone polls every 2 s.
    static constexpr int kAskIntervalMs = 1'000;

    struct Device {
        QUuid screenID;
        QString deviceID;
        QString deviceName;
    };

    explicit RemoteHolds(const platform::Clock& clock)
        : m_clock(clock)
    { }

    // The remote screen answered an upload of `key` with `status`: 202 holds it there, another
    // success lets in whatever it held before.
    void answered(const QString& key, const Device& device, qint64 status);
    bool isHeld(const QString& key) const { return m_held.contains(key); }
    // declined or expired once the remote screen said so, until forget(); else waiting.
    RemoteHoldAnswer::State outcome(const QString& key) const
    {
        return m_outcomes.value(key, RemoteHoldAnswer::State::waiting);
    }
    // Its phone sends again: what the remote screen said before no longer answers it.
    void forget(const QString& key) { m_outcomes.remove(key); }

    // The device to ask the remote screen about now, when `key` is held and a question is due;
    // it then counts as asked until told() hears the answer.
    std::optional<Device> askNow(const QString& key);
    // The remote screen's answer to the question about `key`. True when it ends the hold
    // (stored, declined, expired or failed); a failure is then the caller's to tell the phone.
    bool told(const QString& key, const RemoteHoldAnswer& answer);

private:
    struct Held {
        Device device;
        qint64 since = 0; // seconds of the clock
        bool asking = false;
        QElapsedTimer lastAsked;
    };

    const platform::Clock& m_clock;
    QHash<QString, Held> m_held;
    QHash<QString, RemoteHoldAnswer::State> m_outcomes;
};

} // namespace vesker
