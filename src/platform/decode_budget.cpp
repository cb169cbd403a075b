#include "platform/decode_budget.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <utility>

namespace vesker::platform {

namespace {

bool onMainThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

thread_local DecodeBudget::Hold* t_drawnFrom = nullptr;

} // namespace

DecodeBudget::DecodeBudget(qint64 capacity)
    : m_capacity(capacity)
{ }

DecodeBudget::Hold::Hold(DecodeBudget* budget, qint64 bytes)
    : m_budget(budget)
    , m_bytes(bytes)
{ }

DecodeBudget::Hold::Hold(Hold&& other) noexcept
    : m_budget(std::exchange(other.m_budget, nullptr))
    , m_bytes(std::exchange(other.m_bytes, 0))
{ }

DecodeBudget::Hold& DecodeBudget::Hold::operator=(Hold&& other) noexcept
{
    if (this != &other) {
        if (m_budget)
            m_budget->giveBack(m_bytes);
        m_budget = std::exchange(other.m_budget, nullptr);
        m_bytes = std::exchange(other.m_bytes, 0);
    }
    return *this;
}

DecodeBudget::Hold::~Hold()
{
    if (m_budget)
        m_budget->giveBack(m_bytes);
}

DecodeBudget::DrawFrom::DrawFrom(Hold& share)
    : m_previous(std::exchange(t_drawnFrom, &share))
{ }

DecodeBudget::DrawFrom::~DrawFrom()
{
    t_drawnFrom = m_previous;
}

DecodeBudget::Hold DecodeBudget::take(qint64 bytes)
{
    bytes = std::max<qint64>(bytes, 0);
    Hold* share = t_drawnFrom;
    if (!share || (share->m_budget && share->m_budget != this))
        return wait(bytes);
    if (bytes > share->m_bytes) {
        // Given back first: waiting while holding it could wait for itself.
        *share = Hold();
        *share = wait(bytes);
    }
    return {};
}

std::optional<DecodeBudget::Hold> DecodeBudget::tryTake(qint64 bytes)
{
    bytes = std::max<qint64>(bytes, 0);
    const std::lock_guard lock(m_mutex);
    if (m_serving != m_nextTicket || (m_held != 0 && m_held + bytes > m_capacity))
        return std::nullopt;
    m_held += bytes;
    m_peak = std::max(m_peak, m_held);
    return Hold(this, bytes);
}

DecodeBudget::Hold DecodeBudget::wait(qint64 bytes)
{
    std::unique_lock lock(m_mutex);
    if (!onMainThread()) {
        const quint64 ticket = m_nextTicket++;
        m_changed.wait(lock,
            [&] { return ticket == m_serving && (m_held == 0 || m_held + bytes <= m_capacity); });
        ++m_serving;
    }
    m_held += bytes;
    m_peak = std::max(m_peak, m_held);
    // The next in line may fit beside this one.
    m_changed.notify_all();
    return Hold(this, bytes);
}

qint64 DecodeBudget::capacity() const
{
    const std::lock_guard lock(m_mutex);
    return m_capacity;
}

void DecodeBudget::setCapacity(qint64 bytes)
{
    const std::lock_guard lock(m_mutex);
    m_capacity = bytes;
    m_changed.notify_all();
}

qint64 DecodeBudget::held() const
{
    const std::lock_guard lock(m_mutex);
    return m_held;
}

qint64 DecodeBudget::peak() const
{
    const std::lock_guard lock(m_mutex);
    return m_peak;
}

void DecodeBudget::resetPeak()
{
    const std::lock_guard lock(m_mutex);
    m_peak = m_held;
}

void DecodeBudget::giveBack(qint64 bytes)
{
    const std::lock_guard lock(m_mutex);
    m_held -= bytes;
    m_changed.notify_all();
}

DecodeBudget& decodeBudget()
{
    static DecodeBudget budget(kDecodeBudgetBytes);
    return budget;
}

} // namespace vesker::platform
