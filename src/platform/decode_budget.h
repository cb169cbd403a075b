#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <mutex>
#include <optional>

namespace vesker::platform {

// The pixel memory that pictures being decoded at the same time share. Each decode takes what
// it will allocate before it allocates it, waiting off the main thread until that fits beside
// what the others hold, in the order the decodes asked. A decode that finds nothing else held
// proceeds whatever it asks, so a picture within the per-picture limit is never refused: what
// it waits for are decodes that hold and wait for nothing, so the wait always ends.
class DecodeBudget {
public:
    explicit DecodeBudget(qint64 capacity);

    // What one decode holds until it goes.
    class Hold {
    public:
        Hold() = default;
        Hold(Hold&& other) noexcept;
        Hold& operator=(Hold&& other) noexcept;
        ~Hold();

    private:
        friend class DecodeBudget;
        Hold(DecodeBudget* budget, qint64 bytes);
        DecodeBudget* m_budget = nullptr;
        qint64 m_bytes = 0;
    };

    // A thread takes one at a time: a second, taken while it holds the first, could wait for
    // itself. Never waits on the main thread, which a decode must not block: there the bytes
    // are only counted.
    Hold take(qint64 bytes);
    // The same, only when it fits beside what is held without waiting and nobody waits before
    // it; else nothing is taken.
    std::optional<Hold> tryTake(qint64 bytes);

    // For a caller that keeps a decoded picture and works on it at length: it takes, before it
    // decodes, all that it will hold at once, and its decodes draw from that instead of waiting
    // for a second share beside it. A decode that needs more gives the share back and waits for
    // what it needs, holding nothing meanwhile, so the share becomes that. Only decodes of the
    // thread that made it, while it lives.
    class DrawFrom {
    public:
        explicit DrawFrom(Hold& share);
        ~DrawFrom();
        DrawFrom(const DrawFrom&) = delete;
        DrawFrom& operator=(const DrawFrom&) = delete;

    private:
        Hold* m_previous;
    };

    qint64 capacity() const;
    void setCapacity(qint64 bytes);
    qint64 held() const;
    // The most held at once since the last reset.
    qint64 peak() const;
    void resetPeak();

private:
    Hold wait(qint64 bytes);
    void giveBack(qint64 bytes);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    qint64 m_capacity;
    qint64 m_held = 0;
    qint64 m_peak = 0;
    quint64 m_nextTicket = 0;
    quint64 m_serving = 0;
};

// Room for the largest picture the per-picture limit lets through, at 8 bytes a pixel (16 bits a
// channel), and a little more: beside the program itself (two text engines among it), the
// process stays near 1.2 GB whatever arrives at once.
constexpr qint64 kDecodeBudgetBytes = 512LL * 1024 * 1024;

// The budget every decode in this process draws from.
DecodeBudget& decodeBudget();

} // namespace vesker::platform
